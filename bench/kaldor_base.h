#pragma once
// The document base of 100,000 cards the benchmarks read, each card with a
// 20 KB document text and a 2 KB working copy, in the encrypted KALDOR.TPS of
// $KALDOR_BENCH_DIR (default /tmp/kaldor-bench). It is built once and kept for
// later runs; the time its building took is printed.

#include <QRandomGenerator>
#include <QString>

namespace benchbase {

constexpr int kCards = 100000;

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

}  // namespace benchbase
