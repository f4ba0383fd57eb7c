#pragma once
// Device-independent bitmaps as BMP files and icon and cursor images store them:
// the info header, the colour table, and the unpacking of stored rows into
// bitmap rows. The BMP reader and the icon reader both decode through here.
//
//   TDibHeader h;
//   DibParseInfoHeader(bytes, n, h);                 // or DibParseCoreHeader
//   const TDibRows rows(h, table, count, params.NativePixelFormat);
//   bitmap->Allocate(w, h, rows.Format());
//   rows.Unpack(storedRow, bitmap->Scanline(y));
#include <cstdint>

#include "image/types.h"

// BITMAPINFOHEADER (40 bytes) and its longer versions, or the OS/2 core header.
struct TDibHeader {
  uint32_t Size = 0;  // 12 core, 40 info, 52/56/64/108/124 and the OS/2 2.x sizes
  int64_t Width = 0;
  int64_t Height = 0;  // the magnitude; TopDown says the order
  bool TopDown = false;
  int Planes = 1;
  int BitCount = 0;
  uint32_t Compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha
  int32_t XPelsPerMeter = 0;
  int32_t YPelsPerMeter = 0;
  uint32_t ClrUsed = 0;
  // Red, green and blue masks of 16- and 32-bit rows; the 5-5-5 layout unless
  // BitFields (then from the header, or set by the caller from the bytes after it).
  uint32_t Masks[3] = {0x7C00, 0x03E0, 0x001F};
  bool BitFields = false;
};

// The 12-byte core header.
void DibParseCoreHeader(const uint8_t* bytes, TDibHeader& header);
// The first min(size, 64) bytes of an info header (count bytes at hand, the rest
// read as 0); masks inside the header (52 bytes and more) are taken too.
void DibParseInfoHeader(const uint8_t* bytes, int count, TDibHeader& header);

// What a 1-bit image's table says: entries 0 and 1 exactly black and white give
// mtBlackWhite (entry 0 black) or mtWhiteBlack (entry 0 white); other colours,
// or a table of one entry, mtColour. No table at all counts as black and white.
enum class TMonoTable : uint8_t { mtBlackWhite, mtWhiteBlack, mtColour };
TMonoTable MonoTableOf(const TRGB* table, int count);

// How stored rows of one image become bitmap rows. Indexed rows (1, 4, 8 bits)
// load as lx8p with nativePixelFormat (indexes kept, the table as palette) and
// as lx24RGB otherwise (each index replaced by its colour; indexes past the
// table read black). A 1-bit image whose table is black and white loads as lx1g
// instead, bit 1 white (the bits inverted for a white, black table). 16-, 24-
// and 32-bit rows load as lx24RGB (16 and 32 bits through the masks when
// BitFields; a 32-bit row otherwise drops its fourth byte).
class TDibRows {
public:
  TDibRows(const TDibHeader& header, const TRGB* table, int tableCount, bool nativePixelFormat);

  TLXPixelFormat Format() const { return format_; }
  // False for a bit count that has no unpacking (2, 64, ...).
  bool Decodable() const { return format_ != lxNone; }
  // Bytes of one stored row: ((width * bits + 31) div 32) * 4.
  int64_t StoredRowLength() const { return storedLength_; }
  // The colour of each index (256 entries, black past the table).
  const TRGB* Colors() const { return lut_; }
  // Stored row -> bitmap row of Format() (width pixels).
  void Unpack(const uint8_t* stored, uint8_t* row) const;

private:
  struct TChannel {
    uint32_t mask = 0;
    int shift = 0;
    int width = 0;
    explicit TChannel(uint32_t m = 0);
    uint8_t Take(uint32_t pixel) const;
  };

  int bits_;
  int64_t width_;
  int64_t storedLength_;
  TLXPixelFormat format_ = lxNone;
  bool invert_ = false;
  bool bitFields_;
  TRGB lut_[256] = {};
  TChannel red_, green_, blue_;
};

// Bit x of a 1-bit row (most significant bit leftmost).
inline bool DibBit(const uint8_t* row, int64_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
