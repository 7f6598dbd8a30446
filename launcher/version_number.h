// The numeric reading of RequiredVersion: optional sign as the very first character, then
// decimal digits; accumulated in 32 bits without an overflow check; 0 without digits.
#pragma once
#include <stdint.h>

uint32_t RequiredVersionNumber(const char* text);
