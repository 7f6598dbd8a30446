// The launcher's start-up, black-box: a copy of qvloader.exe with a crafted "GEN" resource is
// run under the harness, which records its message boxes, its windows and its end.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "packed/packed.h"
#include "tests/win/harness/harness.h"

namespace {

using harness::RunResult;
using harness::WindowRecord;

constexpr const char* kFatalCaption = "Fatal Error";
constexpr const char* kCorrupted = "This program is corrupted. Please obtain a new copy from your provider";
constexpr const char* kUnreadable =
    "Unable to read the attached data (or it may be corrupted): cannot continue. Please contact your provider.";
constexpr const char* kBadData = "This program has got corrupted data. Unable to continue.";
constexpr unsigned kRunLimitMs = 20000;

bool IsWaitWindow(const WindowRecord& w) { return w.cls == "#32770" && !w.IsMessageBox() && w.Find(3); }

const WindowRecord* WaitWindow(const RunResult& r) { return r.FindWindow(IsWaitWindow); }

// Runs a publication to its end. Any other dialog that shows up (such as the notice about
// a missing runtime) is closed, so that the run ends as it would when the user closes it.
RunResult RunPublication(const std::vector<harness::Resource>& resources,
                         const std::vector<std::pair<std::string, std::string>>& env = {}) {
  harness::Publication pub = harness::MakePublication(resources);
  harness::Session session({.exe = pub.exe, .env = env});
  std::vector<HWND> closed;
  while (!session.WaitForExit(20)) {
    if (session.NowMs() > kRunLimitMs) break;
    for (const WindowRecord& w : session.Windows()) {
      if (w.gone || !w.visible || IsWaitWindow(w) || w.IsMessageBox()) continue;
      if (std::find(closed.begin(), closed.end(), w.hwnd) != closed.end()) continue;
      closed.push_back(w.hwnd);
      session.Close(w.hwnd);
    }
  }
  RunResult r = session.Finish(0);
  harness::RemovePublication(pub);
  return r;
}

std::vector<uint8_t> ValidGen() { return harness::PackBlock(harness::Settings{}.Text()); }

std::vector<uint8_t> Patched(std::vector<uint8_t> block, size_t offset, uint32_t value) {
  memcpy(&block[offset], &value, sizeof value);
  return block;
}

struct FatalCase {
  const char* name;
  std::optional<std::vector<uint8_t>> gen;  // nullopt: no "GEN" at all
  const char* text;
};

std::vector<FatalCase> FatalCases() {
  std::vector<uint8_t> valid = ValidGen();
  std::vector<uint8_t> damaged = valid;
  damaged[kPackedHeaderSize] ^= 0x01;
  harness::Settings noSignature;
  noSignature.Signature = "";
  return {
      {"GenMissing", std::nullopt, kCorrupted},
      {"GenOfZeroBytes", std::vector<uint8_t>{}, kCorrupted},
      {"GenNotAPackedBlock", harness::ToBytes(harness::Settings{}.Text()), kUnreadable},
      {"GenWithDamagedPackedBytes", damaged, kUnreadable},
      {"GenOf23Bytes", std::vector<uint8_t>(valid.begin(), valid.begin() + 23), kUnreadable},
      {"GenWithHugeUnpackedSize", Patched(valid, offsetof(TPackedHeader, UnpackedSize), 0xFFFFFFFEu), kUnreadable},
      {"GenWithEmptyFirstLine", harness::PackBlock(noSignature.Text()), kBadData},
  };
}

// Names, not bytes, in test listings and failure messages.
void PrintTo(const FatalCase& c, std::ostream* os) { *os << c.name; }

class FatalStart : public testing::TestWithParam<FatalCase> {};

TEST_P(FatalStart, ShowsItsErrorOnceWithoutAWaitWindowAndEndsWithZero) {
  const FatalCase& c = GetParam();
  std::vector<harness::Resource> resources;
  if (c.gen) resources.push_back({"GEN", *c.gen});
  RunResult r = RunPublication(resources);
  ASSERT_FALSE(r.timedOut) << r.Describe();
  EXPECT_EQ(r.exitCode, 0u);
  ASSERT_EQ(r.boxes.size(), 1u) << r.Describe();
  EXPECT_EQ(r.boxes[0].caption, kFatalCaption);
  EXPECT_EQ(r.boxes[0].text, c.text);
  EXPECT_STREQ(harness::IconName(r.boxes[0].icon), "error");
  EXPECT_EQ(WaitWindow(r), nullptr);
  EXPECT_TRUE(r.VisibleWindows().empty());
}

INSTANTIATE_TEST_SUITE_P(Launcher, FatalStart, testing::ValuesIn(FatalCases()),
                         [](const testing::TestParamInfo<FatalCase>& info) { return info.param.name; });

struct SplashCase {
  const char* name;
  const char* splashText;
  bool shown;
};

void PrintTo(const SplashCase& c, std::ostream* os) { *os << c.name; }

class WaitWindowStart : public testing::TestWithParam<SplashCase> {};

// An installed stand-in runtime that signals after a while keeps the launcher, and its wait
// window, up long enough to be looked at; without one the run ends within milliseconds.
TEST_P(WaitWindowStart, ShowsTheConfiguredTextCentredUnlessItIsOneAsterisk) {
  const SplashCase& c = GetParam();
  harness::RegisteredRuntime runtime(harness::BinDir() + "qvrt_stub.exe", 5);
  ASSERT_TRUE(runtime.Ok());
  harness::Settings settings;
  settings.RuntimeId = runtime.Id();
  settings.RequiredVersion = "5";
  settings.SplashText = c.splashText;
  RunResult r = RunPublication({{"GEN", harness::PackBlock(settings.Text())}},
                               {{"QVSTUB_MODE", "post"}, {"QVSTUB_DELAY", "300"}, {"QVSTUB_LIFETIME", "5000"}});
  ASSERT_FALSE(r.timedOut) << r.Describe();
  EXPECT_EQ(r.exitCode, 0u);
  EXPECT_TRUE(r.boxes.empty()) << r.Describe();
  const WindowRecord* wait = WaitWindow(r);
  if (!c.shown) {
    EXPECT_EQ(wait, nullptr) << r.Describe();
    EXPECT_TRUE(r.VisibleWindows().empty());
    return;
  }
  ASSERT_NE(wait, nullptr) << "no wait window was seen:\n" << r.Describe();
  EXPECT_TRUE(wait->EverVisible());
  EXPECT_EQ(wait->ControlText(3), c.splashText);
  // Centred on the whole primary screen; halving may round either way by one pixel.
  int w = wait->rect.right - wait->rect.left, h = wait->rect.bottom - wait->rect.top;
  EXPECT_NEAR(wait->rect.left, (GetSystemMetrics(SM_CXSCREEN) - w) / 2, 1);
  EXPECT_NEAR(wait->rect.top, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, 1);
  EXPECT_TRUE(wait->gone);
  EXPECT_GE(wait->lastVisibleMs - wait->firstVisibleMs, 200) << "up until the runtime's signal";
}

INSTANTIATE_TEST_SUITE_P(Launcher, WaitWindowStart,
                         testing::Values(SplashCase{"NoWindowForOneAsterisk", "*", false},
                                         SplashCase{"Text", "Opening the publication...", true},
                                         SplashCase{"EmptyText", "", true}),
                         [](const testing::TestParamInfo<SplashCase>& info) { return info.param.name; });

}  // namespace
