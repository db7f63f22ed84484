// The register report the way the user makes it, over bases of 10,000 and
// 100,000 cards in their encrypted KALDOR.TPS: PrintRs started on a thread of
// its own reads the cards under its progress window a slice per tick, lays out
// the pages and opens the preview, which paints its first page; the pages are
// then saved as PDF from the preview, on the preview's own output thread. A
// timer of the GUI thread ticking every 5 ms watches meanwhile: its longest
// gap, less the 5 ms, is the longest the program's windows could not answer.
// Measured per run (whole path), with counters for its parts:
//   read_s          start to the preview opened, every page laid out
//   first_page_s    the preview's first page painted after it opened
//   pdf_s           the PDF written from the preview, its progress shown
//   pdf_stall_ms    the GUI thread's longest stall while the PDF is written
//   read_stall_ms   the same while the cards are read and the preview opens
//   pages           pages of the register

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "core/paths.h"
#include "dictionary.h"
#include "register_base.h"
#include "report/preview.h"
#include "report_preview.h"
#include "ui/runtime.h"

namespace {

template <class F>
auto onGui(F f) -> decltype(f()) {
    decltype(f()) r{};
    rt::gui::call([&] { r = f(); });
    return r;
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

// The GUI thread's longest stall while it runs: a timer of that thread that
// should tick every 5 ms, and the longest gap between two of its ticks.
class StallWatch {
  public:
    StallWatch() {
        rt::gui::call([this] {
            timer_ = new QTimer;
            timer_->setInterval(kTick);
            QObject::connect(timer_, &QTimer::timeout, [this] {
                const qint64 now = clock_.nsecsElapsed();
                longest_ = std::max(longest_.load(), now - last_.load());
                last_ = now;
            });
            clock_.start();
            last_ = 0;
            timer_->start();
        });
    }
    ~StallWatch() {
        rt::gui::call([this] { delete timer_; });
    }
    // Milliseconds beyond the tick since the last reset; then starts again.
    double takeMs() {
        double ms = 0;
        rt::gui::call([this, &ms] {
            const qint64 now = clock_.nsecsElapsed();
            ms = std::max(longest_.load(), now - last_.load()) / 1e6 - kTick;
            longest_ = 0;
            last_ = now;
        });
        return std::max(0.0, ms);
    }

  private:
    static constexpr int kTick = 5;
    QTimer* timer_ = nullptr;
    QElapsedTimer clock_;
    std::atomic<qint64> last_{0};
    std::atomic<qint64> longest_{0};
};

void BM_PrintRsToPdf(benchmark::State& state) {
    const int cards = int(state.range(0));
    const QString folder = QStringLiteral("c:\\register%1\\").arg(cards);
    QDir().mkpath(rt::nativePath(folder));
    QElapsedTimer made;
    made.start();
    if (!makeBase(folder, madeUpCards(cards))) {
        state.SkipWithError("no base");
        return;
    }
    std::fprintf(stderr, "base of %d cards made in %.2f s\n", cards, made.elapsed() / 1e3);
    setActiveBase(folder, QStringLiteral("Реестр для замера"));
    QTemporaryDir out;
    const QString pdf = out.filePath(QStringLiteral("register.pdf"));
    double read = 0, firstPage = 0, write = 0, readStall = 0, pdfStall = 0;
    int pages = 0;
    for (auto _ : state) {
        StallWatch stalls;
        QElapsedTimer clock;
        clock.start();
        const int thread = START(PrintRs, 25000);
        if (!waitFor([] { return onGui([] { return shownPreview() != nullptr; }); }, 600000)) {
            state.SkipWithError("no preview");
            return;
        }
        if (!waitFor([] { return onGui([] { return shownPreview()->document()->finished(); }); },
                     600000)) {
            state.SkipWithError("no pages");
            return;
        }
        read += clock.nsecsElapsed() / 1e9;
        const qint64 shown = clock.nsecsElapsed();
        // What the user sees first: the preview painting the page in view.
        onGui([] { return !shownPreview()->grab().isNull(); });
        firstPage += (clock.nsecsElapsed() - shown) / 1e9;
        readStall = std::max(readStall, stalls.takeMs());
        const qint64 saving = clock.nsecsElapsed();
        if (!onGui([&] { return shownPreview()->savePdf(pdf); }) ||
            !waitFor([] { return !onGui([] { return shownPreview()->outputRunning(); }); },
                     600000) ||
            !onGui([] { return shownPreview()->outputError().isEmpty(); })) {
            state.SkipWithError("no PDF");
            return;
        }
        write += (clock.nsecsElapsed() - saving) / 1e9;
        pdfStall = std::max(pdfStall, stalls.takeMs());
        pages = onGui([] { return shownPreview()->pagesShown(); });
        onGui([] { return shownPreview()->close(); });
        rt::waitThreadEnd(thread, 10000);
    }
    const double n = double(state.iterations());
    state.counters["read_s"] = read / n;
    state.counters["first_page_s"] = firstPage / n;
    state.counters["pdf_s"] = write / n;
    state.counters["pdf_stall_ms"] = pdfStall;
    state.counters["read_stall_ms"] = readStall;
    state.counters["pages"] = pages;
    state.counters["pdf_MB"] = double(QFileInfo(pdf).size()) / 1e6;
}
BENCHMARK(BM_PrintRsToPdf)->Arg(10000)->Iterations(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrintRsToPdf)
    ->Arg(100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("KALDOR_DRIVE_C", (home.path() + QStringLiteral("/c")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    installThreadHooks();
    int rc = 0;
    rt::run(argc, argv, [&] {
        GlobalErrors.Init(GlobalErrorStatus);
        INIMgr.Init(u"kaldor.INI");
        benchmark::RunSpecifiedBenchmarks();
        INIMgr.Kill();
    });
    benchmark::Shutdown();
    return rc;
}
