#include "codecs/ico/ico.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>

#include "image/bitmap.h"
#include "image/mask.h"
#include "io/controller.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/codecs/imagefiles.h"
#include "tests/support/corpus.h"

namespace {

// One image of a hand-made icon: entry fields, header fields and the rows.
struct TIconImage {
  uint8_t bWidth = 2, bHeight = 2, bColorCount = 0;
  uint16_t wPlanes = 1, wBitCount = 0;
  uint32_t biSize = 40;
  int32_t biWidth = 2, biHeight = 4;
  uint16_t biBitCount = 24;
  std::vector<TRGB> palette;
  std::vector<uint8_t> xorRows, andRows;  // bottom row first, padded
};

std::vector<uint8_t> MakeIcon(const std::vector<TIconImage>& images, uint16_t type = 1) {
  std::vector<uint8_t> v(6 + 16 * images.size(), 0);
  Put16(v, 2, type);
  Put16(v, 4, uint32_t(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const TIconImage& im = images[i];
    std::vector<uint8_t> block(std::max<size_t>(im.biSize, 16), 0);
    Put32(block, 0, im.biSize);
    Put32(block, 4, uint32_t(im.biWidth));
    Put32(block, 8, uint32_t(im.biHeight));
    Put16(block, 12, 1);
    Put16(block, 14, im.biBitCount);
    for (const TRGB& c : im.palette) block.insert(block.end(), {c.b, c.g, c.r, 0});
    block.insert(block.end(), im.xorRows.begin(), im.xorRows.end());
    block.insert(block.end(), im.andRows.begin(), im.andRows.end());
    const size_t e = 6 + 16 * i;
    v[e] = im.bWidth; v[e + 1] = im.bHeight; v[e + 2] = im.bColorCount;
    Put16(v, e + 4, im.wPlanes);
    Put16(v, e + 6, im.wBitCount);
    Put32(v, e + 8, uint32_t(block.size()));
    Put32(v, e + 12, uint32_t(v.size()));
    v.insert(v.end(), block.begin(), block.end());
  }
  return v;
}

struct TReader {
  TIOParamsVals params{nullptr};
  std::atomic<bool> abortFlag{false};
  TIOProgress progress;
  std::unique_ptr<TLXMask> mask;
  TLXBitmap bitmap;
  TReader() { progress.abort = &abortFlag; }

  bool Icon(const std::vector<uint8_t>& file, bool paramsOnly = false) {
    abortFlag = false;
    TMemoryStream s(file);
    ICOReadStream(s, &bitmap, params, progress, paramsOnly, mask);
    return !abortFlag;
  }
  bool Cursor(const std::vector<uint8_t>& file) {
    abortFlag = false;
    TMemoryStream s(file);
    CURReadStream(s, &bitmap, params, progress, false, mask);
    return !abortFlag;
  }
  int Alpha(int x, int y) { return mask->GetPixel(x, y); }
};

// A 2x2 image at 4 bits: indexes 1 2 / 3 1 (top row first), pixel (1,0) transparent.
TIconImage FourBit() {
  TIconImage im;
  im.biBitCount = 4;
  im.bColorCount = 16;
  im.palette.resize(16);
  im.palette[1] = TRGB{0, 0, 255};
  im.palette[2] = TRGB{0, 255, 0};
  im.palette[3] = TRGB{255, 0, 0};
  im.xorRows = {0x31, 0, 0, 0, 0x12, 0, 0, 0};
  im.andRows = {0, 0, 0, 0, 0x40, 0, 0, 0};
  return im;
}

}  // namespace

TEST(ICORead, DirectoryFillsIconSizesAndBitCounts) {
  std::vector<TIconImage> images(4);
  const int widths[4] = {16, 32, 48, 0};
  for (int i = 0; i < 4; ++i) {
    images[size_t(i)].bWidth = images[size_t(i)].bHeight = uint8_t(widths[i]);
    images[size_t(i)].biWidth = widths[i] ? widths[i] : 256;
    images[size_t(i)].biHeight = 2 * images[size_t(i)].biWidth;
  }
  images[1].bColorCount = 16;                     // no bit count: from the colour count
  images[2].wBitCount = 32;
  images[0].xorRows.assign(16 * 48, 0);
  images[0].andRows.assign(16 * 4, 0);
  TReader r;
  r.params.IconSizes[5] = TIconSize{9, 9};
  ASSERT_TRUE(r.Icon(MakeIcon(images), true));
  EXPECT_EQ(r.params.IconSizes[0], (TIconSize{16, 16}));
  EXPECT_EQ(r.params.IconSizes[1], (TIconSize{32, 32}));
  EXPECT_EQ(r.params.IconSizes[2], (TIconSize{48, 48}));
  EXPECT_EQ(r.params.IconSizes[3], (TIconSize{0, 0}));
  EXPECT_EQ(r.params.IconSizes[5], (TIconSize{0, 0}));
  EXPECT_EQ(r.params.IconBitCounts[0], 24);
  EXPECT_EQ(r.params.IconBitCounts[1], 4);
  EXPECT_EQ(r.params.IconBitCounts[2], 32);
  EXPECT_EQ(r.params.Width, 16);
}

TEST(ICORead, BitCountForColourCount) {
  EXPECT_EQ(ICOBitCountForColors(2), 1);
  EXPECT_EQ(ICOBitCountForColors(16), 4);
  EXPECT_EQ(ICOBitCountForColors(255), 8);
  EXPECT_EQ(ICOBitCountForColors(256), 8);
  EXPECT_EQ(ICOBitCountForColors(0), 0);
}

TEST(ICORead, FourBitTransparencyTakesIconBackground) {
  TReader r;
  r.params.IconBackground = TRGB{1, 2, 3};
  ASSERT_TRUE(r.Icon(MakeIcon({FourBit()})));
  ASSERT_EQ(r.bitmap.PixelFormat(), lx24RGB);
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 0), (TRGB{0, 0, 255}));
  EXPECT_EQ(r.bitmap.GetPixelRGB(1, 0), (TRGB{1, 2, 3}));
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 1), (TRGB{255, 0, 0}));
  EXPECT_EQ(r.Alpha(1, 0), 0);
  EXPECT_EQ(r.Alpha(0, 0), 255);
  EXPECT_FALSE(r.mask->Full);
  EXPECT_EQ(r.params.BitsPerSample, 4);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.ColorMapCount, 16);
}

