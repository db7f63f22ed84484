// The document list Browsekaldor the way the user meets it, over the base of
// kaldor_base.h (100,000 cards, or $KALDOR_BENCH_CARDS): the procedure on a
// thread of its own in a running program, its window driven through the window
// and list drivers.
// Each measure runs from the user's action to the window's thread idle again
// with the new rows sent to the screen:
//   OpenDocumentList  the frame's menu item: the thread started, the tables
//                     opened, the window and its first page shown, the open
//                     count raised (closing is not measured)
//   PageDown          Page Down in the list (from the top to the end, again)
//   SwitchTab         the tab of the dates and back to the tab of the numbers
//   HeaderSort        a click on the name's header: all cards by name (then
//                     "Очистить", not measured)
//   HeaderSortFirst   the same, the first in a list just opened
//   FuzzySearch       a text typed and "Найти": every card ordered by its score
//                     (then "Очистить", not measured), after a first search
//   FuzzySearchFirst  the first search in a list just opened
// The counter peakMB is the process's peak resident memory during the measure.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>

#include "app/globals.h"
#include "app/procedures.h"
#include "core/fuzzy.h"
#include "dictionary.h"
#include "kaldo013.h"
#include "kaldor_base.h"
#include "listdriver.h"
#include "ui/runtime.h"
#include "uidriver.h"

namespace {

using namespace kaldo013;

constexpr int kLongWait = 120000;

LONG openList() {
    const LONG th = START(Browsekaldor, 50000);
    uitest::waitWindow(th, kLongWait);
    uitest::waitFor([th] { return !listtest::column(th, BROWSE_1, 2).isEmpty(); }, kLongWait);
    uitest::waitIdle(th, kLongWait);
    return th;
}

void closeList(LONG th) {
    POST(EVENT::CloseWindow, 0, th);
    rt::waitThreadEnd(th, kLongWait);
}

// One list kept open for the measures of what is done in it.
LONG gList = 0;

LONG list() {
    if (gList == 0)
        gList = openList();
    return gList;
}

void BM_OpenDocumentList(benchmark::State& state) {
    for (auto _ : state) {
        const LONG th = openList();
        state.PauseTiming();
        if (listtest::column(th, BROWSE_1, 2).size() < 5)
            state.SkipWithError("the first page is empty");
        closeList(th);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenDocumentList)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_PageDown(benchmark::State& state) {
    const LONG th = list();
    uitest::pressKey(th, BROWSE_1, Key::Home);
    for (auto _ : state) {
        uitest::pressKey(th, BROWSE_1, Key::PgDn);
        if (listtest::column(th, BROWSE_1, 2).last() == QString::number(benchbase::kCards)) {
            state.PauseTiming();
            uitest::pressKey(th, BROWSE_1, Key::Home);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_PageDown)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SwitchTab(benchmark::State& state) {
    const LONG th = list();
    for (auto _ : state) {
        uitest::selectTab(th, CURRENTTAB, 2);
        uitest::selectTab(th, CURRENTTAB, 1);
    }
}
BENCHMARK(BM_SwitchTab)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HeaderSort(benchmark::State& state) {
    const LONG th = list();
    listtest::clickHeader(th, BROWSE_1, 1);
    uitest::click(th, FUZZYCLEAR);
    benchbase::resetPeakMemory();
    for (auto _ : state) {
        listtest::clickHeader(th, BROWSE_1, 1);
        state.PauseTiming();
        // A third click would clear it: leave the sort, start over.
        uitest::click(th, FUZZYCLEAR);
        state.ResumeTiming();
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
}
BENCHMARK(BM_HeaderSort)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_HeaderSortFirst(benchmark::State& state) {
    benchbase::resetPeakMemory();
    for (auto _ : state) {
        state.PauseTiming();
        const LONG th = openList();
        state.ResumeTiming();
        listtest::clickHeader(th, BROWSE_1, 1);
        state.PauseTiming();
        closeList(th);
        state.ResumeTiming();
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
}
BENCHMARK(BM_HeaderSortFirst)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void search(LONG th, const QString& text) {
    uitest::type(th, FUZZYQUERY, text);
    uitest::click(th, FUZZYGO, kLongWait);
}

void BM_FuzzySearch(benchmark::State& state) {
    const LONG th = list();
    search(th, QStringLiteral("закон о порядке"));
    uitest::click(th, FUZZYCLEAR, kLongWait);
    benchbase::resetPeakMemory();
    for (auto _ : state) {
        state.PauseTiming();
        uitest::type(th, FUZZYQUERY, QStringLiteral("регистрации прав граждан"));
        state.ResumeTiming();
        uitest::click(th, FUZZYGO, kLongWait);
        state.PauseTiming();
        uitest::click(th, FUZZYCLEAR, kLongWait);
        state.ResumeTiming();
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
}
BENCHMARK(BM_FuzzySearch)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_FuzzySearchFirst(benchmark::State& state) {
    benchbase::resetPeakMemory();
    for (auto _ : state) {
        state.PauseTiming();
        const LONG th = openList();
        uitest::type(th, FUZZYQUERY, QStringLiteral("регистрации прав граждан"));
        state.ResumeTiming();
        uitest::click(th, FUZZYGO, kLongWait);
        state.PauseTiming();
        uitest::click(th, FUZZYCLEAR, kLongWait);
        closeList(th);
        state.ResumeTiming();
    }
    state.counters["peakMB"] = benchbase::peakMemoryMB();
}
BENCHMARK(BM_FuzzySearchFirst)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    installThreadHooks();
    rt::run(argc, argv, [&] {
        GlobalErrors.Init(GlobalErrorStatus);
        FuzzyMatcher.Init();
        rt::setFuzzyMatcher(&FuzzyMatcher);
        INIMgr.Init(u"kaldor.INI");
        // Drive C in the bench folder, the base of 100,000 cards active.
        benchbase::openBase();
        Relate_KALDOR->Close();
        QDir().mkpath(benchbase::benchDir() + QStringLiteral("/kaldor_demo"));
        PUT = u"c:\\bench\\";
        TEMA = u"Замер";
        benchmark::RunSpecifiedBenchmarks();
        if (gList != 0)
            closeList(gList);
        DctKill();
        INIMgr.Kill();
    });
    benchmark::Shutdown();
    return 0;
}
