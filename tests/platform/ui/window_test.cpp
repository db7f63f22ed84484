// Window runtime driven through real widgets: threads and their events, forms,
// entries and pictures, properties, alerted keys and standard actions.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <atomic>
#include <mutex>
#include <thread>

#include "controls/uitest.h"
#include "core/errors.h"
#include "core/paths.h"
#include "core/resources.h"
#include "thread_log.h"
#include "ui/dialogs.h"
#include "ui/window.h"
#include "uidriver.h"

using namespace uitest;

namespace {

// The controls of the windows FORM and MDI and the menu items of FRAME.
using namespace uitest::FORM;
using namespace uitest::MDI;
using namespace uitest::FRAME;

// Events a window's thread took, for the test thread to look at.
class Log : public ThreadLog<rt::Event> {
  public:
    bool has(int event, int field = -1000) const { return count(event, field) > 0; }
    rt::Event last(int event) const {
        const std::vector<rt::Event> all = entries();
        for (auto it = all.rbegin(); it != all.rend(); ++it) {
            if (it->event == event)
                return *it;
        }
        return {};
    }
    int count(int event, int field = -1000) const {
        int n = 0;
        for (const rt::Event& e : entries())
            n += e.event == event && (field == -1000 || e.field == field);
        return n;
    }
};

using Setup = std::function<void(Window&)>;
using Handler = std::function<void(Window&)>;

// Runs the window `label` on a new thread until it closes; every event goes to
// the log, then to the handler.
LONG runWindow(const QString& label, Log& log, Setup setup = {}, Handler handler = {}) {
    return START([label, &log, setup, handler] {
        Window w(u"uitest", label);
        if (setup)
            setup(w);
        if (!w.open())
            return;
        while (ACCEPT()) {
            log.add(rt::currentEvent());
            if (handler)
                handler(w);
        }
        w.close();
    });
}

void closeThread(LONG thread) {
    POST(EVENT::CloseWindow, 0, thread);
    ASSERT_TRUE(rt::waitThreadEnd(thread, kWait)) << "thread " << thread << " did not end";
}

}  // namespace

TEST(Threads, StartGivesEachThreadItsOwnNumberAndState) {
    // State built by the start hook is the thread's own and freed by its end hook.
    static thread_local int built = 0;
    std::atomic<int> started{0}, ended{0};
    rt::setThreadHooks(
        [&] {
            built = THREAD() * 10;
            ++started;
        },
        [&] {
            built = 0;
            ++ended;
        });
    std::mutex m;
    std::vector<std::pair<LONG, int>> seen;
    auto proc = [&] {
        std::lock_guard<std::mutex> l(m);
        seen.emplace_back(THREAD(), built);
    };
    const LONG a = START(proc, 25000);
    const LONG b = START(proc, 0);
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    ASSERT_TRUE(rt::waitThreadEnd(b, kWait));
    rt::setThreadHooks(nullptr, nullptr);
    EXPECT_EQ(THREAD(), 1);
    EXPECT_NE(a, b);
    EXPECT_GT(a, 1);
    ASSERT_EQ(seen.size(), 2u);
    for (auto& [n, state] : seen)
        EXPECT_EQ(state, n * 10);
    EXPECT_EQ(started, 2);
    EXPECT_EQ(ended, 2);
}

TEST(Threads, SmallStackRequestsStillGetASafeStack) {
    // A deep call chain that a 25000-byte stack could never hold.
    std::atomic<int> depth{0};
    std::function<int(int)> dive = [&](int n) -> int {
        volatile char pad[1024];
        pad[0] = char(n);
        depth = n;
        return n == 0 ? pad[0] : dive(n - 1) + 1;
    };
    const LONG t = START([&] { dive(2000); }, 25000);
    ASSERT_TRUE(rt::waitThreadEnd(t, kWait));
    EXPECT_EQ(depth, 0);
}

TEST(Events, PostCarriesEventsBetweenThreads) {
    Log log;
    const LONG a = runWindow(u"MDI"_qs, log);
    ASSERT_TRUE(waitWindow(a));
    Log other;
    // A second thread posts into the first one's queue.
    const LONG b = START([a] { POST(EVENT::User + 5, PRESS, a); });
    ASSERT_TRUE(rt::waitThreadEnd(b, kWait));
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(log.has(EVENT::OpenWindow, 0));
    EXPECT_TRUE(log.has(EVENT::User + 5, PRESS));
    // The frame's way of closing a list: the close-window event of no control.
    POST(EVENT::CloseWindow, 0, a);
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    EXPECT_TRUE(log.has(EVENT::CloseWindow, 0));
    EXPECT_FALSE(POST(EVENT::User, 0, a)) << "an ended thread takes no events";
}

