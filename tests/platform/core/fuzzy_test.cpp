#include <gtest/gtest.h>

#include "core/fuzzy.h"

namespace {
const QString kCard = QStringLiteral(
    "О порядке рассмотрения обращений граждан 12 59-ФЗ 80000 80100 Федеральный закон "
    "от 2 мая 2006 года");
}

TEST(Fuzzy, BetterMatchesScoreHigher) {
    FuzzyClass m;
    m.Init();
    m.SetOption(1, 1);
    m.SetOption(2, 0);
    const int exact = m.Match(u"обращений граждан", kCard);
    const int oneWord = m.Match(u"обращений", kCard);
    const int typo = m.Match(u"обрашений", kCard);
    const int part = m.Match(u"обращ", kCard);
    const int none = m.Match(u"налог", kCard);
    EXPECT_EQ(exact, 255);
    EXPECT_EQ(oneWord, 255);
    EXPECT_GT(exact, m.Match(u"граждан обращений", kCard));  // the phrase as typed wins
    EXPECT_GT(oneWord, part);
    EXPECT_GT(part, typo);
    EXPECT_GT(typo, none);
    EXPECT_EQ(none, 0);
    EXPECT_EQ(m.Match(u"59-ФЗ", kCard), 255);
    EXPECT_EQ(m.Match(u"", kCard), 0);
    EXPECT_EQ(m.Match(u"закон", u""), 0);
}

TEST(Fuzzy, OptionsChangeCaseAndWordRules) {
    FuzzyClass m;
    m.Init();
    m.SetOption(1, 1);
    EXPECT_EQ(m.Match(u"ФЕДЕРАЛЬНЫЙ", kCard), 255);
    m.SetOption(1, 0);
    EXPECT_LT(m.Match(u"ФЕДЕРАЛЬНЫЙ", kCard), 255);
    m.SetOption(1, 1);
    EXPECT_GT(m.Match(u"рассмотр", kCard), 0);
    m.SetOption(2, 1);  // whole words only
    EXPECT_EQ(m.Match(u"рассмотр", kCard), 0);
}

TEST(Fuzzy, ScoresStayInRange) {
    FuzzyClass m;
    m.Init();
    for (const QString& q : {QStringLiteral("a"), QStringLiteral("!!!"), QString(500, u'ж'),
                             QStringLiteral("закон закон закон")}) {
        const int s = m.Match(q, kCard);
        EXPECT_GE(s, 0);
        EXPECT_LE(s, 255);
    }
    rt::setFuzzyMatcher(&m);
    EXPECT_EQ(FuzzyMatch(u"закон", kCard), 255);
    rt::setFuzzyMatcher(nullptr);
}

TEST(Fuzzy, CaseIsFoldedAsUnicodeFoldsIt) {
    FuzzyClass m;
    m.Init();
    m.SetOption(1, 1);
    // Every letter of the Russian alphabet and the other Cyrillic letters of
    // its block, in both cases; marks that have no case.
    EXPECT_EQ(m.Match(u"ЁЛКА ЀЍЎЏЂ", u"ёлка ѐѝўџђ"), 255);
    EXPECT_EQ(m.Match(u"Закон", u"«ЗАКОН» № 5 — от 1.1.2020"), 255);
    const QString texts[] = {
        QStringLiteral("О порядке рассмотрения обращений граждан 12 59-ФЗ"),
        QStringLiteral("STRASSE Straße ΣΊΣΥΦΟΣ İstanbul ǅemal ﬁnal"),
        QStringLiteral("Ѣ ѣ Ѳ ѳ Ґ ґ Ӂ ӂ — «Ёж» №7"),
        QStringLiteral("Mixed Кириллица and Latin ΑΒΓ 𝐀𝐁𝐂"),
    };
    const QString queries[] = {QStringLiteral("обращения ГРАЖДАН"), QStringLiteral("strasse"),
                               QStringLiteral("σίσυφος"), QStringLiteral("ѣ ґ ёж"),
                               QStringLiteral("КИРИЛЛИЦА latin")};
    for (const QString& t : texts) {
        for (const QString& q : queries)
            EXPECT_EQ(m.Match(q, t), m.Match(q.toCaseFolded(), t.toCaseFolded()))
                << q.toStdString() << " / " << t.toStdString();
    }
}

