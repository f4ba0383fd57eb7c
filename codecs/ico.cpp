#include "codecs/ico.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "codecs/bmp.h"
#include "codecs/icowrite.h"
#include "codecs/png.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "io/format.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

struct TIconEntry {
  uint8_t Width = 0, Height = 0, ColorCount = 0, Reserved = 0;
  uint16_t Planes = 0, BitCount = 0;  // a cursor's hot spot x and y
  uint32_t BytesInRes = 0, ImageOffset = 0;
};

TIconEntry ParseEntry(const uint8_t* e) {
  TIconEntry r;
  r.Width = e[0];
  r.Height = e[1];
  r.ColorCount = e[2];
  r.Reserved = e[3];
  r.Planes = Get16(e + 4);
  r.BitCount = Get16(e + 6);
  r.BytesInRes = Get32(e + 8);
  r.ImageOffset = Get32(e + 12);
  return r;
}

// Reads the directory at the stream's position; false when it is cut short.
bool ReadDirectory(TStream& stream, uint16_t& type, std::vector<TIconEntry>& entries) {
  uint8_t dir[6];
  if (stream.Read(dir, 6) != 6) return false;
  type = Get16(dir + 2);
  const int count = Get16(dir + 4);
  if (int64_t(count) * 16 > stream.Remaining()) return false;
  std::vector<uint8_t> raw(size_t(count) * 16);
  if (stream.Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) return false;
  entries.clear();
  for (int i = 0; i < count; ++i) entries.push_back(ParseEntry(raw.data() + 16 * i));
  return true;
}

bool IsDirStream(TStream& stream, uint16_t wantedType) {
  const int64_t start = stream.Position();
  bool ok = false;
  if (stream.Size() - start > 22) {
    uint8_t dir[6];
    if (stream.Read(dir, 6) == 6 && Get16(dir) == 0 && Get16(dir + 2) == wantedType &&
        Get16(dir + 4) != 0) {
      ok = true;
      const int count = Get16(dir + 4);
      for (int i = 0; i < count && ok; ++i) {
        uint8_t e[16];
        if (stream.Read(e, 16) != 16) { ok = false; break; }
        const TIconEntry entry = ParseEntry(e);
        ok = entry.Reserved == 0 && entry.BytesInRes != 0 &&
             start + int64_t(entry.ImageOffset) >= stream.Position();
      }
    }
  }
  stream.SetPosition(start);
  return ok;
}

int32_t PelsToDpi(int32_t ppm) {
  if (ppm <= 0) return 300;
  long double v = std::nearbyint(static_cast<long double>(ppm) / 100.0L * 2.54L);
  if (v < 1) return 300;
  return v > 2147483647.0L ? 2147483647 : int32_t(v);
}

constexpr uint8_t kPNGSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// PNG entries beyond this size are refused before the PNG codec allocates them.
constexpr uint32_t kMaxPNGEntrySide = 1024;

