#pragma once
// Procedure threads: their numbers and the hooks that build and free each
// thread's own state. The window runtime starts the threads; tests that need no
// windows start plain threads and call the same hooks through ThreadScope.

#include <functional>

#include "values.h"

namespace rt {

// The number of the calling procedure thread: 1 for the program's main
// procedure, 2, 3, ... for the threads START begins; 0 for any other thread
// (the GUI thread among them).
int threadNumber();
// Gives the calling thread its number; a number is never given twice.
int assignThreadNumber();
// Gives the calling thread number 1 (the main procedure's thread).
void assignMainThreadNumber();

// Hooks run on every procedure thread before its procedure starts and after it
// returns. The program sets them once, before any procedure thread starts.
void setThreadHooks(std::function<void()> onStart, std::function<void()> onEnd);
void runThreadStartHook();
void runThreadEndHook();

// Makes the calling plain thread a procedure thread for the life of the object:
// a new number (or 1), then the start hook; the end hook when destroyed.
class ThreadScope {
  public:
    explicit ThreadScope(bool mainThread = false);
    ~ThreadScope();
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;
};

}  // namespace rt

// The calling thread's number.
LONG THREAD();
