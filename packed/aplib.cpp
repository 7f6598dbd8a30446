// Bounded aPLib decoder: one pass over the source, writing straight into the caller's
// buffer. It fails rather than read past the source, write past the output or copy from
// before the output's first byte. Bytes of the output beyond what was produced are
// never touched.
#include <stdint.h>

#include "packed/packed.h"

namespace {

struct TDepacker {
  const uint8_t* src;
  uint32_t srcLeft;
  uint8_t* dst;
  uint32_t capacity;
  uint32_t produced;
  uint32_t tag;       // bits not yet taken, most significant first
  uint32_t tagBits;   // how many of them are left

  bool TakeByte(uint32_t& b) {
    if (srcLeft == 0) return false;
    b = *src++;
    --srcLeft;
    return true;
  }

  bool TakeBit(uint32_t& bit) {
    if (tagBits == 0) {
      if (!TakeByte(tag)) return false;
      tagBits = 8;
    }
    --tagBits;
    bit = (tag >> 7) & 1;
    tag = (tag << 1) & 0xFF;
    return true;
  }

  bool TakeGamma(uint32_t& v) {
    v = 1;
    uint32_t bit;
    do {
      if (v & 0x80000000u) return false;  // one more bit would carry out of 32
      if (!TakeBit(bit)) return false;
      v = (v << 1) + bit;
      if (!TakeBit(bit)) return false;
    } while (bit);
    return true;
  }

  bool PutByte(uint8_t b) {
    if (produced == capacity) return false;
    dst[produced++] = b;
    return true;
  }

  // Byte by byte and forward, so an overlapping match repeats what it has just written.
  bool CopyMatch(uint32_t offset, uint32_t length) {
    if (offset > produced || length > capacity - produced) return false;
    uint8_t* out = dst + produced;
    const uint8_t* from = out - offset;
    for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
    produced += length;
    return true;
  }
};

}  // namespace

uint32_t LongMatchAdjustment(uint32_t offset) {
  if (offset < 128) return 2;
  return (offset >= 32000 ? 1 : 0) + (offset >= 1280 ? 1 : 0);
}

int32_t AplibDepack(const uint8_t* source, uint32_t sourceLength, uint8_t* dest, uint32_t destCapacity) {
  if (!source || !dest) return -1;
  TDepacker d{source, sourceLength, dest, destCapacity, 0, 0, 0};
  uint32_t b, bit, g, length;
  uint32_t lastOffset = 0;  // 0 until the first match: no match can have offset 0
  uint32_t bias = 2;        // 2 after a literal or single byte, 1 after a match

  if (!d.TakeByte(b) || !d.PutByte(static_cast<uint8_t>(b))) return -1;
  for (;;) {
    if (!d.TakeBit(bit)) return -1;
    if (bit == 0) {  // literal
      if (!d.TakeByte(b) || !d.PutByte(static_cast<uint8_t>(b))) return -1;
      bias = 2;
      continue;
    }
    if (!d.TakeBit(bit)) return -1;
    if (bit == 0) {  // long match, or a repeat of the last offset
      if (!d.TakeGamma(g)) return -1;
      if (g == bias) {
        if (lastOffset == 0 || !d.TakeGamma(length) || !d.CopyMatch(lastOffset, length)) return -1;
      } else {
        uint32_t high = g - bias - 1;
        if (high >= (1u << 24) || !d.TakeByte(b)) return -1;
        uint32_t offset = (high << 8) | b;
        // Offset 0 would copy whatever the buffer held before; no producer writes it.
        if (offset == 0 || !d.TakeGamma(length)) return -1;
        uint32_t adjust = LongMatchAdjustment(offset);
        // A length past 32 bits cannot fit any output; wrapping it would copy 0 or 1 byte.
        if (length > 0xFFFFFFFFu - adjust) return -1;
        if (!d.CopyMatch(offset, length + adjust)) return -1;
        lastOffset = offset;
      }
      bias = 1;
      continue;
    }
    if (!d.TakeBit(bit)) return -1;
    if (bit == 0) {  // short match, or the end
      if (!d.TakeByte(b)) return -1;
      uint32_t offset = b >> 1;
      if (offset == 0) return static_cast<int32_t>(d.produced);
      lastOffset = offset;
      if (!d.CopyMatch(offset, 2 + (b & 1))) return -1;
      bias = 1;
      continue;
    }
    uint32_t offset = 0;  // single byte: a zero, or one from up to 15 back
    for (int i = 0; i < 4; ++i) {
      if (!d.TakeBit(bit)) return -1;
      offset = (offset << 1) | bit;
    }
    if (offset > d.produced) return -1;
    if (!d.PutByte(offset ? d.dst[d.produced - offset] : 0)) return -1;
    bias = 2;
  }
}
