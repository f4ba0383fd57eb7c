#pragma once
// Per-pixel conversions between TRGB and three-byte CIELab (L, a, b; a and b signed).
// The two directions use different scalings and are not inverses of each other.
#include <cstdint>

#include "image/types.h"

struct TCIELab {
  uint8_t l = 0;
  int8_t a = 0;
  int8_t b = 0;
  bool operator==(const TCIELab&) const = default;
};

TCIELab RGBToCIELab(TRGB colour);
TRGB CIELabToRGB(TCIELab pixel);