TEST(Events, CycleKeepsTheWindowOpenAfterCloseWindow) {
    Log log;
    std::atomic<int> refusals{1};
    const LONG a = runWindow(u"MDI"_qs, log, {}, [&](Window&) {
        if (EVENT() == EVENT::CloseWindow && refusals-- > 0)
            rt::cycle();
    });
    ASSERT_TRUE(waitWindow(a));
    POST(EVENT::CloseWindow, 0, a);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(rt::threadAlive(a));

    // Another thread asks every thread to close its windows, as the frame does
    // when it closes: the window that cycles answers "kept".
    std::atomic<int> closed{-1};
    const auto askToClose = [&closed] {
        closed = -1;
        return START([&closed] { closed = rt::closeOtherThreadsWindows() ? 1 : 0; });
    };
    refusals = 1;
    askToClose();
    ASSERT_TRUE(waitFor([&] { return closed != -1; }));
    EXPECT_EQ(closed, 0);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(rt::threadAlive(a));
    // A thread answering a dialog when asked is waited for; then every window
    // has closed.
    Log askingLog;
    const LONG b = runWindow(u"MDI"_qs, askingLog, {}, [](Window&) {
        if (EVENT() == EVENT::User)
            MESSAGE(u"Изменения сохранены.", u"Форма", ICON::Asterisk);
    });
    ASSERT_TRUE(waitWindow(b));
    POST(EVENT::User, 0, b);
    ASSERT_TRUE(waitDialog(b));
    const LONG asker = askToClose();
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    EXPECT_TRUE(rt::threadAlive(asker)) << "the asker waits for the answer";
    answerMessage(b, BUTTON::Ok);
    ASSERT_TRUE(rt::waitThreadEnd(b, kWait));
    ASSERT_TRUE(rt::waitThreadEnd(asker, kWait));
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(askingLog.has(EVENT::CloseWindow, 0));
}

TEST(Events, TimerEventsArriveAtTheWindowsPace) {
    Log log;
    const LONG a = runWindow(u"MDI"_qs, log, [](Window& w) { w[PROP::Timer] = 2; });
    ASSERT_TRUE(waitFor([&] { return log.count(EVENT::Timer) >= 3; }));
    closeThread(a);
}

TEST(Forms, AFormBlocksItsThreadsWindowsOnly) {
    Log listLog, formLog, otherLog;
    std::atomic<bool> openForm{false};
    // Thread a: a window that opens a form on its own thread when asked.
    const LONG a = runWindow(u"MDI"_qs, listLog, {}, [&](Window&) {
        if (ACCEPTED() == PRESS) {
            Window form(u"uitest", u"FORM");
            form.open();
            while (ACCEPT())
                formLog.add(rt::currentEvent());
            form.close();
        }
    });
    const LONG b = runWindow(u"MDI"_qs, otherLog);
    ASSERT_TRUE(waitWindow(a));
    ASSERT_TRUE(waitWindow(b));
    click(a, PRESS);
    ASSERT_TRUE(waitFor([&] { return formLog.has(EVENT::OpenWindow); }));
    ASSERT_TRUE(waitIdle(a));
    EXPECT_EQ(title(a), QStringLiteral("Форма проверки"));
    // The list under the form takes no input; the other thread's window does.
    const bool listEnabled =
        onGui([a] { return rt::gui::windows(a).front()->client()->isEnabled(); });
    EXPECT_FALSE(listEnabled);
    EXPECT_TRUE(windowEnabled(b));
    click(b, PRESS);
    EXPECT_TRUE(otherLog.has(EVENT::Accepted, PRESS));
    // The form's close button ends the form; the list takes input again.
    click(a, CANCEL);
    ASSERT_TRUE(waitFor([&] { return formLog.has(EVENT::CloseWindow); }));
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(windowEnabled(a));
    EXPECT_EQ(title(a), QStringLiteral("Дочернее окно"));
    // Asked to close its windows, a thread closes the form, then the list
    // under it; the other thread's window goes too.
    click(a, PRESS);
    ASSERT_TRUE(waitFor([&] { return formLog.count(EVENT::OpenWindow) == 2; }));
    EXPECT_TRUE(rt::closeOtherThreadsWindows());
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    ASSERT_TRUE(rt::waitThreadEnd(b, kWait));
    EXPECT_EQ(formLog.count(EVENT::CloseWindow), 2);
    EXPECT_TRUE(listLog.has(EVENT::CloseWindow, 0));
    EXPECT_TRUE(otherLog.has(EVENT::CloseWindow, 0));
}

