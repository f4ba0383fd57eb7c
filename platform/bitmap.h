#pragma once
// The platform bitmap: a software device-independent bitmap the view draws from.
// Rows are stored top-down and padded to 32 bits, so a 24-bit one can be wrapped
// by a toolkit image (BGR888) without a copy.
#include <cstdint>
#include <memory>
#include <vector>

struct TPaletteEntry {
  uint8_t r = 0, g = 0, b = 0, flags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

class TCanvas;

class TBitmap {
public:
  TBitmap();
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const { return width_; }
  int Height() const { return height_; }
  // Resizing keeps the top-left content; new area is zero.
  void SetWidth(int w) { SetSize(w, height_); }
  void SetHeight(int h) { SetSize(width_, h); }
  void SetSize(int w, int h);

  // 1, 4, 8, 15, 16, 24 or 32. Changing the depth converts the content.
  int BitsPerPixel() const { return bpp_; }
  void SetBitsPerPixel(int bpp);

  bool Monochrome() const { return monochrome_; }
  void SetMonochrome(bool m) { monochrome_ = m; }

  // Device-dependent vs independent handle: both are the same memory here.
  void SetHandleType(bool dib) { dib_ = dib; }
  bool IsDIB() const { return dib_; }

  int RowBytes() const { return rowBytes_; }
  uint8_t* ScanLine(int y) { return bits_.data() + size_t(y) * size_t(rowBytes_); }
  const uint8_t* ScanLine(int y) const { return bits_.data() + size_t(y) * size_t(rowBytes_); }
  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }

  // Palette of 2, 16 or 256 entries for depths up to 8, empty otherwise.
  int PaletteSize() const { return int(palette_.size()); }
  TPaletteEntry PaletteEntry(int i) const;
  void SetPaletteEntry(int i, TPaletteEntry e);
  void SetPalette(const TPaletteEntry* entries, int count);

  // Colour of a pixel in the windowing encoding (red lowest byte).
  uint32_t PixelColor(int x, int y) const;

  TCanvas& Canvas();

private:
  void Reshape(int w, int h, int bpp);

  int width_ = 0, height_ = 0, bpp_ = 24, rowBytes_ = 0;
  bool monochrome_ = false, dib_ = true;
  std::vector<uint8_t> bits_;
  std::vector<TPaletteEntry> palette_;
  std::unique_ptr<TCanvas> canvas_;
};
