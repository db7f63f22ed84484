#pragma once
// Drives the real widgets of a running program as a user would (clicks, typing,
// keys, menu choices, answers to message boxes) and waits until the window's
// thread has taken what that caused and waits for input again. Call it from a
// thread other than the GUI thread (tests run on procedure thread 1).
//
// Controls are addressed by thread and control number: the thread's newest
// window, as the user sees it.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <type_traits>

#include "ui/gui.h"
#include "ui/runtime.h"

namespace uitest {

constexpr int kWait = 5000;

// Runs f on the GUI thread and returns what it returns.
template <class F>
auto onGui(F&& f) -> decltype(f()) {
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        rt::gui::call(std::forward<F>(f));
    } else {
        R r{};
        rt::gui::call([&] { r = f(); });
        return r;
    }
}

// Waits until pred() holds (polled); false at the timeout.
bool waitFor(const std::function<bool()>& pred, int timeoutMs = kWait);
// The thread waits for input with nothing queued, and the GUI has carried out
// everything the thread asked of it. True at once for a thread that has ended.
bool waitIdle(int thread, int timeoutMs = kWait);
// The thread has a window open and is idle.
bool waitWindow(int thread, int timeoutMs = kWait);
// The thread shows a message box or dialog.
bool waitDialog(int thread, int timeoutMs = kWait);

// User actions; each waits until the thread is idle again.
void click(int thread, int control, int timeoutMs = kWait);
void chooseMenu(int thread, int item);
// Focuses an entry, replaces its text by typing, and (complete) leaves it with Tab.
void type(int thread, int control, const QString& text, bool complete = true);
// A key by its Key:: code (with Shift, Ctrl, Alt added) on a control (0: window).
void pressKey(int thread, int control, int keycode);
// A mouse click by its Key:: code (MouseLeft, MouseRight + modifiers).
void clickMouse(int thread, int control, int keycode);
void focus(int thread, int control);
void selectTab(int thread, int sheet, int position);
void chooseEntry(int thread, int control, int position);
void spinTo(int thread, int control, int value);

// A key by its Key:: code to whatever has the keyboard now, as the user's
// next keystroke goes: nothing is activated or focused first. Waits until
// `thread` is idle again.
void keystroke(int thread, int keycode);

// The newest message box or dialog of a thread.
QString messageText(int thread);
QString messageTitle(int thread);
// The message box is wide enough to show its whole title.
bool messageTitleFits(int thread);
QStringList messageButtons(int thread);
// Presses the BUTTON:: code of the message box; false when there is none.
bool answerMessage(int thread, int button);
// Chooses `path` in the file or folder dialog; an empty path cancels it.
bool answerFileDialog(int thread, const QString& path);

// What the user sees.
QString text(int thread, int control);
QString title(int thread);
QString tip(int thread, int control);
bool visible(int thread, int control);
bool enabled(int thread, int control);
bool hasFocus(int thread, int control);
QFont font(int thread, int control);
QColor textColor(int thread, int control);
QColor background(int thread, int control);
QRect geometry(int thread, int control);  // pixels on the window's client area
bool windowEnabled(int thread);           // the window takes input
// The thread whose window the user works in: the frame's active MDI child or
// the active top-level window; 0 none.
int activeThread();
// The control of the thread's newest window that has the keyboard; 0 none.
int focusedControl(int thread);
// The control shows `text` whole in its font, nothing cut.
bool fitsWhole(int thread, int control, const QString& text);
QWidget* widget(int thread, int control);  // use on the GUI thread only
// The number of the control declared as `equate` ("?OK") in the window the
// thread shows now (a form called on the thread has numbers of its own); 0 none.
int controlOf(int thread, const QString& equate);

// The entry of a test program: runs the tests on procedure thread 1 of a
// running program, with `resourceFolders` searched for window declarations.
int main(int argc, char** argv, const QStringList& resourceFolders);

}  // namespace uitest
