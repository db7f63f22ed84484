#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "cards.h"
#include "collation.h"
#include "core/fuzzy.h"
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

namespace {
// The order a built field or match order must give: by values as the runtime
// orders them (texts without case), then by record pointer.
std::vector<LONG> referenceOrder(std::vector<std::pair<Value, LONG>> rows, bool descending) {
    std::stable_sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) {
        const int c = tbl::compareOrderValues(a.first, b.first, true);
        if (c != 0)
            return descending ? c > 0 : c < 0;
        return a.second < b.second;
    });
    std::vector<LONG> out;
    for (const auto& r : rows)
        out.push_back(r.second);
    return out;
}
}  // namespace

TEST_F(ViewTest, BuiltOrdersMatchTheRuntimesOrderAndFollowEveryChange) {
    // Names that tie without case, that share their first letters, with Ё, Latin,
    // digits, marks and letters outside both alphabets; ids in insertion order
    // are the record pointers.
    const char* names[] = {"Закон о порядке",
                           "закон О ПОРЯДКЕ",
                           "Закон",
                           "закон о",
                           "Ёлка",
                           "елка",
                           "Ель",
                           "ёж",
                           "Zebra",
                           "zebra",
                           "12-ФЗ",
                           "«Закон»",
                           "",
                           "ΣΊΣΥΦΟΣ",
                           "straße",
                           "Закон о порядке",
                           "а",
                           "Я",
                           "ж",
                           "Ж"};
    LONG id = 1;
    for (const char* n : names) {
        c.add(id, n, 0, int(id % 4));
        ++id;
    }
    // The file's names, codes and days with the ids, as they are now.
    struct Row {
        LONG id;
        QString name;
        int code, day;
    };
    auto snapshot = [&] {
        std::vector<Row> rows;
        SET(c.file);
        for (NEXT(c.file); !ERRORCODE(); NEXT(c.file))
            rows.push_back({c.R.ID, c.R.NAME.clip(), int(c.R.CODE), int(c.R.DAY.day())});
        return rows;
    };
    auto byName = [](const std::vector<Row>& rows, bool descending) {
        std::vector<std::pair<Value, LONG>> names;
        for (const Row& r : rows)
            names.emplace_back(Value(r.name), r.id);
        return referenceOrder(names, descending);
    };
    auto expected = [&](bool descending) { return byName(snapshot(), descending); };
    ViewClass v(c.file);
    v.addField(c.R.ID);
    v.addField(c.R.NAME);
    for (const bool down : {false, true, false, true}) {
        v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), down}});
        EXPECT_EQ(ids(v, nullptr, true, true, -1), expected(down)) << down;
        // Backward from the end and from a position in the middle.
        auto back = ids(v, nullptr, false, true, -1);
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(back, expected(down));
        ViewPosition mid;
        ids(v, nullptr, true, true, 10, &mid);
        const auto all = expected(down);
        EXPECT_EQ(ids(v, &mid, true, false, -1), std::vector<LONG>(all.begin() + 10, all.end()));
        EXPECT_EQ(ids(v, &mid, false, true, 1).front(), all[9]);
    }
    // A change written on this connection, and one written on another, are in
    // the next order built.
    c.add(id++, "Абажур");
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), false}});
    EXPECT_EQ(ids(v, nullptr, true, true, 1), std::vector<LONG>{13});  // the blank name
    EXPECT_EQ(ids(v, nullptr, true, true, -1), expected(false));
    {
        Cards other{QStringLiteral("c:\\base\\cards.tps")};
        OPEN(other.file);
        GET(other.file, RecordPointer(13));
        other.R.NAME = "яяя";
        rt::PUT(other.file);
        ASSERT_EQ(ERRORCODE(), 0);
        CLOSE(other.file);
    }
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), true}});
    EXPECT_EQ(ids(v, nullptr, true, true, 1), std::vector<LONG>{13});
    EXPECT_EQ(ids(v, nullptr, true, true, -1), expected(true));
    // Two fields, the second the other way (or both the other way round): the
    // order of the runtime too.
    auto byTwo = [](std::vector<Row> rows, bool flip) {
        std::sort(rows.begin(), rows.end(), [flip](const Row& a, const Row& b) {
            if (a.code != b.code)
                return (a.code < b.code) != flip;
            const int n = tbl::compareOrderValues(Value(a.name), Value(b.name), true);
            return n != 0 ? (n > 0) != flip : a.id < b.id;
        });
        std::vector<LONG> out;
        for (const Row& r : rows)
            out.push_back(r.id);
        return out;
    };
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.CODE), false}, {ref(c.R.NAME), true}});
    EXPECT_EQ(ids(v, nullptr, true, true, -1), byTwo(snapshot(), false));
    // Located by a prefix of the first value.
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), false}});
    v.fetch(v.locate({Value(QStringLiteral("ЕЛ"))}));
    EXPECT_EQ(c.R.NAME.clip(), QStringLiteral("елка"));  // е before ё

    // A base too big for one connection is read in parts at once and sorted a
    // few letters at a time: the same orders, reversed and again; numbers; a
    // second value under a first that ties often, both ways round (rows of
    // equal values stay in pointer order).
    c.addMany(id, 40000);
    const auto rows = snapshot();
    const auto byNameUp = byName(rows, false), byNameDown = byName(rows, true);
    for (const bool down : {false, true, false}) {
        v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), down}});
        EXPECT_EQ(ids(v, nullptr, true, true, -1), down ? byNameDown : byNameUp) << down;
    }
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.NAME), true}});
    ViewPosition p;
    ids(v, nullptr, true, true, 20000, &p);
    EXPECT_EQ(ids(v, &p, false, false, 1).front(), byNameDown[19998]);
    v.setOrder(std::vector<ViewClass::OrderField>{{ref(c.R.DAY), true}});
    std::vector<std::pair<Value, LONG>> days;
    for (const Row& r : rows)
        days.emplace_back(Value(r.day), r.id);
    EXPECT_EQ(ids(v, nullptr, true, true, -1), referenceOrder(days, true));
    for (const bool flip : {false, true}) {
        v.setOrder(
            std::vector<ViewClass::OrderField>{{ref(c.R.CODE), flip}, {ref(c.R.NAME), !flip}});
        EXPECT_EQ(ids(v, nullptr, true, true, -1), byTwo(rows, flip)) << flip;
    }
}

