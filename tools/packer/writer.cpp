// Bit-level writing of the aPLib stream and the block header around it.
#include <stdint.h>

#include "packed/packed.h"
#include "tools/packer/packer.h"

void TAplibWriter::Byte(uint8_t b) { ok_ = out_.Add(b) && ok_; }

void TAplibWriter::Bit(uint32_t bit) {
  // The decoder reads a fresh tag byte exactly when it needs a bit and has none left, so
  // the tag byte goes at the current end, before the bytes that follow it.
  if (tagBitsLeft_ == 0) {
    tagPos_ = out_.Count();
    Byte(0);
    tagBitsLeft_ = 8;
  }
  --tagBitsLeft_;
  if (bit && tagPos_ < out_.Count()) out_[tagPos_] |= static_cast<uint8_t>(1u << tagBitsLeft_);
}

void TAplibWriter::Bits(uint32_t value, uint32_t count) {
  while (count--) Bit((value >> count) & 1);
}

void TAplibWriter::Gamma(uint32_t v) {
  // The bits below the leading 1, each followed by "more follow".
  uint32_t top = 31;
  while (top && !(v >> top)) --top;
  while (top--) {
    Bit((v >> top) & 1);
    Bit(top != 0);
  }
}

void TAplibWriter::Literal(uint8_t b) {
  if (started_) Bit(0);
  started_ = true;
  Byte(b);
  afterMatch_ = false;
  Count(kCodeLiteral);
}

void TAplibWriter::LongMatch(uint32_t offset, uint32_t length) {
  Bits(2, 2);
  Gamma((offset >> 8) + (afterMatch_ ? 2 : 3));
  Byte(static_cast<uint8_t>(offset));
  Gamma(length - LongMatchAdjustment(offset));
  afterMatch_ = true;
  Count(kCodeLongMatch);
}

void TAplibWriter::RepeatMatch(uint32_t length) {
  Bits(2, 2);
  Gamma(2);
  Gamma(length);
  afterMatch_ = true;
  Count(kCodeRepeatMatch);
}

void TAplibWriter::ShortMatch(uint32_t offset, uint32_t length) {
  Bits(6, 3);
  Byte(static_cast<uint8_t>(offset * 2 + (length - 2)));
  afterMatch_ = true;
  Count(kCodeShortMatch);
}

void TAplibWriter::SingleByte(uint32_t offset) {
  Bits(7, 3);
  Bits(offset, 4);
  afterMatch_ = false;
  Count(offset ? kCodeSingleByte : kCodeZeroByte);
}

void TAplibWriter::End() {
  Bits(6, 3);
  Byte(0);
  Count(kCodeEnd);
}

uint32_t LongMatchMinLength(uint32_t offset) { return 2 + LongMatchAdjustment(offset); }

namespace {

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool WriteBlockAround(const uint8_t* packed, uint32_t packedSize, const uint8_t* data, uint32_t n,
                      TMemoryStream& out) {
  uint8_t header[kPackedHeaderSize];
  PutLe32(header + 0, kWriterTag);
  PutLe32(header + 4, kPackedHeaderSize);
  PutLe32(header + 8, packedSize);
  PutLe32(header + 12, Crc32(packed, packedSize));
  PutLe32(header + 16, n);
  PutLe32(header + 20, Crc32(data, n));
  if (out.Write(header, sizeof header) != sizeof header) return false;
  return packedSize == 0 || out.Write(packed, packedSize) == packedSize;
}

bool WritePackedBlock(const uint8_t* data, uint32_t n, TMemoryStream& out, TPackStats* stats) {
  if (!data || n == 0) return false;
  TMemoryStream packed;
  if (!AplibPack(data, n, packed, stats)) return false;
  return WriteBlockAround(packed.Memory(), packed.Size(), data, n, out);
}
