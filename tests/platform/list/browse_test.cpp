// A list over a table driven as a user drives it: pages, scrolling, the thumb,
// locators, header sorts, column sizes, updates through a form, ranges by
// relation, and what the screen shows (pictures, icons, styles, colours).

#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>

#include "browse_support.h"
#include "table_support.h"
#include "ui/gui.h"

using namespace bt;
using namespace uitest;

namespace {

// The rows a page shows, as their codes.
QStringList ids(LONG thread) {
    return column(thread, BROWSE, 1);
}

QString id(int n) {
    return QString::number(n);
}

LONG lastId(Log& log) {
    return log.get(&Log::id);
}

}  // namespace

TEST(Browse, OpensOnTheFirstPageInKeyOrderWithTheFirstRowCurrent) {
    Log log;
    const LONG th = openBrowse(log);
    ASSERT_TRUE(waitWindow(th));
    const QStringList shown = ids(th);
    ASSERT_GE(shown.size(), 5);
    EXPECT_LT(shown.size(), 40);  // a page, never the whole table
    for (int i = 0; i < shown.size(); ++i)
        EXPECT_EQ(shown[i], id(i + 1));
    EXPECT_EQ(currentRow(th, BROWSE), 1);
    EXPECT_EQ(lastId(log), 1);
    EXPECT_EQ(log.get(&Log::note), QStringLiteral("примечание 1"));  // the whole record
    EXPECT_TRUE(thumbEnabled(th, BROWSE));
    EXPECT_EQ(thumb(th, BROWSE), 0);
    closeWindow(th);
}

TEST(Browse, KeysAndTheWheelMoveTheRowAndScrollAtTheEdges) {
    Log log;
    const LONG th = openBrowse(log);
    ASSERT_TRUE(waitWindow(th));
    const int page = ids(th).size();
    ASSERT_GT(page, 3);
    // Down moves within the page; at its last row the rows scroll by one.
    for (int i = 1; i < page; ++i)
        pressKey(th, BROWSE, Key::Down);
    EXPECT_EQ(currentRow(th, BROWSE), page);
    EXPECT_EQ(lastId(log), page);
    pressKey(th, BROWSE, Key::Down);
    EXPECT_EQ(ids(th).first(), id(2));
    EXPECT_EQ(ids(th).last(), id(page + 1));
    EXPECT_EQ(currentRow(th, BROWSE), page);
    EXPECT_EQ(lastId(log), page + 1);
    // The program saw each list event with the row it arrived at.
    {
        std::lock_guard<std::mutex> l(log.m);
        ASSERT_FALSE(log.arrived.empty());
        EXPECT_EQ(log.arrived.back(), page + 1);
        EXPECT_EQ(log.arrivedEvents.back(), int(EVENT::ScrollDown));
    }
    EXPECT_GT(thumb(th, BROWSE), 0);
    // Up at the first row scrolls back.
    for (int i = 1; i < page; ++i)
        pressKey(th, BROWSE, Key::Up);
    EXPECT_EQ(currentRow(th, BROWSE), 1);
    EXPECT_EQ(lastId(log), 2);
    pressKey(th, BROWSE, Key::Up);
    EXPECT_EQ(ids(th).first(), id(1));
    EXPECT_EQ(lastId(log), 1);
    EXPECT_EQ(thumb(th, BROWSE), 0);
    pressKey(th, BROWSE, Key::Up);  // nothing before the first
    EXPECT_EQ(lastId(log), 1);
    // The wheel moves the row three at a time.
    scrollWheel(th, BROWSE, -2);
    EXPECT_EQ(lastId(log), 7);
    closeWindow(th);
}

