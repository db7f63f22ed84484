// A clerk's day with the program, end to end: the demo catalogue on a drive C
// of its own, the program started as `kaldor` starts it, and the journeys
// walked through the real windows as the clerk walks them - a topic and a base
// chosen, the document list opened from the frame's menu, a card and its text
// edited, a bookmark added and found, a card copied through the buffer into
// another base, the searches used and cleared; then everything closed and the
// program started again on the same drive. Suite Journey runs in the program
// (one process per day); suite Clerk starts those processes.
//
// With KALDOR_JOURNEY_SHOTS set to a folder, the frame is photographed at each
// step (scripts/screenshot-journey runs it under Xvfb).

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextEdit>
#include <QThread>
#include <atomic>
#include <ostream>

#include "app/globals.h"
#include "app/procedures.h"
#include "controls/kaldo001.h"
#include "controls/kaldo007.h"
#include "dictionary.h"
#include "doclist_support.h"
#include "kaldo013.h"
#include "listdriver.h"
#include "listview.h"
#include "program_role.h"
#include "qt_print.h"
#include "query.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"

using namespace uitest;
using apptest::childThreads;
using namespace listtest;
namespace k = kaldo013;

namespace {

// The topic window's two lists.
enum { RUB_TOPICS = kaldo007::BROWSE_1, RUB_BASES = kaldo007::LIST };

const QString kTopicTitle = QStringLiteral("Рубрикатор тем/подтем [выбор БД]");
const QString kTrud = QStringLiteral("c:\\kaldor_demo\\trud\\");
const QString kDogovor = QStringLiteral("c:\\kaldor_demo\\dogovor\\");
const QString kTrudName = QStringLiteral("Трудовые отношения");
const QString kDogovorName = QStringLiteral("Договоры и сделки");
const QString kCardTitle =
    QStringLiteral("Форма редактирования [выделение важных частей документа]");
const QString kZkTitle = QStringLiteral("Форма редактирования закладки");
const QString kNewName = QStringLiteral("Положение о приёме (ред. 2)");
const QString kNote = QStringLiteral("Примечание кадровика: редакция 2. ");
const QString kMarkName = QStringLiteral("Примечание о редакции");
const QString kMarkPassage = QStringLiteral("Примечание кадровика");

// Where the first day leaves the frame and the document list.
const QRect kFramePlace(8, 8, 1260, 780);
const QPoint kListPlace(12, 18);
const QPoint kTopicPlace(40, 30);

std::atomic<bool> gMainReturned{false};
const apptest::ProgramRole kRole{"KALDOR_JOURNEY_PROGRAM", "Journey", &gMainReturned};

QString listTitle(const QString& base) {
    return QStringLiteral("Тема: ") + base;
}

// The thread whose window has this title, once it is idle; 0 when none comes.
int threadTitled(const QString& t) {
    int found = 0;
    waitFor(
        [&] {
            for (int n : childThreads()) {
                if (title(n) == t && waitIdle(n, 200)) {
                    found = n;
                    return true;
                }
            }
            return false;
        },
        20000);
    return found;
}

bool waitTitle(int th, const QString& t) {
    return waitFor([&] { return title(th) == t; }, 10000) && waitIdle(th);
}

// The MDI window of thread th in the frame.
QMdiSubWindow* subWindowOf(int th) {
    rt::GuiWindow* w = rt::gui::topWindow(th);
    QWidget* top = w ? w->top() : nullptr;
    while (top && !qobject_cast<QMdiSubWindow*>(top))
        top = top->parentWidget();
    return qobject_cast<QMdiSubWindow*>(top);
}

// A picture of the frame as the clerk sees it, when pictures are asked for.
void shot(const char* name) {
    const QString dir = qEnvironmentVariable("KALDOR_JOURNEY_SHOTS");
    if (dir.isEmpty())
        return;
    for (int n : childThreads())
        waitIdle(n, 500);
    QThread::msleep(300);
    onGui([&] {
        QDir().mkpath(dir);
        // The screen, with the forms and dialogs beside the frame; offscreen
        // there is no screen to grab, only the frame.
        const QPixmap p = QGuiApplication::platformName() == QStringLiteral("offscreen")
                              ? rt::gui::frame()->grab()
                              : QGuiApplication::primaryScreen()->grabWindow(0);
        p.save(dir + u'/' + QString::fromLatin1(name) + QStringLiteral(".png"));
    });
}

QStringList comboColumn(int th, int col) {
    return listtest::comboColumn(th, k::ZAM_ZAKLAD, col);
}

QString findDialogText(int th) {
    return onGui([th] {
        for (QWidget* w : rt::gui::dialogs(th)) {
            if (!w->objectName().startsWith(u"rtf"))
                continue;
            auto* e = w->findChild<QLineEdit*>(QStringLiteral("findText"));
            return e ? e->text() : QString();
        }
        return QString();
    });
}

void closeFindDialog(int th) {
    onGui([th] {
        for (QWidget* w : rt::gui::dialogs(th)) {
            if (w->objectName().startsWith(u"rtf"))
                qobject_cast<QDialog*>(w)->reject();
        }
    });
    waitIdle(th);
}

void typeIntoEditor(int th, int control, const QString& s) {
    onGui([&] {
        auto* e = qobject_cast<QTextEdit*>(widget(th, control));
        QTextCursor c(e->document());
        c.insertText(s);
    });
    waitIdle(th);
}

QStringList names(int th) {
    return column(th, k::BROWSE_1, 1);
}

// The rows of a list whose first column holds `name`: its 1-based row, 0 none.
int rowNamed(int th, int control, const QString& name) {
    return int(column(th, control, 1).indexOf(name)) + 1;
}

}  // namespace

