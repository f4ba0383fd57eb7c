#pragma once
// TLXDibbitmap: a device-independent bitmap with a drawing surface, so the
// platform can draw into it (a metafile played back, a frame decoded) while the
// pixels stay addressable; CopyFromDibbitmap then takes it into a TLXBitmap.
#include <array>
#include <cstdint>
#include <memory>

#include "image/bitmap.h"

class TBitmap;
class TCanvas;

class TLXDibbitmap : public TLXBaseBitmap {
public:
  TLXDibbitmap();
  ~TLXDibbitmap() override;
  TLXDibbitmap(const TLXDibbitmap&) = delete;
  TLXDibbitmap& operator=(const TLXDibbitmap&) = delete;

  // Nothing when width or height is 0; a size the image guard refuses, or a
  // depth the platform bitmap does not know, leaves the wrapper empty.
  // The pixel content is undefined.
  void AllocateDib(int width, int height, int bitCount);
  void FreeDib();

  // --- TLXBaseBitmap ---
  // Rows are bottom-up: row y starts at Bits() + RowLength * (Height - 1 - y).
  uint8_t* Scanline(int y) override;
  int BitCount() override { return bitCount_; }
  int Height() override { return height_; }
  int Width() override { return width_; }
  TLXPixelFormat PixelFormat() override;
  int RowLength() override { return rowLength_; }
  // lx1g -> 1 bit, lx24RGB -> 24 bits; other formats do nothing.
  void Allocate(int width, int height, TLXPixelFormat format) override;
  // From another TLXDibbitmap only; an empty source leaves this one empty.
  void Assign(TLXBaseBitmap* source) override;

  uint8_t* Bits();
  // The 40-byte device-independent header (width, height, 1 plane, bit count,
  // no compression, image size) followed by two colour entries, black and white.
  const std::array<uint8_t, 48>& Header() const { return header_; }

  // The drawing surface over the same pixel memory (the drawing context).
  TCanvas* Canvas();
  TBitmap* Surface() { return surface_.get(); }

private:
  void FillHeader();

  int width_ = 0, height_ = 0, bitCount_ = 0, rowLength_ = 0;
  std::unique_ptr<TBitmap> surface_;
  std::array<uint8_t, 48> header_{};
};
