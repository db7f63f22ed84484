// The rich-text control on a 5 MB Russian document (the RTF benchmark's
// document: a corpus file's body repeated): Load into an open window's editor,
// Save, replacing a frequent word everywhere, and changing the reading size.
// The benchmarks run on the window's own thread of a running program
// (offscreen), as the document list and the card form do.

#include <benchmark/benchmark.h>

#include <QTextEdit>

#include "big_rtf.h"
#include "controls/rtfctltest.h"
#include "core/resources.h"
#include "rtfcontrol.h"
#include "rtfeditor.h"
#include "ui/gui.h"
#include "ui/window.h"

namespace {

using namespace rtfctltest;  // the window's controls

using bench::bigRtfPath;
using bench::workDir;

Window* gWindow = nullptr;
RTFControlClass* gEditor = nullptr;

// Runs fn on the GUI thread with the editor's GUI side.
void withEditor(const std::function<void(rt::rtfctl::Editor&)>& fn) {
    const quint64 id = gWindow->id();
    rt::gui::call([&] {
        if (auto* e = rt::rtfctl::Editor::find(id, RTFTEXTBOX))
            fn(*e);
    });
}

void BM_Load5MB(benchmark::State& state) {
    for (auto _ : state) {
        if (!gEditor->Load(bigRtfPath()))
            state.SkipWithError("load failed");
    }
    state.SetBytesProcessed(state.iterations() * bench::kBigRtfSize);
}
BENCHMARK(BM_Load5MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_Save5MB(benchmark::State& state) {
    gEditor->Load(bigRtfPath());
    const QString out = workDir().filePath(QStringLiteral("Test.rtf"));
    for (auto _ : state) {
        if (!gEditor->Save(out, 0))
            state.SkipWithError("save failed");
    }
}
BENCHMARK(BM_Save5MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// Every "реестр" of the document (some 2,800) becomes "перечень", as one
// step of undo.
void BM_ReplaceAll5MB(benchmark::State& state) {
    int replaced = 0;
    for (auto _ : state) {
        state.PauseTiming();
        gEditor->Load(bigRtfPath());
        state.ResumeTiming();
        withEditor([&](rt::rtfctl::Editor& e) {
            replaced = e.replaceAll(QStringLiteral("реестр"), QStringLiteral("перечень"), {});
        });
    }
    state.counters["replaced"] = replaced;
}
BENCHMARK(BM_ReplaceAll5MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The reading size changes: the whole document is laid out anew.
void BM_ReadingSize5MB(benchmark::State& state) {
    gEditor->Load(bigRtfPath());
    int size = 8;
    for (auto _ : state) {
        size = size == 8 ? 12 : 8;
        (*gWindow)[RTFTEXTBOX][PROP::FontSize] = size;
        // The layout the editor needs to show its first page and its
        // scroll bar: the whole document's.
        withEditor([](rt::rtfctl::Editor& e) {
            benchmark::DoNotOptimize(e.textEdit()->document()->size());
        });
    }
}
BENCHMARK(BM_ReadingSize5MB)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    rt::addResourceFolder(QStringLiteral(KALDOR_SOURCE_DIR "/tests/platform/rtf/resources"));
    return rt::run(argc, argv, [] {
        Window w(u"rtfctltest", u"EDITOR");
        if (!w.open())
            return;
        RTFControlClass rtf;
        rtf.Init(RTFTEXTBOX);
        gWindow = &w;
        gEditor = &rtf;
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
        rtf.Kill();
        w.close();
    });
}
