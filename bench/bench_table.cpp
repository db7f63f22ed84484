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
#include "view.h"

namespace {

constexpr int kCards = 100000;

QString benchDir() {
    const QByteArray d = qgetenv("KALDOR_BENCH_DIR");
    return d.isEmpty() ? QStringLiteral("/tmp/kaldor-bench") : QString::fromLocal8Bit(d);
}

QString words(QRandomGenerator& g, int length) {
    static const char16_t* w[] = {
        u"закон",       u"о",          u"порядке",   u"государственной", u"регистрации",
        u"налогового",  u"кодекса",    u"изменений", u"Российской",      u"Федерации",
        u"статьи",      u"внесении",   u"прав",      u"граждан",         u"обязательного",
        u"страхования", u"земельного", u"участка"};
    QString s;
    while (s.size() < length)
        s += QString::fromUtf16(w[g.bounded(int(std::size(w)))]) + u' ';
    return s.left(length);
}

QByteArray body(QRandomGenerator& g, int size) {
    QByteArray b = "{\\rtf1\\ansi ";
    while (b.size() < size)
        b += words(g, 80).toUtf8() + "\\par ";
    b.truncate(size - 1);
    return b + '}';
}

void fillCard(QRandomGenerator& g) {
    KAL.KODTER = BYTE(g.bounded(3));
    KAL.NAME = words(g, 50);
    KAL.PNAME1 = words(g, 110);
    KAL.PNAME2 = words(g, 60);
    KAL.PNAME3 = "";
    KAL.NDOK = QString::number(g.bounded(1000)) + QStringLiteral("-ФЗ");
    KAL.UTVDATA = rt::dayNumber(1995, 1, 1) + LONG(g.bounded(11000));
    KAL.VVODDATA = KAL.UTVDATA + 30;
    KAL.WORDKEY = words(g, 60);
    KAL.NFILE = "C:\\kaldor_demo\\1.rtf";
    KAL.ZAKON.setData(body(g, 20 * 1024));
    KAL.RABZAKON.setData(body(g, 2 * 1024));
}

void addCards(int n, QRandomGenerator& g) {
    for (int done = 0; done < n;) {
        LOGOUT(10, {&KALDOR});
        for (int i = 0; i < 1000 && done < n; ++i, ++done) {
            CLEAR(KALDOR);
            fillCard(g);
            Access_KALDOR->Insert();
        }
        COMMIT();
    }
}

// The thread every benchmark runs on: a procedure thread with the base open.
struct Fixture {
    rt::ThreadScope thread{true};
    Fixture() {
        qputenv("KALDOR_DRIVE_C", benchDir().toLocal8Bit());
        QDir().mkpath(benchDir() + QStringLiteral("/bench"));
        QDir().mkpath(benchDir() + QStringLiteral("/insert"));
        PUT1 = "c:\\bench\\KALDOR.TPS";
        PUT2 = "c:\\bench\\ZAMETKA.TPS";
        DctInit();
        Relate_KALDOR->Open();
        const auto have = RECORDS(KALDOR);
        if (have < kCards) {
            QElapsedTimer t;
            t.start();
            QRandomGenerator g(42);
            addCards(int(kCards - have), g);
            std::fprintf(stderr, "built %d cards in %.1f s\n", int(kCards - have),
                         double(t.elapsed()) / 1000.0);
        }
    }
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
