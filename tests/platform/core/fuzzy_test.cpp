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
