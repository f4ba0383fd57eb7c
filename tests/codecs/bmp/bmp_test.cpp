#include "codecs/bmp/bmp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>

#include "image/bitmap.h"
#include "io/controller.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/codecs/imagefiles.h"
#include "tests/support/corpus.h"

namespace {


// A bitmap file put together byte by byte: header, optional masks, table, data.
struct TBmpFile {
  uint32_t headerSize = 40;
  int32_t width = 1, height = 1;
  uint16_t bitCount = 24, planes = 1;
  uint32_t compression = 0;
  uint32_t clrUsed = 0;
  int32_t ppmX = 2835, ppmY = 2835;
  std::vector<TRGB> palette;
  std::vector<uint32_t> masks;  // behind a 40-byte header, or inside a longer one
  std::vector<uint8_t> data;

  std::vector<uint8_t> Bytes() const {
    const bool core = headerSize == 12;
    const size_t entry = core ? 3 : 4;
    const bool masksInside = headerSize >= 52 && !masks.empty();
    const size_t maskBytes = masksInside ? 0 : masks.size() * 4;
    const size_t off = 14 + headerSize + maskBytes + palette.size() * entry;
    std::vector<uint8_t> v(off + data.size(), 0);
    v[0] = 'B'; v[1] = 'M';
    Put32(v, 2, uint32_t(v.size()));
    Put32(v, 10, uint32_t(off));
    Put32(v, 14, headerSize);
    if (core) {
      Put16(v, 18, uint32_t(width)); Put16(v, 20, uint32_t(height));
      Put16(v, 22, planes); Put16(v, 24, bitCount);
    } else {
      Put32(v, 18, uint32_t(width)); Put32(v, 22, uint32_t(height));
      Put16(v, 26, planes); Put16(v, 28, bitCount);
      Put32(v, 30, compression); Put32(v, 34, uint32_t(data.size()));
      Put32(v, 38, uint32_t(ppmX)); Put32(v, 42, uint32_t(ppmY));
      Put32(v, 46, clrUsed);
      for (size_t i = 0; i < masks.size(); ++i)
        Put32(v, masksInside ? 54 + 4 * i : 14 + headerSize + 4 * i, masks[i]);
    }
    size_t p = 14 + headerSize + maskBytes;
    for (const TRGB& c : palette) {
      v[p] = c.b; v[p + 1] = c.g; v[p + 2] = c.r;
      p += entry;
    }
    std::memcpy(v.data() + off, data.data(), data.size());
    return v;
  }
};

struct TCodec {
  TIOParamsVals params{nullptr};
  std::atomic<bool> abortFlag{false};
  TIOProgress progress;
  TCodec() { progress.abort = &abortFlag; }

  bool Read(const std::vector<uint8_t>& file, TLXBitmap& b, bool paramsOnly = false) {
    abortFlag = false;
    TMemoryStream s(file);
    BMPReadStream(s, &b, params, progress, paramsOnly, int64_t(file.size()));
    return !abortFlag;
  }
  std::vector<uint8_t> Write(TLXBitmap& b) {
    abortFlag = false;
    TMemoryStream s;
    BMPWriteStream(s, &b, params, progress);
    return s.Data();
  }
};

TRGB Px(TLXBitmap& b, int x, int y) { return b.GetPixelRGB(x, y); }

void Fill24(TLXBitmap& b, int w, int h, TRGB (*f)(int, int)) {
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Scanline(y);
    for (int x = 0; x < w; ++x) {
      TRGB c = f(x, y);
      r[3 * x] = c.b; r[3 * x + 1] = c.g; r[3 * x + 2] = c.r;
    }
  }
}

}  // namespace

// ---------------------------------------------------------------- reading