TEST_F(ViewTest, AMatchOrderRanksAsTheFuzzyMatchOfTheJoinedFields) {
    fill(300);
    // Names with words of the queries, some misspelt, some in capitals.
    const char* words[] = {"закон",       "ЗАКОНА", "порядке", "порядок", "регистрации",
                           "регистрацыи", "прав",   "граждан", "12-ФЗ",   "Ёлка"};
    LOGOUT(5, {&c.file});
    for (RecordPointer p = 1; p <= 300; ++p) {
        GET(c.file, p);
        QString name;
        for (int w = 0; w < 3; ++w)
            name += QString::fromUtf8(words[(p * (w + 3) + w) % 10]) + u' ';
        c.R.NAME = name;
        c.R.NOTE = p % 7 == 0 ? "порядке регистрации" : "";
        rt::PUT(c.file);
    }
    COMMIT();
    STRING<255> query;
    ViewClass::MatchOrder m;
    m.query = ref(query);
    m.base = 200;
    m.text = {{ref(c.R.NAME), {}},       {{}, QStringLiteral(" ")}, {ref(c.R.ID), {}},
              {{}, QStringLiteral(" ")}, {ref(c.R.DAY), {}},        {{}, QStringLiteral(" ")},
              {ref(c.R.NOTE), {}}};
    auto scores = [&] {
        std::vector<std::pair<Value, LONG>> rows;
        SET(c.file);
        for (NEXT(c.file); !ERRORCODE(); NEXT(c.file)) {
            const QString text = ref(c.R.NAME).get().toText() + u' ' + ref(c.R.ID).get().toText() +
                                 u' ' + ref(c.R.DAY).get().toText() + u' ' +
                                 ref(c.R.NOTE).get().toText();
            rows.emplace_back(Value(200 - FuzzyMatch(ref(query).get().toText(), text)), c.R.ID);
        }
        return rows;
    };
    auto expected = [&](bool descending) { return referenceOrder(scores(), descending); };
    ViewClass v(c.file);
    v.addField(c.R.ID);
    for (const char* q : {"закон о порядке", "регистрации прав", "ЗАКОН", "12-фз", "елка", "xyz"}) {
        query = q;
        for (const bool down : {false, true}) {
            m.descending = down;
            v.setOrder(m);
            ViewPosition p;
            EXPECT_EQ(ids(v, nullptr, true, true, -1, &p), expected(down)) << q;
            EXPECT_EQ(p.keys.size(), 1u);
            EXPECT_EQ(ids(v, &p, false, false, 1).front(), expected(down)[298]);
        }
    }
    // A card changed since is scored by its new text.
    GET(c.file, RecordPointer(150));
    c.R.NAME = "совсем другое название";
    rt::PUT(c.file);
    query = "совсем другое название";
    m.descending = false;
    v.setOrder(m);
    EXPECT_EQ(ids(v, nullptr, true, true, 1), std::vector<LONG>{150});
    EXPECT_EQ(ids(v, nullptr, true, true, -1), expected(false));
    // A base too big for one connection is read in parts at once: the same
    // texts, the same scores.
    c.addMany(301, 40000);
    query = "закон о внесении елка 12-фз";
    const auto all = scores();
    for (const bool down : {false, true}) {
        m.descending = down;
        v.setOrder(m);
        EXPECT_EQ(ids(v, nullptr, true, true, -1), referenceOrder(all, down)) << down;
    }
}
