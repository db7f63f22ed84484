// Query by example on the base of 100,000 cards (kaldor_base.h), with the
// document list's five items:
//   ViewCount/...     the cards that meet a query, counted by a view in the
//                     order of card numbers: the conditions read by the table
//                     driver (SQL)
//   RowByRow/...      the same queries tested row by row in the record buffer
//                     (what the driver spares)
//   ListApply/...     the list's query put in force: the list read again from
//                     the top in its order, the first page sent to the screen
// Queries: contains on the short name (Cyrillic, without case), a number
// (rare), a year of approval dates, and all three at once.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/globals.h"
#include "browse.h"
#include "controls/benchquery.h"
#include "core/resources.h"
#include "dictionary.h"
#include "kaldor_base.h"
#include "query.h"
#include "ui/runtime.h"
#include "ui/window.h"

namespace {

using namespace benchquery;  // the window's controls
enum { WORDS = 1, NDOK, UTV, VVOD, NAME };

struct Row {
    STRING<120> KAL_NAME;
    LONG KAL_ID;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct Bench {
    Window w{u"benchquery", u"LIST"};
    WindowManager manager;
    lst::QUEUE<Row> q{[](Row& r, lst::QueueFields& f) {
        f("KAL:NAME", r.KAL_NAME)("KAL:ID", r.KAL_ID)("MARK", r.MARK)("VIEWPOSITION",
                                                                      r.VIEWPOSITION);
    }};
    ViewClass view{KALDOR};
    lst::BrowseClass brw;
    lst::QueryListClass qbe;
    lst::QueryListVisual qbv;
};

Bench* gBench = nullptr;

void addItems(lst::QueryClass& q) {
    q.AddItem(u"UPPER(KAL:wordkey)", u"Ключевая фраза", u"@s240", 1);
    q.AddItem(u"UPPER(KAL:ndok)", u"№ документа", u"@s12", 1);
    q.AddItem(u"UPPER(KAL:utvdata)", u"Дата утверждения", u"@d6.b", 1);
    q.AddItem(u"UPPER(KAL:vvoddata)", u"Дата ввода", u"@d6.b", 1);
    q.AddItem(u"UPPER(KAL:name)", u"Краткое наименование", u"@s120", 1);
}

// The query of a benchmark's argument.
void setQuery(lst::QueryListClass& q, int which) {
    q.ClearQuery();
    if (which == 0 || which == 3)
        q.AddLimit(NAME, lst::QueryOp::Contains, QStringLiteral("закон"));
    if (which == 1 || which == 3)
        q.AddLimit(NDOK, lst::QueryOp::Equal, QStringLiteral("999-фз"));
    if (which == 2 || which == 3) {
        q.AddLimit(UTV, lst::QueryOp::GreaterEqual, QStringLiteral("01.01.2010"));
        q.AddLimit(UTV, lst::QueryOp::LessEqual, QStringLiteral("31.12.2010"));
    }
}

const char* kNames[] = {"contains_name", "number", "year", "all_three"};

void BM_ViewCount(benchmark::State& state) {
    lst::QueryListClass q;
    addItems(q);
    q.SetTable(&KALDOR);
    setQuery(q, int(state.range(0)));
    std::int64_t n = 0;
    for (auto _ : state) {
        ViewClass v(KALDOR);
        v.addField(KAL.ID);
        v.addField(KAL.NAME);
        v.setOrder(KAL_K1);
        if (auto rest = q.Apply(v))
            v.setFilter(rest);
        n = v.count();
    }
    state.counters["cards"] = double(n);
    state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_ViewCount)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_RowByRow(benchmark::State& state) {
    lst::QueryListClass q;
    addItems(q);
    q.SetTable(&KALDOR);
    setQuery(q, int(state.range(0)));
    std::int64_t n = 0;
    for (auto _ : state) {
        ViewClass v(KALDOR);
        v.setOrder(KAL_K1);
        v.setFilter([&q] { return q.Matches(); });
        n = v.count();
    }
    state.counters["cards"] = double(n);
    state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_RowByRow)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ListApply(benchmark::State& state) {
    Bench& b = *gBench;
    for (auto _ : state) {
        state.PauseTiming();
        setQuery(b.qbe, int(state.range(0)));
        state.ResumeTiming();
        b.brw.ApplyQuery();
        benchmark::DoNotOptimize(b.brw.Records());
        state.PauseTiming();
        b.qbe.ClearQuery();
        b.brw.ApplyQuery();
        state.ResumeTiming();
    }
    state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_ListApply)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    benchbase::startProgram(&argc, argv, QStringLiteral(KALDOR_BENCH_RESOURCES));
    return rt::run(argc, argv, [] {
        benchbase::openBase();
        {
            Bench b;
            gBench = &b;
            b.manager.Open(b.w);
            if (!b.w.isOpen())
                return;
            b.brw.Init(BROWSE_1, ref(b.q.VIEWPOSITION), b.view, b.q, *Relate_KALDOR, b.manager);
            b.brw.AddSortOrder(KAL_K1);
            b.brw.AddField(KAL.NAME, b.q.KAL_NAME);
            b.brw.AddField(KAL.ID, b.q.KAL_ID);
            b.qbe.Init(b.qbv, INIMgr, u"Browsekaldor", GlobalErrors);
            addItems(b.qbe);
            b.brw.QueryControl = 2;
            b.brw.Query = &b.qbe;
            b.brw.SetSort(1, true);
            // One scan first, so that no benchmark pays for a cold file cache.
            {
                ViewClass warm(KALDOR);
                warm.setOrder(KAL_K1);
                warm.addCondition(KAL.NAME, ViewClass::Compare::Contains,
                                  Value(QStringLiteral("Ъ")), true);
                warm.count();
            }
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
            b.brw.Kill();
            b.w.close();
        }
        DctKill();
    });
}
