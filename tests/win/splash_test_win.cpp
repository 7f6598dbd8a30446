// The wait window and the readiness wait: its text and place on the screen, the signal from
// another process through the hub, the time limit, and what WM_QUIT does to both loops.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "signal/hub.h"
#include "signal/splash.h"

namespace {

// The "WA" template, built in memory: the test program carries no dialog resource.
class TWaitTemplate {
public:
  TWaitTemplate() {
    Dword(0x904400C0);  // WS_POPUP|WS_VISIBLE|WS_DLGFRAME|WS_THICKFRAME|DS_MODALFRAME|DS_SETFONT
    Dword(0);
    Word(2);
    for (int v : {18, 18, 162, 24}) Word(v);
    Word(0), Word(0), Word(0);  // no menu, the standard class, empty title
    Word(10);
    Text("MS Sans Serif");
    Control(0x50020000, 25, 8, 107, 9, 3, "*");
    Control(0x50000003, 3, 4, 14, 16, 4, "MAINICON");
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

private:
  void Word(int v) { words_.push_back(static_cast<WORD>(v)); }
  void Dword(DWORD v) { Word(v & 0xFFFF), Word(v >> 16); }
  void Text(const char* s) {
    while (*s) Word(static_cast<unsigned char>(*s++));
    Word(0);
  }
  void Control(DWORD style, int x, int y, int cx, int cy, int id, const char* text) {
    if (words_.size() % 2) Word(0);  // items start on a DWORD boundary
    Dword(style);
    Dword(0);
    for (int v : {x, y, cx, cy, id}) Word(v);
    Word(0xFFFF), Word(0x0082);  // STATIC
    Text(text);
    Word(0);  // no creation data
  }
  std::vector<WORD> words_;
};

// Ends a wait that would otherwise hang: posts WM_QUIT after ms and remembers that it did.
class TGuard {
public:
  explicit TGuard(UINT ms) {
    Fired = false;
    id_ = SetTimer(nullptr, 0, ms, Proc);
  }
  ~TGuard() { KillTimer(nullptr, id_); }
  static inline bool Fired;

private:
  static void CALLBACK Proc(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    Fired = true;
    PostQuitMessage(0);
  }
  UINT_PTR id_;
};

int Ticks;
void CALLBACK CountTick(HWND, UINT, UINT_PTR id, DWORD) {
  ++Ticks;
  KillTimer(nullptr, id);
}

void PumpFor(DWORD ms) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    ProcessPendingMessages();
  }
}

bool QuitPending() {
  MSG m;
  return PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

std::string Sibling(const char* name) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\') + 1) + name;
}

// The stand-in runtime; a failing test must not leave it running.
class TRuntimeStub {
public:
  explicit TRuntimeStub(const char* mode) {
    SetEnvironmentVariableA("QVSTUB_MODE", mode);
    SetEnvironmentVariableA("QVSTUB_DELAY", "100");
    SetEnvironmentVariableA("QVSTUB_LIFETIME", "1000");
    std::string cmd = "\"" + Sibling("qvrt_stub.exe") + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    ok_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_);
  }
  ~TRuntimeStub() {
    if (!ok_) return;
    if (WaitForSingleObject(pi_.hProcess, 5000) != WAIT_OBJECT_0) TerminateProcess(pi_.hProcess, 1);
    CloseHandle(pi_.hProcess);
    CloseHandle(pi_.hThread);
  }
  bool Started() const { return ok_; }

private:
  BOOL ok_;
  PROCESS_INFORMATION pi_ = {};
};

TEST(WaitWindow, ShowsItsTextCentredOnTheScreen) {
  TWaitTemplate tmpl;
  const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
  for (const char* text : {"Please wait while the publication opens...", ""}) {
    SCOPED_TRACE(text);
    SplashText.Assign(text);
    HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), tmpl.Get(), nullptr,
                                             SplashDialogProc, 0);
    ASSERT_NE(dialog, nullptr) << GetLastError();
    char shown[128] = "unset";
    GetDlgItemTextA(dialog, kSplashTextId, shown, sizeof shown);
    EXPECT_STREQ(shown, text);
    RECT r;
    ASSERT_TRUE(GetWindowRect(dialog, &r));
    EXPECT_EQ(r.left, (cx - (r.right - r.left)) / 2);
    EXPECT_EQ(r.top, (cy - (r.bottom - r.top)) / 2);
    EXPECT_GT(r.left, 0);
    DestroyWindow(dialog);
  }
}

