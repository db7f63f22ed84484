// The register report of a base of 10,000 cards: laying out the pages, writing
// them as PDF, and how soon the preview has its first page.

#include <benchmark/benchmark.h>

#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "core/resources.h"
#include "core/threads.h"
#include "demo_register.h"

namespace {

constexpr int kCards = 10000;

// The cards as record buffers would hold them, made once: the benchmark
// measures the report, not the making of test texts.
struct Card {
    STRING<120> PNAME1, PNAME2, PNAME3;
    STRING<12> NDOK;
    DATE UTVDATA, VVODDATA;
};

const std::vector<Card>& cards() {
    static const std::vector<Card> all = [] {
        std::vector<Card> v;
        DemoRegister r;
        for (int n = 1; n <= kCards; ++n) {
            r.load(n);
            v.push_back({r.PNAME1, r.PNAME2, r.PNAME3, r.NDOK, r.UTVDATA, r.VVODDATA});
        }
        return v;
    }();
    return all;
}

std::shared_ptr<rt::ReportDocument> openRegister(rt::Report& report) {
    report.open();
    report.setText(u"?REPORTDATESTAMP", QStringLiteral("14.03.2024"));
    report.setText(u"?REPORTTIMESTAMP", QStringLiteral("10:25"));
    return report.document();
}

// Prints every card as the report procedure would: record into the buffer, then
// the detail band.
void feedRegister(rt::Report& report, DemoRegister& reg) {
    const int detail = report.declaration().band(u"?DETAIL");
    for (const Card& c : cards()) {
        reg.PNAME1 = c.PNAME1;
        reg.PNAME2 = c.PNAME2;
        reg.PNAME3 = c.PNAME3;
        reg.NDOK = c.NDOK;
        reg.UTVDATA = c.UTVDATA;
        reg.VVODDATA = c.VVODDATA;
        report.print(detail);
    }
    report.close();
}

std::shared_ptr<rt::ReportDocument> printRegister(rt::Report& report, DemoRegister& reg) {
    auto doc = openRegister(report);
    feedRegister(report, reg);
    return doc;
}

struct Fixture {
    Fixture() : report(registerDeclaration()) {
        reg.bind(report);
        reg.TEMA = u"Демонстрационная база";
    }
    rt::Report report;
    DemoRegister reg;
};

void BM_RegisterLayout(benchmark::State& state) {
    cards();
    Fixture f;
    int pages = 0;
    for (auto _ : state) {
        pages = printRegister(f.report, f.reg)->pageCount();
    }
    state.counters["pages"] = pages;
}
BENCHMARK(BM_RegisterLayout)->Unit(benchmark::kMillisecond);

void BM_RegisterToPdf(benchmark::State& state) {
    cards();
    Fixture f;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("register.pdf"));
    int pages = 0;
    for (auto _ : state) {
        auto doc = printRegister(f.report, f.reg);
        if (!doc->writePdf(file))
            state.SkipWithError("writing the PDF failed");
        pages = doc->pageCount();
    }
    state.counters["pages"] = pages;
    state.counters["MB"] = double(QFileInfo(file).size()) / 1e6;
}
BENCHMARK(BM_RegisterToPdf)->Unit(benchmark::kMillisecond);

// The run on a thread of its own, the preview's thread waiting for the first
// page and painting it at 100 % on a 96 dpi screen.
void BM_FirstPageWhileRunning(benchmark::State& state) {
    cards();
    for (auto _ : state) {
        Fixture f;
        auto doc = openRegister(f.report);
        std::thread run([&] {
            rt::ThreadScope scope;
            feedRegister(f.report, f.reg);
        });
        doc->waitForPages(1, -1);
        const QImage first = doc->renderPage(0, 96);
        benchmark::DoNotOptimize(first.constBits());
        state.PauseTiming();
        run.join();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstPageWhileRunning)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    rt::addResourceFolder(QStringLiteral(KALDOR_SOURCE_DIR "/resources"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