TEST(ICORead, ThirtyTwoBitAlphaGoesToTheMaskAndIgnoresAndRows) {
  TIconImage im;
  im.biBitCount = 32;
  im.xorRows = {1, 2, 3, 0, 4, 5, 6, 128, 7, 8, 9, 255, 10, 11, 12, 254};
  im.andRows = {0xC0, 0, 0, 0, 0xC0, 0, 0, 0};
  TReader r;
  ASSERT_TRUE(r.Icon(MakeIcon({im})));
  EXPECT_EQ(r.bitmap.PixelFormat(), lx24RGB);
  EXPECT_EQ(r.params.SamplesPerPixel, 4);
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 1), (TRGB{1, 2, 3}));
  EXPECT_EQ(r.Alpha(0, 1), 0);
  EXPECT_EQ(r.Alpha(1, 1), 128);
  EXPECT_EQ(r.Alpha(0, 0), 255);
  EXPECT_EQ(r.Alpha(1, 0), 254);
}

TEST(ICORead, TwentyFourBitIsOpaqueWhateverTheAndRows) {
  TIconImage im;
  im.xorRows.assign(16, 77);
  im.andRows = {0xC0, 0, 0, 0, 0xC0, 0, 0, 0};
  TReader r;
  ASSERT_TRUE(r.Icon(MakeIcon({im})));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) EXPECT_EQ(r.Alpha(x, y), 255);
  EXPECT_EQ(r.params.SamplesPerPixel, 3);
}

TEST(ICORead, OneBitTransparentPixelsFollowAWhiteBackground) {
  TIconImage im;
  im.biBitCount = 1;
  im.palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  im.xorRows = {0x40, 0, 0, 0, 0x40, 0, 0, 0};  // black, white in both rows
  im.andRows = {0xC0, 0, 0, 0, 0, 0, 0, 0};     // bottom row transparent
  for (bool white : {true, false}) {
    TReader r;
    r.params.IconBackground = white ? TRGB{255, 255, 255} : TRGB{0, 0, 255};
    ASSERT_TRUE(r.Icon(MakeIcon({im})));
    ASSERT_EQ(r.bitmap.PixelFormat(), lx1g);
    EXPECT_EQ(r.bitmap.Scanline(1)[0] & 0xC0, white ? 0x80 : 0x40);
    EXPECT_EQ(r.bitmap.Scanline(0)[0] & 0xC0, 0x40);
    EXPECT_EQ(r.Alpha(0, 1), 0);
    EXPECT_EQ(r.Alpha(0, 0), 255);
  }
}