TEST(BMPRead, RejectsAnythingButBM) {
  TCodec c;
  TLXBitmap b;
  EXPECT_FALSE(c.Read({'P', 'K', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}, b));
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BMPRead, TopDown8BitKeepsFirstRowOnTop) {
  TBmpFile f;
  f.bitCount = 8; f.width = 2; f.height = -2;
  f.palette = {TRGB{0, 0, 255}, TRGB{0, 255, 0}};
  f.data = {0, 0, 0, 0, 1, 1, 0, 0};
  TCodec c;
  TLXBitmap b;
  ASSERT_TRUE(c.Read(f.Bytes(), b));
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(Px(b, 0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(Px(b, 1, 1), (TRGB{0, 255, 0}));
  c.params.NativePixelFormat = true;
  ASSERT_TRUE(c.Read(f.Bytes(), b));
  EXPECT_EQ(b.PixelFormat(), lx8p);
  EXPECT_EQ(b.Scanline(1)[0], 1);
}

// A black and white table (either order) gives lx1g with bit 1 white; any other
// two colours load as the 4- and 8-bit files do: their colours, or their indexes
// and palette with NativePixelFormat.
TEST(BMPRead, OneBitTableDecidesFormatAndInversion) {
  const TRGB black{0, 0, 0}, white{255, 255, 255}, red{0, 0, 255}, blue{255, 0, 0};
  struct Case { TRGB e0, e1; bool native; TLXPixelFormat format; };
  for (const Case& k : {Case{white, black, false, lx1g}, Case{black, white, false, lx1g},
                        Case{white, black, true, lx1g}, Case{red, blue, false, lx24RGB},
                        Case{red, blue, true, lx8p}, Case{black, red, false, lx24RGB}}) {
    TBmpFile f;
    f.bitCount = 1; f.width = 8; f.height = 1;
    f.palette = {k.e0, k.e1};
    f.data = {0xA5, 0, 0, 0};
    TCodec c;
    c.params.NativePixelFormat = k.native;
    TLXBitmap b;
    ASSERT_TRUE(c.Read(f.Bytes(), b));
    ASSERT_EQ(b.PixelFormat(), k.format);
    const bool inverted = k.e0 == white;
    if (k.format == lx1g) {
      EXPECT_EQ(b.Scanline(0)[0], inverted ? 0x5A : 0xA5);
    }
    if (k.format == lx8p) {
      EXPECT_EQ(b.Scanline(0)[0], 1);
      EXPECT_EQ(b.Scanline(0)[1], 0);
      EXPECT_EQ(b.GetPaletteEntry(1), k.e1);
    }
    for (int x = 0; x < 8; ++x) EXPECT_EQ(Px(b, x, 0), (0xA5 >> (7 - x)) & 1 ? k.e1 : k.e0) << x;
  }
}

TEST(BMPRead, SixteenBitMasks) {
  // Default 5-5-5, bit fields 5-6-5 behind a 40-byte header, and masks inside
  // a 56-byte header.
  TBmpFile f555;
  f555.bitCount = 16; f555.width = 2;
  f555.data = {0xFF, 0x7F, 0x1F, 0x00};
  TCodec c;
  TLXBitmap b;
  ASSERT_TRUE(c.Read(f555.Bytes(), b));
  EXPECT_EQ(Px(b, 0, 0), (TRGB{248, 248, 248}));
  EXPECT_EQ(Px(b, 1, 0), (TRGB{248, 0, 0}));
  EXPECT_EQ(c.params.BitsPerSample, 5);
  EXPECT_EQ(c.params.SamplesPerPixel, 3);

  for (uint32_t hs : {40u, 56u, 124u}) {
    TBmpFile f565 = f555;
    f565.headerSize = hs;
    f565.compression = 3;
    f565.masks = {0xF800, 0x07E0, 0x001F};
    f565.data = {0xE0, 0x07, 0x00, 0xF8};  // pure green, pure red
    ASSERT_TRUE(c.Read(f565.Bytes(), b)) << hs;
    EXPECT_EQ(Px(b, 0, 0), (TRGB{0, 252, 0})) << hs;
    EXPECT_EQ(Px(b, 1, 0), (TRGB{0, 0, 248})) << hs;
  }
}

TEST(BMPRead, ZeroAndWideMasksAreDefined) {
  TBmpFile f;
  f.bitCount = 32; f.width = 1; f.compression = 3;
  f.masks = {0x3FF00000, 0x000FFC00, 0};  // 10-bit red and green, no blue
  f.data = {0xFF, 0xFF, 0xFF, 0xFF};
  TCodec c;
  TLXBitmap b;
  ASSERT_TRUE(c.Read(f.Bytes(), b));
  EXPECT_EQ(Px(b, 0, 0), (TRGB{0, 255, 255}));
}

TEST(BMPRead, ThirtyTwoBitDropsFourthByte) {
  TBmpFile f;
  f.bitCount = 32; f.width = 1;
  f.data = {10, 20, 30, 40};
  TCodec c;
  TLXBitmap b;
  ASSERT_TRUE(c.Read(f.Bytes(), b));
  EXPECT_EQ(Px(b, 0, 0), (TRGB{10, 20, 30}));
  EXPECT_FALSE(b.HasAlphaChannel());
}

TEST(BMPRead, ColourCountAndResolution) {
  TBmpFile f;
  f.bitCount = 8; f.clrUsed = 300;  // treated as 0: 256 entries
  f.palette.resize(256);
  f.ppmX = 3780; f.ppmY = 0;
  f.data = {0, 0, 0, 0};
  TCodec c;
  TLXBitmap b;
  ASSERT_TRUE(c.Read(f.Bytes(), b));
  EXPECT_EQ(c.params.ColorMapCount, 256);
  EXPECT_EQ(c.params.DpiX(), 96);
  EXPECT_EQ(c.params.DpiY(), 300);
  EXPECT_EQ(c.params.BMPVersion, 1);

  TBmpFile os2;
  os2.headerSize = 12; os2.bitCount = 24;
  os2.data = {1, 2, 3, 0};
  ASSERT_TRUE(c.Read(os2.Bytes(), b));
  EXPECT_EQ(c.params.BMPVersion, 2);
  EXPECT_EQ(c.params.DpiX(), 300);
  EXPECT_EQ(c.params.DpiY(), 300);
  EXPECT_EQ(Px(b, 0, 0), (TRGB{1, 2, 3}));
}

TEST(BMPRead, ParamsOnlyOfRLE4LeavesBitmapAlone) {
  TBmpFile f;
  f.bitCount = 4; f.compression = 2; f.width = 4; f.height = 1;
  f.palette = {TRGB{1, 1, 1}, TRGB{2, 2, 2}};
  f.clrUsed = 2;
  f.data = {4, 0x01, 0, 0, 0, 1};
  TCodec c;
  TLXBitmap b;
  b.Allocate(3, 3, lx8g);
  ASSERT_TRUE(c.Read(f.Bytes(), b, true));
  EXPECT_EQ(c.params.BitsPerSample, 4);
  EXPECT_EQ(c.params.SamplesPerPixel, 1);
  EXPECT_EQ(c.params.BMPCompression, 1);
  EXPECT_EQ(c.params.ColorMapCount, 2);
  EXPECT_EQ(c.params.ColorMap[1], (TRGB{2, 2, 2}));
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.PixelFormat(), lx8g);
}

TEST(BMPRead, RunLengthCodesStayInsideImageAndData) {
  // Runs past the right edge, a delta out of the image, an absolute run cut off
  // by the end of the data: all clipped, nothing written outside the rows.
  TBmpFile f;
  f.bitCount = 8; f.compression = 1; f.width = 3; f.height = 2;
  f.palette = {TRGB{0, 0, 0}, TRGB{9, 9, 9}, TRGB{7, 7, 7}};
  f.clrUsed = 3;
  f.data = {200, 1, 0, 0, 0, 2, 250, 0, 2, 2};
  TCodec c;
  TLXBitmap b;
  c.Read(f.Bytes(), b);
  ASSERT_EQ(b.Width(), 3);
  EXPECT_EQ(Px(b, 2, 1), (TRGB{9, 9, 9}));  // bottom row filled by the clipped run
  EXPECT_EQ(Px(b, 0, 0), (TRGB{0, 0, 0}));  // delta left the image: top row untouched

  TBmpFile g = f;
  g.data = {0, 200, 2, 2};  // absolute run of 200 with two bytes present
  c.Read(g.Bytes(), b);
  ASSERT_EQ(b.Width(), 3);
  EXPECT_EQ(Px(b, 0, 1), (TRGB{7, 7, 7}));

  TBmpFile bomb = f;
  bomb.width = bomb.height = 30000;  // 900 million pixels from ten bytes of codes
  EXPECT_FALSE(c.Read(bomb.Bytes(), b));
  EXPECT_TRUE(b.IsEmpty() || b.Width() != 30000);

  TBmpFile rle4 = f;
  rle4.bitCount = 4; rle4.compression = 2;
  rle4.data = {255, 0x12, 0, 2, 255, 255, 0, 255, 0x21};
  c.Read(rle4.Bytes(), b);
  EXPECT_EQ(Px(b, 1, 1), (TRGB{7, 7, 7}));
}

TEST(BMPRead, BadHeadersFailCleanly) {
  TCodec c;
  TLXBitmap b;
  TBmpFile ok;
  ok.data = {1, 2, 3, 0};
  std::vector<uint8_t> base = ok.Bytes();

  auto mutate = [&](size_t at, uint32_t value, int bytes) {
    std::vector<uint8_t> v = base;
    if (bytes == 2) Put16(v, at, value); else Put32(v, at, value);
    return v;
  };
  EXPECT_FALSE(c.Read(mutate(14, 66, 4), b)) << "header size 66";
  EXPECT_FALSE(c.Read(mutate(18, uint32_t(-5), 4), b)) << "negative width";
  EXPECT_FALSE(c.Read(mutate(26, 3, 2), b)) << "planes 3";
  EXPECT_FALSE(c.Read(mutate(28, 2, 2), b)) << "2 bits per pixel";
  EXPECT_FALSE(c.Read(mutate(30, 1, 4), b)) << "RLE8 at 24 bits";
  EXPECT_FALSE(c.Read(mutate(10, 5000, 4), b)) << "data offset past the end";
  std::vector<uint8_t> huge = mutate(18, 100000, 4);
  Put32(huge, 22, 100000);
  EXPECT_FALSE(c.Read(huge, b)) << "30 GB claimed by a 58-byte file";
  std::vector<uint8_t> cut = base;
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(c.Read(cut, b)) << "truncated rows";
}

// ---------------------------------------------------------------- writing

TEST(BMPWrite, TwoByTwo24BitHasEightByteRows) {
  TLXBitmap b;
  Fill24(b, 2, 2, [](int x, int y) { return TRGB{uint8_t(x), uint8_t(y), 7}; });
  TCodec c;
  c.params.BitsPerSample = 8;
  c.params.SamplesPerPixel = 3;
  const auto file = c.Write(b);
  ASSERT_FALSE(c.abortFlag);
  ASSERT_EQ(file.size(), 54u + 16u);
  EXPECT_EQ(Get32(file, 2), 70u);
  EXPECT_EQ(Get32(file, 10), 54u);
  EXPECT_EQ(Get16(file, 28), 24);
  EXPECT_EQ(Get32(file, 34), 16u);           // biSizeImage
  EXPECT_EQ(Get32(file, 46), 0u);            // biClrUsed
  EXPECT_EQ(Get32(file, 50), 16777216u);     // biClrImportant
  EXPECT_EQ(file[54 + 6], 0);                // padding
  EXPECT_EQ(file[54 + 8 + 3], 1);            // top row last: pixel (1,0) blue byte
}

TEST(BMPWrite, ResolutionInPelsPerMetre) {
  TLXBitmap b;
  Fill24(b, 1, 1, [](int, int) { return TRGB{}; });
  TCodec c;
  c.params.SetDpiX(96);
  c.params.SetDpiY(300);
  const auto file = c.Write(b);
  EXPECT_EQ(Get32(file, 38), 3780u);
  EXPECT_EQ(Get32(file, 42), 11811u);
}

TEST(BMPWrite, RLE8RowCodes) {
  struct Case { std::vector<uint8_t> row, codes; };
  for (const Case& k : {Case{{5, 5, 5, 1, 2}, {3, 5, 1, 1, 1, 2, 0, 0}},
                        Case{{1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 0}},
                        Case{{4}, {1, 4, 0, 0}}}) {
    std::vector<uint8_t> out(size_t(BMPRLERowBound(int(k.row.size()))));
    int len = 0;
    BMPEncodeRLERow(k.row.data(), int(k.row.size()), false, out.data(), len);
    out.resize(size_t(len));
    EXPECT_EQ(out, k.codes);
  }
  std::vector<uint8_t> row = {1, 2, 3, 4, 4, 4};
  std::vector<uint8_t> out(64);
  int len = 0;
  BMPEncodeRLERow(row.data(), 6, true, out.data(), len);
  out.resize(size_t(len));
  EXPECT_EQ(out, (std::vector<uint8_t>{0, 3, 0x12, 0x30, 3, 0x44, 0, 0}));
}

TEST(BMPWrite, FourBitRLEFileLayout) {
  TLXBitmap b;
  Fill24(b, 5, 2, [](int x, int) { return x < 3 ? TRGB{0, 0, 255} : TRGB{255, 0, 0}; });
  TCodec c;
  c.params.BitsPerSample = 4;
  c.params.BMPCompression = 1;
  const auto file = c.Write(b);
  ASSERT_FALSE(c.abortFlag);
  EXPECT_EQ(Get32(file, 30), 2u);
  EXPECT_EQ(Get16(file, 28), 4);
  const size_t off = Get32(file, 10);
  EXPECT_EQ(off, 54u + 64u);
  const std::vector<uint8_t> data(file.begin() + long(off), file.end());
  EXPECT_EQ(data, (std::vector<uint8_t>{3, 0x00, 2, 0x11, 0, 0, 3, 0x00, 2, 0x11, 0, 0, 0, 1}));
  EXPECT_EQ(Get32(file, 34), data.size());

  TLXBitmap back;
  ASSERT_TRUE(c.Read(file, back));
  EXPECT_EQ(Px(back, 4, 1), (TRGB{255, 0, 0}));
  EXPECT_EQ(Px(back, 0, 0), (TRGB{0, 0, 255}));
}

TEST(BMPWrite, TwoColoursAtOneBitKeepDarkerFirst) {
  TLXBitmap b;
  Fill24(b, 3, 1, [](int x, int) { return x == 1 ? TRGB{0, 0, 100} : TRGB{0, 200, 255}; });
  TCodec c;
  c.params.BitsPerSample = 1;
  const auto file = c.Write(b);
  EXPECT_EQ(file[54], 0); EXPECT_EQ(file[56], 100);   // entry 0: the dark red
  EXPECT_EQ(file[58], 0); EXPECT_EQ(file[59], 200); EXPECT_EQ(file[60], 255);
  EXPECT_EQ(file[62], 0xA0);  // light, dark, light
  EXPECT_EQ(c.params.ColorMap[0], (TRGB{0, 0, 100}));
}

TEST(BMPWrite, PaletteBitmapAtFourBitsRemapsIndexes) {
  TLXBitmap b;
  b.Allocate(4, 1, lx8p);
  for (int i = 0; i < 256; ++i) b.SetPaletteEntry(i, PackRGB(TRGB{uint8_t(i), 0, uint8_t(255 - i)}));
  const uint8_t idx[4] = {200, 3, 200, 77};
  std::memcpy(b.Scanline(0), idx, 4);
  TCodec c;
  c.params.BitsPerSample = 4;
  const auto file = c.Write(b);
  ASSERT_FALSE(c.abortFlag);
  TLXBitmap back;
  ASSERT_TRUE(c.Read(file, back));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Px(back, x, 0), b.GetPaletteEntry(idx[x])) << x;
}

