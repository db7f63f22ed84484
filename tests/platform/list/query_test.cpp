// Query by example without windows: conditions, the filter they make, what the
// table driver reads for them, Cyrillic without case, dates, and saved queries
// in the INI file.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/ini.h"
#include "expression.h"
#include "query.h"
#include "query_support.h"
#include "table.h"
#include "table_support.h"
#include "view.h"

using namespace lst;
using namespace Qt::StringLiterals;
using namespace qt;

namespace {

class QueryTest : public ::testing::Test {
  protected:
    TestDrive drive;
    Docs d;
    QueryListClass q;

    void SetUp() override {
        drive.mkdir(QStringLiteral("q"));
        OPEN(d.file);
        d.fill();
        addItems(q);
        q.SetTable(&d.file);
    }
    void TearDown() override { CLOSE(d.file); }

    // The rows of the table the driver gives for the query (conditions it reads
    // itself, and the rest row by row).
    std::set<LONG> viewed() {
        ViewClass v(d.file);
        v.setOrder(d.K1);
        auto rest = q.Apply(v);
        if (rest)
            v.setFilter(rest);
        std::set<LONG> out;
        v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
            out.insert(d.R.ID);
            return true;
        });
        return out;
    }
    // The rows that meet the query tested one by one, and those that meet its
    // filter expression.
    std::set<LONG> scanned(std::set<LONG>* byExpression = nullptr) {
        std::set<LONG> out;
        QString why;
        auto e = Expression::parse(q.GetFilter(), &d.file, &why);
        EXPECT_TRUE(q.IsEmpty() || e) << why.toStdString() << " in " << q.GetFilter().toStdString();
        SET(d.file);
        for (NEXT(d.file); ERRORCODE() == 0; NEXT(d.file)) {
            if (q.Matches())
                out.insert(d.R.ID);
            if (byExpression && e && !e->evaluate().isZeroOrBlank())
                byExpression->insert(d.R.ID);
        }
        return out;
    }
    // The three readings agree; their rows.
    std::set<LONG> rows() {
        std::set<LONG> expr;
        const std::set<LONG> s = scanned(&expr);
        const std::set<LONG> v = viewed();
        EXPECT_EQ(v, s) << "driver and row tests differ for " << q.GetFilter().toStdString();
        if (!q.IsEmpty()) {
            EXPECT_EQ(expr, s) << "the filter expression differs: " << q.GetFilter().toStdString();
        }
        return v;
    }
};

using Ids = std::set<LONG>;

}  // namespace

TEST_F(QueryTest, ConditionsBuildAFilterThatTheDriverReadsAlike) {
    EXPECT_EQ(rows(), Ids({1, 2, 3, 4, 5, 6, 7}));  // no condition: every row
    EXPECT_EQ(q.GetFilter(), QString());

    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::Contains, u"закон"_s));
    EXPECT_EQ(q.GetFilter(), u"INSTR('ЗАКОН',UPPER(KAL:name))>0"_s);
    EXPECT_EQ(rows(), Ids({1, 2, 6}));

    // Conditions on several items must all hold.
    ASSERT_TRUE(q.SetLimit(UTV, QueryOp::GreaterEqual, Value(std::int64_t(day(2003, 1, 1)))));
    EXPECT_EQ(q.GetFilter(), QStringLiteral("INSTR('ЗАКОН',UPPER(KAL:name))>0 AND "
                                            "(KAL:utvdata <> 0 AND KAL:utvdata >= %1)")
                                 .arg(day(2003, 1, 1)));
    EXPECT_EQ(rows(), Ids({1, 2}));

    // A new condition on an item replaces its old one; a blank value drops it.
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::BeginsWith, u"закон об"_s));
    EXPECT_EQ(rows(), Ids({2}));
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::Contains, u"   "_s));
    EXPECT_EQ(q.Conditions().size(), 1u);
    EXPECT_EQ(rows(), Ids({1, 2, 3, 5, 7}));

    // Every operator on text; quotes in values stay values.
    q.ClearQuery();
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::Equal, u"126-фз"_s));
    EXPECT_EQ(rows(), Ids({1}));
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::NotEqual, u"126-фз"_s));
    EXPECT_EQ(rows(), Ids({2, 3, 4, 5, 6, 7}));
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::Less, u"П"_s));
    EXPECT_EQ(rows(), Ids({1, 2, 4, 5, 6, 7}));
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::Greater, u"L-7"_s));
    EXPECT_EQ(rows(), Ids({3, 4, 5, 6}));
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::LessEqual, u"L-7"_s));
    EXPECT_EQ(rows(), Ids({1, 2, 7}));
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::GreaterEqual, u"Е-2"_s));
    EXPECT_EQ(rows(), Ids({3, 5}));  // П after Е
    ASSERT_TRUE(q.SetLimit(NDOK, QueryOp::Contains, u"o'neil"_s));
    EXPECT_EQ(rows(), Ids());

    // What does not fit is refused and leaves the query as it was.
    q.ClearQuery();
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::Contains, u"закон"_s));
    EXPECT_FALSE(q.SetLimit(UTV, QueryOp::Contains, Value(std::int64_t(day(2003, 1, 1)))));
    EXPECT_FALSE(q.SetLimit(0, QueryOp::Equal, u"x"_s));
    EXPECT_FALSE(q.SetLimit(6, QueryOp::Equal, u"x"_s));
    EXPECT_EQ(q.Conditions().size(), 1u);
}

