// TPodList<T>: a growable array of trivially copyable items, released explicitly by its
// destructor. Adding reports failure through its result instead of throwing.
#pragma once
#include <stdint.h>
#include <string.h>

#include <type_traits>

#include "base/mem.h"

template <class T>
class TPodList {
  static_assert(std::is_trivially_copyable_v<T>);

public:
  TPodList() = default;
  TPodList(const TPodList&) = delete;
  TPodList& operator=(const TPodList&) = delete;
  ~TPodList() { QvFree(items_); }

  uint32_t Count() const { return count_; }
  T& operator[](uint32_t i) { return items_[i]; }
  const T& operator[](uint32_t i) const { return items_[i]; }
  T* Items() { return items_; }

  bool Add(const T& item) {
    if (count_ == cap_) {
      uint32_t want = cap_ ? cap_ * 2 : 4;
      if (want > 0x0FFFFFFFu / sizeof(T)) return false;
      T* p = static_cast<T*>(QvRealloc(items_, want * sizeof(T)));
      if (!p) return false;
      items_ = p;
      cap_ = want;
    }
    items_[count_++] = item;
    return true;
  }
  // Order is not kept: the last item takes the removed one's place.
  void RemoveMovingLast(uint32_t i) {
    items_[i] = items_[count_ - 1];
    --count_;
  }
  // A copy that the caller owns (null and 0 when empty or out of memory).
  T* CopyItems(uint32_t* count) const {
    *count = 0;
    if (!count_) return nullptr;
    T* p = static_cast<T*>(QvAlloc(count_ * sizeof(T)));
    if (p) {
      memcpy(static_cast<void*>(p), items_, count_ * sizeof(T));
      *count = count_;
    }
    return p;
  }
  void Clear() { count_ = 0; }
  void Release() {
    QvFree(items_);
    items_ = nullptr;
    count_ = cap_ = 0;
  }

private:
  T* items_ = nullptr;
  uint32_t count_ = 0;
  uint32_t cap_ = 0;
};
