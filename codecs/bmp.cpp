#include "codecs/bmp.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <string>
#include <memory>
#include <vector>

#include "image/bitmap.h"
#include "io/format.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "proc/convert.h"
#include "proc/quantizer.h"

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
void Put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

// Pels per metre to dots per inch; 0 when the field says nothing usable.
int32_t PelsToDpi(int32_t ppm) {
  if (ppm <= 0) return 0;
  long double v = std::nearbyint(static_cast<long double>(ppm) / 100.0L * 2.54L);
  return v > 2147483647.0L ? 2147483647 : int32_t(v);
}

uint32_t DpiToPels(int32_t dpi) {
  long double v = std::nearbyint(static_cast<long double>(dpi) / 2.54L * 100.0L);
  if (v < 0) return 0;
  return v > 2147483647.0L ? 2147483647u : uint32_t(v);
}

// One colour channel taken through its bit-field mask: the run of ones from the
// mask's lowest set bit, brought to 8 bits (a 5-bit 31 gives 248). A zero mask
// gives 0 and masks wider than 8 bits keep their top 8 bits.
struct TChannelMask {
  uint32_t mask = 0;
  int shift = 0;
  int width = 0;
  explicit TChannelMask(uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    width = std::countr_one(m >> shift);
  }
  uint8_t Take(uint32_t pixel) const {
    if (width == 0) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (width < 32) v &= (uint32_t(1) << width) - 1;
    return width >= 8 ? uint8_t(v >> (width - 8)) : uint8_t(v << (8 - width));
  }
};

// Header sizes of the Windows versions (12, 40, 52, 56, 108, 124) and of the
// OS/2 2.x header, which may be cut anywhere between 16 and 64 bytes.
// How many pixels one byte of run-length codes may stand for before a file is
// taken as a bomb: far above what runs and line ends can reach, which leaves
// room for images that skip most of their area with deltas.
constexpr int64_t kMaxRLEPixelsPerByte = 16384;

