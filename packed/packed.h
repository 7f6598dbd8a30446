// Packed blocks: a 24-byte header, then an aPLib bit stream. Every failure is -1.
#pragma once
#include <stdint.h>

#include "packed/stream.h"

struct TPackedHeader {
  uint32_t Tag;           // stored "ZQVC"; replaced by "AP32" before any check
  uint32_t HeaderSize;    // offset of the packed data, at least 24
  uint32_t PackedSize;
  uint32_t PackedCrc;
  uint32_t UnpackedSize;
  uint32_t UnpackedCrc;
};
static_assert(sizeof(TPackedHeader) == 24);

constexpr uint32_t kPackedHeaderSize = 24;
constexpr uint32_t kCheckTag = 0x32335041u;   // "AP32" read little-endian
constexpr uint32_t kWriterTag = 0x4356515Au;  // "ZQVC" read little-endian

extern const uint32_t CrcTable[256];

uint32_t Crc32(const void* data, uint32_t length);
// What a long match's stored length leaves out: short offsets need longer matches to pay
// off, long offsets more still.
uint32_t LongMatchAdjustment(uint32_t offset);
int32_t AplibDepack(const uint8_t* source, uint32_t sourceLength, uint8_t* dest, uint32_t destCapacity);
int32_t QueryUnpackedSize(const uint8_t* block);
int32_t DepackBlock(const uint8_t* block, uint32_t blockLength, uint8_t* dest, uint32_t destCapacity);
// Source holds the block from position 0 and must accept writes; Dest receives the
// unpacked bytes and is left at position 0. 0 on success, -1 on any failure.
int32_t UnpackBlock(TStream& source, TStream& dest);
