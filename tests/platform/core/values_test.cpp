#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "core/threads.h"
#include "core/values.h"

TEST(StringValue, HoldsCharactersNotBytes) {
    STRING<5> s = u"абв";
    EXPECT_EQ(s.str(), QStringLiteral("абв  "));
    EXPECT_EQ(s.clip(), QStringLiteral("абв"));
    s = u"абвгдеж";
    EXPECT_EQ(s.str(), QStringLiteral("абвгд"));
    EXPECT_EQ(s.view().size(), 5);
}

TEST(StringValue, CutNeverSplitsASurrogatePair) {
    STRING<3> s = QStringLiteral("ab\U0001F600");  // the emoji takes two code units
    EXPECT_EQ(s.str(), QStringLiteral("ab "));
}

TEST(StringValue, ComparesIgnoringTrailingBlanks) {
    STRING<10> a = u"Закон";
    STRING<20> b = u"Закон   ";
    EXPECT_TRUE(a == b);
    EXPECT_TRUE(a == u"Закон");
    EXPECT_FALSE(a == u"закон");  // case counts
    STRING<10> c = u"Закон 1";
    EXPECT_TRUE(a < c);
    EXPECT_TRUE(STRING<4>() == u"");
    EXPECT_TRUE(STRING<4>().blank());
}

TEST(StringValue, AssignsBetweenWidths) {
    STRING<128> put1;
    STRING<255> path = QString(120, u'x') + u'/';
    put1 = CLIP(path.view()) + QStringLiteral("KALDOR.TPS");
    // 121 characters of folder plus 10 of name, cut at 128.
    EXPECT_EQ(put1.clip(), QString(120, u'x') + QStringLiteral("/KALDOR."));
}

TEST(CStringValue, HoldsAtMostNMinusOneCharacters) {
    CSTRING<5> c = u"Test.rtf";
    EXPECT_EQ(c.str(), QStringLiteral("Test"));
    EXPECT_EQ(c.length(), 4);
    CSTRING<128> n = u"Test.rtf";
    EXPECT_EQ(n.str(), QStringLiteral("Test.rtf"));
    // Unused places hold NULs.
    EXPECT_EQ(n.data()[8], 0);
    EXPECT_EQ(n.data()[127], 0);
    c = u"ab\0cd";
    EXPECT_EQ(c.str(), QStringLiteral("ab"));
    CSTRING<8> e;
    EXPECT_TRUE(e.empty());
}

TEST(TextFunctions, ClipAndUpperAreUnicodeAware) {
    EXPECT_EQ(CLIP(u"  закон  "), QStringLiteral("  закон"));
    EXPECT_EQ(UPPER(u"закон о ёлках"), QStringLiteral("ЗАКОН О ЁЛКАХ"));
    EXPECT_EQ(LOWER(u"ЗАКОН"), QStringLiteral("закон"));
}

TEST(TextToNumber, ReadsTheLeadingNumberOrZero) {
    EXPECT_EQ(rt::textToNumber(u"12-ФЗ"), 12);
    EXPECT_EQ(rt::textToNumber(u"№ 5"), 0);
    EXPECT_EQ(rt::textToNumber(u"   -3"), -3);
    EXPECT_EQ(rt::textToNumber(u"0"), 0);
    EXPECT_EQ(rt::textToNumber(u""), 0);
    EXPECT_EQ(rt::textToNumber(u"   "), 0);
    EXPECT_DOUBLE_EQ(rt::textToNumber(u"3,5 кг"), 3.5);
    EXPECT_DOUBLE_EQ(rt::textToNumber(u"2.5e2x"), 250);
    EXPECT_DOUBLE_EQ(rt::textToNumber(u"7e"), 7);  // an exponent without digits is not one
    EXPECT_DOUBLE_EQ(rt::textToNumber(u".5"), 0.5);
    EXPECT_EQ(rt::textToNumber(u"-"), 0);
    EXPECT_EQ(rt::textToNumber(u"abc12"), 0);
    EXPECT_EQ(rt::textToNumber(u"1e999"), 0);  // no infinities
}

TEST(DecimalValue, KeepsItsDigitsAndPlaces) {
    DECIMAL<2> kod = 999;  // 3 digits
    EXPECT_EQ(kod.toInt(), 999);
    kod = 1234;  // keeps the low-order digits, as a packed field does
    EXPECT_EQ(kod.toInt(), 234);
    DECIMAL<3> npp = -42;
    EXPECT_EQ(npp.toInt(), -42);
    DECIMAL<4, 2> money = 12.345;
    EXPECT_EQ(money.scaled(), 1235);
    EXPECT_DOUBLE_EQ(money.toDouble(), 12.35);
    EXPECT_EQ(Value(kod).type(), Value::Type::Integer);
    EXPECT_EQ(Value(money).type(), Value::Type::Real);
}

TEST(DateValue, DayNumbersRoundTripAndRejectBadDates) {
    EXPECT_EQ(rt::dayNumber(1801, 1, 1), 1);
    EXPECT_EQ(rt::dayNumber(1800, 12, 31), 0);
    EXPECT_EQ(rt::dayNumber(9999, 12, 31), DATE::kMaxDay);
    EXPECT_EQ(rt::dayNumber(2024, 2, 30), 0);
    EXPECT_EQ(rt::dayNumber(2023, 2, 29), 0);
    EXPECT_GT(rt::dayNumber(2024, 2, 29), 0);
    int y, m, d;
    const LONG n = rt::dayNumber(2024, 3, 1);
    ASSERT_TRUE(rt::calendarDate(n, &y, &m, &d));
    EXPECT_EQ(y, 2024);
    EXPECT_EQ(m, 3);
    EXPECT_EQ(d, 1);
    EXPECT_EQ(rt::dayNumber(2024, 3, 1) - rt::dayNumber(2024, 2, 28), 2);
    EXPECT_FALSE(rt::calendarDate(0, &y, &m, &d));
    EXPECT_FALSE(rt::calendarDate(-5, &y, &m, &d));
    EXPECT_FALSE(rt::calendarDate(DATE::kMaxDay + 1, &y, &m, &d));
    EXPECT_GT(TODAY(), rt::dayNumber(2020, 1, 1));
    EXPECT_FALSE(DATE().valid());
}