bool KnownHeaderSize(uint32_t size) {
  return size == 12 || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

bool IsWindowsHeader(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

void FillIndex0(TLXBitmap* bitmap, const TRGB* lut) {
  const int w = bitmap->Width(), h = bitmap->Height();
  for (int y = 0; y < h; ++y) {
    uint8_t* d = bitmap->Scanline(y);
    if (bitmap->PixelFormat() == lx8p) {
      std::memset(d, 0, size_t(bitmap->RowLength()));
    } else {
      for (int x = 0; x < w; ++x, d += 3) { d[0] = lut[0].b; d[1] = lut[0].g; d[2] = lut[0].r; }
    }
  }
}

// Run-length decoding of 4- and 8-bit pixels; everything is clipped to the image
// and to the code bytes at hand. Returns false when the codes leave the image.
bool DecodeRLE(const std::vector<uint8_t>& data, bool rle4, TLXBitmap* bitmap, const TRGB* lut,
               TIOProgress& progress) {
  const int w = bitmap->Width(), h = bitmap->Height();
  const bool indexed = bitmap->PixelFormat() == lx8p;
  const size_t n = data.size();
  size_t p = 0;
  int row = 0;  // counted from the bottom
  int x = 0;
  bool clean = true;
  uint8_t* line = bitmap->Scanline(h - 1);
  auto put = [&](uint8_t index) {
    if (x >= w) { clean = false; ++x; return; }
    if (indexed) {
      line[x] = index;
    } else {
      uint8_t* d = line + size_t(x) * 3;
      d[0] = lut[index].b; d[1] = lut[index].g; d[2] = lut[index].r;
    }
    ++x;
  };
  while (p + 1 < n) {
    const uint8_t count = data[p], value = data[p + 1];
    p += 2;
    if (count > 0) {
      for (int i = 0; i < count; ++i)
        put(rle4 ? ((i & 1) ? (value & 15) : (value >> 4)) : value);
      continue;
    }
    if (value == 0) {  // end of line
      ++row;
      x = 0;
      if (row >= h) break;
      line = bitmap->Scanline(h - 1 - row);
      progress.Report(row);
      if (progress.Aborted()) break;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (p + 1 >= n) break;
      x += data[p];
      row += data[p + 1];
      p += 2;
      if (row >= h) { clean = false; break; }
      line = bitmap->Scanline(h - 1 - row);
    } else {  // absolute run
      const size_t bytes = rle4 ? (value + 1u) / 2u : value;
      const size_t avail = std::min(bytes, n - p);
      for (int i = 0; i < value; ++i) {
        const size_t b = rle4 ? size_t(i / 2) : size_t(i);
        if (b >= avail) { clean = false; break; }
        put(rle4 ? ((i & 1) ? (data[p + b] & 15) : (data[p + b] >> 4)) : data[p + b]);
      }
      p += bytes + (bytes & 1);
    }
  }
  return clean;
}

}  // namespace

void BMPReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, int64_t dataSize) {
  const int64_t start = stream.Position();
  const int64_t streamSize = stream.Size();
  uint8_t fh[14];
  if (stream.Read(fh, 14) != 14 || fh[0] != 'B' || fh[1] != 'M') {
    progress.Abort();
    return;
  }
  const uint32_t bfSize = Get32(fh + 2);
  const uint32_t bfOffBits = Get32(fh + 10);
  if (dataSize <= 0 && bfSize != 0) dataSize = bfSize;

  uint8_t sizeField[4];
  if (stream.Read(sizeField, 4) != 4) {
    progress.Abort();
    return;
  }
  const uint32_t headerSize = Get32(sizeField);
  stream.Seek(-4, TSeekOrigin::soCurrent);
  params.FreeColorMap();
  if (!KnownHeaderSize(headerSize)) {
    progress.Abort();
    return;
  }

  int64_t width = 0, height = 0;
  int bitCount = 0, planes = 1;
  uint32_t compression = 0;
  bool topDown = false;
  int64_t colours = 0;
  int entrySize = 4;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  bool bitFields = false;

  if (headerSize == 12) {
    uint8_t h[12] = {};
    stream.Read(h, 12);
    width = Get16(h + 4);
    height = Get16(h + 6);
    planes = Get16(h + 8);
    bitCount = Get16(h + 10);
    params.BMPVersion = 2;
    params.SetDpiX(300);
    params.SetDpiY(300);
    if (bitCount <= 8) colours = int64_t(1) << bitCount;
    entrySize = 3;
  } else {
    uint8_t h[64] = {};
    const uint32_t take = std::min<uint32_t>(64, headerSize);
    stream.Read(h, take);
    if (headerSize > take) stream.Seek(headerSize - take, TSeekOrigin::soCurrent);
    params.BMPVersion = headerSize == 64 ? 3 : headerSize == 40 ? 1 : 0;
    width = int32_t(Get32(h + 4));
    const int32_t bh = int32_t(Get32(h + 8));
    topDown = bh < 0;
    height = bh < 0 ? -int64_t(bh) : int64_t(bh);
    planes = Get16(h + 12);
    bitCount = Get16(h + 14);
    compression = Get32(h + 16);
    const int32_t dx = PelsToDpi(int32_t(Get32(h + 24)));
    const int32_t dy = PelsToDpi(int32_t(Get32(h + 28)));
    params.SetDpiX(dx != 0 ? dx : 300);
    params.SetDpiY(dy != 0 ? dy : 300);
    uint32_t used = Get32(h + 32);
    if (used > 256) used = 0;
    colours = used;
    if (colours == 0 && bitCount <= 8) colours = int64_t(1) << bitCount;
    // Masks: inside the header from version 2 on, else in the 12 (16 with
    // alpha bit fields) bytes behind a 40-byte header. OS/2 2.x uses
    // compression 3 for Huffman coding, which is not read here.
    if ((compression == 3 || compression == 6) && IsWindowsHeader(headerSize)) {
      bitFields = true;
      if (headerSize >= 52) {
        for (int i = 0; i < 3; ++i) masks[i] = Get32(h + 40 + 4 * i);
      } else {
        uint8_t m[16] = {};
        stream.Read(m, compression == 6 ? 16 : 12);
        for (int i = 0; i < 3; ++i) masks[i] = Get32(m + 4 * i);
      }
    }
  }

  // The colour table never reaches into the pixel data.
  const int64_t tableStart = stream.Position();
  if (bfOffBits != 0 && tableStart + colours * entrySize > start + int64_t(bfOffBits))
    colours = std::max<int64_t>(0, (start + int64_t(bfOffBits) - tableStart) / entrySize);
  if (colours > 0) {
    std::vector<uint8_t> table(size_t(colours * entrySize), 0);
    stream.Read(table.data(), int64_t(table.size()));
    params.SetColorMapCount(int32_t(colours));
    for (int64_t i = 0; i < colours; ++i) {
      const uint8_t* e = table.data() + i * entrySize;
      params.ColorMap[size_t(i)] = TRGB{e[0], e[1], e[2]};
    }
  }

  params.BMPCompression = (compression == 1 || compression == 2) ? 1 : 0;

  if (bfOffBits != 0) {
    if (start + int64_t(bfOffBits) > streamSize) {
      progress.Abort();
      return;
    }
    stream.SetPosition(start + int64_t(bfOffBits));
  }
  const int64_t dataPos = stream.Position();
  int64_t available = streamSize - dataPos;
  if (dataSize > 0) available = std::min(available, dataSize - (dataPos - start));
  if (available < 0) available = 0;

  if (width < 0 || height > 2147483647) {
    progress.Abort();
    return;
  }
  params.Width = int32_t(width);
  params.Height = int32_t(height);
  if (width == 0 || height == 0) return;

  switch (bitCount) {
    case 1: params.BitsPerSample = 1; params.SamplesPerPixel = 1; break;
    case 4: params.BitsPerSample = 4; params.SamplesPerPixel = 1; break;
    case 8: params.BitsPerSample = 8; params.SamplesPerPixel = 1; break;
    case 16: params.BitsPerSample = 5; params.SamplesPerPixel = 3; break;
    case 24:
    case 32: params.BitsPerSample = 8; params.SamplesPerPixel = 3; break;
    default: break;
  }

  // Only what can be decoded counts as read: a bit count or compression outside
  // the table, run-length rows stored top-down, or planes other than 1 fail.
  const bool rle8 = compression == 1, rle4 = compression == 2;
  bool decodable = planes == 1;
  switch (bitCount) {
    case 1: case 24: decodable &= compression == 0; break;
    case 4: decodable &= compression == 0 || rle4; break;
    case 8: decodable &= compression == 0 || rle8; break;
    case 16: case 32: decodable &= compression == 0 || bitFields; break;
    default: decodable = false;
  }
  if ((rle4 || rle8) && topDown) decodable = false;
  const auto fileBytes = CheckedImageBytes(width, height, bitCount);
  if (!decodable || !fileBytes) {
    progress.Abort();
    return;
  }
  if (paramsOnly) return;

  const int64_t fileRowLength = ComputeRowLength(int32_t(width), bitCount);
  const bool compressed = rle4 || rle8;
  if (!compressed) {
    // A truncated file is refused before anything is allocated for it.
    const int64_t needed = fileRowLength * (height - 1) + (width * bitCount + 7) / 8;
    if (available < needed) {
      progress.Abort();
      return;
    }
  } else if (width * height > (available + 16) * kMaxRLEPixelsPerByte) {
    // Codes this few cannot describe an image this large (a real file takes at
    // least a byte per hundred pixels or so): refused before allocating.
    progress.Abort();
    return;
  }

  const TLXPixelFormat format =
      bitCount == 1 ? lx1g : (bitCount <= 8 && params.NativePixelFormat) ? lx8p : lx24RGB;
  if (!CheckedImageBytes(width, height, BitCountOf(format))) {
    progress.Abort();
    return;
  }
  const int w = int(width), h = int(height);
  bitmap->Allocate(w, h, format);
  if (bitmap->Width() != w || bitmap->Height() != h) {
    progress.Abort();
    return;
  }

  TRGB lut[256] = {};
  for (int i = 0; i < params.ColorMapCount && i < 256; ++i) lut[i] = params.ColorMap[size_t(i)];
  if (format == lx8p)
    for (int i = 0; i < 256; ++i) bitmap->SetPaletteEntry(i, PackRGB(lut[i]));
  progress.step = 100.0 / h;

  if (compressed) {
    std::vector<uint8_t> data(static_cast<size_t>(available));
    data.resize(size_t(std::max<int64_t>(0, stream.Read(data.data(), available))));
    FillIndex0(bitmap, lut);
    progress.Report(0);
    if (!progress.Aborted()) DecodeRLE(data, rle4, bitmap, lut, progress);
    return;
  }

  const TChannelMask mr(masks[0]), mg(masks[1]), mb(masks[2]);
  std::vector<uint8_t> row(static_cast<size_t>(fileRowLength), 0);
  for (int i = 0; i < h; ++i) {
    progress.Report(i);
    if (progress.Aborted()) break;
    std::fill(row.begin(), row.end(), 0);
    stream.Read(row.data(), fileRowLength);
    uint8_t* d = bitmap->Scanline(topDown ? i : h - 1 - i);
    const uint8_t* s = row.data();
    switch (bitCount) {
      case 1:
        std::memcpy(d, s, size_t(std::min<int64_t>(fileRowLength, bitmap->RowLength())));
        break;
      case 4:
        for (int x = 0; x < w; ++x) {
          const uint8_t v = (x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4);
          if (format == lx8p) { d[x] = v; }
          else { d[0] = lut[v].b; d[1] = lut[v].g; d[2] = lut[v].r; d += 3; }
        }
        break;
      case 8:
        if (format == lx8p) {
          std::memcpy(d, s, size_t(w));
        } else {
          for (int x = 0; x < w; ++x, d += 3) {
            const TRGB& c = lut[s[x]];
            d[0] = c.b; d[1] = c.g; d[2] = c.r;
          }
        }
        break;
      case 16:
        for (int x = 0; x < w; ++x, d += 3, s += 2) {
          const uint32_t v = Get16(s);
          d[0] = mb.Take(v); d[1] = mg.Take(v); d[2] = mr.Take(v);
        }
        break;
      case 24:
        std::memcpy(d, s, size_t(w) * 3);
        break;
      case 32:
        if (bitFields) {
          for (int x = 0; x < w; ++x, d += 3, s += 4) {
            const uint32_t v = Get32(s);
            d[0] = mb.Take(v); d[1] = mg.Take(v); d[2] = mr.Take(v);
          }
        } else {
          for (int x = 0; x < w; ++x, d += 3, s += 4) { d[0] = s[0]; d[1] = s[1]; d[2] = s[2]; }
        }
        break;
    }
  }

  // Bit 1 always means white: a white, black table flips the bits.
  if (bitCount == 1 && params.ColorMapCount == 2 && params.ColorMap[0] == TRGB{255, 255, 255} &&
      params.ColorMap[1] == TRGB{0, 0, 0}) {
    const int rl = bitmap->RowLength();
    for (int y = 0; y < h; ++y) {
      uint8_t* d = bitmap->Scanline(y);
      for (int i = 0; i < rl; ++i) d[i] = uint8_t(~d[i]);
    }
  }
}

