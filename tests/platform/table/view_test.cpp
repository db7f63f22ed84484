#include <gtest/gtest.h>

#include "cards.h"
#include "view.h"

namespace {

class ViewTest : public ::testing::Test {
  protected:
    TestDrive drive;
    Cards c{QStringLiteral("c:\\base\\cards.tps")};

    void SetUp() override {
        drive.mkdir(QStringLiteral("base"));
        OPEN(c.file);
    }
    void TearDown() override { CLOSE(c.file); }

    // 1..n with names in reverse and days in groups of three (every fifth undated).
    void fill(int n) {
        LOGOUT(5, {&c.file});
        for (int i = 1; i <= n; ++i) {
            c.file.clearRecord();
            c.R.ID = i;
            c.R.NAME = QStringLiteral("name %1").arg(n - i, 4, 10, QLatin1Char('0'));
            c.R.DAY = i % 5 == 0 ? 0 : rt::dayNumber(2000, 1, 1) + i / 3;
            c.R.BODY.setData("body");
            ADD(c.file);
        }
        COMMIT();
    }

    std::vector<LONG> ids(ViewClass& v, const ViewPosition* from, bool forward, bool inclusive,
                          int n, ViewPosition* lastPos = nullptr) {
        std::vector<LONG> out;
        v.read(from, forward, inclusive, n, [&](const ViewPosition& p) {
            out.push_back(c.R.ID);
            if (lastPos)
                *lastPos = p;
            return true;
        });
        return out;
    }
};

}  // namespace

TEST_F(ViewTest, PagesForwardAndBackwardFromStoredPositions) {
    fill(100);
    ViewClass v(c.file);
    v.addField(c.R.ID);
    v.addField(c.R.DAY);
    v.setOrder(c.K2);
    // Every fifth card has no date and is left out of the optional key.
    EXPECT_EQ(v.count(), 80);
    ViewPosition p;
    const auto page1 = ids(v, nullptr, true, true, 30, &p);
    ASSERT_EQ(page1.size(), 30u);
    EXPECT_EQ(page1[0], 1);
    EXPECT_EQ(page1[1], 2);  // equal days go by record pointer
    const QString stored = p.toString();
    EXPECT_LE(stored.size(), 1024);
    const ViewPosition back = ViewPosition::fromString(stored);
    const auto page2 = ids(v, &back, true, false, 30);
    ASSERT_EQ(page2.size(), 30u);
    EXPECT_GT(page2.front(), page1.back());
    // Backward from the first row of page 2 gives page 1 in reverse.
    ViewPosition first2;
    ids(v, &back, true, false, 1, &first2);
    auto rev = ids(v, &first2, false, false, 30);
    std::reverse(rev.begin(), rev.end());
    EXPECT_EQ(rev, page1);
    // From the end.
    const auto tail = ids(v, nullptr, false, true, 3);
    EXPECT_EQ(tail, (std::vector<LONG>{99, 98, 97}));
    // Only the projected fields reach the buffer.
    c.R.NAME = "untouched";
    ids(v, nullptr, true, true, 1);
    EXPECT_EQ(c.R.NAME.clip(), QStringLiteral("untouched"));
}

TEST_F(ViewTest, PositionOfADeletedRowStillLeadsOn) {
    fill(20);
    ViewClass v(c.file);
    v.setOrder(c.K1);
    ViewPosition p;
    ids(v, nullptr, true, true, 10, &p);
    GET(c.file, p.ptr);
    DELETE(c.file);
    EXPECT_EQ(ids(v, &p, true, false, 2), (std::vector<LONG>{11, 12}));
    EXPECT_EQ(ids(v, &p, true, true, 1), (std::vector<LONG>{11}));
}

