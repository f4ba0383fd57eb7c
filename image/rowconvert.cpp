#include "image/rowconvert.h"

#include <algorithm>

#include "image/cielab.h"

TRowConverter CMYKRowConverter = DefaultRowConverter;

void DefaultRowConverter(const uint8_t* s, int sourceKind, uint8_t* d, int destKind, int n) {
  if (sourceKind == rkCMYK && destKind == rkBGR) {
    for (int i = 0; i < n; ++i, s += 4, d += 3) {
      const unsigned k = s[3];
      d[2] = uint8_t(s[0] * k / 255);
      d[1] = uint8_t(s[1] * k / 255);
      d[0] = uint8_t(s[2] * k / 255);
    }
  } else if (sourceKind == rkBGR && destKind == rkCMYK) {
    for (int i = 0; i < n; ++i, s += 3, d += 4) {
      const unsigned b = s[0], g = s[1], r = s[2];
      unsigned k = std::max({r, g, b});
      if (k == 0) k = 1;
      d[0] = uint8_t(r * 255 / k);
      d[1] = uint8_t(g * 255 / k);
      d[2] = uint8_t(b * 255 / k);
      d[3] = uint8_t(k);
    }
  } else if (sourceKind == rkCIELab && destKind == rkBGR) {
    for (int i = 0; i < n; ++i, s += 3, d += 3) {
      const TRGB c = CIELabToRGB(TCIELab{s[0], int8_t(s[1]), int8_t(s[2])});
      d[0] = c.b, d[1] = c.g, d[2] = c.r;
    }
  } else if (sourceKind == rkBGR && destKind == rkCIELab) {
    for (int i = 0; i < n; ++i, s += 3, d += 3) {
      const TCIELab l = RGBToCIELab(TRGB{s[0], s[1], s[2]});
      d[0] = l.l, d[1] = uint8_t(l.a), d[2] = uint8_t(l.b);
    }
  }
}