TEST(Entries, TextThePictureCannotReadIsRefused) {
    Log log;
    LONG number = 5;
    ::DATE date;
    STRING<20> name;
    const LONG a = runWindow(u"FORM"_qs, log, [&](Window& w) {
        w.bind(NUM, ref(number)).bind(FORM::DATE, ref(date)).bind(FORM::NAME, ref(name));
    });
    ASSERT_TRUE(waitWindow(a));
    EXPECT_EQ(text(a, NUM), QStringLiteral("5"));
    EXPECT_EQ(text(a, FORM::DATE), QString()) << "a zero date shows blank";

    type(a, NUM, QStringLiteral("12abc"));
    ASSERT_TRUE(waitDialog(a));
    EXPECT_TRUE(messageText(a).contains(QStringLiteral("12abc"))) << messageText(a).toStdString();
    answerMessage(a, BUTTON::Ok);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_EQ(number, 5) << "the variable keeps its value";
    EXPECT_TRUE(waitFor([a] { return hasFocus(a, NUM); })) << "the entry stays open for correction";
    EXPECT_TRUE(log.has(EVENT::Rejected, NUM));
    EXPECT_FALSE(log.has(EVENT::Accepted, NUM));

    type(a, NUM, QStringLiteral("1234"));
    EXPECT_EQ(number, 1234);
    EXPECT_TRUE(log.has(EVENT::Accepted, NUM));
    EXPECT_EQ(text(a, NUM), QStringLiteral("1 234")) << "shown again through its picture";

    type(a, FORM::DATE, QStringLiteral("31.02.2020"));
    ASSERT_TRUE(waitDialog(a));
    answerMessage(a, BUTTON::Ok);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_EQ(date.day(), 0);
    type(a, FORM::DATE, QStringLiteral("01.03.2020"));
    EXPECT_EQ(date.day(), rt::dayNumber(2020, 3, 1));
    EXPECT_EQ(text(a, FORM::DATE), QStringLiteral("01.03.2020"));

    type(a, FORM::NAME, QStringLiteral("Закон о библиотеках и архивах"));
    EXPECT_EQ(name.clip(), QStringLiteral("Закон о библиотеках")) << "twenty characters at most";
    closeThread(a);
}

TEST(Entries, EnterCompletesTheEntryAndPressesTheDefaultButton) {
    Log log;
    LONG number = 0;
    const LONG a = runWindow(u"FORM"_qs, log, [&](Window& w) { w.bind(NUM, ref(number)); });
    ASSERT_TRUE(waitWindow(a));
    type(a, NUM, QStringLiteral("42"), false);
    pressKey(a, NUM, Key::Enter);
    EXPECT_EQ(number, 42);
    EXPECT_TRUE(log.has(EVENT::Accepted, NUM));
    EXPECT_TRUE(log.has(EVENT::Accepted, OK));
    closeThread(a);
}

TEST(Controls, ChoicesReachTheirBoundVariables) {
    Log log;
    BYTE flag = 0;
    BYTE kind = 0;
    DECIMAL<2> spin = 8;
    STRING<10> drop;
    const LONG a = runWindow(u"FORM"_qs, log, [&](Window& w) {
        w.bind(FLAG, ref(flag)).bind(KIND, ref(kind)).bind(SPIN, ref(spin)).bind(DROP, ref(drop));
    });
    ASSERT_TRUE(waitWindow(a));
    EXPECT_EQ(text(a, SPIN), QStringLiteral("8"));
    EXPECT_EQ(text(a, KIND_RADIO1), QStringLiteral("0")) << "kind 0: no radio chosen";
    click(a, FLAG);
    EXPECT_EQ(flag, 1);
    click(a, KIND_RADIO3);
    EXPECT_EQ(kind, 3) << "a radio without a value gives its position";
    spinTo(a, SPIN, 12);
    EXPECT_EQ(spin.toInt(), 12);
    EXPECT_TRUE(log.has(EVENT::NewSelection, SPIN));
    spinTo(a, SPIN, 20);
    EXPECT_EQ(spin.toInt(), 14) << "the range holds";
    chooseEntry(a, DROP, 2);
    EXPECT_EQ(drop.clip(), QStringLiteral("Два"));
    selectTab(a, SHEET, 2);
    EXPECT_TRUE(log.has(EVENT::NewSelection, SHEET));
    EXPECT_FALSE(visible(a, NUM)) << "controls of the other tab hide";
    EXPECT_TRUE(visible(a, TEXT));
    closeThread(a);
}

TEST(Controls, FocusSendsSelectedBeforeAccepted) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log);
    ASSERT_TRUE(waitWindow(a));
    focus(a, FORM::NAME);
    EXPECT_TRUE(log.has(EVENT::Selected, FORM::NAME));
    log.clear();
    click(a, OK);
    EXPECT_TRUE(log.has(EVENT::Selected, OK)) << "a button clicked receives the focus";
    EXPECT_TRUE(log.has(EVENT::Accepted, OK));
    closeThread(a);
}

TEST(Controls, SelectingAPromptSelectsTheControlItNames) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log, {}, [](Window& w) {
        if (EVENT() == EVENT::User)
            w.select(DATE_PROMPT);
        if (EVENT() == EVENT::User + 1)
            w.select(FORM::NAME);
    });
    ASSERT_TRUE(waitWindow(a));
    POST(EVENT::User, 0, a);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(waitFor([a] { return hasFocus(a, FORM::DATE); }));
    EXPECT_FALSE(hasFocus(a, DATE_PROMPT));
    POST(EVENT::User + 1, 0, a);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(waitFor([a] { return hasFocus(a, FORM::NAME); })) << "other controls as before";
    closeThread(a);
}