TEST_F(ViewTest, LocateRangeAndFilter) {
    fill(60);
    ViewClass v(c.file);
    v.setOrder(c.K2);
    const LONG day = rt::dayNumber(2000, 1, 1) + 10;
    // The first row at or after a key value.
    const ViewPosition at = v.locate({Value(int(day))});
    ASSERT_TRUE(at.valid());
    v.fetch(at);
    EXPECT_EQ(c.R.DAY.day(), day);
    EXPECT_EQ(c.R.ID, 31);  // card 30 has no date
    // A range on the key.
    v.setRange(c.R.DAY, Value(int(day)), Value(int(day + 1)));
    EXPECT_EQ(ids(v, nullptr, true, true, -1), (std::vector<LONG>{31, 32, 33, 34}));
    EXPECT_EQ(v.count(), 4);
    // And a filter.
    v.setFilter([&] { return c.R.ID % 2 == 0; });
    EXPECT_EQ(ids(v, nullptr, true, true, -1), (std::vector<LONG>{32, 34}));
    EXPECT_EQ(v.count(), 2);
    v.clearRange();
    v.clearFilter();
    EXPECT_EQ(v.count(), 48);
}

TEST_F(ViewTest, FieldOrderIsRussianAlphabeticalWithoutCase) {
    const char* names[] = {"жук", "Ёж", "еж", "Ель", "арбуз", "Zebra", "яблоко", "ёлка"};
    LONG id = 1;
    for (const char* n : names)
        c.add(id++, n);
    ViewClass v(c.file);
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), false}});
    std::vector<QString> got;
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        got.push_back(c.R.NAME.clip());
        return true;
    });
    EXPECT_EQ(got,
              (std::vector<QString>{"Zebra", "арбуз", "еж", "Ель", "Ёж", "ёлка", "жук", "яблоко"}));
    // The key on the name orders the same way, through its index.
    ViewClass k(c.file);
    k.setOrder(c.K3);
    std::vector<QString> byKey;
    k.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        byKey.push_back(c.R.NAME.clip());
        return true;
    });
    EXPECT_EQ(byKey, got);
    // Descending, and located by a prefix.
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), true}});
    v.fetch(v.first());
    EXPECT_EQ(c.R.NAME.clip(), QStringLiteral("яблоко"));
    k.fetch(k.locate({Value(QStringLiteral("ЕЛ"))}));
    EXPECT_EQ(c.R.NAME.clip(), QStringLiteral("Ель"));
}

TEST_F(ViewTest, ComputedOrderIsBuiltOnceAndPagedFromPositions) {
    fill(50);
    ViewClass v(c.file);
    v.addField(c.R.ID);
    int calls = 0;
    // Distance from 25: 25, 24, 26, 23, 27, ...
    v.setOrder(
        [&] {
            ++calls;
            return Value(std::abs(int(c.R.ID) - 25));
        },
        false);
    ViewPosition p;
    EXPECT_EQ(ids(v, nullptr, true, true, 3, &p), (std::vector<LONG>{25, 24, 26}));
    EXPECT_EQ(calls, 50);
    EXPECT_EQ(ids(v, &p, true, false, 2), (std::vector<LONG>{23, 27}));
    EXPECT_EQ(ids(v, &p, false, true, 2), (std::vector<LONG>{26, 24}));
    EXPECT_EQ(calls, 50);
    EXPECT_EQ(v.count(), 50);
    v.reset();
    EXPECT_EQ(ids(v, nullptr, false, true, 1), (std::vector<LONG>{50}));
    EXPECT_EQ(calls, 100);
}

TEST_F(ViewTest, RowAtATimeReadingCrossesBatches) {
    fill(600);
    ViewClass v(c.file);
    v.setOrder(c.K1);
    v.addField(c.R.ID);
    SET(v);
    LONG expected = 1;
    int n = 0;
    for (NEXT(v); !ERRORCODE(); NEXT(v)) {
        ASSERT_EQ(c.R.ID, expected++);
        ++n;
        if (n == 599) {
            EXPECT_FALSE(Eof(v));
            EXPECT_EQ(c.R.ID, 599);
        }
    }
    EXPECT_EQ(n, 600);
    EXPECT_TRUE(Eof(v));
    // Back from a stored position.
    const QString pos = POSITION(v);
    RESET(v, pos);
    PREVIOUS(v);
    EXPECT_EQ(c.R.ID, 600);
    PREVIOUS(v);
    EXPECT_EQ(c.R.ID, 599);
}
