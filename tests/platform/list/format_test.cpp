// Format strings of lists: the strings the windows use, read column by column,
// and malformed strings refused with a message, never a crash.

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "format.h"

using lst::Align;
using lst::Format;
using lst::parseFormat;

namespace {

Format parsed(const QString& text) {
    Format f;
    QString why;
    EXPECT_TRUE(parseFormat(text, &f, &why)) << why.toStdString();
    return f;
}

QString refused(const QString& text) {
    Format f;
    QString why;
    EXPECT_FALSE(parseFormat(text, &f, &why)) << text.toStdString();
    return why;
}

}  // namespace

TEST(Format, BaseListColumnsIconsAndStyles) {
    const Format f = parsed(QStringLiteral(
        "40R(2)|_M~Рейтинг~C@n_7@271L(2)|_MJY~Категория документов~C@s60@80L(2)|_M~Путь к БД "
        "документов~@s255@22R(2)|_M~iD~C@n_3b@12R(2)|_M~on off~C@n3@"));
    ASSERT_EQ(f.columns.size(), 5u);
    const auto& rating = f.columns[0];
    EXPECT_EQ(rating.width, 40);
    EXPECT_EQ(rating.align, Align::Right);
    EXPECT_EQ(rating.indent, 2);
    EXPECT_EQ(rating.header, QStringLiteral("Рейтинг"));
    EXPECT_EQ(rating.headerAlign, Align::Center);
    EXPECT_EQ(rating.headerIndent, 0);
    EXPECT_EQ(rating.picture, QStringLiteral("@n_7"));
    EXPECT_TRUE(rating.rightBorder && rating.underline && rating.resizable);
    EXPECT_FALSE(rating.icon || rating.style || rating.colors);

    // The name takes its icon and style fields right after its own.
    const auto& name = f.columns[1];
    EXPECT_TRUE(name.icon && name.style);
    EXPECT_EQ(name.field, 1);
    EXPECT_EQ(name.iconField, 2);
    EXPECT_EQ(name.styleField, 3);
    // A header without its own alignment takes the data's.
    EXPECT_EQ(f.columns[2].headerAlign, Align::Left);
    EXPECT_EQ(f.columns[2].headerIndent, 2);
    EXPECT_EQ(f.columns[2].field, 4);
    EXPECT_EQ(f.columns[4].field, 6);
    EXPECT_EQ(f.fields, 7);
    EXPECT_FALSE(f.hasGroups());
}

TEST(Format, DocumentListColoursIconAndGroupHeader) {
    const Format f = parsed(QStringLiteral(
        "337L(2)|_M*J~Краткое наименование~L(73)@s120@50R(16)|_M~iD "
        "документа~C(0)@n_8b@52L(2)|_M~№ "
        "документа~@s12@80R(2)|_M~Дата утверждения~C(0)@d6.b@80R(5)|_M~Дата "
        "введения~C(0)@d6.b@[240R(5)|_M@s60@240R(5)|_M@s60@240R(5)|_M@s60@]|M~Полное наименование "
        "документа~"));
    ASSERT_EQ(f.columns.size(), 8u);
    const auto& name = f.columns[0];
    EXPECT_EQ(name.headerAlign, Align::Left);
    EXPECT_EQ(name.headerIndent, 73);
    EXPECT_TRUE(name.colors && name.icon);
    EXPECT_EQ(name.colorField, 1);  // four colours, then the icon
    EXPECT_EQ(name.iconField, 5);
    EXPECT_EQ(f.columns[1].field, 6);  // KAL:ID
    EXPECT_EQ(f.columns[1].indent, 16);
    EXPECT_EQ(f.columns[7].field, 12);
    EXPECT_EQ(f.fields, 13);
    ASSERT_EQ(f.groups.size(), 1u);
    const auto& g = f.groups[0];
    EXPECT_EQ(g.first, 5);
    EXPECT_EQ(g.last, 7);
    EXPECT_EQ(g.header, QStringLiteral("Полное наименование документа"));
    EXPECT_TRUE(g.rightBorder && g.resizable);
    EXPECT_EQ(f.columns[5].group, 0);
    EXPECT_EQ(f.columns[4].group, -1);
    EXPECT_TRUE(f.columns[6].header.isEmpty());
}

