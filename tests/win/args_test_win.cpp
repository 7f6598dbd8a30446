// Where the launcher's own argument rules and the system's splitting agree (plain words and
// quoted stretches holding blanks), they must give the same arguments. They differ on purpose
// for "" and backslashes before quotes, which are left out here.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/args.h"

namespace {

std::vector<std::string> SystemSplit(const char* line) {
  wchar_t wide[1024];
  EXPECT_GT(MultiByteToWideChar(CP_ACP, 0, line, -1, wide, 1024), 0);
  int n = 0;
  LPWSTR* argv = CommandLineToArgvW(wide, &n);
  std::vector<std::string> out;
  for (int i = 1; argv && i < n; ++i) {
    char narrow[1024];
    WideCharToMultiByte(CP_ACP, 0, argv[i], -1, narrow, sizeof narrow, nullptr, nullptr);
    out.emplace_back(narrow);
  }
  LocalFree(argv);
  return out;
}

std::vector<std::string> OwnSplit(const char* line) {
  std::vector<std::string> out;
  for (uint32_t i = 1, n = ArgumentCount(line); i <= n; ++i) out.emplace_back(ArgumentAt(line, i).CStr());
  return out;
}

TEST(ArgumentSplitting, AgreesWithTheSystemWhereTheRulesCoincide) {
  const char* lines[] = {
      "book.exe",
      "\"C:\\Pub Files\\book.exe\" one two",
      "book.exe alpha \"beta gamma\"",
      "book.exe   spaced\t\ttabs  ",
      "book.exe \"C:\\My Docs\\file.txt\" /x -y=1",
      "book.exe \"a\tb\" caf\xE9",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    EXPECT_EQ(OwnSplit(line), SystemSplit(line));
  }
}

// Quotes inside a word: the system removes them, the launcher keeps them for the runtime to
// see; where the arguments end must still agree.
TEST(ArgumentSplitting, CutsWhereTheSystemCutsAroundInnerQuotes) {
  const char* lines[] = {
      "book.exe a\"b c\"d pre\"mid dle\"",
      "book.exe \"last open",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    std::vector<std::string> own = OwnSplit(line);
    std::vector<std::string> system = SystemSplit(line);
    for (auto* v : {&own, &system})
      for (std::string& s : *v) std::erase(s, '"');
    EXPECT_EQ(own, system);
  }
}

}  // namespace
