// The register report the way the user makes it, over a base of 10,000 cards
// in its encrypted KALDOR.TPS: PrintRs started on a thread of its own reads the
// cards under its progress window a slice per tick, lays out the pages and
// opens the preview, which paints its first page; the pages are then saved as
// PDF from the preview. Measured per run (whole path), with counters for its
// parts:
//   read_s       start to the preview opened, every page laid out
//   first_page_s the preview's first page painted after it opened
//   pdf_s        the PDF written from the preview
//   pages        pages of the register

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "dictionary.h"
#include "register_base.h"
#include "report/preview.h"
#include "ui/runtime.h"

namespace {

constexpr int kCards = 10000;

template <class F>
auto onGui(F f) -> decltype(f()) {
    decltype(f()) r{};
    rt::gui::call([&] { r = f(); });
    return r;
}

PrintPreviewClass* preview() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* p = qobject_cast<PrintPreviewClass*>(w);
        if (p && p->isVisible())
            return p;
    }
    return nullptr;
}

template <class F>
bool waitFor(F done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void BM_PrintRsToPdf(benchmark::State& state) {
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("register.pdf"));
    double read = 0, firstPage = 0, write = 0;
    int pages = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const int thread = START(PrintRs, 25000);
        if (!waitFor([] { return onGui([] { return preview() != nullptr; }); }, 60000)) {
            state.SkipWithError("no preview");
            return;
        }
        read += clock.nsecsElapsed() / 1e9;
        const qint64 shown = clock.nsecsElapsed();
        // What the user sees first: the preview painting the page in view.
        onGui([] { return !preview()->grab().isNull(); });
        firstPage += (clock.nsecsElapsed() - shown) / 1e9;
        const qint64 saving = clock.nsecsElapsed();
        if (!onGui([&] { return preview()->savePdf(pdf); })) {
            state.SkipWithError("no PDF");
            return;
        }
        write += (clock.nsecsElapsed() - saving) / 1e9;
        pages = onGui([] { return preview()->pagesShown(); });
        onGui([] { return preview()->close(); });
        rt::waitThreadEnd(thread, 10000);
    }
    const double n = double(state.iterations());
    state.counters["read_s"] = read / n;
    state.counters["first_page_s"] = firstPage / n;
    state.counters["pdf_s"] = write / n;
    state.counters["pages"] = pages;
    state.counters["pdf_MB"] = double(QFileInfo(pdf).size()) / 1e6;
}
BENCHMARK(BM_PrintRsToPdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("KALDOR_DRIVE_C", (home.path() + QStringLiteral("/c")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    QDir(home.path()).mkpath(QStringLiteral("c/register"));
    benchmark::Initialize(&argc, argv);
    installThreadHooks();
    int rc = 0;
    rt::run(argc, argv, [&] {
        GlobalErrors.Init(GlobalErrorStatus);
        INIMgr.Init(u"kaldor.INI");
        QElapsedTimer t;
        t.start();
        if (!makeBase(QStringLiteral("c:\\register\\"), madeUpCards(kCards))) {
            rc = 1;
            return;
        }
        std::fprintf(stderr, "base of %d cards made in %.2f s\n", kCards, t.elapsed() / 1e3);
        setActiveBase(QStringLiteral("c:\\register\\"), QStringLiteral("Реестр для замера"));
        benchmark::RunSpecifiedBenchmarks();
        INIMgr.Kill();
    });
    benchmark::Shutdown();
    return rc;
}
