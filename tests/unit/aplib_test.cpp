#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>

#include <optional>
#include <string>
#include <vector>

#include "packed/packed.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const char* s) {
  Bytes out;
  char* end;
  for (;;) {
    unsigned long v = strtoul(s, &end, 16);
    if (end == s) return out;
    out.push_back(static_cast<uint8_t>(v));
    s = end;
  }
}

// Hand assembly of a bit stream: a tag byte is reserved at the current end whenever a
// bit is due and the last tag byte is full, the way the decoder expects to meet it.
class Stream {
public:
  explicit Stream(uint8_t first) { out_.push_back(first); }

  Stream& Byte(uint8_t b) { out_.push_back(b); return *this; }
  Stream& Bit(int b) {
    if (free_ == 0) {
      tag_ = out_.size();
      out_.push_back(0);
      free_ = 8;
    }
    --free_;
    if (b) out_[tag_] |= static_cast<uint8_t>(1u << free_);
    return *this;
  }
  Stream& Bits(const char* s) {
    for (; *s; ++s) Bit(*s == '1');
    return *this;
  }
  // 64-bit so that numbers the decoder must refuse can be written.
  Stream& Gamma(uint64_t v) {
    int top = 63;
    while (!((v >> top) & 1)) --top;
    for (int i = top - 1; i >= 0; --i) Bit((v >> i) & 1).Bit(i > 0);
    return *this;
  }
  Stream& Literal(uint8_t b) { return Bit(0).Byte(b); }
  Stream& Long(uint64_t g, uint8_t low, uint64_t lengthGamma) { return Bits("10").Gamma(g).Byte(low).Gamma(lengthGamma); }
  Stream& Repeat(uint64_t lengthGamma) { return Bits("10").Gamma(2).Gamma(lengthGamma); }
  Stream& Short(uint8_t b) { return Bits("110").Byte(b); }
  Stream& Single(int offset) {
    Bits("111");
    for (int i = 3; i >= 0; --i) Bit((offset >> i) & 1);
    return *this;
  }
  Bytes End() { return Short(0).out_; }

private:
  Bytes out_;
  size_t tag_ = 0;
  int free_ = 0;
};

struct DepackCase {
  std::string name;
  Bytes input;
  uint32_t capacity;
  std::optional<Bytes> expected;  // nullopt: the decoder must fail
};

std::vector<DepackCase> DepackCases() {
  const Bytes a = Hex("41");
  return {
      {"end code 00", Hex("41 C0 00"), 8, a},
      {"end code 01", Hex("41 C0 01"), 8, a},
      {"literals", Hex("41 30 42 43 00"), 8, Hex("41 42 43")},
      {"literals, exact capacity", Hex("41 30 42 43 00"), 3, Hex("41 42 43")},
      {"literals, capacity short by one", Hex("41 30 42 43 00"), 2, std::nullopt},
      {"capacity 0", Hex("41 C0 00"), 0, std::nullopt},
      {"long match overlapping its output", Hex("41 AB 01 00 00"), 8, Hex("41 41 41 41 41 41")},
      {"match longer than the output left", Hex("41 AB 01 00 00"), 5, std::nullopt},
      {"single bytes: zero, then offset 2", Hex("41 E1 CB 00 00"), 8, Hex("41 00 41")},
      {"short match offset equal to count", Hex("41 D8 03 00"), 8, Hex("41 41 41 41")},
      {"short match offset past the start", Hex("41 D8 04 00"), 8, std::nullopt},
      {"single byte offset past the start", Stream(0x41).Single(2).End(), 8, std::nullopt},
      {"repeat before any match", Hex("41 83 00 00"), 8, std::nullopt},
      {"no end code", Hex("41 00 42"), 8, std::nullopt},
      {"empty source", Bytes{}, 8, std::nullopt},
      {"tag byte missing at the end", Hex("41"), 8, std::nullopt},
      // Gamma numbers and long-match offsets at the edges of 32 bits.
      // Kept to 32 bits, the length 2^32 + 2 would come out as 2 and decode.
      {"gamma with 32 bits below its leading 1", Stream(0x41).Long(3, 1, (1ull << 32) + 2).End(), 8, std::nullopt},
      {"high part 2^24 (offset would wrap to 1)", Stream(0x41).Long((1u << 24) + 3, 1, 2).End(), 8, std::nullopt},
      // g - 3 = 0 and low byte 0: would copy whatever the buffer held.
      {"long match with offset 0", Stream(0x41).Long(3, 0, 2).End(), 8, std::nullopt},
      // gamma + 2 would wrap to 0 or 1 in 32 bits and copy almost nothing.
      {"long-match length wraps to 0", Stream(0x41).Long(3, 1, 0xFFFFFFFEu).End(), 8, std::nullopt},
      {"long-match length wraps to 1", Stream(0x41).Long(3, 1, 0xFFFFFFFFu).End(), 8, std::nullopt},
      {"repeat longer than the output", Stream(0x41).Short(0x02).Literal(0x42).Repeat(0xFFFFFFFFu).End(), 8,
       std::nullopt},
      // After a literal or single byte, g = 2 repeats the last offset.
      {"repeat after a single byte", Stream(0x41).Long(3, 1, 2).Single(0).Repeat(2).End(), 16,
       Hex("41 41 41 41 41 00 00 00")},
      {"repeat after a literal", Stream(0x41).Literal(0x42).Short(0x04).Literal(0x43).Repeat(3).End(), 16,
       Hex("41 42 41 42 43 42 43 42")},
      // After a match the bias is 1: g = 2 is high part 0, followed by an offset byte.
      {"g = 2 after a match is a long match", Stream(0x41).Literal(0x42).Short(0x04).Long(2, 3, 2).End(), 8,
       Hex("41 42 41 42 42 41 42 42")},
  };
}

