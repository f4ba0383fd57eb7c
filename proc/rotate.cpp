#include "proc/rotate.h"

#include <array>
#include <cmath>
#include <numbers>
#include <cstring>
#include <memory>
#include <vector>

#include "image/bitmap.h"
#include "image/types.h"
#include "platform/syscolors.h"

// A private top-down copy of a picture's rows.
struct TRaster {
  int width = 0, height = 0, bits = 0, rowLength = 0;
  std::vector<uint8_t> data;

  void Shape(int w, int h, int b) {
    width = w;
    height = h;
    bits = b;
    rowLength = ComputeRowLength(w, b, 32);
    data.assign(size_t(rowLength) * size_t(h), 0);
  }
  uint8_t* Row(int y) { return data.data() + size_t(y) * size_t(rowLength); }
  const uint8_t* Row(int y) const { return data.data() + size_t(y) * size_t(rowLength); }
};

static TRaster Load(TLXBitmap* b) {
  TRaster r;
  r.Shape(b->Width(), b->Height(), b->BitCount());
  const size_t bytes = size_t(std::min(r.rowLength, b->RowLength()));
  for (int y = 0; y < r.height; ++y) std::memcpy(r.Row(y), b->Scanline(y), bytes);
  return r;
}

static void Store(const TRaster& r, TLXBitmap* b) {
  const size_t bytes = size_t(std::min(r.rowLength, b->RowLength()));
  for (int y = 0; y < r.height; ++y) std::memcpy(b->Scanline(y), r.Row(y), bytes);
}

