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

struct ThreadContext {
    int number = 0;
    std::mutex m;
    std::condition_variable cv;
    std::deque<Item> queue;  // guarded by m
    int waiting = 0;         // guarded by m: >0 while blocked for input
    int answering = 0;       // guarded by m: >0 while blocked for a dialog's answer
    std::uint64_t served = 0;
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

// Waits on ctx.cv until pred() or shutdown or the deadline; marks the thread
// as waiting meanwhile. Returns pred().
bool waitFor(
    ThreadContext& ctx, std::unique_lock<std::mutex>& lock, const std::function<bool()>& pred,
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max());
void wakeAll();

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
