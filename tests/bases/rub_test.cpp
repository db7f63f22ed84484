// The topic window and the topic form, driven as a user drives them in a
// running program (the windows run on threads of their own; the tests on
// thread 1): the two linked lists, the active base they set, the spin box, the
// styles, the header sorts, and the topic form with its relation to the bases.

#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <map>

#include "app/globals.h"
#include "app/procedures.h"
#include "bases.h"
#include "catalogue.h"
#include "controls/kaldo005.h"
#include "controls/kaldo007.h"
#include "controls/kaldo008.h"
#include "core/paths.h"
#include "dictionary.h"
#include "listdriver.h"
#include "qt_print.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"
#include "window_steps.h"
#include "windowmanager.h"

using namespace uitest;
using namespace listtest;
using namespace cattest;

namespace {

// Controls of the topic window (SPINW and PUT are also process-wide
// variables: those are written ::SPINW, ::PUT), of the topic form and of the
// base form.
using namespace kaldo007;

const QString kTitle = QStringLiteral("Рубрикатор тем/подтем [выбор БД]");
const QString kFormTitle = QStringLiteral("Редактировать рубрикатор темы");

const std::vector<Topic> kTopics = {
    {1, QStringLiteral("Трудовое право"), QStringLiteral("и охрана труда"), 7},
    {2, QStringLiteral("Гражданское право"), QString(), 3},
    {3, QStringLiteral("Архив"), QStringLiteral("документы"), 0},
    {4, QStringLiteral("Пустая тема"), QStringLiteral("без баз"), 0},
};

const std::vector<Base> kBases = {
    {1, 1, folder(QStringLiteral("trud")), QStringLiteral("Трудовые отношения"), 1},
    {2, 1, folder(QStringLiteral("ohrana")), QStringLiteral("Охрана труда"), 0},
    {3, 2, folder(QStringLiteral("dogovor")), QStringLiteral("Договоры и сделки"), 1},
    {4, 2, folder(QStringLiteral("potreb")), QStringLiteral("Защита прав потребителей"), 2},
    {5, 3, folder(QStringLiteral("arhiv")), QStringLiteral("Архив и документооборот"), 1},
};

void setCatalogue() {
    cattest::setCatalogue(kBases, kTopics);
}

// The topic codes of the bases, by base code.
std::map<int, int> topicsOfBases() {
    std::map<int, int> out;
    Relate_CONFIG->Open();
    SET(CONFIG);
    for (NEXT(CONFIG); ERRORCODE() == 0; NEXT(CONFIG))
        out[CON.KOD.toInt()] = CON.ID.toInt();
    Relate_CONFIG->Close();
    return out;
}

LONG openTopics() {
    return startProcedure(BrowseRub, 25000);
}

void closeTopics(LONG th) {
    closeProcedure(th);
}

QString tema() {
    return TEMA.get().clip();
}

QStringList names(LONG th) {
    return column(th, LIST, 1);
}

}  // namespace

// ---- the two lists ------------------------------------------------------------------