TEST(BMPWrite, GreyAndFloatSourcesGoThroughPrivateCopies) {
  for (TLXPixelFormat f : {lx8g, lx16g, lx32f}) {
    TLXBitmap b;
    b.Allocate(3, 2, f);
    b.Fill(f == lx32f ? 1.0 : f == lx16g ? 65535 : 255);
    for (int depth : {1, 8, 24}) {
      TCodec c;
      c.params.BitsPerSample = depth == 1 ? 1 : 8;
      c.params.SamplesPerPixel = depth == 24 ? 3 : 1;
      const auto file = c.Write(b);
      ASSERT_FALSE(c.abortFlag);
      EXPECT_EQ(b.PixelFormat(), f);
      TLXBitmap back;
      ASSERT_TRUE(c.Read(file, back));
      EXPECT_EQ(back.Width(), 3);
      EXPECT_EQ(Px(back, 2, 1), (TRGB{255, 255, 255})) << int(f) << " at " << depth;
    }
  }
}

TEST(BMPWrite, RoundTripsEveryDepthAndHeader) {
  TLXBitmap src;
  // Eight colours: exact at 4, 8 and 24 bits.
  Fill24(src, 13, 7, [](int x, int y) {
    const int k = (x / 2 + y) % 8;
    return TRGB{uint8_t(k & 1 ? 255 : 0), uint8_t(k & 2 ? 255 : 0), uint8_t(k & 4 ? 200 : 30)};
  });
  struct Case { int bps, spp, version, rle; };
  for (const Case& k : {Case{4, 1, 1, 0}, Case{4, 1, 1, 1}, Case{8, 1, 1, 0}, Case{8, 1, 3, 1},
                        Case{8, 1, 2, 1}, Case{4, 1, 2, 0}, Case{8, 3, 0, 0}, Case{8, 3, 2, 0}}) {
    TCodec c;
    c.params.BitsPerSample = k.bps;
    c.params.SamplesPerPixel = k.spp;
    c.params.BMPVersion = uint8_t(k.version);
    c.params.BMPCompression = uint8_t(k.rle);
    const auto file = c.Write(src);
    ASSERT_FALSE(c.abortFlag);
    TLXBitmap back;
    ASSERT_TRUE(c.Read(file, back));
    EXPECT_EQ(c.params.BMPVersion, k.version == 0 ? 1 : k.version);  // a 40-byte header reads as 1
    for (int y = 0; y < 7; ++y)
      for (int x = 0; x < 13; ++x)
        ASSERT_EQ(Px(back, x, y), Px(src, x, y)) << k.bps << "/" << k.version << "/" << k.rle;
  }
}

