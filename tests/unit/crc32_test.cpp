#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include "packed/packed.h"

namespace {

// The polynomial applied bit by bit: independent of CrcTable and of the word loop.
uint32_t BitwiseCrc(const uint8_t* p, uint32_t n) {
  uint32_t c = 0xFFFFFFFFu;
  while (n--) {
    c ^= *p++;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

TEST(Crc32, TableFollowsThePolynomial) {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    EXPECT_EQ(CrcTable[n], c) << "entry " << n;
  }
}

TEST(Crc32, AbsentOrEmptyGivesZero) {
  const uint8_t byte = 0x41;
  EXPECT_EQ(Crc32(nullptr, 0), 0u);
  EXPECT_EQ(Crc32(nullptr, 9), 0u);
  EXPECT_EQ(Crc32(&byte, 0), 0u);
}

TEST(Crc32, CheckValueAtEveryAlignment) {
  alignas(8) uint8_t buf[16] = {};
  for (uint32_t a = 0; a < 4; ++a) {
    memcpy(buf + a, "123456789", 9);
    EXPECT_EQ(Crc32(buf + a, 9), 0xCBF43926u) << "alignment " << a;
  }
}

// The word loop takes over once the address is aligned and leaves count % 8 bytes to
// the byte loop, so every length around those seams must agree with the plain rule.
TEST(Crc32, WordLoopMatchesBytewiseAtEveryAlignmentAndLength) {
  alignas(8) uint8_t buf[1100];
  for (uint32_t i = 0; i < sizeof buf; ++i) buf[i] = static_cast<uint8_t>(i * 131 + (i >> 3) * 7 + 1);
  const uint32_t longer[] = {16, 17, 23, 24, 31, 33, 64, 100, 255, 1031};
  for (uint32_t a = 0; a < 4; ++a) {
    for (uint32_t n = 1; n <= 15; ++n) EXPECT_EQ(Crc32(buf + a, n), BitwiseCrc(buf + a, n)) << a << "/" << n;
    for (uint32_t n : longer) EXPECT_EQ(Crc32(buf + a, n), BitwiseCrc(buf + a, n)) << a << "/" << n;
  }
}

}  // namespace
