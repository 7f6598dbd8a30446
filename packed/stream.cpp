#include "packed/stream.h"

#include <string.h>

#include "base/mem.h"

TMemoryStream::~TMemoryStream() { QvFree(data_); }

void TMemoryStream::Clear() {
  QvFree(data_);
  data_ = nullptr;
  size_ = capacity_ = position_ = 0;
}

uint32_t TMemoryStream::Read(void* buffer, uint32_t count) {
  if (position_ >= size_) return 0;
  uint32_t n = size_ - position_;
  if (count < n) n = count;
  memcpy(buffer, data_ + position_, n);
  position_ += n;
  return n;
}

uint32_t TMemoryStream::Write(const void* buffer, uint32_t count) {
  if (count == 0) return 0;
  if (count > 0xFFFFFFFFu - position_) return 0;
  uint32_t end = position_ + count;
  if (end > capacity_) {
    uint32_t want = capacity_ ? capacity_ : 64;
    while (want < end) want = want > 0x7FFFFFFFu ? end : want * 2;
    uint8_t* p = static_cast<uint8_t*>(QvRealloc(data_, want));
    if (!p) return 0;
    data_ = p;
    capacity_ = want;
  }
  if (position_ > size_) memset(data_ + size_, 0, position_ - size_);
  memcpy(data_ + position_, buffer, count);
  position_ = end;
  if (end > size_) size_ = end;
  return count;
}