TEST(BMPWrite, ShortStreamSetsAbortFlag) {
  struct TFull : TMemoryStream {
    int64_t Write(const void* b, int64_t n) override {
      return TMemoryStream::Write(b, std::min<int64_t>(n, std::max<int64_t>(0, 60 - Size())));
    }
  } s;
  TLXBitmap b;
  Fill24(b, 10, 10, [](int, int) { return TRGB{}; });
  TCodec c;
  BMPWriteStream(s, &b, c.params, c.progress);
  EXPECT_TRUE(c.abortFlag);
}

// ---------------------------------------------------------------- independent files

namespace {

std::string Suite(const std::string& f) { return CorpusPath("bmp/bmpsuite/" + f); }

bool ReadFile(const std::string& name, TLXBitmap& b, TCodec& c) {
  return c.Read(ReadFileBytes(name), b);
}

}  // namespace

TEST(BMPSuite, GoodFilesDecodeAndMatchRenderings) {
  REQUIRE_CORPUS();
  for (const auto& entry : std::filesystem::directory_iterator(Suite("g"))) {
    const std::string name = entry.path().stem().string();
    TCodec c;
    TLXBitmap b;
    ASSERT_TRUE(ReadFile(entry.path().string(), b, c)) << name;
    ASSERT_EQ(b.Width(), c.params.Width) << name;
    ASSERT_GT(b.Width(), 100) << name;
    std::string png = Suite("html/" + name + ".png");
    if (name == "pal8nonsquare") png = Suite("html/pal8nonsquare-e.png");
    if (!std::filesystem::exists(png) || name == "pal8nonsquare") continue;
    const TRGBAImage ref = PNGFileRead(png);
    ASSERT_EQ(ref.Width, b.Width()) << name;
    ASSERT_EQ(ref.Height, b.Height()) << name;
    // 5- and 6-bit channels leave their low bits 0 (31 gives 248). The
    // renderings round some palette colours one or two steps differently.
    const int keep = name.rfind("rgb16", 0) == 0 ? 0xF8 : 0xFF;
    const int gkeep = name == "rgb16-565" ? 0xFC : keep;
    int bad = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const uint8_t* r = ref.At(x, y);
        const TRGB got = Px(b, x, y);
        auto off = [](int a, int b) { return std::abs(a - b) > 2; };
        bad += off(got.r & keep, r[0] & keep) || off(got.g & gkeep, r[1] & gkeep) ||
               off(got.b & keep, r[2] & keep);
      }
    EXPECT_EQ(bad, 0) << name;
  }
}

