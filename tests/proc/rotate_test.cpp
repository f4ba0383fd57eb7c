#include "proc/rotate.h"

#include <gtest/gtest.h>

#include "image/bitmap.h"
#include "platform/syscolors.h"

// A 24-bit picture whose every pixel tells its own coordinates.
static void Coordinates(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* p = b.Scanline(y);
    for (int x = 0; x < w; ++x, p += 3) {
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = 7;
    }
  }
}

static std::pair<int, int> At(TLXBitmap& b, int x, int y) {
  const TRGB c = b.GetPixelRGB(x, y);
  return {c.b, c.g};
}

static void Bits(TLXBitmap& b, int w, int h, std::initializer_list<std::pair<int, int>> set) {
  b.Allocate(w, h, lx1g);
  b.Fill(0);
  for (auto [x, y] : set) b.Scanline(y)[x >> 3] |= uint8_t(0x80 >> (x & 7));
}

static bool Bit(TLXBitmap& b, int x, int y) { return (b.Scanline(y)[x >> 3] >> (7 - (x & 7))) & 1; }

TEST(Rotate, QuarterTurnsMapCornersBothWays) {
  struct Case { double angle; int w, h; std::pair<int, int> topLeft, bottomRight; };
  const Case cases[] = {
      {90, 50, 100, {99, 0}, {0, 49}},    // top-left is the source's top-right
      {-90, 50, 100, {0, 49}, {99, 0}},   // top-left is the source's bottom-left
      {270, 50, 100, {0, 49}, {99, 0}},
      {180, 100, 50, {99, 49}, {0, 0}},
      {-180, 100, 50, {99, 49}, {0, 0}},
      {450, 50, 100, {99, 0}, {0, 49}},
  };
  for (const Case& c : cases) {
    TLXBitmap b;
    Coordinates(b, 100, 50);
    RotateBitmap(&b, false, nullptr, {}, 0, c.angle);
    ASSERT_EQ(b.Width(), c.w) << c.angle;
    ASSERT_EQ(b.Height(), c.h) << c.angle;
    EXPECT_EQ(At(b, 0, 0), c.topLeft) << c.angle;
    EXPECT_EQ(At(b, c.w - 1, c.h - 1), c.bottomRight) << c.angle;
  }
}

TEST(Rotate, ZeroChangesNothingAndFourTurnsRestore) {
  TLXBitmap b;
  Coordinates(b, 7, 3);
  uint8_t* first = b.Scanline(0);
  RotateBitmap(&b, false, nullptr, {}, 0, 0);
  EXPECT_EQ(b.Scanline(0), first);
  for (int i = 0; i < 4; ++i) RotateBitmap(&b, false, nullptr, {}, 0, 90);
  ASSERT_EQ(b.Width(), 7);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(At(b, x, y), std::make_pair(x, y));
}

TEST(Rotate, BilevelTurnsMoveEachBit) {
  TLXBitmap b;
  Bits(b, 10, 3, {{9, 0}, {0, 2}});
  RotateBitmap(&b, false, nullptr, {}, 0, 90);  // dst(x, y) = src(W-1-y, x)
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 10);
  EXPECT_TRUE(Bit(b, 0, 0));
  EXPECT_TRUE(Bit(b, 2, 9));
  EXPECT_FALSE(Bit(b, 1, 0));
  RotateBitmap(&b, false, nullptr, {}, 0, -90);
  ASSERT_EQ(b.Width(), 10);
  EXPECT_TRUE(Bit(b, 9, 0));
  EXPECT_TRUE(Bit(b, 0, 2));
  RotateBitmap(&b, false, nullptr, {}, 0, 180);
  EXPECT_TRUE(Bit(b, 0, 2));
  EXPECT_TRUE(Bit(b, 9, 0));
  EXPECT_FALSE(Bit(b, 9, 2));
  EXPECT_EQ(b.PixelFormat(), lx1g);
}

TEST(Rotate, AlphaChannelTurnsWithThePicture) {
  TLXBitmap b;
  Coordinates(b, 4, 2);
  b.AlphaChannel()->Scanline(0)[3] = 10;  // top-right
  RotateBitmap(&b, false, nullptr, {}, 0, 90);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaChannel()->Width(), 2);
  EXPECT_EQ(b.AlphaAt(0, 0), 10);
  EXPECT_EQ(b.AlphaAt(1, 0), 255);
  EXPECT_FALSE(b.AlphaChannel()->Full);
}

