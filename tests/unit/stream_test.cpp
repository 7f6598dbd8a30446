#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "packed/stream.h"

namespace {

std::string Contents(const TMemoryStream& s) {
  return std::string(reinterpret_cast<const char*>(s.Memory()), s.Size());
}

TEST(TMemoryStream, GrowsOnWritePastTheEnd) {
  TMemoryStream s;
  EXPECT_EQ(s.Write("abcdef", 6), 6u);
  s.SetPosition(4);
  EXPECT_EQ(s.Write("XYZ", 3), 3u);  // overwrites two bytes, appends one
  EXPECT_EQ(Contents(s), "abcdXYZ");
  s.SetPosition(9);  // a gap reads as zeros
  EXPECT_EQ(s.Write("!", 1), 1u);
  EXPECT_EQ(Contents(s), std::string("abcdXYZ\0\0!", 10));
  EXPECT_EQ(s.Position(), 10u);

  // Growth through several reallocations keeps every byte.
  std::string big(5000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13);
  TMemoryStream t;
  for (size_t i = 0; i < big.size(); i += 7) t.Write(big.data() + i, static_cast<uint32_t>(std::min<size_t>(7, big.size() - i)));
  EXPECT_EQ(Contents(t), big);
}

TEST(TMemoryStream, ReadDeliversAtMostWhatRemains) {
  TMemoryStream s;
  s.Write("hello", 5);
  char buf[8] = {};
  s.SetPosition(3);
  EXPECT_EQ(s.Read(buf, 8), 2u);
  EXPECT_EQ(std::string(buf, 2), "lo");
  EXPECT_EQ(s.Position(), 5u);
  EXPECT_EQ(s.Read(buf, 8), 0u);
  s.SetPosition(100);
  EXPECT_EQ(s.Read(buf, 8), 0u);
  EXPECT_EQ(s.Size(), 5u);  // positioning alone does not grow it
}

TEST(TMemoryStream, WriteThatWouldPassFourGigabytesIsRefused) {
  TMemoryStream s;
  s.SetPosition(0xFFFFFFFEu);
  EXPECT_EQ(s.Write("abc", 3), 0u);
  EXPECT_EQ(s.Size(), 0u);
}

}  // namespace