TEST(DayNumbers, IsoTextAgreesWithTheCalendarBothWays) {
    for (LONG n : {LONG(1), rt::dayNumber(1900, 2, 28), rt::dayNumber(2000, 2, 29),
                   rt::dayNumber(2024, 12, 31), DATE::kMaxDay}) {
        const QString iso = rt::isoDate(n);
        EXPECT_EQ(rt::dayOfIso(iso), n) << iso.toStdString();
    }
    EXPECT_EQ(rt::isoDate(rt::dayNumber(2021, 3, 5)), QStringLiteral("2021-03-05"));
    EXPECT_TRUE(rt::isoDate(0).isEmpty());
    for (const char* bad : {"", "2021-3-5", "2021-02-29", "1800-12-31", "2021-13-01", "2021/03/05",
                            "2021-03-0x", "02.03.2021"})
        EXPECT_EQ(rt::dayOfIso(QString::fromLatin1(bad)), 0) << bad;
}

TEST(ValueType, ConvertsAndComparesLikeTheRuntime) {
    EXPECT_EQ(Value(u"12-ФЗ").toInt(), 12);
    EXPECT_EQ(Value(42).toText(), QStringLiteral("42"));
    EXPECT_EQ(Value(2.5).toText(), QStringLiteral("2.5"));
    EXPECT_EQ(Value(3.0).toText(), QStringLiteral("3"));
    EXPECT_TRUE(Value(u"abc  ") == Value(u"abc"));
    EXPECT_TRUE(Value(u"10") == Value(10));
    EXPECT_TRUE(Value(9) < Value(10));
    EXPECT_FALSE(Value(u"9") < Value(u"10"));  // two texts compare as texts
    EXPECT_TRUE(Value(u"  ").isZeroOrBlank());
    EXPECT_TRUE(Value(0.0).isZeroOrBlank());
    EXPECT_FALSE(Value(u"0").isZeroOrBlank());
}

struct TestRecord {
    LONG id = 0;
    BYTE flag = 0;
    DECIMAL<2> kod;
    STRING<10> name;
    CSTRING<8> file;
    DATE date;
};

TEST(FieldRefs, ReadAndWriteEveryKindThroughValues) {
    TestRecord r;
    ref(r.id).set(Value(u"17"));
    EXPECT_EQ(r.id, 17);
    ref(r.flag).set(Value(258));
    EXPECT_EQ(r.flag, 2);  // a byte wraps
    ref(r.kod).set(Value(45));
    EXPECT_EQ(r.kod.toInt(), 45);
    EXPECT_EQ(ref(r.kod).get().toInt(), 45);
    ref(r.name).set(Value(u"Постановление правительства"));
    EXPECT_EQ(r.name.str(), QStringLiteral("Постановле"));
    ref(r.file).set(Value(u"very-long-name.rtf"));
    EXPECT_EQ(r.file.str(), QStringLiteral("very-lo"));
    ref(r.date).set(Value(rt::dayNumber(2020, 5, 4)));
    EXPECT_EQ(r.date.day(), rt::dayNumber(2020, 5, 4));
    EXPECT_TRUE(ref(r.file).isText());
    ref(r.name).clear();
    EXPECT_TRUE(r.name.blank());
    ref(r.file).clear();
    EXPECT_TRUE(r.file.empty());
    ref(r.kod).clear();
    EXPECT_TRUE(ref(r.kod).isZeroOrBlank());
}

TEST(SharedVariables, WholeValuesUnderConcurrentWriters) {
    Shared<STRING<60>> tema{STRING<60>(u"")};
    std::vector<std::thread> threads;
    const QString a(60, u'а');
    const QString b(60, u'б');
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 5000; ++i) {
                if (t % 2) {
                    tema = STRING<60>(a);
                } else {
                    tema = STRING<60>(b);
                }
                const QString seen = tema.get().str();
                // Never half of one value and half of the other.
                ASSERT_TRUE(seen == a || seen == b);
            }
        });
    }
    for (auto& th : threads)
        th.join();
    FieldRef r = tema.fieldRef();
    r.set(Value(u"Тема"));
    EXPECT_EQ(tema.get().clip(), QStringLiteral("Тема"));
}

TEST(ThreadNumbers, EachScopeGetsItsOwnNumberAndRunsTheHooks) {
    std::atomic<int> started{0}, ended{0};
    rt::setThreadHooks([&] { ++started; }, [&] { ++ended; });
    int n1 = 0, n2 = 0;
    std::thread t1([&] {
        rt::ThreadScope s;
        n1 = THREAD();
    });
    std::thread t2([&] {
        rt::ThreadScope s;
        n2 = THREAD();
    });
    t1.join();
    t2.join();
    EXPECT_NE(n1, n2);
    EXPECT_GT(n1, 1);
    EXPECT_GT(n2, 1);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(ended, 2);
    std::thread t3([&] {
        rt::ThreadScope s(true);
        n1 = THREAD();
    });
    t3.join();
    EXPECT_EQ(n1, 1);
    EXPECT_EQ(THREAD(), 0);  // not a procedure thread
    rt::setThreadHooks(nullptr, nullptr);
}