TEST(Controls, HideAndShowARunOfControls) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log, {}, [](Window& w) {
        if (EVENT() == EVENT::User)
            HIDE(NUM_PROMPT, FORM::NAME);
        if (EVENT() == EVENT::User + 1)
            w.unhide(NUM_PROMPT, FORM::NAME);
    });
    ASSERT_TRUE(waitWindow(a));
    POST(EVENT::User, 0, a);
    ASSERT_TRUE(waitIdle(a));
    for (int n = NUM_PROMPT; n <= FORM::NAME; ++n)
        EXPECT_FALSE(visible(a, n)) << n;
    EXPECT_TRUE(visible(a, FLAG));
    POST(EVENT::User + 1, 0, a);
    ASSERT_TRUE(waitIdle(a));
    for (int n = NUM_PROMPT; n <= FORM::NAME; ++n)
        EXPECT_TRUE(visible(a, n)) << n;
    closeThread(a);
}

TEST(Controls, PropertiesSetOnTheProcedureThreadReachTheWidgets) {
    Log log;
    std::atomic<int> readBack{0};
    const LONG a = runWindow(u"FORM"_qs, log, {}, [&](Window& w) {
        if (EVENT() != EVENT::User)
            return;
        w[PROP::Text] = u"Тема: Законы        ";  // a fixed-width field's padding
        w[LIST][PROP::Tip] = u"Строка 1\r\nСтрока 2";
        w[LIST][PROP::FontSize] = 12;
        w[LIST][PROP::LineHeight] = 22;
        w[FORM::NAME][PROP::FontColor] = 0xC08000;
        w[FORM::NAME][PROP::FontStyle] = FONT::Bold;
        w[FORM::NAME][PROP::FontName] = u"Times New Roman CYR";
        w[FORM::NAME][PROP::ReadOnly] = 1;
        w[OK][PROP::Disable] = 1;
        w[STR][PROP::Text] = u"Всего рубрик:";
        w[PROG][PROP::Progress] = 40;
        w[SHEET][PROP::Choice] = 2;
        w(PROP::StatusText, 2) = u"Изменить";
        w[NUM][PROP::XPos] = 100;
        readBack = int(w[LIST][PROP::FontSize].toInt());
    });
    ASSERT_TRUE(waitWindow(a));
    POST(EVENT::User, 0, a);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_EQ(readBack, 12) << "reads answer from the procedure side";
    EXPECT_EQ(title(a), QStringLiteral("Тема: Законы"));
    EXPECT_EQ(tip(a, LIST), QStringLiteral("Строка 1\nСтрока 2"));
    EXPECT_EQ(font(a, LIST).pointSize(), 12);
    EXPECT_EQ(onGui([a] {
                  return static_cast<QTableView*>(widget(a, LIST))
                      ->verticalHeader()
                      ->defaultSectionSize();
              }),
              22);
    EXPECT_EQ(textColor(a, FORM::NAME), QColor(0, 0x80, 0xC0)) << "colours arrive as 0xBBGGRR";
    EXPECT_TRUE(font(a, FORM::NAME).bold());
    EXPECT_EQ(font(a, FORM::NAME).family(), QStringLiteral("Times New Roman"))
        << "the CYR suffix goes";
    EXPECT_TRUE(
        onGui([a] { return static_cast<QLineEdit*>(widget(a, FORM::NAME))->isReadOnly(); }));
    EXPECT_FALSE(enabled(a, OK));
    EXPECT_EQ(text(a, STR), QStringLiteral("Всего рубрик:"));
    EXPECT_EQ(text(a, PROG), QStringLiteral("40"));
    EXPECT_TRUE(visible(a, TEXT)) << "the second tab is current";
    const QRect num = geometry(a, NUM);
    const double unit = onGui([a] { return rt::gui::topWindow(a)->unitX(); });
    EXPECT_NEAR(num.x(), 100 * unit, 1.0) << "positions are dialog units";
    closeThread(a);
}

TEST(Controls, DialogUnitsFollowTheWindowFont) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log);
    ASSERT_TRUE(waitWindow(a));
    const auto [ux, uy] = onGui([a] {
        rt::GuiWindow* w = rt::gui::topWindow(a);
        return std::make_pair(w->unitX(), w->unitY());
    });
    const QFontMetricsF fm(onGui([a] { return rt::gui::topWindow(a)->client()->font(); }));
    EXPECT_NEAR(uy, fm.height() / 8.0, 1e-9);
    EXPECT_GT(ux, 1.0);
    const QRect list = geometry(a, LIST);
    EXPECT_NEAR(list.x(), 310 * ux, 1.0);
    EXPECT_NEAR(list.y(), 4 * uy, 1.0);
    EXPECT_NEAR(list.width(), 120 * ux, 1.0);
    EXPECT_NEAR(list.height(), 150 * uy, 1.0);
    closeThread(a);
}