TEST(Format, ListsOfTheTopicWindowAndTheCardForm) {
    const Format topics = parsed(QStringLiteral(
        "263L(2)|_MJ~Наименвание темы~C@s60@247L(2)|_M@s60@80R(2)|_M~iD темы~C@n_3b@"));
    ASSERT_EQ(topics.columns.size(), 3u);
    EXPECT_TRUE(topics.columns[1].header.isEmpty());
    EXPECT_EQ(topics.columns[1].field, 2);  // after the name's icon

    const Format bases = parsed(QStringLiteral(
        "240L(1)|_MJY~Наименование подтемы~C(2)@s60@1020R|_M~Путь к БД~L(2)@s255@12R|_M~iD "
        "БД~L(2)@n_3b@12R|_M~iD подтемы~L(2)@n_3b@12R|_M~on off~L(2)@n3@"));
    ASSERT_EQ(bases.columns.size(), 5u);
    EXPECT_EQ(bases.columns[0].indent, 1);
    EXPECT_EQ(bases.columns[0].headerIndent, 2);
    EXPECT_EQ(bases.columns[1].indent, 0);  // "R" without an indent
    EXPECT_EQ(bases.columns[1].headerAlign, Align::Left);

    const Format marks = parsed(QStringLiteral(
        "165L|_M~Имя закладки~C(2)@s40@320L|_M~Выдержка из текста документа~C(2)@s80@56R(10)|_M~iD "
        "документа~C(2)@n_8b@49R(8)|_M~iD закладки~C(2)@n_8b@"));
    EXPECT_EQ(marks.columns.size(), 4u);
    EXPECT_EQ(marks.fields, 4);

    const Format combo = parsed(QStringLiteral(
        "418L(2)|_MJ~Имя закладки~C@s100@320L(2)|_M~Выдержка текса документа~@s100@"));
    EXPECT_EQ(combo.columns[1].field, 2);

    EXPECT_TRUE(parsed(QStringLiteral("20L(2)I@S32@")).columns[0].transparentIcon);
    EXPECT_EQ(parsed(QStringLiteral("20R(2)@N2@")).columns[0].align, Align::Right);
    EXPECT_TRUE(parsed(QStringLiteral("20L(2)@S32@?")).columns[0].locator);
    EXPECT_EQ(parsed(QStringLiteral("20L(2)J@S10@")).fields, 2);
}

TEST(Format, MalformedStringsAreRefusedWithTheirPlace) {
    EXPECT_TRUE(refused(QString()).contains(QStringLiteral("no columns")));
    EXPECT_TRUE(refused(QStringLiteral("abc")).contains(QStringLiteral("character 1")));
    EXPECT_TRUE(refused(QStringLiteral("40R(2")).contains(QStringLiteral("indent")));
    EXPECT_TRUE(refused(QStringLiteral("40R(2)|_M~Рейтинг")).contains(QStringLiteral("header")));
    EXPECT_TRUE(refused(QStringLiteral("40R(2)~x~@n_7")).contains(QStringLiteral("picture")));
    EXPECT_TRUE(refused(QStringLiteral("40X@s5@")).contains(QStringLiteral("alignment")));
    EXPECT_TRUE(refused(QStringLiteral("40R(2)@@")).contains(QStringLiteral("picture")));
    EXPECT_TRUE(refused(QStringLiteral("40R(2)@zz@")).contains(QStringLiteral("@zz")));
    EXPECT_TRUE(refused(QStringLiteral("[40L@s5@")).contains(QStringLiteral("group")));
    EXPECT_TRUE(refused(QStringLiteral("40L@s5@]")).contains(QStringLiteral("]")));
    EXPECT_TRUE(refused(QStringLiteral("[]")).contains(QStringLiteral("without columns")));
    EXPECT_TRUE(refused(QStringLiteral("[[40L@s5@]]")).contains(QStringLiteral("inside")));
    EXPECT_TRUE(refused(QStringLiteral("40L")).contains(QStringLiteral("without its picture")));
    EXPECT_TRUE(refused(QStringLiteral("40L@s5@@s6@")).contains(QStringLiteral("second")));
    EXPECT_TRUE(refused(QStringLiteral("40L@s5@~h~")).contains(QStringLiteral("header")));
    EXPECT_TRUE(refused(QStringLiteral("40L(x)@s5@")).contains(QStringLiteral("indent")));
    EXPECT_TRUE(refused(QStringLiteral("9999999L@s5@")).contains(QStringLiteral("width")));
    const QString why = refused(QStringLiteral("40L(2)|_Q@s5@"));
    EXPECT_TRUE(why.contains(QStringLiteral("\"Q\""))) << why.toStdString();
    EXPECT_TRUE(why.contains(QStringLiteral("character 9"))) << why.toStdString();
    EXPECT_TRUE(refused(QStringLiteral("[40L@s5@]|Z")).contains(QStringLiteral("group")));
}

TEST(Format, AnyTextIsReadOrRefusedWithoutHarm) {
    const QString alphabet = QStringLiteral("0123456789LRCD()|_MJIY*?~@[]snd.b-Ё ");
    QRandomGenerator g(11);
    for (int i = 0; i < 5000; ++i) {
        QString s;
        const int n = g.bounded(40);
        for (int k = 0; k < n; ++k)
            s += alphabet[g.bounded(int(alphabet.size()))];
        Format f;
        QString why;
        if (parseFormat(s, &f, &why)) {
            EXPECT_FALSE(f.columns.empty());
            for (const auto& c : f.columns)
                EXPECT_LT(c.field, f.fields);
        } else {
            EXPECT_FALSE(why.isEmpty());
        }
    }
}