// 1-bit images follow the BMP rule: a black and white table (either order) gives
// lx1g with bit 1 white, any other table loads in colour like 4- and 8-bit
// images, transparent pixels taking the background colour.
TEST(ICORead, OneBitTableDecidesFormat) {
  const TRGB black{0, 0, 0}, white{255, 255, 255}, red{0, 0, 255}, yellow{0, 255, 255};
  TIconImage im;
  im.biBitCount = 1;
  im.xorRows = {0x40, 0, 0, 0, 0x40, 0, 0, 0};  // index 0, 1 in both rows
  im.andRows = {0xC0, 0, 0, 0, 0, 0, 0, 0};     // bottom row transparent
  im.palette = {red, yellow};
  TReader r;
  r.params.IconBackground = TRGB{10, 20, 30};
  ASSERT_TRUE(r.Icon(MakeIcon({im})));
  ASSERT_EQ(r.bitmap.PixelFormat(), lx24RGB);
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 0), red);
  EXPECT_EQ(r.bitmap.GetPixelRGB(1, 0), yellow);
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 1), (TRGB{10, 20, 30}));
  EXPECT_EQ(r.Alpha(1, 1), 0);
  EXPECT_EQ(r.Alpha(1, 0), 255);

  // White, black: the same picture as black, white with the bits flipped; a
  // transparent white pixel (the inverted screen) shows black over white.
  im.palette = {white, black};
  TReader w;
  ASSERT_TRUE(w.Icon(MakeIcon({im})));
  ASSERT_EQ(w.bitmap.PixelFormat(), lx1g);
  EXPECT_EQ(w.bitmap.GetPixelRGB(0, 0), white);
  EXPECT_EQ(w.bitmap.GetPixelRGB(1, 0), black);
  EXPECT_EQ(w.bitmap.GetPixelRGB(0, 1), black);
  EXPECT_EQ(w.bitmap.GetPixelRGB(1, 1), white);
}

TEST(ICORead, SaneHeaderDecidesTheSize) {
  TIconImage im;
  im.bWidth = im.bHeight = 32;
  im.biWidth = 48; im.biHeight = 96;
  im.xorRows.assign(size_t(48 * 3 * 48), 9);
  TReader r;
  ASSERT_TRUE(r.Icon(MakeIcon({im})));
  EXPECT_EQ(r.bitmap.Width(), 48);
  EXPECT_EQ(r.bitmap.Height(), 48);
  // A height that disagrees with the header alone (16x32 entry, 16x16 rows).
  TIconImage tall;
  tall.bWidth = 2; tall.bHeight = 4;
  tall.xorRows.assign(16, 1);
  ASSERT_TRUE(r.Icon(MakeIcon({tall})));
  EXPECT_EQ(r.bitmap.Height(), 2);
}

TEST(ICORead, BadImagesFailCleanly) {
  TReader r;
  TIconImage ok = FourBit();
  ASSERT_TRUE(r.Icon(MakeIcon({ok})));
  r.params.IconImageIndex = 1;
  EXPECT_FALSE(r.Icon(MakeIcon({ok}))) << "index past the last image";
  r.params.IconImageIndex = -1;
  EXPECT_FALSE(r.Icon(MakeIcon({ok}))) << "negative index";
  r.params.IconImageIndex = 0;
  EXPECT_FALSE(r.Icon(MakeIcon({}))) << "no images";

  TIconImage core = ok;
  core.biSize = 12;
  EXPECT_FALSE(r.Icon(MakeIcon({core}))) << "header size 12";
  TIconImage huge = ok;
  huge.bWidth = huge.bHeight = 0;
  huge.biWidth = 40000; huge.biHeight = 80000;
  EXPECT_FALSE(r.Icon(MakeIcon({huge}))) << "40000 pixels wide";
  TIconImage none = ok;
  none.biBitCount = 0; none.bColorCount = 0;
  EXPECT_FALSE(r.Icon(MakeIcon({none}))) << "no bit count anywhere";
  std::vector<uint8_t> cut = MakeIcon({ok});
  cut.resize(cut.size() - 12);
  EXPECT_FALSE(r.Icon(cut)) << "colour rows cut short";
  std::vector<uint8_t> offset = MakeIcon({ok});
  Put32(offset, 18, 0xFFFFFF00u);
  EXPECT_FALSE(r.Icon(offset)) << "offset past the end";
}

