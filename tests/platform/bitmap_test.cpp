#include "platform/bitmap.h"

#include <gtest/gtest.h>

#include "platform/syscolors.h"

TEST(PlatformBitmap, RowsAreTopDownAndWordAligned) {
  struct Case { int bpp, width, rowBytes; };
  const Case cases[] = {{1, 1, 4}, {1, 33, 8}, {4, 9, 8}, {8, 10, 12}, {15, 3, 8},
                        {16, 2, 4}, {24, 33, 100}, {24, 1, 4}, {32, 3, 12}};
  for (const Case& c : cases) {
    TBitmap b;
    b.SetBitsPerPixel(c.bpp);
    b.SetSize(c.width, 5);
    EXPECT_EQ(b.RowBytes(), c.rowBytes) << c.bpp << " bpp, width " << c.width;
    EXPECT_EQ(b.ScanLine(3), b.Bits() + 3 * c.rowBytes);
  }
}

TEST(PlatformBitmap, EveryDepthStoresAndReadsColours) {
  const int depths[] = {1, 4, 8, 15, 16, 24, 32};
  const uint32_t white = 0xffffff, black = 0, red = 0x0000ff, blue = 0xff0000;
  for (int bpp : depths) {
    TBitmap b;
    b.SetBitsPerPixel(bpp);
    b.SetSize(9, 2);
    b.SetPixelColor(8, 1, TColor(white));
    b.SetPixelColor(7, 1, TColor(black));
    // 5- and 6-bit channels read back shifted, without bit replication.
    const uint32_t expectWhite = bpp == 15 ? 0xf8f8f8u : bpp == 16 ? 0xf8fcf8u : white;
    EXPECT_EQ(b.PixelColor(8, 1), expectWhite) << bpp;
    EXPECT_EQ(b.PixelColor(7, 1), black) << bpp;
    if (bpp >= 4) {
      b.SetPixelColor(0, 0, TColor(red));
      b.SetPixelColor(1, 0, TColor(blue));
      EXPECT_EQ(ColorR(b.PixelColor(0, 0)) >= 248, true) << bpp;
      EXPECT_EQ(b.PixelColor(0, 0) & 0xffff00, 0u) << bpp;
      EXPECT_EQ(b.PixelColor(1, 0) & 0x00ffff, 0u) << bpp;
    }
  }
}

TEST(PlatformBitmap, SubBytePixelsPackMostSignificantFirst) {
  TBitmap mono;
  mono.SetBitsPerPixel(1);
  mono.SetSize(10, 1);
  mono.SetPixelValue(0, 0, 1);
  mono.SetPixelValue(9, 0, 1);
  EXPECT_EQ(mono.ScanLine(0)[0], 0x80);
  EXPECT_EQ(mono.ScanLine(0)[1], 0x40);

  TBitmap nib;
  nib.SetBitsPerPixel(4);
  nib.SetSize(3, 1);
  nib.SetPixelValue(0, 0, 0xa);
  nib.SetPixelValue(1, 0, 0x5);
  nib.SetPixelValue(2, 0, 0xc);
  EXPECT_EQ(nib.ScanLine(0)[0], 0xa5);
  EXPECT_EQ(nib.ScanLine(0)[1], 0xc0);
}

TEST(PlatformBitmap, ResizeKeepsTopLeftAndZeroesNewArea) {
  TBitmap b;
  b.SetBitsPerPixel(1);
  b.SetSize(12, 2);
  for (int x = 0; x < 12; ++x) b.SetPixelValue(x, 1, 1);
  b.SetWidth(5);
  b.SetWidth(16);
  for (int x = 0; x < 16; ++x) EXPECT_EQ(b.PixelValue(x, 1), x < 5 ? 1u : 0u) << x;
  b.SetHeight(1);
  b.SetHeight(3);
  EXPECT_EQ(b.PixelValue(0, 1), 0u);

  TBitmap c;
  c.SetSize(4, 4);
  c.SetPixelColor(3, 3, TColor(0x123456));
  c.SetSize(8, 8);
  EXPECT_EQ(c.PixelColor(3, 3), 0x123456u);
  EXPECT_EQ(c.PixelColor(7, 7), 0u);
  c.SetSize(0, 8);
  EXPECT_EQ(c.Width(), 0);
  EXPECT_EQ(c.Height(), 0);
}