TEST(Browse, PagesAndEndsOfTheTable) {
    Log log;
    const LONG th = openBrowse(log);
    ASSERT_TRUE(waitWindow(th));
    const int page = ids(th).size();
    pressKey(th, BROWSE, Key::PgDn);
    EXPECT_EQ(ids(th).first(), id(page + 1));
    EXPECT_EQ(lastId(log), page + 1);
    pressKey(th, BROWSE, Key::PgDn);
    EXPECT_EQ(ids(th).first(), id(2 * page + 1));
    pressKey(th, BROWSE, Key::PgUp);
    EXPECT_EQ(ids(th).first(), id(page + 1));
    pressKey(th, BROWSE, Key::End);
    EXPECT_EQ(ids(th).last(), id(kItems));
    EXPECT_EQ(ids(th).size(), page);
    EXPECT_EQ(currentRow(th, BROWSE), page);
    EXPECT_EQ(lastId(log), kItems);
    EXPECT_EQ(thumb(th, BROWSE), 100);
    pressKey(th, BROWSE, Key::PgDn);  // at the end: the last row stays current
    EXPECT_EQ(lastId(log), kItems);
    pressKey(th, BROWSE, Key::Down);
    EXPECT_EQ(lastId(log), kItems);
    pressKey(th, BROWSE, Key::Home);
    EXPECT_EQ(ids(th).first(), id(1));
    EXPECT_EQ(currentRow(th, BROWSE), 1);
    EXPECT_EQ(lastId(log), 1);
    // A click on a row makes it current, record and all.
    clickRow(th, BROWSE, 4);
    EXPECT_EQ(lastId(log), 4);
    EXPECT_EQ(log.get(&Log::note), QStringLiteral("примечание 4"));
    closeWindow(th);
}

TEST(Browse, TheThumbAndTheLocatorFindRowsByTheirValue) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int) { c.brw.SetSort(2, false); };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    // The step object maps the thumb to codes 1..500.
    dragThumb(th, BROWSE, 50);
    EXPECT_EQ(ids(th).first(), id(251));
    EXPECT_EQ(lastId(log), 251);
    const int t = thumb(th, BROWSE);
    EXPECT_GE(t, 45);
    EXPECT_LE(t, 55);
    dragThumb(th, BROWSE, 100);
    EXPECT_EQ(ids(th).last(), id(kItems));
    // Typing a digit in the order by code finds the first code at least that.
    typeInto(th, BROWSE, QStringLiteral("7"));
    EXPECT_EQ(lastId(log), 7);
    EXPECT_EQ(ids(th).first(), id(7));
    // In the order by name, letters whatever their case.
    POST(EVENT::User, 0, th);
    waitIdle(th);
    EXPECT_EQ(lastId(log), 7);  // the record shown stays current in the new order
    typeInto(th, BROWSE, QStringLiteral("п"));
    const QString name = column(th, BROWSE, 2).at(currentRow(th, BROWSE) - 1);
    EXPECT_TRUE(name.startsWith(QStringLiteral("Перечень"))) << name.toStdString();
    typeInto(th, BROWSE, QStringLiteral("Я"));
    EXPECT_EQ(lastId(log), 4);  // "Яблоко"
    closeWindow(th);
}

TEST(Browse, HeaderClicksSortByTheColumnReverseAndClear) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int e) { c.brw.SetSort(e == EVENT::User ? 2 : 1, false); };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    clickHeader(th, BROWSE, 2);
    EXPECT_EQ(lastId(log), 1);  // the record shown stays current
    EXPECT_EQ(column(th, BROWSE, 2).first(), QStringLiteral("ёлка"));
    pressKey(th, BROWSE, Key::Home);
    // Russian alphabetical order without case, Ё after Е.
    QStringList names = column(th, BROWSE, 2);
    ASSERT_GE(names.size(), 4);
    EXPECT_EQ(names[0], QStringLiteral("абрикос"));
    EXPECT_EQ(names[1], QStringLiteral("Акт 018"));
    EXPECT_EQ(lastId(log), 5);
    // The locator follows the clicked column.
    typeInto(th, BROWSE, QStringLiteral("е"));
    EXPECT_EQ(column(th, BROWSE, 2).at(currentRow(th, BROWSE) - 1), QStringLiteral("Елка"));
    pressKey(th, BROWSE, Key::Down);
    EXPECT_EQ(lastId(log), 3);  // "ель"
    pressKey(th, BROWSE, Key::Down);
    EXPECT_EQ(lastId(log), 1);  // "ёлка" after "ель"
    clickHeader(th, BROWSE, 2);
    names = column(th, BROWSE, 2);
    pressKey(th, BROWSE, Key::Home);
    EXPECT_EQ(column(th, BROWSE, 2).first(), QStringLiteral("Яблоко"));
    clickHeader(th, BROWSE, 2);  // the third click: back to the key order
    pressKey(th, BROWSE, Key::Home);
    EXPECT_EQ(ids(th).first(), id(1));
    {
        std::lock_guard<std::mutex> l(log.m);
        ASSERT_EQ(log.resorted.size(), 3u);
        EXPECT_EQ(log.resorted[0], QStringLiteral("+ITM:NAME"));
        EXPECT_EQ(log.resorted[1], QStringLiteral("-ITM:NAME"));
        EXPECT_TRUE(log.resorted[2].isEmpty());
    }
    // A header sort lasts until another key order is chosen.
    clickHeader(th, BROWSE, 3);
    pressKey(th, BROWSE, Key::Home);
    EXPECT_EQ(column(th, BROWSE, 3).first(), QString());  // no date sorts first
    POST(EVENT::User, 0, th);
    waitIdle(th);
    pressKey(th, BROWSE, Key::Home);
    EXPECT_EQ(column(th, BROWSE, 2).first(), QStringLiteral("абрикос"));
    closeWindow(th);
}

