// Argument splitting and the texts built from it for the runtime's start.
#include "launcher/args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const char* line) {
  std::vector<std::string> out;
  uint32_t n = ArgumentCount(line);
  for (uint32_t i = 1; i <= n; ++i) out.emplace_back(ArgumentAt(line, i).CStr());
  return out;
}

struct SplitCase {
  const char* line;
  std::vector<std::string> args;  // after the program name
};

TEST(ArgumentSplitting, Table) {
  const SplitCase cases[] = {
      {"", {}},
      {"book.exe", {}},
      {"  book.exe  ", {}},
      {"book.exe alpha \"beta gamma\"", {"alpha", "beta gamma"}},
      {"\"C:\\Pub Files\\book.exe\" x", {"x"}},
      // An explicitly empty argument is skipped wherever an argument would begin.
      {"book.exe \"\"", {}},
      {"book.exe \"\" \"\"\"\" x", {"x"}},
      {"book.exe \"\"abc", {"abc"}},
      {"book.exe x\"\"", {"x\"\""}},
      // Quoted stretches inside an argument keep their quotes; only an enclosing pair goes.
      {"book.exe a\"b c\"d", {"a\"b c\"d"}},
      {"book.exe \"a\"b\" c\"", {"a\"b\" c"}},
      {"book.exe \"", {"\""}},
      {"book.exe \"\"\"", {"\""}},
      {"book.exe \"open end", {"\"open end"}},
      // Every code from 1 to 32 separates; a tab inside quotes does not.
      {"book.exe \t\t\r\n ", {}},
      {"book.exe a\tb\x01" "c\x1F" "d", {"a", "b", "c", "d"}},
      {"book.exe \"a\tb\"", {"a\tb"}},
      // Bytes above 0x7F are characters, not separators (signed comparison would cut here).
      {"book.exe caf\xE9 \xA0\xFF \x80", {"caf\xE9", "\xA0\xFF", "\x80"}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(Split(c.line), c.args);
  }
}

TEST(ArgumentSplitting, IndexBeyondTheLastIsEmpty) {
  EXPECT_STREQ(ArgumentAt("book.exe a", 2).CStr(), "");
  EXPECT_STREQ(ArgumentAt("book.exe", 1).CStr(), "");
  EXPECT_STREQ(ArgumentAt("", 0).CStr(), "");
  EXPECT_STREQ(ArgumentAt(nullptr, 1).CStr(), "");
  EXPECT_EQ(ArgumentCount(nullptr), 0u);
}

struct ParametersCase {
  const char* line;
  const char* parameters;
};

TEST(ViewerParameters, Table) {
  const char* self = "C:\\Pub Files\\book.exe";
  const ParametersCase cases[] = {
      {"book.exe", " -p \"C:\\Pub Files\\book.exe\""},
      {"book.exe alpha \"beta gamma\"", " -p \"C:\\Pub Files\\book.exe\" alpha \"beta gamma\""},
      {"book.exe \"\"", " -p \"C:\\Pub Files\\book.exe\""},
      {"book.exe \"\"abc", " -p \"C:\\Pub Files\\book.exe\" abc"},
      // Inner quotes are neither escaped nor removed; the blank adds an enclosing pair.
      {"book.exe a\"b c\"d", " -p \"C:\\Pub Files\\book.exe\" \"a\"b c\"d\""},
      {"book.exe \t \t", " -p \"C:\\Pub Files\\book.exe\""},
      // A tab alone does not ask for quotes.
      {"book.exe \"a\tb\"", " -p \"C:\\Pub Files\\book.exe\" a\tb"},
      {"book.exe caf\xE9 \"\xE9 \xE9\"", " -p \"C:\\Pub Files\\book.exe\" caf\xE9 \"\xE9 \xE9\""},
  };
  for (const ParametersCase& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_STREQ(BuildViewerParameters(self, c.line).CStr(), c.parameters);
  }
}

struct CommandLineCase {
  const char* application;
  const char* parameters;
  const char* commandLine;
};

TEST(ProcessCommandLine, Table) {
  const CommandLineCase cases[] = {
      {"C:\\rt\\qvrt.exe", " -p \"C:\\b.exe\"", "C:\\rt\\qvrt.exe  -p \"C:\\b.exe\""},
      {"C:\\My rt\\qvrt.exe", " -p \"C:\\b.exe\"", "\"C:\\My rt\\qvrt.exe\"  -p \"C:\\b.exe\""},
      // A path that already holds a quote is taken as its writer quoted it.
      {"\"C:\\My rt\\qvrt.exe\"", "x", "\"C:\\My rt\\qvrt.exe\" x"},
      {"C:\\My rt\\q\"t.exe", "x", "C:\\My rt\\q\"t.exe x"},
      {"C:\\My rt\\qvrt.exe", "", "\"C:\\My rt\\qvrt.exe\""},
      {"", "C:\\tmp\\rt.exe", "C:\\tmp\\rt.exe"},
      {"", "", ""},
      // The installer's parameters: a path with blanks, handed on unquoted.
      {"C:\\tmp\\qvv1.tmp", "C:\\My tmp\\rt.exe", "C:\\tmp\\qvv1.tmp C:\\My tmp\\rt.exe"},
  };
  for (const CommandLineCase& c : cases) {
    SCOPED_TRACE(c.application);
    EXPECT_STREQ(BuildCommandLine(c.application, c.parameters).CStr(), c.commandLine);
  }
}

TEST(DirectoryOf, UpToTheLastBackslashOrColon) {
  const char* cases[][2] = {
      {"C:\\Pub Files\\book.exe", "C:\\Pub Files\\"},
      {"C:book.exe", "C:"},
      {"\\\\srv\\share\\book.exe", "\\\\srv\\share\\"},
      {"C:\\dir\\", "C:\\dir\\"},
      {"book.exe", ""},
      {"", ""},
  };
  for (auto& c : cases) EXPECT_STREQ(DirectoryOf(c[0]).CStr(), c[1]) << c[0];
}

}  // namespace
