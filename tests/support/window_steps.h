#pragma once
// Steps of the tests that drive the program's window procedures: each started
// on a thread of its own, as the frame starts them, and closed as the user
// closes its window.

#include <gtest/gtest.h>

#include <functional>

#include "ui/events.h"
#include "ui/runtime.h"
#include "uidriver.h"

// Starts `procedure` on a new thread with `stack` and waits until its window
// is open and the thread idle; the thread's number.
inline LONG startProcedure(const std::function<void()>& procedure, LONG stack) {
    const LONG th = START(procedure, stack);
    EXPECT_TRUE(uitest::waitWindow(th));
    uitest::waitIdle(th);
    return th;
}

// Closes the thread's window and waits until the thread has ended.
inline void closeProcedure(LONG th) {
    POST(EVENT::CloseWindow, 0, th);
    EXPECT_TRUE(rt::waitThreadEnd(th, uitest::kWait));
}
