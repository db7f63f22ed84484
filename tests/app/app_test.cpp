// Start-up, shutdown and the frame, as the user meets them: each case of suite
// Program runs the program (this binary in its "program" role) in a process of
// its own, with its own settings, drive C and system settings; the cases of
// suite InProgram run inside such a process, on a thread beside the program's
// thread 1, and drive the frame through the test driver.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <future>

#include "controls/kaldo001.h"
#include "core/ini.h"
#include "dictionary.h"
#include "files.h"
#include "globals.h"
#include "procedures.h"
#include "program_role.h"
#include "ui/detail.h"
#include "ui/dialogs.h"
#include "ui/winapi.h"
#include "ui/window.h"
#include "uidriver.h"
#include "windowmanager.h"

using namespace uitest;
using apptest::childThreads;

namespace {

using namespace kaldo001;  // the frame's menu items

const QString kTopicTitle = QStringLiteral("Рубрикатор тем/подтем [выбор БД]");

// What thread 1 looked like around the program body, for the cases to see.
std::atomic<bool> gAccessBeforeMain{false};
std::atomic<bool> gMainReturned{false};
std::atomic<bool> gAccessAfterMain{false};

const apptest::ProgramRole kRole{"KALDOR_APP_PROGRAM", "InProgram", &gMainReturned,
                                 [] { gAccessBeforeMain = Access_CONFIG != nullptr; },
                                 [] { gAccessAfterMain = Access_CONFIG != nullptr; }};

// Runs fn on `thread` (a procedure thread with a window open) between two of
// its events, and waits for it. Reaches into the runtime's queue: only a test
// needs to run code on another procedure thread.
bool onThread(int thread, const std::function<void()>& fn) {
    auto ctx = rt::detail::context(thread);
    const quint64 window = onGui([&]() -> quint64 {
        rt::GuiWindow* w = rt::gui::topWindow(thread);
        return w ? w->id() : 0;
    });
    if (!ctx || window == 0)
        return false;
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> f = done->get_future();
    rt::detail::Item item;
    item.ev.window = window;
    item.apply = [fn, done](Window&) {
        fn();
        done->set_value();
    };
    rt::detail::push(*ctx, std::move(item));
    return f.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
}

bool waitChildren(size_t n) {
    return waitFor([n] {
        const std::vector<int> c = childThreads();
        if (c.size() != n)
            return false;
        for (int t : c) {
            if (!waitIdle(t, 100))
                return false;
        }
        return true;
    });
}

bool waitFrame() {
    return waitFor([] { return onGui([] { return rt::gui::frame() != nullptr; }); }) &&
           waitChildren(1);
}

QRect frameGeometry() {
    return onGui([] {
        QMainWindow* f = rt::gui::frame();
        return f ? f->geometry() : QRect();
    });
}

}  // namespace

// ---- inside the program ------------------------------------------------------------

TEST(InProgram, SplashTopicListClosesAtTheFirstWindowAcceptedEventOnly) {
    ASSERT_TRUE(waitFrame());
    const std::vector<int> splash = childThreads();
    ASSERT_EQ(splash.size(), 1u);
    EXPECT_EQ(title(splash[0]), kTopicTitle);
    // A menu item's accepted event belongs to its item: the splash stays.
    chooseMenu(1, BDTM);
    ASSERT_TRUE(waitChildren(2));
    const std::vector<int> both = childThreads();
    const int fromMenu = both[0] == splash[0] ? both[1] : both[0];
    // An accepted event of the frame itself closes the start-up list.
    POST(EVENT::Accepted, 0, 1);
    ASSERT_TRUE(rt::waitThreadEnd(splash[0], 5000));
    ASSERT_TRUE(waitChildren(1));
    // Never again: the list started from the menu stays.
    POST(EVENT::Accepted, 0, 1);
    waitIdle(1);
    waitIdle(fromMenu);
    EXPECT_EQ(childThreads(), std::vector<int>{fromMenu});
}

