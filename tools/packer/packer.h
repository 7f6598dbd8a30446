// The producer of packed blocks: an aPLib encoder and the block writer around it. Used by
// the publishing tool qvpack and by tests that need blocks of any content; never part of
// the launcher.
#pragma once
#include <stdint.h>

#include "base/list.h"
#include "packed/packed.h"

// The codes of the bit stream, for counting what an encoding used.
enum TAplibCode : uint32_t {
  kCodeLiteral,
  kCodeLongMatch,
  kCodeRepeatMatch,
  kCodeShortMatch,
  kCodeSingleByte,  // a byte from 1 to 15 back
  kCodeZeroByte,    // the single-byte code with offset 0
  kCodeEnd,
  kCodeKinds
};

struct TPackStats {
  uint32_t Codes[kCodeKinds] = {};
};

// Writes codes one at a time and puts each tag byte where the decoder will take its next
// bit. It does not judge what it is asked to write, so tests can also build streams that
// a decoder must refuse; AplibPack only asks for what the format can express.
class TAplibWriter {
public:
  // Raw pieces. Gamma takes v >= 2.
  void Bit(uint32_t bit);
  void Bits(uint32_t value, uint32_t count);  // most significant first
  void Gamma(uint32_t v);
  void Byte(uint8_t b);

  // Whole codes. The first call of Literal writes the leading byte that has no tag bit.
  void Literal(uint8_t b);
  void LongMatch(uint32_t offset, uint32_t length);  // length before the adjustment
  void RepeatMatch(uint32_t length);
  void ShortMatch(uint32_t offset, uint32_t length);  // offset 1..127, length 2..3
  void SingleByte(uint32_t offset);                   // 0..15; 0 puts a zero byte
  void End();

  // False once memory ran out; the bytes are then incomplete.
  bool Ok() const { return ok_; }
  const uint8_t* Data() { return out_.Items(); }
  uint32_t Size() const { return out_.Count(); }
  const TPackStats& Stats() const { return stats_; }

private:
  void Count(TAplibCode code) { ++stats_.Codes[code]; }

  TPodList<uint8_t> out_;
  uint32_t tagPos_ = 0;
  uint32_t tagBitsLeft_ = 0;
  bool started_ = false;
  bool afterMatch_ = false;  // the decoder's bias is 1 after a match, 2 otherwise
  bool ok_ = true;
  TPackStats stats_;
};

// The shortest length a long match can express at an offset (LongMatchAdjustment of the
// reader, plus the smallest gamma number).
uint32_t LongMatchMinLength(uint32_t offset);

// Appends the aPLib stream of n bytes (n >= 1), end code included, to out at its position.
// False for an empty input or when memory runs out. stats, when given, receives the count
// of each code used.
bool AplibPack(const uint8_t* data, uint32_t n, TMemoryStream& out, TPackStats* stats = nullptr);

// Writes a whole block at out's position: tag "ZQVC", HeaderSize 24, sizes and CRCs, then
// the packed bytes: exactly 24 + PackedSize bytes. An empty input has no block (the reader
// refuses UnpackedSize 0), so it is refused here too.
bool WritePackedBlock(const uint8_t* data, uint32_t n, TMemoryStream& out, TPackStats* stats = nullptr);

// The same around an already encoded stream, for tests that craft their own bit streams.
bool WriteBlockAround(const uint8_t* packed, uint32_t packedSize, const uint8_t* data, uint32_t n,
                      TMemoryStream& out);
