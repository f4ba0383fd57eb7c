#include "proc/convert.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/bitmap.h"
#include "proc/quantizer.h"

const uint8_t kDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21}};

namespace {

// Trunc(v * 255) of a float sample; NaN counts as 0 and values beyond what any
// sum here can hold are clamped, since converting them would be undefined.
inline int32_t FloatLevel(float v) {
  const double s = double(v) * 255;
  if (!(s == s)) return 0;
  return int32_t(std::trunc(std::clamp(s, -16777216.0, 16777216.0)));
}

inline uint16_t Sample16(const uint8_t* row, int x) {
  uint16_t v;
  std::memcpy(&v, row + size_t(x) * 2, 2);
  return v;
}

inline float Sample32f(const uint8_t* row, int x) {
  float v;
  std::memcpy(&v, row + size_t(x) * 4, 4);
  return v;
}

void Report(const TLXMonoProgress& progress, int y) {
  if (progress.event) progress.event(progress.sender, int(std::trunc((y + 1) * progress.step)));
}

// A scratch bitmap for a conversion of `like`: it lives where `like` lives,
// except that a platform-bitmap store is replaced by memory.
void PrepareScratch(TLXBitmap& scratch, TLXBitmap* like, int width, int height,
                    TLXPixelFormat format) {
  if (like->Location() == lxTBitmap) {
    scratch.MemoryThreshold = INT64_MAX;
    scratch.SetLocation(lxMemory);
  } else {
    scratch.MemoryThreshold = like->MemoryThreshold;
    scratch.SetLocation(like->Location());
  }
  scratch.RowAlignment = like->RowAlignment;
  scratch.Allocate(width, height, format);
}

// Writes the black-and-white row of `white` decisions (one per pixel) as bits.
template <typename IsWhite>
void PackMonoRow(uint8_t* dst, int rowLength, int width, IsWhite isWhite) {
  std::memset(dst, 0, size_t(rowLength));
  for (int x = 0; x < width; ++x)
    if (isWhite(x)) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
}

}  // namespace

TLXMonoProgress MakeMonoProgress(const TLXProgressEvent& event, void* sender, int height) {
  return TLXMonoProgress{event, sender, 100.0 / (height + 0.5)};
}

int Luminance(int32_t packedRGB) {
  return (21 * ((packedRGB >> 16) & 255) + 71 * ((packedRGB >> 8) & 255) + 8 * (packedRGB & 255)) /
         100;
}

TRGB MeanColor(TLXBitmap* bitmap) {
  const TRGB fallback{128, 128, 128};
  if (!bitmap) return fallback;
  const int width = bitmap->Width(), height = bitmap->Height();
  // An empty image has no mean; the per-row division would be by zero.
  if (width <= 0 || height <= 0) return fallback;
  const TLXPixelFormat format = bitmap->PixelFormat();
  const TRGB* palette = bitmap->Palette();
  const int paletteCount = bitmap->PaletteCount();
  int64_t total[3] = {0, 0, 0};  // red, green, blue
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = bitmap->Scanline(y);
    int64_t sum[3] = {0, 0, 0};
    switch (format) {
      case lx1g:
        for (int x = 0; x < width; ++x)
          if (row[x >> 3] & (0x80 >> (x & 7))) sum[0] += 255;
        sum[1] = sum[2] = sum[0];
        break;
      case lx8p:
        for (int x = 0; x < width; ++x) {
          if (row[x] >= paletteCount) continue;
          const TRGB c = palette[row[x]];
          sum[0] += c.r;
          sum[1] += c.g;
          sum[2] += c.b;
        }
        break;
      case lx8g:
        for (int x = 0; x < width; ++x) sum[0] += row[x];
        sum[1] = sum[2] = sum[0];
        break;
      case lx16g:
        for (int x = 0; x < width; ++x) sum[0] += Sample16(row, x) >> 8;
        sum[1] = sum[2] = sum[0];
        break;
      case lx24RGB:
        for (const uint8_t* p = row; p < row + size_t(width) * 3; p += 3) {
          sum[0] += p[2];
          sum[1] += p[1];
          sum[2] += p[0];
        }
        break;
      case lx32f:
        for (int x = 0; x < width; ++x) sum[0] += FloatLevel(Sample32f(row, x));
        sum[1] = sum[2] = sum[0];
        break;
      default:
        break;
    }
    for (int c = 0; c < 3; ++c) total[c] += sum[c] / width;
  }
  auto level = [&](int c) { return uint8_t(std::clamp<int64_t>(total[c] / height, 0, 255)); };
  return CreateRGB(level(0), level(1), level(2));
}

