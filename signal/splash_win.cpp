#include "signal/splash.h"

TText SplashText;
volatile bool ViewerReady = false;
UINT_PTR ReadyTimer = 0;

void CenterWindowOnScreen(HWND window) {
  RECT r;
  if (!GetWindowRect(window, &r)) return;
  // Signed halving: a window larger than the screen gets negative coordinates, toward zero.
  int x = (GetSystemMetrics(SM_CXSCREEN) - r.right + r.left) / 2;
  int y = (GetSystemMetrics(SM_CYSCREEN) - r.bottom + r.top) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  CenterWindowOnScreen(dialog);
  SetDlgItemTextA(dialog, kSplashTextId, SplashText.CStr());
  return -1;
}

void ProcessPendingMessages() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    // A quit request here would end the later readiness wait before it began: drop it.
    if (m.message == WM_QUIT) continue;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

void WaitForViewerReady() {
  MSG m;
  for (;;) {
    BOOL got = GetMessageA(&m, nullptr, 0, 0);
    if (got == 0 || got == -1) return;  // WM_QUIT, or a queue that can no longer be read
    TranslateMessage(&m);
    DispatchMessageA(&m);
    if (ViewerReady) return;
  }
}

void OnViewerReady(HWND, UINT, WPARAM, LPARAM, LRESULT&) {
  ViewerReady = true;
  // A sent signal is handled inside GetMessageA, which then goes on waiting for a queued
  // message; without one the wait window would stay up until the time limit. A null
  // message wakes the loop so it sees the signal at once.
  PostThreadMessageA(GetCurrentThreadId(), WM_NULL, 0, 0);
}

void CALLBACK ReadyTimerProc(HWND, UINT, UINT_PTR, DWORD) {
  ViewerReady = true;
  StopReadyTimer();
}

void StopReadyTimer() {
  if (ReadyTimer) KillTimer(nullptr, ReadyTimer);
}
