// The BMP writer: 1-, 4-, 8- or 24-bit rows, RLE-compressed on request, with a
// 40-byte, 64-byte or OS/2 12-byte header written twice (the second time with
// the sizes measured).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/common/bytewriter.h"
#include "codecs/common/resolution.h"
#include "image/bitmap.h"
#include "io/params.h"
#include "io/progress.h"
#include "proc/quantizer.h"

namespace {

int RoundedLuminance(TRGB c) { return int(std::nearbyint((c.r * 21 + c.g * 71 + c.b * 8) / 100.0)); }

// The largest palette index an lx8p bitmap uses.
int MaxIndex(TLXBitmap* bitmap) {
  int m = 0;
  const int w = bitmap->Width();
  for (int y = 0; y < bitmap->Height(); ++y) {
    const uint8_t* s = bitmap->Scanline(y);
    for (int x = 0; x < w; ++x) m = std::max<int>(m, s[x]);
  }
  return m;
}

std::unique_ptr<TLXBitmap> CopyAs(TLXBitmap* bitmap, TLXPixelFormat format) {
  auto copy = std::make_unique<TLXBitmap>();
  copy->Assign(bitmap);
  copy->RemoveAlphaChannel();
  copy->SetPixelFormat(format);
  return copy;
}

// What the record asks for.
struct TLayout {
  int depth = 24;  // bits per pixel written
  bool core = false;
  int headerSize = 40;
  bool rle = false;
  int width = 0, height = 0;
  int rowLength = 0;
};

TLayout LayoutFor(const TIOParamsVals& params, TLXBitmap* bitmap) {
  TLayout l;
  l.depth = params.BitsPerSample == 1   ? 1
            : params.BitsPerSample == 4 ? 4
            : params.SamplesPerPixel == 1 ? 8
                                          : 24;
  l.core = params.BMPVersion == 2;
  l.headerSize = l.core ? 12 : params.BMPVersion == 3 ? 64 : 40;
  l.rle = !l.core && params.BMPCompression == 1 && (l.depth == 4 || l.depth == 8);
  l.width = bitmap->Width();
  l.height = bitmap->Height();
  l.rowLength = ComputeRowLength(l.width, l.depth);
  return l;
}

// The info header; bitCount and sizeImage are 0 in the first pass.
void FillInfo(uint8_t (&info)[64], const TLayout& l, int bitCount, uint32_t sizeImage,
              const TIOParamsVals& params) {
  std::memset(info, 0, sizeof info);
  PutLE32(info, uint32_t(l.headerSize));
  if (l.core) {
    PutLE16(info + 4, uint32_t(l.width));
    PutLE16(info + 6, uint32_t(l.height));
    PutLE16(info + 8, 1);
    PutLE16(info + 10, uint32_t(bitCount));
    return;
  }
  PutLE32(info + 4, uint32_t(l.width));
  PutLE32(info + 8, uint32_t(l.height));
  PutLE16(info + 12, 1);
  PutLE16(info + 14, uint32_t(bitCount));
  PutLE32(info + 16, l.rle ? (l.depth == 4 ? 2u : 1u) : 0u);
  PutLE32(info + 20, sizeImage);
  PutLE32(info + 24, PixelsPerMetreFromDpi(params.DpiX()));
  PutLE32(info + 28, PixelsPerMetreFromDpi(params.DpiY()));
  PutLE32(info + 32, l.depth <= 8 ? (1u << l.depth) : 0u);
  PutLE32(info + 36, 1u << l.depth);
}

void PutTable(TByteWriter& w, const TRGB* colours, int count, bool core) {
  for (int i = 0; i < count; ++i) {
    w.Put8(colours[i].b);
    w.Put8(colours[i].g);
    w.Put8(colours[i].r);
    if (!core) w.Put8(0);
  }
}

// 4- and 8-bit rows through the quantizer; run-length coded on request.
void PutIndexedRows(TByteWriter& w, TLXBitmap* src, const TLayout& l, TIOParamsVals& params,
                    TIOProgress& progress, int64_t& pixelPos) {
  const int n = 1 << l.depth, W = l.width;
  params.SetColorMapCount(n);
  TLXQuantizer quantizer(src, params.ColorMap.data(), 134217727, n, -1, 0);
  PutTable(w, params.ColorMap.data(), n, l.core);
  pixelPos = w.Position();
  std::vector<uint8_t> idx(static_cast<size_t>(W));
  std::vector<uint8_t> out(size_t(std::max(l.rowLength, BMPRLERowBound(W))), 0);
  const bool indexed = src->PixelFormat() == lx8p;
  for (int r = 0; r < l.height; ++r) {
    progress.Report(r);
    if (progress.Aborted()) break;
    const uint8_t* s = src->Scanline(l.height - 1 - r);
    if (indexed) {
      std::memcpy(idx.data(), s, size_t(W));
    } else {
      for (int x = 0; x < W; ++x, s += 3)
        idx[size_t(x)] = uint8_t(std::max(0, quantizer.ColorToIndex(TRGB{s[0], s[1], s[2]})));
    }
    int len = l.rowLength;
    if (l.rle) {
      BMPEncodeRLERow(idx.data(), W, l.depth == 4, out.data(), len);
    } else {
      std::fill(out.begin(), out.begin() + l.rowLength, 0);
      if (l.depth == 8) {
        std::memcpy(out.data(), idx.data(), size_t(W));
      } else {
        for (int x = 0; x < W; ++x)
          out[size_t(x >> 1)] |= (x & 1) ? (idx[size_t(x)] & 15) : uint8_t(idx[size_t(x)] << 4);
      }
    }
    w.Put(out.data(), len);
    if (!w.Flush()) break;
  }
  if (l.rle && !progress.Aborted()) {
    w.Put8(0);
    w.Put8(1);  // end of bitmap
  }
}

// The two colours of a bitmap that has exactly two, the darker first; false
// for one colour or more than two.
bool TwoColours(TLXBitmap* src, TRGB& c0, TRGB& c1, bool& invert) {
  int found = 0;
  for (int y = 0; y < src->Height() && found <= 2; ++y) {
    const uint8_t* s = src->Scanline(y);
    for (int x = 0; x < src->Width(); ++x, s += 3) {
      const TRGB c{s[0], s[1], s[2]};
      if (found == 0) { c0 = c; found = 1; }
      else if (c == c0) continue;
      else if (found == 1) { c1 = c; found = 2; }
      else if (!(c == c1)) { found = 3; break; }
    }
  }
  if (found != 2) return false;
  invert = RoundedLuminance(c1) < RoundedLuminance(c0);
  return true;
}

// 1-bit rows: an lx1g bitmap as it is with a black, white table; exactly two
// colours keep their colours; anything else through an lx1g copy.
void PutMonoRows(TByteWriter& w, TLXBitmap* src, const TLayout& l, TIOParamsVals& params,
                 TIOProgress& progress, int64_t& pixelPos) {
  params.SetColorMapCount(2);
  TRGB table[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  TRGB c0{}, c1{};
  bool invert = false;
  const bool twoColours = src->PixelFormat() != lx1g && TwoColours(src, c0, c1, invert);
  std::unique_ptr<TLXBitmap> copy;
  if (twoColours) {
    table[0] = invert ? c1 : c0;
    table[1] = invert ? c0 : c1;
  } else if (src->PixelFormat() != lx1g) {
    copy = CopyAs(src, lx1g);
    src = copy.get();
  }
  params.ColorMap[0] = table[0];
  params.ColorMap[1] = table[1];
  PutTable(w, table, 2, l.core);
  pixelPos = w.Position();
  std::vector<uint8_t> out(size_t(l.rowLength), 0);
  for (int r = 0; r < l.height; ++r) {
    progress.Report(r);
    if (progress.Aborted()) break;
    const uint8_t* s = src->Scanline(l.height - 1 - r);
    std::fill(out.begin(), out.end(), 0);
    if (twoColours) {
      for (int x = 0; x < l.width; ++x, s += 3)
        if (!(TRGB{s[0], s[1], s[2]} == c0) != invert) out[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    } else {
      std::memcpy(out.data(), s, size_t(std::min(l.rowLength, src->RowLength())));
      if (l.width & 7) out[size_t(l.width >> 3)] &= uint8_t(0xFF00 >> (l.width & 7));
    }
    w.Put(out.data(), l.rowLength);
    if (!w.Flush()) break;
  }
}

void PutRGBRows(TByteWriter& w, TLXBitmap* src, const TLayout& l, TIOProgress& progress, int64_t& pixelPos) {
  pixelPos = w.Position();
  std::vector<uint8_t> out(size_t(l.rowLength), 0);
  for (int r = 0; r < l.height; ++r) {
    progress.Report(r);
    if (progress.Aborted()) break;
    std::memcpy(out.data(), src->Scanline(l.height - 1 - r), size_t(l.width) * 3);
    w.Put(out.data(), l.rowLength);
    if (!w.Flush()) break;
  }
}

}  // namespace

void BMPWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress) {
  if (!bitmap || bitmap->IsEmpty() || bitmap->PixelFormat() == lxNone) {
    progress.Abort();
    return;
  }
  const TLayout l = LayoutFor(params, bitmap);
  if (l.core && (l.width > 65535 || l.height > 65535)) {
    progress.Abort();
    return;
  }
  // Each depth path reads lx1g, lx8p or lx24RGB rows; anything else (and lx8p
  // that does not fit the depth) goes through a private lx24RGB copy.
  TLXBitmap* src = bitmap;
  std::unique_ptr<TLXBitmap> copy;
  const TLXPixelFormat f = bitmap->PixelFormat();
  bool to24 = f == lx8g || f == lx16g || f == lx32f;
  if (f == lx1g && l.depth != 1) to24 = true;
  if (f == lx8p && (l.depth == 1 || l.depth == 24 || (l.depth == 4 && MaxIndex(bitmap) >= 16))) to24 = true;
  if (to24) {
    copy = CopyAs(bitmap, lx24RGB);
    src = copy.get();
  }

  TByteWriter w(stream, progress);
  const int64_t start = w.Position();
  uint8_t fileHeader[14] = {'B', 'M'};
  uint8_t info[64];
  FillInfo(info, l, 0, 0, params);
  w.Put(fileHeader, 14);
  w.Put(info, l.headerSize);
  if (!w.Flush()) return;
  progress.step = 100.0 / l.height;

  int64_t pixelPos = 0;
  if (l.depth == 4 || l.depth == 8)
    PutIndexedRows(w, src, l, params, progress, pixelPos);
  else if (l.depth == 1)
    PutMonoRows(w, src, l, params, progress, pixelPos);
  else
    PutRGBRows(w, src, l, progress, pixelPos);
  if (!w.Flush() || progress.Aborted()) return;

  // The second pass: the sizes measured.
  const int64_t end = w.Position();
  PutLE32(fileHeader + 2, uint32_t(end - start));
  PutLE32(fileHeader + 10, uint32_t(pixelPos - start));
  FillInfo(info, l, l.depth, uint32_t(end - pixelPos), params);
  w.Seek(start);
  w.Put(fileHeader, 14);
  w.Put(info, l.headerSize);
  w.Seek(end);
}
