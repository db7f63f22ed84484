#include "runtime.h"

#include <pthread.h>

#include <QApplication>
#include <QMetaObject>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <exception>
#include <future>
#include <map>
#include <utility>

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
    // A request that came after the last window went.
    detail::answerClose(*ctx, detail::CloseRequest::Closed);
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

void guiThreadOnly(const char* where) {
    if (gGuiThread != nullptr && QThread::currentThreadId() != gGuiThread)
        qFatal("kaldor: %s runs on the GUI thread only", where);
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
    // Waiting for a dialog's user, until the answer comes: what is queued
    // meanwhile waits for it too.
    if (ctx.answering > 0)
        return !(*ctx.answered)();
    // A request to close its windows that it has not taken yet.
    if (ctx.closing && ctx.closingAsked == 0)
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

bool postEvent(int thread, Event e) {
    auto ctx = detail::context(thread);
    if (!ctx)
        return false;
    detail::push(*ctx, detail::Item{std::move(e), nullptr});
    return true;
}

namespace {
// A thread asked to close its windows that for this long neither answers nor
// waits for a dialog's user is busy elsewhere.
constexpr auto kBusyLimit = std::chrono::seconds(10);
}  // namespace

bool closeOtherThreadsWindows() {
    using Clock = std::chrono::steady_clock;
    using detail::CloseRequest;
    struct Asked {
        std::shared_ptr<detail::ThreadContext> ctx;
        std::shared_ptr<CloseRequest> request;
        Clock::time_point alive;  // its last sign of life
        bool leftAlone = false;
    };
    const std::shared_ptr<detail::Waiter> self = detail::currentWaiter();
    std::vector<std::shared_ptr<detail::ThreadContext>> others;
    {
        std::lock_guard<std::mutex> l(gThreadsLock);
        for (const auto& [n, ctx] : gThreads) {
            if (ctx != tCtx)
                others.push_back(ctx);
        }
    }
    std::vector<Asked> asked;
    for (const std::shared_ptr<detail::ThreadContext>& ctx : others) {
        auto request = std::make_shared<CloseRequest>(self);
        std::shared_ptr<CloseRequest> unanswered;  // goes after the lock
        {
            std::lock_guard<std::mutex> l(ctx->m);
            if (ctx->windowCount == 0)
                continue;
            // One not answered yet gives way; a window it reached is not
            // asked twice.
            unanswered = std::exchange(ctx->closing, request);
        }
        ctx->cv.notify_all();
        asked.push_back({ctx, request, Clock::now()});
    }
    std::unique_lock<std::mutex> l(self->m);
    const auto settled = [&] {
        return std::count_if(asked.begin(), asked.end(), [](const Asked& a) {
            return a.request->state != CloseRequest::Pending;
        });
    };
    for (;;) {
        bool pending = false;
        Clock::time_point deadline = Clock::time_point::max();
        for (const Asked& a : asked) {
            if (a.request->state == CloseRequest::Kept)
                return false;
            if (a.request->state == CloseRequest::Pending && !a.leftAlone) {
                pending = true;
                deadline = std::min(deadline, a.alive + kBusyLimit);
            }
        }
        if (!pending)
            return true;
        const auto before = settled();
        if (detail::wait(
                *self, l, detail::WaitFor::Reply, [&] { return settled() > before; }, deadline))
            continue;
        // No reply for long: a thread that answered no dialog meanwhile is
        // busy elsewhere.
        l.unlock();
        const Clock::time_point now = Clock::now();
        for (Asked& a : asked) {
            if (a.leftAlone || now < a.alive + kBusyLimit)
                continue;
            std::lock_guard<std::mutex> tl(a.ctx->m);
            a.alive = a.ctx->answering > 0 ? now : std::max(a.alive, a.ctx->lastAnswer);
            a.leftAlone = now >= a.alive + kBusyLimit;
        }
        l.lock();
    }
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
    // The call comes back when the GUI has run it, or unrun when the GUI
    // drops it on its way out: either way its last copy goes then.
    struct Outcome {
        bool over = false;  // guarded by the waiter's lock
        bool ran = false;
    };
    struct Return {
        Return(std::shared_ptr<detail::Waiter> w, std::shared_ptr<Outcome> o)
            : waiter(std::move(w)), outcome(std::move(o)) {}
        Return(const Return&) = delete;
        Return& operator=(const Return&) = delete;
        ~Return() {
            waiter->signal([o = outcome.get()] { o->over = true; });
        }
        const std::shared_ptr<detail::Waiter> waiter;
        const std::shared_ptr<Outcome> outcome;
    };
    const std::shared_ptr<detail::Waiter> waiter = detail::currentWaiter();
    auto outcome = std::make_shared<Outcome>();
    {
        auto back = std::make_shared<Return>(waiter, outcome);
        std::lock_guard<std::mutex> l(gBridgeLock);
        if (!gBridge)
            return false;
        queueGuiCall([fn = std::move(fn), back] {
            fn();
            back->outcome->ran = true;
        });
    }
    std::unique_lock<std::mutex> l(waiter->m);
    detail::wait(*waiter, l, detail::WaitFor::Reply, [&] { return outcome->over; });
    return outcome->ran;
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