TEST(ICORead, BitmapFileNamedIcon) {
  std::vector<uint8_t> bmp = {'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0, 40, 0, 0, 0,
                              1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0};
  bmp.resize(58, 0);
  bmp[54] = 9;
  TReader r;
  ASSERT_TRUE(r.Icon(bmp));
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 0), (TRGB{9, 0, 0}));
}

TEST(CURRead, HotSpotColourCountAndBackground) {
  TIconImage im = FourBit();
  im.biBitCount = 8;
  im.bColorCount = 255;  // 256 entries
  im.wPlanes = 5;
  im.wBitCount = 7;
  im.palette.resize(256);
  im.palette[2] = TRGB{9, 8, 7};
  im.xorRows = {2, 2, 0, 0, 1, 1, 0, 0};
  TReader r;
  r.params.CursorBackground = TRGB{4, 4, 4};
  ASSERT_TRUE(r.Cursor(MakeIcon({im}, 2)));
  EXPECT_EQ(r.params.CursorHotSpotX, 5);
  EXPECT_EQ(r.params.CursorHotSpotY, 7);
  EXPECT_EQ(r.params.ColorMapCount, 256);
  EXPECT_EQ(r.params.SamplesPerPixel, 1);
  EXPECT_EQ(r.params.BitsPerSample, 8);
  EXPECT_EQ(r.bitmap.GetPixelRGB(0, 1), (TRGB{9, 8, 7}));
  EXPECT_EQ(r.bitmap.GetPixelRGB(1, 0), (TRGB{4, 4, 4}));
  r.params.CursorImageIndex = 3;
  EXPECT_FALSE(r.Cursor(MakeIcon({im}, 2)));
}

TEST(ICOContent, Tests) {
  const std::vector<uint8_t> icon = MakeIcon({FourBit()});
  TMemoryStream s(icon);
  s.SetPosition(0);
  EXPECT_TRUE(IsICOStream(s));
  EXPECT_FALSE(IsCURStream(s));
  EXPECT_EQ(s.Position(), 0);
  EXPECT_EQ(ICOImageCount(s), 1);
  TMemoryStream cur(MakeIcon({FourBit()}, 2));
  EXPECT_TRUE(IsCURStream(cur));
  TMemoryStream short22(std::vector<uint8_t>(icon.begin(), icon.begin() + 22));
  EXPECT_FALSE(IsICOStream(short22));
  std::vector<uint8_t> noBytes = icon;
  Put32(noBytes, 14, 0);
  TMemoryStream empty(noBytes);
  EXPECT_FALSE(IsICOStream(empty));
  EXPECT_EQ(empty.Position(), 0);
}

// ---------------------------------------------------------------- corpus

namespace {

std::string Ico(const std::string& f) { return CorpusPath("ico/" + f); }

// Compares where the rules fix the pixels: the mask against the peer's alpha
// (alpha 0 transparent, else opaque unless the icon stores alpha), and the
// colour of every pixel the peer shows.
int Mismatches(TReader& r, const TRGBAImage& ref, bool storedAlpha, bool checkAlpha = true,
               bool checkColour = true) {
  int bad = 0;
  for (int y = 0; y < ref.Height; ++y)
    for (int x = 0; x < ref.Width; ++x) {
      const uint8_t* p = ref.At(x, y);
      const int a = r.mask ? r.Alpha(x, y) : 255;
      if (checkAlpha) bad += storedAlpha ? a != p[3] : (a == 0) != (p[3] == 0);
      if (p[3] == 0 || !checkColour) continue;
      const TRGB c = r.bitmap.GetPixelRGB(x, y);
      bad += c.r != p[0] || c.g != p[1] || c.b != p[2];
    }
  return bad;
}

}  // namespace

