// A greedy aPLib encoder: at each position it takes the code that saves the most bits
// over plain literals, looking for long matches through hash chains of 3-byte prefixes.
// Correct first; its compression is fair, not best.
#include <stdint.h>

#include "base/mem.h"
#include "tools/packer/packer.h"

namespace {

constexpr uint32_t kHashBits = 20;
constexpr uint32_t kNone = 0xFFFFFFFFu;
constexpr uint32_t kChainDepth = 64;     // candidates tried per position
constexpr uint32_t kNiceLength = 512;    // a match this long ends the search
constexpr uint32_t kLiteralBits = 9;

uint32_t GammaBits(uint32_t v) {
  uint32_t top = 31;
  while (top && !(v >> top)) --top;
  return 2 * top;
}

struct TChoice {
  TAplibCode code = kCodeLiteral;
  uint32_t offset = 0;
  uint32_t length = 1;
  int64_t gain = 0;  // bits saved against literals

  void Consider(TAplibCode c, uint32_t off, uint32_t len, uint32_t costBits) {
    int64_t g = static_cast<int64_t>(len) * kLiteralBits - costBits;
    if (g > gain) *this = TChoice{c, off, len, g};
  }
};

class TMatchFinder {
public:
  TMatchFinder(const uint8_t* data, uint32_t n) : data_(data), n_(n) {
    head_ = static_cast<uint32_t*>(QvAlloc(sizeof(uint32_t) << kHashBits));
    pair_ = static_cast<uint32_t*>(QvAlloc(sizeof(uint32_t) << 16));
    // In a 32-bit build n * 4 can wrap; such an input cannot be held anyway.
    const uint64_t prevBytes = static_cast<uint64_t>(n) * sizeof(uint32_t);
    if (static_cast<size_t>(prevBytes) == prevBytes) prev_ = static_cast<uint32_t*>(QvAlloc(static_cast<size_t>(prevBytes)));
    if (head_)
      for (uint32_t i = 0; i < (1u << kHashBits); ++i) head_[i] = kNone;
    if (pair_)
      for (uint32_t i = 0; i < (1u << 16); ++i) pair_[i] = kNone;
  }
  ~TMatchFinder() {
    QvFree(head_);
    QvFree(pair_);
    QvFree(prev_);
  }
  TMatchFinder(const TMatchFinder&) = delete;
  TMatchFinder& operator=(const TMatchFinder&) = delete;

  bool Ok() const { return head_ && pair_ && prev_; }

  void Insert(uint32_t p) {
    if (n_ - p < 2) return;
    pair_[Pair(p)] = p;
    if (n_ - p < 3) return;
    uint32_t h = Hash(p);
    prev_[p] = head_[h];
    head_[h] = p;
  }

  // Length of the match at p with the given offset (offset <= p), up to the input's end.
  uint32_t MatchLength(uint32_t p, uint32_t offset) const {
    const uint8_t* a = data_ + p;
    const uint8_t* b = a - offset;
    uint32_t limit = n_ - p, len = 0;
    while (len < limit && a[len] == b[len]) ++len;
    return len;
  }

  void FindLong(uint32_t p, bool afterMatch, TChoice& best) const {
    if (n_ - p < 3) return;
    uint32_t cand = head_[Hash(p)];
    for (uint32_t depth = 0; cand != kNone && depth < kChainDepth; ++depth, cand = prev_[cand]) {
      uint32_t offset = p - cand;
      uint32_t len = MatchLength(p, offset);
      if (offset < 128 && len >= 2) ConsiderShort(offset, len, best);
      if (len < LongMatchMinLength(offset)) continue;
      uint32_t cost = 2 + GammaBits((offset >> 8) + (afterMatch ? 2 : 3)) + 8 +
                      GammaBits(len - LongMatchAdjustment(offset));
      best.Consider(kCodeLongMatch, offset, len, cost);
      if (len >= kNiceLength) return;
    }
  }

  // Two-byte matches are worth a short code only; the nearest earlier pair is enough.
  void FindShortPair(uint32_t p, TChoice& best) const {
    if (n_ - p < 2 || pair_[Pair(p)] == kNone) return;
    uint32_t offset = p - pair_[Pair(p)];
    if (offset < 128) ConsiderShort(offset, MatchLength(p, offset), best);
  }

private:
  static void ConsiderShort(uint32_t offset, uint32_t len, TChoice& best) {
    best.Consider(kCodeShortMatch, offset, len < 3 ? len : 3, 3 + 8);
  }
  uint32_t Pair(uint32_t p) const { return data_[p] | (data_[p + 1] << 8); }
  uint32_t Hash(uint32_t p) const {
    uint32_t v = data_[p] | (data_[p + 1] << 8) | (data_[p + 2] << 16);
    return (v * 2654435761u) >> (32 - kHashBits);
  }

  const uint8_t* data_;
  uint32_t n_;
  uint32_t* head_ = nullptr;   // newest position of each 3-byte hash
  uint32_t* pair_ = nullptr;   // newest position of each byte pair
  uint32_t* prev_ = nullptr;
};

void FindSingle(const uint8_t* data, uint32_t p, TChoice& best) {
  if (data[p] == 0) {
    best.Consider(kCodeZeroByte, 0, 1, 3 + 4);
    return;
  }
  uint32_t farthest = p < 15 ? p : 15;
  for (uint32_t off = 1; off <= farthest; ++off) {
    if (data[p - off] == data[p]) {
      best.Consider(kCodeSingleByte, off, 1, 3 + 4);
      return;
    }
  }
}

}  // namespace

bool AplibPack(const uint8_t* data, uint32_t n, TMemoryStream& out, TPackStats* stats) {
  if (!data || n == 0) return false;
  TMatchFinder finder(data, n);
  if (!finder.Ok()) return false;
  TAplibWriter w;
  w.Literal(data[0]);
  finder.Insert(0);

  bool afterMatch = false;
  uint32_t lastOffset = 0;  // none until the first long or short match
  for (uint32_t p = 1; p < n && w.Ok();) {
    TChoice best;
    // The repeat code exists only directly after a literal or single byte.
    if (!afterMatch && lastOffset && lastOffset <= p) {
      uint32_t len = finder.MatchLength(p, lastOffset);
      if (len >= 2) best.Consider(kCodeRepeatMatch, lastOffset, len, 2 + 2 + GammaBits(len));
    }
    finder.FindLong(p, afterMatch, best);
    if (best.gain < 7) finder.FindShortPair(p, best);  // 7: what a 2-byte short match saves
    if (best.gain < 2) FindSingle(data, p, best);

    switch (best.code) {
      case kCodeRepeatMatch: w.RepeatMatch(best.length); break;
      case kCodeLongMatch: w.LongMatch(best.offset, best.length); break;
      case kCodeShortMatch: w.ShortMatch(best.offset, best.length); break;
      case kCodeSingleByte:
      case kCodeZeroByte: w.SingleByte(best.offset); break;
      default: w.Literal(data[p]); break;
    }
    if (best.code == kCodeLongMatch || best.code == kCodeShortMatch) lastOffset = best.offset;
    afterMatch = best.code == kCodeLongMatch || best.code == kCodeShortMatch ||
                 best.code == kCodeRepeatMatch;
    for (uint32_t end = p + best.length; p < end; ++p) finder.Insert(p);
  }
  w.End();
  if (!w.Ok()) return false;
  if (stats) *stats = w.Stats();
  return out.Write(w.Data(), w.Size()) == w.Size();
}