TEST_F(QueryTest, CyrillicTextComparesWithoutCaseUnderUpperOnly) {
    for (const QString& v : {u"ЗАКОН"_s, u"закон"_s, u"зАкОн"_s}) {
        ASSERT_TRUE(q.SetLimit(NAME, QueryOp::Contains, v));
        EXPECT_EQ(rows(), Ids({1, 2, 6})) << v.toStdString();
    }
    // Ё is a letter of its own, in either case.
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::BeginsWith, u"ёлоч"_s));
    EXPECT_EQ(rows(), Ids({4}));
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::BeginsWith, u"ЕЛОЧ"_s));
    EXPECT_EQ(rows(), Ids({5}));
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::Equal, u"ЁЛОЧНЫЕ НОРМЫ"_s));
    EXPECT_EQ(rows(), Ids({4}));
    // Latin letters too; key words searched though not shown.
    q.ClearQuery();
    ASSERT_TRUE(q.SetLimit(WORDS, QueryOp::Equal, u"trade"_s));
    EXPECT_EQ(rows(), Ids({7}));
    ASSERT_TRUE(q.SetLimit(WORDS, QueryOp::Contains, u"ОХРАНА"_s));
    EXPECT_EQ(rows(), Ids({3}));

    // An item without UPPER keeps the case.
    QueryClass exact;
    exact.AddItem(u"KAL:name", u"Наименование", u"@s120");
    exact.SetTable(&d.file);
    ASSERT_TRUE(exact.SetLimit(1, QueryOp::Contains, u"закон"_s));
    EXPECT_EQ(exact.GetFilter(), u"INSTR('закон',KAL:name)>0"_s);
    ViewClass v(d.file);
    EXPECT_FALSE(exact.Apply(v));  // the driver reads it all
    Ids got;
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        got.insert(d.R.ID);
        EXPECT_TRUE(exact.Matches());
        return true;
    });
    EXPECT_EQ(got, Ids({6}));
}