TEST(ICOCorpus, ImageRsReferences) {
  REQUIRE_CORPUS();
  struct Case { std::string name; int index; bool storedAlpha, checkAlpha, checkColour = true; };
  // The reference shows the largest, deepest entry. bmp-24bpp-mask applies the
  // AND mask that a 24-bit image has no use for here (it loads opaque), so only
  // its colours are compared.
  const std::vector<Case> cases = {
      {"bmp-24bpp-mask", 0, false, false},
      {"bmp-32bpp-alpha", 0, true, true},
      {"multiple_entries_with_different_bit_depth", 5, true, true},
      {"png-32bpp-alpha", 0, true, true},
      {"png_l8", 0, false, true},
      {"png_rgb8", 0, false, true},
      {"smile", 0, false, true},
      {"lenient-bpp", 0, true, true},
      {"two-entry-order-test", 0, false, true},
  };
  for (const Case& k : cases) {
    TReader r;
    r.params.IconImageIndex = k.index;
    ASSERT_TRUE(r.Icon(ReadFileBytes(Ico("image-rs/images/" + k.name + ".ico")))) << k.name;
    const TRGBAImage ref = PNGFileRead(Ico("image-rs/reference/" + k.name + ".ico.png"));
    ASSERT_EQ(ref.Width, r.bitmap.Width()) << k.name;
    ASSERT_EQ(ref.Height, r.bitmap.Height()) << k.name;
    EXPECT_EQ(Mismatches(r, ref, k.storedAlpha, k.checkAlpha, k.checkColour), 0) << k.name;
  }
}

TEST(ICOCorpus, EveryFileLoadsOrFailsCleanly) {
  REQUIRE_CORPUS();
  struct Case { std::string file; bool cursor, ok; int width, height; };
  const std::vector<Case> cases = {
      {"pillow/black_and_white.ico", false, true, 16, 16},
      // The entry says 16x16 and the rows are 16x16; the header's 65535 is ignored.
      {"pillow/decompression_bomb.ico", false, true, 16, 16},
      {"pillow/deerstalker.cur", true, true, 32, 32},
      {"pillow/hopper.ico", false, true, 16, 16},
      {"pillow/hopper_256x256.ico", false, true, 256, 256},
      {"pillow/hopper_draw.ico", false, true, 16, 16},
      {"pillow/hopper_mask.ico", false, true, 16, 16},
      {"pillow/hopper_unexpected.ico", false, true, 16, 16},
      {"pillow/mask_1.cur", true, true, 1, 4},
      {"pillow/mask_L.cur", true, true, 1, 4},
      {"pillow/no_cursors.cur", true, false, 0, 0},
      {"pillow/pillow.ico", false, true, 256, 256},
      {"pillow/python.ico", false, true, 16, 16},
      {"pillow/LICENSE", false, false, 0, 0},
      {"image-rs/images/bmp_v5_with_icc.ico", false, true, 127, 64},
      {"image-rs/images/bmp-32bpp-conflicting-and-mask.ico", false, true, 16, 16},
      {"image-rs/images/truncated_mask_32bpp.ico", false, true, 64, 64},
  };
  for (const Case& k : cases) {
    TReader r;
    const auto data = ReadFileBytes(Ico(k.file));
    const bool ok = k.cursor ? r.Cursor(data) : r.Icon(data);
    EXPECT_EQ(ok, k.ok) << k.file;
    if (!k.ok) continue;
    EXPECT_EQ(r.bitmap.Width(), k.width) << k.file;
    EXPECT_EQ(r.bitmap.Height(), k.height) << k.file;
  }
}

TEST(ICOCorpus, PillowFilesMatchImageMagick) {
  REQUIRE_CORPUS();
  REQUIRE_TOOL("convert");
  const std::string dir = ScratchDir("ico-pillow");
  struct Case { std::string file; int index; bool storedAlpha; };
  for (const Case& k : {Case{"pillow/hopper.ico", 0, false}, Case{"pillow/python.ico", 2, true},
                        Case{"pillow/pillow.ico", 1, true}, Case{"pillow/hopper_256x256.ico", 0, false},
                        Case{"pillow/hopper_mask.ico", 0, false}}) {
    TReader r;
    r.params.IconImageIndex = k.index;
    ASSERT_TRUE(r.Icon(ReadFileBytes(Ico(k.file)))) << k.file;
    const TRGBAImage ref = MagickRead(Ico(k.file), dir, k.index);
    ASSERT_EQ(ref.Width, r.bitmap.Width()) << k.file;
    EXPECT_EQ(Mismatches(r, ref, k.storedAlpha), 0) << k.file;
  }
}

