#include "runtime.h"

#include <pthread.h>

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <future>
#include <map>

#include "detail.h"
#include "dialogs.h"

namespace rt {

namespace detail {

// The object that calls for the GUI thread run on.
class Bridge : public QObject {
    Q_OBJECT
  public Q_SLOTS:
    // Runs the oldest call waiting.
    void runGuiCall();
};

}  // namespace detail

namespace {

std::mutex gThreadsLock;
std::condition_variable gThreadsChanged;
std::map<int, std::shared_ptr<detail::ThreadContext>> gThreads;  // live threads
int gLive = 0;                                                   // guarded by gThreadsLock

std::atomic<bool> gShutdown{false};
std::atomic<bool> gRunning{false};
Qt::HANDLE gGuiThread = nullptr;

thread_local std::shared_ptr<detail::ThreadContext> tCtx;

// The object that queued calls run on; it lives on the GUI thread while run()
// runs. The lock keeps a post from racing the object's destruction.
std::mutex gBridgeLock;
QObject* gBridge = nullptr;
// The calls for the GUI thread, oldest first (under gBridgeLock). Each queued
// invocation of the bridge's slot runs the oldest: a call and what it carries
// pass from thread to thread through this lock, which a race checker sees, and
// not through Qt's own event queue, which it does not (nor anything of the
// program's own in the event: Qt makes it and frees it).
std::deque<std::function<void()>> gGuiCalls;

// With gBridgeLock held and the bridge there.
void queueGuiCall(std::function<void()> fn) {
    gGuiCalls.push_back(std::move(fn));
    QMetaObject::invokeMethod(gBridge, "runGuiCall", Qt::QueuedConnection);
}

int shutdownWaitMs() {
    const int env = qEnvironmentVariableIntValue("KALDOR_SHUTDOWN_WAIT_MS");
    return env > 0 ? env : 5000;
}

struct StartArgs {
    std::function<void()> procedure;
    std::promise<int> number;
    bool main = false;
};

void endOthers() {
    // The main procedure has returned: every other thread's loop closes its
    // windows; wait for them a bounded time.
    gShutdown = true;
    detail::wakeAll();
    std::unique_lock<std::mutex> l(gThreadsLock);
    gThreadsChanged.wait_for(l, std::chrono::milliseconds(shutdownWaitMs()),
                             [] { return gLive <= 1; });
}

void* threadMain(void* p) {
    std::unique_ptr<StartArgs> a(static_cast<StartArgs*>(p));
    auto ctx = std::make_shared<detail::ThreadContext>();
    int n;
    if (a->main) {
        assignMainThreadNumber();
        n = 1;
    } else {
        n = assignThreadNumber();
    }
    ctx->number = n;
    {
        std::lock_guard<std::mutex> l(gThreadsLock);
        gThreads[n] = ctx;
    }
    tCtx = ctx;
    a->number.set_value(n);
    runThreadStartHook();
    try {
        a->procedure();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kaldor: thread %d ended by an exception: %s\n", n, e.what());
    } catch (...) {
        std::fprintf(stderr, "kaldor: thread %d ended by an exception\n", n);
    }
    a->procedure = nullptr;
    detail::closeThreadWindows(*ctx);
    if (a->main)
        endOthers();
    runThreadEndHook();
    {
        std::lock_guard<std::mutex> l(gThreadsLock);
        gThreads.erase(n);
        --gLive;
        // Under the lock: a waiter that finds this thread gone may end the
        // process, and the condition must not go while it is being notified.
        gThreadsChanged.notify_all();
    }
    tCtx.reset();
    if (a->main)
        gui::post([] { QCoreApplication::exit(0); });
    return nullptr;
}

int startThread(std::function<void()> procedure, std::size_t stack, bool main) {
    auto* a = new StartArgs;
    a->procedure = std::move(procedure);
    a->main = main;
    std::future<int> number = a->number.get_future();
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, std::max(stack, kMinimumStack));
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    {
        std::lock_guard<std::mutex> l(gThreadsLock);
        ++gLive;
    }
    pthread_t t;
    const int rc = pthread_create(&t, &attr, threadMain, a);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete a;
        std::lock_guard<std::mutex> l(gThreadsLock);
        --gLive;
        return 0;
    }
    return number.get();
}

}  // namespace