TEST(Fuzzy, EachQueryAndOptionScoresAsItselfWhateverCameBefore) {
    FuzzyClass m;
    m.Init();
    m.SetOption(1, 1);
    const int first = m.Match(u"обращений", kCard);
    EXPECT_EQ(m.Match(u"налог", kCard), 0);
    EXPECT_EQ(m.Match(u"обращений", kCard), first);
    EXPECT_EQ(m.Match(u"ФЕДЕРАЛЬНЫЙ", kCard), 255);
    m.SetOption(1, 0);
    EXPECT_LT(m.Match(u"ФЕДЕРАЛЬНЫЙ", kCard), 255);
    // Another matcher on the same thread, with its own options.
    FuzzyClass other;
    other.Init();
    other.SetOption(1, 1);
    EXPECT_EQ(other.Match(u"ФЕДЕРАЛЬНЫЙ", kCard), 255);
    EXPECT_LT(m.Match(u"ФЕДЕРАЛЬНЫЙ", kCard), 255);
}

TEST(Fuzzy, ACorpusScoresEachTextAsMatchDoes) {
    // Texts given in pieces as a card's fields are: padded names, numbers,
    // punctuation, long runs of blanks, letters of other scripts (kept two
    // bytes a character), and texts that hold a query's phrase only across
    // their pieces.
    const std::vector<std::vector<QString>> cards = {
        {QStringLiteral("О порядке рассмотрения обращений граждан") + QString(80, u' '), " ", "12",
         " ", "59-ФЗ", " ", "80000", " ", "80100"},
        {"Федеральный закон", " ", "от 2 мая 2006 года", "   ", "закон о порядке"},
        {"закон о", " ", "порядке", QString(200, u' '), "регистрации"},
        {"закон о", "  ", "порядке"},
        {"STRASSE Straße ΣΊΣΥΦΟΣ İstanbul", " ", "ǅemal ﬁnal"},
        {"Ѣ ѣ Ѳ ѳ Ґ ґ Ӂ ӂ — «Ёж» №7", "\t", "ЁЛКА"},
        {"Mixed Кириллица and Latin ΑΒΓ 𝐀𝐁𝐂"},
        {""},
        {"   ", "  "},
        {"«Закон» № 5 — от 1.1.2020", " ", "ОБРАЩЕНИЙ"},
        {"регистрацыи прав грождан", " ", "закон"},
        // Near misses of every kind, words of 64 letters and longer.
        {"регестрации рекистрации регистраций регистрацияя егистрации рeгистрации"},
        {"закно зкон закон закн ззакон законо а ab ba"},
        {QString(63, u'а') + u'б', " ", QString(64, u'а'), " ", QString(70, u'а') + u'в'},
        {QString(66, u'я'), " ", QString(65, u'я') + u'ю', " ", "граждане гражданн"},
    };
    const QString queries[] = {QStringLiteral("обращений граждан"),
                               QStringLiteral("закон о порядке"),
                               QStringLiteral("  закон   о порядке  "),
                               QStringLiteral("регистрации прав граждан"),
                               QStringLiteral("59-ФЗ"),
                               QStringLiteral("strasse σίσυφος"),
                               QStringLiteral("ѣ ґ ёж"),
                               QStringLiteral("ЁЛКА ёж"),
                               QStringLiteral("закон\tо"),
                               QStringLiteral("«закон» №"),
                               QStringLiteral("xyz"),
                               QStringLiteral("!!!"),
                               QStringLiteral("регистрации граждан зкон"),
                               QStringLiteral("законы аб"),
                               QString(64, u'а') + QStringLiteral(" ") + QString(66, u'я'),
                               QString(70, u'а') + QStringLiteral("б ") + QString(63, u'а'),
                               QString()};
    for (const int noCase : {1, 0}) {
        for (const int wordOnly : {0, 1}) {
            FuzzyClass m;
            m.Init();
            m.SetOption(FuzzyClass::NOCASE, noCase);
            m.SetOption(FuzzyClass::WORDONLY, wordOnly);
            FuzzyCorpus corpus(m.NoCase());
            std::vector<QString> whole;
            for (const auto& pieces : cards) {
                QString t;
                for (const QString& p : pieces) {
                    corpus.append(p);
                    t += p;
                }
                corpus.endText();
                whole.push_back(t);
            }
            for (const QString& q : queries) {
                const auto scores = m.MatchAll(q, corpus);
                ASSERT_EQ(scores.size(), whole.size());
                for (size_t i = 0; i < whole.size(); ++i)
                    EXPECT_EQ(int(scores[i]), m.Match(q, whole[i]))
                        << q.toStdString() << " / " << whole[i].toStdString() << " " << noCase
                        << wordOnly;
            }
        }
    }
    // Many texts, scored on every core, each as itself.
    FuzzyClass m;
    m.Init();
    FuzzyCorpus corpus;
    std::vector<QString> whole;
    const char* words[] = {"закон", "порядке", "регистрации", "прав",    "граждан", "ФЗ",
                           "1995",  "о",       "налог",       "кодекса", "«",       "—"};
    for (int i = 0; i < 20000; ++i) {
        QString t;
        for (int w = 0; w < 6; ++w)
            t += QString::fromUtf8(words[(i * 7 + w * w * 3 + i / 13) % 12]) + u' ';
        corpus.append(t);
        corpus.appendBlanks(i % 5);
        corpus.endText();
        whole.push_back(t + QString(i % 5, u' '));
    }
    const auto scores = m.MatchAll(u"закон о порядке регистрацыи", corpus);
    for (size_t i = 0; i < whole.size(); i += 7)
        ASSERT_EQ(int(scores[i]), m.Match(u"закон о порядке регистрацыи", whole[i])) << i;

    // The scores themselves, as they have always been: near misses of every
    // kind, words of 64 letters and longer, whole words only (second half).
    const QString texts[] = {
        kCard,
        QStringLiteral("регестрации рекистрации регистраций регистрацияя егистрации"),
        QStringLiteral("закно зкон закон закн ззакон законо а ab ba"),
        QStringLiteral("регистрацыи прав грождан закон о порядке"),
        QString(63, u'а') + u'б' + u' ' + QString(70, u'а') + u'в',
        QStringLiteral("граждане гражданн гражданский обращение"),
        QStringLiteral("привоприменитильного правоприменитильного"),
    };
    const QString near[] = {
        QStringLiteral("обращений граждан"),
        QStringLiteral("регистрации граждан зкон"),
        QStringLiteral("законы аб"),
        QStringLiteral("закон о порядке регистрации"),
        QString(64, u'а') + QStringLiteral(" гражд"),
        QStringLiteral("обрашения"),
        QStringLiteral("правоприменительного закон"),
    };
    constexpr int n = 7;
    const int expected[2][n][n] = {{{255, 0, 0, 80, 0, 194, 0},
                                    {132, 56, 82, 159, 0, 74, 0},
                                    {77, 0, 77, 77, 99, 0, 0},
                                    {186, 42, 111, 228, 0, 56, 49},
                                    {111, 0, 0, 0, 111, 111, 0},
                                    {149, 0, 0, 0, 0, 149, 0},
                                    {124, 0, 124, 124, 0, 0, 88}},
                                   {{255, 0, 0, 80, 0, 164, 0},
                                    {132, 56, 82, 159, 0, 54, 0},
                                    {77, 0, 77, 77, 0, 0, 0},
                                    {186, 42, 62, 228, 0, 0, 0},
                                    {0, 0, 0, 0, 91, 0, 0},
                                    {149, 0, 0, 0, 0, 149, 0},
                                    {124, 0, 124, 124, 0, 0, 88}}};
    for (const int wordOnly : {0, 1}) {
        m.SetOption(FuzzyClass::WORDONLY, wordOnly);
        FuzzyCorpus few;
        for (const QString& t : texts) {
            few.append(t);
            few.endText();
        }
        for (int q = 0; q < n; ++q) {
            const auto all = m.MatchAll(near[q], few);
            for (int t = 0; t < n; ++t) {
                EXPECT_EQ(m.Match(near[q], texts[t]), expected[wordOnly][q][t]) << q << " " << t;
                EXPECT_EQ(int(all[size_t(t)]), expected[wordOnly][q][t]) << q << " " << t;
            }
        }
    }
}