TEST(Controls, SetTargetAddressesAnotherWindowOfTheThread) {
    Log log;
    std::atomic<bool> hiddenInFirst{false}, shownInForm{false};
    const LONG a = runWindow(u"MDI"_qs, log, {}, [&](Window& list) {
        if (ACCEPTED() != PRESS)
            return;
        Window form(u"uitest", u"FORM");
        form.open();
        SETTARGET(list);
        HIDE(NOTE);  // the list's control, though the form is newer
        SETTARGET();
        hiddenInFirst = list.get(NOTE, PROP::Hide).toInt() == 1;
        shownInForm = form.get(3, PROP::Hide).toInt() == 0;
        form.close();
    });
    ASSERT_TRUE(waitWindow(a));
    click(a, PRESS);
    ASSERT_TRUE(waitIdle(a));
    EXPECT_TRUE(hiddenInFirst);
    EXPECT_TRUE(shownInForm);
    EXPECT_FALSE(visible(a, NOTE));
    closeThread(a);
}

TEST(Keys, AlertedKeysBecomeAlertKeyEvents) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log, [](Window& w) {
        w.alert(Key::Ctrl + Key::letter('H'));
        w.alert(Key::Ctrl + Key::Shift + Key::MouseRight);
        w.alert(Key::MouseRight);
    });
    ASSERT_TRUE(waitWindow(a));
    pressKey(a, FORM::NAME, Key::Ctrl + 'H');
    rt::Event e = log.last(EVENT::AlertKey);
    EXPECT_EQ(e.keycode, 584);
    EXPECT_EQ(e.field, FORM::NAME);
    clickMouse(a, 0, Key::Ctrl + Key::Shift + Key::MouseRight);
    e = log.last(EVENT::AlertKey);
    EXPECT_EQ(e.keycode, 770);
    EXPECT_EQ(e.field, 0) << "on the window, no control";
    selectTab(a, SHEET, 2);
    clickMouse(a, TEXT, Key::MouseRight);
    e = log.last(EVENT::AlertKey);
    EXPECT_EQ(e.keycode, 2);
    EXPECT_EQ(e.field, TEXT);
    log.clear();
    pressKey(a, FORM::NAME, Key::Ctrl + 'J');
    EXPECT_FALSE(log.has(EVENT::AlertKey)) << "keys not alerted stay with the control";
    closeThread(a);
}

TEST(Standard, AGroupLiesUnderTheControlsItOverlaps) {
    Log log;
    const LONG a = runWindow(u"OVERLAP"_qs, log);
    ASSERT_TRUE(waitWindow(a));
    using namespace uitest::OVERLAP;
    const QRect rows = geometry(a, ROWS), find = geometry(a, FIND), go = geometry(a, GO);
    ASSERT_TRUE(rows.intersects(find));
    ASSERT_TRUE(rows.intersects(go));
    // Where the list and the group's lower edge meet, the list is seen; the
    // group's button stays over the list.
    const auto shownAt = [a](QPoint p) {
        return onGui([a, p] {
            QWidget* client = widget(a, ROWS)->parentWidget();
            QWidget* w = client->childAt(p);
            for (int c : {ROWS, FIND, GO}) {
                for (QWidget* x = w; x; x = x->parentWidget()) {
                    if (x == widget(a, c))
                        return c;
                }
            }
            return 0;
        });
    };
    EXPECT_EQ(shownAt(QPoint(go.left() - 4, rows.top() + 1)), int(ROWS));
    EXPECT_EQ(shownAt(QPoint(go.center().x(), go.bottom())), int(GO));
    closeThread(a);
}

TEST(Standard, CloseButtonClosesTheWindowWithoutCode) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log);
    ASSERT_TRUE(waitWindow(a));
    click(a, CANCEL);
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    EXPECT_TRUE(log.has(EVENT::CloseWindow, 0));
    EXPECT_FALSE(log.has(EVENT::Accepted, CANCEL));
}

