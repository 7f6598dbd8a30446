#include "launcher/version_number.h"

uint32_t RequiredVersionNumber(const char* text) {
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  uint32_t n = 0;
  // Wraps silently: a registered version is compared bit for bit, so the wrapped value is
  // the one that must match.
  for (; *text >= '0' && *text <= '9'; ++text) n = n * 10u + uint32_t(*text - '0');
  return negative ? 0u - n : n;
}