TEST(WaitWindow, LargerThanTheScreenGoesNegativeHalvedTowardZero) {
  const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 40, 30, cx + 5, cy + 7, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  CenterWindowOnScreen(window);
  RECT r;
  ASSERT_TRUE(GetWindowRect(window, &r));
  EXPECT_EQ(r.right - r.left, cx + 5);
  EXPECT_EQ(r.bottom - r.top, cy + 7);
  EXPECT_EQ(r.left, -2);  // -5 / 2, not -3
  EXPECT_EQ(r.top, -3);   // -7 / 2, not -4
  DestroyWindow(window);
}

class Wait : public ::testing::Test {
protected:
  void SetUp() override {
    ViewerReady = false;
    while (QuitPending()) {
    }
  }
};

// The runtime's signal, posted or sent to every top-level window, ends the wait.
TEST_F(Wait, EndsOnTheSignalOfAnotherProcess) {
  UINT message = RegisterWindowMessageA(kReadyMessageName);
  ASSERT_NE(message, 0u);
  for (const char* mode : {"post", "send"}) {
    SCOPED_TRACE(mode);
    ViewerReady = false;
    ASSERT_EQ(AttachMessageHandler(OnViewerReady, message, 0), message);
    {
      // Nothing else is queued: a sent signal, delivered inside GetMessageA, must still end
      // the wait at once rather than at the next unrelated message.
      TGuard guard(10000);
      TRuntimeStub stub(mode);
      ASSERT_TRUE(stub.Started()) << Sibling("qvrt_stub.exe");
      WaitForViewerReady();
      EXPECT_TRUE(ViewerReady);
      EXPECT_FALSE(TGuard::Fired);
    }
    DetachMessageHandler(OnViewerReady, message, 0);
  }
}

TEST_F(Wait, EndsOnTheTimeLimitWhenNothingSignals) {
  TGuard guard(5000);
  ReadyTimer = SetTimer(nullptr, 0, 200, ReadyTimerProc);
  ASSERT_NE(ReadyTimer, 0u);
  UINT_PTR id = ReadyTimer;
  DWORD start = GetTickCount();
  WaitForViewerReady();
  EXPECT_GE(GetTickCount() - start, 150u);
  EXPECT_TRUE(ViewerReady);
  EXPECT_FALSE(TGuard::Fired);
  EXPECT_EQ(ReadyTimer, id);

  // The timer fired once and was stopped; stopping it again is harmless.
  ViewerReady = false;
  PumpFor(600);
  EXPECT_FALSE(ViewerReady);
  StopReadyTimer();
  EXPECT_EQ(ReadyTimer, id);
}

TEST_F(Wait, AlreadyReadyStillWaitsForOneMoreDispatch) {
  TGuard guard(5000);
  Ticks = 0;
  ViewerReady = true;
  SetTimer(nullptr, 0, 300, CountTick);
  DWORD start = GetTickCount();
  WaitForViewerReady();
  EXPECT_EQ(Ticks, 1);
  EXPECT_GE(GetTickCount() - start, 250u);
  EXPECT_FALSE(TGuard::Fired);
}

TEST_F(Wait, QuitEndsTheWaitAndIsDroppedWhilePending) {
  {
    TGuard guard(5000);
    PostQuitMessage(3);
    WaitForViewerReady();
    EXPECT_FALSE(ViewerReady);
    EXPECT_FALSE(TGuard::Fired);
    EXPECT_FALSE(QuitPending());  // consumed, not posted again
  }

  // Pending work is still dispatched; the quit request goes nowhere.
  UINT message = RegisterWindowMessageA(kReadyMessageName);
  ASSERT_EQ(AttachMessageHandler(OnViewerReady, message, 0), message);
  PostQuitMessage(7);
  PostMessageA(GetHubWindow(0), message, 0, 0);
  ProcessPendingMessages();
  EXPECT_TRUE(ViewerReady);
  EXPECT_FALSE(QuitPending());
  DetachMessageHandler(OnViewerReady, message, 0);
}

}  // namespace
