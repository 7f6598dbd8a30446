// Starting the runtime on the publication and waiting until it is ready or has ended.
#include "launcher/launch.h"

#include "base/mem.h"
#include "launcher/args.h"
#include "launcher/run_state.h"
#include "signal/hub.h"
#include "signal/splash.h"

namespace {

// The full path of the launcher's own executable, as the system reports it for the main
// module; the command line's program name may be relative or abbreviated.
TText OwnPath() {
  TText path;
  for (DWORD size = MAX_PATH + 1; size <= 0x8000; size *= 2) {
    char* buffer = static_cast<char*>(QvAlloc(size));
    if (!buffer) break;
    DWORD n = GetModuleFileNameA(nullptr, buffer, size);
    bool fits = n < size;
    if (fits) path.Assign(buffer, n);
    QvFree(buffer);
    if (fits) break;
  }
  return path;
}

}  // namespace

void LaunchViewer() {
  DWORD waitTime = Run.UseTempRuntime ? INFINITE : 0;
  HWND splash = static_cast<HWND>(Run.SplashWindow);
  TText self = OwnPath();
  TText viewerParameters = BuildViewerParameters(self.CStr(), GetCommandLineA());

  UINT readyMessage = 0;
  if (Run.UseTempRuntime) {
    // A temporary copy is waited for until it ends, which can take as long as the user reads.
    ShowWindow(splash, SW_HIDE);
  } else {
    readyMessage = RegisterWindowMessageA(kReadyMessageName);
    ViewerReady = false;
    AttachMessageHandler(OnViewerReady, readyMessage, 0);
    // Set before the start, so a runtime that is slow to take input counts against the limit.
    ReadyTimer = SetTimer(nullptr, 0, kReadyTimeLimitMs, ReadyTimerProc);
  }
  ProcessPendingMessages();

  RunProcess(Run.RuntimePath.CStr(), viewerParameters.CStr(), DirectoryOf(self.CStr()).CStr(),
             SW_SHOWNORMAL, waitTime, IsNtFamily(), nullptr);

  if (!Run.UseTempRuntime) {
    WaitForViewerReady();
    StopReadyTimer();
    if (readyMessage != 0) DetachMessageHandler(OnViewerReady, readyMessage, 0);
  }
  ShowWindow(splash, SW_HIDE);
  ProcessPendingMessages();
  if (splash) {
    DestroyWindow(splash);
    Run.SplashWindow = nullptr;
  }
  if (Run.UseTempRuntime) DeleteFileA(Run.RuntimePath.CStr());
}
