// TText: an owned, growable, always NUL-terminated 8-bit string (system ANSI code page).
// Bytes are kept exactly; an embedded NUL ends the text as C sees it but is counted.
#pragma once
#include <stdint.h>

class TText {
public:
  TText() = default;
  explicit TText(const char* s) { Assign(s); }
  TText(const char* s, uint32_t n) { Assign(s, n); }
  TText(const TText& o) { Assign(o.data_ ? o.data_ : "", o.len_); }
  TText& operator=(const TText& o) {
    if (this != &o) Assign(o.data_ ? o.data_ : "", o.len_);
    return *this;
  }
  TText(TText&& o) noexcept : data_(o.data_), len_(o.len_), cap_(o.cap_) {
    o.data_ = nullptr;
    o.len_ = o.cap_ = 0;
  }
  TText& operator=(TText&& o) noexcept;
  ~TText();

  bool Assign(const char* s);
  bool Assign(const char* s, uint32_t n);
  bool Append(const char* s);
  bool Append(const char* s, uint32_t n);
  bool Append(const TText& t) { return Append(t.CStr(), t.len_); }
  bool AppendChar(char c) { return Append(&c, 1); }
  void Clear();

  const char* CStr() const { return data_ ? data_ : ""; }
  char* Data() { return data_; }
  uint32_t Length() const { return len_; }
  bool Empty() const { return len_ == 0; }
  bool Equals(const char* s) const;     // whole-text byte comparison
  int32_t IndexOf(char c) const;        // -1 when absent
  int32_t LastIndexOf(char c) const;
  bool Reserve(uint32_t capacity);      // room for capacity bytes plus the terminator

private:
  char* data_ = nullptr;
  uint32_t len_ = 0;
  uint32_t cap_ = 0;
};
