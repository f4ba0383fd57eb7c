#pragma once
// The platform bitmap: a software device-independent bitmap the view draws from.
// Rows are stored top-down and padded to 32 bits, so a 24-bit one can be wrapped
// by a toolkit image (BGR888) without a copy.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/syscolors.h"

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
  // A 1-bit bitmap is monochrome while its palette is black and white (as it is
  // after a change to 1 bit); marking it so sets that palette. Other depths never are.
  void SetMonochrome(bool m);

  // Device-dependent vs independent handle: both are the same memory here.
  void SetHandleType(bool dib) { dib_ = dib; }
  bool IsDIB() const { return dib_; }

  int RowBytes() const { return rowBytes_; }
  uint8_t* ScanLine(int y) { return bits_.data() + RowOffset(y); }
  const uint8_t* ScanLine(int y) const { return bits_.data() + RowOffset(y); }
  // Rows are top-down unless a wrapper that must keep the device-independent
  // bottom-up order asks otherwise; switching keeps the picture.
  bool BottomUp() const { return bottomUp_; }
  void SetBottomUp(bool bottomUp);
  uint8_t* Bits() { return bits_.data(); }
  const uint8_t* Bits() const { return bits_.data(); }

  // Palette of 2, 16 or 256 entries for depths up to 8, empty otherwise.
  int PaletteSize() const { return int(palette_.size()); }
  TPaletteEntry PaletteEntry(int i) const;
  void SetPaletteEntry(int i, TPaletteEntry e);
  void SetPalette(const TPaletteEntry* entries, int count);

  // Colour of a pixel in the windowing encoding (red lowest byte).
  uint32_t PixelColor(int x, int y) const;
  // Stores a colour (windowing encoding, system colours resolved); palette depths
  // take the nearest palette entry.
  void SetPixelColor(int x, int y, TColor color);

  // Raw pixel values: a palette index, the 15/16-bit word, or blue|green<<8|red<<16.
  uint32_t PixelValue(int x, int y) const;
  void SetPixelValue(int x, int y, uint32_t value);
  // The raw value that stands for a colour at this depth.
  uint32_t ColorToPixel(TColor color) const;
  // The colour that a raw value shows at this depth.
  uint32_t PixelToColor(uint32_t value) const;
  // Nearest palette entry (lowest index on ties); 0 without a palette.
  int NearestPaletteIndex(uint32_t color) const;

  // Row runs for the canvas and the drawing primitives; callers clip.
  void ReadRowValues(int y, int x0, int count, uint32_t* out) const;
  void WriteRowValues(int y, int x0, int count, const uint32_t* in);
  void FillRowValue(int y, int x0, int count, uint32_t value);
  void ReadRowColors(int y, int x0, int count, uint32_t* out) const;
  void WriteRowColors(int y, int x0, int count, const uint32_t* in);

  // Bits actually stored per pixel (15 is held in 16-bit words).
  static int StorageBits(int bpp) { return bpp == 15 ? 16 : bpp; }
  static bool IsValidDepth(int bpp);

  TCanvas& Canvas();

private:
  void Reshape(int w, int h, int bpp);
  void UpdateMonochrome();
  size_t RowOffset(int y) const {
    return size_t(bottomUp_ ? height_ - 1 - y : y) * size_t(rowBytes_);
  }

  int width_ = 0, height_ = 0, bpp_ = 24, rowBytes_ = 0;
  bool monochrome_ = false, dib_ = true, bottomUp_ = false;
  std::vector<uint8_t> bits_;
  std::vector<TPaletteEntry> palette_;
  std::unique_ptr<TCanvas> canvas_;
};
