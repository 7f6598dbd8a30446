// The process runner against the stand-in runtime: command line, working directory, show
// commands, waiting and the handles it leaves behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/launch.h"
#include "tests/win/harness/harness.h"
#include "tests/win/stub_log.h"

namespace {

// The value the next new handle gets. Handle tables hand out the lowest free slot, so a value
// that moves after a call means the call left a handle open.
uintptr_t NextHandle() {
  HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  CloseHandle(h);
  return reinterpret_cast<uintptr_t>(h);
}

// A folder with a blank in its name holding a copy of the stub; the stub is steered through
// our own environment, which the runner hands on.
class RunProcessTest : public testing::Test {
protected:
  void SetUp() override {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    dir_ = std::string(temp) + "qv run " + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir_.c_str(), nullptr);
    stub_ = dir_ + "rt stub.exe";
    ASSERT_TRUE(CopyFileA((harness::BinDir() + "qvrt_stub.exe").c_str(), stub_.c_str(), FALSE));
    log_ = dir_ + "log.txt";
    SetEnvironmentVariableA("QVSTUB_LOG", log_.c_str());
    SetEnvironmentVariableA("QVSTUB_MODE", "exit");
  }
  void TearDown() override {
    for (const char* v : {"QVSTUB_LOG", "QVSTUB_MODE", "QVSTUB_LIFETIME"}) SetEnvironmentVariableA(v, nullptr);
    for (HANDLE h : started_) {
      TerminateProcess(h, 1);
      WaitForSingleObject(h, 5000);
      CloseHandle(h);
    }
    for (const std::string& f : {stub_, log_}) DeleteFileA(f.c_str());
    RemoveDirectoryA(dir_.c_str());
  }

  std::string dir_, stub_, log_;
  std::vector<HANDLE> started_;
};

TEST_F(RunProcessTest, CommandLineAndDirectoryReachTheProgram) {
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  std::string workDir = dir_.substr(0, dir_.size() - 1);  // reported without the trailing backslash
  EXPECT_TRUE(RunProcess(stub_.c_str(), " -p \"C:\\x y.exe\" a", dir_.c_str(), SW_SHOWNORMAL, INFINITE, FALSE,
                         nullptr));
  EXPECT_TRUE(RunProcess(stub_.c_str(), "", "", SW_SHOWNORMAL, INFINITE, FALSE, nullptr));
  std::vector<StubStart> log = ReadStubLog(log_);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].commandLine, "\"" + stub_ + "\"  -p \"C:\\x y.exe\" a");
  EXPECT_EQ(log[0].directory, workDir);
  // No directory: the caller's own; no parameters: no trailing blank.
  EXPECT_EQ(log[1].commandLine, "\"" + stub_ + "\"");
  EXPECT_EQ(log[1].directory, cwd);
}

TEST_F(RunProcessTest, EveryShowCommandStartsTheProgram) {
  for (WORD show : {SW_HIDE, SW_SHOWNORMAL, SW_SHOWMINIMIZED, SW_SHOWNOACTIVATE}) {
    SCOPED_TRACE(show);
    EXPECT_TRUE(RunProcess(stub_.c_str(), "", dir_.c_str(), show, INFINITE, TRUE, nullptr));
  }
  EXPECT_EQ(ReadStubLog(log_).size(), 4u);
}

TEST_F(RunProcessTest, AProgramThatCannotStartGivesFalseAndNoHandle) {
  std::string text = dir_ + "not a program.exe";
  HANDLE f = CreateFileA(text.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD n;
  WriteFile(f, "plain text\r\n", 12, &n, nullptr);
  CloseHandle(f);
  for (const std::string& app : {text, dir_ + "missing.exe"}) {
    SCOPED_TRACE(app);
    HANDLE place = nullptr;
    EXPECT_FALSE(RunProcess(app.c_str(), "x", dir_.c_str(), SW_SHOWNORMAL, INFINITE, FALSE, &place));
    EXPECT_EQ(place, nullptr);
  }
  DeleteFileA(text.c_str());
}

// Wait time 0 against a program that lives on: false, and the process handle goes to the
// handle place when there is one. Without one the runner closes it; the thread handle is
// closed in every case.
TEST_F(RunProcessTest, WaitTimeDecidesTheResultAndTheHandleIsNeverLeaked) {
  SetEnvironmentVariableA("QVSTUB_MODE", "never");
  SetEnvironmentVariableA("QVSTUB_LIFETIME", "1500");
  RunProcess(stub_.c_str(), "", dir_.c_str(), SW_SHOWNORMAL, 0, FALSE, nullptr);  // settles lazy state
  uintptr_t before = NextHandle();

  EXPECT_FALSE(RunProcess(stub_.c_str(), "", dir_.c_str(), SW_SHOWNORMAL, 0, FALSE, nullptr));
  EXPECT_EQ(NextHandle(), before) << "a handle of the started process was left open";

  HANDLE place = nullptr;
  EXPECT_FALSE(RunProcess(stub_.c_str(), "", dir_.c_str(), SW_SHOWNORMAL, 0, TRUE, &place));
  ASSERT_NE(place, nullptr);
  started_.push_back(place);
  EXPECT_NE(NextHandle(), before) << "the probe does not see a handle that is kept";
  EXPECT_EQ(WaitForSingleObject(place, 0), (DWORD)WAIT_TIMEOUT) << "a live process was taken for ended";
  EXPECT_EQ(WaitForSingleObject(place, 10000), (DWORD)WAIT_OBJECT_0);
  uintptr_t kept = NextHandle();

  // A wait long enough for its end: true, and an ended process is not handed out.
  HANDLE untouched = place;
  EXPECT_TRUE(RunProcess(stub_.c_str(), "", dir_.c_str(), SW_SHOWNORMAL, 10000, FALSE, &place));
  EXPECT_EQ(place, untouched);
  EXPECT_EQ(NextHandle(), kept);
}

TEST(IsNtFamily, TrueOnAnNtSystem) { EXPECT_TRUE(IsNtFamily()); }

}  // namespace
