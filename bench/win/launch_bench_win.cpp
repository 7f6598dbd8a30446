// How long the launcher takes to get an installed runtime running, against starting the same
// runtime directly: from CreateProcessA until the runtime's first instruction of its own (the
// tick the stand-in runtime logs at start), as the median over N runs each way.
//
// Usage: launch_bench.exe [runs]   (default 15; needs bin/qvloader.exe and bin/qvrt_stub.exe)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/win/harness/harness.h"
#include "tests/win/stub_log.h"

namespace {

const char* kRuntimeId = "{51564C41-554E-4348-4245-4E4348000001}";

// Starts a program in a job of its own and waits until it and everything it started ended;
// returns the tick at which it was started, 0 on failure.
DWORD StartAndWait(const std::string& exe, std::string commandLine) {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  DWORD start = GetTickCount();
  if (!CreateProcessA(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                      &si, &pi)) {
    CloseHandle(job);
    return 0;
  }
  AssignProcessToJobObject(job, pi.hProcess);
  ResumeThread(pi.hThread);
  WaitForSingleObject(pi.hProcess, 60000);
  for (int i = 0; i < 1000; ++i) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr) ||
        info.ActiveProcesses == 0)
      break;
    Sleep(10);
  }
  TerminateJobObject(job, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  CloseHandle(job);
  return start;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int runs = argc > 1 ? std::atoi(argv[1]) : 15;
  std::string dir = harness::MakeTempFolder("qv bench");
  std::string runtime = dir + "qvrt_stub.exe";
  std::string log = dir + "start.log";
  if (!CopyFileA((harness::BinDir() + "qvrt_stub.exe").c_str(), runtime.c_str(), FALSE)) {
    std::fprintf(stderr, "no qvrt_stub.exe beside the benchmark\n");
    return 1;
  }
  std::string key = std::string("SOFTWARE\\ROZozeve\\") + kRuntimeId;
  HKEY k;
  DWORD version = 5;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr);
  RegSetValueExA(k, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(runtime.c_str()), DWORD(runtime.size() + 1));
  RegSetValueExA(k, "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof version);
  RegCloseKey(k);
  harness::Settings settings;
  settings.RuntimeId = kRuntimeId;
  settings.RequiredVersion = "5";
  harness::Publication pub = harness::MakePublication({{"GEN", harness::PackBlock(settings.Text())}});

  // The runtime signals at once and ends soon, so each run is over quickly.
  SetEnvironmentVariableA("QVSTUB_LOG", log.c_str());
  SetEnvironmentVariableA("QVSTUB_MODE", "post");
  SetEnvironmentVariableA("QVSTUB_LIFETIME", "200");

  std::vector<double> direct, launched;
  for (int i = 0; i < runs; ++i) {
    // Alternating keeps any drift of the machine's load out of the ratio.
    for (bool viaLauncher : {false, true}) {
      size_t before = ReadStubLog(log).size();
      DWORD start = viaLauncher ? StartAndWait(pub.exe, "\"" + pub.exe + "\"")
                                : StartAndWait(runtime, "\"" + runtime + "\"  -p \"" + pub.exe + "\"");
      std::vector<StubStart> starts = ReadStubLog(log);
      if (!start || starts.size() != before + 1) {
        std::fprintf(stderr, "run %d: the runtime was not started once\n", i);
        continue;
      }
      (viaLauncher ? launched : direct).push_back(double(LONG(starts.back().tick - start)));
    }
  }

  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
  harness::RemovePublication(pub);
  harness::RemoveFolder(dir);
  if (direct.empty() || launched.empty()) return 1;
  double d = Median(direct), l = Median(launched);
  std::printf("runs: %zu direct, %zu through the launcher\n", direct.size(), launched.size());
  std::printf("runtime running after: direct %.0f ms, through the launcher %.0f ms (medians)\n", d, l);
  std::printf("ratio launcher/direct: %.2f\n", d > 0 ? l / d : 0.0);
  return 0;
}