namespace {

// A form that writes what it is asked to, as the card and base forms do.
int writingForm(Ctx& c, int, int request) {
    switch (request) {
        case InsertRecord:
            c.t.ITM.NAME = "Новый документ";
            c.t.ITM.NOTE = "вставлен";
            return c.t.itemsAccess.Insert() == Level::Benign ? 1 : 2;
        case ChangeRecord:
            c.t.ITM.NAME = QStringLiteral("Изменён ") + c.t.ITM.NOTE.clip();
            return c.t.itemsRel.Update() == Level::Benign ? 1 : 2;
        case DeleteRecord:
            return c.t.itemsRel.Delete(0) == Level::Benign ? 1 : 2;
        default:
            return 2;
    }
}

std::vector<std::pair<int, int>> runs(Log& log) {
    return log.get(&Log::runs);
}

}  // namespace

TEST(BrowseUpdates, InsertChangeAndDeleteThroughTheFormKeepTheirRowCurrent) {
    Log log;
    Options o;
    o.form = writingForm;
    o.user = [](Ctx& c, int) { c.brw.SetSort(2, false); };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    // Insert: the form gets a primed record with the next number.
    pressKey(th, BROWSE, Key::Insert);
    ASSERT_EQ(runs(log).size(), 1u);
    EXPECT_EQ(runs(log)[0], std::make_pair(1, int(InsertRecord)));
    const LONG added = lastId(log);
    EXPECT_GT(added, kItems);
    EXPECT_EQ(log.get(&Log::note), QStringLiteral("вставлен"));
    EXPECT_EQ(column(th, BROWSE, 2).at(currentRow(th, BROWSE) - 1),
              QStringLiteral("Новый документ"));
    EXPECT_EQ(ids(th).last(), id(added));  // the end of the order by code
    EXPECT_GE(log.get(&Log::newSelections), 1);

    // Change by a double click, in the order by name: the record moves and
    // stays current; the form had the whole record.
    POST(EVENT::User, 0, th);
    waitIdle(th);
    log.clear();
    doubleClickRow(th, BROWSE, currentRow(th, BROWSE));
    ASSERT_EQ(runs(log).size(), 1u);
    EXPECT_EQ(runs(log)[0].second, int(ChangeRecord));
    EXPECT_EQ(lastId(log), added);
    EXPECT_EQ(column(th, BROWSE, 2).at(currentRow(th, BROWSE) - 1),
              QStringLiteral("Изменён вставлен"));
    EXPECT_EQ(log.get(&Log::newSelections), 1);

    // The delete button: the row goes and its neighbour is current.
    log.clear();
    click(th, brw::DELETE);
    ASSERT_EQ(runs(log).size(), 1u);
    EXPECT_EQ(runs(log)[0].second, int(DeleteRecord));
    EXPECT_NE(lastId(log), added);
    EXPECT_FALSE(column(th, BROWSE, 2).contains(QStringLiteral("Изменён вставлен")));
    closeWindow(th);
}

