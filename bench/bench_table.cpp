// The table services on a document base of 100,000 cards, each with a 20 KB document
// text and a 2 KB working copy, in the encrypted KALDOR.TPS.
//
// The base is built once in $KALDOR_BENCH_DIR (default /tmp/kaldor-bench) and kept
// for later runs; the time its building took is printed. Measured:
//   BulkInsert             cards added in transactions of 1,000 (a fresh file)
//   PageFromKeyPosition    30 rows of the list's eight fields from a random place of
//                          the date key
//   PageBackward           the same, reading backward
//   FullKeyScan            all 100,000 rows of the eight fields in the order of the
//                          card number (key 1) or of the approval date (key 2)
//   Records                RECORDS(KALDOR)
//   CardWithBlobs          GET by record pointer with both BLOBs read
//   SaveCard               a card form's change: GET by record pointer, the record
//                          watched as read, a new name saved through the relation
//                          object (its transaction over the card and bookmark files)
//   OpenOnNewThread        a new procedure thread opening KALDOR (its connection,
//                          key and checks) and closing it again

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <cstdio>
#include <thread>

#include "app/globals.h"
#include "core/threads.h"
#include "dictionary.h"
#include "kaldor_base.h"
#include "view.h"

namespace {

using benchbase::addCards;
using benchbase::benchDir;
using benchbase::kCards;

// The thread every benchmark runs on: a procedure thread with the base open.
struct Fixture {
    rt::ThreadScope thread{true};
    Fixture() { benchbase::openBase(); }
};

// Never destroyed: the thread's own objects go before the program's statics do.
Fixture& base() {
    static Fixture* f = new Fixture;
    return *f;
}

ViewClass& listView() {
    static ViewClass v(KALDOR);
    static bool set = false;
    if (!set) {
        for (FieldRef f : {ref(KAL.NAME), ref(KAL.ID), ref(KAL.NDOK), ref(KAL.UTVDATA),
                           ref(KAL.VVODDATA), ref(KAL.PNAME1), ref(KAL.PNAME2), ref(KAL.PNAME3)})
            v.addField(f);
        v.setOrder(KAL_K2);
        set = true;
    }
    return v;
}

void BM_BulkInsert(benchmark::State& state) {
    base();
    QRandomGenerator g(7);
    for (auto _ : state) {
        // A thread of its own, so that it opens a file of its own.
        double seconds = 0;
        std::thread([&] {
            rt::ThreadScope t;
            QFile::remove(benchDir() + QStringLiteral("/insert/KALDOR.TPS"));
            const QString saved = PUT1.get();
            PUT1 = "c:\\insert\\KALDOR.TPS";
            Relate_KALDOR->Open();
            RECORDS(KALDOR);
            PUT1 = saved;
            QElapsedTimer timer;
            timer.start();
            addCards(int(state.range(0)), g);
            seconds = double(timer.nsecsElapsed()) / 1e9;
            Relate_KALDOR->Close();
        }).join();
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BulkInsert)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

void pages(benchmark::State& state, bool forward) {
    base();
    ViewClass& v = listView();
    v.setOrder(KAL_K2);
    QRandomGenerator g(1);
    int rows = 0;
    for (auto _ : state) {
        const ViewPosition at =
            v.locate({Value(int(rt::dayNumber(1995, 1, 1) + LONG(g.bounded(11000))))});
        rows += v.read(&at, forward, true, 30, [](const ViewPosition&) { return true; });
    }
    state.counters["rows/page"] = double(rows) / double(state.iterations());
}

void BM_PageFromKeyPosition(benchmark::State& state) {
    pages(state, true);
}
BENCHMARK(BM_PageFromKeyPosition)->Unit(benchmark::kMicrosecond);

void BM_PageBackward(benchmark::State& state) {
    pages(state, false);
}
BENCHMARK(BM_PageBackward)->Unit(benchmark::kMicrosecond);

void BM_FullKeyScan(benchmark::State& state) {
    base();
    ViewClass& v = listView();
    v.setOrder(state.range(0) == 1 ? KAL_K1 : KAL_K2);
    for (auto _ : state) {
        const int n = v.read(nullptr, true, true, -1, [](const ViewPosition&) { return true; });
        if (n != kCards)
            state.SkipWithError("the scan did not read every card");
    }
    state.SetItemsProcessed(state.iterations() * kCards);
}
BENCHMARK(BM_FullKeyScan)->ArgName("key")->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_Records(benchmark::State& state) {
    base();
    for (auto _ : state)
        benchmark::DoNotOptimize(RECORDS(KALDOR));
}
BENCHMARK(BM_Records)->Unit(benchmark::kMicrosecond);

void BM_CardWithBlobs(benchmark::State& state) {
    base();
    QRandomGenerator g(3);
    qint64 bytes = 0;
    for (auto _ : state) {
        GET(KALDOR, RecordPointer(1 + g.bounded(kCards)));
        bytes += KAL.ZAKON.size() + KAL.RABZAKON.size();
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_CardWithBlobs)->Unit(benchmark::kMicrosecond);

void BM_SaveCard(benchmark::State& state) {
    base();
    static const bool formOpen = [] {  // as the card form has the bookmarks open
        Relate_ZAMETKA->Open();
        return true;
    }();
    (void)formOpen;
    QRandomGenerator g(5);
    for (auto _ : state) {
        GET(KALDOR, RecordPointer(1 + g.bounded(kCards)));
        Access_KALDOR->Watch();
        KAL.NAME = QStringLiteral("Карточка %1").arg(g.bounded(1000));
        if (Relate_KALDOR->Update() != Level::Benign)
            state.SkipWithError("the save failed");
        Access_KALDOR->Unwatch();
    }
}
BENCHMARK(BM_SaveCard)->Unit(benchmark::kMillisecond);

void BM_OpenOnNewThread(benchmark::State& state) {
    base();
    for (auto _ : state) {
        std::thread([] {
            rt::ThreadScope t;
            Relate_KALDOR->SetOpenRelated();
            Relate_KALDOR->Open();
            KALDOR.ensureOpen();
            Relate_KALDOR->Close();
        }).join();
    }
}
BENCHMARK(BM_OpenOnNewThread)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    installThreadHooks();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