TEST(BMPSuite, BadFilesFailCleanly) {
  REQUIRE_CORPUS();
  // Files whose fault lies in a field this reader relies on are refused; the
  // others carry faults in fields it never trusts (biSizeImage, bfSize, the
  // density, an oversized colour count that counts as 0, indexes past the table
  // that read black) and decode.
  const std::vector<std::pair<std::string, bool>> cases = {
      {"badbitcount", false}, {"badheadersize", false}, {"badplanes", false},
      {"badwidth", false},    {"reallybig", false},     {"rletopdown", false},
      {"shortfile", false},   {"badrle", true},         {"badbitssize", true},
      {"baddens1", true},     {"baddens2", true},       {"badfilesize", true},
      {"badpalettesize", true}, {"pal8badindex", true}};
  for (const auto& [name, decodes] : cases) {
    TCodec c;
    TLXBitmap b;
    EXPECT_EQ(ReadFile(Suite("b/" + name + ".bmp"), b, c), decodes) << name;
  }
}

TEST(BMPSuite, QuestionableFilesDecodeOrFailCleanly) {
  REQUIRE_CORPUS();
  // Refused: 2 bits per pixel, JPEG and PNG inside a bitmap. Everything else
  // decodes (alpha bytes are dropped, skipped RLE pixels take index 0).
  const std::vector<std::string> refused = {"pal2", "rgb24jpeg", "rgb24png"};
  for (const auto& entry : std::filesystem::directory_iterator(Suite("q"))) {
    const std::string name = entry.path().stem().string();
    const bool expectRefused = std::find(refused.begin(), refused.end(), name) != refused.end();
    TCodec c;
    TLXBitmap b;
    EXPECT_EQ(ReadFile(entry.path().string(), b, c), !expectRefused) << name;
    if (!expectRefused) { EXPECT_EQ(b.Width(), 127) << name; }
  }
}

