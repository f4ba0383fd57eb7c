// The BMP reader: file header, info or core header, colour table, then the
// rows through the shared DIB unpacking (codecs/common/dib.h) or the run-length
// decoder (codecs/bmp/bmprle.h).
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/bmp/bmprle.h"
#include "codecs/common/bytereader.h"
#include "codecs/common/dib.h"
#include "codecs/common/imageguard.h"
#include "codecs/common/resolution.h"
#include "image/bitmap.h"
#include "io/params.h"
#include "io/progress.h"

namespace {

// Header sizes of the Windows versions (12, 40, 52, 56, 108, 124) and of the
// OS/2 2.x header, which may be cut anywhere between 16 and 64 bytes.
bool KnownHeaderSize(uint32_t size) {
  return size == 12 || (size >= 16 && size <= 64) || size == 108 || size == 124;
}

bool IsWindowsHeader(uint32_t size) {
  return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

constexpr int32_t kDefaultDpi = 300;

// What the headers say, read up to the colour table.
struct THeaders {
  int64_t start = 0;
  uint32_t bfOffBits = 0;
  TDibHeader dib;
  int64_t colours = 0;  // colour-table entries
  int entrySize = 4;    // RGBQUAD, or RGBTRIPLE after a core header
};

// Reads the info or core header and its masks; false when its size is unknown.
bool ReadDibHeader(TByteReader& r, TIOParamsVals& params, THeaders& h) {
  const uint32_t size = r.U32LE();
  r.Seek(r.Position() - 4);
  if (!KnownHeaderSize(size)) return false;
  TDibHeader& d = h.dib;
  if (size == 12) {
    uint8_t b[12];
    r.Read(b, 12);
    DibParseCoreHeader(b, d);
    params.BMPVersion = 2;
    params.SetDpiX(kDefaultDpi);
    params.SetDpiY(kDefaultDpi);
    if (d.BitCount <= 8) h.colours = int64_t(1) << d.BitCount;
    h.entrySize = 3;
    return true;
  }
  uint8_t b[64] = {};
  const uint32_t take = std::min<uint32_t>(64, size);
  r.Read(b, take);
  r.Skip(size - take);
  DibParseInfoHeader(b, int(take), d);
  params.BMPVersion = size == 64 ? 3 : size == 40 ? 1 : 0;
  params.SetDpiX(DpiFromPixelsPerMetre(d.XPelsPerMeter, kDefaultDpi));
  params.SetDpiY(DpiFromPixelsPerMetre(d.YPelsPerMeter, kDefaultDpi));
  const uint32_t used = d.ClrUsed > 256 ? 0 : d.ClrUsed;
  h.colours = used == 0 && d.BitCount <= 8 ? int64_t(1) << d.BitCount : used;
  // Masks: inside the header from version 2 on, else in the 12 (16 with alpha
  // bit fields) bytes behind a 40-byte header. OS/2 2.x uses compression 3 for
  // Huffman coding, which is not read here.
  if ((d.Compression == 3 || d.Compression == 6) && IsWindowsHeader(size)) {
    d.BitFields = true;
    if (size >= 52) {
      for (int i = 0; i < 3; ++i) d.Masks[i] = GetLE32(b + 40 + 4 * i);
    } else {
      for (int i = 0; i < 3; ++i) d.Masks[i] = r.U32LE();
      if (d.Compression == 6) r.Skip(4);
    }
  }
  return true;
}

// The colour table, which never reaches into the pixel data, into the record.
void ReadColourTable(TByteReader& r, TIOParamsVals& params, THeaders& h) {
  const int64_t tableStart = r.Position();
  const int64_t pixels = h.start + int64_t(h.bfOffBits);
  if (h.bfOffBits != 0 && tableStart + h.colours * h.entrySize > pixels)
    h.colours = std::max<int64_t>(0, (pixels - tableStart) / h.entrySize);
  if (h.colours <= 0) return;
  std::vector<uint8_t> table(size_t(h.colours * h.entrySize), 0);
  r.Read(table.data(), int64_t(table.size()));
  params.SetColorMapCount(int32_t(h.colours));
  for (int64_t i = 0; i < h.colours; ++i) {
    const uint8_t* e = table.data() + i * h.entrySize;
    params.ColorMap[size_t(i)] = TRGB{e[0], e[1], e[2]};
  }
}

// Only what can be decoded counts as read: a bit count or compression outside
// the table, run-length rows stored top-down, or planes other than 1 fail.
bool Decodable(const TDibHeader& d) {
  const bool rle8 = d.Compression == 1, rle4 = d.Compression == 2;
  bool ok = d.Planes == 1;
  switch (d.BitCount) {
    case 1: case 24: ok &= d.Compression == 0; break;
    case 4: ok &= d.Compression == 0 || rle4; break;
    case 8: ok &= d.Compression == 0 || rle8; break;
    case 16: case 32: ok &= d.Compression == 0 || d.BitFields; break;
    default: ok = false;
  }
  return ok && !((rle4 || rle8) && d.TopDown);
}

void SetSampleLayout(int bitCount, TIOParamsVals& params) {
  switch (bitCount) {
    case 1: params.BitsPerSample = 1; params.SamplesPerPixel = 1; break;
    case 4: params.BitsPerSample = 4; params.SamplesPerPixel = 1; break;
    case 8: params.BitsPerSample = 8; params.SamplesPerPixel = 1; break;
    case 16: params.BitsPerSample = 5; params.SamplesPerPixel = 3; break;
    case 24:
    case 32: params.BitsPerSample = 8; params.SamplesPerPixel = 3; break;
    default: break;
  }
}

// The pixels: `available` bytes of data from the reader's position.
void ReadPixels(TByteReader& r, const TDibHeader& d, const TDibRows& rows, int64_t available,
                TLXBitmap* bitmap, TIOProgress& progress) {
  const int h = int(d.Height);
  if (bitmap->PixelFormat() == lx8p)
    for (int i = 0; i < 256; ++i) bitmap->SetPaletteEntry(i, PackRGB(rows.Colors()[i]));
  progress.step = 100.0 / h;
  if (d.Compression == 1 || d.Compression == 2) {
    std::vector<uint8_t> data(static_cast<size_t>(available));
    data.resize(size_t(r.Read(data.data(), available)));
    BMPDecodeRLE(data, d.Compression == 2, bitmap, rows.Colors(), progress);
    return;
  }
  std::vector<uint8_t> row(size_t(rows.StoredRowLength()), 0);
  for (int i = 0; i < h; ++i) {
    progress.Report(i);
    if (progress.Aborted()) break;
    r.Read(row.data(), int64_t(row.size()));
    rows.Unpack(row.data(), bitmap->Scanline(d.TopDown ? i : h - 1 - i));
  }
}

}  // namespace

void BMPReadStream(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params, TIOProgress& progress,
                   bool paramsOnly, int64_t dataSize) {
  TByteReader r(stream);
  THeaders h;
  h.start = r.Position();
  const int64_t streamSize = r.StreamSize();
  uint8_t fh[14];
  if (r.Read(fh, 14) != 14 || fh[0] != 'B' || fh[1] != 'M' || r.Remaining() < 4) {
    progress.Abort();
    return;
  }
  const uint32_t bfSize = GetLE32(fh + 2);
  h.bfOffBits = GetLE32(fh + 10);
  if (dataSize <= 0 && bfSize != 0) dataSize = bfSize;
  params.FreeColorMap();
  if (!ReadDibHeader(r, params, h)) {
    progress.Abort();
    return;
  }
  ReadColourTable(r, params, h);
  const TDibHeader& d = h.dib;
  params.BMPCompression = (d.Compression == 1 || d.Compression == 2) ? 1 : 0;

  if (h.bfOffBits != 0) {
    if (h.start + int64_t(h.bfOffBits) > streamSize) {
      progress.Abort();
      return;
    }
    r.Seek(h.start + int64_t(h.bfOffBits));
  }
  const int64_t dataPos = r.Position();
  int64_t available = streamSize - dataPos;
  if (dataSize > 0) available = std::min(available, dataSize - (dataPos - h.start));
  available = std::max<int64_t>(0, available);

  if (d.Width < 0 || d.Height > INT32_MAX) {
    progress.Abort();
    return;
  }
  params.Width = int32_t(d.Width);
  params.Height = int32_t(d.Height);
  if (d.Width == 0 || d.Height == 0) return;
  SetSampleLayout(d.BitCount, params);
  if (!Decodable(d) || !CheckedImageBytes(d.Width, d.Height, d.BitCount)) {
    progress.Abort();
    return;
  }
  if (paramsOnly) return;

  const TDibRows rows(d, params.ColorMap.data(), params.ColorMapCount, params.NativePixelFormat);
  const bool compressed = d.Compression == 1 || d.Compression == 2;
  // Stored rows must all be there (the last without its padding); run-length
  // codes must be able to reach the claimed size.
  const int64_t stored = rows.StoredRowLength() * (d.Height - 1) + (d.Width * d.BitCount + 7) / 8;
  const TImageClaim claim{.Width = d.Width,
                          .Height = d.Height,
                          .BitmapBits = BitCountOf(rows.Format()),
                          .Units = compressed ? ClaimProduct(d.Width, d.Height) : stored,
                          .CodedBytes = available,
                          .UnitsPerByte = compressed ? kBMPRLEUnitsPerByte : kRawUnitsPerByte,
                          .SlackBytes = compressed ? 64 : 0};
  if (!ImageClaimFits(claim)) {
    progress.Abort();
    return;
  }
  bitmap->Allocate(int(d.Width), int(d.Height), rows.Format());
  if (bitmap->Width() != d.Width || bitmap->Height() != d.Height) {
    progress.Abort();
    return;
  }
  ReadPixels(r, d, rows, available, bitmap, progress);
}