TEST(Standard, FrameMenusTileCascadeListWindowsAndCopy) {
    Log frameLog, aLog, bLog;
    const LONG f = runWindow(u"FRAME"_qs, frameLog);
    ASSERT_TRUE(waitWindow(f));
    // Two windows of a kind, both placed where the first was left.
    const ::Setup samePlace = [](Window& w) { w.setPlacement({30, 20, 320, 160, false}); };
    const LONG a = runWindow(u"MDI"_qs, aLog, samePlace);
    ASSERT_TRUE(waitWindow(a));
    const LONG b = runWindow(u"MDI"_qs, bLog, samePlace);
    ASSERT_TRUE(waitWindow(b));
    EXPECT_EQ(onGui([] {
                  return qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget())
                      ->subWindowList()
                      .size();
              }),
              2);
    // The second steps aside as cascaded windows do.
    const QPoint placeA = onGui([a] { return rt::gui::topWindow(a)->top()->pos(); });
    const QPoint placeB = onGui([b] { return rt::gui::topWindow(b)->top()->pos(); });
    EXPECT_EQ(placeA, QPoint(30, 20));
    EXPECT_GT(placeB.x(), placeA.x());
    EXPECT_GT(placeB.y(), placeA.y());
    // The children speak through the frame's status bar: the message of the
    // control that has the focus, the tip of a button under the mouse; a
    // menu shows its own.
    const auto frameStatus = [] {
        return onGui([] {
            QStatusBar* bar = rt::gui::frame()->statusBar();
            return bar->findChildren<QLabel*>().first()->text();
        });
    };
    focus(a, MDI::FIELD);
    EXPECT_EQ(frameStatus(), QStringLiteral("Поле ввода"));
    onGui([a] {
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(widget(a, PRESS), &enter);
    });
    EXPECT_EQ(frameStatus(), QStringLiteral("Нажать кнопку в окне"));
    onGui([a] {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget(a, PRESS), &leave);
    });
    EXPECT_EQ(frameStatus(), QStringLiteral("Поле ввода"));
    EXPECT_EQ(onGui([f] { return rt::gui::topWindow(f)->menuItem(BROWSEMENU)->statusTip(); }),
              QStringLiteral("Базы документов"));
    // A child partly out of the frame is scrolled to, not cut off.
    EXPECT_EQ(onGui([] {
                  auto* area = qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget());
                  QMdiSubWindow* s = area->subWindowList().at(0);
                  s->move(area->viewport()->width() - s->width() / 2, 0);
                  QCoreApplication::processEvents();
                  return area->horizontalScrollBar()->isVisibleTo(area);
              }),
              true);
    chooseMenu(f, TILE);
    const bool overlap = onGui([] {
        const auto subs =
            qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget())->subWindowList();
        return subs[0]->geometry().intersects(subs[1]->geometry());
    });
    EXPECT_FALSE(overlap) << "tiled windows do not overlap";
    chooseMenu(f, CASCADE);
    const bool offset = onGui([] {
        const auto subs =
            qobject_cast<QMdiArea*>(rt::gui::frame()->centralWidget())->subWindowList();
        return subs[0]->pos() != subs[1]->pos();
    });
    EXPECT_TRUE(offset);
    // The Window menu lists the children.
    const int listed = onGui([f] {
        QMenu* m = rt::gui::topWindow(f)->menuItem(WINDOWMENU)->menu();
        emit m->aboutToShow();
        int n = 0;
        for (QAction* act : m->actions())
            n += act->text().contains(QStringLiteral("Дочернее окно"));
        return n;
    });
    EXPECT_EQ(listed, 2);
    // Copy and paste between two windows of two threads.
    type(a, MDI::FIELD, QStringLiteral("выдержка"), false);
    onGui([a] { static_cast<QLineEdit*>(widget(a, MDI::FIELD))->selectAll(); });
    chooseMenu(f, COPY);
    EXPECT_EQ(onGui([] { return QApplication::clipboard()->text(); }), QStringLiteral("выдержка"));
    focus(b, NOTE);
    chooseMenu(f, PASTE);
    EXPECT_EQ(text(b, NOTE), QStringLiteral("выдержка"));
    // A menu item without a standard action reaches the frame's thread.
    chooseMenu(f, BROWSEITEM);
    EXPECT_TRUE(frameLog.has(EVENT::Accepted, BROWSEITEM));
    EXPECT_FALSE(frameLog.has(EVENT::Accepted, TILE));
    // Help without a help file says so.
    HELP(u"kaldor");
    chooseMenu(f, HELPINDEX);
    ASSERT_TRUE(waitDialog(f));
    EXPECT_TRUE(messageText(f).contains(QStringLiteral("kaldor.HLP")));
    answerMessage(f, BUTTON::Ok);
    closeThread(a);
    closeThread(b);
    chooseMenu(f, EXIT);
    ASSERT_TRUE(rt::waitThreadEnd(f, kWait));
    EXPECT_EQ(onGui([] { return rt::gui::frame(); }), nullptr);
}