TEST(Rotate, OtherFormatsAndSmallAnglesDoNotBreak) {
  TLXBitmap g;
  g.Allocate(3, 2, lx8p);
  g.SetPaletteEntry(5, 0x123456);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) g.Scanline(y)[x] = uint8_t(x + 3 * y);
  RotateBitmap(&g, false, nullptr, {}, 0, -90);  // dst(x, y) = src(y, H-1-x)
  ASSERT_EQ(g.Width(), 2);
  EXPECT_EQ(g.Pixel8(0, 0), 3);
  EXPECT_EQ(g.Pixel8(1, 2), 2);
  EXPECT_EQ(PackRGB(g.GetPaletteEntry(5)), 0x123456);

  TLXBitmap c;
  Coordinates(c, 20, 10);
  RotateBitmap(&c, false, nullptr, {}, RGBColor(0, 0, 255), 30);  // turned, corners take the background
  EXPECT_GT(c.Height(), 10);
  EXPECT_EQ(c.GetPixelRGB(0, 0), CreateRGB(0, 0, 255));

  TLXBitmap empty;
  RotateBitmap(&empty, false, nullptr, {}, 0, 90);
  RotateBitmap(nullptr, false, nullptr, {}, 0, 90);
  EXPECT_EQ(empty.Width(), 0);
}

TEST(Flip, MirrorsBothWays) {
  TLXBitmap b;
  Coordinates(b, 5, 3);
  FlipBitmap(&b, 0);
  EXPECT_EQ(At(b, 0, 0), std::make_pair(4, 0));
  EXPECT_EQ(At(b, 4, 2), std::make_pair(0, 2));
  FlipBitmap(&b, 1);
  EXPECT_EQ(At(b, 0, 0), std::make_pair(4, 2));
  FlipBitmap(&b, 1);
  FlipBitmap(&b, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(At(b, x, y), std::make_pair(x, y));
}

TEST(Flip, BilevelRowsOfAnyWidth) {
  for (int w : {10, 8, 1, 17}) {
    TLXBitmap b;
    Bits(b, w, 2, {{0, 0}, {w - 1, 1}});
    FlipBitmap(&b, 0);
    EXPECT_TRUE(Bit(b, w - 1, 0)) << w;
    EXPECT_TRUE(Bit(b, 0, 1)) << w;
    for (int x = 1; x + 1 < w; ++x) EXPECT_FALSE(Bit(b, x, 0)) << w << " " << x;
    FlipBitmap(&b, 1);
    EXPECT_TRUE(Bit(b, w - 1, 1)) << w;
  }
}

TEST(Flip, OtherFormatsUnchangedAlphaFollows) {
  TLXBitmap g;
  g.Allocate(3, 1, lx8g);
  g.Scanline(0)[0] = 1;
  FlipBitmap(&g, 0);
  EXPECT_EQ(g.Pixel8(0, 0), 1);

  TLXBitmap b;
  Coordinates(b, 3, 1);
  b.AlphaChannel()->Scanline(0)[0] = 0;
  FlipBitmap(&b, 0);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaAt(2, 0), 0);
  EXPECT_EQ(b.AlphaAt(0, 0), 255);
}

TEST(Rotate, PlatformLocatedBitmapsTurnToo) {
  TLXBitmap b;
  b.SetLocation(lxTBitmap);
  Coordinates(b, 6, 4);
  ASSERT_EQ(b.Location(), lxTBitmap);
  RotateBitmap(&b, false, nullptr, {}, 0, -90);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(At(b, 0, 0), std::make_pair(0, 3));
  FlipBitmap(&b, 0);
  EXPECT_EQ(At(b, 3, 0), std::make_pair(0, 3));
}

TEST(Rotate, FileLocatedBitmapsTurnToo) {
  TLXBitmap b;
  b.MemoryThreshold = 0;
  Coordinates(b, 6, 4);
  ASSERT_EQ(b.Location(), lxFile);
  RotateBitmap(&b, false, nullptr, {}, 0, 90);
  EXPECT_EQ(b.Width(), 4);
  EXPECT_EQ(At(b, 0, 0), std::make_pair(5, 0));
  FlipBitmap(&b, 1);
  EXPECT_EQ(At(b, 0, 5), std::make_pair(5, 0));
}