void DitherToMono(TLXBitmap* bitmap, const TLXMonoProgress& progress) {
  if (!bitmap || bitmap->PixelFormat() != lx24RGB) return;
  const int width = bitmap->Width(), height = bitmap->Height();
  TLXBitmap mono;
  PrepareScratch(mono, bitmap, width, height, lx1g);
  const int rowLength = mono.RowLength();
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = bitmap->Scanline(y);
    uint8_t* dst = mono.Scanline(y);
    const int ym = y & 7;
    PackMonoRow(dst, rowLength, width, [&](int x) {
      const uint8_t* p = src + size_t(x) * 3;
      const int level = (p[0] > 250 && p[1] > 250 && p[2] > 250)
                            ? 64
                            : ((21 * p[2] + 71 * p[1] + 8 * p[0]) / 100) / 4;
      return level > kDitherMatrix[x & 7][ym];
    });
    Report(progress, y);
  }
  bitmap->AssignImage(&mono);
}

void ThresholdToMono(TLXBitmap* src, TLXBitmap* dst, int threshold,
                     const TLXMonoProgress& progress) {
  if (!src || !dst) return;
  if (src->PixelFormat() == lx1g) {
    dst->AssignImage(src);
    return;
  }
  const int width = src->Width(), height = src->Height();
  if (threshold == -1) threshold = Luminance(MeanColor(src));
  if (dst->PixelFormat() != lx1g || dst->Width() != width || dst->Height() != height)
    dst->Allocate(width, height, lx1g);
  if (width <= 0 || height <= 0) return;
  const TLXPixelFormat format = src->PixelFormat();
  const int rowLength = dst->RowLength();

  // lx8p: one decision per palette entry instead of one luminance per pixel.
  bool paletteWhite[256] = {};
  if (format == lx8p) {
    const TRGB* palette = src->Palette();
    for (int i = 0; i < src->PaletteCount() && i < 256; ++i)
      paletteWhite[i] = Luminance(palette[i]) >= threshold;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = src->Scanline(y);
    uint8_t* out = dst->Scanline(y);
    switch (format) {
      case lx8p:
        PackMonoRow(out, rowLength, width, [&](int x) { return paletteWhite[row[x]]; });
        break;
      case lx8g:
        PackMonoRow(out, rowLength, width, [&](int x) { return row[x] >= threshold; });
        break;
      case lx16g:
        PackMonoRow(out, rowLength, width,
                    [&](int x) { return (Sample16(row, x) >> 8) >= threshold; });
        break;
      case lx24RGB:
        PackMonoRow(out, rowLength, width, [&](int x) {
          const uint8_t* p = row + size_t(x) * 3;
          return (21 * p[2] + 71 * p[1] + 8 * p[0]) / 100 >= threshold;
        });
        break;
      case lx32f:
        PackMonoRow(out, rowLength, width,
                    [&](int x) { return FloatLevel(Sample32f(row, x)) >= threshold; });
        break;
      default:
        std::memset(out, 0, size_t(rowLength));
        break;
    }
    Report(progress, y);
  }
}

void ConvertToMono(TLXBitmap* bitmap, int threshold, const TLXMonoProgress& progress) {
  if (!bitmap || bitmap->PixelFormat() != lx24RGB) return;
  TLXBitmap mono;
  PrepareScratch(mono, bitmap, bitmap->Width(), bitmap->Height(), lx1g);
  ThresholdToMono(bitmap, &mono, threshold, progress);
  bitmap->AssignImage(&mono);
}

