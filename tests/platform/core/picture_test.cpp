#include <gtest/gtest.h>

#include <QLocale>

#include "core/picture.h"

namespace {

QString fmt(const Value& v, const char16_t* pic) {
    return FORMAT(v, QStringView(pic));
}

// Reads through a picture; the message on failure.
struct Parsed {
    bool ok;
    Value value;
    QString error;
};
Parsed parse(const char16_t* text, const char16_t* pic) {
    Parsed p{false, Value(), QString()};
    p.ok = Picture::of(QStringView(pic)).parse(QStringView(text), &p.value, &p.error);
    return p;
}

class PictureTest : public ::testing::Test {
  protected:
    // A system whose locale is not Russian: the program's texts stay Russian.
    void SetUp() override {
        saved_ = QLocale();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void TearDown() override { QLocale::setDefault(saved_); }
    QLocale saved_;
};

}  // namespace

TEST_F(PictureTest, TextPicturesCutAtTheirWidth) {
    EXPECT_EQ(fmt(u"Краткое наименование", u"@s7"), QStringLiteral("Краткое"));
    EXPECT_EQ(fmt(u"abc   ", u"@S32"), QStringLiteral("abc"));
    EXPECT_EQ(Picture::of(u"@s255").width(), 255);
    auto p = parse(u"12345678901", u"@s10");
    EXPECT_FALSE(p.ok);
    EXPECT_FALSE(p.error.isEmpty());
    p = parse(u"Кодекс", u"@s10");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toText(), QStringLiteral("Кодекс"));
}

TEST_F(PictureTest, NumbersGroupBlankAndOverflow) {
    EXPECT_EQ(fmt(1234567, u"@n_7"), QStringLiteral("#######"));  // "1 234 567" needs nine
    EXPECT_EQ(fmt(123456, u"@n_7"), QStringLiteral("123 456"));
    EXPECT_EQ(fmt(12, u"@n_7"), QStringLiteral("12"));
    EXPECT_EQ(fmt(0, u"@n_7"), QStringLiteral("0"));
    EXPECT_EQ(fmt(0, u"@n_7b"), QStringLiteral(""));
    EXPECT_EQ(fmt(0, u"@n_3b"), QStringLiteral(""));
    EXPECT_EQ(fmt(5, u"@n_3b"), QStringLiteral("5"));
    EXPECT_EQ(fmt(0, u"@n3"), QStringLiteral("0"));
    EXPECT_EQ(fmt(2, u"@n3b"), QStringLiteral("2"));
    EXPECT_EQ(fmt(14, u"@n2b"), QStringLiteral("14"));
    EXPECT_EQ(fmt(100, u"@n2b"), QStringLiteral("##"));
    EXPECT_EQ(fmt(12345, u"@n_5"), QStringLiteral("#####"));  // "12 345" needs six
    EXPECT_EQ(fmt(1234, u"@n_5"), QStringLiteral("1 234"));
    EXPECT_EQ(fmt(12345678, u"@n_8b"), QStringLiteral("########"));
    EXPECT_EQ(fmt(1234567, u"@n_8b"), QStringLiteral("########"));
    EXPECT_EQ(fmt(123456, u"@n_8b"), QStringLiteral("123 456"));
    EXPECT_EQ(fmt(-42, u"@n_5"), QStringLiteral("-42"));
    // Numbers the program counts itself show whole, grouped as the picture says.
    EXPECT_EQ(Picture::of(u"@n_5").formatWhole(Value(12345)), QStringLiteral("12 345"));
    EXPECT_EQ(Picture::of(u"@n_5").formatWhole(Value(100000)), QStringLiteral("100 000"));
    EXPECT_EQ(Picture::of(u"@n_5").formatWhole(Value(9999)), QStringLiteral("9 999"));
    EXPECT_EQ(Picture::of(u"@n5").formatWhole(Value(1234567)), QStringLiteral("1234567"));
    EXPECT_EQ(fmt(7, u"@N2"), QStringLiteral("7"));
    EXPECT_EQ(fmt(2.5, u"@n6.2"), QStringLiteral("2.50"));
    EXPECT_EQ(fmt(u"12-ФЗ", u"@n5"), QStringLiteral("12"));
    EXPECT_TRUE(Picture::of(u"@n_7").rightAligned());
}

TEST_F(PictureTest, NumbersReadBackOrRefuse) {
    auto p = parse(u"1 234", u"@n_7");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), 1234);
    p = parse(u"  -12 ", u"@n_5");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), -12);
    p = parse(u"", u"@n_3b");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), 0);
    EXPECT_FALSE(parse(u"12a", u"@n_7").ok);
    EXPECT_FALSE(parse(u"abc", u"@n3").ok);
    EXPECT_FALSE(parse(u"1000", u"@n3").ok);  // does not fit
    EXPECT_FALSE(parse(u"1.5", u"@n3").ok);   // no places
    EXPECT_FALSE(parse(u"1.2.3", u"@n6.2").ok);
    EXPECT_FALSE(parse(u"-", u"@n3").ok);
    p = parse(u"2,25", u"@n6.2");
    ASSERT_TRUE(p.ok);
    EXPECT_DOUBLE_EQ(p.value.toReal(), 2.25);
    p = parse(u"007", u"@n3");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), 7);
}

