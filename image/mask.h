#pragma once
// TLXMask: a one-plane raster of 1 or 8 bits. The view keeps one as its
// selection; readers carry transparency in an 8-bit one (255 opaque).
#include <cstddef>
#include <cstdint>
#include <vector>

class TLXMask {
public:
  TLXMask() = default;
  TLXMask(const TLXMask&) = delete;
  TLXMask& operator=(const TLXMask&) = delete;

  // Zero-filled. A size the image guard refuses (or a depth other than 1 or 8)
  // leaves the mask empty.
  void Allocate(int width, int height, int bitsPerPixel);
  void FreeMask();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  int RowLength() const { return rowLength_; }

  // Rows are stored bottom-up; no range check.
  uint8_t* Scanline(int y) { return data_.data() + size_t(rowLength_) * size_t(height_ - 1 - y); }
  const uint8_t* Scanline(int y) const {
    return data_.data() + size_t(rowLength_) * size_t(height_ - 1 - y);
  }
  uint8_t* Data() { return data_.data(); }

  void SetPixel(int x, int y, int value);
  int GetPixel(int x, int y) const;
  bool IsPointInside(int x, int y) const { return GetPixel(x, y) != 0; }
  void Fill(int value);
  void Clear();
  void FillSpan(int value, int x1, int y, int x2);
  bool IsEmpty() const { return X1 == kEmptyBound; }

  static constexpr int32_t kEmptyBound = 2147483647;
  // Bounding box of the non-zero pixels set through SetPixel.
  int32_t X1 = kEmptyBound, Y1 = kEmptyBound, X2 = 0, Y2 = 0;
  bool Full = false;

private:
  void EmptyBounds();
  void UpdateFull(int value);

  int width_ = 0, height_ = 0, bitsPerPixel_ = 0, rowLength_ = 0;
  std::vector<uint8_t> data_;
};
