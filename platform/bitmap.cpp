#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "image/types.h"
#include "platform/canvas.h"

static TPaletteEntry Entry(uint8_t r, uint8_t g, uint8_t b) { return TPaletteEntry{r, g, b, 0}; }

// The palette a depth starts with: black and white, the 16 standard colours, or
// a 3-3-2 colour cube, so that true colour converts to a palette deterministically.
static std::vector<TPaletteEntry> DefaultPalette(int bpp) {
  std::vector<TPaletteEntry> p;
  if (bpp == 1) {
    p = {Entry(0, 0, 0), Entry(255, 255, 255)};
  } else if (bpp == 4) {
    p = {Entry(0, 0, 0),       Entry(128, 0, 0),   Entry(0, 128, 0),   Entry(128, 128, 0),
         Entry(0, 0, 128),     Entry(128, 0, 128), Entry(0, 128, 128), Entry(192, 192, 192),
         Entry(128, 128, 128), Entry(255, 0, 0),   Entry(0, 255, 0),   Entry(255, 255, 0),
         Entry(0, 0, 255),     Entry(255, 0, 255), Entry(0, 255, 255), Entry(255, 255, 255)};
  } else if (bpp == 8) {
    p.resize(256);
    for (int i = 0; i < 256; ++i)
      p[size_t(i)] = Entry(uint8_t((i >> 5) * 255 / 7), uint8_t(((i >> 2) & 7) * 255 / 7),
                           uint8_t((i & 3) * 255 / 3));
  }
  return p;
}

static bool HasPalette(int bpp) { return bpp <= 8; }

bool TBitmap::IsValidDepth(int bpp) {
  return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 15 || bpp == 16 || bpp == 24 || bpp == 32;
}

TBitmap::TBitmap() : canvas_(std::make_unique<TCanvas>(*this)) {}
TBitmap::~TBitmap() = default;

TCanvas& TBitmap::Canvas() { return *canvas_; }

TPaletteEntry TBitmap::PaletteEntry(int i) const {
  if (i < 0 || i >= PaletteSize()) return TPaletteEntry{};
  return palette_[size_t(i)];
}

// A 1-bit bitmap counts as monochrome exactly while its palette is black, white.
void TBitmap::UpdateMonochrome() {
  if (bpp_ == 1) monochrome_ = palette_ == DefaultPalette(1);
}

void TBitmap::SetPaletteEntry(int i, TPaletteEntry e) {
  if (i < 0 || i >= PaletteSize()) return;
  palette_[size_t(i)] = e;
  UpdateMonochrome();
}

void TBitmap::SetPalette(const TPaletteEntry* entries, int count) {
  const int n = std::min(count, PaletteSize());
  for (int i = 0; i < n; ++i) palette_[size_t(i)] = entries[i];
  UpdateMonochrome();
}

void TBitmap::SetMonochrome(bool m) {
  monochrome_ = m && bpp_ == 1;
  if (monochrome_) palette_ = DefaultPalette(1);
}

// Size of a pixel block, refused (as an allocation failure) when it cannot be held.
static size_t BlockBytes(int w, int h, int bpp) {
  if (w <= 0 || h <= 0) return 0;
  const auto bytes = CheckedImageBytes(w, h, TBitmap::StorageBits(bpp));
  if (!bytes) throw std::bad_alloc();
  return size_t(*bytes);
}

void TBitmap::SetSize(int w, int h) {
  if (w < 0) w = 0;
  if (h < 0) h = 0;
  if (w == width_ && h == height_) return;
  if (w == 0 || h == 0) w = h = 0;
  const int bits = StorageBits(bpp_);
  const int newRow = w > 0 ? ComputeRowLength(w, bits) : 0;
  std::vector<uint8_t> fresh(BlockBytes(w, h, bpp_), 0);
  // Keep the top-left content; a partial last byte keeps only the pixels that remain.
  const int64_t keepBits = int64_t(std::min(w, width_)) * bits;
  const size_t fullBytes = size_t(keepBits / 8);
  const int restBits = int(keepBits % 8);
  const uint8_t restMask = uint8_t(0xff00 >> restBits);
  for (int y = 0, rows = std::min(h, height_); y < rows; ++y) {
    const uint8_t* src = ScanLine(y);
    uint8_t* dst = fresh.data() + size_t(bottomUp_ ? h - 1 - y : y) * size_t(newRow);
    std::memcpy(dst, src, fullBytes);
    if (restBits) dst[fullBytes] = src[fullBytes] & restMask;
  }
  bits_ = std::move(fresh);
  width_ = w;
  height_ = h;
  rowBytes_ = newRow;
}