TEST_F(PictureTest, DatesShowAndReadDayNumbers) {
    const LONG d = rt::dayNumber(2024, 3, 5);
    EXPECT_EQ(fmt(d, u"@d6.b"), QStringLiteral("05.03.2024"));
    EXPECT_EQ(fmt(d, u"@d6"), QStringLiteral("05/03/2024"));
    EXPECT_EQ(fmt(0, u"@d6.b"), QStringLiteral(""));
    EXPECT_EQ(fmt(-1, u"@d6.b"), QStringLiteral(""));
    EXPECT_EQ(fmt(DATE::kMaxDay + 10, u"@d6.b"), QStringLiteral(""));
    EXPECT_EQ(fmt(rt::dayNumber(1801, 1, 1), u"@d6.b"), QStringLiteral("01.01.1801"));
    EXPECT_EQ(fmt(DATE::kMaxDay, u"@d6.b"), QStringLiteral("31.12.9999"));
    EXPECT_EQ(fmt(d, u"@D17"), QStringLiteral("05.03.2024"));  // the Russian short form
    EXPECT_EQ(fmt(d, u"@D18"), QStringLiteral("вторник, 5 марта 2024 г."));
    EXPECT_EQ(Picture::of(u"@d6.b").width(), 10);

    auto p = parse(u"05.03.2024", u"@d6.b");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), d);
    p = parse(u"5/3/2024", u"@d6.b");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), d);
    p = parse(u"", u"@d6.b");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), 0);
    EXPECT_FALSE(parse(u"31.02.2024", u"@d6.b").ok);
    EXPECT_FALSE(parse(u"29.02.2023", u"@d6.b").ok);
    EXPECT_TRUE(parse(u"29.02.2024", u"@d6.b").ok);
    EXPECT_FALSE(parse(u"01.01.1800", u"@d6.b").ok);  // before the first day
    EXPECT_FALSE(parse(u"завтра", u"@d6.b").ok);
    EXPECT_FALSE(parse(u"12.2024", u"@d6.b").ok);
    EXPECT_FALSE(parse(u"1.1.123456", u"@d6.b").ok);
    p = parse(u"05.03.24", u"@d6.b");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), d);
    p = parse(u"05.03.2024", u"@D17");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), d);
}

TEST_F(PictureTest, TimesAndPatterns) {
    const LONG t = (13 * 3600 + 7 * 60) * 100 + 1;
    EXPECT_EQ(fmt(t, u"@T7"), QStringLiteral("13:07"));
    EXPECT_EQ(fmt(t, u"@t4"), QStringLiteral("13:07:00"));
    EXPECT_EQ(fmt(0, u"@T7"), QStringLiteral(""));
    auto p = parse(u"13:07", u"@T7");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), t);
    EXPECT_FALSE(parse(u"25:00", u"@T7").ok);

    EXPECT_EQ(fmt(5, u"@p<<#p"), QStringLiteral("  5"));
    EXPECT_EQ(fmt(42, u"@p<<#p"), QStringLiteral(" 42"));
    EXPECT_EQ(fmt(0, u"@p<<#p"), QStringLiteral("  0"));
    EXPECT_EQ(fmt(700, u"@p<<#p"), QStringLiteral("700"));
    EXPECT_EQ(fmt(1000, u"@p<<#p"), QStringLiteral("###"));
    EXPECT_EQ(Picture::of(u"@p<<#p").formatWhole(Value(5264)), QStringLiteral("5264"));
    EXPECT_EQ(Picture::of(u"@p<<#p").formatWhole(Value(42)), QStringLiteral(" 42"));
    EXPECT_EQ(Picture::of(u"@p##-##p").formatWhole(Value(123456)), QStringLiteral("1234-56"));
    EXPECT_EQ(fmt(5, u"@p##-##p"), QStringLiteral("00-05"));
    p = parse(u" 42", u"@p<<#p");
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.value.toInt(), 42);
}

TEST_F(PictureTest, MalformedPicturesAreInvalidNotFatal) {
    for (const char16_t* bad : {u"", u"@", u"@s", u"@sx", u"@n", u"@n_", u"@d99", u"@q5", u"@t2",
                                u"@pp", u"@n5.", u"@s10z", u"@n999999999999"}) {
        EXPECT_FALSE(Picture::of(QStringView(bad)).valid())
            << QString::fromUtf16(bad).toStdString();
    }
    // An invalid picture shows the value as text and accepts what is typed.
    EXPECT_EQ(fmt(12, u"@zz"), QStringLiteral("12"));
    EXPECT_TRUE(parse(u"x", u"@zz").ok);
}

TEST_F(PictureTest, DeformatGivesBackTheTextOnFailure) {
    bool ok = true;
    const Value v = DEFORMAT(u"abc", u"@n3", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(v.toText(), QStringLiteral("abc"));
    EXPECT_EQ(DEFORMAT(u"1 000", u"@n_7", &ok).toInt(), 1000);
    EXPECT_TRUE(ok);
}
