#pragma once
// The document base the benchmarks read: $KALDOR_BENCH_CARDS cards (100,000
// when not set), each with a 20 KB document text and a 2 KB working copy, in the
// encrypted KALDOR.TPS of $KALDOR_BENCH_DIR (default /tmp/kaldor-bench, or
// /tmp/kaldor-bench-<cards> for another count). It is built once and kept for
// later runs; the time its building took is printed.

#include <QRandomGenerator>
#include <QString>

namespace benchbase {

// The number of cards of the base.
extern const int kCards;

QString benchDir();
// The first steps of a benchmark program with windows: the thread hooks, the
// benchmark's own arguments, offscreen unless a platform is named, and the
// window declarations in `resources`.
void startProgram(int* argc, char** argv, const QString& resources);
// Adds n random cards in transactions of 1,000.
void addCards(int n, QRandomGenerator& g);
// On the calling procedure thread: drive C in the bench folder, the active base
// there (PUT1, PUT2), the thread's dictionary objects, KALDOR open with all its
// cards (the missing ones are built now).
void openBase();
// The peak of the process's resident memory: forgotten, and read in MB.
void resetPeakMemory();
double peakMemoryMB();

}  // namespace benchbase