// Every output buffer carries a canary after its capacity; every case runs over two
// different prior contents, since the result must not depend on them.
TEST(AplibDepack, ExampleStreams) {
  for (const DepackCase& c : DepackCases()) {
    SCOPED_TRACE(c.name);
    for (uint8_t fill : {0x00, 0xEE}) {
      Bytes out(c.capacity + 1, fill);
      int32_t r = AplibDepack(c.input.data(), static_cast<uint32_t>(c.input.size()), out.data(), c.capacity);
      EXPECT_EQ(out[c.capacity], fill) << "canary overwritten";
      if (!c.expected) {
        EXPECT_EQ(r, -1);
        continue;
      }
      ASSERT_EQ(r, static_cast<int32_t>(c.expected->size()));
      EXPECT_EQ(Bytes(out.begin(), out.begin() + r), *c.expected);
      for (size_t i = r; i < out.size(); ++i) EXPECT_EQ(out[i], fill) << "byte " << i << " past the result";
    }
  }
}

TEST(AplibDepack, AssemblerReproducesHandWrittenStreams) {
  EXPECT_EQ(Stream(0x41).Literal(0x42).Literal(0x43).End(), Hex("41 30 42 43 00"));
  EXPECT_EQ(Stream(0x41).Long(3, 1, 3).End(), Hex("41 AB 01 00 00"));
  EXPECT_EQ(Stream(0x41).Single(0).Single(2).End(), Hex("41 E1 CB 00 00"));
}

TEST(AplibDepack, AbsentBuffersFail) {
  const Bytes in = Hex("41 C0 00");
  uint8_t out[4];
  EXPECT_EQ(AplibDepack(nullptr, 3, out, sizeof out), -1);
  EXPECT_EQ(AplibDepack(in.data(), 3, nullptr, 4), -1);
}

TEST(AplibDepack, BytesAfterTheEndCodeAreNotRead) {
  const Bytes in = Hex("41 C0 00 FF FF");
  uint8_t out[4];
  EXPECT_EQ(AplibDepack(in.data(), 3, out, sizeof out), 1);
  EXPECT_EQ(AplibDepack(in.data(), static_cast<uint32_t>(in.size()), out, sizeof out), 1);
}

// A long match copying from the very first byte after `offset` distinct literals, with
// the smallest stored length (gamma 2): the decoded length reveals the adjustment.
TEST(AplibDepack, LongMatchLengthAdjustmentAtOffsetBoundaries) {
  struct {
    uint32_t offset;
    uint32_t adjust;
  } const cases[] = {{127, 2}, {128, 0}, {1279, 0}, {1280, 1}, {31999, 1}, {32000, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offset);
    Bytes expected;
    for (uint32_t i = 0; i < c.offset; ++i) expected.push_back(static_cast<uint8_t>(i * 7 + i / 256));
    Stream s(expected[0]);
    for (uint32_t i = 1; i < c.offset; ++i) s.Literal(expected[i]);
    uint32_t length = 2 + c.adjust;
    for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[i]);
    Bytes in = s.Long((c.offset >> 8) + 3, static_cast<uint8_t>(c.offset), 2).End();

    const uint32_t capacity = static_cast<uint32_t>(expected.size());
    Bytes out(capacity + 1, 0xEE);
    ASSERT_EQ(AplibDepack(in.data(), static_cast<uint32_t>(in.size()), out.data(), capacity),
              static_cast<int32_t>(capacity));
    EXPECT_EQ(out[capacity], 0xEE);
    out.pop_back();
    EXPECT_EQ(out, expected);
  }
}

}  // namespace