TEST(BMPSuite, QuestionableFilesShowThePictureOfTheGoodOnes) {
  REQUIRE_CORPUS();
  // The OS/2 variants, the sparse and oversized palettes and the offset pixel
  // data hold the picture of g/pal8.bmp (ImageMagick misreads the OS/2 2.x
  // header and refuses the oversized palette, so the good file is the judge).
  TCodec c;
  TLXBitmap good;
  ASSERT_TRUE(ReadFile(Suite("g/pal8.bmp"), good, c));
  for (const std::string name : {"pal8os2sp", "pal8os2v2", "pal8os2v2-16", "pal8oversizepal", "pal8offs"}) {
    TLXBitmap b;
    ASSERT_TRUE(ReadFile(Suite("q/" + name + ".bmp"), b, c)) << name;
    int bad = 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) bad += !(Px(b, x, y) == Px(good, x, y));
    EXPECT_EQ(bad, 0) << name;
  }
}

TEST(BMPSuite, QuestionableFilesMatchImageMagick) {
  REQUIRE_CORPUS();
  REQUIRE_TOOL("convert");
  const std::string dir = ScratchDir("bmp-q");
  for (const std::string name : {"rgb16-231", "rgb32-111110", "rgb32h52", "rgba32h56", "rgb24largepal",
                                 "rgb32fakealpha", "rgb24prof", "rgb32bf-xbgr"}) {
    TCodec c;
    TLXBitmap b;
    const std::string file = Suite("q/" + name + ".bmp");
    ASSERT_TRUE(ReadFile(file, b, c)) << name;
    const TRGBAImage ref = MagickRead(file, dir);
    ASSERT_EQ(ref.Width, b.Width()) << name;
    int bad = 0;
    // ImageMagick scales narrow channels to the full range where this reader
    // leaves the low bits 0 (compare the top bits), and rounds 11-bit channels
    // where this reader keeps the top 8 bits (one step apart at most).
    const int keep = name == "rgb16-231" ? 0xC0 : 0xFF;
    const int tolerance = name == "rgb32-111110" ? 1 : 0;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const TRGB got = Px(b, x, y);
        const uint8_t* r = ref.At(x, y);
        auto off = [&](int a, int e) { return std::abs((a & keep) - (e & keep)) > tolerance; };
        bad += off(got.r, r[0]) || off(got.g, r[1]) || off(got.b, r[2]);
      }
    EXPECT_EQ(bad, 0) << name;
  }
}