bool KnownInfoHeader(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// One image of an icon or cursor, the stream anywhere; start is the directory's
// first byte.
void ReadImage(TStream& stream, int64_t start, const TIconEntry& e, bool cursor, TLXBitmap* bitmap,
               TIOParamsVals& params, bool paramsOnly, TIOProgress& progress,
               std::unique_ptr<TLXMask>& mask) {
  const int64_t at = start + int64_t(e.ImageOffset);
  uint8_t head[40] = {};
  // 24 bytes hold a PNG signature with its size; a bitmap header needs 40.
  if (e.ImageOffset < 6 || at + 24 > stream.Size()) {
    progress.Abort();
    return;
  }
  stream.SetPosition(at);
  const int64_t got = stream.Read(head, 40);

  if (got >= 24 && std::memcmp(head, kPNGSignature, 8) == 0) {
    const uint32_t pw = (uint32_t(head[16]) << 24) | (uint32_t(head[17]) << 16) |
                        (uint32_t(head[18]) << 8) | head[19];
    const uint32_t ph = (uint32_t(head[20]) << 24) | (uint32_t(head[21]) << 16) |
                        (uint32_t(head[22]) << 8) | head[23];
    if (pw == 0 || ph == 0 || pw > kMaxPNGEntrySide || ph > kMaxPNGEntrySide) {
      progress.Abort();
      return;
    }
    stream.SetPosition(at);
    PNGReadStream(stream, bitmap, params, progress, paramsOnly, false, mask);
    if (cursor) {
      params.CursorHotSpotX = e.Planes;
      params.CursorHotSpotY = e.BitCount;
    }
    return;
  }
  if (got != 40) {
    progress.Abort();
    return;
  }

  const uint32_t biSize = Get32(head);
  const int32_t biWidth = int32_t(Get32(head + 4));
  const int32_t biHeight = int32_t(Get32(head + 8));
  const int biBitCount = Get16(head + 14);
  const uint32_t biCompression = Get32(head + 16);
  const uint32_t biClrUsed = Get32(head + 32);
  if (!KnownInfoHeader(biSize) || biCompression != 0) {
    progress.Abort();
    return;
  }
  params.SetDpiX(PelsToDpi(int32_t(Get32(head + 24))));
  params.SetDpiY(PelsToDpi(int32_t(Get32(head + 28))));

  int b;
  if (cursor) {
    b = biBitCount != 0 ? biBitCount : ICOBitCountForColors(e.ColorCount);
  } else {
    b = e.BitCount;
    if (biBitCount != 0) b = biBitCount;
    if (b == 0) b = ICOBitCountForColors(e.ColorCount);
  }
  if (b == 0) {
    progress.Abort();
    return;
  }
  if (cursor) {
    params.BitsPerSample = b;
    params.SamplesPerPixel = 1;
  } else if (b <= 8) {
    params.BitsPerSample = b;
    params.SamplesPerPixel = 1;
  } else {
    params.BitsPerSample = 8;
    params.SamplesPerPixel = b == 32 ? 4 : 3;
  }

  // The rows are laid out by the header, so a sane header decides the size.
  int W = e.Width != 0 ? e.Width : biWidth;
  int H = e.Height != 0 ? e.Height : biHeight / 2;
  const int hw = biWidth, hh = biHeight / 2;
  if (hw >= 1 && hw <= 256 && hh >= 1 && hh <= 256 && (W != hw || H != hh)) {
    W = hw;
    H = hh;
  }
  if (W < 1 || W > 256 || H < 1 || H > 256) {
    progress.Abort();
    return;
  }
  if (cursor) {
    params.CursorHotSpotX = e.Planes;
    params.CursorHotSpotY = e.BitCount;
  }

  params.FreeColorMap();
  if (b <= 8) {
    int count = 1 << b;
    if (cursor) {
      if (e.ColorCount == 255) count = 256;
      else if (e.ColorCount != 0) count = std::min<int>(e.ColorCount, 1 << b);
    } else if (biClrUsed > 0 && biClrUsed < uint32_t(count)) {
      count = int(biClrUsed);
    }
    std::vector<uint8_t> table(size_t(count) * 4, 0);
    stream.SetPosition(at + biSize);
    stream.Read(table.data(), int64_t(table.size()));
    params.SetColorMapCount(count);
    for (int i = 0; i < count; ++i)
      params.ColorMap[size_t(i)] = TRGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]};
  } else {
    stream.SetPosition(at + biSize);
  }
  params.Width = W;
  params.Height = H;
  if (paramsOnly) return;

  if (b != 1 && b != 4 && b != 8 && b != 24 && b != 32) {
    progress.Abort();
    return;
  }
  bitmap->Allocate(W, H, b == 1 ? lx1g : lx24RGB);
  if (bitmap->Width() != W || bitmap->Height() != H) {
    progress.Abort();
    return;
  }
  if (!mask) mask = std::make_unique<TLXMask>();
  mask->Allocate(W, H, 8);
  mask->Fill(255);
  mask->Full = false;

  const int rowLength = ComputeRowLength(W, b);
  const int maskLength = ComputeRowLength(W, 1);
  std::vector<uint8_t> colour(size_t(rowLength) * size_t(H), 0);
  const bool complete = stream.Read(colour.data(), int64_t(colour.size())) == int64_t(colour.size());
  // A mask cut short leaves the rest of the pixels opaque.
  std::vector<uint8_t> andRows;
  if (b <= 8) {
    andRows.assign(size_t(maskLength) * size_t(H), 0);
    stream.Read(andRows.data(), int64_t(andRows.size()));
  }

  TRGB lut[256] = {};
  for (int i = 0; i < params.ColorMapCount && i < 256; ++i) lut[i] = params.ColorMap[size_t(i)];
  const TRGB background = cursor ? params.CursorBackground : params.IconBackground;
  const bool whiteBackground = background == TRGB{255, 255, 255};

  for (int r = 0; r < H; ++r) {
    const int y = H - 1 - r;
    const uint8_t* s = colour.data() + size_t(r) * size_t(rowLength);
    const uint8_t* m = b <= 8 ? andRows.data() + size_t(r) * size_t(maskLength) : nullptr;
    uint8_t* d = bitmap->Scanline(y);
    uint8_t* a = mask->Scanline(y);
    auto transparent = [&](int x) { return (m[x >> 3] >> (7 - (x & 7))) & 1; };
    switch (b) {
      case 1:
        std::memcpy(d, s, size_t(std::min(rowLength, bitmap->RowLength())));
        for (int x = 0; x < W; ++x) {
          if (!transparent(x)) continue;
          a[x] = 0;
          if (whiteBackground) d[x >> 3] ^= uint8_t(0x80 >> (x & 7));
        }
        break;
      case 4:
      case 8:
        for (int x = 0; x < W; ++x, d += 3) {
          TRGB c;
          if (transparent(x)) {
            a[x] = 0;
            c = background;
          } else {
            const uint8_t v = b == 8 ? s[x] : ((x & 1) ? (s[x >> 1] & 15) : (s[x >> 1] >> 4));
            c = lut[v];
          }
          d[0] = c.b; d[1] = c.g; d[2] = c.r;
        }
        break;
      case 24:
        std::memcpy(d, s, size_t(W) * 3);
        break;
      case 32:
        for (int x = 0; x < W; ++x, d += 3, s += 4) {
          d[0] = s[0]; d[1] = s[1]; d[2] = s[2];
          a[x] = s[3];
        }
        break;
    }
  }
  if (!complete) progress.Abort();
}

