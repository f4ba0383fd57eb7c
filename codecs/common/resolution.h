#pragma once
// Resolution fields of files: pixels per metre (BMP, ICO, PNG) against the
// record's dots per inch. One inch is 2.54 cm; values round to the nearest
// integer, ties to the even one.
#include <cmath>
#include <cstdint>

// Dots per inch of a pixels-per-metre field; fallback when the field gives
// less than 1 dpi (0, negative, or a value below 20 per metre).
inline int32_t DpiFromPixelsPerMetre(int64_t pixelsPerMetre, int32_t fallback) {
  if (pixelsPerMetre <= 0) return fallback;
  const long double v = std::nearbyint(static_cast<long double>(pixelsPerMetre) / 100.0L * 2.54L);
  if (v < 1) return fallback;
  return v > 2147483647.0L ? INT32_MAX : int32_t(v);
}

// Pixels per metre of a dpi value: 0 for a value below 0, saturated at INT32_MAX.
inline uint32_t PixelsPerMetreFromDpi(int64_t dpi) {
  const long double v = std::nearbyint(static_cast<long double>(dpi) / 2.54L * 100.0L);
  if (v < 0) return 0;
  return v > 2147483647.0L ? uint32_t(INT32_MAX) : uint32_t(v);
}
