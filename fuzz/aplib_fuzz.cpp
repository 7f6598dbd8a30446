// The bounded decoder on arbitrary streams. Input: the output capacity as two bytes
// (little-endian), then the stream. The decoder must return -1 or 1..capacity, leave every
// byte past its result alone, and not depend on what the output buffer held before.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz/fuzz_check.h"
#include "packed/packed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 0xFFFFFFFFu) return 0;
  const uint32_t capacity = data[0] | data[1] << 8;
  const uint8_t* stream = data + 2;
  const uint32_t streamLength = static_cast<uint32_t>(size - 2);

  // Exact-size heap buffers, so the sanitizer sees any write past the capacity.
  static const uint8_t fills[2] = {0x00, 0xA5};
  uint8_t* out[2];
  int32_t result[2];
  for (int k = 0; k < 2; ++k) {
    out[k] = static_cast<uint8_t*>(malloc(capacity ? capacity : 1));
    FUZZ_CHECK(out[k]);
    memset(out[k], fills[k], capacity);
    result[k] = AplibDepack(stream, streamLength, out[k], capacity);
  }
  FUZZ_CHECK(result[0] == result[1]);
  const int32_t r = result[0];
  FUZZ_CHECK(r == -1 || (r >= 1 && static_cast<uint32_t>(r) <= capacity));
  if (r != -1) {
    FUZZ_CHECK(memcmp(out[0], out[1], static_cast<size_t>(r)) == 0);
    for (int k = 0; k < 2; ++k)
      for (uint32_t i = static_cast<uint32_t>(r); i < capacity; ++i) FUZZ_CHECK(out[k][i] == fills[k]);
  }
  free(out[0]);
  free(out[1]);
  return 0;
}