// ---------------------------------------------------------------------------

void BMPEncodeRLERow(const uint8_t* idx, int count, bool rle4, uint8_t* out, int& outLength) {
  int o = 0;
  auto flush = [&](int from, int k) {
    while (k > 0) {
      const int c = std::min(k, 255);
      const uint8_t a = idx[from], b = c > 1 ? idx[from + 1] : 0;
      if (c == 1) {
        out[o++] = 1; out[o++] = rle4 ? uint8_t(a << 4) : a;
      } else if (c == 2) {
        if (rle4) { out[o++] = 2; out[o++] = uint8_t((a << 4) | (b & 15)); }
        else { out[o++] = 1; out[o++] = a; out[o++] = 1; out[o++] = b; }
      } else {
        out[o++] = 0;
        out[o++] = uint8_t(c);
        int bytes;
        if (rle4) {
          bytes = (c + 1) / 2;
          for (int i = 0; i < c; i += 2)
            out[o++] = uint8_t((idx[from + i] << 4) | (i + 1 < c ? (idx[from + i + 1] & 15) : 0));
        } else {
          bytes = c;
          std::memcpy(out + o, idx + from, size_t(c));
          o += c;
        }
        if (bytes & 1) out[o++] = 0;
      }
      from += c;
      k -= c;
    }
  };
  int pendingFrom = 0, pending = 0;
  int i = 0;
  while (i < count) {
    if (pending >= 255) {
      flush(pendingFrom, pending);
      pending = 0;
    }
    if (i == count - 1 || idx[i] != idx[i + 1]) {
      if (pending == 0) pendingFrom = i;
      ++pending;
      ++i;
      continue;
    }
    flush(pendingFrom, pending);
    pending = 0;
    int run = 1;
    while (i + run < count && run < 255 && idx[i + run] == idx[i]) ++run;
    out[o++] = uint8_t(run);
    out[o++] = rle4 ? uint8_t((idx[i] << 4) | (idx[i] & 15)) : idx[i];
    i += run;
  }
  flush(pendingFrom, pending);
  out[o++] = 0;
  out[o++] = 0;
  outLength = o;
}

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

}  // namespace

void BMPWriteStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                    TIOProgress& progress) {
  if (!bitmap || bitmap->IsEmpty() || bitmap->PixelFormat() == lxNone) {
    progress.Abort();
    return;
  }
  const int d = params.BitsPerSample == 1   ? 1
                : params.BitsPerSample == 4 ? 4
                : params.SamplesPerPixel == 1 ? 8
                                              : 24;
  const bool core = params.BMPVersion == 2;
  const int headerSize = core ? 12 : params.BMPVersion == 3 ? 64 : 40;
  const bool rle = !core && params.BMPCompression == 1 && (d == 4 || d == 8);
  const int W = bitmap->Width(), H = bitmap->Height();
  if (core && (W > 65535 || H > 65535)) {
    progress.Abort();
    return;
  }

  // Each depth path reads lx1g, lx8p or lx24RGB rows; anything else (and lx8p
  // that does not fit the depth) goes through a private lx24RGB copy.
  TLXBitmap* src = bitmap;
  std::unique_ptr<TLXBitmap> copy;
  const TLXPixelFormat f = bitmap->PixelFormat();
  bool to24 = f == lx8g || f == lx16g || f == lx32f;
  if (f == lx1g && d != 1) to24 = true;
  if (f == lx8p && (d == 1 || d == 24 || (d == 4 && MaxIndex(bitmap) >= 16))) to24 = true;
  if (to24) {
    copy = CopyAs(bitmap, lx24RGB);
    src = copy.get();
  }

  const int64_t start = stream.Position();
  uint8_t fileHeader[14] = {'B', 'M'};
  uint8_t info[64] = {};
  auto fillInfo = [&](int bitCount, uint32_t sizeImage) {
    std::memset(info, 0, sizeof info);
    Put32(info, uint32_t(headerSize));
    if (core) {
      Put16(info + 4, uint32_t(W));
      Put16(info + 6, uint32_t(H));
      Put16(info + 8, 1);
      Put16(info + 10, uint32_t(bitCount));
      return;
    }
    Put32(info + 4, uint32_t(W));
    Put32(info + 8, uint32_t(H));
    Put16(info + 12, 1);
    Put16(info + 14, uint32_t(bitCount));
    Put32(info + 16, rle ? (d == 4 ? 2u : 1u) : 0u);
    Put32(info + 20, sizeImage);
    Put32(info + 24, DpiToPels(params.DpiX()));
    Put32(info + 28, DpiToPels(params.DpiY()));
    Put32(info + 32, d <= 8 ? (1u << d) : 0u);
    Put32(info + 36, 1u << d);
  };
  fillInfo(0, 0);
  if (!SafeStreamWrite(stream, progress, fileHeader, 14)) return;
  if (!SafeStreamWrite(stream, progress, info, headerSize)) return;
  progress.step = 100.0 / H;

  auto writeTable = [&](const TRGB* colours, int count) {
    std::vector<uint8_t> t;
    for (int i = 0; i < count; ++i) {
      t.push_back(colours[i].b);
      t.push_back(colours[i].g);
      t.push_back(colours[i].r);
      if (!core) t.push_back(0);
    }
    return SafeStreamWrite(stream, progress, t.data(), int64_t(t.size()));
  };

  int64_t pixelPos = 0;
  const int rowLength = ComputeRowLength(W, d);
  std::vector<uint8_t> out(size_t(std::max(rowLength, BMPRLERowBound(W))), 0);

  if (d == 4 || d == 8) {
    const int n = 1 << d;
    params.SetColorMapCount(n);
    TLXQuantizer quantizer(src, params.ColorMap.data(), 134217727, n, -1, 0);
    if (!writeTable(params.ColorMap.data(), n)) return;
    pixelPos = stream.Position();
    std::vector<uint8_t> idx(static_cast<size_t>(W));
    const bool indexed = src->PixelFormat() == lx8p;
    for (int r = 0; r < H; ++r) {
      progress.Report(r);
      if (progress.Aborted()) break;
      const uint8_t* s = src->Scanline(H - 1 - r);
      if (indexed) {
        std::memcpy(idx.data(), s, size_t(W));
      } else {
        for (int x = 0; x < W; ++x, s += 3)
          idx[size_t(x)] = uint8_t(std::max(0, quantizer.ColorToIndex(TRGB{s[0], s[1], s[2]})));
      }
      int len = 0;
      if (rle) {
        BMPEncodeRLERow(idx.data(), W, d == 4, out.data(), len);
      } else {
        std::fill(out.begin(), out.begin() + rowLength, 0);
        if (d == 8) {
          std::memcpy(out.data(), idx.data(), size_t(W));
        } else {
          for (int x = 0; x < W; ++x)
            out[size_t(x >> 1)] |= (x & 1) ? (idx[size_t(x)] & 15) : uint8_t(idx[size_t(x)] << 4);
        }
        len = rowLength;
      }
      if (!SafeStreamWrite(stream, progress, out.data(), len)) break;
    }
    if (rle && !progress.Aborted()) {
      const uint8_t eob[2] = {0, 1};
      SafeStreamWrite(stream, progress, eob, 2);
    }
  } else if (d == 1) {
    params.SetColorMapCount(2);
    TRGB table[2] = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    bool twoColours = false, invert = false;
    TRGB c0{}, c1{};
    if (src->PixelFormat() != lx1g) {
      // Exactly two colours keep their colours, the darker as entry 0.
      int found = 0;
      for (int y = 0; y < H && found <= 2; ++y) {
        const uint8_t* s = src->Scanline(y);
        for (int x = 0; x < W; ++x, s += 3) {
          const TRGB c{s[0], s[1], s[2]};
          if (found == 0) { c0 = c; found = 1; }
          else if (c == c0) continue;
          else if (found == 1) { c1 = c; found = 2; }
          else if (!(c == c1)) { found = 3; break; }
        }
      }
      if (found == 2) {
        twoColours = true;
        invert = RoundedLuminance(c1) < RoundedLuminance(c0);
        table[0] = invert ? c1 : c0;
        table[1] = invert ? c0 : c1;
      } else {
        copy = CopyAs(src, lx1g);
        src = copy.get();
      }
    }
    params.ColorMap[0] = table[0];
    params.ColorMap[1] = table[1];
    if (!writeTable(table, 2)) return;
    pixelPos = stream.Position();
    for (int r = 0; r < H; ++r) {
      progress.Report(r);
      if (progress.Aborted()) break;
      const uint8_t* s = src->Scanline(H - 1 - r);
      std::fill(out.begin(), out.begin() + rowLength, 0);
      if (twoColours) {
        for (int x = 0; x < W; ++x, s += 3) {
          const bool bit = !(TRGB{s[0], s[1], s[2]} == c0) != invert;
          if (bit) out[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
        }
      } else {
        std::memcpy(out.data(), s, size_t(std::min(rowLength, src->RowLength())));
        if (W & 7) out[size_t(W >> 3)] &= uint8_t(0xFF00 >> (W & 7));
      }
      if (!SafeStreamWrite(stream, progress, out.data(), rowLength)) break;
    }
  } else {
    pixelPos = stream.Position();
    for (int r = 0; r < H; ++r) {
      progress.Report(r);
      if (progress.Aborted()) break;
      std::fill(out.begin(), out.begin() + rowLength, 0);
      std::memcpy(out.data(), src->Scanline(H - 1 - r), size_t(W) * 3);
      if (!SafeStreamWrite(stream, progress, out.data(), rowLength)) break;
    }
  }

  if (progress.Aborted()) return;
  const int64_t end = stream.Position();
  Put32(fileHeader + 2, uint32_t(end - start));
  Put32(fileHeader + 10, uint32_t(pixelPos - start));
  fillInfo(d, uint32_t(end - pixelPos));
  stream.SetPosition(start);
  if (SafeStreamWrite(stream, progress, fileHeader, 14))
    SafeStreamWrite(stream, progress, info, headerSize);
  stream.SetPosition(end);
}

// ---------------------------------------------------------------------------

namespace {

bool HasBMSignature(TStream& s) {
  uint8_t b[2] = {};
  return s.Read(b, 2) == 2 && b[0] == 'B' && b[1] == 'M';
}

std::string BMPDetail(const TIOParamsVals& p) {
  static const char* const kNames[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
  return p.BMPVersion < std::size(kNames) ? kNames[p.BMPVersion] : "";
}

}  // namespace

const TIOFormat& BMPFormat() {
  static const TIOFormat row{
      .FileType = ioBMP,
      .DisplayName = "Windows Bitmap",
      .RegistryExtensions = "BMP;DIB;RLE",
      .DialogPages = ppBMP,
      .Readable = true,
      .Writable = true,
      .Extensions = "bmp;dib;rle",
      .Routes = iorLoad | iorSave,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        BMPReadStream(s, b, p, pr, c.ParamsOnly, c.DataSize);
      },
      .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
        BMPWriteStream(s, b, p, pr);
      },
      .Signatures = {{50, 14, HasBMSignature}},
      .ViewDpiFile = true,
      .Detail = BMPDetail,
  };
  return row;
}