// ---- the first day -------------------------------------------------------------------

TEST(Journey, FirstDay) {
    ASSERT_TRUE(waitFor([] { return onGui([] { return rt::gui::frame() != nullptr; }); }));
    onGui([] { rt::gui::frame()->setGeometry(kFramePlace); });

    // 1. The frame opens the topic window; the active base follows the cursor.
    const int rub = threadTitled(kTopicTitle);
    ASSERT_NE(rub, 0);
    clickRow(rub, RUB_TOPICS, 1);
    EXPECT_EQ(column(rub, RUB_BASES, 1), QStringList({kTrudName, QStringLiteral("Охрана труда")}));
    clickRow(rub, RUB_BASES, 2);
    EXPECT_EQ(TEMA.get().clip(), QStringLiteral("Охрана труда"));
    clickRow(rub, RUB_BASES, 1);
    EXPECT_EQ(TEMA.get().clip(), kTrudName);
    EXPECT_EQ(PUT.get().clip(), kTrud);
    shot("1-topics");
    chooseMenu(1, kaldo001::BROWSEKALDOR);
    const int trud = threadTitled(listTitle(kTrudName));
    ASSERT_NE(trud, 0);
    const QStringList before = names(trud);
    ASSERT_EQ(before.size(), 3);
    EXPECT_EQ(text(trud, k::KOLDOC), QStringLiteral("3"));
    EXPECT_EQ(onGui([trud] { return int(rt::gui::dialogs(trud).size()); }), 0);
    shot("1-doclist");

    // 2. A card changed in its form: its short name and its document text.
    clickRow(trud, k::BROWSE_1, 1);
    click(trud, k::CHANGE_3);
    ASSERT_TRUE(waitTitle(trud, kCardTitle));
    const int editor = controlOf(trud, QStringLiteral("?RTFTEXTBOX"));
    click(trud, controlOf(trud, QStringLiteral("?BUTTON17")));  // show the text
    const QString original = text(trud, editor);
    EXPECT_FALSE(original.isEmpty());
    typeIntoEditor(trud, editor, kNote);
    click(trud, controlOf(trud, QStringLiteral("?BUTTON6")));  // apply
    shot("2-card-text");
    selectTab(trud, controlOf(trud, QStringLiteral("?CURRENTTAB")), 2);
    const int name = controlOf(trud, QStringLiteral("?KAL:NAME"));
    ASSERT_NE(name, 0);
    EXPECT_EQ(text(trud, name), before.at(0));
    type(trud, name, kNewName);
    shot("2-card-fields");

    // 3. A bookmark added in the card form, on the passage just typed.
    selectTab(trud, controlOf(trud, QStringLiteral("?CURRENTTAB")), 3);
    click(trud, controlOf(trud, QStringLiteral("?INSERT")));
    ASSERT_TRUE(waitTitle(trud, kZkTitle));
    EXPECT_EQ(text(trud, controlOf(trud, QStringLiteral("?ZAM:IDDOK"))), QStringLiteral("1"));
    type(trud, controlOf(trud, QStringLiteral("?ZAM:ZAKLAD")), kMarkName);
    type(trud, controlOf(trud, QStringLiteral("?ZAM:POTEXT")), kMarkPassage);
    shot("3-bookmark-form");
    click(trud, controlOf(trud, QStringLiteral("?OK")));
    ASSERT_TRUE(waitTitle(trud, kCardTitle));
    EXPECT_TRUE(column(trud, controlOf(trud, QStringLiteral("?LIST")), 1).contains(kMarkName));
    click(trud, controlOf(trud, QStringLiteral("?OK")));
    ASSERT_TRUE(waitTitle(trud, listTitle(kTrudName)));
    EXPECT_EQ(names(trud).at(0), kNewName);
    EXPECT_EQ(currentRow(trud, k::BROWSE_1), 1);

    // Opened again: the text as it was saved.
    click(trud, k::CHANGE_3);
    ASSERT_TRUE(waitTitle(trud, kCardTitle));
    click(trud, controlOf(trud, QStringLiteral("?BUTTON17")));
    EXPECT_TRUE(text(trud, editor).startsWith(kNote)) << text(trud, editor).toStdString();
    EXPECT_EQ(text(trud, editor).mid(kNote.size()).simplified(), original.simplified());
    click(trud, controlOf(trud, QStringLiteral("?CANCEL")));
    ASSERT_TRUE(waitTitle(trud, listTitle(kTrudName)));

    // The list's bookmark combo shows it; choosing it finds the passage in
    // the document shown.
    EXPECT_TRUE(comboColumn(trud, 1).contains(kMarkName))
        << comboColumn(trud, 1).join(u'|').toStdString();
    click(trud, k::BUTTON4);
    EXPECT_TRUE(text(trud, k::RTFTEXTBOX).startsWith(kNote))
        << text(trud, k::RTFTEXTBOX).toStdString();
    chooseEntry(trud, k::ZAM_ZAKLAD, int(comboColumn(trud, 1).indexOf(kMarkName)) + 1);
    ASSERT_TRUE(waitDialog(trud));
    EXPECT_EQ(findDialogText(trud), kMarkPassage);
    shot("3-doclist-find");
    closeFindDialog(trud);

    // 4. The card buffer: the card goes from this base into another.
    clickRow(trud, k::BROWSE_1, 1);
    click(trud, k::BUTTON15);
    clickRow(rub, RUB_TOPICS, 2);
    clickRow(rub, RUB_BASES, rowNamed(rub, RUB_BASES, kDogovorName));
    EXPECT_EQ(TEMA.get().clip(), kDogovorName);
    chooseMenu(1, kaldo001::BROWSEKALDOR);
    const int dogovor = threadTitled(listTitle(kDogovorName));
    ASSERT_NE(dogovor, 0);
    EXPECT_EQ(names(dogovor).size(), 2);
    click(dogovor, k::BUTTON15_2);
    EXPECT_TRUE(names(dogovor).contains(kNewName)) << names(dogovor).join(u'|').toStdString();
    EXPECT_EQ(text(dogovor, k::KOLDOC), QStringLiteral("3"));
    shot("4-buffer");
    // The copy carries the edited text.
    clickRow(dogovor, k::BROWSE_1, rowNamed(dogovor, k::BROWSE_1, kNewName));
    click(dogovor, k::BUTTON4);
    EXPECT_TRUE(text(dogovor, k::RTFTEXTBOX).startsWith(kNote));
    // The first base's list is still on its own base.
    EXPECT_EQ(names(trud).size(), 3);

    // 5. Query by example and the fuzzy search; cleared, every card is back.
    const QStringList all = names(dogovor);
    using V = lst::QueryListVisual;
    click(dogovor, k::QUERY);
    ASSERT_TRUE(waitTitle(dogovor, QStringLiteral("Запрос по образцу")));
    shot("5-query");
    const int contains = onGui([dogovor] {
        auto* op = qobject_cast<QComboBox*>(widget(dogovor, V::OpControl(5)));
        return op ? op->findText(lst::queryOpText(lst::QueryOp::Contains)) + 1 : 0;
    });
    ASSERT_GT(contains, 0);
    chooseEntry(dogovor, V::OpControl(5), contains);
    type(dogovor, V::ValueControl(5), QStringLiteral("ред. 2"));
    click(dogovor, V::OkControl(5));
    ASSERT_TRUE(waitTitle(dogovor, listTitle(kDogovorName)));
    EXPECT_EQ(names(dogovor), QStringList{kNewName});
    click(dogovor, k::QUERY);
    ASSERT_TRUE(waitTitle(dogovor, QStringLiteral("Запрос по образцу")));
    click(dogovor, V::ClearControl(5));
    click(dogovor, V::OkControl(5));
    ASSERT_TRUE(waitTitle(dogovor, listTitle(kDogovorName)));
    EXPECT_EQ(names(dogovor), all);

    type(dogovor, k::FUZZYQUERY, QStringLiteral("приём"));
    click(dogovor, k::FUZZYGO);
    EXPECT_EQ(names(dogovor).size(), all.size());
    EXPECT_EQ(names(dogovor).at(0), kNewName);
    shot("5-fuzzy");
    click(dogovor, k::FUZZYCLEAR);
    EXPECT_EQ(names(dogovor), all);
    EXPECT_EQ(text(dogovor, k::FUZZYQUERY), QString());

    // 6. The windows left where the clerk wants them; everything closed. The
    // last document list closed keeps its place for the next.
    POST(EVENT::CloseWindow, 0, dogovor);
    ASSERT_TRUE(rt::waitThreadEnd(dogovor, kWait));
    onGui([trud, rub] {
        subWindowOf(trud)->move(kListPlace);
        subWindowOf(rub)->move(kTopicPlace);
    });
    waitIdle(trud);
    waitIdle(rub);
    POST(EVENT::CloseWindow, 0, 1);
    ASSERT_TRUE(waitFor([] { return gMainReturned.load(); }, 20000));
    EXPECT_EQ(doclist::readBase(kTrud).size(), 3u);
    EXPECT_EQ(doclist::readBase(kDogovor).size(), 3u);
}