TEST(InProgram, EachMenuChoiceStartsAWindowOnANewThread) {
    ASSERT_TRUE(waitFrame());
    chooseMenu(1, BDTM);
    chooseMenu(1, BDTM);
    ASSERT_TRUE(waitChildren(3));
    QStringList titles;
    for (int t : childThreads())
        titles << title(t);
    titles.sort();
    EXPECT_EQ(titles, QStringList({kTopicTitle, kTopicTitle, kTopicTitle}));
    chooseMenu(1, BD);
    // The document list needs a base: the demo folder (its tables are made).
    PUT1 = u"c:\\kaldor_demo\\KALDOR.TPS";
    PUT2 = u"c:\\kaldor_demo\\ZAMETKA.TPS";
    chooseMenu(1, BROWSEKALDOR);
    ASSERT_TRUE(waitChildren(5));
    titles.clear();
    for (int t : childThreads())
        titles << title(t);
    EXPECT_TRUE(titles.contains(QStringLiteral("Рубрикатор подтем [выбор БД]")));
    // The document list names its base.
    EXPECT_EQ(titles.filter(QRegularExpression(QStringLiteral("^Тема:"))).size(), 1);
    // The children are MDI windows of the frame.
    EXPECT_EQ(onGui([] {
                  auto* area = qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget());
                  return area ? int(area->subWindowList().size()) : -1;
              }),
              5);
}

TEST(InProgram, ThreadsHaveTheirOwnRequestAndTableObjects) {
    ASSERT_TRUE(waitFrame());
    EXPECT_FALSE(gAccessBeforeMain);  // thread 1's Dictionary built nothing
    const void* access1 = nullptr;
    const void* relate1 = nullptr;
    const void* buffer1 = nullptr;
    bool linked1 = false;
    ASSERT_TRUE(onThread(1, [&] {
        GlobalRequest = 5;
        access1 = Access_CONFIG;
        relate1 = Relate_CONFIG;
        buffer1 = &CON;
        linked1 = Relate_CONFIG && Relate_CONFIG->Me == Access_CONFIG;
    }));
    EXPECT_NE(access1, nullptr);
    EXPECT_TRUE(linked1);
    chooseMenu(1, BD);
    ASSERT_TRUE(waitChildren(2));
    int bd = 0;
    for (int t : childThreads()) {
        if (title(t) == QStringLiteral("Рубрикатор подтем [выбор БД]"))
            bd = t;
    }
    ASSERT_NE(bd, 0);
    int request = -1;
    const void *access = nullptr, *relate = nullptr, *buffer = nullptr;
    ASSERT_TRUE(onThread(bd, [&] {
        request = GlobalRequest;
        access = Access_CONFIG;
        relate = Relate_CONFIG;
        buffer = &CON;
    }));
    EXPECT_EQ(request, 0);
    EXPECT_NE(access, nullptr);
    EXPECT_NE(access, access1);
    EXPECT_NE(relate, relate1);
    EXPECT_NE(buffer, buffer1);
    // Thread 1 kept its own request and its one set of objects.
    ASSERT_TRUE(onThread(1, [&] {
        request = GlobalRequest;
        access = Access_CONFIG;
    }));
    EXPECT_EQ(request, 5);
    EXPECT_EQ(access, access1);
    // Closing the frame ends the program body; thread 1's objects stay until
    // the thread ends.
    // (Not chooseMenu: it would wait for thread 1 to take input again.)
    onGui([] { rt::gui::topWindow(1)->menuItem(EXIT)->trigger(); });
    ASSERT_TRUE(waitFor([] { return gMainReturned.load(); }));
    EXPECT_TRUE(gAccessAfterMain);
}

