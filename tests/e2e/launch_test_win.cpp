// The launcher with an installed runtime, black-box: the stand-in runtime is registered in the
// real registry, started by the launcher and records how it was started; the harness watches
// the launcher's windows and its end.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/win/harness/harness.h"
#include "tests/win/stub_log.h"

namespace {

using harness::RunSpec;
using harness::Session;
using harness::WindowRecord;

constexpr double kReadyLimitMs = 20000;
// Generous bound for "soon after": process ends, window teardown and Wine's own latency.
constexpr double kSoonMs = 5000;
constexpr const char* kSplash = "Opening the publication...";

std::string WithoutTrailingBackslash(std::string dir) {
  if (dir.size() > 3 && dir.back() == '\\') dir.pop_back();
  return dir;
}

bool IsWaitWindow(const WindowRecord& w) { return w.cls == "#32770" && w.Find(3) && w.Find(4); }

struct InstallOptions {
  const char* runtimeFolder = "qvlaunch";  // a name without blanks unless asked for
  bool runtimeIsText = false;              // a file named .exe that is no program
  std::string splashText = kSplash;
  bool embeddedFromTemp = false;  // RuntimeEmbedded and RunFromTemp both "1"
};

// One publication and one registered runtime of the required version, each test its own.
class Installation {
public:
  explicit Installation(const InstallOptions& options = {}) {
    dir_ = harness::MakeTempFolder(options.runtimeFolder);
    runtime_ = dir_ + "qvrt_stub.exe";
    log_ = dir_ + "start.log";
    if (options.runtimeIsText) {
      HANDLE f = CreateFileA(runtime_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD n;
      WriteFile(f, "not a program\r\n", 15, &n, nullptr);
      CloseHandle(f);
    } else {
      CopyFileA((harness::BinDir() + "qvrt_stub.exe").c_str(), runtime_.c_str(), FALSE);
    }
    registration_ = std::make_unique<harness::RegisteredRuntime>(runtime_, 5);
    harness::Settings settings;
    settings.RuntimeId = registration_->Id();
    settings.RequiredVersion = "5";
    settings.SplashText = options.splashText;
    if (options.embeddedFromTemp) settings.RuntimeEmbedded = settings.RunFromTemp = "1";
    pub_ = harness::MakePublication({{"GEN", harness::PackBlock(settings.Text())}});
  }
  ~Installation() {
    harness::RemovePublication(pub_);
    harness::RemoveFolder(dir_);
  }

  bool Registered() const { return registration_->Ok(); }
  const std::string& Runtime() const { return runtime_; }
  const harness::Publication& Pub() const { return pub_; }
  std::vector<StubStart> Starts() const { return ReadStubLog(log_); }

  // The launcher with the given text after its program name, the runtime steered through
  // the environment it inherits from the launcher.
  RunSpec Request(const std::string& mode, unsigned delayMs = 0, const std::string& arguments = "",
               const std::string& programName = "") const {
    RunSpec request;
    request.exe = pub_.exe;
    request.commandLine = (programName.empty() ? "\"" + pub_.exe + "\"" : programName) + arguments;
    request.env = {{"QVSTUB_LOG", log_},
                {"QVSTUB_MODE", mode},
                {"QVSTUB_DELAY", std::to_string(delayMs)},
                {"QVSTUB_LIFETIME", "30000"}};
    request.timeoutMs = 40000;
    return request;
  }

private:
  std::string dir_, runtime_, log_;
  std::unique_ptr<harness::RegisteredRuntime> registration_;
  harness::Publication pub_;
};

// The expected command line of the runtime: its path (quoted when it holds a blank), two
// blanks, -p, the launcher's own full path in quotes, then what was forwarded.
std::string RuntimeCommandLine(const std::string& runtime, const std::string& launcher, const std::string& rest) {
  std::string app = runtime.find(' ') == std::string::npos ? runtime : "\"" + runtime + "\"";
  return app + "  -p \"" + launcher + "\"" + rest;
}

struct ForwardCase {
  const char* programName;  // as written on the launcher's command line; "" = its full path quoted
  const char* arguments;
  const char* forwarded;
};

TEST(Launch, RuntimeGetsTheExactCommandLineInTheLaunchersFolder) {
  Installation inst;
  ASSERT_TRUE(inst.Registered());
  const ForwardCase cases[] = {
      {"", "", ""},
      {"", " alpha \"beta gamma\"", " alpha \"beta gamma\""},
      {"", " \"\"", ""},
      {"", " a\"b c\"d \"\"tail", " \"a\"b c\"d\" tail"},
      {"", "\t\"x\ty\"  caf\xE9", " x\ty caf\xE9"},
      // The runtime learns the launcher's full path even when the command line does not hold it.
      {"qvloader.exe", " one", " one"},
  };
  size_t seen = 0;
  for (const ForwardCase& c : cases) {
    SCOPED_TRACE(std::string("arguments: ") + c.arguments);
    harness::RunResult r = harness::RunProgram(inst.Request("post", 0, c.arguments, c.programName));
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    std::vector<StubStart> starts = inst.Starts();
    ASSERT_EQ(starts.size(), seen + 1) << "the runtime was not started once";
    EXPECT_EQ(starts[seen].commandLine, RuntimeCommandLine(inst.Runtime(), inst.Pub().exe, c.forwarded));
    EXPECT_EQ(starts[seen].directory, WithoutTrailingBackslash(inst.Pub().dir));
    seen = starts.size();
  }
  EXPECT_NE(inst.Pub().exe.find(' '), std::string::npos) << "the launcher's folder should hold a blank";
}

TEST(Launch, RuntimePathWithABlankIsQuoted) {
  InstallOptions options;
  options.runtimeFolder = "qv runtime";
  Installation inst(options);
  ASSERT_TRUE(inst.Registered());
  ASSERT_NE(inst.Runtime().find(' '), std::string::npos);
  harness::RunResult r = harness::RunProgram(inst.Request("post", 0, " x"));
  EXPECT_EQ(r.exitCode, 0u);
  std::vector<StubStart> starts = inst.Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].commandLine, "\"" + inst.Runtime() + "\"  -p \"" + inst.Pub().exe + "\" x");
}