TEST(Focus, TheWindowThatOpenedAFormOrADialogGetsTheKeyboardBack) {
    Log frameLog, aLog, bLog, cLog;
    const LONG f = runWindow(u"FRAME"_qs, frameLog);
    ASSERT_TRUE(waitWindow(f));
    // Lists that open a form when their button is pressed and show a message
    // box when asked, as the program's lists do.
    const auto opener = [](Log& log) {
        return [&log](Window&) {
            if (ACCEPTED() == PRESS) {
                Window form(u"uitest", u"FORM");
                form.open();
                while (ACCEPT())
                    log.add(rt::currentEvent());
                form.close();
            } else if (EVENT() == EVENT::User) {
                MESSAGE(u"Запись удалена.", u"Удаление записи", ICON::Asterisk);
            }
        };
    };
    const LONG a = runWindow(u"MDI"_qs, aLog, {}, opener(aLog));
    const LONG b = runWindow(u"MDI"_qs, bLog, {}, opener(bLog));
    const LONG c = runWindow(u"MDI"_qs, cLog, {}, opener(cLog));
    for (LONG t : {a, b, c})
        ASSERT_TRUE(waitWindow(t));
    const auto backIn = [](LONG t, int control) {
        return waitFor([=] { return activeThread() == t && focusedControl(t) == control; }, 2000);
    };
    const std::vector<std::pair<const char*, std::function<void()>>> closings = {
        {"its close button", [b] { click(b, CANCEL); }},
        {"Esc", [b] { pressKey(b, NUM, Key::Esc); }},
        {"its close box",
         [b] {
             onGui([b] { rt::gui::topWindow(b)->top()->close(); });
             waitIdle(b);
         }},
    };
    for (const auto& [how, close] : closings) {
        focus(b, MDI::FIELD);
        POST(EVENT::Accepted, PRESS, b);
        ASSERT_TRUE(waitFor([b] { return title(b) == QStringLiteral("Форма проверки"); }));
        ASSERT_TRUE(waitIdle(b));
        close();
        ASSERT_TRUE(waitFor([b] { return title(b) == QStringLiteral("Дочернее окно"); })) << how;
        EXPECT_TRUE(backIn(b, MDI::FIELD)) << "the form closed by " << how << ": window of thread "
                                           << activeThread() << ", control " << focusedControl(b);
    }
    // A message box answered: the keyboard is where it was, and the next
    // keystroke goes there.
    focus(c, MDI::FIELD);
    POST(EVENT::User, 0, c);
    ASSERT_TRUE(waitDialog(c));
    answerMessage(c, BUTTON::Ok);
    EXPECT_TRUE(backIn(c, MDI::FIELD));
    keystroke(c, Key::Enter);
    EXPECT_TRUE(cLog.has(EVENT::Accepted, MDI::FIELD));
    EXPECT_FALSE(aLog.has(EVENT::Accepted, MDI::FIELD));
    EXPECT_FALSE(bLog.has(EVENT::Accepted, MDI::FIELD));
    // Esc in a list window does what its close box does; the frame stays.
    pressKey(a, MDI::FIELD, Key::Esc);
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    EXPECT_TRUE(aLog.has(EVENT::CloseWindow, 0));
    pressKey(f, 0, Key::Esc);
    EXPECT_FALSE(frameLog.has(EVENT::CloseWindow, 0));
    closeThread(b);
    closeThread(c);
    closeThread(f);
}

TEST(Responsiveness, AStuckThreadLeavesOtherWindowsResponsive) {
    Log stuckLog, otherLog;
    std::atomic<bool> release{false};
    std::atomic<bool> spinning{false};
    const LONG a = runWindow(u"MDI"_qs, stuckLog, {}, [&](Window& w) {
        if (ACCEPTED() != PRESS)
            return;
        w[PROP::Text] = u"Занят";
        spinning = true;
        while (!release) {
            // A long loop that never returns to its window's event loop.
        }
    });
    const LONG b = runWindow(u"MDI"_qs, otherLog);
    ASSERT_TRUE(waitWindow(a));
    ASSERT_TRUE(waitWindow(b));
    click(a, PRESS, 200);  // the thread does not come back to its loop
    ASSERT_TRUE(waitFor([&] { return spinning.load(); }));
    QElapsedTimer t;
    t.start();
    click(b, PRESS);
    type(b, MDI::FIELD, QStringLiteral("работает"));
    EXPECT_TRUE(otherLog.has(EVENT::Accepted, PRESS));
    EXPECT_LT(t.elapsed(), 3000) << "the other window answered at once";
    // The stuck window itself still paints and takes clicks into its queue.
    EXPECT_EQ(title(a), QStringLiteral("Занят"));
    click(a, PRESS, 200);
    EXPECT_EQ(stuckLog.count(EVENT::Accepted, PRESS), 1);
    release = true;
    ASSERT_TRUE(waitIdle(a));
    EXPECT_EQ(stuckLog.count(EVENT::Accepted, PRESS), 2) << "the queued click is taken afterwards";
    closeThread(a);
    closeThread(b);
}

TEST(Controls, AControlWithoutAStatusMessageShowsTheWindowsStatusText) {
    Log log;
    const LONG a = runWindow(u"FORM"_qs, log, {}, [&](Window& w) {
        if (EVENT() == EVENT::User)
            w[PROP::StatusText] = u"Редактировать";
    });
    ASSERT_TRUE(waitWindow(a));
    POST(EVENT::User, 0, a);
    ASSERT_TRUE(waitIdle(a));
    const auto zone1 = [a] {
        return onGui([a] {
            QStatusBar* bar = rt::gui::topWindow(a)->top()->findChild<QStatusBar*>();
            return bar ? bar->findChildren<QLabel*>().first()->text() : QString();
        });
    };
    EXPECT_EQ(zone1(), QStringLiteral("Редактировать"));
    focus(a, NUM);  // its own message
    EXPECT_EQ(zone1(), QStringLiteral("Число"));
    focus(a, FORM::NAME);  // none: the window's again
    EXPECT_EQ(zone1(), QStringLiteral("Редактировать"));
    closeThread(a);
}