TEST(BMPTools, ReadsFilesOfImageMagickAndNetpbm) {
  REQUIRE_TOOL("convert");
  REQUIRE_TOOL("ppmtobmp");
  const std::string dir = ScratchDir("bmp-tools");
  const std::string src = dir + "/src.ppm";
  RunTool("convert -seed 4 -size 37x21 plasma:fractal -depth 8 '" + src + "'");
  RunTool("convert -size 37x21 xc:white -fill black -draw 'circle 18,10 18,3' '" + dir + "/mono.pbm'");
  const std::string mono = dir + "/mono.pbm";
  const std::string pal = dir + "/pal.ppm";
  RunTool("convert '" + src + "' -colors 12 -depth 8 '" + pal + "'");
  struct Case { std::string command, reference; };
  const std::vector<Case> cases = {
      {"convert '" + src + "' BMP3:OUT", src},
      {"convert '" + src + "' -type truecolor BMP2:OUT", src},
      {"convert '" + pal + "' -compress RLE BMP3:OUT", pal},
      {"convert '" + pal + "' -type palette BMP3:OUT", pal},
      {"convert '" + src + "' -define bmp:subtype=RGB565 BMP:OUT", ""},
      {"ppmtobmp -windows '" + src + "' > OUT", src},
      {"ppmtobmp -os2 '" + src + "' > OUT", src},
      {"ppmtobmp -os2 -bpp 8 '" + pal + "' > OUT", pal},
      {"ppmtobmp -windows -bpp 4 '" + pal + "' > OUT", pal},
      {"ppmtobmp -windows -bpp 1 '" + mono + "' > OUT", mono},
  };
  int i = 0;
  for (const Case& k : cases) {
    const std::string out = dir + "/t" + std::to_string(i++) + ".bmp";
    std::string cmd = k.command;
    cmd.replace(cmd.find("OUT"), 3, out);
    ASSERT_EQ(RunTool(cmd), 0) << cmd;
    TCodec c;
    TLXBitmap b;
    ASSERT_TRUE(ReadFile(out, b, c)) << cmd;
    const TRGBAImage ref = MagickRead(k.reference.empty() ? out : k.reference, dir);
    ASSERT_EQ(ref.Width, b.Width()) << cmd;
    ASSERT_EQ(ref.Height, b.Height()) << cmd;
    int bad = 0;
    const int keep = k.reference.empty() ? 0xF8 : 0xFF;
    const int gkeep = k.reference.empty() ? 0xFC : 0xFF;
    for (int y = 0; y < b.Height(); ++y)
      for (int x = 0; x < b.Width(); ++x) {
        const TRGB got = Px(b, x, y);
        const uint8_t* r = ref.At(x, y);
        bad += (got.r & keep) != (r[0] & keep) || (got.g & gkeep) != (r[1] & gkeep) ||
               (got.b & keep) != (r[2] & keep);
      }
    EXPECT_EQ(bad, 0) << cmd;
  }
}