// ---------------------------------------------------------------------------

namespace detail {

std::shared_ptr<ThreadContext> context(int thread) {
    std::lock_guard<std::mutex> l(gThreadsLock);
    auto it = gThreads.find(thread);
    return it == gThreads.end() ? nullptr : it->second;
}

ThreadContext* currentContext() {
    return tCtx.get();
}

std::shared_ptr<ThreadContext> currentContextShared() {
    return tCtx;
}

void push(ThreadContext& ctx, Item item) {
    {
        std::lock_guard<std::mutex> l(ctx.m);
        ctx.queue.push_back(std::move(item));
    }
    ctx.cv.notify_all();
}

bool waitFor(ThreadContext& ctx, std::unique_lock<std::mutex>& lock,
             const std::function<bool()>& pred, std::chrono::steady_clock::time_point deadline) {
    ++ctx.waiting;
    const auto stop = [&] { return pred() || gShutdown.load(); };
    if (deadline == std::chrono::steady_clock::time_point::max()) {
        ctx.cv.wait(lock, stop);
    } else {
        ctx.cv.wait_until(lock, deadline, stop);
    }
    --ctx.waiting;
    return pred();
}

void wakeAll() {
    std::vector<std::shared_ptr<ThreadContext>> all;
    {
        std::lock_guard<std::mutex> l(gThreadsLock);
        for (auto& [n, c] : gThreads)
            all.push_back(c);
    }
    for (auto& c : all) {
        { std::lock_guard<std::mutex> l(c->m); }
        c->cv.notify_all();
    }
}

}  // namespace detail

// ---------------------------------------------------------------------------

void detail::Bridge::runGuiCall() {
    std::function<void()> fn;
    {
        std::lock_guard<std::mutex> l(gBridgeLock);
        if (gGuiCalls.empty())
            return;
        fn = std::move(gGuiCalls.front());
        gGuiCalls.pop_front();
    }
    fn();
}

int run(int argc, char** argv, std::function<void()> mainProcedure) {
    std::unique_ptr<QApplication> app;
    installTranslations();  // before Qt first reads the system's locale
    if (!qApp)
        app = std::make_unique<QApplication>(argc, argv);
    // The program ends when its main procedure returns, not with its last window.
    QApplication::setQuitOnLastWindowClosed(false);
    installTranslations();
    gGuiThread = QThread::currentThreadId();
    gShutdown = false;
    {
        std::lock_guard<std::mutex> l(gBridgeLock);
        gBridge = new detail::Bridge;
    }
    detail::startGui();
    gRunning = true;
    installMessageReporter();
    int rc = 0;
    if (startThread(std::move(mainProcedure), 0, true) != 0) {
        rc = QApplication::exec();
    } else {
        std::fputs("kaldor: cannot start the main procedure's thread\n", stderr);
        rc = 1;
    }
    // Thread 1 has ended (or could not start): whatever is left goes.
    gShutdown = true;
    detail::wakeAll();
    {
        std::unique_lock<std::mutex> l(gThreadsLock);
        gThreadsChanged.wait_for(l, std::chrono::milliseconds(shutdownWaitMs()),
                                 [] { return gLive == 0; });
    }
    gRunning = false;
    removeMessageReporter();
    std::deque<std::function<void()>> unrun;
    {
        std::lock_guard<std::mutex> l(gBridgeLock);
        delete gBridge;
        gBridge = nullptr;
        unrun.swap(gGuiCalls);
    }
    unrun.clear();  // outside the lock: what they hold may post again
    detail::stopGui();
    int stuck;
    {
        std::lock_guard<std::mutex> l(gThreadsLock);
        stuck = gLive;
    }
    if (stuck > 0) {
        // A thread that does not come back cannot be joined; leaving the
        // process now is cleaner than tearing statics down under it.
        std::fprintf(stderr, "kaldor: %d procedure thread(s) did not end; exiting\n", stuck);
        std::fflush(nullptr);
        std::_Exit(rc);
    }
    gShutdown = false;
    return rc;
}

bool running() {
    return gRunning;
}

