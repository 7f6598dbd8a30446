// The black-box harness checked against small programs of known behaviour, so that a
// launcher test failing means the launcher, not the harness.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>

#include "tests/win/harness/harness.h"

using namespace harness;

namespace {

std::vector<uint8_t> ResourceBytes(HMODULE module, const char* name, bool* found) {
  HRSRC res = FindResourceA(module, name, MAKEINTRESOURCEA(10));
  *found = res != nullptr;
  if (!res) return {};
  DWORD size = SizeofResource(module, res);
  auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(module, res)));
  return p ? std::vector<uint8_t>(p, p + size) : std::vector<uint8_t>();
}

TEST(Publication, HoldsResourcesOfAnySizeInAFolderWithBlanks) {
  const std::vector<uint8_t> info{1, 2, 3};
  Publication pub = MakePublication({{"GEN", {}}, {"INFO", info}}, {BinDir() + "qvbox.exe"});
  EXPECT_NE(pub.dir.find(' '), std::string::npos) << pub.dir;
  HMODULE module = LoadLibraryExA(pub.exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_TRUE(module) << pub.exe;
  bool found = false;
  EXPECT_TRUE(ResourceBytes(module, "GEN", &found).empty());
  EXPECT_TRUE(found) << "a resource of 0 bytes is still a resource";
  EXPECT_EQ(ResourceBytes(module, "INFO", &found), info);
  ResourceBytes(module, "RUN", &found);
  EXPECT_FALSE(found);
  FreeLibrary(module);
  RemovePublication(pub);
  EXPECT_EQ(GetFileAttributesA(pub.dir.c_str()), INVALID_FILE_ATTRIBUTES);
}

struct BoxCase {
  unsigned style;
  Answer answer;
  IconKind icon;
  DWORD exitCode;  // the button the answer pressed
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << "style " << c.style << ", " << IconName(c.icon); }

class MessageBoxes : public testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, AreReadAndAnswered) {
  const BoxCase& c = GetParam();
  std::string exe = BinDir() + "qvbox.exe";
  RunResult r = RunProgram({.exe = exe,
                     .commandLine = "qvbox " + std::to_string(c.style) + " Box caption|Box text",
                     .timeoutMs = 10000,
                     .answer = c.answer});
  ASSERT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, c.exitCode);
  ASSERT_EQ(r.boxes.size(), 1u);
  EXPECT_EQ(r.boxes[0].caption, "Box caption");
  EXPECT_EQ(r.boxes[0].text, "Box text");
  EXPECT_EQ(IconName(r.boxes[0].icon), std::string(IconName(c.icon)));
  EXPECT_GE(r.boxes[0].seenMs, 0);
  EXPECT_GE(r.elapsedMs, r.boxes[0].seenMs);
  EXPECT_TRUE(r.VisibleWindows().empty());
}

INSTANTIATE_TEST_SUITE_P(Harness, MessageBoxes,
                         testing::Values(BoxCase{MB_ICONERROR, Answer::Ok, IconKind::Error, IDOK},
                                         BoxCase{MB_ICONWARNING, Answer::Ok, IconKind::Warning, IDOK},
                                         BoxCase{MB_ICONINFORMATION, Answer::Ok, IconKind::Information, IDOK},
                                         BoxCase{MB_OKCANCEL, Answer::Close, IconKind::None, IDCANCEL}));

TEST(Run, PassesCommandLineDirectoryAndEnvironmentExactly) {
  std::string dir = MakeTempFolder("qv harness");
  std::string log = dir + "start log.txt";
  std::string exe = BinDir() + "qvrt_stub.exe";
  std::string commandLine = "\"" + exe + "\"  -p \"\" \tlast";
  RunResult r = RunProgram({.exe = exe,
                     .commandLine = commandLine,
                     .directory = dir.substr(0, dir.size() - 1),
                     .env = {{"QVSTUB_LOG", log}, {"QVSTUB_MODE", "exit"}, {"QVSTUB_EXIT", "7"}}});
  EXPECT_FALSE(r.timedOut);
  EXPECT_EQ(r.exitCode, 7u);
  EXPECT_GT(r.elapsedMs, 0);
  std::ifstream in(log, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  in.close();
  std::string line = content.str();
  size_t tab = line.find('\t');
  ASSERT_NE(tab, std::string::npos) << line;
  EXPECT_EQ(line.substr(tab + 1), dir.substr(0, dir.size() - 1) + "\t" + commandLine + "\n");
  RemoveFolder(dir);
}

// The launcher waits up to 20 s for a runtime that never signals: both are killed.
TEST(Run, KillsTheProgramTreeOnTimeout) {
  RegisteredRuntime runtime(BinDir() + "qvrt_stub.exe", 5);
  ASSERT_TRUE(runtime.Ok());
  Settings settings;
  settings.RuntimeId = runtime.Id();
  Publication pub = MakePublication({{"GEN", PackBlock(settings.Text())}});
  {
    Session s({.exe = pub.exe, .env = {{"QVSTUB_MODE", "never"}, {"QVSTUB_LIFETIME", "60000"}}});
    ASSERT_TRUE(s.Started());
    HANDLE launcher = OpenProcess(SYNCHRONIZE, FALSE, s.Pid());
    ASSERT_TRUE(launcher);
    std::vector<DWORD> tree;
    for (int i = 0; i < 500 && tree.size() < 2; ++i, Sleep(20)) tree = s.TreePids();
    ASSERT_EQ(tree.size(), 2u) << "the launcher did not start the runtime";
    HANDLE stub = OpenProcess(SYNCHRONIZE, FALSE, tree[1]);
    ASSERT_TRUE(stub);
    RunResult r = s.Finish(300);
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(WaitForSingleObject(launcher, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(stub, 2000), WAIT_OBJECT_0);
    CloseHandle(launcher);
    CloseHandle(stub);
  }
  RemovePublication(pub);
}

}  // namespace
