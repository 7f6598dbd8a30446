// The viewer launch in process, for what the black-box tests cannot see: the temporary runtime
// (waited for until it ends, then deleted), the wait window's state at the moment the runtime
// starts, and the hub and timer left behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "launcher/launch.h"
#include "launcher/run_state.h"
#include "signal/hub.h"
#include "signal/splash.h"
#include "tests/win/harness/harness.h"
#include "tests/win/stub_log.h"

namespace {

std::string OwnPath() {
  char path[MAX_PATH];
  return std::string(path, GetModuleFileNameA(nullptr, path, sizeof path));
}

class LaunchViewerTest : public testing::Test {
protected:
  void SetUp() override {
    dir_ = harness::MakeTempFolder("qv launch");
    runtime_ = dir_ + "qvrt_stub.exe";
    log_ = dir_ + "start.log";
    ASSERT_TRUE(CopyFileA((harness::BinDir() + "qvrt_stub.exe").c_str(), runtime_.c_str(), FALSE));
    SetEnvironmentVariableA("QVSTUB_LOG", log_.c_str());
    splash_ = CreateWindowExA(0, "STATIC", "wait", WS_POPUP | WS_VISIBLE, 0, 0, 100, 30, nullptr, nullptr,
                              nullptr, nullptr);
    ASSERT_TRUE(IsWindowVisible(splash_));
    ::Run.SplashWindow = splash_;
    ::Run.RuntimePath.Assign(runtime_.c_str());
  }
  void TearDown() override {
    for (const char* v : {"QVSTUB_LOG", "QVSTUB_MODE", "QVSTUB_DELAY", "QVSTUB_LIFETIME"})
      SetEnvironmentVariableA(v, nullptr);
    if (IsWindow(splash_)) DestroyWindow(splash_);
    ::Run = TRunState();
    harness::RemoveFolder(dir_);
  }

  // Runs the launch while another thread notes whether the wait window was visible when the
  // runtime had logged its start. Returns the milliseconds the launch took.
  DWORD Launch() {
    std::atomic<bool> done{false};
    std::thread watcher([&] {
      while (!done && ReadStubLog(log_).empty()) Sleep(2);
      visibleAtStart_ = IsWindowVisible(splash_) != FALSE;
    });
    DWORD start = GetTickCount();
    LaunchViewer();
    DWORD spent = GetTickCount() - start;
    done = true;
    watcher.join();
    return spent;
  }

  std::string dir_, runtime_, log_;
  HWND splash_ = nullptr;
  bool visibleAtStart_ = false;
};

TEST_F(LaunchViewerTest, TemporaryRuntimeIsWaitedForThenDeleted) {
  SetEnvironmentVariableA("QVSTUB_MODE", "never");
  SetEnvironmentVariableA("QVSTUB_LIFETIME", "1500");
  ::Run.UseTempRuntime = true;
  ReadyTimer = 12345;
  DWORD spent = Launch();

  EXPECT_GE(spent, 1400u) << "the launch did not wait for the runtime's end";
  EXPECT_FALSE(visibleAtStart_) << "the wait window was still up while the runtime ran";
  EXPECT_EQ(GetFileAttributesA(runtime_.c_str()), INVALID_FILE_ATTRIBUTES) << "the temporary runtime was kept";
  EXPECT_FALSE(IsWindow(splash_));
  EXPECT_EQ(::Run.SplashWindow, nullptr);
  EXPECT_EQ(ReadyTimer, 12345u) << "a timer was set for a runtime that is not expected to signal";
  EXPECT_EQ(HubThreads.Count(), 0u) << "a handler was attached for a runtime that is not expected to signal";
  std::vector<StubStart> starts = ReadStubLog(log_);
  ASSERT_EQ(starts.size(), 1u);
  std::string self = OwnPath();
  // The test program's own arguments follow; the black-box tests check the forwarding.
  std::string head = "\"" + runtime_ + "\"  -p \"" + self + "\"";
  EXPECT_EQ(starts[0].commandLine.substr(0, head.size()), head);
  EXPECT_EQ(starts[0].directory + "\\", self.substr(0, self.rfind('\\') + 1));
}

TEST_F(LaunchViewerTest, TemporaryRuntimeThatCannotStartIsDeletedAtOnce) {
  HANDLE f = CreateFileA(runtime_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n;
  WriteFile(f, "not a program\r\n", 15, &n, nullptr);
  CloseHandle(f);
  ::Run.UseTempRuntime = true;
  EXPECT_LT(Launch(), 5000u);
  EXPECT_EQ(GetFileAttributesA(runtime_.c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(IsWindow(splash_));
}

// The installed runtime: the window is up while it starts, the signal ends the wait, and the
// handler, its hub window and the timer are gone afterwards; the runtime's file stays.
TEST_F(LaunchViewerTest, InstalledRuntimeSignalEndsTheWaitAndNothingIsLeftAttached) {
  SetEnvironmentVariableA("QVSTUB_MODE", "post");
  SetEnvironmentVariableA("QVSTUB_DELAY", "300");
  SetEnvironmentVariableA("QVSTUB_LIFETIME", "1000");
  ViewerReady = true;
  DWORD spent = Launch();

  EXPECT_LT(spent, 10000u) << "the signal did not end the wait";
  EXPECT_TRUE(ViewerReady);
  EXPECT_TRUE(visibleAtStart_) << "the wait window was hidden before the runtime was ready";
  EXPECT_FALSE(IsWindow(splash_));
  EXPECT_EQ(::Run.SplashWindow, nullptr);
  EXPECT_NE(GetFileAttributesA(runtime_.c_str()), INVALID_FILE_ATTRIBUTES) << "an installed runtime was deleted";
  EXPECT_EQ(HubThreads.Count(), 0u) << "the readiness handler was left attached";
  EXPECT_NE(ReadyTimer, 0u);
  EXPECT_FALSE(KillTimer(nullptr, ReadyTimer)) << "the time limit was left running";
  EXPECT_EQ(ReadStubLog(log_).size(), 1u);
}

}  // namespace