// ---- the next day --------------------------------------------------------------------

TEST(Journey, NextDay) {
    ASSERT_TRUE(waitFor([] { return onGui([] { return rt::gui::frame() != nullptr; }); }));
    const int rub = threadTitled(kTopicTitle);
    ASSERT_NE(rub, 0);
    EXPECT_EQ(onGui([rub] { return subWindowOf(rub)->pos(); }), kTopicPlace);
    EXPECT_EQ(onGui([] { return rt::gui::frame()->geometry(); }), kFramePlace);
    doclist::activate(kTrud, kTrudName);
    chooseMenu(1, kaldo001::BROWSEKALDOR);
    const int trud = threadTitled(listTitle(kTrudName));
    ASSERT_NE(trud, 0);
    EXPECT_EQ(onGui([trud] { return subWindowOf(trud)->pos(); }), kListPlace);
    EXPECT_EQ(names(trud).size(), 3);
    EXPECT_EQ(names(trud).at(0), kNewName);
    EXPECT_TRUE(comboColumn(trud, 1).contains(kMarkName));
    const std::vector<doclist::Card> copied = doclist::readBase(kDogovor);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied.back().name, kNewName);
    EXPECT_EQ(copied.back().text, doclist::readBase(kTrud).at(0).text);

    // The copy was one too many: deleted from the other base's list, which
    // and whose count follow at once.
    doclist::activate(kDogovor, kDogovorName);
    chooseMenu(1, kaldo001::BROWSEKALDOR);
    const int dogovor = threadTitled(listTitle(kDogovorName));
    ASSERT_NE(dogovor, 0);
    clickRow(dogovor, k::BROWSE_1, rowNamed(dogovor, k::BROWSE_1, kNewName));
    clickMouse(dogovor, 0, k::kShowUpdateButtons);
    click(dogovor, k::DELETE_3, 100);
    ASSERT_TRUE(waitDialog(dogovor));
    answerMessage(dogovor, BUTTON::Yes);
    ASSERT_TRUE(waitTitle(dogovor, listTitle(kDogovorName)));
    EXPECT_FALSE(names(dogovor).contains(kNewName));
    EXPECT_EQ(names(dogovor).size(), 2);
    EXPECT_EQ(text(dogovor, k::KOLDOC), QStringLiteral("2"));
    EXPECT_EQ(doclist::readBase(kDogovor).size(), 2u);
    EXPECT_EQ(doclist::readBase(kTrud).size(), 3u);
}