TEST_F(QueryTest, DatesAreTypedThroughThePictureAndCompareAsDates) {
    // Text goes through the item's picture: dd.mm.yyyy.
    ASSERT_TRUE(q.SetLimit(UTV, QueryOp::Equal, u"01.02.2020"_s));
    Value v;
    EXPECT_EQ(q.GetLimit(UTV, &v), QueryOp::Equal);
    EXPECT_EQ(v.toInt(), day(2020, 2, 1));
    EXPECT_EQ(rows(), Ids({3, 5}));
    // A range of two conditions on one item (a list of conditions).
    q.ClearQuery();
    ASSERT_TRUE(q.AddLimit(UTV, QueryOp::GreaterEqual, u"01.01.2003"_s));
    ASSERT_TRUE(q.AddLimit(UTV, QueryOp::Less, u"29.12.2012"_s));
    EXPECT_EQ(q.Limits(), 2);
    EXPECT_EQ(rows(), Ids({1}));
    q.RemoveLimit(2);
    EXPECT_EQ(rows(), Ids({1, 2, 3, 5, 7}));
    // Dates compare as dates, not as the text of their picture (31.12.1999
    // would come after 01.01.2000 as text).
    q.ClearQuery();
    ASSERT_TRUE(q.SetLimit(UTV, QueryOp::Less, u"01.01.2000"_s));
    EXPECT_EQ(rows(), Ids({6}));
    // A card without a date has no date before or after any other...
    ASSERT_TRUE(q.SetLimit(VVOD, QueryOp::LessEqual, u"01.01.2021"_s));
    q.SetLimit(UTV, QueryOp::None, Value());
    EXPECT_EQ(rows(), Ids({1, 2, 5, 6}));
    // ...but differs from every date.
    ASSERT_TRUE(q.SetLimit(VVOD, QueryOp::NotEqual, u"01.01.2004"_s));
    EXPECT_EQ(rows(), Ids({2, 3, 4, 5, 6, 7}));
    // A date that does not exist is refused; the query keeps its condition.
    EXPECT_FALSE(q.SetLimit(VVOD, QueryOp::Equal, u"31.02.2020"_s));
    EXPECT_FALSE(q.SetLimit(VVOD, QueryOp::Equal, u"вчера"_s));
    EXPECT_EQ(q.GetLimit(VVOD), QueryOp::NotEqual);
    // Operators offered: no text matching on dates.
    EXPECT_EQ(q.Operators(UTV).size(), 6u);
    EXPECT_EQ(q.Operators(NAME).size(), 8u);
    EXPECT_EQ(q.Operators(NAME).front(), QueryOp::Contains);
    EXPECT_EQ(queryOpText(QueryOp::BeginsWith), u"начинается с"_s);
    EXPECT_EQ(queryOpFromText(u" СОДЕРЖИТ "), QueryOp::Contains);
    EXPECT_EQ(queryOpFromText(u"как"), QueryOp::None);
}

TEST_F(QueryTest, SavedQueriesRoundTripThroughTheIniFile) {
    const QString path = drive.native(u"q/kaldor.INI"_s);
    INIClass ini;
    ini.Init(path);
    QueryListVisual visual;
    ErrorClass errors;
    q.Init(visual, ini, u"Browsekaldor", errors);
    EXPECT_TRUE(q.SavedQueries().isEmpty());
    EXPECT_FALSE(q.HasLast());

    // Values with the separators of the saved text and a name with a '|'.
    ASSERT_TRUE(q.SetLimit(WORDS, QueryOp::Contains, u"50%|; труд"_s));
    ASSERT_TRUE(q.AddLimit(UTV, QueryOp::GreaterEqual, u"01.02.2020"_s));
    ASSERT_TRUE(q.AddLimit(UTV, QueryOp::LessEqual, u"29.02.2020"_s));
    const QString first = q.Text();
    ASSERT_TRUE(q.Save(u"  Труд | 2020 "));
    q.ClearQuery();
    ASSERT_TRUE(q.SetLimit(NAME, QueryOp::BeginsWith, u"Закон"_s));
    ASSERT_TRUE(q.Save(u"Законы"));
    EXPECT_FALSE(q.Save(u"   "));
    q.SaveLast();
    EXPECT_EQ(q.SavedQueries(), QStringList({u"Труд / 2020"_s, u"Законы"_s}));

    // Another object on the file, as the next session of the program.
    INIClass ini2;
    ini2.Init(path);
    QueryListClass q2;
    addItems(q2);
    q2.Init(visual, ini2, u"Browsekaldor", errors);
    EXPECT_EQ(q2.SavedQueries(), q.SavedQueries());
    ASSERT_TRUE(q2.Restore(u"труд / 2020"));  // names without case
    EXPECT_EQ(q2.Text(), first);
    EXPECT_EQ(q2.Limits(), 3);
    Value v;
    EXPECT_EQ(q2.GetLimit(WORDS, &v), QueryOp::Contains);
    EXPECT_EQ(v.toText(), u"50%|; труд"_s);
    ASSERT_TRUE(q2.RestoreLast());
    EXPECT_EQ(q2.GetLimit(NAME, &v), QueryOp::BeginsWith);
    EXPECT_EQ(q2.Limits(), 1);
    EXPECT_FALSE(q2.Restore(u"нет такого"));
    EXPECT_EQ(q2.Limits(), 1);

    // Saving under a name again replaces; deleting renumbers the rest.
    ASSERT_TRUE(q2.Save(u"ЗАКОНЫ"));
    EXPECT_EQ(q2.SavedQueries(), QStringList({u"Труд / 2020"_s, u"ЗАКОНЫ"_s}));
    q2.Delete(u"труд / 2020");
    EXPECT_EQ(q2.SavedQueries(), QStringList({u"ЗАКОНЫ"_s}));
    INIClass ini3;
    ini3.Init(path);
    EXPECT_EQ(ini3.TryFetch(u"Browsekaldor", u"QueryName2"), std::nullopt);
    EXPECT_EQ(ini3.Fetch(u"Browsekaldor", u"QueryName1"), u"ЗАКОНЫ"_s);

    // Text that is not a query of these items changes nothing.
    const QString before = q2.Text();
    EXPECT_FALSE(q2.SetText(u"UPPER(KAL:nothing)|=|x"));
    EXPECT_FALSE(q2.SetText(u"UPPER(KAL:name)|like|x"));
    EXPECT_FALSE(q2.SetText(u"UPPER(KAL:utvdata)|=|2020-02-30"));
    EXPECT_FALSE(q2.SetText(u"garbage"));
    EXPECT_EQ(q2.Text(), before);
    EXPECT_TRUE(q2.SetText(u""));
    EXPECT_TRUE(q2.IsEmpty());
}

