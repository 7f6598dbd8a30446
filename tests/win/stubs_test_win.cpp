// The stand-in runtime and installer behave as the launcher's tests assume: what they log,
// how the runtime signals, and what the installer does to the file and the registry.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "scratch_win.h"

namespace {

std::string BinDir() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string ReadAll(const std::string& path) {
  std::string text;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return text;
  char buf[4096];
  DWORD got;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) text.append(buf, got);
  CloseHandle(f);
  return text;
}

struct LogLine {
  std::string tick, cwd, commandLine;
};

// Splits "<tick>\t<cwd>\t<command line>\n" lines; the command line keeps any tabs.
std::vector<LogLine> ReadLog(const std::string& path) {
  std::vector<LogLine> lines;
  std::string text = ReadAll(path);
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = text.substr(at, end - at);
    size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
    if (t1 == std::string::npos || t2 == std::string::npos) {
      lines.push_back({line, "", ""});
      continue;
    }
    lines.push_back({line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)});
  }
  return lines;
}

// A child started with extra environment variables; killed if a failing test leaves it.
class Child {
public:
  Child(const std::string& exe, std::string commandLine, const std::string& directory,
        const std::vector<std::pair<std::string, std::string>>& env) {
    for (const auto& [name, value] : env) SetEnvironmentVariableA(name.c_str(), value.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    started_ = CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                              nullptr, directory.c_str(), &si, &pi_) != 0;
    for (const auto& [name, value] : env) SetEnvironmentVariableA(name.c_str(), nullptr);
  }
  ~Child() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
      TerminateProcess(pi_.hProcess, 1);
      WaitForSingleObject(pi_.hProcess, 5000);
    }
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Started() const { return started_; }
  HANDLE Process() const { return pi_.hProcess; }
  bool Wait(DWORD ms) const { return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0; }
  DWORD ExitCode() const {
    DWORD code = 0xFFFFFFFF;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }

private:
  bool started_ = false;
  PROCESS_INFORMATION pi_ = {};
};

// ---------------------------------------------------------------- runtime stand-in

TEST(RuntimeStub, LogsCommandLineAndDirectoryAndExitsWithChosenCode) {
  scratch::TempFolder temp("qv stub");
  const std::string exe = BinDir() + "qvrt_stub.exe";
  const std::string log = temp / "run log.txt";
  // Two blanks, empty quotes and a tab: the log must keep every byte.
  const std::string first = "\"" + exe + "\"  -p \"\" \"a\tb\"";
  const std::string second = "\"" + exe + "\"  -p \"" + (temp / "pub.exe") + "\"";
  {
    Child c(exe, first, temp.Path(),
            {{"QVSTUB_LOG", log}, {"QVSTUB_MODE", "exit"}, {"QVSTUB_EXIT", "7"}});
    ASSERT_TRUE(c.Started());
    ASSERT_TRUE(c.Wait(10000));
    EXPECT_EQ(c.ExitCode(), 7u);
  }
  {
    Child c(exe, second, BinDir(), {{"QVSTUB_LOG", log}, {"QVSTUB_MODE", "exit"}});
    ASSERT_TRUE(c.Started());
    ASSERT_TRUE(c.Wait(10000));
    EXPECT_EQ(c.ExitCode(), 0u);
  }
  std::vector<LogLine> lines = ReadLog(log);
  ASSERT_EQ(lines.size(), 2u) << ReadAll(log);
  EXPECT_FALSE(lines[0].tick.empty());
  EXPECT_EQ(lines[0].tick.find_first_not_of("0123456789"), std::string::npos);
  EXPECT_EQ(lines[0].cwd, temp.Path());
  EXPECT_EQ(lines[0].commandLine, first);
  EXPECT_EQ(lines[1].cwd + "\\", BinDir());
  EXPECT_EQ(lines[1].commandLine, second);
}

// Counts "QVLoaderSysMessage" arriving at a hidden top-level popup of this process, the
// kind of window the launcher's hub listens on.
class Listener {
public:
  Listener() {
    Message = RegisterWindowMessageA("QVLoaderSysMessage");
    Count = 0;
    Sent = false;
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "QvStubTestListener";
    RegisterClassA(&wc);
    wnd_ = CreateWindowExA(WS_EX_TOOLWINDOW, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0,
                           nullptr, nullptr, wc.hInstance, nullptr);
  }
  ~Listener() { DestroyWindow(wnd_); }
  bool Ok() const { return wnd_ != nullptr; }

  // Pumps this thread's messages until the process ends or ms pass.
  static bool PumpUntilEnd(HANDLE process, DWORD ms) {
    DWORD start = GetTickCount();
    for (;;) {
      MSG m;
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
      DWORD spent = GetTickCount() - start;
      if (spent >= ms) return false;
      DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, ms - spent, QS_ALLINPUT);
      if (r == WAIT_OBJECT_0) return true;
    }
  }

  static UINT Message;
  static int Count;
  static DWORD ArrivedAt;
  static bool Sent;

