// Runtime discovery against the real registry: each case writes its own runtime key, runs
// both look-ups from both starting states of the run state, and removes the key again.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/discovery.h"
#include "launcher/run_state.h"
#include "scratch_win.h"

namespace {

using scratch::Dword;
using scratch::Raw;
using scratch::Sz;
using scratch::Value;

// Bytes of a literal including embedded NULs, without the literal's own terminator.
template <size_t N>
std::string B(const char (&s)[N]) {
  return std::string(s, N - 1);
}

struct Case {
  const char* name;
  const char* required;       // RequiredVersion
  bool key;                   // false: no key is written at all
  std::vector<Value> values;  // "<F>" and friends stand for the paths made below
  bool found;                 // FindInstalledRuntime accepts the runtime
  bool readFound;             // ReadInstalledRuntimePath takes the path (no version test)
  const char* path;           // RuntimePath afterwards, when the key exists
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Value kFile = Sz("Path", "<F>");

const Case kCases[] = {
    {"KeyMissing", "5", false, {}, false, false, ""},

    // Equal versions: the marker must not be consulted, so a wrong one changes nothing.
    {"EqualVersionIgnoresMarkerZero", "5", true, {kFile, Dword("Version", 5), Sz("5", "0")},
     true, true, "<F>"},
    {"EqualVersionIgnoresMarkerOfOtherType", "5", true,
     {kFile, Dword("Version", 5), Raw("5", REG_BINARY, B("\x01\x02"))}, true, true, "<F>"},

    // Different versions: only the exact text "1" under the required version's name.
    {"MarkerOne", "5", true, {kFile, Dword("Version", 6), Sz("5", "1")}, true, true, "<F>"},
    {"MarkerMissing", "5", true, {kFile, Dword("Version", 6)}, false, true, "<F>"},
    {"MarkerOneBlank", "5", true, {kFile, Dword("Version", 6), Sz("5", "1 ")}, false, true,
     "<F>"},
    {"MarkerYes", "5", true, {kFile, Dword("Version", 6), Sz("5", "yes")}, false, true, "<F>"},
    {"MarkerExpandSz", "5", true,
     {kFile, Dword("Version", 6), Raw("5", REG_EXPAND_SZ, B("1\0"))}, false, true, "<F>"},
    {"MarkerBinary", "5", true, {kFile, Dword("Version", 6), Raw("5", REG_BINARY, B("1\0"))},
     false, true, "<F>"},
    {"MarkerUnterminated", "5", true, {kFile, Dword("Version", 6), Raw("5", REG_SZ, "1")},
     false, true, "<F>"},
    {"HigherVersionWithoutMarker", "5", true, {kFile, Dword("Version", 9)}, false, true, "<F>"},

    // The executable must exist as a file, whatever the version says.
    {"PathMissing", "5", true, {Dword("Version", 5)}, false, false, ""},
    {"PathEmpty", "5", true, {Sz("Path", ""), Dword("Version", 5)}, false, false, ""},
    {"PathToMissingFile", "5", true, {Sz("Path", "<M>"), Dword("Version", 5)}, false, false,
     "<M>"},
    {"PathToDirectory", "5", true, {Sz("Path", "<D>"), Dword("Version", 5)}, false, false,
     "<D>"},
    {"PathToDirectoryWithMarker", "5", true,
     {Sz("Path", "<D>"), Dword("Version", 6), Sz("5", "1")}, false, false, "<D>"},

    // "Version" as text reads as 0.
    {"VersionAsTextRequiredFive", "5", true, {kFile, Sz("Version", "5")}, false, true, "<F>"},
    {"VersionAsTextRequiredZero", "0", true, {kFile, Sz("Version", "5")}, true, true, "<F>"},

    // The required number comes from the text's leading digits; the marker's name is the text.
    {"RequiredWithoutDigitsIsZero", "abc", true, {kFile, Dword("Version", 0)}, true, true,
     "<F>"},
    {"RequiredWithoutDigitsMarkerUnderText", "abc", true,
     {kFile, Dword("Version", 3), Sz("abc", "1")}, true, true, "<F>"},
    {"RequiredWithoutDigitsNoMarkerUnderZero", "abc", true,
     {kFile, Dword("Version", 3), Sz("0", "1")}, false, true, "<F>"},
    {"RequiredMinusOneIsAllOnes", "-1", true, {kFile, Dword("Version", 0xFFFFFFFFu)}, true,
     true, "<F>"},
    {"RequiredLeadingDigitsOnly", "5.2", true, {kFile, Dword("Version", 5)}, true, true, "<F>"},

    // Malformed values read as absent, never as what a careless read would make of them.
    {"PathUnterminated", "5", true, {Raw("Path", REG_SZ, "<F>"), Dword("Version", 5)}, false,
     false, ""},
    {"PathBinary", "5", true, {Raw("Path", REG_BINARY, "<F>" + B("\0")), Dword("Version", 5)},
     false, false, ""},
    {"PathExpandSz", "5", true,
     {Raw("Path", REG_EXPAND_SZ, "<F>" + B("\0")), Dword("Version", 5)}, false, false, ""},
    {"PathOf259Characters", "5", true, {Sz("Path", "<F259>"), Dword("Version", 5)}, true, true,
     "<F259>"},
    {"PathOf260Characters", "5", true, {Sz("Path", "<F260>"), Dword("Version", 5)}, false,
     false, ""},
    {"VersionOfTwoBytes", "5", true, {kFile, Raw("Version", REG_DWORD, B("\x05\0"))}, false,
     true, "<F>"},
    {"VersionOfEightBytes", "5", true,
     {kFile, Raw("Version", REG_DWORD, B("\x05\0\0\0\0\0\0\0"))}, false, true, "<F>"},
    {"VersionOfEightBytesReadsAsZero", "0", true,
     {kFile, Raw("Version", REG_DWORD, B("\x05\0\0\0\x05\0\0\0"))}, true, true, "<F>"},
    {"VersionAsBinary", "5", true, {kFile, Raw("Version", REG_BINARY, B("\x05\0\0\0"))}, false,
     true, "<F>"},
};

class Discovery : public ::testing::TestWithParam<Case> {
protected:
  void SetUp() override {
    ASSERT_TRUE(scratch::PathExists(temp_.Path()));
    ASSERT_TRUE(temp_.MakeFile("rt.exe"));
    ASSERT_TRUE(temp_.MakeFile("rtx.exe"));
    ASSERT_TRUE(temp_.MakeDir("rt dir"));
  }

