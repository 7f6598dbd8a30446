// Reading the start log that the stand-in programs append to: one line per start,
// "<GetTickCount()>\t<current directory>\t<command line>\n", the command line last and
// byte-exact (it may itself hold tabs).
#pragma once
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

struct StubStart {
  DWORD tick = 0;
  std::string directory;
  std::string commandLine;
};

inline std::vector<StubStart> ReadStubLog(const std::string& path) {
  std::string text;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    char buf[4096];
    DWORD n;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n) text.append(buf, n);
    CloseHandle(f);
  }
  std::vector<StubStart> out;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) continue;
    out.push_back({DWORD(std::strtoul(line.c_str(), nullptr, 10)), line.substr(t1 + 1, t2 - t1 - 1),
                   line.substr(t2 + 1)});
  }
  return out;
}