bool shuttingDown() {
    return gShutdown;
}

bool isProcedureThread() {
    return tCtx != nullptr;
}

int liveThreads() {
    std::lock_guard<std::mutex> l(gThreadsLock);
    return gLive;
}

std::vector<int> threads() {
    std::lock_guard<std::mutex> l(gThreadsLock);
    std::vector<int> out;
    out.reserve(gThreads.size());
    for (const auto& [n, ctx] : gThreads)
        out.push_back(n);
    return out;
}

bool threadAlive(int thread) {
    std::lock_guard<std::mutex> l(gThreadsLock);
    return gThreads.count(thread) != 0;
}

bool waitThreadEnd(int thread, int timeoutMs) {
    std::unique_lock<std::mutex> l(gThreadsLock);
    return gThreadsChanged.wait_for(l, std::chrono::milliseconds(timeoutMs),
                                    [&] { return gThreads.count(thread) == 0; });
}

const Event& currentEvent() {
    static const Event none;
    return tCtx ? tCtx->current : none;
}

Value eventValue() {
    return currentEvent().value;
}

void cycle() {
    if (tCtx)
        tCtx->cycled = true;
}

namespace {

// ctx.m held.
bool idleLocked(const detail::ThreadContext& ctx) {
    if (ctx.waiting == 0)
        return false;
    for (const detail::Item& i : ctx.queue) {
        // Queued state updates and events the thread has no window for do
        // not keep it busy; anything else does.
        if (!i.apply)
            return false;
    }
    return true;
}

}  // namespace

bool threadIdle(int thread, std::uint64_t* served) {
    auto ctx = detail::context(thread);
    if (!ctx)
        return false;
    std::lock_guard<std::mutex> l(ctx->m);
    if (served)
        *served = ctx->served;
    return idleLocked(*ctx);
}

bool threadWaitsForEvents(int thread) {
    auto ctx = detail::context(thread);
    if (!ctx)
        return false;
    std::lock_guard<std::mutex> l(ctx->m);
    return ctx->answering == 0 && idleLocked(*ctx);
}

bool postEvent(int thread, Event e) {
    auto ctx = detail::context(thread);
    if (!ctx)
        return false;
    detail::push(*ctx, detail::Item{std::move(e), nullptr});
    return true;
}

namespace gui {

void post(std::function<void()> fn) {
    std::lock_guard<std::mutex> l(gBridgeLock);
    if (!gBridge)
        return;
    queueGuiCall(std::move(fn));
}

bool call(std::function<void()> fn) {
    if (isGuiThread()) {
        fn();
        return true;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> f = done->get_future();
    {
        std::lock_guard<std::mutex> l(gBridgeLock);
        if (!gBridge)
            return false;
        queueGuiCall([fn = std::move(fn), done] {
            fn();
            done->set_value();
        });
    }
    // The GUI never waits for us, so it answers; give up only when it ends.
    while (f.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        std::lock_guard<std::mutex> l(gBridgeLock);
        if (!gBridge)
            return false;
    }
    return true;
}

bool isGuiThread() {
    return gGuiThread != nullptr && QThread::currentThreadId() == gGuiThread;
}

}  // namespace gui

}  // namespace rt

LONG START(std::function<void()> procedure, LONG stack) {
    if (rt::shuttingDown() || !procedure)
        return 0;
    return rt::startThread(std::move(procedure), stack > 0 ? std::size_t(stack) : 0, false);
}

bool POST(int event, int control, LONG thread) {
    if (thread == 0)
        thread = THREAD();
    rt::Event e;
    e.event = event;
    e.field = control;
    return rt::postEvent(thread, std::move(e));
}

EVENT::operator int() const {
    return rt::currentEvent().event;
}

int FIELD() {
    return rt::currentEvent().field;
}

int ACCEPTED() {
    const rt::Event& e = rt::currentEvent();
    return e.event == EVENT::Accepted ? e.field : 0;
}

int SELECTED() {
    const rt::Event& e = rt::currentEvent();
    return e.event == EVENT::Selected ? e.field : 0;
}

int KEYCODE() {
    return rt::currentEvent().keycode;
}

#include "runtime.moc"