// ---- the clerk, one process per day ----------------------------------------------------

namespace {

// The sandbox with the demo catalogue on its drive C.
class Program : public apptest::ProgramRun {
  public:
    Program() : apptest::ProgramRun(kRole) {
        keepPlatform = qEnvironmentVariableIsSet("KALDOR_JOURNEY_SHOTS");
    }
    bool demo() {
        QDir(path(QString())).mkpath(QStringLiteral("c"));
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral(KALDOR_DEMO), {});
        return p.waitForFinished(60000) && p.exitCode() == 0;
    }
};

}  // namespace

TEST(Clerk, ADayWithTheProgramAndTheNextNothingLost) {
    Program p;
    ASSERT_TRUE(p.demo());
    ASSERT_TRUE(p.run(QStringLiteral("FirstDay"), 240000)) << p.output().toStdString();
    // The texts the day showed and carried are not left on the disk.
    EXPECT_FALSE(QFileInfo::exists(p.path(QStringLiteral("Test.rtf"))));
    EXPECT_FALSE(QFileInfo::exists(p.path(QStringLiteral("c/kaldor/testA.rtf"))));
    ASSERT_TRUE(p.run(QStringLiteral("NextDay"), 240000)) << p.output().toStdString();
}

// ---- entry ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    return apptest::main(argc, argv, kRole);
}
