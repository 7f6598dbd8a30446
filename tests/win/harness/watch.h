// Inside the harness: reading other processes' windows.
#pragma once
#include <windows.h>

#include <vector>

#include "tests/win/harness/harness.h"

namespace harness {

// Top-level windows owned by any of these processes, in Z order.
std::vector<HWND> TopWindowsOf(const std::vector<DWORD>& pids);
// Top-level windows of one thread.
std::vector<HWND> ThreadWindows(DWORD tid);
// Fills everything but the times; false when the window vanished while it was read.
bool ReadWindow(HWND hwnd, WindowRecord& out);
// Waits up to ms while dispatching this thread's messages (window event hooks need them).
void PumpAndSleep(DWORD ms);

}  // namespace harness