void TBitmap::SetBottomUp(bool bottomUp) {
  if (bottomUp == bottomUp_) return;
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes_));
  for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
    uint8_t* a = ScanLine(top);
    uint8_t* b = ScanLine(bottom);
    std::memcpy(row.data(), a, row.size());
    std::memcpy(a, b, row.size());
    std::memcpy(b, row.data(), row.size());
  }
  bottomUp_ = bottomUp;
}

void TBitmap::SetBitsPerPixel(int bpp) {
  if (!IsValidDepth(bpp) || bpp == bpp_) return;
  Reshape(width_, height_, bpp);
}

// Converts the content to another depth.  Between palette depths the indexes
// and entries carry over when the new palette is at least as large; everything
// else goes through colours and, for palette targets, the nearest entry.
void TBitmap::Reshape(int w, int h, int bpp) {
  const size_t bytes = BlockBytes(w, h, bpp);  // may refuse; nothing has changed yet
  TBitmap old;
  old.width_ = width_;
  old.height_ = height_;
  old.bpp_ = bpp_;
  old.rowBytes_ = rowBytes_;
  old.bottomUp_ = bottomUp_;
  old.bits_ = std::move(bits_);
  old.palette_ = std::move(palette_);

  bpp_ = bpp;
  width_ = w;
  height_ = h;
  rowBytes_ = w > 0 ? ComputeRowLength(w, StorageBits(bpp)) : 0;
  bits_.assign(bytes, 0);
  palette_ = DefaultPalette(bpp);
  monochrome_ = bpp == 1;

  const bool keepIndexes = HasPalette(old.bpp_) && HasPalette(bpp) && old.bpp_ < bpp;
  if (keepIndexes) std::copy(old.palette_.begin(), old.palette_.end(), palette_.begin());

  const int cw = std::min(w, old.width_), ch = std::min(h, old.height_);
  std::vector<uint32_t> row(size_t(std::max(cw, 0)));
  for (int y = 0; y < ch; ++y) {
    if (keepIndexes) {
      old.ReadRowValues(y, 0, cw, row.data());
      WriteRowValues(y, 0, cw, row.data());
    } else {
      old.ReadRowColors(y, 0, cw, row.data());
      WriteRowColors(y, 0, cw, row.data());
    }
  }
}

uint32_t TBitmap::PixelToColor(uint32_t v) const {
  switch (bpp_) {
    case 1: case 4: case 8: {
      if (v >= palette_.size()) return 0;
      const TPaletteEntry& e = palette_[v];
      return uint32_t(e.r) | uint32_t(e.g) << 8 | uint32_t(e.b) << 16;
    }
    case 15:
      return uint32_t(((v >> 10) & 31) << 3) | uint32_t(((v >> 5) & 31) << 3) << 8 |
             uint32_t((v & 31) << 3) << 16;
    case 16:
      return uint32_t(((v >> 11) & 31) << 3) | uint32_t(((v >> 5) & 63) << 2) << 8 |
             uint32_t((v & 31) << 3) << 16;
    default:  // blue | green << 8 | red << 16
      return ((v >> 16) & 0xff) | (v & 0xff00) | (v & 0xff) << 16;
  }
}

int TBitmap::NearestPaletteIndex(uint32_t color) const {
  const int r = ColorR(color), g = ColorG(color), b = ColorB(color);
  int best = 0, bestDist = 1 << 30;
  for (size_t i = 0; i < palette_.size(); ++i) {
    const TPaletteEntry& e = palette_[i];
    const int d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b);
    if (d < bestDist) {
      bestDist = d;
      best = int(i);
      if (d == 0) break;
    }
  }
  return best;
}

uint32_t TBitmap::ColorToPixel(TColor color) const {
  const uint32_t c = ColorToRGB(color);
  const uint32_t r = ColorR(c), g = ColorG(c), b = ColorB(c);
  switch (bpp_) {
    case 1: case 4: case 8: return uint32_t(NearestPaletteIndex(c));
    case 15: return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    case 16: return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    default: return b | g << 8 | r << 16;
  }
}