TEST(BrowseUpdates, ThePopupMenuOffersTheUpdatesOfTheList) {
    Log log;
    const LONG th = openBrowse(log);
    ASSERT_TRUE(waitWindow(th));
    clickRow(th, BROWSE, 3);
    // A right click on a row: the menu of the list's updates.
    const QStringList entries = onGui([th] {
        QTableView* t = listWidget(th, BROWSE)->table();
        const QPoint at = t->visualRect(t->model()->index(2, 0)).center();
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, t->viewport()->mapToGlobal(at));
        QApplication::sendEvent(t->viewport(), &e);
        QStringList out;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) {
                for (QAction* a : m->actions())
                    out << a->text();
                // "&Изменить"
                m->actions().at(1)->trigger();
                m->close();
            }
        }
        return out;
    });
    waitIdle(th);
    EXPECT_EQ(entries, (QStringList{QStringLiteral("&Добавить"), QStringLiteral("&Изменить"),
                                    QStringLiteral("&Удалить")}));
    ASSERT_EQ(runs(log).size(), 1u);
    EXPECT_EQ(runs(log)[0].second, int(ChangeRecord));
    EXPECT_EQ(lastId(log), 3);
    closeWindow(th);
}

TEST(BrowseUpdates, AToolbarMovesTheListItTargets) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int e) {
        c.brw.TakeToolbar(e == EVENT::User ? ToolbarButton::PageDown : ToolbarButton::Bottom);
    };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    const int page = ids(th).size();
    POST(EVENT::User, 0, th);
    waitIdle(th);
    EXPECT_EQ(ids(th).first(), id(page + 1));
    EXPECT_EQ(lastId(log), page + 1);
    POST(EVENT::User + 1, 0, th);
    waitIdle(th);
    EXPECT_EQ(lastId(log), kItems);
    closeWindow(th);
}

TEST(BrowseUpdates, DeletedRowGivesWayToTheNext) {
    Log log;
    Options o;
    o.form = writingForm;
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    pressKey(th, BROWSE, Key::Insert);
    const LONG added = lastId(log);
    ASSERT_GT(added, kItems);
    pressKey(th, BROWSE, Key::Up);
    const LONG before = lastId(log);
    pressKey(th, BROWSE, Key::Down);
    ASSERT_EQ(lastId(log), added);
    pressKey(th, BROWSE, Key::Delete);
    EXPECT_EQ(runs(log).back().second, int(DeleteRecord));
    // Nothing after the deleted row: the one before it is current.
    EXPECT_EQ(lastId(log), before);
    EXPECT_EQ(ids(th).last(), id(before));
    closeWindow(th);
}

TEST(BrowseUpdates, WithoutPopupEditingOnlyTheButtonsUpdate) {
    Log log;
    Options o;
    o.editViaPopup = false;
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    pressKey(th, BROWSE, Key::Insert);
    pressKey(th, BROWSE, Key::Delete);
    doubleClickRow(th, BROWSE, 2);
    EXPECT_TRUE(runs(log).empty());
    EXPECT_EQ(currentRow(th, BROWSE), 2);
    EXPECT_EQ(lastId(log), 2);
    click(th, brw::CHANGE);
    ASSERT_EQ(runs(log).size(), 1u);
    EXPECT_EQ(runs(log)[0].second, int(ChangeRecord));
    EXPECT_EQ(lastId(log), 2);  // cancelled: the row stays
    closeWindow(th);
}

TEST(BrowseUpdates, AViewOnlyWindowOffersNoUpdates) {
    Log log;
    Options o;
    o.request = ViewRecord;
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    click(th, brw::INSERT);
    click(th, brw::CHANGE);
    pressKey(th, BROWSE, Key::Delete);
    doubleClickRow(th, BROWSE, 1);
    EXPECT_TRUE(runs(log).empty());
    closeWindow(th);
}

