#include "base/text.h"

#include <string.h>

#include "base/mem.h"

TText& TText::operator=(TText&& o) noexcept {
  if (this != &o) {
    QvFree(data_);
    data_ = o.data_;
    len_ = o.len_;
    cap_ = o.cap_;
    o.data_ = nullptr;
    o.len_ = o.cap_ = 0;
  }
  return *this;
}

TText::~TText() { QvFree(data_); }

bool TText::Reserve(uint32_t capacity) {
  if (capacity < cap_ && data_) return true;
  if (capacity >= 0xFFFFFFF0u) return false;
  uint32_t want = cap_ ? cap_ : 16;
  while (want <= capacity) want = want > 0x7FFFFFFFu ? capacity + 1 : want * 2;
  char* p = static_cast<char*>(QvRealloc(data_, want));
  if (!p) return false;
  if (!data_) p[0] = 0;
  data_ = p;
  cap_ = want;
  return true;
}

bool TText::Assign(const char* s) { return Assign(s, s ? static_cast<uint32_t>(strlen(s)) : 0); }

bool TText::Assign(const char* s, uint32_t n) {
  len_ = 0;
  if (data_) data_[0] = 0;
  return Append(s, n);
}

bool TText::Append(const char* s) { return Append(s, s ? static_cast<uint32_t>(strlen(s)) : 0); }

bool TText::Append(const char* s, uint32_t n) {
  if (n > 0xFFFFFFF0u - len_) return false;
  // The source may lie inside this text's own buffer, which Reserve can move.
  bool inside = data_ && s >= data_ && s < data_ + cap_;
  uint32_t offset = inside ? static_cast<uint32_t>(s - data_) : 0;
  if (!Reserve(len_ + n)) return false;
  if (inside) s = data_ + offset;
  if (n) memmove(data_ + len_, s, n);
  len_ += n;
  data_[len_] = 0;
  return true;
}

void TText::Clear() {
  len_ = 0;
  if (data_) data_[0] = 0;
}

bool TText::Equals(const char* s) const {
  uint32_t n = static_cast<uint32_t>(strlen(s));
  return n == len_ && memcmp(CStr(), s, n) == 0;
}

int32_t TText::IndexOf(char c) const {
  for (uint32_t i = 0; i < len_; ++i)
    if (data_[i] == c) return static_cast<int32_t>(i);
  return -1;
}

int32_t TText::LastIndexOf(char c) const {
  for (uint32_t i = len_; i > 0; --i)
    if (data_[i - 1] == c) return static_cast<int32_t>(i - 1);
  return -1;
}
