#include "launcher/settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SplitCase {
  const char* name;
  std::string text;
  std::vector<std::string> items;
};

class SettingsSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(SettingsSplit, GivesTheseItems) {
  const SplitCase& c = GetParam();
  TLoaderSettings s;
  ASSERT_TRUE(s.Load(c.text.data(), static_cast<uint32_t>(c.text.size())));
  ASSERT_EQ(s.Count(), c.items.size());
  for (uint32_t i = 0; i < s.Count(); ++i)
    EXPECT_EQ(std::string(s.Item(i).CStr(), s.Item(i).Length()), c.items[i]) << "item " << i;
  // Past the last item everything reads as empty.
  for (uint32_t i = s.Count(); i < 14; ++i) EXPECT_TRUE(s.Item(i).Empty()) << "item " << i;
  EXPECT_TRUE(s.Item(0xFFFFFFFFu).Empty());
}

std::string Lines(int n, const char* end) {
  std::string t;
  for (int i = 0; i < n; ++i) t += "L" + std::to_string(i) + end;
  return t;
}

std::vector<std::string> Numbered(int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back("L" + std::to_string(i));
  return v;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SettingsSplit,
    testing::Values(
        SplitCase{"Empty", "", {}},
        SplitCase{"CrLf", "sig\r\ntitle\r\n", {"sig", "title"}},
        SplitCase{"CrAlone", "sig\rtitle\r", {"sig", "title"}},
        SplitCase{"LfAloneIsOneItem", "sig\ntitle\n", {"sig\ntitle\n"}},
        SplitCase{"LfAfterCrLfIsKept", "a\r\n\nb", {"a", "\nb"}},
        SplitCase{"CrCrLf", "a\r\r\nb", {"a", "", "b"}},
        SplitCase{"TrailingTextWithoutLineEnd", "sig\r\ntitle", {"sig", "title"}},
        SplitCase{"TwoLineEndsInARow", "sig\r\n\r\ntitle\r\n", {"sig", "", "title"}},
        SplitCase{"OnlyLineEnds", "\r\n\r", {"", ""}},
        SplitCase{"BlanksOnlyLine", " \r\n   \r\n", {" ", "   "}},
        SplitCase{"NothingTrimmed", "\"q\" \t\r\n", {"\"q\" \t"}},
        SplitCase{"ElevenLinesCrLf", Lines(11, "\r\n"), Numbered(11)},
        SplitCase{"LinesAfterTheEleventhIgnored", Lines(14, "\r\n"), Numbered(11)},
        SplitCase{"TwelfthLineWithoutEndIgnored", Lines(11, "\r") + "extra", Numbered(11)}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(Settings, MissingSplashTextStillWantsAWaitWindow) {
  TLoaderSettings s;
  ASSERT_TRUE(s.Load("sig", 3));
  EXPECT_TRUE(s.WantsWaitWindow());
}

TEST(Settings, EmbeddedNulIsPartOfTheItem) {
  const char text[] = {'a', 0, 'b', '\r', 'c'};
  TLoaderSettings s;
  ASSERT_TRUE(s.Load(text, sizeof text));
  ASSERT_EQ(s.Count(), 2u);
  EXPECT_EQ(s.Item(0).Length(), 3u);
}

TEST(Settings, LoadReplacesTheList) {
  TLoaderSettings s;
  std::string first = Lines(11, "\r\n");
  ASSERT_TRUE(s.Load(first.data(), static_cast<uint32_t>(first.size())));
  ASSERT_TRUE(s.Load("x", 1));
  EXPECT_EQ(s.Count(), 1u);
  EXPECT_TRUE(s.Item(1).Empty());
  EXPECT_TRUE(s.Item(10).Empty());
}

struct TextCase {
  const char* text;
  bool expected;
};

class SettingsFlag : public testing::TestWithParam<TextCase> {};

TEST_P(SettingsFlag, OnlyExactlyOneIsSet) {
  std::string text = "sig\r\n\r\n\r\n\r\n" + std::string(GetParam().text) + "\r\n";
  TLoaderSettings s;
  ASSERT_TRUE(s.Load(text.data(), static_cast<uint32_t>(text.size())));
  EXPECT_EQ(s.Flag(RunFromTemp), GetParam().expected) << '"' << GetParam().text << '"';
  EXPECT_FALSE(s.Flag(RuntimeEmbeddedItem));  // past the end
}

INSTANTIATE_TEST_SUITE_P(Texts, SettingsFlag,
                         testing::Values(TextCase{"1", true}, TextCase{"0", false}, TextCase{"", false},
                                         TextCase{"01", false}, TextCase{"1 ", false},
                                         TextCase{" 1", false}, TextCase{"true", false},
                                         TextCase{"yes", false}));

// The wait window is suppressed by exactly one asterisk in item 10 and nothing else.
class SettingsSplashText : public testing::TestWithParam<TextCase> {};

TEST_P(SettingsSplashText, SuppressesTheWaitWindowOnlyWhenExactlyOneAsterisk) {
  std::string text = "sig\r\n";
  for (int i = 1; i < 10; ++i) text += "\r\n";
  text += GetParam().text;
  text += "\r\n";
  TLoaderSettings s;
  ASSERT_TRUE(s.Load(text.data(), static_cast<uint32_t>(text.size())));
  EXPECT_STREQ(s.Item(SplashTextItem).CStr(), GetParam().text);
  EXPECT_EQ(s.WantsWaitWindow(), !GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, SettingsSplashText,
                         testing::Values(TextCase{"*", true}, TextCase{"**", false}, TextCase{" *", false},
                                         TextCase{"* ", false}, TextCase{"", false},
                                         TextCase{"Please wait...", false}));

}  // namespace
