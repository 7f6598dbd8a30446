// The wait window and the wait for the runtime's readiness signal.
#pragma once
#include <windows.h>

#include "base/text.h"

extern TText SplashText;
extern volatile bool ViewerReady;
extern UINT_PTR ReadyTimer;

constexpr int kSplashTextId = 3;
constexpr int kSplashIconId = 4;
constexpr UINT kReadyTimeLimitMs = 20000;
constexpr const char* kReadyMessageName = "QVLoaderSysMessage";

INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void CenterWindowOnScreen(HWND window);
void ProcessPendingMessages();
void WaitForViewerReady();
void OnViewerReady(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
void CALLBACK ReadyTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD time);
void StopReadyTimer();