TEST(ICOCorpus, IconsOfIcotool) {
  REQUIRE_TOOL("icotool");
  REQUIRE_TOOL("convert");
  const std::string dir = ScratchDir("ico-icotool");
  RunTool("convert -size 24x24 xc:none -fill '#c03020' -draw 'circle 12,12 12,3' -depth 8 PNG32:'" + dir +
          "/a.png'");
  RunTool("convert -size 16x16 gradient:'#2050a0-#f0e010' -depth 8 PNG24:'" + dir + "/b.png'");
  ASSERT_EQ(RunTool("icotool -c -o '" + dir + "/t.ico' '" + dir + "/a.png' '" + dir + "/b.png'"), 0);
  ASSERT_EQ(RunTool("icotool -c --raw='" + dir + "/a.png' -o '" + dir + "/raw.ico'"), 0);
  const auto data = ReadFileBytes(dir + "/t.ico");
  for (int index = 0; index < 2; ++index) {
    TReader r;
    r.params.IconImageIndex = index;
    ASSERT_TRUE(r.Icon(data)) << index;
    const TRGBAImage ref = PNGFileRead(dir + (index == 0 ? "/a.png" : "/b.png"));
    ASSERT_EQ(ref.Width, r.bitmap.Width());
    // icotool stores the first at 32 bits, the second (16 colours) at 4.
    EXPECT_EQ(r.params.BitsPerSample, index == 0 ? 8 : 4);
    EXPECT_EQ(Mismatches(r, ref, index == 0), 0) << index;
  }
  TReader raw;
  ASSERT_TRUE(raw.Icon(ReadFileBytes(dir + "/raw.ico")));
  EXPECT_EQ(Mismatches(raw, PNGFileRead(dir + "/a.png"), true), 0);
}

// ---------------------------------------------------------------- through the controller

TEST(ICOController, LoadsIconsAndCursorsByExtensionAndContent) {
  const std::string dir = ScratchDir("ico-controller");
  const std::vector<uint8_t> icon = MakeIcon({FourBit()});
  WriteFileBytes(dir + "/a.ico", icon);
  WriteFileBytes(dir + "/a.cur", MakeIcon({FourBit()}, 2));
  WriteFileBytes(dir + "/icon-named.cur", icon);

  TTalvexIO io;
  io.LoadFile(dir + "/a.ico");
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().FileType, ioICO);
  ASSERT_TRUE(io.Bitmap()->HasAlphaChannel());
  EXPECT_EQ(io.Bitmap()->AlphaAt(1, 0), 0);
  EXPECT_EQ(io.Bitmap()->AlphaAt(0, 0), 255);

  io.LoadCursorFile(dir + "/a.cur");
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Bitmap()->AlphaAt(1, 0), 0);

  EXPECT_EQ(io.DetectFileFormat(dir + "/icon-named.cur", true), ioCUR);
  EXPECT_EQ(io.DetectFileFormat(dir + "/a.ico", false), ioICO);
  TMemoryStream s(MakeIcon({FourBit()}, 2));
  EXPECT_EQ(io.DetectStreamFormat(s), ioCUR);
  io.LoadStream(s);
  EXPECT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().FileType, ioCUR);

  io.Params().IconImageIndex = 4;
  io.LoadIconFile(dir + "/a.ico");
  EXPECT_TRUE(io.AbortFlag);
}

TEST(ICORead, CorruptedFilesNeverCrash) {
  std::vector<std::vector<uint8_t>> seeds = {MakeIcon({FourBit()}), MakeIcon({FourBit()}, 2)};
  TIconImage one;
  one.biBitCount = 1;
  one.palette = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
  one.xorRows.assign(8, 0x55);
  one.andRows.assign(8, 0x33);
  TIconImage deep;
  deep.biBitCount = 32;
  deep.xorRows.assign(16, 0x80);
  seeds.push_back(MakeIcon({one, deep, FourBit()}));
  uint32_t seed = 7;
  for (const auto& file : seeds) {
    for (int i = 0; i < 600; ++i) {
      std::vector<uint8_t> v = file;
      for (int k = 0; k < 3; ++k) {
        seed = seed * 1664525u + 1013904223u;
        const size_t at = (seed >> 8) % std::min<size_t>(v.size(), 100);
        v[at] = uint8_t(seed >> 24);
      }
      TReader r;
      r.params.IconImageIndex = r.params.CursorImageIndex = i % 3;
      if (i & 1) r.Cursor(v); else r.Icon(v);
      TMemoryStream s(v);
      IsICOStream(s);
      IsCURStream(s);
      EXPECT_LE(r.bitmap.Width(), 1024);
    }
  }
}