void QuantizeInPlace(TLXBitmap* bitmap, int n, TRGB* palette, void* sender,
                     const TLXProgressEvent& onProgress) {
  if (!bitmap || bitmap->PixelFormat() != lx24RGB || n <= 0) return;
  std::vector<TRGB> own;
  if (!palette) {
    own.resize(size_t(n));
    palette = own.data();
  }
  TLXQuantizer quantizer(bitmap, palette, 255, n, -1, 0);
  const int width = bitmap->Width(), height = bitmap->Height();
  const double step = 100.0 / (height + 0.5);
  TRGB lastIn{}, lastOut{};
  bool haveLast = false;
  for (int y = 0; y < height; ++y) {
    TRGB* p = reinterpret_cast<TRGB*>(bitmap->Scanline(y));
    for (int x = 0; x < width; ++x) {
      if (haveLast && p[x] == lastIn) {
        p[x] = lastOut;
        continue;
      }
      lastIn = p[x];
      const int index = quantizer.ColorToIndex(p[x]);
      if (index >= 0 && index < n) p[x] = palette[index];
      lastOut = p[x];
      haveLast = true;
    }
    if (onProgress) onProgress(sender, int(std::trunc(step * (y + 1))));
  }
}

void GrayRect(TLXBitmap* bitmap, int x1, int y1, void* sender, const TLXProgressEvent& onProgress,
              int x2, int y2) {
  if (!bitmap || bitmap->PixelFormat() != lx24RGB) return;
  x2 = std::min(x2, bitmap->Width());
  y2 = std::min(y2, bitmap->Height());
  // A negative corner would address pixels before the row.
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  const int rows = y2 - y1;
  for (int y = y1; y < y2; ++y) {
    uint8_t* p = bitmap->Scanline(y) + size_t(x1) * 3;
    for (int x = x1; x < x2; ++x, p += 3) {
      const auto v = uint8_t((21 * p[2] + 71 * p[1] + 8 * p[0]) / 100);
      p[0] = p[1] = p[2] = v;
    }
    if (onProgress) onProgress(sender, int(std::trunc((y - y1 + 1) * 100 / (rows + 0.5))));
  }
}

namespace {

void ToBlackAndWhite(TLXBitmap* bitmap, int ditherMethod, void* sender,
                     const TLXProgressEvent& onProgress) {
  const TLXMonoProgress progress = MakeMonoProgress(onProgress, sender, bitmap->Height());
  if (ditherMethod == 0)
    DitherToMono(bitmap, progress);
  else
    ConvertToMono(bitmap, -1, progress);
}

}  // namespace

void ConvertTo(TLXBitmap* bitmap, int n, int ditherMethod, void* sender,
               const TLXProgressEvent& onProgress) {
  if (!bitmap || bitmap->PixelFormat() != lx24RGB) return;
  if (n < 3)
    ToBlackAndWhite(bitmap, ditherMethod, sender, onProgress);
  else if (n <= 1024)
    QuantizeInPlace(bitmap, n, nullptr, sender, onProgress);
}

void ConvertToPalette(TLXBitmap* bitmap, int n, TRGB* palette, int ditherMethod, void* sender,
                      const TLXProgressEvent& onProgress) {
  if (!bitmap || n == 0 || bitmap->PixelFormat() != lx24RGB) return;
  if (n < 3) {
    ToBlackAndWhite(bitmap, ditherMethod, sender, onProgress);
    // The palette holds n entries: with n = 1 there is no room for white.
    if (palette && n >= 1) palette[0] = TRGB{0, 0, 0};
    if (palette && n >= 2) palette[1] = TRGB{255, 255, 255};
  } else if (n <= 1024) {
    QuantizeInPlace(bitmap, n, palette, sender, onProgress);
  }
}
