#include "platform/canvas.h"

#include <gtest/gtest.h>

#include "platform/bitmap.h"

static void Shape(TBitmap& b, int bpp, int w, int h) {
  b.SetBitsPerPixel(bpp);
  b.SetSize(w, h);
}

TEST(Canvas, FillRectClipsAndResolvesSystemColours) {
  TBitmap b;
  Shape(b, 24, 4, 4);
  b.Canvas().FillRect(Rect(-5, -5, 2, 2), TColor(0x0000ff));
  b.Canvas().FillRect(Rect(3, 3, 100, 100), clWindow);
  EXPECT_EQ(b.PixelColor(0, 0), 0x0000ffu);
  EXPECT_EQ(b.PixelColor(1, 1), 0x0000ffu);
  EXPECT_EQ(b.PixelColor(2, 2), 0u);
  EXPECT_EQ(b.PixelColor(3, 3), 0xffffffu);
  EXPECT_EQ(b.ScanLine(0)[2], 0xff);  // red is stored last (blue, green, red)

  TBitmap mono;
  Shape(mono, 1, 9, 1);
  mono.Canvas().FillRect(Rect(1, 0, 9, 1), TColor(0xffffff));
  EXPECT_EQ(mono.ScanLine(0)[0], 0x7f);
  EXPECT_EQ(mono.ScanLine(0)[1], 0x80);
}

TEST(Canvas, DrawConvertsDepthAndClips) {
  TBitmap mono;
  Shape(mono, 1, 3, 2);
  mono.SetPixelValue(0, 0, 1);
  mono.SetPixelValue(2, 1, 1);
  TBitmap colour;
  Shape(colour, 24, 4, 4);
  colour.Canvas().FillRect(Rect(0, 0, 4, 4), TColor(0x00ff00));
  colour.Canvas().Draw(2, 2, mono);
  EXPECT_EQ(colour.PixelColor(2, 2), 0xffffffu);
  EXPECT_EQ(colour.PixelColor(3, 2), 0u);
  EXPECT_EQ(colour.PixelColor(3, 3), 0u);  // column 1 of row 1; column 2 clipped away
  EXPECT_EQ(colour.PixelColor(1, 1), 0x00ff00u);

  colour.Canvas().Draw(-2, -1, mono);  // only mono (2, 1) lands, at (0, 0)
  EXPECT_EQ(colour.PixelColor(0, 0), 0xffffffu);
  EXPECT_EQ(colour.PixelColor(1, 0), 0x00ff00u);
}

TEST(Canvas, SameDepthDrawKeepsBitsAtAnyOffset) {
  TBitmap src, dst;
  Shape(src, 1, 5, 1);
  for (int x = 0; x < 5; ++x) src.SetPixelValue(x, 0, 1);
  Shape(dst, 1, 16, 1);
  dst.Canvas().Draw(6, 0, src);
  EXPECT_EQ(dst.ScanLine(0)[0], 0x03);
  EXPECT_EQ(dst.ScanLine(0)[1], 0xe0);
}

TEST(Canvas, CopyRectStretchesAndHandlesOverlap) {
  TBitmap src;
  Shape(src, 8, 2, 1);
  src.SetPixelValue(0, 0, 10);
  src.SetPixelValue(1, 0, 20);
  TBitmap dst;
  Shape(dst, 8, 4, 2);
  dst.Canvas().CopyRect(Rect(0, 0, 4, 2), src, Rect(0, 0, 2, 1));
  const uint32_t expected[] = {10, 10, 20, 20};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.PixelValue(x, y), expected[x]);

  // Shift a row right by one onto itself.
  dst.Canvas().CopyRect(Rect(1, 0, 4, 1), dst, Rect(0, 0, 3, 1));
  const uint32_t shifted[] = {10, 10, 10, 20};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.PixelValue(x, 0), shifted[x]);

  // A source rectangle partly outside the source leaves those pixels alone.
  dst.Canvas().CopyRect(Rect(0, 1, 2, 2), src, Rect(1, 0, 3, 1));
  EXPECT_EQ(dst.PixelValue(0, 1), 20u);
  EXPECT_EQ(dst.PixelValue(1, 1), 10u);
}