TEST(TopicList, TheBaseListHoldsTheBasesOfTheTopicUnderTheCursor) {
    setCatalogue();
    const LONG th = openTopics();
    EXPECT_EQ(title(th), kTitle);
    EXPECT_EQ(column(th, BROWSE_1, 3), strings({"1", "2", "3", "4"}));
    EXPECT_EQ(text(th, CON_PATH_PROMPT), QStringLiteral("Путь к БД:"));
    // The base buttons' tips take two lines.
    EXPECT_EQ(tip(th, kaldo007::INSERT), QStringLiteral("Добавить подтему,\nрасположение БД"));
    // The first topic's bases; its first base told the window: the active base.
    EXPECT_EQ(names(th), strings({"Трудовые отношения", "Охрана труда"}));
    EXPECT_EQ(column(th, LIST, 4), strings({"1", "1"}));
    EXPECT_EQ(tema(), QStringLiteral("Трудовые отношения"));
    EXPECT_EQ(text(th, kaldo007::PUT), folder(QStringLiteral("trud")));
    EXPECT_EQ(tip(th, LIST), QStringLiteral("Трудовые отношения"));
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Трудовое право\nи охрана труда"));

    // Another topic: the base list is read again at once.
    clickRow(th, BROWSE_1, 2);
    EXPECT_EQ(names(th), strings({"Договоры и сделки", "Защита прав потребителей"}));
    EXPECT_EQ(currentRow(th, LIST), 1);
    EXPECT_EQ(tema(), QStringLiteral("Договоры и сделки"));
    EXPECT_EQ(text(th, kaldo007::PUT), folder(QStringLiteral("dogovor")));
    // A blank second line: the first, then the line break (the screen shows CR LF
    // as one).
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Гражданское право\n"));

    // A topic without bases: an empty list, and the active base stays (here one
    // chosen elsewhere meanwhile).
    CON.PATH = "c:\\elsewhere\\";
    CON.NAME = "Выбрана в другом окне";
    SetActiveBase();
    clickRow(th, BROWSE_1, 4);
    EXPECT_TRUE(names(th).isEmpty());
    EXPECT_EQ(currentRow(th, LIST), 0);
    clickMouse(th, LIST, Key::MouseLeft);
    pressKey(th, LIST, Key::Down);
    EXPECT_EQ(tema(), QStringLiteral("Выбрана в другом окне"));
    EXPECT_EQ(::PUT.get().clip(), QStringLiteral("c:\\elsewhere\\"));
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Пустая тема\nбез баз"));
    // The keys of the topic list: the tip and the bases of the row arrived at.
    pressKey(th, BROWSE_1, Key::Up);
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Архив\nдокументы"));
    EXPECT_EQ(names(th), strings({"Архив и документооборот"}));
    EXPECT_EQ(tema(), QStringLiteral("Архив и документооборот"));
    closeTopics(th);
}

TEST(TopicList, MovingInTheBaseListSetsTheActiveBaseAndTipToTheRowArrivedAt) {
    setCatalogue();
    const LONG th = openTopics();
    clickRow(th, LIST, 2);
    EXPECT_EQ(tema(), QStringLiteral("Охрана труда"));  // off, but active
    EXPECT_EQ(tip(th, LIST), QStringLiteral("Охрана труда"));
    EXPECT_EQ(PUT1.get().clip(), folder(QStringLiteral("ohrana")) + QStringLiteral("KALDOR.TPS"));
    pressKey(th, LIST, Key::Up);
    EXPECT_EQ(tema(), QStringLiteral("Трудовые отношения"));
    EXPECT_EQ(tip(th, LIST), QStringLiteral("Трудовые отношения"));
    EXPECT_EQ(text(th, kaldo007::PUT), folder(QStringLiteral("trud")));
    pressKey(th, LIST, Key::Down);
    EXPECT_EQ(tema(), QStringLiteral("Охрана труда"));
    EXPECT_EQ(tip(th, LIST), QStringLiteral("Охрана труда"));
    pressKey(th, LIST, Key::Down);  // the last row: nowhere to go
    EXPECT_EQ(tema(), QStringLiteral("Охрана труда"));

    // The connect button closes the window; the base chosen last stays active.
    click(th, BUTTON7);
    EXPECT_TRUE(rt::waitThreadEnd(th, kWait));
    EXPECT_EQ(tema(), QStringLiteral("Охрана труда"));
    EXPECT_EQ(::PUT.get().clip(), folder(QStringLiteral("ohrana")));
}

TEST(TopicList, AMissingCatalogueFolderIsReportedOnceNotAtEveryRead) {
    setCatalogue();
    const QString demo = sandbox().path() + QStringLiteral("/c/kaldor_demo");
    const QString away = demo + QStringLiteral("_away");
    ASSERT_TRUE(QDir().rename(demo, away));
    // Every message box of the window's thread, answered as it comes.
    QStringList shown;
    auto answerAll = [&shown](LONG th) {
        while (waitDialog(th, 1000)) {
            shown << messageText(th);
            answerMessage(th, BUTTON::Ok);
        }
    };
    const LONG th = START(BrowseRub, 25000);
    answerAll(th);
    EXPECT_TRUE(waitWindow(th));
    answerAll(th);
    for (int i = 0; i < 2; ++i) {
        pressKey(th, BROWSE_1, Key::Down);
        answerAll(th);
        pressKey(th, LIST, Key::Down);
        answerAll(th);
    }
    ASSERT_EQ(shown.size(), 1) << shown.join(u"\n---\n").toStdString();
    EXPECT_TRUE(shown[0].contains(u"config.dat") || shown[0].contains(u"rubrika.dat"))
        << shown[0].toStdString();
    closeTopics(th);
    answerAll(th);
    ASSERT_TRUE(QDir().rename(away, demo));
}

