#pragma once
// Internals shared by the runtime's source files. Not for other layers.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

#include "core/ini.h"
#include "declaration.h"
#include "runtime.h"

class Window;

namespace rt {
class GuiControl;
class GuiWindow;
}  // namespace rt

namespace rt::detail {

// A queued item: an event, or a state update (apply set) that the procedure
// thread applies to its window when it takes it (sizes, placement, focus).
struct Item {
    Event ev;
    std::function<void(Window&)> apply;
};

// Why a thread waits. For its next event or for the answer of a dialog it
// waits for the user: it counts as idle, and the end of the program ends the
// wait. For a call it gave the GUI, or for other threads' replies, it is busy
// and waits until they come (a call the GUI drops on its way out comes back
// unrun).
enum class WaitFor { Events, Answer, Reply };

// Where a thread waits: one lock and one condition. A procedure thread's is
// its context's; any other thread has one of its own. Whatever a waiter's
// condition reads is changed under its lock and followed by a notification
// (signal does both).
struct Waiter {
    Waiter();
    virtual ~Waiter();
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    std::mutex m;
    std::condition_variable cv;
    // Guarded by m: >0 while blocked for events or an answer; >0 while blocked
    // for a dialog's answer, and meanwhile whether it has come; when the last
    // answer came.
    int waiting = 0;
    int answering = 0;
    const std::function<bool()>* answered = nullptr;
    std::chrono::steady_clock::time_point lastAnswer;

    // Runs `change` under the lock and wakes the waiting thread. Never call it,
    // nor let the last reference to a waiter go, holding another waiter's lock
    // (the end of the program takes every waiter's lock under the list of them).
    void signal(const std::function<void()>& change);
};

// The one way a thread waits for another (the GUI, a dialog's user, the
// threads it asked): until done() holds, the deadline passes or, for events
// and answers, the program ends. `lock` holds w.m; done() is read under it.
// Counts the thread as idle while it waits for events or an answer. Returns
// done().
bool wait(
    Waiter& w, std::unique_lock<std::mutex>& lock, WaitFor why, const std::function<bool()>& done,
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());
// Wakes every waiting thread to look again (the program is ending).
void wakeAll();
// The calling thread's waiter: its context on a procedure thread.
std::shared_ptr<Waiter> currentWaiter();

// Another thread's request that this one close its windows, newest first, as
// their close boxes would; answered once, by the thread itself.
struct CloseRequest {
    enum State { Pending, Closed, Kept };
    explicit CloseRequest(std::shared_ptr<Waiter> asker) : asker(std::move(asker)) {}
    void answer(State s);

    const std::shared_ptr<Waiter> asker;
    State state = Pending;  // guarded by asker->m
};

struct ThreadContext : Waiter {
    int number = 0;
    std::deque<Item> queue;  // guarded by m
    std::uint64_t served = 0;
    int windowCount = 0;  // guarded by m: open windows
    // Guarded by m: the request to close the windows, until answered, and the
    // window it has been delivered to (0: none yet).
    std::shared_ptr<CloseRequest> closing;
    quint64 closingAsked = 0;
    // Owner thread only:
    std::vector<Window*> windows;  // open windows, oldest first
    Window* target = nullptr;
    Event current;
    bool cycled = false;
};

std::shared_ptr<ThreadContext> context(int thread);
// The calling thread's context; null on threads the runtime did not start.
ThreadContext* currentContext();
std::shared_ptr<ThreadContext> currentContextShared();
void push(ThreadContext& ctx, Item item);
// Answers the thread's close request, if any (m not held).
void answerClose(ThreadContext& ctx, CloseRequest::State s);

// Stops the program when code meant for the GUI thread runs on another: a
// widget touched from there corrupts memory far from the cause. Costs a
// comparison of thread ids; nothing before the GUI thread exists.
void guiThreadOnly(const char* where);

// Window hooks (window.cpp).
void closeThreadWindows(ThreadContext& ctx);
void notePlacement(Window& w, const WindowPlacement& p);
void noteControlSize(Window& w, int control, int width, int height);

// GUI host (gui.cpp). The gui* functions run on the GUI thread; the
// procedure side wraps them in gui::post or gui::call.
void startGui();
void stopGui();

using PropKey = std::tuple<int, int, int>;  // control, property, index

struct OpenRequest {
    quint64 id = 0;
    std::shared_ptr<ThreadContext> ctx;
    std::shared_ptr<const WindowDecl> decl;
    std::map<PropKey, Value> props;  // set before opening
    std::set<int> alerts;
    std::map<int, Value> screen;  // bound variables as shown
    bool hasPlacement = false;
    WindowPlacement placement;
};
struct OpenResult {
    bool ok = false;
    std::map<int, std::pair<int, int>> sizes;  // computed sizes of "default" controls, in DU
    WindowPlacement placement;
};
void guiOpen(const OpenRequest& request, OpenResult* result);
void guiClose(quint64 id);
void guiApply(quint64 id, int control, PROP p, int index, const Value& v);
void guiScreen(quint64 id, const std::vector<std::pair<int, Value>>& values);
void guiAlerts(quint64 id, const std::set<int>& alerts);
void guiRefuse(quint64 id, int control);
void guiSelect(quint64 id, int control);
void guiPlacement(quint64 id, const WindowPlacement& p);
void guiSystem(PROP p, const Value& v);
void guiWithControl(quint64 id, int control, const std::function<void(GuiControl&)>& fn);
void guiWithWindow(quint64 id, const std::function<void(GuiWindow&)>& fn);

}  // namespace rt::detail
