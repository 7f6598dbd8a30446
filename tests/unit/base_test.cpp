#include <gtest/gtest.h>

#include <string>

#include "base/list.h"
#include "base/text.h"

TEST(Text, KeepsEveryByteAndGrowsAcrossManyAppends) {
  TText t;
  std::string expected;
  for (int i = 0; i < 1000; ++i) {
    char c = static_cast<char>(i % 255 + 1);  // high bytes included
    ASSERT_TRUE(t.AppendChar(c));
    expected += c;
  }
  ASSERT_EQ(t.Length(), expected.size());
  EXPECT_EQ(std::string(t.CStr(), t.Length()), expected);
  EXPECT_EQ(t.CStr()[t.Length()], '\0');
}

TEST(Text, ComparesWholeTextsAndFindsCharacters) {
  TText t("a\\b:c\\d");
  EXPECT_TRUE(t.Equals("a\\b:c\\d"));
  EXPECT_FALSE(t.Equals("a\\b:c\\"));
  EXPECT_FALSE(t.Equals("a\\b:c\\d "));
  EXPECT_EQ(t.IndexOf('\\'), 1);
  EXPECT_EQ(t.LastIndexOf('\\'), 5);
  EXPECT_EQ(t.IndexOf('x'), -1);
  TText empty;
  EXPECT_TRUE(empty.Equals(""));
  EXPECT_STREQ(empty.CStr(), "");
  EXPECT_EQ(empty.LastIndexOf('a'), -1);
}

TEST(Text, CopiesAndMovesOwnTheirBytes) {
  TText a("first");
  TText b(a);
  a.Assign("changed");
  EXPECT_STREQ(b.CStr(), "first");
  TText c(static_cast<TText&&>(b));
  EXPECT_STREQ(c.CStr(), "first");
  EXPECT_STREQ(b.CStr(), "");
  c = c;
  EXPECT_STREQ(c.CStr(), "first");
  c.Append(c);
  EXPECT_STREQ(c.CStr(), "firstfirst");
}

TEST(PodList, RemovalMovesTheLastItemIntoPlace) {
  TPodList<int> list;
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(list.Add(i));
  list.RemoveMovingLast(2);
  ASSERT_EQ(list.Count(), 9u);
  EXPECT_EQ(list[2], 9);
  list.RemoveMovingLast(8);
  EXPECT_EQ(list.Count(), 8u);
  uint32_t n = 0;
  int* copy = list.CopyItems(&n);
  ASSERT_EQ(n, 8u);
  list[0] = 100;
  EXPECT_EQ(copy[0], 0);
  QvFree(copy);
}