static inline bool GetBit(const uint8_t* row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
static inline void SetBit(uint8_t* row, int x) { row[x >> 3] |= uint8_t(0x80 >> (x & 7)); }

// dst(x, y) = src(map(x, y)); the destination is shaped by the caller and
// pixels that map outside the source are left as they are.
template <typename Map>
static void Remap(const TRaster& src, TRaster& dst, Map map) {
  if (src.bits == 1) {
    for (int y = 0; y < dst.height; ++y) {
      uint8_t* d = dst.Row(y);
      for (int x = 0; x < dst.width; ++x) {
        int sx, sy;
        if (map(x, y, sx, sy) && GetBit(src.Row(sy), sx)) SetBit(d, x);
      }
    }
    return;
  }
  const int bpp = src.bits / 8;
  for (int y = 0; y < dst.height; ++y) {
    uint8_t* d = dst.Row(y);
    for (int x = 0; x < dst.width; ++x, d += bpp) {
      int sx, sy;
      if (map(x, y, sx, sy)) std::memcpy(d, src.Row(sy) + size_t(sx) * size_t(bpp), size_t(bpp));
    }
  }
}

static TRaster QuarterTurn(const TRaster& src, int quarters) {
  const int w = src.width, h = src.height;
  TRaster dst;
  if (quarters == 2) {
    dst.Shape(w, h, src.bits);
    Remap(src, dst, [&](int x, int y, int& sx, int& sy) { sx = w - 1 - x; sy = h - 1 - y; return true; });
  } else if (quarters == 1) {  // counter-clockwise
    dst.Shape(h, w, src.bits);
    Remap(src, dst, [&](int x, int y, int& sx, int& sy) { sx = w - 1 - y; sy = x; return true; });
  } else {  // clockwise
    dst.Shape(h, w, src.bits);
    Remap(src, dst, [&](int x, int y, int& sx, int& sy) { sx = y; sy = h - 1 - x; return true; });
  }
  return dst;
}

// Nearest-pixel turn by a small angle (degrees, counter-clockwise on screen).
static TRaster FreeTurn(const TRaster& src, double degrees, const uint8_t* fill) {
  const double t = degrees * std::numbers::pi / 180.0, c = std::cos(t), s = std::sin(t);
  const int w = src.width, h = src.height;
  const int nw = std::max(1, int(std::lround(std::fabs(w * c) + std::fabs(h * s))));
  const int nh = std::max(1, int(std::lround(std::fabs(w * s) + std::fabs(h * c))));
  TRaster dst;
  if (!CheckedImageBytes(nw, nh, src.bits)) return dst;
  dst.Shape(nw, nh, src.bits);
  if (fill && src.bits >= 8) {
    const int bpp = src.bits / 8;
    for (int y = 0; y < nh; ++y)
      for (int x = 0; x < nw; ++x) std::memcpy(dst.Row(y) + size_t(x) * size_t(bpp), fill, size_t(bpp));
  }
  const double cx = (w - 1) / 2.0, cy = (h - 1) / 2.0, ncx = (nw - 1) / 2.0, ncy = (nh - 1) / 2.0;
  Remap(src, dst, [&](int x, int y, int& sx, int& sy) {
    const double u = x - ncx, v = y - ncy;
    sx = int(std::lround(cx + u * c - v * s));
    sy = int(std::lround(cy + u * s + v * c));
    return sx >= 0 && sx < w && sy >= 0 && sy < h;
  });
  return dst;
}

static uint8_t ReverseBits(uint8_t b) {
  b = uint8_t((b & 0xf0) >> 4 | (b & 0x0f) << 4);
  b = uint8_t((b & 0xcc) >> 2 | (b & 0x33) << 2);
  return uint8_t((b & 0xaa) >> 1 | (b & 0x55) << 1);
}

// One 1-bit row mirrored: its bytes reversed with their bits reversed, then
// shifted left so that the first pixel lands in bit 7 of byte 0.
static void MirrorBitRow(const uint8_t* src, uint8_t* dst, int width) {
  const int bytes = (width + 7) / 8;
  for (int i = 0; i < bytes; ++i) dst[i] = ReverseBits(src[bytes - 1 - i]);
  const int shift = (8 - width % 8) % 8;
  if (shift == 0) return;
  for (int i = 0; i < bytes; ++i) {
    const uint8_t next = i + 1 < bytes ? dst[i + 1] : 0;
    dst[i] = uint8_t(dst[i] << shift | next >> (8 - shift));
  }
}

static TRaster Mirror(const TRaster& src, int direction) {
  TRaster dst;
  dst.Shape(src.width, src.height, src.bits);
  const int w = src.width, h = src.height;
  if (direction == lxfdVertical) {
    for (int y = 0; y < h; ++y) std::memcpy(dst.Row(y), src.Row(h - 1 - y), size_t(src.rowLength));
  } else if (src.bits == 1) {
    for (int y = 0; y < h; ++y) MirrorBitRow(src.Row(y), dst.Row(y), w);
  } else {
    Remap(src, dst, [&](int x, int y, int& sx, int& sy) { sx = w - 1 - x; sy = y; return true; });
  }
  return dst;
}

// The result in a new bitmap of the picture's format and palette.
static bool MakeImage(TLXBitmap* like, const TRaster& r, TLXBitmap& out) {
  out.Allocate(r.width, r.height, like->PixelFormat());
  if (out.IsEmpty()) return false;
  for (int i = 0; i < out.PaletteCount(); ++i) out.SetPaletteEntry(i, PackRGB(like->GetPaletteEntry(i)));
  Store(r, &out);
  return true;
}

static std::unique_ptr<TLXBitmap> MakeAlpha(const TRaster& r) {
  auto alpha = TLXBitmap::CreateAlphaChannel(r.width, r.height, lxMemory);
  if (alpha->IsEmpty()) return nullptr;
  Store(r, alpha.get());
  alpha->SyncFull();
  return alpha;
}

// The alpha channel, when it matches its image, as rows to transform with it.
static bool MatchingAlpha(TLXBitmap* bitmap, TRaster& out) {
  if (!bitmap->HasAlphaChannel()) return false;
  TLXBitmap* alpha = bitmap->AlphaChannel();
  if (alpha->Width() != bitmap->Width() || alpha->Height() != bitmap->Height()) return false;
  out = Load(alpha);
  return true;
}

void RotateBitmap(TLXBitmap* bitmap, bool /*antialias*/, void* /*sender*/,
                  const TLXProgressEvent& /*onProgress*/, int32_t background, double angle) {
  if (!bitmap || !std::isfinite(angle) || bitmap->IsEmpty() || bitmap->PixelFormat() == lxNone) return;
  double rest = std::fmod(angle, 360.0);
  int quarters = 0;
  while (rest > 45) {
    ++quarters;
    rest -= 90;
  }
  while (rest < -45) {
    --quarters;
    rest += 90;
  }
  quarters = ((quarters % 4) + 4) % 4;
  if (quarters == 0 && rest == 0) return;

  const uint32_t rgb = ColorToRGB(background);
  const uint8_t fill24[4] = {ColorB(rgb), ColorG(rgb), ColorR(rgb), 0};
  auto turn = [&](TRaster r, const uint8_t* fill) {
    if (quarters) r = QuarterTurn(r, quarters);
    if (rest != 0) r = FreeTurn(r, rest, fill);
    return r;
  };
  const TRaster image = turn(Load(bitmap), bitmap->PixelFormat() == lx24RGB ? fill24 : nullptr);
  TRaster alphaRows;
  const bool hasAlpha = MatchingAlpha(bitmap, alphaRows);
  if (hasAlpha) alphaRows = turn(std::move(alphaRows), nullptr);

  TLXBitmap result;
  if (!MakeImage(bitmap, image, result)) return;
  bitmap->AssignImage(&result);
  if (hasAlpha) bitmap->SetAlphaChannel(MakeAlpha(alphaRows));
}

void FlipBitmap(TLXBitmap* bitmap, int direction) {
  if (!bitmap || bitmap->IsEmpty()) return;
  const TLXPixelFormat f = bitmap->PixelFormat();
  if ((f != lx24RGB && f != lx1g) || (direction != lxfdHorizontal && direction != lxfdVertical)) return;
  const TRaster image = Mirror(Load(bitmap), direction);
  TRaster alphaRows;
  const bool hasAlpha = MatchingAlpha(bitmap, alphaRows);
  if (hasAlpha) alphaRows = Mirror(alphaRows, direction);

  TLXBitmap result;
  if (!MakeImage(bitmap, image, result)) return;
  const bool full = bitmap->Full;
  bitmap->Assign(&result);
  bitmap->Full = full;  // mirroring keeps every sample's value
  if (hasAlpha) bitmap->SetAlphaChannel(MakeAlpha(alphaRows));
}