// A running launcher and the tick count at its creation, so the runtime's logged start tick
// can be placed on the harness's time line.
struct Watched {
  std::unique_ptr<Session> session;
  DWORD createdTick = 0;

  explicit Watched(const RunSpec& request) : session(std::make_unique<Session>(request)) {
    createdTick = GetTickCount() - DWORD(session->NowMs());
  }
  double ToLauncherMs(DWORD tick) const { return double(LONG(tick - createdTick)); }
};

struct SignalCase {
  const char* mode;
  std::string splashText;
  bool embeddedFromTemp = false;
};

// The runtime signals 1500 ms after its start: the wait window must be up until then, gone
// soon after, and the launcher must end soon after. An accepted installed runtime wins over
// an embedded one: the run-from-temporary flag then changes nothing, so the launcher still
// waits for the signal (the runtime lives on for 30 s) and deletes no file.
TEST(Launch, WaitWindowStaysUntilTheRuntimeSignals) {
  const unsigned delay = 1500;
  const SignalCase cases[] = {{"post", kSplash}, {"send", kSplash}, {"post", "*"}, {"post", kSplash, true}};
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(std::string(c.mode) + ", splash text " + c.splashText + (c.embeddedFromTemp ? ", embedded" : ""));
    InstallOptions options;
    options.splashText = c.splashText;
    options.embeddedFromTemp = c.embeddedFromTemp;
    Installation inst(options);
    ASSERT_TRUE(inst.Registered());
    Watched run(inst.Request(c.mode, delay));
    harness::RunResult r = run.session->Finish(30000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(r.boxes.empty());
    EXPECT_NE(GetFileAttributesA(inst.Runtime().c_str()), INVALID_FILE_ATTRIBUTES) << "the runtime was deleted";
    std::vector<StubStart> starts = inst.Starts();
    ASSERT_EQ(starts.size(), 1u);
    double signalMs = run.ToLauncherMs(starts[0].tick) + delay;
    // Tick counts and the harness's clock differ by a timer step or two.
    const double skew = 100;
    std::printf("  %s: runtime started at %.0f ms, signal at %.0f ms, launcher ended at %.0f ms\n", c.mode,
                run.ToLauncherMs(starts[0].tick), signalMs, r.elapsedMs);

    EXPECT_GE(r.elapsedMs, signalMs - skew) << "the launcher did not wait for the signal";
    EXPECT_LE(r.elapsedMs, signalMs + kSoonMs) << "the launcher did not end soon after the signal";
    std::vector<const WindowRecord*> visible = r.VisibleWindows();
    if (c.splashText == "*") {
      EXPECT_TRUE(visible.empty()) << "a window was shown: " << visible[0]->cls;
      continue;
    }
    const WindowRecord* wait = r.FindWindow(IsWaitWindow);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->ControlText(3), c.splashText);
    ASSERT_TRUE(wait->EverVisible());
    EXPECT_LT(wait->firstVisibleMs, run.ToLauncherMs(starts[0].tick));
    EXPECT_GE(wait->lastVisibleMs, signalMs - skew) << "the wait window went before the signal";
    EXPECT_LE(wait->lastVisibleMs, signalMs + kSoonMs) << "the wait window stayed after the signal";
    EXPECT_EQ(visible.size(), 1u);
  }
}

struct SilentCase {
  const char* name;
  const char* mode;
  bool runtimeIsText;
  size_t starts;
};

// Without a signal only the 20 s limit ends the wait, whether the runtime stays silent, ends
// at once or cannot be started at all. The three launchers run side by side to pay the limit once.
TEST(LaunchSlow, WithoutASignalTheTimeLimitEndsTheWait) {
  const SilentCase cases[] = {
      {"never signals", "never", false, 1},
      {"exits at once", "exit", false, 1},
      {"cannot be started", "post", true, 0},
  };
  std::vector<std::unique_ptr<Installation>> insts;
  std::vector<std::unique_ptr<Session>> sessions;
  for (const SilentCase& c : cases) {
    InstallOptions options;
    options.runtimeIsText = c.runtimeIsText;
    insts.push_back(std::make_unique<Installation>(options));
    ASSERT_TRUE(insts.back()->Registered());
    sessions.push_back(std::make_unique<Session>(insts.back()->Request(c.mode)));
  }
  for (size_t i = 0; i < std::size(cases); ++i) {
    const SilentCase& c = cases[i];
    SCOPED_TRACE(c.name);
    harness::RunResult r = sessions[i]->Finish(40000);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_TRUE(r.boxes.empty()) << "reported: " << r.boxes[0].text;
    EXPECT_EQ(insts[i]->Starts().size(), c.starts);
    EXPECT_GE(r.elapsedMs, kReadyLimitMs - 100);
    EXPECT_LE(r.elapsedMs, kReadyLimitMs + kSoonMs);
    const WindowRecord* wait = r.FindWindow(IsWaitWindow);
    ASSERT_NE(wait, nullptr);
    EXPECT_GE(wait->lastVisibleMs, kReadyLimitMs - 1000) << "the wait window went before the limit";
  }
}

}  // namespace
