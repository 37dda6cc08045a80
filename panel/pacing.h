#pragma once

// Blocking waits of the calling thread, in milliseconds.  The panel needs its frames paced
// (500 ms after the unit-system command, 10 ms between data frames, 20 ms between length
// requests) and the main window waits 100 ms at first show; these waits block the
// user-interface thread on purpose.  Tests shorten or record them through the hook.

#include <functional>

void Sleep(int milliseconds);

// Test seam: while a hook is set, Sleep() calls it instead of blocking.
using SleepHook = std::function<void(int milliseconds)>;
void SetSleepHook(SleepHook hook);
