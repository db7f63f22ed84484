#pragma once
// Procedure threads, their event queues and the program's entry.
//
// The GUI thread (the process's first thread) runs QApplication and nothing but
// the windows: it turns user input into events and never waits for a procedure
// thread. The program's code runs on procedure threads: the main procedure on
// thread 1, each START on a new thread with its own number. Each procedure
// thread has one event queue; its windows' loops (ACCEPT) take events from it.
// Calls from a procedure thread into its windows are carried to the GUI thread.

#include <QtGlobal>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/threads.h"
#include "core/values.h"
#include "events.h"

namespace rt {

// One event in a thread's queue.
struct Event {
    int event = 0;
    int field = 0;       // the control concerned; 0 the window
    int keycode = 0;     // of AlertKey events
    quint64 window = 0;  // the window it belongs to; 0 the thread's current window
    Value value;         // what the control reported: typed text, new choice, ...
    bool input = false;  // user input through the GUI (not a POST)
};

// The program's entry, called from main(): makes the QApplication on the
// calling (first) thread, runs `mainProcedure` on procedure thread 1 and the
// GUI loop until it returns. Then the windows of other threads are closed and
// their threads waited for (a few seconds at most). Returns the exit code.
int run(int argc, char** argv, std::function<void()> mainProcedure);

// The GUI loop runs (run() was entered and has not finished).
bool running();
// Thread 1 has returned: every window loop closes its window.
bool shuttingDown();

// The calling thread is a procedure thread started by the runtime.
bool isProcedureThread();
// Procedure threads that have not ended yet.
int liveThreads();
// Their numbers, in order.
std::vector<int> threads();
bool threadAlive(int thread);
// Waits (on a procedure or plain thread) until `thread` has ended.
bool waitThreadEnd(int thread, int timeoutMs);

// The calling thread's current event (the one ACCEPT returned last).
const Event& currentEvent();
// The value the event carries (typed text, new choice, row, ...).
Value eventValue();
// Keeps the window open after a close-window event (the loop goes on).
void cycle();

// True while `thread` waits for its user: in ACCEPT with nothing queued, or for
// the answer of a dialog (what is queued meanwhile waits for the answer too).
// *served counts the events it has taken.
bool threadIdle(int thread, std::uint64_t* served = nullptr);

// Asks every other procedure thread to close its windows, newest first, as
// their close boxes would: a form with changes asks its user, who may keep
// it. Each thread answers for itself once its last window has gone or its
// user kept one. True when they all closed (a thread that, for 10 s, neither
// answered nor showed a dialog is left to the runtime's own close at the end
// of the program); false as soon as one kept a window.
bool closeOtherThreadsWindows();

// Puts an event into a thread's queue; safe from any thread, the GUI's too.
bool postEvent(int thread, Event e);

// Queued calls to the GUI thread.
namespace gui {
// Runs fn on the GUI thread later; never waits. Dropped when the GUI has ended.
void post(std::function<void()> fn);
// Runs fn on the GUI thread and waits for it. Never call it on the GUI thread.
// False when the GUI has ended (or ends while waiting).
bool call(std::function<void()> fn);
bool isGuiThread();
}  // namespace gui

// The smallest stack a procedure thread gets, whatever START asks for.
constexpr std::size_t kMinimumStack = 16u << 20;

}  // namespace rt

// Runs `procedure` on a new procedure thread and returns its number; 0 when
// no thread could be started. `stack` is a minimum in bytes.
LONG START(std::function<void()> procedure, LONG stack = 0);
// Puts `event` (for `control`) into the queue of `thread` (0: the calling
// thread); it reaches that thread's current window.
bool POST(int event, int control = 0, LONG thread = 0);

// The event loop of the calling thread's current window: waits for the next
// event and returns true, or false when the window has closed.
bool ACCEPT();
int FIELD();
// The control of an accepted (selected) event; 0 for other events.
int ACCEPTED();
int SELECTED();
int KEYCODE();