TEST(Dialogs, ErrorQuestionsAreAnsweredInAMessageBox) {
    std::atomic<int> answer{-1};
    ErrorClass errors;
    const LONG a = START([&] {
        errors.SetProcedureName(u"UpDateRub");
        answer = errors.Throw(Msg::ConfirmDelete) ? 1 : 0;
    });
    ASSERT_TRUE(waitDialog(a));
    EXPECT_EQ(messageText(a), QStringLiteral("Удалить эту запись?"));
    // The title names the procedure, and the box is wide enough to show it.
    EXPECT_EQ(messageTitle(a), QStringLiteral("Удаление записи — UpDateRub"));
    EXPECT_TRUE(messageTitleFits(a));
    EXPECT_EQ(messageButtons(a), (QStringList{QStringLiteral("Да"), QStringLiteral("Нет")}));
    answerMessage(a, BUTTON::Yes);
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    EXPECT_EQ(answer, 1);
}

TEST(Dialogs, FolderDialogGivesTheFolderWithItsSeparator) {
    QTemporaryDir dir;
    const QString before = rt::currentFolder();
    STRING<255> path;
    std::atomic<int> chosen{-1};
    const LONG a = START(
        [&] { chosen = FILEDIALOG(u"Выбрать путь", ref(path), {}, FILEDLG::Directory) ? 1 : 0; });
    ASSERT_TRUE(waitDialog(a));
    EXPECT_EQ(messageText(a), QStringLiteral("Выбрать путь"));
    answerFileDialog(a, dir.path());
    ASSERT_TRUE(rt::waitThreadEnd(a, kWait));
    EXPECT_EQ(chosen, 1);
    EXPECT_EQ(path.clip(), QDir(dir.path()).canonicalPath() + u'/');
    EXPECT_EQ(QDir(rt::currentFolder()).canonicalPath(), QDir(dir.path()).canonicalPath())
        << "the chosen folder becomes the current one";
    rt::setCurrentFolder(before);

    // A cancelled dialog changes nothing.
    const LONG b = START(
        [&] { chosen = FILEDIALOG(u"Выбрать документ", ref(path), u"All Files|*.*", 0) ? 1 : 0; });
    ASSERT_TRUE(waitDialog(b));
    answerFileDialog(b, QString());
    ASSERT_TRUE(rt::waitThreadEnd(b, kWait));
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(path.clip(), QDir(dir.path()).canonicalPath() + u'/');
}

TEST(Program, EndOfTheMainProcedureClosesEveryThreadsWindows) {
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--main-returns")});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(p.readAllStandardOutput().contains("closed 2, unanswered 2"));
}

namespace {
// The main procedure of --main-returns: two windows on two threads, and a
// message box waited for on a procedure thread and on a thread of the
// program's own; then it returns. Both windows must be told to close, the
// waits for an answer end, and the threads end.
int mainReturns(int argc, char** argv) {
    std::atomic<int> closed{0};
    std::atomic<int> unanswered{0};
    std::thread own;
    const int rc = rt::run(argc, argv, [&] {
        for (int i = 0; i < 2; ++i) {
            START([&] {
                Window w(u"uitest", u"MDI");
                w.open();
                while (ACCEPT()) {
                    if (EVENT() == EVENT::CloseWindow)
                        ++closed;
                }
            });
        }
        const auto ask = [&] {
            if (MESSAGE(u"Ответа не будет.", {}, ICON::Question, BUTTON::Yes | BUTTON::No,
                        BUTTON::No) == BUTTON::No)
                ++unanswered;
        };
        START(ask);
        own = std::thread(ask);
        waitFor([] {
            return rt::liveThreads() == 4 && waitIdle(2) && waitIdle(3) && waitIdle(4) &&
                   onGui([] {
                       int boxes = 0;
                       for (QWidget* w : QApplication::topLevelWidgets())
                           boxes += w->isVisible() && qobject_cast<QMessageBox*>(w) != nullptr;
                       return boxes;
                   }) == 2;
        });
    });
    own.join();
    std::printf("closed %d, unanswered %d\n", closed.load(), unanswered.load());
    return rc;
}
}  // namespace

int main(int argc, char** argv) {
    rt::addResourceFolder(QStringLiteral(KALDOR_UI_TEST_RESOURCES));
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--main-returns") {
            if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            return mainReturns(argc, argv);
        }
    }
    return uitest::main(argc, argv, {QStringLiteral(KALDOR_UI_TEST_RESOURCES)});
}
