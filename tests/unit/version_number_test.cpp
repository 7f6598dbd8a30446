#include "launcher/version_number.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* text;
  uint32_t number;
};

// Sign only as the very first character, no blank skipping, 32-bit wrap without a check.
const Case kCases[] = {
    {"5", 5u},
    {"+7", 7u},
    {"-1", 0xFFFFFFFFu},
    {"-0", 0u},
    {" 7", 0u},
    {"4294967297", 1u},  // 2^32 + 1
    {"abc", 0u},
    {"", 0u},
    {"12abc", 12u},
    {"-", 0u},
    {"+", 0u},
    {"+-3", 0u},
    {"007", 7u},
    {"3.5", 3u},
};

TEST(RequiredVersionNumber, ReadsLeadingSignedDigits) {
  for (const Case& c : kCases)
    EXPECT_EQ(RequiredVersionNumber(c.text), c.number) << '"' << c.text << '"';
}

}  // namespace
