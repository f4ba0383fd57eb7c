#pragma once
// TLXWorkBitmap: a plain memory raster that the processing routines use as
// scratch space. Rows are bottom-up and 32-bit aligned; content is not cleared.
#include <cstdint>
#include <memory>

class TLXWorkBitmap {
public:
  TLXWorkBitmap() = default;
  // Allocates when width and height are positive.
  TLXWorkBitmap(int width, int height, int bitsPerPixel);
  TLXWorkBitmap(const TLXWorkBitmap&) = delete;
  TLXWorkBitmap& operator=(const TLXWorkBitmap&) = delete;

  // Nothing when all three equal the current ones (the block is kept); a size
  // the image guard refuses leaves the raster empty.
  void Allocate(int width, int height, int bitsPerPixel);
  void FreeWork();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  int RowLength() const { return rowLength_; }
  uint8_t* Bits() { return block_.get(); }
  uint8_t* Scanline(int y) { return block_.get() + size_t(rowLength_) * size_t(height_ - 1 - y); }

private:
  int width_ = 0, height_ = 0, bitsPerPixel_ = 0, rowLength_ = 0;
  std::unique_ptr<uint8_t[]> block_;
};