TEST(PlatformBitmap, DepthChangesConvertContent) {
  TBitmap b;  // 24 bits by default
  b.SetSize(2, 1);
  b.SetPixelColor(0, 0, TColor(0xffffff));
  b.SetPixelColor(1, 0, TColor(0x101010));
  b.SetBitsPerPixel(1);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.PaletteSize(), 2);
  EXPECT_EQ(b.PixelValue(0, 0), 1u);
  EXPECT_EQ(b.PixelValue(1, 0), 0u);
  b.SetBitsPerPixel(8);
  EXPECT_FALSE(b.Monochrome());
  EXPECT_EQ(b.PaletteSize(), 256);
  EXPECT_EQ(b.PixelColor(0, 0), 0xffffffu);  // indexes and entries carry over upwards
  EXPECT_EQ(b.PixelValue(0, 0), 1u);
  b.SetBitsPerPixel(24);
  EXPECT_EQ(b.PaletteSize(), 0);
  EXPECT_EQ(b.PixelColor(0, 0), 0xffffffu);
  EXPECT_EQ(b.PixelColor(1, 0), 0u);
}

TEST(PlatformBitmap, PaletteAndSystemColours) {
  TBitmap b;
  b.SetBitsPerPixel(8);
  b.SetSize(1, 1);
  b.SetPaletteEntry(7, TPaletteEntry{1, 2, 3, 0});
  b.SetPaletteEntry(300, TPaletteEntry{9, 9, 9, 0});  // ignored
  EXPECT_EQ(b.PaletteEntry(7), (TPaletteEntry{1, 2, 3, 0}));
  EXPECT_EQ(b.PaletteEntry(300), TPaletteEntry{});
  b.SetPixelColor(0, 0, RGBColor(1, 2, 3));
  EXPECT_EQ(b.PixelValue(0, 0), 7u);

  TBitmap t;
  t.SetSize(1, 1);
  t.SetPixelColor(0, 0, clBtnFace);
  EXPECT_EQ(t.PixelColor(0, 0), uint32_t(RGBColor(240, 240, 240)));
}

TEST(PlatformBitmap, InvalidDepthIsIgnoredAndHostileSizeRefused) {
  TBitmap b;
  b.SetBitsPerPixel(12);
  EXPECT_EQ(b.BitsPerPixel(), 24);
  EXPECT_THROW(b.SetSize(100000, 100000), std::bad_alloc);
  EXPECT_EQ(b.Width(), 0);
  TBitmap m;
  m.SetBitsPerPixel(1);
  m.SetSize(23200, 23200);  // 67 MB at 1 bit, beyond the 2 GiB cap at 32
  EXPECT_THROW(m.SetBitsPerPixel(32), std::bad_alloc);
  EXPECT_EQ(m.BitsPerPixel(), 1);  // left as it was
  EXPECT_EQ(m.Width(), 23200);
}

TEST(PlatformBitmap, BottomUpRowsKeepThePicture) {
  TBitmap b;
  b.SetBitsPerPixel(8);
  b.SetSize(3, 3);
  b.SetPixelValue(0, 0, 7);
  b.SetBottomUp(true);
  EXPECT_EQ(b.ScanLine(0), b.Bits() + 2 * b.RowBytes());
  EXPECT_EQ(b.PixelValue(0, 0), 7u);
  b.SetSize(4, 5);  // resizing keeps the top-left in either order
  EXPECT_EQ(b.PixelValue(0, 0), 7u);
  EXPECT_EQ(b.ScanLine(0), b.Bits() + 4 * b.RowBytes());
  b.SetBitsPerPixel(24);
  EXPECT_EQ(b.PixelColor(0, 0), b.PixelColor(0, 0));
  EXPECT_EQ(b.ScanLine(4), b.Bits());
}

TEST(PlatformBitmap, MonochromeMeansABlackAndWhitePalette) {
  TBitmap b;
  b.SetBitsPerPixel(1);
  EXPECT_TRUE(b.Monochrome());
  b.SetPaletteEntry(1, TPaletteEntry{255, 0, 0, 0});  // a colour palette
  EXPECT_FALSE(b.Monochrome());
  b.SetMonochrome(true);
  EXPECT_TRUE(b.Monochrome());
  EXPECT_EQ(b.PaletteEntry(1), (TPaletteEntry{255, 255, 255, 0}));
  b.SetBitsPerPixel(4);
  EXPECT_FALSE(b.Monochrome());
  b.SetMonochrome(true);  // only a 1-bit bitmap can be
  EXPECT_FALSE(b.Monochrome());
}
