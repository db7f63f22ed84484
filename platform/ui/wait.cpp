// How threads wait for one another: the GUI, a dialog's user, the threads
// they asked to close their windows.

#include <algorithm>

#include "detail.h"

namespace rt::detail {

namespace {

// Every waiter, so that the end of the program reaches each one that waits.
std::mutex gWaitersLock;
// Never freed: a waiter may go after the program's statics.
std::vector<Waiter*>& waiters() {
    static auto* all = new std::vector<Waiter*>;
    return *all;
}

}  // namespace

Waiter::Waiter() {
    std::lock_guard<std::mutex> l(gWaitersLock);
    waiters().push_back(this);
}

Waiter::~Waiter() {
    std::lock_guard<std::mutex> l(gWaitersLock);
    std::erase(waiters(), this);
}

void Waiter::signal(const std::function<void()>& change) {
    {
        std::lock_guard<std::mutex> l(m);
        change();
    }
    cv.notify_all();
}

bool wait(Waiter& w, std::unique_lock<std::mutex>& lock, WaitFor why,
          const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline) {
    // The user's turn: the thread is idle, and the end of the program ends
    // the wait. A call to the GUI or a reply the thread needs to go on with
    // its work comes back whatever happens.
    const bool user = why != WaitFor::Reply;
    if (user)
        ++w.waiting;
    if (why == WaitFor::Answer) {
        ++w.answering;
        w.answered = &done;
    }
    const auto stop = [&] { return done() || (user && shuttingDown()); };
    if (deadline == std::chrono::steady_clock::time_point::max())
        w.cv.wait(lock, stop);
    else
        w.cv.wait_until(lock, deadline, stop);
    if (why == WaitFor::Answer) {
        --w.answering;
        w.answered = nullptr;
        w.lastAnswer = std::chrono::steady_clock::now();
    }
    if (user)
        --w.waiting;
    return done();
}

void wakeAll() {
    std::lock_guard<std::mutex> l(gWaitersLock);
    for (Waiter* w : waiters()) {
        // Through the lock: a thread between its test and its wait still sees
        // the change.
        { std::lock_guard<std::mutex> wl(w->m); }
        w->cv.notify_all();
    }
}

std::shared_ptr<Waiter> currentWaiter() {
    if (std::shared_ptr<ThreadContext> ctx = currentContextShared())
        return ctx;
    thread_local const std::shared_ptr<Waiter> own = std::make_shared<Waiter>();
    return own;
}

void CloseRequest::answer(State s) {
    asker->signal([&] {
        if (state == Pending)
            state = s;
    });
}

void answerClose(ThreadContext& ctx, CloseRequest::State s) {
    std::shared_ptr<CloseRequest> request;
    {
        std::lock_guard<std::mutex> l(ctx.m);
        request.swap(ctx.closing);
        ctx.closingAsked = 0;
    }
    if (request)
        request->answer(s);
}

}  // namespace rt::detail
