#include "image/dibbitmap.h"

#include <cstring>
#include <new>

#include "platform/bitmap.h"
#include "platform/bytes.h"
#include "platform/canvas.h"

TLXDibbitmap::TLXDibbitmap() { FillHeader(); }

TLXDibbitmap::~TLXDibbitmap() { FreeDib(); }

void TLXDibbitmap::FillHeader() {
  header_.fill(0);
  uint8_t* h = header_.data();
  PutLE32(h, 40);
  PutLE32(h + 4, uint32_t(width_));
  PutLE32(h + 8, uint32_t(height_));
  h[12] = 1;  // planes
  h[14] = uint8_t(bitCount_);
  PutLE32(h + 20, uint32_t(int64_t(rowLength_) * height_));
  // Colour entry 0 black, entry 1 white (blue, green, red, reserved).
  h[44] = h[45] = h[46] = 255;
}

void TLXDibbitmap::AllocateDib(int width, int height, int bitCount) {
  if (width == 0 || height == 0) return;
  FreeDib();
  if (!TBitmap::IsValidDepth(bitCount) ||
      !CheckedImageBytes(width, height, TBitmap::StorageBits(bitCount)))
    return;
  auto surface = std::make_unique<TBitmap>();
  surface->SetBottomUp(true);
  surface->SetBitsPerPixel(bitCount);
  surface->SetSize(width, height);
  surface_ = std::move(surface);
  width_ = width;
  height_ = height;
  bitCount_ = bitCount;
  rowLength_ = ComputeRowLength(width, bitCount == 15 ? 16 : bitCount, 32);
  FillHeader();
}

void TLXDibbitmap::FreeDib() {
  surface_.reset();
  width_ = height_ = bitCount_ = rowLength_ = 0;
  FillHeader();
}

uint8_t* TLXDibbitmap::Bits() { return surface_ ? surface_->Bits() : nullptr; }

uint8_t* TLXDibbitmap::Scanline(int y) {
  return Bits() + size_t(rowLength_) * size_t(height_ - 1 - y);
}

TLXPixelFormat TLXDibbitmap::PixelFormat() {
  return bitCount_ == 1 ? lx1g : bitCount_ == 24 ? lx24RGB : lxNone;
}

void TLXDibbitmap::Allocate(int width, int height, TLXPixelFormat format) {
  if (format == lx1g) AllocateDib(width, height, 1);
  else if (format == lx24RGB) AllocateDib(width, height, 24);
}

void TLXDibbitmap::Assign(TLXBaseBitmap* source) {
  auto* src = dynamic_cast<TLXDibbitmap*>(source);
  if (!src || src == this) return;
  if (!src->surface_) {
    FreeDib();
    return;
  }
  AllocateDib(src->width_, src->height_, src->bitCount_);
  if (!surface_) return;
  std::memcpy(Bits(), src->Bits(), size_t(rowLength_) * size_t(height_));
  for (int i = 0; i < src->surface_->PaletteSize(); ++i)
    surface_->SetPaletteEntry(i, src->surface_->PaletteEntry(i));
}

TCanvas* TLXDibbitmap::Canvas() { return surface_ ? &surface_->Canvas() : nullptr; }
