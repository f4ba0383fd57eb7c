#include "image/cielab.h"

#include <cmath>

static double Linearise(double v) {
  return (v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4)) * 100.0;
}

static double LabF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }

static int8_t ClampSigned(double v) {
  if (v < -128) return -128;
  if (v > 127) return 127;
  return int8_t(std::trunc(v));
}

TCIELab RGBToCIELab(TRGB c) {
  const double r = Linearise(c.r / 255.0), g = Linearise(c.g / 255.0), b = Linearise(c.b / 255.0);
  const double x = 0.4124 * r + 0.3576 * g + 0.1805 * b;
  const double y = 0.2126 * r + 0.7152 * g + 0.0722 * b;
  const double z = 0.0193 * r + 0.1192 * g + 0.9505 * b;
  const double fx = LabF(x), fy = LabF(y), fz = LabF(z);
  const double l = (116 * fy - 16) / 550 * 255;
  const double a = (fx - fy) * 500 / 200 * 128;
  const double bb = (fy - fz) * 200 / 500 * 128;
  TCIELab out;
  out.l = l < 0 ? 0 : l > 255 ? 255 : uint8_t(std::trunc(l));
  out.a = ClampSigned(a);
  out.b = ClampSigned(bb);
  return out;
}

static uint8_t GammaByte(double v) {
  if (v <= 0) return 0;
  if (v >= 1) return 255;
  return uint8_t(std::trunc(std::sqrt(v) * 256));
}

TRGB CIELabToRGB(TCIELab p) {
  const double l = p.l / 255.0 * 100;
  // -128 reads as +128
  const double a = p.a == -128 ? 128 : p.a;
  const double b = p.b == -128 ? 128 : p.b;
  const double a2 = (a + 127) / 255 * 200 - 100;
  const double b2 = (b + 127) / 255 * 200 - 100;
  const double fy = (l + 16) / 116;
  double x, y, z;
  if (l >= 7.9996) {
    x = std::pow(fy + a2 / 500, 3);
    y = fy * fy * fy;
    z = std::pow(fy - b2 / 200, 3);
  } else {
    y = l / 903.3;
    x = y + a2 / 3893.5;
    z = y - b2 / 1557.4;
  }
  const double r = 2.69 * x - 1.276 * y - 0.414 * z;
  const double g = -1.022 * x + 1.978 * y + 0.044 * z;
  const double bl = 0.061 * x - 0.224 * y + 1.163 * z;
  return CreateRGB(GammaByte(r), GammaByte(g), GammaByte(bl));
}