private:
  static LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == Message && Message != 0) {
      if (Count++ == 0) ArrivedAt = GetTickCount();
      Sent = InSendMessage() != 0;
      return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
  }

  HWND wnd_ = nullptr;
};
UINT Listener::Message;
int Listener::Count;
DWORD Listener::ArrivedAt;
bool Listener::Sent;

struct SignalCase {
  const char* mode;
  int signals;
  bool sent;  // delivered as a sent message rather than a posted one
};

class RuntimeStubSignal : public ::testing::TestWithParam<SignalCase> {};

TEST_P(RuntimeStubSignal, ReachesTopLevelWindowsAfterDelayThenEndsAfterLifetime) {
  Listener listener;
  ASSERT_TRUE(listener.Ok());
  const std::string exe = BinDir() + "qvrt_stub.exe";
  DWORD start = GetTickCount();
  Child c(exe, "\"" + exe + "\"", BinDir(),
          {{"QVSTUB_MODE", GetParam().mode}, {"QVSTUB_DELAY", "300"}, {"QVSTUB_LIFETIME", "1500"}});
  ASSERT_TRUE(c.Started());
  // A GUI program that pumps messages becomes input-idle; a console or stuck one would not.
  EXPECT_EQ(WaitForInputIdle(c.Process(), 5000), 0u);
  ASSERT_TRUE(Listener::PumpUntilEnd(c.Process(), 10000));
  DWORD lived = GetTickCount() - start;
  EXPECT_EQ(c.ExitCode(), 0u);
  EXPECT_GE(lived, 1400u);
  EXPECT_EQ(Listener::Count, GetParam().signals);
  if (Listener::Count) {
    EXPECT_GE(Listener::ArrivedAt - start, 250u);  // timer granularity
    EXPECT_EQ(Listener::Sent, GetParam().sent);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, RuntimeStubSignal,
                         ::testing::Values(SignalCase{"post", 1, false},
                                           SignalCase{"send", 1, true},
                                           SignalCase{"never", 0, false}),
                         [](const ::testing::TestParamInfo<SignalCase>& info) {
                           return std::string(info.param.mode);
                         });

// ---------------------------------------------------------------- installer stand-in

struct InstallCase {
  const char* mode;
  bool staysInTemp;
  bool moved;
  const char* registered;  // "" nothing, "temp" or "moved": the registered "Path"
  bool logged;
};

void PrintTo(const InstallCase& c, std::ostream* os) { *os << c.mode; }

class InstallerStub : public ::testing::TestWithParam<InstallCase> {};

TEST_P(InstallerStub, ActsOnFileAndRegistry) {
  const InstallCase& c = GetParam();
  scratch::TempFolder temp("qv inst");
  scratch::RuntimeKey key;
  ASSERT_TRUE(temp.MakeFile("qv rt.exe"));
  ASSERT_TRUE(temp.MakeDir("inst dir"));
  const std::string tempRuntime = temp / "qv rt.exe";
  const std::string movedRuntime = temp / "inst dir\\qv rt.exe";
  const std::string log = temp / "inst.log";
  const std::string exe = BinDir() + "qvinst_stub.exe";
  // The launcher passes the path unquoted, blanks and all.
  const std::string commandLine = "\"" + exe + "\" " + tempRuntime;

  Child child(exe, commandLine, BinDir(),
              {{"QVINST_MODE", c.mode},
               {"QVINST_DIR", temp / "inst dir"},
               {"QVINST_ID", key.Id()},
               {"QVINST_VERSION", "7"},
               {"QVINST_LOG", log}});
  ASSERT_TRUE(child.Started());
  ASSERT_TRUE(child.Wait(10000));
  EXPECT_EQ(child.ExitCode(), 0u);

  EXPECT_EQ(scratch::PathExists(tempRuntime), c.staysInTemp);
  EXPECT_EQ(scratch::PathExists(movedRuntime), c.moved);

  std::string registered = c.registered;
  EXPECT_EQ(key.Exists(), !registered.empty());
  if (!registered.empty()) {
    const std::string& path = registered == "temp" ? tempRuntime : movedRuntime;
    DWORD type = 0;
    std::vector<BYTE> data;
    ASSERT_TRUE(key.Read("Path", &type, &data));
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(std::string(data.begin(), data.end()), path + '\0');
    ASSERT_TRUE(key.Read("Version", &type, &data));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(data, std::vector<BYTE>({7, 0, 0, 0}));
  }

  std::vector<LogLine> lines = ReadLog(log);
  ASSERT_EQ(lines.size(), c.logged ? 1u : 0u);
  if (c.logged) {
    EXPECT_EQ(lines[0].commandLine, commandLine);
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, InstallerStub,
                         ::testing::Values(InstallCase{"leave", true, false, "", true},
                                           InstallCase{"move", false, true, "moved", true},
                                           InstallCase{"register", true, false, "temp", true},
                                           InstallCase{"delete", false, false, "", true},
                                           InstallCase{"nothing", true, false, "", false}),
                         [](const ::testing::TestParamInfo<InstallCase>& info) {
                           return std::string(info.param.mode);
                         });

}  // namespace