TEST(InProgram, ClosingTheFrameAsksTheOtherWindowsFirst) {
    ASSERT_TRUE(waitFrame());
    const int splash = childThreads()[0];
    // A window that, like a form with changes, asks before it closes.
    const int form = START([] {
        Window w(rt::parseWindow(QJsonObject{{"title", "Форма"}, {"mdi", true}}));
        struct Asking : WindowManager {
            Window& window;
            explicit Asking(Window& w) : window(w) {}
            int Init() override {
                WindowManager::Init();
                Open(window);
                return Level::Benign;
            }
            int TakeCloseEvent() override {
                if (MESSAGE(u"Отменить изменения?", u"Форма", ICON::Question,
                            BUTTON::Yes + BUTTON::No) == BUTTON::No) {
                    rt::cycle();
                    return Level::Notify;
                }
                return WindowManager::TakeCloseEvent();
            }
        } m(w);
        m.Run();
    });
    ASSERT_TRUE(waitWindow(form));
    // Kept: the frame stays, the other lists are gone.
    POST(EVENT::CloseWindow, 0, 1);
    ASSERT_TRUE(waitDialog(form));
    EXPECT_TRUE(answerMessage(form, BUTTON::No));
    ASSERT_TRUE(rt::waitThreadEnd(splash, 5000));
    ASSERT_TRUE(waitIdle(1));
    EXPECT_FALSE(gMainReturned);
    EXPECT_EQ(title(form), QStringLiteral("Форма"));

    // A card form with a name typed but not completed: the frame's close box
    // asks it too, and "no" keeps the frame, the form and the typing.
    PUT1 = u"c:\\kaldor_demo\\KALDOR.TPS";
    PUT2 = u"c:\\kaldor_demo\\ZAMETKA.TPS";
    const int card = START([] {
        GlobalRequest = InsertRecord;
        Updatekaldor();
    });
    ASSERT_TRUE(waitWindow(card));
    selectTab(card, controlOf(card, QStringLiteral("?CURRENTTAB")), 2);
    const int name = controlOf(card, QStringLiteral("?KAL:NAME"));
    ASSERT_NE(name, 0);
    type(card, name, QStringLiteral("Недописанная карточка"), false);
    onGui([] { rt::gui::frame()->close(); });
    ASSERT_TRUE(waitDialog(card));
    ASSERT_TRUE(waitDialog(form));
    EXPECT_TRUE(answerMessage(form, BUTTON::Yes));
    EXPECT_TRUE(answerMessage(card, BUTTON::No));
    ASSERT_TRUE(rt::waitThreadEnd(form, 5000));
    ASSERT_TRUE(waitIdle(1));
    ASSERT_TRUE(waitIdle(card));
    EXPECT_FALSE(gMainReturned);
    EXPECT_EQ(text(card, name), QStringLiteral("Недописанная карточка"));

    // Let go: everything closes.
    onGui([] { rt::gui::frame()->close(); });
    ASSERT_TRUE(waitDialog(card));
    EXPECT_TRUE(answerMessage(card, BUTTON::Yes));
    ASSERT_TRUE(waitFor([] { return gMainReturned.load(); }));
    EXPECT_FALSE(rt::threadAlive(card));
}

TEST(InProgram, FrameTitleMenusAndSystemSettings) {
    ASSERT_TRUE(waitFrame());
    EXPECT_EQ(title(1), QStringLiteral("[КАЛДОР] [...Нормативные документы...]. v 1.1"));
    EXPECT_EQ(SYSTEM[PROP::CharSet].toInt(), CHARSET::Cyrillic);
    EXPECT_EQ(SYSTEM[PROP::TipDisplay].toInt(), 6000);
    const QStringList menus = onGui([] {
        QStringList out;
        for (QAction* m : rt::gui::frame()->menuBar()->actions()) {
            out << m->text();
            for (QAction* a : m->menu()->actions())
                out << QStringLiteral("  %1 | %2").arg(a->text(), a->statusTip());
        }
        return out;
    });
    EXPECT_EQ(menus, QStringList({
                         "&...Файл...",
                         "  ...&Выбрать принтер ... | Setup printer",
                         "  ...Выход... | Выход из программы",
                         "...Редактировать...",
                         "  ...Вырезать... | Вырезать в буфер обмена",
                         "  ...Копировать... | Копировать в буфер обмена",
                         "  ...Вставить... | Вставить из буфера обмена",
                         "...База документов...",
                         "  ...БД документов... | БД документов",
                         "  ...Рубрикатор тем... | ",
                         "  ...Рубрикатор  подтем... | Рубрикатор  документов",
                         "...Окно...",
                         "  ...По заголовку... | По заголовку",
                         "  ...Каскадом... | Каскадом",
                         "  ...Иконкой... | Иконкой",
                         "...Помощь...",
                         "  ...Содержание... | View the contents of the help file",
                         "  ...Поиск... | Поиск",
                         "  ...Как использовать... | Как использовать",
                     }));
    // Help is named but not supplied: the help items say so.
    chooseMenu(1, HELPONHELP);
    ASSERT_TRUE(waitDialog(1));
    EXPECT_TRUE(messageText(1).contains(QStringLiteral("kaldor.HLP")));
    answerMessage(1, BUTTON::Ok);
}