// Reads the directory and picks entry index; false (AbortFlag set) when there is none.
bool PickEntry(TStream& stream, int32_t index, uint16_t& type, std::vector<TIconEntry>& entries,
               TIOProgress& progress) {
  if (!ReadDirectory(stream, type, entries) || index < 0 || index >= int32_t(entries.size())) {
    progress.Abort();
    return false;
  }
  return true;
}

}  // namespace

int ICOBitCountForColors(int colors) {
  if (colors <= 0) return 0;
  int high = 31;
  while (!((uint32_t(colors) >> high) & 1)) --high;
  return (colors & (colors - 1)) == 0 ? high : high + 1;
}

void ICOReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, std::unique_ptr<TLXMask>& mask) {
  const int64_t start = stream.Position();
  uint8_t magic[2] = {};
  if (stream.Read(magic, 2) == 2 && magic[0] == 'B' && magic[1] == 'M') {
    stream.SetPosition(start);
    BMPReadStream(stream, bitmap, params, progress, paramsOnly, stream.Size() - start);
    return;
  }
  stream.SetPosition(start);
  uint16_t type = 0;
  std::vector<TIconEntry> entries;
  if (!PickEntry(stream, params.IconImageIndex, type, entries, progress)) return;

  params.IconSizes.fill(TIconSize{});
  for (size_t i = 0; i < entries.size() && i < size_t(kIconEntries); ++i) {
    const TIconEntry& e = entries[i];
    params.IconSizes[i] = TIconSize{e.Width, e.Height};
    params.IconBitCounts[i] = e.BitCount != 0     ? e.BitCount
                              : e.ColorCount != 0 ? ICOBitCountForColors(e.ColorCount)
                                                  : 24;
  }
  ReadImage(stream, start, entries[size_t(params.IconImageIndex)], false, bitmap, params, paramsOnly,
            progress, mask);
}

void CURReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, std::unique_ptr<TLXMask>& mask) {
  const int64_t start = stream.Position();
  uint16_t type = 0;
  std::vector<TIconEntry> entries;
  if (!PickEntry(stream, params.CursorImageIndex, type, entries, progress)) return;
  ReadImage(stream, start, entries[size_t(params.CursorImageIndex)], true, bitmap, params,
            paramsOnly, progress, mask);
}

bool IsICOStream(TStream& stream) { return IsDirStream(stream, 1); }
bool IsCURStream(TStream& stream) { return IsDirStream(stream, 2); }

int ICOImageCount(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t dir[6];
  const int count = stream.Read(dir, 6) == 6 ? Get16(dir + 4) : 0;
  stream.SetPosition(start);
  return count;
}

// ---------------------------------------------------------------------------

const TIOFormat& ICOFormat() {
  static const TIOFormat row{
      .FileType = ioICO,
      .DisplayName = "Windows Icon",
      .RegistryExtensions = "ICO",
      .Readable = true,
      .Writable = true,
      .Extensions = "ico",
      .Routes = iorLoad | iorSave,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        ICOReadStream(s, b, p, pr, c.ParamsOnly, c.Mask);
      },
      .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall& c) {
        ICOWriteStream(s, b, p, pr, c.IconSizes, c.IconBitCounts, c.IconCount);
      },
      .Content = {100, -1, IsICOStream},
      .SameLayoutAs = ioCUR,
      .AlphaFromMask = true,
      .ViewDpiFile = true,
      .RGBOrMono = true,
      .IconList = true,
  };
  return row;
}

const TIOFormat& CURFormat() {
  static const TIOFormat row{
      .FileType = ioCUR,
      .DisplayName = "Windows Cursor",
      .RegistryExtensions = "CUR",
      .Readable = true,
      .Extensions = "cur",
      .Routes = iorLoad,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        CURReadStream(s, b, p, pr, c.ParamsOnly, c.Mask);
      },
      .Content = {110, -1, IsCURStream},
      .SameLayoutAs = ioICO,
      .AlphaFromMask = true,
      .ViewDpiFile = true,
  };
  return row;
}