TEST(TopicList, BasesThatAreOffAreBoldAndSilverInTheListsOwnFace) {
    setCatalogue();
    const LONG th = openTopics();
    struct Seen {
        int topicIcon = -1, baseIcon = -1, first = -1, second = -1;
        bool bold = false;
        QString face, listFace;
        QColor text, selected;
    };
    const auto seen = [th] {
        return onGui([th] {
            Seen r;
            lst::ListWidget* topics = listWidget(th, BROWSE_1);
            lst::ListWidget* l = listWidget(th, LIST);
            const lst::Rows& rows = *l->rows();
            r.topicIcon = (*topics->rows())[0][0].icon;
            r.baseIcon = rows[0][0].icon;
            r.first = rows[0][0].style;
            if (rows.size() > 1)
                r.second = rows[1][0].style;
            r.bold = l->styleFont(1).bold();
            r.face = l->styleFont(1).family();
            r.listFace = l->baseFont().family();
            r.text = l->styleColor(1, lst::PROPSTYLE::TextColor);
            r.selected = l->styleColor(1, lst::PROPSTYLE::TextSelected);
            return r;
        });
    };
    const Seen first = seen();
    EXPECT_EQ(first.topicIcon, 1);
    EXPECT_EQ(first.baseIcon, 1);
    EXPECT_EQ(first.first, 0);
    EXPECT_EQ(first.second, 1);  // flag 0
    EXPECT_TRUE(first.bold);
    EXPECT_EQ(first.face, first.listFace);
    EXPECT_EQ(first.text, QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(first.selected, QColor(0xC0, 0xC0, 0xC0));
    clickRow(th, BROWSE_1, 2);
    EXPECT_EQ(seen().second, 0);  // flag 2
    closeTopics(th);
}

TEST(TopicList, TheSpinBoxSetsFontAndLineHeightOfBothLists) {
    setCatalogue();
    ::SPINW = 8;
    const LONG th = openTopics();
    EXPECT_EQ(rowHeight(th, BROWSE_1), 18);
    EXPECT_EQ(rowHeight(th, LIST), 18);
    EXPECT_EQ(font(th, LIST).pointSize(), 8);
    spinTo(th, kaldo007::SPINW, 6);
    waitIdle(th);
    EXPECT_EQ(::SPINW.get().toInt(), 6);
    for (int list : {int(BROWSE_1), int(LIST)}) {
        EXPECT_EQ(font(th, list).pointSize(), 6) << list;
        EXPECT_EQ(rowHeight(th, list), 16) << list;
    }
    spinTo(th, kaldo007::SPINW, 14);
    waitIdle(th);
    for (int list : {int(BROWSE_1), int(LIST)}) {
        EXPECT_EQ(font(th, list).pointSize(), 14) << list;
        EXPECT_EQ(rowHeight(th, list), 24) << list;
    }
    // The next events of the lists keep them.
    clickRow(th, BROWSE_1, 2);
    clickRow(th, LIST, 2);
    EXPECT_EQ(font(th, LIST).pointSize(), 14);
    EXPECT_EQ(rowHeight(th, BROWSE_1), 24);
    spinTo(th, kaldo007::SPINW, 15);  // beyond the range
    EXPECT_EQ(::SPINW.get().toInt(), 14);
    spinTo(th, kaldo007::SPINW, 8);
    closeTopics(th);
}

TEST(TopicList, AHeaderSortLastsUntilTheWindowCloses) {
    setCatalogue();
    LONG th = openTopics();
    // The locator of the key order: the topic's code.
    typeInto(th, BROWSE_1, QStringLiteral("3"));
    EXPECT_EQ(names(th), strings({"Архив и документооборот"}));
    clickHeader(th, BROWSE_1, 1);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(column(th, BROWSE_1, 1),
              strings({"Архив", "Гражданское право", "Пустая тема", "Трудовое право"}));
    EXPECT_EQ(names(th), strings({"Архив и документооборот"}));
    // The locator follows the clicked column.
    typeInto(th, BROWSE_1, QStringLiteral("г"));
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Гражданское право\n"));
    EXPECT_EQ(names(th), strings({"Договоры и сделки", "Защита прав потребителей"}));
    clickRow(th, BROWSE_1, 4);
    clickHeader(th, LIST, 1);
    pressKey(th, LIST, Key::Home);
    EXPECT_EQ(names(th), strings({"Охрана труда", "Трудовые отношения"}));
    // The base list's sort holds for the bases of another topic too.
    clickRow(th, BROWSE_1, 2);
    EXPECT_EQ(names(th), strings({"Договоры и сделки", "Защита прав потребителей"}));
    clickHeader(th, LIST, 1);  // reversed
    pressKey(th, LIST, Key::Home);
    EXPECT_EQ(names(th), strings({"Защита прав потребителей", "Договоры и сделки"}));
    closeTopics(th);

    // Opened again: the key orders.
    th = openTopics();
    EXPECT_EQ(column(th, BROWSE_1, 3), strings({"1", "2", "3", "4"}));
    EXPECT_EQ(names(th), strings({"Трудовые отношения", "Охрана труда"}));
    closeTopics(th);
}

TEST(TopicList, TheBaseButtonsEditTheBasesOfTheTopic) {
    setCatalogue();
    const LONG th = openTopics();
    clickRow(th, BROWSE_1, 4);
    click(th, kaldo007::INSERT);
    ASSERT_EQ(title(th), QStringLiteral("Добавить"));
    // A new base belongs to the topic the list shows.
    EXPECT_EQ(text(th, kaldo005::CON_ID), QStringLiteral("4"));
    type(th, kaldo005::CON_PATH, folder(QStringLiteral("novaya")));
    type(th, kaldo005::CON_NAME, QStringLiteral("Новая база"));
    click(th, kaldo005::OK);
    ASSERT_EQ(title(th), kTitle);
    EXPECT_EQ(names(th), strings({"Новая база"}));
    EXPECT_EQ(tema(), QStringLiteral("Новая база"));
    EXPECT_EQ(topicsOfBases()[6], 4);

    // Enter in the base list edits the base (the window's default button is
    // the topic list's).
    pressKey(th, LIST, Key::Enter);
    ASSERT_EQ(title(th), QStringLiteral("Изменить"));
    EXPECT_EQ(text(th, kaldo005::CON_NAME), QStringLiteral("Новая база"));
    type(th, kaldo005::CON_NAME, QStringLiteral("Переименованная"));
    click(th, kaldo005::OK);
    ASSERT_EQ(title(th), kTitle);
    EXPECT_EQ(names(th), strings({"Переименованная"}));

    click(th, kaldo007::DELETE, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_TRUE(waitFor([th] { return names(th).isEmpty(); }));
    waitIdle(th);
    EXPECT_EQ(topicsOfBases().count(6), 0u);
    closeTopics(th);
}

TEST(TopicList, TheRegisterButtonStartsTheReportOnItsOwnThread) {
    setCatalogue();
    QDir(rt::driveFolder(u'C')).mkpath(QStringLiteral("bases/trud"));
    const LONG th = openTopics();
    click(th, BUTTON8);
    // The register of the active base, on a thread of its own.
    const int report = waitRegister(th);
    ASSERT_NE(report, 0);
    EXPECT_TRUE(windowEnabled(th));  // the window stays usable
    clickRow(th, LIST, 2);
    EXPECT_EQ(tema(), QStringLiteral("Охрана труда"));
    EXPECT_TRUE(closeRegister(report));
    closeTopics(th);
}

// ---- the topic form -----------------------------------------------------------------

TEST(TopicForm, ChangeSavesTheNamesAndKeepsTheRating) {
    setCatalogue();
    const LONG th = openTopics();
    clickRow(th, BROWSE_1, 2);
    click(th, CHANGE_3);
    ASSERT_EQ(title(th), kFormTitle);  // the action is not in the title
    EXPECT_EQ(text(th, kaldo008::RUB_KOD), QStringLiteral("2"));
    EXPECT_EQ(text(th, kaldo008::RUB_NAME1), QStringLiteral("Гражданское право"));
    EXPECT_EQ(text(th, kaldo008::RUB_NAME2), QString());
    EXPECT_EQ(tip(th, kaldo008::RUB_NAME1), QStringLiteral("Наименвание темы"));
    type(th, kaldo008::RUB_NAME2, QStringLiteral("и договоры"));
    click(th, kaldo008::OK);
    ASSERT_EQ(title(th), kTitle);
    EXPECT_EQ(column(th, BROWSE_1, 2).at(1), QStringLiteral("и договоры"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 2);
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Гражданское право\nи договоры"));
    ASSERT_TRUE(readTopic(2));
    EXPECT_EQ(RUB.NAME2.clip(), QStringLiteral("и договоры"));
    EXPECT_EQ(RUB.RTG, 3);
    closeTopics(th);
}

TEST(TopicForm, ANewCodeIsCarriedToTheTopicsBases) {
    setCatalogue();
    const LONG th = openTopics();
    clickRow(th, BROWSE_1, 2);
    click(th, CHANGE_3);
    ASSERT_EQ(title(th), kFormTitle);
    type(th, kaldo008::RUB_KOD, QStringLiteral("20"));
    click(th, kaldo008::OK);
    ASSERT_EQ(title(th), kTitle);
    std::map<int, int> topics = topicsOfBases();
    EXPECT_EQ(topics[3], 20);
    EXPECT_EQ(topics[4], 20);
    EXPECT_EQ(topics[1], 1);
    EXPECT_EQ(topics[5], 3);
    // The topic went to the end of the code order with its bases.
    EXPECT_EQ(column(th, BROWSE_1, 3), strings({"1", "3", "4", "20"}));
    EXPECT_EQ(currentRow(th, BROWSE_1), 4);
    EXPECT_EQ(names(th), strings({"Договоры и сделки", "Защита прав потребителей"}));
    EXPECT_EQ(column(th, LIST, 4), strings({"20", "20"}));
    closeTopics(th);
}

TEST(TopicForm, ATopicWithBasesIsNotDeletedOneWithoutIs) {
    setCatalogue();
    const LONG th = openTopics();
    // The topic list's own keys delete nothing; its button does.
    pressKey(th, BROWSE_1, Key::Delete);
    EXPECT_FALSE(waitDialog(th, 300));
    click(th, DELETE_3, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(title(th), kTitle);  // no form window
    answerMessage(th, BUTTON::Yes);
    // Refused by the relation, and said so.
    ASSERT_TRUE(waitDialog(th));
    EXPECT_TRUE(messageText(th).contains(QStringLiteral("cannot be deleted")))
        << messageText(th).toStdString();
    answerMessage(th, BUTTON::Ok);
    waitIdle(th);
    EXPECT_TRUE(readTopic(1));
    EXPECT_EQ(topicsOfBases().size(), 5u);
    EXPECT_EQ(column(th, BROWSE_1, 3), strings({"1", "2", "3", "4"}));
    EXPECT_EQ(names(th), strings({"Трудовые отношения", "Охрана труда"}));

    clickRow(th, BROWSE_1, 4);
    click(th, DELETE_3, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_TRUE(waitFor([th] { return column(th, BROWSE_1, 3) == strings({"1", "2", "3"}); }));
    waitIdle(th);
    EXPECT_FALSE(readTopic(4));
    EXPECT_EQ(topicsOfBases().size(), 5u);
    closeTopics(th);
}

TEST(TopicForm, TheLastTopicDeletedLeavesNoTipOfIt) {
    setCatalogue({}, {{7, QStringLiteral("Единственная"), QStringLiteral("тема"), 0}});
    const LONG th = openTopics();
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Единственная\nтема"));
    click(th, DELETE_3, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_TRUE(waitFor([th] { return column(th, BROWSE_1, 3).isEmpty(); }));
    waitIdle(th);
    EXPECT_FALSE(readTopic(7));
    EXPECT_EQ(tip(th, BROWSE_1), QString());
    closeTopics(th);
}

TEST(TopicForm, InsertNumbersTheTopicWhichStaysCurrentWithNoBases) {
    setCatalogue();
    const LONG th = openTopics();
    click(th, INSERT_3);
    ASSERT_EQ(title(th), kFormTitle);
    EXPECT_EQ(text(th, kaldo008::RUB_KOD), QStringLiteral("5"));
    EXPECT_EQ(text(th, kaldo008::RUB_NAME1), QString());
    type(th, kaldo008::RUB_NAME1, QStringLiteral("Налоги"));
    click(th, kaldo008::OK);  // the second line left empty: written as it is
    ASSERT_EQ(title(th), kTitle);
    EXPECT_EQ(column(th, BROWSE_1, 3).last(), QStringLiteral("5"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 5);
    EXPECT_TRUE(names(th).isEmpty());
    ASSERT_TRUE(readTopic(5));
    EXPECT_EQ(RUB.NAME1.clip(), QStringLiteral("Налоги"));
    EXPECT_EQ(RUB.NAME2.clip(), QString());
    EXPECT_EQ(RUB.RTG, 0);
    closeTopics(th);

    // Called with a record that carries a rating, the form inserts it with it.
    const LONG form = START([] {
        Relate_RUBRIKA->Open();
        RUBRIKA.clearRecord();
        RUB.RTG = 7;
        GlobalRequest = InsertRecord;
        UpDateRub();
        Relate_RUBRIKA->Close();
    });
    ASSERT_TRUE(waitWindow(form));
    EXPECT_EQ(text(form, kaldo008::RUB_KOD), QStringLiteral("6"));
    type(form, kaldo008::RUB_NAME1, QStringLiteral("Оценённая тема"));
    click(form, kaldo008::OK);
    ASSERT_TRUE(rt::waitThreadEnd(form, kWait));
    ASSERT_TRUE(readTopic(6));
    EXPECT_EQ(RUB.NAME1.clip(), QStringLiteral("Оценённая тема"));
    EXPECT_EQ(RUB.RTG, 7);
}

TEST(TopicForm, AViewOnlyKeepsItsTitleRefusesTypingAndAnswersCancelled) {
    setCatalogue();
    std::atomic<int> response{-1};
    const LONG th = START([&response] {
        Relate_RUBRIKA->Open();
        RUB.KOD = 3;
        Access_RUBRIKA->Fetch(RUB_K1);
        GlobalRequest = ViewRecord;
        UpDateRub();
        response = GlobalResponse;
        Relate_RUBRIKA->Close();
    });
    ASSERT_TRUE(waitWindow(th));
    EXPECT_EQ(title(th), kFormTitle);
    EXPECT_EQ(text(th, kaldo008::RUB_NAME1), QStringLiteral("Архив"));
    for (int c : {kaldo008::RUB_KOD, kaldo008::RUB_NAME1, kaldo008::RUB_NAME2}) {
        const QString was = text(th, c);
        type(th, c, QStringLiteral("9"));
        EXPECT_EQ(text(th, c), was) << c;
    }
    EXPECT_TRUE(enabled(th, kaldo008::OK));
    EXPECT_TRUE(enabled(th, kaldo008::CANCEL));
    click(th, kaldo008::OK);  // "Сохранить" only closes
    ASSERT_TRUE(rt::waitThreadEnd(th, kWait));
    EXPECT_EQ(response.load(), int(RequestCancelled));
    ASSERT_TRUE(readTopic(3));
    EXPECT_EQ(RUB.NAME1.clip(), QStringLiteral("Архив"));
    EXPECT_EQ(RUB.NAME2.clip(), QStringLiteral("документы"));
}

TEST(TopicForm, CtrlHPutsBackWhatWasLastSavedOnTheThread) {
    setCatalogue();
    const LONG th = openTopics();
    const int ctrlH = Key::Ctrl + Key::letter('H');
    click(th, CHANGE_3);
    pressKey(th, kaldo008::RUB_NAME1, ctrlH);  // nothing saved yet on this thread
    EXPECT_EQ(text(th, kaldo008::RUB_NAME1), QString());
    type(th, kaldo008::RUB_NAME1, QStringLiteral("Сохранённая тема"));
    click(th, kaldo008::OK);
    ASSERT_EQ(title(th), kTitle);
    clickRow(th, BROWSE_1, 3);
    click(th, CHANGE_3);
    EXPECT_EQ(text(th, kaldo008::RUB_NAME1), QStringLiteral("Архив"));
    pressKey(th, kaldo008::RUB_NAME1, ctrlH);
    EXPECT_EQ(text(th, kaldo008::RUB_NAME1), QStringLiteral("Сохранённая тема"));
    pressKey(th, kaldo008::RUB_NAME2, ctrlH);
    EXPECT_EQ(text(th, kaldo008::RUB_NAME2), QStringLiteral("и охрана труда"));
    click(th, kaldo008::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));  // changed: leave it?
    answerMessage(th, BUTTON::Yes);
    ASSERT_TRUE(waitFor([th] { return title(th) == kTitle; }));
    waitIdle(th);
    ASSERT_TRUE(readTopic(3));
    EXPECT_EQ(RUB.NAME1.clip(), QStringLiteral("Архив"));
    closeTopics(th);
}

int main(int argc, char** argv) {
    return cattest::runTests(argc, argv);
}
