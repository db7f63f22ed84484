// Queues, order expressions, step objects and locators.

#include <gtest/gtest.h>

#include "expression.h"
#include "queue.h"
#include "steps.h"
#include "table.h"

using namespace lst;

namespace {

struct Row {
    LONG RTG;
    STRING<60> NAME;
    LONG NAME_ICON;
    DECIMAL<2> KOD;
    BYTE MARK;
    STRING<1024> VIEWPOSITION;
};

struct Rows : QUEUE<Row> {
    Rows()
        : QUEUE<Row>([](Row& r, QueueFields& f) {
              f("CON:RTG", r.RTG)("CON:NAME", r.NAME)("CON:NAME_ICON", r.NAME_ICON)(
                  "CON:KOD", r.KOD)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
          }) {}
    void push(LONG rtg, const char* name, int kod) {
        RTG = rtg;
        NAME = name;
        KOD = kod;
        add();
    }
};

}  // namespace

TEST(Queue, RowsAreCopiesOfTheBuffer) {
    Rows q;
    EXPECT_EQ(q.fields().size(), 6u);
    EXPECT_EQ(q.fieldIndex(u"con:name"), 1);
    EXPECT_EQ(q.fieldIndex(u"NAME_ICON"), 2);  // without its prefix
    EXPECT_EQ(q.fieldIndex(u"nothing"), -1);
    EXPECT_EQ(q.fieldIndex(ref(q.KOD)), 3);

    q.push(5, "Трудовые отношения", 1);
    q.push(0, "Охрана труда", 2);
    q.push(7, "Договоры", 3);
    EXPECT_EQ(q.records(), 3);
    q.NAME = "изменено в буфере";
    EXPECT_EQ(q.value(2, 1).toText().trimmed(), QStringLiteral("Охрана труда"));

    ASSERT_TRUE(q.get(3));
    EXPECT_EQ(q.NAME.clip(), QStringLiteral("Договоры"));
    EXPECT_EQ(q.KOD.toInt(), 3);
    EXPECT_EQ(q.pointer(), 3);
    EXPECT_FALSE(q.get(4));
    EXPECT_FALSE(q.get(0));

    q.RTG = 99;
    ASSERT_TRUE(q.put(1));
    EXPECT_EQ(q.value(1, 0).toInt(), 99);

    // Inserting at a position shifts the rows after it.
    q.NAME = "Первая";
    q.add(1);
    EXPECT_EQ(q.records(), 4);
    EXPECT_EQ(q.value(1, 1).toText().trimmed(), QStringLiteral("Первая"));
    EXPECT_EQ(q.value(2, 0).toInt(), 99);

    q.move(1, 4);
    EXPECT_EQ(q.value(4, 1).toText().trimmed(), QStringLiteral("Первая"));
    const auto before = q.version();
    ASSERT_TRUE(q.del(4));
    EXPECT_GT(q.version(), before);
    EXPECT_FALSE(q.del(4));
    EXPECT_EQ(q.records(), 3);
    EXPECT_EQ(q.value(9, 0).toInt(), 0);  // no such row

    q.free();
    EXPECT_EQ(q.records(), 0);
    q.clearBuffer();
    EXPECT_TRUE(q.NAME.blank());
    EXPECT_EQ(q.RTG, 0);
}

namespace {

struct Card {
    LONG ID = 0;
    STRING<20> NAME;
    DATE DAY;
    TableFile file{QStringLiteral("CARD"), QStringLiteral("KAL"), Driver::TPS};
    Card() {
        file.addField(QStringLiteral("ID"), ID);
        file.addField(QStringLiteral("NAME"), NAME);
        file.addField(QStringLiteral("DAY"), DAY);
    }
};

}  // namespace

