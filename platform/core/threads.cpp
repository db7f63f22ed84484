#include "threads.h"

#include <atomic>
#include <mutex>

namespace rt {

namespace {
thread_local int tNumber = 0;
std::atomic<int> gNext{2};
std::mutex gHookLock;
std::function<void()> gOnStart;
std::function<void()> gOnEnd;
}  // namespace

int threadNumber() {
    return tNumber;
}

int assignThreadNumber() {
    tNumber = gNext.fetch_add(1);
    return tNumber;
}

void assignMainThreadNumber() {
    tNumber = 1;
}

void setThreadHooks(std::function<void()> onStart, std::function<void()> onEnd) {
    std::lock_guard<std::mutex> l(gHookLock);
    gOnStart = std::move(onStart);
    gOnEnd = std::move(onEnd);
}

void runThreadStartHook() {
    std::function<void()> f;
    {
        std::lock_guard<std::mutex> l(gHookLock);
        f = gOnStart;
    }
    if (f)
        f();
}

void runThreadEndHook() {
    std::function<void()> f;
    {
        std::lock_guard<std::mutex> l(gHookLock);
        f = gOnEnd;
    }
    if (f)
        f();
}

ThreadScope::ThreadScope(bool mainThread) {
    if (mainThread) {
        assignMainThreadNumber();
    } else {
        assignThreadNumber();
    }
    runThreadStartHook();
}

ThreadScope::~ThreadScope() {
    runThreadEndHook();
    tNumber = 0;
}

}  // namespace rt

LONG THREAD() {
    return rt::threadNumber();
}