TEST_F(QueryTest, ItemsThatAreNotFieldsAreTestedRowByRow) {
    QueryClass x;
    x.AddItem(u"UPPER(CLIP(KAL:name) & ' ' & KAL:ndok)", u"Наименование и номер", u"@s140");
    x.AddItem(u"KAL:id * 10", u"Код", u"@n6");
    x.AddItem(u"UPPER(KAL:nothing)", u"Нет поля", u"@s10", 0);
    x.SetTable(&d.file);
    EXPECT_FALSE(x.GetItem(3).offered);
    EXPECT_EQ(x.ItemOf(u"upper(clip(kal:NAME)  &  ' ' & kal:ndok)"), 1);
    EXPECT_EQ(x.ItemOf(u"UPPER(KAL:name)"), 0);
    EXPECT_EQ(x.ItemOf(u"Код"), 2);
    ASSERT_TRUE(x.SetLimit(1, QueryOp::Contains, u"связи 126"_s));
    ASSERT_TRUE(x.SetLimit(2, QueryOp::Greater, Value(5)));
    ViewClass v(d.file);
    v.setOrder(d.K1);
    auto rest = x.Apply(v);
    ASSERT_TRUE(rest);
    v.setFilter(rest);
    Ids got;
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        got.insert(d.R.ID);
        return true;
    });
    EXPECT_EQ(got, Ids({1}));
    ASSERT_TRUE(x.SetLimit(2, QueryOp::Greater, Value(20)));
    // The filter in force keeps the conditions it was made with.
    got.clear();
    v.reset();
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        got.insert(d.R.ID);
        return true;
    });
    EXPECT_EQ(got, Ids({1}));
    // An item that cannot be read is reported once and meets nothing.
    drive.reporter().clear();
    ASSERT_TRUE(x.SetLimit(3, QueryOp::Contains, u"a"_s));
    SET(d.file);
    NEXT(d.file);
    EXPECT_FALSE(x.Matches());
    EXPECT_LE(drive.reporter().reports().size(), 1u);
}

TEST_F(QueryTest, ViewConditionsAreReadByTheDriver) {
    ViewClass v(d.file);
    v.setOrder(d.K1);
    v.addCondition(d.R.NAME, ViewClass::Compare::Contains, u"закон"_s, true);
    v.addCondition(d.R.UTVDATA, ViewClass::Compare::Greater, Value(std::int64_t(day(2000, 1, 1))));
    EXPECT_EQ(v.count(), 2);
    v.clearConditions();
    v.addCondition(d.R.UTVDATA, ViewClass::Compare::Less, Value(std::int64_t(day(2000, 1, 1))));
    EXPECT_EQ(v.count(), 2);  // no date (0) lies before every date, as the runtime compares
    v.clearConditions();
    v.addCondition(d.R.NDOK, ViewClass::Compare::Less, u"Е"_s);  // by code unit, not by byte
    EXPECT_EQ(v.count(), 3);  // "L-7" too, which a byte of UTF-16 would put after
    v.clearConditions();
    EXPECT_EQ(v.count(), 7);
    // A view in a field order reads only the rows that meet its conditions.
    v.setOrder({{ref(d.R.NAME), false}});
    v.addCondition(d.R.NAME, ViewClass::Compare::BeginsWith, u"ЕЛОЧ"_s, true);
    std::vector<LONG> got;
    v.read(nullptr, true, true, -1, [&](const ViewPosition&) {
        got.push_back(d.R.ID);
        return true;
    });
    EXPECT_EQ(got, std::vector<LONG>({5}));
}
