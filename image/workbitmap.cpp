#include "image/workbitmap.h"

#include "image/types.h"

TLXWorkBitmap::TLXWorkBitmap(int width, int height, int bitsPerPixel) {
  if (width > 0 && height > 0) Allocate(width, height, bitsPerPixel);
}

void TLXWorkBitmap::Allocate(int width, int height, int bitsPerPixel) {
  if (width == width_ && height == height_ && bitsPerPixel == bitsPerPixel_) return;
  FreeWork();
  const auto bytes = CheckedImageBytes(width, height, bitsPerPixel);
  if (!bytes) return;
  block_ = std::make_unique_for_overwrite<uint8_t[]>(size_t(*bytes));
  width_ = width;
  height_ = height;
  bitsPerPixel_ = bitsPerPixel;
  rowLength_ = ComputeRowLength(width, bitsPerPixel, 32);
}

void TLXWorkBitmap::FreeWork() {
  block_.reset();
  width_ = height_ = bitsPerPixel_ = rowLength_ = 0;
}
