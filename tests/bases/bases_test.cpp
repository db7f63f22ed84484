// The active base, the base list and the base form, driven as a user drives
// them in a running program (the windows run on threads of their own; the
// tests on thread 1).

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QPushButton>
#include <thread>

#include "app/globals.h"
#include "app/procedures.h"
#include "bases.h"
#include "catalogue.h"
#include "controls/kaldo004.h"
#include "controls/kaldo005.h"
#include "core/paths.h"
#include "dictionary.h"
#include "listdriver.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"
#include "window_steps.h"
#include "windowmanager.h"

using namespace uitest;
using namespace listtest;
using namespace cattest;

namespace {

// Controls of the base list and of the base form. SPINRTF, PUT and KOLDOC
// are also process-wide variables: those are written ::SPINRTF, ...
using namespace kaldo004;
using namespace kaldo005;

const QString kListTitle = QStringLiteral("Рубрикатор подтем [выбор БД]");

const std::vector<Base> kBases = {
    {3, 1, folder(QStringLiteral("dogovor")), QStringLiteral("Договоры и сделки"), 1},
    {1, 1, folder(QStringLiteral("trud")), QStringLiteral("Трудовые отношения"), 1},
    {2, 1, folder(QStringLiteral("ohrana")), QStringLiteral("Охрана труда"), 0},
    {5, 3, folder(QStringLiteral("arhiv")), QStringLiteral("Архив и документооборот"), 1},
    {4, 2, folder(QStringLiteral("potreb")), QStringLiteral("Защита прав потребителей"), 2},
};

LONG openList() {
    return startProcedure(BrowseBD, 25000);
}

void closeList(LONG th) {
    closeProcedure(th);
}

QString put() {
    return ::PUT.get().clip();
}

}  // namespace

// ---- the active base ------------------------------------------------------------

TEST(ActiveBase, TheFolderWithItsSeparatorNamesTheTables) {
    CON.PATH = "c:\\kaldor_demo\\trud\\";
    CON.NAME = "Трудовые отношения   ";
    SetActiveBase();
    EXPECT_EQ(PUT1.get().clip(), QStringLiteral("c:\\kaldor_demo\\trud\\KALDOR.TPS"));
    EXPECT_EQ(PUT2.get().clip(), QStringLiteral("c:\\kaldor_demo\\trud\\ZAMETKA.TPS"));
    EXPECT_EQ(put(), QStringLiteral("c:\\kaldor_demo\\trud\\"));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Трудовые отношения"));
    SetActiveBase();  // the same row again: the same values
    EXPECT_EQ(PUT1.get().clip(), QStringLiteral("c:\\kaldor_demo\\trud\\KALDOR.TPS"));

    // Without the separator the file names stick to the folder's last name.
    CON.PATH = "c:\\kaldor_demo\\trud";
    SetActiveBase();
    EXPECT_EQ(PUT1.get().clip(), QStringLiteral("c:\\kaldor_demo\\trudKALDOR.TPS"));
    EXPECT_EQ(PUT2.get().clip(), QStringLiteral("c:\\kaldor_demo\\trudZAMETKA.TPS"));
}

TEST(ActiveBase, ALongFolderCutsTheFileNamesAt128) {
    const QString longFolder = QStringLiteral("c:\\") + QString(116, u'п') + u'\\';
    ASSERT_EQ(longFolder.size(), 120);
    CON.PATH = longFolder;
    CON.NAME = "Длинный путь";
    SetActiveBase();
    EXPECT_EQ(put(), longFolder);
    EXPECT_EQ(PUT1.get().view().size(), 128);
    EXPECT_EQ(PUT1.get().str(), longFolder + QStringLiteral("KALDOR.T"));
    EXPECT_EQ(PUT2.get().str(), longFolder + QStringLiteral("ZAMETKA."));
    // 118 characters still give a whole name.
    CON.PATH = longFolder.left(117) + u'\\';
    SetActiveBase();
    EXPECT_TRUE(PUT1.get().clip().endsWith(QStringLiteral("KALDOR.TPS")));
}