  // A path to an existing file of exactly n characters, padded with "\." segments.
  std::string FileOfLength(size_t n) const {
    std::string dir = temp_.Path();
    size_t room = n - dir.size();
    const char* name = (room - strlen("\\rt.exe")) % 2 ? "\\rtx.exe" : "\\rt.exe";
    while (dir.size() + strlen(name) < n) dir += "\\.";
    return dir + name;
  }

  std::string Expand(std::string s) const {
    const std::pair<std::string, std::string> tokens[] = {
        {"<F259>", FileOfLength(259)}, {"<F260>", FileOfLength(260)},
        {"<F>", temp_ / "rt.exe"},     {"<D>", temp_ / "rt dir"},
        {"<M>", temp_ / "gone.exe"}};
    for (const auto& [token, text] : tokens)
      for (size_t at; (at = s.find(token)) != std::string::npos;) s.replace(at, token.size(), text);
    return s;
  }

  // Sets the run state as the start-up sequence would, with both flags at `before`.
  void Prepare(const scratch::RuntimeKey& key, bool before) {
    ::Run.RuntimeId.Assign(key.Id().c_str());
    ::Run.RequiredVersion.Assign(GetParam().required);
    ::Run.HaveRuntime = before;
    ::Run.UseTempRuntime = before;
    ::Run.RuntimePath.Assign("untouched");
  }

  scratch::TempFolder temp_;
};

TEST_P(Discovery, FindAndReadAfterInstall) {
  const Case& c = GetParam();
  scratch::RuntimeKey key;
  if (c.key) {
    std::vector<Value> values = c.values;
    for (Value& v : values) {
      std::string bytes = Expand(std::string(v.data.begin(), v.data.end()));
      v.data.assign(bytes.begin(), bytes.end());
    }
    ASSERT_TRUE(key.Write(values));
  }
  const std::string path = c.key ? Expand(c.path) : "";
  if (std::string(c.path) == "<F259>") {
    ASSERT_EQ(path.size(), 259u);
  }

  for (bool before : {false, true}) {
    SCOPED_TRACE(before ? "HaveRuntime and UseTempRuntime set before" : "both clear before");

    Prepare(key, before);
    FindInstalledRuntime();
    EXPECT_EQ(::Run.HaveRuntime, c.found);
    EXPECT_EQ(::Run.UseTempRuntime, c.found ? false : before);
    // Without the key nothing else is read.
    EXPECT_STREQ(::Run.RuntimePath.CStr(), c.key ? path.c_str() : "untouched");

    Prepare(key, before);
    ReadInstalledRuntimePath();
    EXPECT_EQ(::Run.HaveRuntime, c.readFound || before);  // never cleared here
    EXPECT_FALSE(::Run.UseTempRuntime);
    EXPECT_STREQ(::Run.RuntimePath.CStr(), path.c_str());
  }
}

INSTANTIATE_TEST_SUITE_P(Registry, Discovery, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
