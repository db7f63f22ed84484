// The document list's reader on the base of kaldor_base.h (100,000 cards, or
// $KALDOR_BENCH_CARDS), in a window of a running program with the list's sort
// orders (by approval date, by card number, a header sort, the fuzzy order).
// Measured on the list's thread, from the event to the rows sent to the screen:
//   OpenFirstPage    a new list over the open base: its orders and fields, the
//                    first page in the order by card number
//   OpenWindowWithList  the same in a window of its own, opened and closed
//   PageDown         the next page (from the top to the end, then again)
//   ThumbJump        the thumb dragged to a random place (order by date)
//   LocatorJump      a letter typed in a header sort by name: the first card
//                    from that letter
//   HeaderSort       a click on the name's header: the whole list in the order
//                    of the names (each time the other way round)
//   HeaderSortFirst  the same, the first in a list just made
//   FuzzyOrder       the fuzzy order over the names and numbers of all cards,
//                    after one search (another query each time)
//   FuzzyOrderFirst  the first fuzzy order of a list just made
//   FloorOrderByName SQLCipher itself on the same connection: the first 30
//                    names in its binary order (a pass over the whole table),
//                    the floor a header sort without an index is measured by
// The counter peakMB is the process's peak resident memory during the measure.

#include <benchmark/benchmark.h>

#include <QRandomGenerator>
#include <memory>

#include "app/globals.h"
#include "browse.h"
#include "controls/benchlist.h"
#include "core/fuzzy.h"
#include "core/resources.h"
#include "dictionary.h"
#include "driver.h"
#include "kaldor_base.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace {

using namespace benchlist;  // the window's controls

struct Row {
    STRING<120> KAL_NAME;
    LONG NormalFG, NormalBG, SelectedFG, SelectedBG, Icon;
    LONG KAL_ID;
    STRING<12> KAL_NDOK;
    DATE KAL_UTVDATA, KAL_VVODDATA;
    STRING<120> KAL_PNAME1, KAL_PNAME2, KAL_PNAME3;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct DocQueue : lst::QUEUE<Row> {
    DocQueue()
        : QUEUE<Row>([](Row& r, lst::QueueFields& f) {
              f("KAL:NAME", r.KAL_NAME)("KAL:NAME_NormalFG", r.NormalFG)(
                  "KAL:NAME_NormalBG", r.NormalBG)("KAL:NAME_SelectedFG", r.SelectedFG)(
                  "KAL:NAME_SelectedBG", r.SelectedBG)("KAL:NAME_Icon", r.Icon)("KAL:ID", r.KAL_ID)(
                  "KAL:NDOK", r.KAL_NDOK)("KAL:UTVDATA", r.KAL_UTVDATA)(
                  "KAL:VVODDATA", r.KAL_VVODDATA)("KAL:PNAME1", r.KAL_PNAME1)(
                  "KAL:PNAME2", r.KAL_PNAME2)("KAL:PNAME3", r.KAL_PNAME3)("MARK", r.MARK)(
                  "VIEWPOSITION", r.VIEWPOSITION);
          }) {}
};

class DocumentList : public lst::BrowseClass {
  public:
    void SetQueueRecord() override {
        BrowseClass::SetQueueRecord();
        q.NormalFG = q.NormalBG = q.SelectedFG = q.SelectedBG = -1;
        q.Icon = 1;
    }
    DocQueue q;
};

// One list with the document list's orders.
struct List {
    ViewClass view{KALDOR};
    DocumentList brw;
    lst::StepRealClass sort1Step;
    StepLongClass sort0Step;
    lst::StepLocatorClass sort1Locator, sort0Locator, columnLocator;
    int fuzzyOrder = 0;