TEST(ActiveBase, AThreadKeepsTheTablesItOpenedAndANewOneFollowsTheChoice) {
    QDir(rt::driveFolder(u'C')).mkpath(QStringLiteral("bases/one"));
    QDir(rt::driveFolder(u'C')).mkpath(QStringLiteral("bases/two"));
    CON.PATH = folder(QStringLiteral("one"));
    CON.NAME = "Первая";
    SetActiveBase();
    std::atomic<int> stage{0};
    QString before, after;
    std::thread list([&] {
        rt::ThreadScope t;
        Relate_KALDOR->Open();
        RECORDS(KALDOR);
        before = KALDOR.openPath();
        stage = 1;
        waitFor([&] { return stage.load() == 2; });
        RECORDS(KALDOR);
        after = KALDOR.openPath();
        Relate_KALDOR->Close();
    });
    waitFor([&] { return stage.load() == 1; });
    // Another base chosen: nothing is reported, no file is made yet.
    CON.PATH = folder(QStringLiteral("two"));
    CON.NAME = "Вторая";
    SetActiveBase();
    EXPECT_FALSE(QFileInfo::exists(rt::nativePath(folder(QStringLiteral("two")) + "KALDOR.TPS")));
    stage = 2;
    list.join();
    EXPECT_EQ(before, after);
    EXPECT_TRUE(after.endsWith(QStringLiteral("/one/KALDOR.TPS")));
    QString later;
    std::thread next([&] {
        rt::ThreadScope t;
        Relate_KALDOR->Open();
        EXPECT_EQ(RECORDS(KALDOR), 0);  // made empty at its first use
        later = KALDOR.openPath();
        Relate_KALDOR->Close();
    });
    next.join();
    EXPECT_TRUE(later.endsWith(QStringLiteral("/two/KALDOR.TPS")));
}

// ---- the base list ----------------------------------------------------------------

TEST(BaseList, ShowsTheBasesByCodeAndEveryRowChosenIsTheActiveBase) {
    setCatalogue(kBases);
    const LONG th = openList();
    EXPECT_EQ(title(th), kListTitle);
    EXPECT_EQ(column(th, BROWSE_1, 4),
              (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                           QStringLiteral("4"), QStringLiteral("5")}));
    EXPECT_EQ(text(th, STRING1), QStringLiteral("Пуь к БД:"));
    EXPECT_EQ(text(th, KOLDOC_PROMPT), QStringLiteral("Всего рубрик:"));
    // The list told the window of its first row: it is the active base.
    EXPECT_EQ(put(), folder(QStringLiteral("trud")));
    EXPECT_EQ(text(th, kaldo004::PUT), folder(QStringLiteral("trud")));
    EXPECT_EQ(text(th, kaldo004::KOLDOC), QStringLiteral("5"));
    // Six digits with the group space.
    EXPECT_TRUE(fitsWhole(th, kaldo004::KOLDOC, QStringLiteral("100 000")));
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Трудовые отношения"));

    clickRow(th, BROWSE_1, 3);
    EXPECT_EQ(put(), folder(QStringLiteral("dogovor")));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Договоры и сделки"));
    EXPECT_EQ(PUT1.get().clip(), folder(QStringLiteral("dogovor")) + QStringLiteral("KALDOR.TPS"));
    EXPECT_EQ(tip(th, BROWSE_1), QStringLiteral("Договоры и сделки"));
    EXPECT_EQ(text(th, kaldo004::PUT), folder(QStringLiteral("dogovor")));
    // The keys too: the row arrived at, never the row left.
    pressKey(th, BROWSE_1, Key::Down);
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Защита прав потребителей"));
    pressKey(th, BROWSE_1, Key::Up);
    pressKey(th, BROWSE_1, Key::Up);
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Охрана труда"));  // off, but active
    EXPECT_TRUE(visible(th, BROWSE_1));

    // The connect button closes the window; the base stays active.
    click(th, BUTTON8);
    EXPECT_TRUE(rt::waitThreadEnd(th, kWait));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Охрана труда"));
}

