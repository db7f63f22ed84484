// Pictures run for every cell of every list row and every report line.
#include <benchmark/benchmark.h>

#include <QLocale>

#include "core/fuzzy.h"
#include "core/picture.h"

static void BM_FormatNumberGrouped(benchmark::State& state) {
    const Picture& p = Picture::of(u"@n_8b");
    std::int64_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.format(Value(std::int64_t(123456 + (i++ & 1023)))));
    }
}
BENCHMARK(BM_FormatNumberGrouped);

static void BM_FormatDate(benchmark::State& state) {
    const Picture& p = Picture::of(u"@d6.b");
    LONG d = rt::dayNumber(2020, 1, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(p.format(Value(int(d + (state.iterations() & 511)))));
    }
}
BENCHMARK(BM_FormatDate);

static void BM_FormatText(benchmark::State& state) {
    const Picture& p = Picture::of(u"@s60");
    const Value v(QStringLiteral(
        "Федеральный закон о порядке рассмотрения обращений граждан Российской Федерации"));
    for (auto _ : state)
        benchmark::DoNotOptimize(p.format(v));
}
BENCHMARK(BM_FormatText);

static void BM_PictureLookup(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(&Picture::of(u"@n_7b"));
}
BENCHMARK(BM_PictureLookup);

static void BM_ParseNumber(benchmark::State& state) {
    const Picture& p = Picture::of(u"@n_7");
    Value out;
    for (auto _ : state)
        benchmark::DoNotOptimize(p.parse(u"1 234 5", &out, nullptr));
}
BENCHMARK(BM_ParseNumber);

static void BM_ParseDate(benchmark::State& state) {
    const Picture& p = Picture::of(u"@d6.b");
    Value out;
    for (auto _ : state)
        benchmark::DoNotOptimize(p.parse(u"05.03.2024", &out, nullptr));
}
BENCHMARK(BM_ParseDate);

static void BM_ParseLocaleDate(benchmark::State& state) {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const Picture& p = Picture::of(u"@D17");
    Value out;
    for (auto _ : state)
        benchmark::DoNotOptimize(p.parse(u"05.03.2024", &out, nullptr));
}
BENCHMARK(BM_ParseLocaleDate);

// The document list's fuzzy order scores every card of the base.
static void BM_FuzzyMatchCard(benchmark::State& state) {
    FuzzyClass m;
    m.Init();
    const QString card = QStringLiteral(
        "О порядке рассмотрения обращений граждан Российской Федерации 1234 59-ФЗ 80000 80100 "
        "Федеральный закон от 2 мая 2006 года Принят Государственной Думой 21 апреля 2006 "
        "года Одобрен Советом Федерации 26 апреля 2006 года");
    for (auto _ : state)
        benchmark::DoNotOptimize(m.Match(u"обрашения гражд", card));
}
BENCHMARK(BM_FuzzyMatchCard);

// A search of 100,000 cards kept between searches: each scored as Match scores
// it, on every core (real time; the counter cpuMs is the work of all cores).
static void BM_FuzzyMatchAll(benchmark::State& state) {
    FuzzyClass m;
    m.Init();
    FuzzyCorpus corpus;
    const char* words[] = {"закон",      "о",         "порядке", "государственной", "регистрации",
                           "налогового", "кодекса",   "прав",    "граждан",         "изменений",
                           "Российской", "Федерации", "статьи",  "внесении",        "страхования"};
    for (int i = 0; i < 100000; ++i) {
        QString t;
        for (int w = 0; w < 30; ++w)
            t += QString::fromUtf8(words[(i * 7 + w * w * 3 + i / 13) % 15]) + u' ';
        corpus.append(t);
        corpus.endText();
    }
    const QString queries[] = {QStringLiteral("закон о порядке регистрации"),
                               QStringLiteral("регистрацыи прав граждан"),
                               QStringLiteral("налогового кодекса")};
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(m.MatchAll(queries[i++ % 3], corpus));
}
BENCHMARK(BM_FuzzyMatchAll)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
