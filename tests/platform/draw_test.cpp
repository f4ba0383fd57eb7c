#include "platform/draw.h"

#include <gtest/gtest.h>

#include "platform/bitmap.h"

static void Blank(TBitmap& b, int w, int h, int bpp = 24) {
  b.SetBitsPerPixel(bpp);
  b.SetSize(w, h);
}

TEST(Draw, HatchPatternsRepeatEveryEightPixels) {
  struct Case { TBrushStyle style; int x, y; bool set; };
  const Case cases[] = {
      {bsHorizontal, 3, 0, true},  {bsHorizontal, 3, 1, false}, {bsHorizontal, 5, 16, true},
      {bsVertical, 8, 3, true},    {bsVertical, 1, 0, false},
      {bsFDiagonal, 2, 2, true},   {bsFDiagonal, 2, 3, false},  {bsFDiagonal, 9, 1, true},
      {bsBDiagonal, 7, 0, true},   {bsBDiagonal, 0, 7, true},   {bsBDiagonal, 0, 0, false},
      {bsCross, 0, 5, true},       {bsCross, 5, 0, true},       {bsCross, 5, 5, false},
      {bsDiagCross, 3, 3, true},   {bsDiagCross, 3, 4, true},   {bsDiagCross, 3, 5, false},
      {bsSolid, 6, 6, true},
  };
  for (const Case& c : cases) EXPECT_EQ(HatchAt(c.style, c.x, c.y), c.set) << c.style << " " << c.x << "," << c.y;
}

TEST(Draw, HatchFillPaintsOnlyItsLinesInsideTheClip) {
  TBitmap b;
  Blank(b, 16, 16);
  FillRectStyled(b, Rect(0, 0, 16, 16), TColor(0x00ff00), bsSolid);
  FillRectStyled(b, Rect(0, 0, 16, 16), TColor(0x0000ff), bsCross, Rect(0, 0, 12, 16));
  EXPECT_EQ(b.PixelColor(5, 0), 0x0000ffu);
  EXPECT_EQ(b.PixelColor(8, 5), 0x0000ffu);
  EXPECT_EQ(b.PixelColor(5, 5), 0x00ff00u);   // gap untouched
  EXPECT_EQ(b.PixelColor(13, 8), 0x00ff00u);  // outside the clip
  FillRectStyled(b, Rect(-4, -4, 40, 40), clWindow, bsSolid);
  EXPECT_EQ(b.PixelColor(15, 15), 0xffffffu);
}

TEST(Draw, LinesExcludeTheirEndAndInvertTwiceRestores) {
  TBitmap b;
  Blank(b, 6, 6);
  DrawLine(b, 0, 0, 5, 5, TColor(0xffffff));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b.PixelColor(i, i), i < 5 ? 0xffffffu : 0u) << i;
  InvertLine(b, 0, 2, 6, 2);
  EXPECT_EQ(b.PixelColor(2, 2), 0u);  // white inverted
  EXPECT_EQ(b.PixelColor(3, 2), 0xffffffu);
  InvertLine(b, 0, 2, 6, 2);
  EXPECT_EQ(b.PixelColor(2, 2), 0xffffffu);
  EXPECT_EQ(b.PixelColor(3, 2), 0u);
  InvertLine(b, -10, 1, 100, 1, Rect(0, 0, 3, 6));  // clipped
  EXPECT_EQ(b.PixelColor(2, 1), 0xffffffu);
  EXPECT_EQ(b.PixelColor(3, 1), 0u);

  // Right to left and bottom to top: the start is drawn, the end is not.
  TBitmap r;
  Blank(r, 6, 6);
  DrawLine(r, 4, 0, 1, 0, TColor(0xffffff));
  DrawLine(r, 5, 4, 5, -1000000, TColor(0xffffff));
  EXPECT_EQ(r.PixelColor(4, 0), 0xffffffu);
  EXPECT_EQ(r.PixelColor(2, 0), 0xffffffu);
  EXPECT_EQ(r.PixelColor(1, 0), 0u);
  EXPECT_EQ(r.PixelColor(5, 4), 0xffffffu);
  EXPECT_EQ(r.PixelColor(5, 0), 0xffffffu);
  EXPECT_EQ(r.PixelColor(5, 5), 0u);

  TBitmap p;
  Blank(p, 4, 1, 8);
  InvertLine(p, 0, 0, 4, 0);
  EXPECT_EQ(p.PixelValue(1, 0), 255u);
}

TEST(Draw, SunkenEdgeUsesTheSystemColours) {
  TBitmap b;
  Blank(b, 6, 6);
  DrawSunkenEdge(b, Rect(0, 0, 6, 6));
  EXPECT_EQ(b.PixelColor(2, 0), ColorToRGB(clBtnShadow));
  EXPECT_EQ(b.PixelColor(0, 2), ColorToRGB(clBtnShadow));
  EXPECT_EQ(b.PixelColor(2, 5), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(b.PixelColor(5, 2), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(b.PixelColor(2, 1), ColorToRGB(cl3DDkShadow));
  EXPECT_EQ(b.PixelColor(4, 2), ColorToRGB(cl3DLight));
  EXPECT_EQ(b.PixelColor(2, 2), 0u);
}

TEST(Draw, VerticalGradientRunsFromTopToBottomColour) {
  TBitmap b;
  Blank(b, 2, 5);
  GradientFillV(b, Rect(0, 0, 2, 5), RGBColor(0, 0, 0), RGBColor(200, 100, 40));
  EXPECT_EQ(b.PixelColor(1, 0), 0u);
  EXPECT_EQ(b.PixelColor(1, 4), uint32_t(RGBColor(200, 100, 40)));
  EXPECT_EQ(b.PixelColor(0, 2), uint32_t(RGBColor(100, 50, 20)));
  GradientFillV(b, Rect(0, 0, 2, 1), RGBColor(9, 9, 9), RGBColor(200, 200, 200));  // one row: top colour
  EXPECT_EQ(b.PixelColor(0, 0), uint32_t(RGBColor(9, 9, 9)));
}