TEST(BaseList, ABaseThatIsOffIsBoldAndSilver) {
    setCatalogue(kBases);
    const LONG th = openList();
    struct Seen {
        int style2 = -1, style4 = -1, icon1 = -1;
        bool bold = false;
        QColor text, selected;
    };
    const Seen s = onGui([th] {
        Seen r;
        lst::ListWidget* l = listWidget(th, BROWSE_1);
        const lst::Rows& rows = *l->rows();
        r.icon1 = rows[0][1].icon;
        r.style2 = rows[1][1].style;  // "Охрана труда", flag 0
        r.style4 = rows[3][1].style;  // flag 2
        r.bold = l->styleFont(1).bold();
        r.text = l->styleColor(1, lst::PROPSTYLE::TextColor);
        r.selected = l->styleColor(1, lst::PROPSTYLE::TextSelected);
        return r;
    });
    EXPECT_EQ(s.icon1, 1);
    EXPECT_EQ(s.style2, 1);
    EXPECT_EQ(s.style4, 0);
    EXPECT_TRUE(s.bold);
    EXPECT_EQ(s.text, QColor(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(s.selected, QColor(0xC0, 0xC0, 0xC0));
    closeList(th);
}

TEST(BaseList, TheSpinBoxSetsTheListFontAndFitsTheColumns) {
    setCatalogue(kBases);
    ::SPINRTF = 8;
    const LONG th = openList();
    const auto width = [th] {
        return onGui(
            [th] { return listWidget(th, BROWSE_1)->table()->horizontalHeader()->sectionSize(1); });
    };
    const int before = width();
    spinTo(th, kaldo004::SPINRTF, 12);
    waitIdle(th);
    EXPECT_EQ(::SPINRTF.get().toInt(), 12);
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 12);
    EXPECT_NE(width(), before);  // refitted to the names
    clickRow(th, BROWSE_1, 2);   // the next event of the list keeps the size
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 12);
    spinTo(th, kaldo004::SPINRTF, 14);  // beyond the range
    EXPECT_EQ(::SPINRTF.get().toInt(), 12);
    spinTo(th, kaldo004::SPINRTF, 6);
    EXPECT_EQ(font(th, BROWSE_1).pointSize(), 6);
    spinTo(th, kaldo004::SPINRTF, 8);
    closeList(th);
}

TEST(BaseList, AHeaderSortLastsUntilClearedOrTheWindowCloses) {
    setCatalogue(kBases);
    LONG th = openList();
    // The list is wider than its window: it stays where the user scrolled it
    // sideways. A click into the wide name keeps "Рейтинг" in sight, a header
    // click keeps the columns the user scrolled to.
    EXPECT_EQ(sideways(th, BROWSE_1), 0);
    clickCell(th, BROWSE_1, 2, 2);
    EXPECT_EQ(sideways(th, BROWSE_1), 0);
    scrollSideways(th, BROWSE_1, 90);
    ASSERT_EQ(sideways(th, BROWSE_1), 90);
    clickHeader(th, BROWSE_1, 3);
    clickCell(th, BROWSE_1, 3, 3);
    EXPECT_EQ(currentRow(th, BROWSE_1), 3);
    EXPECT_EQ(sideways(th, BROWSE_1), 90);
    pressKey(th, BROWSE_1, Key::Left);  // the user's own move
    EXPECT_LT(sideways(th, BROWSE_1), 90);
    clickHeader(th, BROWSE_1, 3);
    clickHeader(th, BROWSE_1, 3);  // cleared again
    scrollSideways(th, BROWSE_1, 0);
    clickHeader(th, BROWSE_1, 2);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(column(th, BROWSE_1, 2).first(), QStringLiteral("Архив и документооборот"));
    EXPECT_EQ(column(th, BROWSE_1, 2).last(), QStringLiteral("Трудовые отношения"));
    // The locator searches the clicked column.
    typeInto(th, BROWSE_1, QStringLiteral("з"));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Защита прав потребителей"));
    clickHeader(th, BROWSE_1, 2);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(column(th, BROWSE_1, 2).first(), QStringLiteral("Трудовые отношения"));
    // The third click clears it: the order by code, the locator on the code.
    clickHeader(th, BROWSE_1, 2);
    pressKey(th, BROWSE_1, Key::Home);
    EXPECT_EQ(column(th, BROWSE_1, 4).first(), QStringLiteral("1"));
    typeInto(th, BROWSE_1, QStringLiteral("4"));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Защита прав потребителей"));
    // A sort left in force is gone when the window opens again.
    clickHeader(th, BROWSE_1, 2);
    closeList(th);
    th = openList();
    EXPECT_EQ(column(th, BROWSE_1, 4).first(), QStringLiteral("1"));
    EXPECT_EQ(column(th, BROWSE_1, 4).last(), QStringLiteral("5"));
    closeList(th);
}

TEST(BaseList, AnEmptyCatalogueLeavesTheActiveBase) {
    setCatalogue(kBases);
    CON.PATH = "c:\\before\\";
    CON.NAME = "Прежняя";
    SetActiveBase();
    setCatalogue({});
    const LONG th = openList();
    EXPECT_TRUE(column(th, BROWSE_1, 1).isEmpty());
    clickMouse(th, BROWSE_1, Key::MouseLeft);
    EXPECT_EQ(put(), QStringLiteral("c:\\before\\"));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Прежняя"));
    EXPECT_EQ(text(th, kaldo004::KOLDOC), QString());  // no rows: "@n_7b" shows nothing
    closeList(th);
}

