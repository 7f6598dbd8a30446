// TLoaderSettings: the publication's settings list, one item per line of the unpacked
// "GEN" text. Items are used exactly as they stand.
#pragma once
#include <stdint.h>

#include "base/text.h"

enum TSettingsItem : uint32_t {
  Signature = 0,
  TitleItem = 1,
  RuntimeIdItem = 2,
  RequiredVersionItem = 3,
  RunFromTemp = 4,
  RuntimeEmbeddedItem = 5,
  OkCaption = 6,
  CancelCaption = 7,
  DownloadUrl = 8,
  RuntimeFileName = 9,
  SplashTextItem = 10,
};

// Lines after these are never read, so they are not kept.
constexpr uint32_t kSettingsItemCount = 11;

class TLoaderSettings {
public:
  TLoaderSettings() = default;
  TLoaderSettings(const TLoaderSettings&) = delete;
  TLoaderSettings& operator=(const TLoaderSettings&) = delete;
  ~TLoaderSettings() { Clear(); }

  // Replaces the list with the items of text[0..length). A line ends at CR; an LF right
  // after it belongs to that line end, any other LF is an ordinary character. False when
  // memory ran out (the list is then empty).
  bool Load(const char* text, uint32_t length);
  uint32_t Count() const { return count_; }
  // The item, or the empty text beyond the last one.
  const TText& Item(uint32_t index) const { return items_[index < count_ ? index : kSettingsItemCount]; }
  // A flag is set only by exactly "1".
  bool Flag(uint32_t index) const { return Item(index).Equals("1"); }
  // Only the one-character text "*" in SplashText means no wait window; the empty text
  // still gets one.
  bool WantsWaitWindow() const { return !Item(SplashTextItem).Equals("*"); }
  void Clear();

private:
  // One more than kept: the last entry stays empty and answers every index past the end.
  TText items_[kSettingsItemCount + 1];
  uint32_t count_ = 0;
};
