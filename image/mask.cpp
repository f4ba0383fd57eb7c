#include "image/mask.h"

#include <algorithm>
#include <cstring>

#include "image/types.h"

void TLXMask::EmptyBounds() {
  X1 = Y1 = kEmptyBound;
  X2 = Y2 = 0;
}

void TLXMask::Allocate(int width, int height, int bitsPerPixel) {
  FreeMask();
  EmptyBounds();
  Full = false;
  if (bitsPerPixel != 1 && bitsPerPixel != 8) return;
  const auto bytes = CheckedImageBytes(width, height, bitsPerPixel);
  if (!bytes) return;
  data_.assign(size_t(*bytes), 0);
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  rowLength_ = ComputeRowLength(width, bitsPerPixel, 32);
}

void TLXMask::FreeMask() {
  data_ = std::vector<uint8_t>();
  width_ = height_ = bitsPerPixel_ = rowLength_ = 0;
}

void TLXMask::UpdateFull(int value) {
  if (Full) Full = bitsPerPixel_ != 8 || value == 255;
}

void TLXMask::SetPixel(int x, int y, int value) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  if (value != 0) {
    X1 = std::min(X1, x);
    Y1 = std::min(Y1, y);
    X2 = std::max(X2, x);
    Y2 = std::max(Y2, y);
  }
  UpdateFull(value);
  uint8_t* row = Scanline(y);
  if (bitsPerPixel_ == 1) {
    const uint8_t bit = uint8_t(0x80 >> (x & 7));
    if (value != 0) row[x >> 3] |= bit; else row[x >> 3] &= uint8_t(~bit);
  } else {
    row[x] = uint8_t(value);
  }
}

int TLXMask::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const uint8_t* row = Scanline(y);
  if (bitsPerPixel_ == 1) return row[x >> 3] & (0x80 >> (x & 7));
  return row[x];
}

void TLXMask::Fill(int value) {
  if (!data_.empty()) std::memset(data_.data(), int(uint8_t(value)), data_.size());
  Full = bitsPerPixel_ != 8 || value == 255;
}

void TLXMask::Clear() {
  Fill(0);
  EmptyBounds();
}

void TLXMask::FillSpan(int value, int x1, int y, int x2) {
  if (width_ <= 0 || height_ <= 0) return;
  x1 = std::clamp(x1, 0, width_ - 1);
  x2 = std::clamp(x2, 0, width_ - 1);
  y = std::clamp(y, 0, height_ - 1);
  if (x1 > x2) return;
  UpdateFull(value);
  uint8_t* row = Scanline(y);
  if (bitsPerPixel_ == 8) {
    std::memset(row + x1, int(uint8_t(value)), size_t(x2 - x1 + 1));
    return;
  }
  for (int x = x1; x <= x2; ++x) row[x >> 3] |= uint8_t(0x80 >> (x & 7));
}