TEST(BrowseRange, TheChildListShowsTheChildrenOfTheParentRow) {
    RangeLog log;
    const LONG th = openRange(log);
    ASSERT_TRUE(waitWindow(th));
    EXPECT_EQ(column(th, GROUPS, 1).size(), kGroups);
    // Group 1 holds the items whose code ends in 0 or 5.
    QStringList items = column(th, ITEMS, 1);
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.first(), QStringLiteral("5"));
    EXPECT_EQ(items.at(1), QStringLiteral("10"));
    EXPECT_EQ(log.get(&RangeLog::item), 5);
    clickRow(th, GROUPS, 3);
    EXPECT_EQ(log.get(&RangeLog::group), 3);
    items = column(th, ITEMS, 1);
    ASSERT_FALSE(items.isEmpty());
    EXPECT_EQ(items.first(), QStringLiteral("2"));
    EXPECT_EQ(items.at(1), QStringLiteral("7"));
    EXPECT_EQ(log.get(&RangeLog::item), 2);
    EXPECT_EQ(currentRow(th, ITEMS), 1);
    // Paging stays within the group.
    pressKey(th, ITEMS, Key::End);
    EXPECT_EQ(column(th, ITEMS, 1).last(), QStringLiteral("497"));
    // A group without items: an empty list; the next group fills it again.
    clickRow(th, GROUPS, kGroups);
    EXPECT_TRUE(column(th, ITEMS, 1).isEmpty());
    EXPECT_EQ(currentRow(th, ITEMS), 0);
    pressKey(th, ITEMS, Key::Down);  // nothing to move to
    clickRow(th, GROUPS, 2);
    EXPECT_EQ(column(th, ITEMS, 1).first(), QStringLiteral("1"));
    // A new child gets its parent's value before the form opens.
    clickRow(th, GROUPS, kGroups);
    click(th, rng::INSERT);
    EXPECT_EQ(log.get(&RangeLog::primedGroup), kGroups);
    EXPECT_EQ(column(th, ITEMS, 2), QStringList{QStringLiteral("В группе")});
    EXPECT_EQ(currentRow(th, ITEMS), 1);
    click(th, rng::DELETE);
    EXPECT_TRUE(column(th, ITEMS, 2).isEmpty());
    closeWindow(th);
}

TEST(BrowseRange, ADropComboListsTheChildrenAndItsChoiceReachesTheRecord) {
    RangeLog log;
    const LONG th = openRange(log);
    ASSERT_TRUE(waitWindow(th));
    const auto comboRows = [th](int col) {
        return onGui([th, col] {
            QStringList out;
            rt::GuiControl* c = rt::gui::topWindow(th)->control(rng::CHOICE);
            auto* l = c ? dynamic_cast<lst::ComboList*>(lst::ListSurface::of(*c)) : nullptr;
            if (l && l->rows()) {
                for (const auto& r : *l->rows())
                    out << r[size_t(col - 1)].text;
            }
            return out;
        });
    };
    // The children of the group the list shows, as the list has them.
    QStringList codes = comboRows(2);
    ASSERT_GE(codes.size(), 5);
    EXPECT_EQ(codes.mid(0, 3),
              (QStringList{QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("15")}));
    const LONG itemBefore = log.get(&RangeLog::item);
    chooseEntry(th, rng::CHOICE, 3);
    EXPECT_EQ(log.get(&RangeLog::chosen), itemName(15));  // in the record when accepted
    EXPECT_EQ(log.get(&RangeLog::item), 15);
    EXPECT_EQ(text(th, rng::CHOICE), itemName(15));
    EXPECT_NE(itemBefore, 15);
    const bool iconShown = onGui([th] {
        rt::GuiControl* c = rt::gui::topWindow(th)->control(rng::CHOICE);
        auto* l = dynamic_cast<lst::ComboList*>(lst::ListSurface::of(*c));
        return l && (*l->rows())[0][0].icon == 1 && !l->icon(1).isNull();
    });
    EXPECT_TRUE(iconShown);
    // Another group: the drop list follows.
    clickRow(th, GROUPS, 3);
    codes = comboRows(2);
    ASSERT_FALSE(codes.isEmpty());
    EXPECT_EQ(codes.first(), QStringLiteral("2"));
    clickRow(th, GROUPS, kGroups);
    EXPECT_TRUE(comboRows(1).isEmpty());
    closeWindow(th);
}

