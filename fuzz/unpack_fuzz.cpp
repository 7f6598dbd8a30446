// The stream-to-stream block reader on arbitrary blocks. The harness repairs PackedCrc so
// that damaged streams reach the decoder, and, when bit 0 of the first byte is set (the
// reader ignores the stored tag), also UnpackedCrc whenever the stream decodes to
// UnpackedSize bytes, so that the success path is reached too.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "packed/packed.h"
#include "packed/stream.h"

// Under AddressSanitizer, allocations above 32 MiB fail instead of ending the run: a huge
// UnpackedSize then takes the reader's own failure path, as on a machine out of memory.
// (libFuzzer itself needs about 20 MiB at once.)
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=32";
}

namespace {

// Larger outputs that the allocator would still grant only slow the campaign down: the
// sanitizer pays for every byte of a large block.
constexpr uint32_t kRepairLimit = 1u << 20;
constexpr uint32_t kSlowFrom = 1u << 20, kSlowTo = 32u << 20;

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void RepairChecksums(std::vector<uint8_t>& block) {
  if (block.size() < kPackedHeaderSize) return;
  uint8_t* h = block.data();
  const uint32_t n = static_cast<uint32_t>(block.size());
  const uint32_t headerSize = Le32(h + 4), packedSize = Le32(h + 8), unpackedSize = Le32(h + 16);
  if (headerSize < kPackedHeaderSize || headerSize > n || packedSize > n - headerSize) return;
  const uint8_t* packed = h + headerSize;
  PutLe32(h + 12, Crc32(packed, packedSize));
  if (!(h[0] & 1) || unpackedSize == 0 || unpackedSize > kRepairLimit) return;
  std::unique_ptr<uint8_t[]> out(new uint8_t[unpackedSize]);
  if (AplibDepack(packed, packedSize, out.get(), unpackedSize) == static_cast<int32_t>(unpackedSize))
    PutLe32(h + 20, Crc32(out.get(), unpackedSize));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 0xFFFFFFFFu) return 0;
  if (size >= kPackedHeaderSize) {
    const uint32_t unpackedSize = Le32(data + 16);
    if (unpackedSize > kSlowFrom && unpackedSize <= kSlowTo) return 0;
  }
  std::vector<uint8_t> block(data, data + size);
  RepairChecksums(block);

  TMemoryStream source, dest;
  if (!block.empty()) FUZZ_CHECK(source.Write(block.data(), static_cast<uint32_t>(block.size())) == block.size());
  const int32_t r = UnpackBlock(source, dest);

  // The stored tag is always replaced, whatever the outcome.
  FUZZ_CHECK(source.Size() >= 4 && memcmp(source.Memory(), "AP32", 4) == 0);
  FUZZ_CHECK(r == 0 || r == -1);
  if (r == -1) {
    FUZZ_CHECK(dest.Size() == 0);
    return 0;
  }
  const uint8_t* h = block.data();
  FUZZ_CHECK(block.size() >= kPackedHeaderSize);
  FUZZ_CHECK(dest.Size() == Le32(h + 16) && dest.Position() == 0);
  FUZZ_CHECK(Crc32(dest.Memory(), dest.Size()) == Le32(h + 20));
  return 0;
}