TEST(InProgram, DragIsOffWhileRunning) {
    ASSERT_TRUE(waitFrame());
    LONG on = -1;
    SystemParametersInfoA(SPI::GetDragFullWindows, 0, &on, 0);
    EXPECT_EQ(on, 0);
}

// The frame's placement the restart cases set and expect.
const QRect kPlaced(40, 30, 700, 450);

TEST(InProgram, PlaceTheFrame) {
    ASSERT_TRUE(waitFrame());
    onGui([] { rt::gui::frame()->setGeometry(kPlaced); });
    ASSERT_TRUE(waitFor([] { return frameGeometry() == kPlaced; }));
    waitIdle(1);
}

TEST(InProgram, FrameIsWhereItWasLeft) {
    ASSERT_TRUE(waitFrame());
    EXPECT_EQ(frameGeometry(), kPlaced);
}

// ---- the program, one process per case ---------------------------------------------

namespace {

// The sandbox, with the system settings the drag cases look at.
class ProgramRun : public apptest::ProgramRun {
  public:
    ProgramRun() : apptest::ProgramRun(kRole) {
        QDir(path(QString())).mkpath(QStringLiteral("c/kaldor_demo"));
    }
    void setDrag(int on) {
        ASSERT_TRUE(writeFile(path(QStringLiteral("system.ini")),
                              QStringLiteral("[Desktop]\nDragFullWindows=%1\n").arg(on).toUtf8()));
    }
    QByteArray systemSettings() const { return fileBytes(path(QStringLiteral("system.ini"))); }
    int drag() const {
        INIClass ini;
        ini.Init(path(QStringLiteral("system.ini")));
        return ini.Fetch(u"Desktop", u"DragFullWindows", u"?").toInt();
    }
};

}  // namespace

TEST(Program, FullWindowDragOnAtStartIsOffWhileRunningAndOnAfter) {
    ProgramRun p;
    p.setDrag(1);
    ASSERT_TRUE(p.run(QStringLiteral("DragIsOffWhileRunning"))) << p.output().toStdString();
    EXPECT_EQ(p.drag(), 1);
}

TEST(Program, FullWindowDragOffAtStartIsNeverTouched) {
    ProgramRun p;
    p.setDrag(0);
    const QByteArray before = p.systemSettings();
    const QDateTime stamp = QFileInfo(p.path(QStringLiteral("system.ini"))).lastModified();
    ASSERT_TRUE(p.run(QStringLiteral("DragIsOffWhileRunning"))) << p.output().toStdString();
    EXPECT_EQ(p.systemSettings(), before);
    EXPECT_EQ(QFileInfo(p.path(QStringLiteral("system.ini"))).lastModified(), stamp);
}

TEST(Program, FramePositionIsKeptAcrossARestart) {
    ProgramRun p;
    ASSERT_TRUE(p.run(QStringLiteral("PlaceTheFrame"))) << p.output().toStdString();
    INIClass ini;
    ini.Init(p.path(QStringLiteral("config/kaldor/kaldor.INI")));
    EXPECT_FALSE(ini.Fetch(u"Main", u"XPos").isEmpty());
    ASSERT_TRUE(p.run(QStringLiteral("FrameIsWhereItWasLeft"))) << p.output().toStdString();
}

TEST(Program, StartUpTopicListAndMenus) {
    for (const char* test :
         {"SplashTopicListClosesAtTheFirstWindowAcceptedEventOnly",
          "EachMenuChoiceStartsAWindowOnANewThread", "ThreadsHaveTheirOwnRequestAndTableObjects",
          "FrameTitleMenusAndSystemSettings", "ClosingTheFrameAsksTheOtherWindowsFirst"}) {
        ProgramRun p;
        EXPECT_TRUE(p.run(QString::fromLatin1(test))) << test << "\n" << p.output().toStdString();
    }
}

// ---- entry ---------------------------------------------------------------------------

int main(int argc, char** argv) {
    return apptest::main(argc, argv, kRole);
}