TEST(BMPTools, WrittenFilesReadBackInImageMagickAndPillow) {
  REQUIRE_TOOL("convert");
  const std::string dir = ScratchDir("bmp-written");
  TLXBitmap src;
  Fill24(src, 19, 6, [](int x, int y) {
    const int k = (x / 3 + y) % 6;
    return TRGB{uint8_t(40 * k), uint8_t(255 - 40 * k), uint8_t(k & 1 ? 250 : 5)};
  });
  struct Case { int bps, spp, version, rle; };
  int i = 0;
  for (const Case& k : {Case{4, 1, 1, 0}, Case{4, 1, 1, 1}, Case{8, 1, 1, 0}, Case{8, 1, 1, 1},
                        Case{8, 1, 2, 0}, Case{8, 3, 1, 0}, Case{8, 3, 3, 0}, Case{8, 3, 2, 0}}) {
    TCodec c;
    c.params.BitsPerSample = k.bps;
    c.params.SamplesPerPixel = k.spp;
    c.params.BMPVersion = uint8_t(k.version);
    c.params.BMPCompression = uint8_t(k.rle);
    const std::string out = dir + "/w" + std::to_string(i++) + ".bmp";
    WriteFileBytes(out, c.Write(src));
    const TRGBAImage ref = MagickRead(out, dir);
    ASSERT_EQ(ref.Width, 19) << out;
    std::string pil;
    const int rc = RunTool("/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + out +
                           "').convert('RGB'); print(im.size, im.getpixel((0,0)), im.getpixel((18,5)))\"",
                           &pil);
    int bad = 0;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 19; ++x) {
        const TRGB e = Px(src, x, y);
        const uint8_t* r = ref.At(x, y);
        bad += r[0] != e.r || r[1] != e.g || r[2] != e.b;
      }
    EXPECT_EQ(bad, 0) << out;
    if (rc == 0 || pil.find("No module") == std::string::npos) {
      const TRGB a = Px(src, 0, 0), z = Px(src, 18, 5);
      const std::string want = "(19, 6) (" + std::to_string(a.r) + ", " + std::to_string(a.g) + ", " +
                               std::to_string(a.b) + ") (" + std::to_string(z.r) + ", " +
                               std::to_string(z.g) + ", " + std::to_string(z.b) + ")";
      EXPECT_NE(pil.find(want), std::string::npos) << out << ": " << pil;
    }
  }
}

// ---------------------------------------------------------------- through the controller

TEST(BMPController, SavesAndLoadsByExtensionAndContent) {
  const std::string dir = ScratchDir("bmp-controller");
  TTalvexIO io;
  Fill24(*io.Bitmap(), 9, 4, [](int x, int y) { return TRGB{uint8_t(x * 20), uint8_t(y * 50), 90}; });
  io.SaveFile(dir + "/a.bmp");
  ASSERT_FALSE(io.AbortFlag);
  TTalvexIO back;
  back.LoadFile(dir + "/a.bmp");
  ASSERT_FALSE(back.AbortFlag);
  EXPECT_EQ(back.Params().FileType, ioBMP);
  EXPECT_EQ(back.Bitmap()->GetPixelRGB(8, 3), (TRGB{160, 150, 90}));

  TMemoryStream s(ReadFileBytes(dir + "/a.bmp"));
  EXPECT_EQ(back.DetectStreamFormat(s), ioBMP);
  back.LoadStream(s);
  EXPECT_FALSE(back.AbortFlag);

  // A 16-bit grey image goes to the BMP writer as it is: the caller's bitmap
  // keeps its format, the writer converts a copy.
  io.Bitmap()->Allocate(3, 3, lx16g);
  io.Bitmap()->Fill(65535);
  io.SaveBMPFile(dir + "/g.bmp");
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Bitmap()->PixelFormat(), lx16g);
  back.LoadBMPFile(dir + "/g.bmp");
  EXPECT_EQ(back.Bitmap()->GetPixelRGB(1, 1), (TRGB{255, 255, 255}));
}

TEST(BMPRead, CorruptedFilesNeverCrash) {
  // Byte flips over every header field and the first rows of each kind of
  // file; any outcome but a crash, a hang or a runaway allocation is fine.
  std::vector<std::vector<uint8_t>> seeds;
  TLXBitmap src;
  Fill24(src, 7, 5, [](int x, int y) { return TRGB{uint8_t(x * 30), uint8_t(y * 40), uint8_t(x ^ y)}; });
  for (int bps : {1, 4, 8}) {
    for (int rle : {0, 1}) {
      TCodec c;
      c.params.BitsPerSample = bps;
      c.params.SamplesPerPixel = 1;
      c.params.BMPCompression = uint8_t(rle);
      seeds.push_back(c.Write(src));
    }
  }
  TBmpFile bf;
  bf.bitCount = 16; bf.compression = 3; bf.width = 3; bf.masks = {0xF800, 0x07E0, 0x001F};
  bf.data.assign(8, 0x5A);
  seeds.push_back(bf.Bytes());
  uint32_t seed = 1;
  for (const auto& file : seeds) {
    for (int i = 0; i < 400; ++i) {
      std::vector<uint8_t> v = file;
      for (int k = 0; k < 3; ++k) {
        seed = seed * 1664525u + 1013904223u;
        const size_t at = (seed >> 8) % std::min<size_t>(v.size(), 90);
        v[at] = uint8_t(seed >> 24);
      }
      TCodec c;
      c.params.NativePixelFormat = (i & 1) != 0;
      TLXBitmap b;
      c.Read(v, b);
      EXPECT_LE(int64_t(b.Width()) * b.Height(), int64_t(1) << 26);
    }
  }
}
