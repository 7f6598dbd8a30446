// Installed runtimes for black-box runs: registry keys that each test makes and removes.
#include <windows.h>

#include <cstdio>

#include "tests/win/harness/harness.h"

namespace harness {
namespace {

const char kRuntimesKey[] = "SOFTWARE\\ROZozeve\\";

}  // namespace

// Unique within this machine's test runs: process, counter and time stamp.
std::string FreshRuntimeId() {
  static unsigned counter = 0;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  char id[40];
  std::snprintf(id, sizeof id, "{%08lX-%04X-4000-8000-%012llX}", GetCurrentProcessId(), ++counter & 0xFFFF,
                static_cast<unsigned long long>(now.QuadPart) & 0xFFFFFFFFFFFFull);
  return id;
}

RegisteredRuntime::RegisteredRuntime(const std::string& path, DWORD version) : id_(FreshRuntimeId()) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kRuntimesKey + id_).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  ok_ = RegSetValueExA(key, "Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), DWORD(path.size() + 1)) ==
            ERROR_SUCCESS &&
        RegSetValueExA(key, "Version", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&version), sizeof version) ==
            ERROR_SUCCESS;
  RegCloseKey(key);
}

RegisteredRuntime::~RegisteredRuntime() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kRuntimesKey + id_).c_str()); }

}  // namespace harness
