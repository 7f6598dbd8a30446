// The producer of packed blocks: exact bit layout of each code, the long-match length
// rule at every offset boundary, and round trips through the launcher's reader.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "packed/packed.h"
#include "packed/stream.h"
#include "tools/packer/packer.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Packed(TAplibWriter& w) { return Bytes(w.Data(), w.Data() + w.Size()); }

// Decodes into a buffer of exactly `capacity` bytes followed by a canary.
int32_t Depack(const Bytes& stream, uint32_t capacity, Bytes& out) {
  Bytes buf(capacity + 1, 0xA5);
  int32_t r = AplibDepack(stream.data(), static_cast<uint32_t>(stream.size()), buf.data(), capacity);
  EXPECT_EQ(buf[capacity], 0xA5) << "wrote past the capacity";
  out.assign(buf.begin(), buf.begin() + (r > 0 ? r : 0));
  return r;
}

// Each row writes codes through the writer; the bytes must be exactly those a decoder
// expects, tag bytes included.
TEST(AplibWriter, WritesTheBitLayoutOfEachCode) {
  struct Case {
    const char* name;
    std::function<void(TAplibWriter&)> write;
    Bytes stream;
    Bytes decoded;
  };
  const Case cases[] = {
      {"literals", [](TAplibWriter& w) { w.Literal(0x41); w.Literal(0x42); w.Literal(0x43); },
       {0x41, 0x30, 0x42, 0x43, 0x00}, {0x41, 0x42, 0x43}},
      {"overlapping long match", [](TAplibWriter& w) { w.Literal(0x41); w.LongMatch(1, 5); },
       {0x41, 0xAB, 0x01, 0x00, 0x00}, Bytes(6, 0x41)},
      {"zero byte and single byte", [](TAplibWriter& w) { w.Literal(0x41); w.SingleByte(0); w.SingleByte(2); },
       {0x41, 0xE1, 0xCB, 0x00, 0x00}, {0x41, 0x00, 0x41}},
      {"short match", [](TAplibWriter& w) { w.Literal(0x41); w.ShortMatch(1, 3); },
       {0x41, 0xD8, 0x03, 0x00}, Bytes(4, 0x41)},
      // A repeat after a literal; after a match, gamma 2 is a long match with high part 0.
      {"repeat, then a long match after a match",
       [](TAplibWriter& w) { w.Literal(1); w.ShortMatch(1, 2); w.Literal(2); w.RepeatMatch(2); w.LongMatch(4, 4); },
       {0x01, 0xC8, 0x02, 0x02, 0x20, 0x04, 0xC0, 0x00}, {1, 1, 1, 2, 2, 2, 1, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAplibWriter w;
    c.write(w);
    w.End();
    ASSERT_TRUE(w.Ok());
    EXPECT_EQ(Packed(w), c.stream);
    Bytes out;
    EXPECT_EQ(Depack(Packed(w), static_cast<uint32_t>(c.decoded.size()), out),
              static_cast<int32_t>(c.decoded.size()));
    EXPECT_EQ(out, c.decoded);
  }
}

// The shortest long match at each side of every offset boundary, written once after a
// literal (high part + 3) and once after a match (high part + 2), must decode exactly.
TEST(AplibWriter, LongMatchLengthRuleAtEveryOffsetBoundary) {
  const uint32_t offsets[] = {1, 127, 128, 255, 256, 1279, 1280, 31999, 32000, 70000};
  std::mt19937 rng(7);
  for (uint32_t offset : offsets) {
    for (bool afterMatch : {false, true}) {
      SCOPED_TRACE("offset " + std::to_string(offset) + (afterMatch ? " after a match" : ""));
      const uint32_t length = LongMatchMinLength(offset);
      Bytes expected;
      TAplibWriter w;
      while (expected.size() < offset) {
        expected.push_back(static_cast<uint8_t>(rng()));
        w.Literal(expected.back());
      }
      if (afterMatch) {
        w.ShortMatch(1, 2);
        expected.insert(expected.end(), 2, expected.back());
      }
      for (uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - offset]);
      w.LongMatch(offset, length);
      w.End();
      ASSERT_TRUE(w.Ok());
      Bytes out;
      ASSERT_EQ(Depack(Packed(w), static_cast<uint32_t>(expected.size()), out),
                static_cast<int32_t>(expected.size()));
      EXPECT_TRUE(out == expected);
    }
  }
}

// ---- Round trips of the whole producer through the launcher's reader ----

Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

Bytes Text(size_t n) {
  static const char* words[] = {"the ", "publication ", "runtime ", "viewer ", "of ", "and ",
                                "a ", "window ", "settings\r\n", "is ", "launcher ", "."};
  std::mt19937 rng(3);
  std::string s;
  while (s.size() < n) s += words[rng() % 12];
  s.resize(n);
  return Bytes(s.begin(), s.end());
}

// Runs, noise and copies from every distance class, so each code and each long-match
// adjustment is needed somewhere.
Bytes Mixed(size_t n) {
  std::mt19937 rng(11);
  static const uint32_t distances[][2] = {{1, 15}, {16, 127}, {128, 1279}, {1280, 31999}, {32000, 200000}};
  Bytes b = RandomBytes(rng, 64);
  while (b.size() < n) {
    switch (rng() % 4) {
      case 0: b.insert(b.end(), 1 + rng() % 300, static_cast<uint8_t>(rng() % 3 ? 0 : rng())); break;
      case 1: {
        Bytes r = RandomBytes(rng, 1 + rng() % 2000);
        b.insert(b.end(), r.begin(), r.end());
        break;
      }
      default: {
        const uint32_t* d = distances[rng() % 5];
        uint32_t dist = d[0] + rng() % (d[1] - d[0] + 1);
        if (dist > b.size()) dist = static_cast<uint32_t>(b.size());
        uint32_t len = 2 + rng() % 600;
        for (uint32_t i = 0; i < len; ++i) b.push_back(b[b.size() - dist]);
      }
    }
  }
  b.resize(n);
  return b;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

TEST(PackedBlockWriter, RoundTripsThroughUnpackBlock) {
  std::mt19937 rng(1);
  struct Case {
    std::string name;
    Bytes data;
  };
  std::vector<Case> cases = {
      {"one byte", {0x7F}},
      {"one zero", {0}},
      {"two bytes", {1, 2}},
      {"three equal", {9, 9, 9}},
      {"127 zeros", Bytes(127, 0)},
      {"128 of one byte", Bytes(128, 0xEE)},
      {"64 KiB zeros", Bytes(65536, 0)},
      {"64 KiB random", RandomBytes(rng, 65536)},
      {"text", Text(50000)},
      {"period 3", [] { Bytes b; for (int i = 0; i < 1000; ++i) b.push_back(static_cast<uint8_t>(i % 3 + 1)); return b; }()},
      {"mixed with far repeats", Mixed(400000)},
  };
  for (uint32_t n : {1u, 2u, 3u, 127u, 128u, 129u, 1279u, 1280u, 32000u}) cases.push_back({"random " + std::to_string(n), RandomBytes(rng, n)});

  TPackStats total;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t n = static_cast<uint32_t>(c.data.size());
    TMemoryStream block, dest;
    TPackStats stats;
    ASSERT_TRUE(WritePackedBlock(c.data.data(), n, block, &stats));
    for (uint32_t k = 0; k < kCodeKinds; ++k) total.Codes[k] += stats.Codes[k];

    const uint8_t* h = block.Memory();
    ASSERT_GE(block.Size(), kPackedHeaderSize);
    EXPECT_EQ(memcmp(h, "ZQVC", 4), 0);
    EXPECT_EQ(Le32(h + 4), kPackedHeaderSize);
    EXPECT_EQ(block.Size(), kPackedHeaderSize + Le32(h + 8));
    EXPECT_EQ(Le32(h + 12), Crc32(h + kPackedHeaderSize, Le32(h + 8)));
    EXPECT_EQ(Le32(h + 16), n);
    EXPECT_EQ(Le32(h + 20), Crc32(c.data.data(), n));
    EXPECT_EQ(stats.Codes[kCodeEnd], 1u);

    ASSERT_EQ(UnpackBlock(block, dest), 0);
    EXPECT_EQ(dest.Position(), 0u);
    ASSERT_EQ(dest.Size(), n);
    EXPECT_EQ(memcmp(dest.Memory(), c.data.data(), n), 0);
  }
  const char* names[] = {"literal", "long match", "repeat match", "short match", "single byte", "zero byte", "end"};
  for (uint32_t k = 0; k < kCodeKinds; ++k) EXPECT_GT(total.Codes[k], 0u) << names[k] << " never produced";
  // Repetitive data must actually shrink, or the match paths are not really taken.
  TMemoryStream zeros;
  Bytes z(65536, 0);
  ASSERT_TRUE(WritePackedBlock(z.data(), 65536, zeros));
  EXPECT_LT(zeros.Size(), 100u);
}

TEST(PackedBlockWriter, RefusesAnEmptyInput) {
  uint8_t b = 0;
  TMemoryStream out;
  EXPECT_FALSE(WritePackedBlock(&b, 0, out));
  EXPECT_FALSE(AplibPack(&b, 0, out));
  EXPECT_EQ(out.Size(), 0u);
}

}  // namespace
