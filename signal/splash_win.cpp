// Placeholder until the wait window and readiness wait land: the dialog only sets its text.
#include "signal/splash.h"

TText SplashText;
volatile bool ViewerReady = false;
UINT_PTR ReadyTimer = 0;

INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextA(dialog, kSplashTextId, SplashText.CStr());
    return -1;
  }
  return 0;
}
void CenterWindowOnScreen(HWND) {}
void ProcessPendingMessages() {}
void WaitForViewerReady() {}
void OnViewerReady(HWND, UINT, WPARAM, LPARAM, LRESULT&) { ViewerReady = true; }
void CALLBACK ReadyTimerProc(HWND, UINT, UINT_PTR, DWORD) { ViewerReady = true; }
void StopReadyTimer() {}