TEST(BaseList, TheRegisterButtonStartsTheReportOnItsOwnThread) {
    setCatalogue(kBases);
    QDir(rt::driveFolder(u'C')).mkpath(QStringLiteral("bases/trud"));
    const LONG th = openList();
    click(th, BUTTON6);
    // The register of the active base, on a thread of its own.
    const int report = waitRegister(th);
    ASSERT_NE(report, 0);
    EXPECT_TRUE(windowEnabled(th));  // the list stays usable
    clickRow(th, BROWSE_1, 2);
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Охрана труда"));
    EXPECT_TRUE(closeRegister(report));
    closeList(th);
}

// ---- the base form ------------------------------------------------------------------

TEST(BaseForm, ChangeShowsTheBaseAndSavesIt) {
    setCatalogue(kBases);
    const LONG th = openList();
    clickRow(th, BROWSE_1, 2);
    click(th, CHANGE_4);
    ASSERT_EQ(title(th), QStringLiteral("Изменить"));
    EXPECT_EQ(text(th, CON_KOD), QStringLiteral("2"));
    EXPECT_EQ(text(th, CON_NAME), QStringLiteral("Охрана труда"));
    EXPECT_EQ(text(th, CON_PATH), folder(QStringLiteral("ohrana")));
    EXPECT_TRUE(enabled(th, BUTTON3));
    type(th, CON_NAME, QStringLiteral("Охрана труда и здоровья"));
    click(th, kaldo005::OK);
    ASSERT_EQ(title(th), kListTitle);
    EXPECT_EQ(column(th, BROWSE_1, 2).at(1), QStringLiteral("Охрана труда и здоровья"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 2);
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Охрана труда и здоровья"));
    ASSERT_TRUE(readBase(2));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Охрана труда и здоровья"));
    EXPECT_EQ(CON.ON_OFF, 0);  // kept as it was
    // A base that is on stays on.
    clickRow(th, BROWSE_1, 1);
    click(th, CHANGE_4);
    ASSERT_EQ(text(th, CON_KOD), QStringLiteral("1"));
    type(th, CON_RTG, QStringLiteral("40"));
    click(th, kaldo005::OK);
    ASSERT_TRUE(readBase(1));
    EXPECT_EQ(CON.RTG, 40);
    EXPECT_EQ(CON.ON_OFF, 1);
    closeList(th);
}

TEST(BaseForm, EnterInTheListPressesTheChangeButton) {
    setCatalogue(kBases);
    const LONG th = openList();
    clickRow(th, BROWSE_1, 4);
    doubleClickRow(th, BROWSE_1, 4);  // the list's own keys and clicks edit nothing
    EXPECT_EQ(title(th), kListTitle);
    pressKey(th, BROWSE_1, Key::Enter);
    ASSERT_EQ(title(th), QStringLiteral("Изменить"));
    EXPECT_EQ(text(th, CON_NAME), QStringLiteral("Защита прав потребителей"));
    click(th, kaldo005::CANCEL);
    EXPECT_EQ(title(th), kListTitle);
    closeList(th);
}

TEST(BaseForm, InsertNumbersTheNewBaseWhichStaysCurrent) {
    setCatalogue(kBases);
    const LONG th = openList();
    click(th, INSERT_4);
    ASSERT_EQ(title(th), QStringLiteral("Добавить"));
    EXPECT_EQ(text(th, CON_KOD), QStringLiteral("6"));
    EXPECT_EQ(text(th, CON_NAME), QString());
    type(th, CON_PATH, folder(QStringLiteral("novaya")));
    type(th, CON_NAME, QStringLiteral("Новая база"));
    type(th, CON_ID, QStringLiteral("77"));  // no such topic: written as typed
    click(th, kaldo005::OK);
    ASSERT_EQ(title(th), kListTitle);
    EXPECT_EQ(column(th, BROWSE_1, 4).last(), QStringLiteral("6"));
    EXPECT_EQ(currentRow(th, BROWSE_1), 6);
    EXPECT_EQ(put(), folder(QStringLiteral("novaya")));
    ASSERT_TRUE(readBase(6));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Новая база"));
    EXPECT_EQ(CON.ID.toInt(), 77);
    EXPECT_EQ(CON.ON_OFF, 0);  // the blank record's flag: the form has no way to set it
    closeList(th);

    // Called with a record whose flag is set, the form inserts it set.
    const LONG form = START([] {
        Relate_CONFIG->Open();
        CONFIG.clearRecord();
        CON.ON_OFF = 1;
        GlobalRequest = InsertRecord;
        UpDateBD();
        Relate_CONFIG->Close();
    });
    ASSERT_TRUE(waitWindow(form));
    EXPECT_EQ(text(form, CON_KOD), QStringLiteral("7"));
    type(form, CON_NAME, QStringLiteral("Включённая база"));
    click(form, kaldo005::OK);
    ASSERT_TRUE(rt::waitThreadEnd(form, kWait));
    ASSERT_TRUE(readBase(7));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Включённая база"));
    EXPECT_EQ(CON.ON_OFF, 1);
}

TEST(BaseForm, DeleteAsksAndNeverShowsTheForm) {
    setCatalogue(kBases);
    const LONG th = openList();
    clickRow(th, BROWSE_1, 3);
    click(th, DELETE_4, 100);
    ASSERT_TRUE(waitDialog(th));
    EXPECT_EQ(title(th), kListTitle);  // no form window
    answerMessage(th, BUTTON::No);
    waitIdle(th);
    EXPECT_EQ(baseCount(), 5);
    click(th, DELETE_4, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    // The thread goes on after the box is gone: wait for what the answer does.
    const QStringList left{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("4"),
                           QStringLiteral("5")};
    EXPECT_TRUE(waitFor([&] { return column(th, BROWSE_1, 4) == left; }));
    waitIdle(th);
    EXPECT_EQ(baseCount(), 4);
    EXPECT_FALSE(readBase(3));
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Защита прав потребителей"));
    closeList(th);
}

TEST(BaseForm, AViewOnlyShowsAndAnswersCancelled) {
    setCatalogue(kBases);
    std::atomic<int> response{-1};
    const LONG th = START([&response] {
        Relate_CONFIG->Open();
        CON.KOD = 4;
        Access_CONFIG->Fetch(CON_K1);
        GlobalRequest = ViewRecord;
        UpDateBD();
        response = GlobalResponse;
        Relate_CONFIG->Close();
    });
    ASSERT_TRUE(waitWindow(th));
    EXPECT_EQ(title(th), QStringLiteral("Просмотреть"));
    EXPECT_FALSE(enabled(th, BUTTON3));
    for (int c : {CON_KOD, CON_ID, CON_PATH, CON_NAME, CON_RTG}) {
        const QString was = text(th, c);
        type(th, c, QStringLiteral("9"));
        EXPECT_EQ(text(th, c), was) << c;
    }
    click(th, kaldo005::OK);  // "Сохранить" only closes
    ASSERT_TRUE(rt::waitThreadEnd(th, kWait));
    EXPECT_EQ(response.load(), int(RequestCancelled));
    ASSERT_TRUE(readBase(4));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Защита прав потребителей"));
}

// The folder dialog speaks Russian, and a folder on drive C comes back as the
// program names it.
TEST(BaseForm, TypedTextSurvivesTheFolderDialog) {
    setCatalogue(kBases);
    const QString chosen = sandbox().path() + QStringLiteral("/c/kaldor_demo/new");
    const QString named = QStringLiteral("c:\\kaldor_demo\\new\\");
    QDir().mkpath(chosen);
    const LONG th = openList();
    click(th, CHANGE_4);
    type(th, CON_NAME, QStringLiteral("Набрано до выбора"), false);
    click(th, BUTTON3, 100);
    ASSERT_TRUE(waitDialog(th));
    const QStringList buttons = onGui([th] {
        QStringList out;
        for (QWidget* d : rt::gui::dialogs(th)) {
            for (auto* b : d->findChildren<QPushButton*>())
                out << b->text();
        }
        return out;
    });
    EXPECT_TRUE(buttons.contains(QStringLiteral("Отмена"))) << buttons.join(u' ').toStdString();
    // Its folders are "Папка", dated dd.mm.yyyy.
    QStringList shown;
    waitFor([&] {
        shown = onGui([th, chosen] {
            QStringList out;
            for (QWidget* d : rt::gui::dialogs(th)) {
                auto* f = qobject_cast<QFileDialog*>(d);
                if (f && f->directory() != QFileInfo(chosen).dir())
                    f->setDirectory(QFileInfo(chosen).path());  // where "new" is listed
                if (auto* m = d->findChild<QFileSystemModel*>()) {
                    const QModelIndex i = m->index(chosen);
                    out << m->type(i) << m->index(chosen, 3).data().toString();
                }
            }
            return out;
        });
        return shown.size() == 2 && !shown[1].isEmpty();
    });
    ASSERT_EQ(shown.size(), 2);
    EXPECT_EQ(shown[0], QStringLiteral("Папка"));
    EXPECT_TRUE(shown[1].startsWith(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))))
        << shown[1].toStdString();
    answerFileDialog(th, QString());  // cancelled
    EXPECT_EQ(text(th, CON_NAME), QStringLiteral("Набрано до выбора"));
    EXPECT_EQ(text(th, CON_PATH), folder(QStringLiteral("trud")));
    click(th, BUTTON3, 100);
    ASSERT_TRUE(waitDialog(th));
    answerFileDialog(th, chosen);
    EXPECT_EQ(text(th, CON_NAME), QStringLiteral("Набрано до выбора"));
    EXPECT_EQ(text(th, CON_PATH), named);
    EXPECT_EQ(rt::currentFolder(), chosen + u'/');  // where the temporary texts go
    click(th, kaldo005::OK);
    ASSERT_TRUE(readBase(1));
    EXPECT_EQ(CON.PATH.clip(), named);
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Набрано до выбора"));
    EXPECT_EQ(PUT1.get().clip(), named + QStringLiteral("KALDOR.TPS"));
    closeList(th);
}

