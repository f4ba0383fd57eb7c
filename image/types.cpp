#include "image/types.h"

int BitCountOf(TLXPixelFormat f) {
  static constexpr int kBits[] = {0, 1, 8, 8, 16, 24, 32};
  return f <= lx32f ? kBits[f] : 0;
}

int32_t ComputeRowLength(int32_t width, int32_t bitsPerPixel, int32_t alignmentBits) {
  const int64_t bits = int64_t(width) * bitsPerPixel;
  if (alignmentBits == 32) return int32_t(((bits + 31) / 32) * 4);
  if (alignmentBits <= 0) alignmentBits = 8;
  return int32_t(((bits + alignmentBits - 1) / alignmentBits) * (alignmentBits / 8));
}

std::optional<int64_t> CheckedImageBytes(int64_t width, int64_t height, int64_t bitsPerPixel,
                                         int64_t alignmentBits) {
  if (width <= 0 || height <= 0 || bitsPerPixel <= 0) return std::nullopt;
  if (width > kMaxImageSide || height > kMaxImageSide) return std::nullopt;
  if (alignmentBits <= 0) alignmentBits = 8;
  const int64_t row = ((width * bitsPerPixel + alignmentBits - 1) / alignmentBits) * (alignmentBits / 8);
  if (row <= 0 || row > kMaxImageBytes / height) return std::nullopt;
  return row * height;
}
