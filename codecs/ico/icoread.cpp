// The icon and cursor reader: the directory, then one image, which is a DIB
// decoded through the shared rows (codecs/common/dib.h) or a PNG handed to the
// PNG codec; a file that is really a bitmap file goes to the BMP reader.
#include "codecs/ico/ico.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/common/bytes.h"
#include "codecs/common/dib.h"
#include "codecs/common/imageguard.h"
#include "codecs/common/resolution.h"
#include "codecs/png.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"

namespace {


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
  r.Planes = GetLE16(e + 4);
  r.BitCount = GetLE16(e + 6);
  r.BytesInRes = GetLE32(e + 8);
  r.ImageOffset = GetLE32(e + 12);
  return r;
}

// Reads the directory at the stream's position; false when it is cut short.
bool ReadDirectory(TStream& stream, uint16_t& type, std::vector<TIconEntry>& entries) {
  uint8_t dir[6];
  if (stream.Read(dir, 6) != 6) return false;
  type = GetLE16(dir + 2);
  const int count = GetLE16(dir + 4);
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
    if (stream.Read(dir, 6) == 6 && GetLE16(dir) == 0 && GetLE16(dir + 2) == wantedType &&
        GetLE16(dir + 4) != 0) {
      ok = true;
      const int count = GetLE16(dir + 4);
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

constexpr uint8_t kPNGSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// PNG entries beyond this size are refused before the PNG codec allocates them.
constexpr uint32_t kMaxPNGEntrySide = 1024;

bool KnownInfoHeader(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// The bit count of a DIB image; 0 when entry, header and colour count all say nothing.
int ImageBitCount(const TIconEntry& e, int biBitCount, bool cursor) {
  if (cursor) return biBitCount != 0 ? biBitCount : ICOBitCountForColors(e.ColorCount);
  int b = e.BitCount;
  if (biBitCount != 0) b = biBitCount;
  if (b == 0) b = ICOBitCountForColors(e.ColorCount);
  return b;
}

// The colour table (2^b entries; fewer for an icon's biClrUsed, the entry's
// count for a cursor) into the record; the stream is left at the colour rows.
void ReadColourTable(TStream& stream, int64_t at, const TDibHeader& h, const TIconEntry& e, bool cursor,
                     TIOParamsVals& params) {
  params.FreeColorMap();
  stream.SetPosition(at + h.Size);
  if (h.BitCount > 8) return;
  int count = 1 << h.BitCount;
  if (cursor) {
    if (e.ColorCount == 255) count = 256;
    else if (e.ColorCount != 0) count = std::min<int>(e.ColorCount, 1 << h.BitCount);
  } else if (h.ClrUsed > 0 && h.ClrUsed < uint32_t(count)) {
    count = int(h.ClrUsed);
  }
  std::vector<uint8_t> table(size_t(count) * 4, 0);
  stream.Read(table.data(), int64_t(table.size()));
  params.SetColorMapCount(count);
  for (int i = 0; i < count; ++i)
    params.ColorMap[size_t(i)] = TRGB{table[4 * i], table[4 * i + 1], table[4 * i + 2]};
}

// The colour and mask rows of a DIB image of W x H at b bits into the bitmap
// and the mask. Returns false when the colour rows are cut short.
bool DecodeImage(TStream& stream, const TDibHeader& h, bool cursor, TIOParamsVals& params,
                 TLXBitmap* bitmap, TLXMask* mask) {
  const int W = int(h.Width), H = int(h.Height), b = h.BitCount;
  // 1-bit images with a colour table that is not black and white load in
  // colour, as 4- and 8-bit ones do; icons never keep indexes.
  const TDibRows rows(h, params.ColorMap.data(), std::min(params.ColorMapCount, 256), false);
  // Sides of at most 256 pass; the rule still holds for the blocks together.
  if (!ImageClaimFits(TImageClaim{.Width = W, .Height = H, .BitmapBits = BitCountOf(rows.Format()), .Mask = true}))
    return false;
  bitmap->Allocate(W, H, rows.Format());
  if (bitmap->Width() != W || bitmap->Height() != H) return false;
  mask->Allocate(W, H, 8);
  mask->Fill(255);
  mask->Full = false;

  const int64_t rowLength = rows.StoredRowLength();
  const int maskLength = ComputeRowLength(W, 1);
  std::vector<uint8_t> colour(size_t(rowLength) * size_t(H), 0);
  const bool complete = stream.Read(colour.data(), int64_t(colour.size())) == int64_t(colour.size());
  // A mask cut short leaves the rest of the pixels opaque.
  std::vector<uint8_t> andRows;
  if (b <= 8) {
    andRows.assign(size_t(maskLength) * size_t(H), 0);
    stream.Read(andRows.data(), int64_t(andRows.size()));
  }
  const TRGB background = cursor ? params.CursorBackground : params.IconBackground;
  const bool whiteBackground = background == TRGB{255, 255, 255};
  for (int r = 0; r < H; ++r) {
    const int y = H - 1 - r;
    const uint8_t* s = colour.data() + size_t(r) * size_t(rowLength);
    uint8_t* d = bitmap->Scanline(y);
    uint8_t* a = mask->Scanline(y);
    rows.Unpack(s, d);
    if (b == 32) {
      for (int x = 0; x < W; ++x) a[x] = s[4 * x + 3];
      continue;
    }
    if (b > 8) continue;  // 24 bits: opaque whatever the AND rows say
    const uint8_t* m = andRows.data() + size_t(r) * size_t(maskLength);
    for (int x = 0; x < W; ++x) {
      if (!DibBit(m, x)) continue;
      a[x] = 0;
      if (rows.Format() == lx24RGB) {
        d[3 * x] = background.b;
        d[3 * x + 1] = background.g;
        d[3 * x + 2] = background.r;
      } else if (whiteBackground) {
        // Black (the screen) shows the white background; white (the
        // inverted screen) shows it inverted.
        d[x >> 3] ^= uint8_t(0x80 >> (x & 7));
      }
    }
  }
  return complete;
}

// A PNG entry: refused beyond kMaxPNGEntrySide before the PNG codec allocates.
void ReadPNGImage(TStream& stream, int64_t at, const uint8_t* head, TLXBitmap* bitmap, TIOParamsVals& params,
                  bool paramsOnly, TIOProgress& progress, std::unique_ptr<TLXMask>& mask) {
  const uint32_t pw = GetBE32(head + 16), ph = GetBE32(head + 20);
  if (pw == 0 || ph == 0 || pw > kMaxPNGEntrySide || ph > kMaxPNGEntrySide) {
    progress.Abort();
    return;
  }
  stream.SetPosition(at);
  PNGReadStream(stream, bitmap, params, progress, paramsOnly, false, mask);
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
  if (cursor) {
    params.CursorHotSpotX = e.Planes;
    params.CursorHotSpotY = e.BitCount;
  }
  if (got >= 24 && std::memcmp(head, kPNGSignature, 8) == 0) {
    ReadPNGImage(stream, at, head, bitmap, params, paramsOnly, progress, mask);
    return;
  }
  TDibHeader h;
  DibParseInfoHeader(head, int(got), h);
  if (got != 40 || !KnownInfoHeader(h.Size) || h.Compression != 0) {
    progress.Abort();
    return;
  }
  params.SetDpiX(DpiFromPixelsPerMetre(h.XPelsPerMeter, 300));
  params.SetDpiY(DpiFromPixelsPerMetre(h.YPelsPerMeter, 300));
  const int b = ImageBitCount(e, h.BitCount, cursor);
  if (b == 0) {
    progress.Abort();
    return;
  }
  params.BitsPerSample = b <= 8 || cursor ? b : 8;
  params.SamplesPerPixel = b <= 8 || cursor ? 1 : b == 32 ? 4 : 3;

  // The rows are laid out by the header, so a sane header decides the size.
  const int64_t biHeight = h.TopDown ? -h.Height : h.Height;
  int W = e.Width != 0 ? e.Width : int(h.Width);
  int H = e.Height != 0 ? e.Height : int(biHeight / 2);
  const int64_t hw = h.Width, hh = biHeight / 2;
  if (hw >= 1 && hw <= 256 && hh >= 1 && hh <= 256 && (W != hw || H != hh)) {
    W = int(hw);
    H = int(hh);
  }
  if (W < 1 || W > 256 || H < 1 || H > 256) {
    progress.Abort();
    return;
  }
  h.Width = W;
  h.Height = H;
  h.BitCount = b;
  ReadColourTable(stream, at, h, e, cursor, params);
  params.Width = W;
  params.Height = H;
  if (paramsOnly) return;
  if (b != 1 && b != 4 && b != 8 && b != 24 && b != 32) {
    progress.Abort();
    return;
  }
  if (!mask) mask = std::make_unique<TLXMask>();
  if (!DecodeImage(stream, h, cursor, params, bitmap, mask.get())) progress.Abort();
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
  const int count = stream.Read(dir, 6) == 6 ? GetLE16(dir + 4) : 0;
  stream.SetPosition(start);
  return count;
}