TEST(BrowseScreen, PicturesIconsStylesAndColoursOfTheRows) {
    Log log;
    const LONG th = openBrowse(log);
    ASSERT_TRUE(waitWindow(th));
    struct Seen {
        QStringList headers;
        std::vector<lst::Cell> name5;
        bool bold = false;
        QColor silver;
        int rowHeight = 0, width1 = 0, px40 = 0;
        bool icon = false;
    };
    // Row 5 is in group 1 (style 1); row 50 has no date (red): the thumb at 10
    // shows 51 first, and a step up brings 50.
    dragThumb(th, BROWSE, 10);
    pressKey(th, BROWSE, Key::Up);
    ASSERT_EQ(lastId(log), 50);
    const std::vector<lst::Cell> day50 = onGui([th] {
        for (const auto& r : *listWidget(th, BROWSE)->rows()) {
            if (r[0].text == QStringLiteral("50"))
                return r;
        }
        return std::vector<lst::Cell>{};
    });
    pressKey(th, BROWSE, Key::Home);
    const Seen seen = onGui([th] {
        Seen s;
        lst::ListWidget* l = listWidget(th, BROWSE);
        for (int c = 0; c < 3; ++c)
            s.headers << l->table()->model()->headerData(c, Qt::Horizontal).toString();
        const lst::Rows& rows = *l->rows();
        for (const auto& r : rows) {
            if (r[0].text == QStringLiteral("5"))
                s.name5 = r;
        }
        s.bold = l->styleFont(1).bold();
        s.silver = l->styleColor(1, lst::PROPSTYLE::TextColor);
        s.rowHeight = l->table()->verticalHeader()->defaultSectionSize();
        s.width1 = l->table()->horizontalHeader()->sectionSize(0);
        s.px40 = l->px(40);
        s.icon = !l->icon(1).isNull();
        return s;
    });
    EXPECT_EQ(seen.headers, (QStringList{QStringLiteral("Код"), QStringLiteral("Наименование"),
                                         QStringLiteral("Дата")}));
    ASSERT_EQ(seen.name5.size(), 3u);
    EXPECT_EQ(seen.name5[1].text, QStringLiteral("абрикос"));
    EXPECT_EQ(seen.name5[1].icon, 1);
    EXPECT_EQ(seen.name5[1].style, 1);
    EXPECT_EQ(seen.name5[2].text, QStringLiteral("06.01.2020"));
    EXPECT_EQ(seen.name5[2].colors[0], -1);
    ASSERT_EQ(day50.size(), 3u);
    EXPECT_EQ(day50[1].style, 1);
    EXPECT_EQ(day50[2].text, QString());  // "@d6.b": no date, no text
    EXPECT_EQ(day50[2].colors[0], 0x0000FF);
    EXPECT_EQ(day50[2].colors[1], -1);
    EXPECT_TRUE(seen.bold);
    EXPECT_EQ(seen.silver, QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(seen.rowHeight, 18);
    EXPECT_EQ(seen.width1, seen.px40);
    EXPECT_TRUE(seen.icon);
    closeWindow(th);
}

TEST(BrowseScreen, ThePageFollowsTheHeightAndTheFont) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int e) {
        if (e == EVENT::User)
            c.w[BROWSE][PROP::Height] = 60;
        else
            c.w[BROWSE][PROP::LineHeight] = 30;
    };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    const int page = ids(th).size();
    pressKey(th, BROWSE, Key::PgDn);
    pressKey(th, BROWSE, Key::Down);
    const LONG current = lastId(log);
    POST(EVENT::User, 0, th);
    waitIdle(th);
    waitIdle(th);
    const int smaller = ids(th).size();
    EXPECT_LT(smaller, page);
    EXPECT_GE(smaller, 1);
    EXPECT_EQ(lastId(log), current);  // the current record stays
    EXPECT_TRUE(ids(th).contains(id(current)));
    POST(EVENT::User + 1, 0, th);
    waitIdle(th);
    waitIdle(th);
    EXPECT_LT(ids(th).size(), smaller);
    EXPECT_EQ(lastId(log), current);
    closeWindow(th);
}

TEST(BrowseScreen, RowsGoneUnderTheListAreStepedOver) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int e) {
        c.t.items.clearRecord();
        c.t.ITM.ID = 4;
        if (e == EVENT::User) {
            GET(c.t.items, c.t.ITM_K1);
            DELETE(c.t.items);
            c.brw.ResetQueue();
        } else {
            c.t.ITM.NAME = itemName(4);
            c.t.ITM.DAY = itemDay(4);
            c.t.ITM.GRP = 4 % (kGroups - 1) + 1;
            c.t.ITM.NOTE = "примечание 4";
            ADD(c.t.items);
            c.brw.ResetQueue();
        }
    };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    clickRow(th, BROWSE, 4);
    ASSERT_EQ(lastId(log), 4);
    POST(EVENT::User, 0, th);  // another hand deletes row 4
    waitIdle(th);
    EXPECT_EQ(currentRow(th, BROWSE), 4);
    EXPECT_EQ(lastId(log), 5);
    EXPECT_FALSE(ids(th).contains(id(4)));
    pressKey(th, BROWSE, Key::Up);
    EXPECT_EQ(lastId(log), 3);
    POST(EVENT::User + 1, 0, th);
    waitIdle(th);
    EXPECT_TRUE(ids(th).contains(id(4)));
    EXPECT_EQ(lastId(log), 3);
    closeWindow(th);
}