void TBitmap::ReadRowValues(int y, int x0, int count, uint32_t* out) const {
  const uint8_t* p = ScanLine(y);
  switch (bpp_) {
    case 1:
      for (int x = x0; x < x0 + count; ++x) *out++ = (p[x >> 3] >> (7 - (x & 7))) & 1;
      break;
    case 4:
      for (int x = x0; x < x0 + count; ++x) *out++ = (x & 1) ? p[x >> 1] & 15 : p[x >> 1] >> 4;
      break;
    case 8:
      for (const uint8_t* s = p + x0; count-- > 0;) *out++ = *s++;
      break;
    case 15: case 16:
      for (const uint8_t* s = p + 2 * size_t(x0); count-- > 0; s += 2) *out++ = uint32_t(s[0] | s[1] << 8);
      break;
    case 24:
      for (const uint8_t* s = p + 3 * size_t(x0); count-- > 0; s += 3)
        *out++ = uint32_t(s[0] | s[1] << 8 | s[2] << 16);
      break;
    default:
      for (const uint8_t* s = p + 4 * size_t(x0); count-- > 0; s += 4)
        *out++ = uint32_t(s[0] | s[1] << 8 | s[2] << 16);
      break;
  }
}

void TBitmap::WriteRowValues(int y, int x0, int count, const uint32_t* in) {
  uint8_t* p = ScanLine(y);
  switch (bpp_) {
    case 1:
      for (int x = x0; x < x0 + count; ++x) {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        if (*in++ & 1) p[x >> 3] |= bit; else p[x >> 3] &= uint8_t(~bit);
      }
      break;
    case 4:
      for (int x = x0; x < x0 + count; ++x) {
        const uint8_t v = uint8_t(*in++ & 15);
        uint8_t& d = p[x >> 1];
        d = (x & 1) ? uint8_t((d & 0xf0) | v) : uint8_t((d & 0x0f) | v << 4);
      }
      break;
    case 8:
      for (uint8_t* d = p + x0; count-- > 0;) *d++ = uint8_t(*in++);
      break;
    case 15: case 16:
      for (uint8_t* d = p + 2 * size_t(x0); count-- > 0; d += 2, ++in) {
        d[0] = uint8_t(*in);
        d[1] = uint8_t(*in >> 8);
      }
      break;
    case 24:
      for (uint8_t* d = p + 3 * size_t(x0); count-- > 0; d += 3, ++in) {
        d[0] = uint8_t(*in);
        d[1] = uint8_t(*in >> 8);
        d[2] = uint8_t(*in >> 16);
      }
      break;
    default:
      for (uint8_t* d = p + 4 * size_t(x0); count-- > 0; d += 4, ++in) {
        d[0] = uint8_t(*in);
        d[1] = uint8_t(*in >> 8);
        d[2] = uint8_t(*in >> 16);
        d[3] = 0;
      }
      break;
  }
}

void TBitmap::FillRowValue(int y, int x0, int count, uint32_t value) {
  if (count <= 0) return;
  if (bpp_ == 8) {
    std::memset(ScanLine(y) + x0, int(uint8_t(value)), size_t(count));
    return;
  }
  if (bpp_ == 24) {
    uint8_t* d = ScanLine(y) + 3 * size_t(x0);
    const uint8_t b = uint8_t(value), g = uint8_t(value >> 8), r = uint8_t(value >> 16);
    for (; count-- > 0; d += 3) {
      d[0] = b;
      d[1] = g;
      d[2] = r;
    }
    return;
  }
  constexpr int kChunk = 256;
  uint32_t run[kChunk];
  std::fill_n(run, kChunk, value);
  for (int x = x0; count > 0;) {
    const int n = std::min(count, kChunk);
    WriteRowValues(y, x, n, run);
    x += n;
    count -= n;
  }
}

void TBitmap::ReadRowColors(int y, int x0, int count, uint32_t* out) const {
  ReadRowValues(y, x0, count, out);
  for (int i = 0; i < count; ++i) out[i] = PixelToColor(out[i]);
}

void TBitmap::WriteRowColors(int y, int x0, int count, const uint32_t* in) {
  constexpr int kChunk = 256;
  uint32_t run[kChunk];
  uint32_t lastColor = 0, lastValue = ColorToPixel(0);
  for (int x = x0; count > 0;) {
    const int n = std::min(count, kChunk);
    for (int i = 0; i < n; ++i) {
      const uint32_t c = in[i] & 0xffffff;
      if (c != lastColor) {
        lastColor = c;
        lastValue = ColorToPixel(TColor(c));
      }
      run[i] = lastValue;
    }
    WriteRowValues(y, x, n, run);
    in += n;
    x += n;
    count -= n;
  }
}

uint32_t TBitmap::PixelValue(int x, int y) const {
  uint32_t v = 0;
  ReadRowValues(y, x, 1, &v);
  return v;
}

void TBitmap::SetPixelValue(int x, int y, uint32_t value) { WriteRowValues(y, x, 1, &value); }

uint32_t TBitmap::PixelColor(int x, int y) const { return PixelToColor(PixelValue(x, y)); }

void TBitmap::SetPixelColor(int x, int y, TColor color) { SetPixelValue(x, y, ColorToPixel(color)); }