TEST(Expression, FieldsBoundNamesAndOperators) {
    Card c;
    c.ID = 12;
    c.NAME = "Закон";
    c.DAY = 5;
    STRING<30> query("закон");
    BIND(QStringLiteral("Query7"), ref(query));
    BIND(QStringLiteral("Score"), [](const std::vector<Value>& v) {
        return Value(v[1].toText().contains(v[0].toText().trimmed(), Qt::CaseInsensitive) ? 100
                                                                                          : 3);
    });
    QString why;
    auto e = Expression::parse(u"200-Score(Query7,kal:name&' '&KAL:iD)", &c.file, &why);
    ASSERT_TRUE(e) << why.toStdString();
    EXPECT_EQ(e->evaluate().toInt(), 100);
    c.NAME = "Приказ";
    EXPECT_EQ(e->evaluate().toInt(), 197);  // the buffer as it is at each evaluation

    // STRING fields keep their width when joined; CLIP takes it off.
    auto cat = Expression::parse(u"CLIP(KAL:NAME)&'|'&KAL:ID&'|'&KAL:DAY", &c.file);
    EXPECT_EQ(cat->evaluate().toText(), QStringLiteral("Приказ|12|5"));
    EXPECT_EQ(Expression::parse(u"UPPER(KAL:name)", &c.file)->evaluate().toText().trimmed(),
              QStringLiteral("ПРИКАЗ"));
    EXPECT_EQ(Expression::parse(u"LEN(CLIP(kal:name))", &c.file)->evaluate().toInt(), 6);
    EXPECT_EQ(Expression::parse(u"7 + 2 * 3 - -1", nullptr)->evaluate().toInt(), 14);
    EXPECT_DOUBLE_EQ(Expression::parse(u"7 / 2", nullptr)->evaluate().toReal(), 3.5);
    EXPECT_EQ(Expression::parse(u"7 % 0", nullptr)->evaluate().toInt(), 0);
    EXPECT_EQ(Expression::parse(u"'it''s'", nullptr)->evaluate().toText(), QStringLiteral("it's"));
    EXPECT_EQ(
        Expression::parse(u"KAL:ID >= 12 AND NOT KAL:NAME = 'Закон'", &c.file)->evaluate().toInt(),
        1);
    EXPECT_EQ(Expression::parse(u"KAL:ID < 3 OR 'а' <> 'а'", &c.file)->evaluate().toInt(), 0);
    // A plain field is known as such (orders by fields use the view's own order).
    EXPECT_TRUE(Expression::parse(u"kal:Day", &c.file)->field().valid());
    EXPECT_FALSE(Expression::parse(u"kal:Day+1", &c.file)->field().valid());
    UNBIND(QStringLiteral("Query7"));
    UNBIND(QStringLiteral("Score"));
}

TEST(Expression, FaultsAreRefusedWithAMessage) {
    Card c;
    const char16_t* bad[] = {u"",    u"KAL:NOPE",    u"(1+2",    u"'open",
                             u"1 +", u"Unbound(1)",  u"UPPER()", u"ZAM:ID",
                             u"1 2", u"UPPER(1, 2)", u"#",       u"1..2"};
    for (const char16_t* t : bad) {
        QString why;
        EXPECT_FALSE(Expression::parse(t, &c.file, &why)) << QString::fromUtf16(t).toStdString();
        EXPECT_FALSE(why.isEmpty());
    }
}

TEST(Steps, RealPlacesAndValues) {
    StepRealClass r;
    r.SetLimit(Value(2.0), Value(0.0));  // either order
    EXPECT_EQ(r.GetPercentile(Value(0.5)), 25);
    EXPECT_EQ(r.GetPercentile(Value(-1.0)), 0);
    EXPECT_EQ(r.GetPercentile(Value(9.0)), 100);
    EXPECT_DOUBLE_EQ(r.GetValue(75).toReal(), 1.5);
    EXPECT_DOUBLE_EQ(r.GetValue(120).toReal(), 2.0);
    StepRealClass flat;
    flat.SetLimit(Value(3.0), Value(3.0));
    EXPECT_EQ(flat.GetPercentile(Value(3.0)), 0);
}

TEST(Steps, StepLocatorReadsOneKeystrokeForItsField) {
    STRING<40> name;
    LONG code = 0;
    DATE day;
    StepLocatorClass l;
    Value v;
    l.Init(0, ref(name), true);
    ASSERT_TRUE(l.TakeKey(QStringLiteral("к"), &v));
    EXPECT_EQ(v.toText(), QStringLiteral("К"));
    l.Init(0, ref(name), false);
    ASSERT_TRUE(l.TakeKey(QStringLiteral("к"), &v));
    EXPECT_EQ(v.toText(), QStringLiteral("к"));
    l.Init(0, ref(code), true);
    ASSERT_TRUE(l.TakeKey(QStringLiteral("7"), &v));
    EXPECT_EQ(v.toInt(), 7);
    EXPECT_FALSE(l.TakeKey(QStringLiteral("x"), &v));
    l.Init(0, ref(day), true);
    EXPECT_FALSE(l.TakeKey(QStringLiteral("1"), &v));
    EXPECT_FALSE(l.TakeKey(QString(), &v));
}