TEST(BaseForm, AFolderLongerThan255CharactersIsCut) {
    setCatalogue(kBases);
    QString deep = sandbox().path();
    while (deep.size() < 300)
        deep += QStringLiteral("/очень_длинное_имя_папки");
    ASSERT_TRUE(QDir().mkpath(deep));
    const LONG th = openList();
    click(th, CHANGE_4);
    click(th, BUTTON3, 100);
    ASSERT_TRUE(waitDialog(th));
    answerFileDialog(th, deep);
    EXPECT_EQ(text(th, CON_PATH), (deep + u'/').left(255));
    click(th, kaldo005::OK);
    ASSERT_TRUE(readBase(1));
    EXPECT_EQ(CON.PATH.str(), (deep + u'/').left(255));
    closeList(th);
}

TEST(BaseForm, CtrlHPutsBackWhatWasLastSavedOnTheThread) {
    setCatalogue(kBases);
    const LONG th = openList();
    const int ctrlH = Key::Ctrl + Key::letter('H');
    click(th, CHANGE_4);
    pressKey(th, CON_NAME, ctrlH);  // nothing saved yet on this thread
    EXPECT_EQ(text(th, CON_NAME), QString());
    pressKey(th, CON_KOD, ctrlH);
    EXPECT_EQ(text(th, CON_KOD), QString());
    click(th, kaldo005::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));  // the record was changed: leave it?
    answerMessage(th, BUTTON::Yes);
    ASSERT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    waitIdle(th);
    ASSERT_TRUE(readBase(1));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Трудовые отношения"));

    click(th, CHANGE_4);
    type(th, CON_NAME, QStringLiteral("Сохранённое имя"));
    click(th, kaldo005::OK);
    clickRow(th, BROWSE_1, 2);
    click(th, CHANGE_4);
    EXPECT_EQ(text(th, CON_NAME), QStringLiteral("Охрана труда"));
    pressKey(th, CON_NAME, ctrlH);
    EXPECT_EQ(text(th, CON_NAME), QStringLiteral("Сохранённое имя"));
    pressKey(th, CON_PATH, ctrlH);
    EXPECT_EQ(text(th, CON_PATH), folder(QStringLiteral("trud")));
    click(th, kaldo005::OK);
    ASSERT_TRUE(readBase(2));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Сохранённое имя"));
    closeList(th);
}

TEST(BaseForm, CancellingChangesAsksFirst) {
    setCatalogue(kBases);
    const LONG th = openList();
    click(th, CHANGE_4);
    type(th, CON_NAME, QStringLiteral("Передумал"));
    click(th, kaldo005::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::No);  // stay
    waitIdle(th);
    EXPECT_EQ(title(th), QStringLiteral("Изменить"));
    click(th, kaldo005::CANCEL, 100);
    ASSERT_TRUE(waitDialog(th));
    answerMessage(th, BUTTON::Yes);
    EXPECT_TRUE(waitFor([th] { return title(th) == kListTitle; }));
    waitIdle(th);
    ASSERT_TRUE(readBase(1));
    EXPECT_EQ(CON.NAME.clip(), QStringLiteral("Трудовые отношения"));
    closeList(th);
}

int main(int argc, char** argv) {
    return cattest::runTests(argc, argv);
}
