#include "launcher/settings.h"

void TLoaderSettings::Clear() {
  for (uint32_t i = 0; i < count_; ++i) items_[i].Clear();
  count_ = 0;
}

bool TLoaderSettings::Load(const char* text, uint32_t length) {
  Clear();
  uint32_t start = 0;
  for (uint32_t i = 0; i <= length && count_ < kSettingsItemCount; ++i) {
    bool atEnd = i == length;
    if (!atEnd && text[i] != '\r') continue;
    // A final line end is not followed by an empty item.
    if (atEnd && i == start) break;
    if (!items_[count_++].Assign(text + start, i - start)) {
      Clear();
      return false;
    }
    if (!atEnd && i + 1 < length && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  return true;
}