TEST(BrowseScreen, ColumnsFitTheirContents) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int) {
        c.w[BROWSE][PROP::FontSize] = 14;
        lst::AutoSizeColumnClassType a;
        a.AddListBox(BROWSE, c.q);
        a.ResizeAll();
    };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    const auto width = [th](int col) {
        return onGui([&] {
            return listWidget(th, BROWSE)->table()->horizontalHeader()->sectionSize(col - 1);
        });
    };
    const int before = width(2);
    // A double click on the divider of the name's header fits the column.
    onGui([th] {
        emit listWidget(th, BROWSE)->table()->horizontalHeader()->sectionHandleDoubleClicked(1);
    });
    waitIdle(th);
    waitIdle(th);
    const int fitted = width(2);
    EXPECT_NE(fitted, before);
    EXPECT_GT(fitted, 30);
    POST(EVENT::User, 0, th);
    waitIdle(th);
    waitIdle(th);
    EXPECT_GT(width(2), fitted);  // bigger letters, wider columns
    closeWindow(th);
}

TEST(BrowseOrders, AnExpressionOrdersEveryRowByItsValue) {
    Log log;
    Options o;
    o.user = [](Ctx& c, int) {
        static STRING<20> target;
        target = "Устав";
        BIND(QStringLiteral("Target"), ref(target));
        BIND(QStringLiteral("Score"), [](const std::vector<Value>& v) {
            return Value(v[1].toText().contains(CLIP(v[0].toText())) ? 255 : 0);
        });
        const int order = c.brw.AddSortOrder();
        c.brw.AppendOrder(QStringLiteral("200-Score(Target,ITM:name&' '&ITM:id)"));
        c.brw.SetSort(order, false);
        c.w[BROWSE][PROP::Tip] = QString::number(c.brw.View()->count());
    };
    const LONG th = openBrowse(log, o);
    ASSERT_TRUE(waitWindow(th));
    POST(EVENT::User, 0, th);
    waitIdle(th);
    pressKey(th, BROWSE, Key::Home);
    const QStringList names = column(th, BROWSE, 2);
    ASSERT_GE(names.size(), 3) << tip(th, BROWSE).toStdString();
    for (const QString& n : names)
        EXPECT_TRUE(n.startsWith(QStringLiteral("Устав"))) << n.toStdString();
    EXPECT_EQ(tip(th, BROWSE), QString::number(kItems));  // no row left out
    pressKey(th, BROWSE, Key::End);
    EXPECT_FALSE(column(th, BROWSE, 2).last().startsWith(QStringLiteral("Устав")));
    closeWindow(th);
}

TEST(BrowseScreen, AMalformedFormatIsReportedAndTheWindowStillWorks) {
    auto reporter = std::make_shared<RecordingReporter>();
    ErrorClass::setReporter(reporter);
    std::atomic<bool> valid{true};
    const LONG th = START([&valid] {
        struct Row {
            LONG ID;
            BYTE MARK;
            STRING<1024> VIEWPOSITION;
        };
        lst::QUEUE<Row> q([](Row& r, lst::QueueFields& f) {
            f("ID", r.ID)("MARK", r.MARK)("VIEWPOSITION", r.VIEWPOSITION);
        });
        Window w(u"browsetest", u"BAD");
        if (!w.open())
            return;
        lst::ListControl list;
        valid = list.Init(w, browsetest::BAD::BADLIST, q);
        q.ID = 7;
        q.add();
        list.display();
        while (ACCEPT()) {
        }
        w.close();
    });
    ASSERT_TRUE(waitWindow(th));
    EXPECT_FALSE(valid.load());
    const auto reports = reporter->reports();
    ErrorClass::setReporter(nullptr);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_TRUE(reports[0].text.contains(QStringLiteral("?BADLIST")))
        << reports[0].text.toStdString();
    EXPECT_TRUE(reports[0].text.contains(QStringLiteral("40R(2)|_M~Код~C@n_6")));
    click(th, browsetest::BAD::CLOSE);
    EXPECT_TRUE(rt::waitThreadEnd(th, kWait));
}

int main(int argc, char** argv) {
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_LIST_TEST_RESOURCES)});
}
