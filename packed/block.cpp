// Packed blocks: header checks, both CRCs, and the stream-to-stream reader that every
// resource goes through. All sizes are unsigned 32-bit, in every build.
#include <stdint.h>
#include <string.h>

#include "base/mem.h"
#include "packed/packed.h"

namespace {

// The block may sit at any address; copying the header avoids unaligned loads.
TPackedHeader ReadHeader(const uint8_t* block) {
  TPackedHeader h;
  memcpy(&h, block, sizeof h);
  return h;
}

}  // namespace

int32_t QueryUnpackedSize(const uint8_t* block) {
  if (!block) return -1;
  TPackedHeader h = ReadHeader(block);
  if (h.Tag != kCheckTag || h.HeaderSize < kPackedHeaderSize) return -1;
  return static_cast<int32_t>(h.UnpackedSize);
}

int32_t DepackBlock(const uint8_t* block, uint32_t blockLength, uint8_t* dest, uint32_t destCapacity) {
  if (!block || !dest) return -1;
  if (blockLength < kPackedHeaderSize) return -1;
  TPackedHeader h = ReadHeader(block);
  if (h.Tag != kCheckTag) return -1;
  if (h.HeaderSize < kPackedHeaderSize) return -1;
  if (blockLength < h.HeaderSize) return -1;
  if (h.PackedSize > blockLength - h.HeaderSize) return -1;
  const uint8_t* packed = block + h.HeaderSize;
  if (Crc32(packed, h.PackedSize) != h.PackedCrc) return -1;
  if (h.UnpackedSize > destCapacity) return -1;
  int32_t r = AplibDepack(packed, h.PackedSize, dest, destCapacity);
  if (r == -1 || static_cast<uint32_t>(r) != h.UnpackedSize) return -1;
  if (Crc32(dest, h.UnpackedSize) != h.UnpackedCrc) return -1;
  return static_cast<int32_t>(h.UnpackedSize);
}

int32_t UnpackBlock(TStream& source, TStream& dest) {
  // The stored tag is the producer's; the checks expect the decoder's own.
  static const uint8_t tag[4] = {'A', 'P', '3', '2'};
  source.SetPosition(0);
  source.Write(tag, sizeof tag);
  source.SetPosition(0);

  uint32_t n = source.Size();
  uint8_t* block = static_cast<uint8_t*>(QvAlloc(n));
  if (!block) return -1;
  source.Read(block, n);

  int32_t result = -1;
  uint8_t* out = nullptr;
  int32_t s = n < kPackedHeaderSize ? -1 : QueryUnpackedSize(block);
  // QvAlloc yields nothing for 0 bytes, so an empty payload fails here as well.
  if (s != -1) out = static_cast<uint8_t*>(QvAlloc(static_cast<uint32_t>(s)));
  if (out) {
    int32_t r = DepackBlock(block, n, out, static_cast<uint32_t>(s));
    if (r != -1) {
      uint32_t count = static_cast<uint32_t>(r);
      // A short write (a full disk) would leave a truncated file that looks complete.
      if (dest.Write(out, count) == count) result = 0;
      dest.SetPosition(0);
    }
  }
  QvFree(out);
  QvFree(block);
  return result;
}
