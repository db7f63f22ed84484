// Reading and writing a 5 MB Russian RTF document with tables, and, in the same
// run, LibreOffice and pandoc converting the same file to text (skipped when
// they are not installed; scripts/install-bench-deps installs them).
//
// The document is a corpus file written by LibreOffice (Russian text, tables,
// lists, colours) with its body repeated until it is 5 MB.

#include <benchmark/benchmark.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>
#include <cstdio>
#include <map>

#include "big_rtf.h"
#include "rtf.h"

namespace {

using bench::workDir;

const QByteArray& document() {
    return bench::bigRtf();
}

QString documentPath() {
    return bench::bigRtfPath();
}

// The fastest iteration of each benchmark, for the ratios printed at the end.
std::map<std::string, double>& best() {
    static std::map<std::string, double> m;
    return m;
}

void record(benchmark::State& state, const std::string& key, double seconds) {
    state.SetIterationTime(seconds);
    auto [it, fresh] = best().try_emplace(key, seconds);
    if (!fresh && seconds < it->second)
        it->second = seconds;
}

void BM_ReadRtf5MB(benchmark::State& state) {
    const QByteArray& rtf = document();
    for (auto _ : state) {
        QTextDocument doc;
        QElapsedTimer t;
        t.start();
        rt::readRtf(rtf, &doc);
        record(state, "read", t.nsecsElapsed() / 1e9);
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ReadRtf5MB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

// 100,000 hyperlink fields (5 MB), each in the result of the one before it or
// side by side: reading either takes time in proportion to the file's size.
QByteArray linkFields(bool nested) {
    constexpr int kFields = 100'000;
    const QByteArray open = "{\\field{\\*\\fldinst HYPERLINK \"http://example.org/a\"}{\\fldrslt x";
    QByteArray rtf = "{\\rtf1 ";
    rtf.reserve(kFields * (open.size() + 2) + 16);
    for (int i = 0; i < kFields; ++i) {
        rtf += open;
        if (!nested)
            rtf += "}}";
    }
    if (nested)
        rtf += QByteArray(kFields * 2, '}');
    return rtf + '}';
}

void BM_ReadFields(benchmark::State& state) {
    const QByteArray rtf = linkFields(state.range(0) != 0);
    for (auto _ : state) {
        QTextDocument doc;
        rt::readRtf(rtf, &doc);
        benchmark::DoNotOptimize(doc.characterCount());
    }
    state.SetLabel(state.range(0) ? "nested" : "side by side");
    state.SetBytesProcessed(state.iterations() * rtf.size());
}
BENCHMARK(BM_ReadFields)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WriteRtf5MB(benchmark::State& state) {
    QTextDocument doc;
    rt::readRtf(document(), &doc);
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const QByteArray out = rt::writeRtf(doc);
        record(state, "write", t.nsecsElapsed() / 1e9);
        benchmark::DoNotOptimize(out.size());
    }
}
BENCHMARK(BM_WriteRtf5MB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(3);

void runTool(benchmark::State& state, const QString& program, const QStringList& args) {
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        state.SkipWithError(qPrintable(program + " is not installed"));
        for (auto _ : state) {
        }
        return;
    }
    for (auto _ : state) {
        QProcess p;
        p.setWorkingDirectory(workDir().path());
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        p.waitForFinished(600000);
        record(state, program.toStdString(), t.nsecsElapsed() / 1e9);
        if (p.exitCode() != 0) {
            state.SkipWithError(qPrintable(program + " failed"));
            break;
        }
    }
}

void BM_LibreOfficeToText5MB(benchmark::State& state) {
    documentPath();
    runTool(state, QStringLiteral("soffice"),
            {"-env:UserInstallation=file://" + workDir().filePath("lo-profile"), "--headless",
             "--convert-to", "txt:Text (encoded):UTF8", "--outdir", workDir().filePath("lo"),
             documentPath()});
}
BENCHMARK(BM_LibreOfficeToText5MB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PandocToText5MB(benchmark::State& state) {
    runTool(state, QStringLiteral("pandoc"),
            {"-f", "rtf", "-t", "plain", "-o", workDir().filePath("pandoc.txt"), documentPath()});
}
BENCHMARK(BM_PandocToText5MB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("document: %.1f MB\n", document().size() / 1048576.0);
    const auto& b = best();
    auto time = [&](const char* key) {
        const auto it = b.find(key);
        return it == b.end() ? 0.0 : it->second;
    };
    const double ours = time("read");
    if (ours > 0) {
        std::printf("read: %.0f ms, write: %.0f ms (fastest runs)\n", ours * 1000,
                    time("write") * 1000);
        if (const double lo = time("soffice"); lo > 0)
            std::printf("LibreOffice: %.0f ms, %.1f times the reader's time\n", lo * 1000,
                        lo / ours);
        if (const double pd = time("pandoc"); pd > 0)
            std::printf("pandoc: %.0f ms, %.1f times the reader's time\n", pd * 1000, pd / ours);
    }
    return 0;
}