    List(Window& w, WindowManager& manager) {
        brw.Init(BROWSE_1, ref(brw.q.VIEWPOSITION), view, brw.q, *Relate_KALDOR, manager);
        sort1Step.Init(ScrollSort::Limits);
        brw.AddSortOrder(&sort1Step, KAL_K2);
        brw.AddLocator(&sort1Locator);
        sort1Locator.Init(0, ref(KAL.UTVDATA), true);
        sort0Step.Init(ScrollSort::Limits);
        brw.AddSortOrder(&sort0Step, KAL_K1);
        brw.AddLocator(&sort0Locator);
        sort0Locator.Init(0, ref(KAL.ID), true);
        w[BROWSE_1](PROP::IconList, 1) = u"~adr1.ico";
        brw.AddField(KAL.NAME, brw.q.KAL_NAME);
        brw.AddField(KAL.ID, brw.q.KAL_ID);
        brw.AddField(KAL.NDOK, brw.q.KAL_NDOK);
        brw.AddField(KAL.UTVDATA, brw.q.KAL_UTVDATA);
        brw.AddField(KAL.VVODDATA, brw.q.KAL_VVODDATA);
        brw.AddField(KAL.PNAME1, brw.q.KAL_PNAME1);
        brw.AddField(KAL.PNAME2, brw.q.KAL_PNAME2);
        brw.AddField(KAL.PNAME3, brw.q.KAL_PNAME3);
        fuzzyOrder = brw.AddSortOrder();
        brw.AppendOrder(QStringLiteral(
            "200-FuzzyMatch(FuzzyQuery9,KAL:name&' '&KAL:iD&' '&KAL:ndok&' '&KAL:utvdata&' "
            "'&KAL:vvoddata&' '&KAL:pname1&' '&KAL:pname2&' '&KAL:pname3)"));
        brw.SetAlerts();
    }
    ~List() { brw.Kill(); }
};

struct Bench {
    Window w{u"benchlist", u"LIST"};
    WindowManager manager;
    std::unique_ptr<List> list;
    STRING<255> fuzzyQuery9;
    FuzzyClass matcher;
};

Bench* gBench = nullptr;

// A user's action on the list, as the list's widget reports it, taken by the
// thread's event loop (the reader moves its page there).
void deliver(int event, const Value& value = {}) {
    rt::Event e;
    e.event = event;
    e.field = BROWSE_1;
    e.value = value;
    e.window = gBench->w.id();
    e.input = true;
    rt::postEvent(THREAD(), e);
    while (ACCEPT()) {
        const rt::Event& got = rt::currentEvent();
        if (got.event == event && got.field == BROWSE_1)
            return;
    }
}

// Lets the events the screen sent in the meantime pass: all that came before
// a mark the thread sends itself.
void drain() {
    POST(EVENT::User + 99);
    while (ACCEPT()) {
        if (rt::currentEvent().event == EVENT::User + 99)
            return;
    }
}

List& list() {
    if (!gBench->list) {
        gBench->list = std::make_unique<List>(gBench->w, gBench->manager);
        gBench->list->brw.SetSort(2, false);
        drain();
    }
    return *gBench->list;
}

void BM_OpenFirstPage(benchmark::State& state) {
    for (auto _ : state) {
        List l(gBench->w, gBench->manager);
        l.brw.SetSort(2, false);
        benchmark::DoNotOptimize(l.brw.Records());
        state.PauseTiming();
        if (l.brw.Records() < 5)
            state.SkipWithError("the first page is empty");
        state.ResumeTiming();
    }
    drain();
}
BENCHMARK(BM_OpenFirstPage)->Unit(benchmark::kMillisecond);

// The same with its own window: opened, the first page sent to it, closed.
void BM_OpenWindowWithList(benchmark::State& state) {
    for (auto _ : state) {
        Window w(u"benchlist", u"LIST");
        WindowManager manager;
        manager.Open(w);
        {
            List l(w, manager);
            l.brw.SetSort(2, false);
            benchmark::DoNotOptimize(l.brw.Records());
        }
        w.close();
    }
    drain();
}
BENCHMARK(BM_OpenWindowWithList)->Unit(benchmark::kMillisecond);

void BM_PageDown(benchmark::State& state) {
    List& l = list();
    l.brw.SetSort(2, false);
    int rows = 0;
    for (auto _ : state) {
        deliver(EVENT::PageDown);
        rows += l.brw.Records();
        if (l.brw.CurrentRow() == l.brw.Records() &&
            l.brw.Queue()->value(l.brw.Records(), 6).toInt() == benchbase::kCards) {
            state.PauseTiming();
            deliver(EVENT::ScrollTop);
            state.ResumeTiming();
        }
    }
    state.counters["rows/page"] = double(rows) / double(state.iterations());
}
BENCHMARK(BM_PageDown)->Unit(benchmark::kMicrosecond);

void BM_ThumbJump(benchmark::State& state) {
    List& l = list();
    l.brw.SetSort(1, false);
    QRandomGenerator g(5);
    for (auto _ : state)
        deliver(EVENT::ScrollDrag, int(1 + g.bounded(98)));
    l.brw.SetSort(2, false);
}
BENCHMARK(BM_ThumbJump)->Unit(benchmark::kMicrosecond);

void BM_LocatorJump(benchmark::State& state) {
    List& l = list();
    l.brw.SetSort(2, false);
    l.brw.ReplaceSort(QStringLiteral("+KAL:NAME"), &l.columnLocator);
    l.brw.SetLocatorFromSort();
    const QString letters = QStringLiteral("зпсногкрф");
    int i = 0;
    for (auto _ : state)
        deliver(EVENT::Locate, QString(letters[i++ % letters.size()]));
    l.brw.RestoreSort();
    l.brw.ResetSort(true);
}
BENCHMARK(BM_LocatorJump)->Unit(benchmark::kMicrosecond);

const char* const kQueries[] = {"закон о порядке регистрации", "регистрации прав граждан",
                                "налогового кодекса", "земельного участка страхования"};

void BM_HeaderSort(benchmark::State& state) {
    List& l = list();
    l.brw.SetSort(2, false);
    l.brw.ReplaceSort(QStringLiteral("-KAL:NAME"), &l.columnLocator);
    benchbase::resetPeakMemory();
    bool down = false;
    for (auto _ : state) {
        l.brw.ReplaceSort(down ? QStringLiteral("-KAL:NAME") : QStringLiteral("+KAL:NAME"),
                          &l.columnLocator);
        down = !down;
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
    l.brw.RestoreSort();
    l.brw.ResetSort(true);
}
BENCHMARK(BM_HeaderSort)->Unit(benchmark::kMillisecond);

// Each time a list just made (untimed) takes an order (timed).
template <typename Act>
void firstInNewList(benchmark::State& state, Act act) {
    gBench->list.reset();
    benchbase::resetPeakMemory();
    for (auto _ : state) {
        state.PauseTiming();
        auto l = std::make_unique<List>(gBench->w, gBench->manager);
        l->brw.SetSort(2, false);
        gBench->fuzzyQuery9 = kQueries[0];
        state.ResumeTiming();
        act(*l);
        state.PauseTiming();
        l.reset();
        state.ResumeTiming();
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
    drain();
}

void BM_HeaderSortFirst(benchmark::State& state) {
    firstInNewList(
        state, [](List& l) { l.brw.ReplaceSort(QStringLiteral("+KAL:NAME"), &l.columnLocator); });
}
BENCHMARK(BM_HeaderSortFirst)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FuzzyOrder(benchmark::State& state) {
    List& l = list();
    gBench->fuzzyQuery9 = kQueries[0];
    l.brw.SetSort(l.fuzzyOrder, true);
    benchbase::resetPeakMemory();
    int i = 1;
    for (auto _ : state) {
        gBench->fuzzyQuery9 = kQueries[i++ % 4];
        l.brw.SetSort(l.fuzzyOrder, true);
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
    l.brw.SetSort(2, false);
}
BENCHMARK(BM_FuzzyOrder)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FuzzyOrderFirst(benchmark::State& state) {
    firstInNewList(state, [](List& l) { l.brw.SetSort(l.fuzzyOrder, true); });
}
BENCHMARK(BM_FuzzyOrderFirst)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_FloorOrderByName(benchmark::State& state) {
    list();
    sqlite3* db = KALDOR.connection()->db();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, R"(SELECT "_ptr", "NAME" FROM "KALDOR" ORDER BY "NAME" LIMIT 30)", -1,
                       &st, nullptr);
    for (auto _ : state) {
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW)
            ++rows;
        sqlite3_reset(st);
        if (rows != 30)
            state.SkipWithError("the floor query read no page");
    }
    sqlite3_finalize(st);
}
BENCHMARK(BM_FloorOrderByName)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchbase::startProgram(&argc, argv, QStringLiteral(KALDOR_BENCH_RESOURCES));
    return rt::run(argc, argv, [] {
        benchbase::openBase();
        Bench b;
        gBench = &b;
        b.matcher.Init();
        b.matcher.SetOption(FuzzyClass::NOCASE, 1);
        b.matcher.SetOption(FuzzyClass::WORDONLY, 0);
        rt::setFuzzyMatcher(&b.matcher);
        BIND(QStringLiteral("FuzzyQuery9"), ref(b.fuzzyQuery9));
        BIND(QStringLiteral("FuzzyMatch"), FuzzyMatch);
        b.manager.Open(b.w);
        if (!b.w.isOpen())
            return;
        drain();
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        b.list.reset();
        rt::setFuzzyMatcher(nullptr);
        b.w.close();
        DctKill();
    });
}
