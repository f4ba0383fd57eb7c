#include "image/mask.h"

#include <gtest/gtest.h>

TEST(Mask, OneBitRowsAreBottomUpMostSignificantFirst) {
  TLXMask m;
  m.Allocate(10, 2, 1);
  EXPECT_EQ(m.RowLength(), 4);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(m.Data()[i], 0) << i;
  m.SetPixel(9, 0, 1);
  EXPECT_EQ(m.Data()[4 + 1], 0x40);  // bit 6 of byte 1 of the last row of the block
  EXPECT_EQ(m.Scanline(0), m.Data() + 4);
  EXPECT_TRUE(m.IsPointInside(9, 0));
  m.SetPixel(9, 0, 0);
  EXPECT_EQ(m.GetPixel(9, 0), 0);
}

TEST(Mask, FullFollowsTheEightBitValues) {
  TLXMask m;
  m.Allocate(4, 3, 8);
  EXPECT_FALSE(m.Full);
  m.Fill(255);
  EXPECT_TRUE(m.Full);
  m.SetPixel(1, 1, 0);
  EXPECT_FALSE(m.Full);
  m.SetPixel(1, 1, 255);
  EXPECT_FALSE(m.Full);  // never set again by a pixel
  m.Fill(254);
  EXPECT_FALSE(m.Full);

  TLXMask mono;
  mono.Allocate(4, 3, 1);
  mono.Fill(0);
  EXPECT_TRUE(mono.Full);
  mono.SetPixel(0, 0, 0);
  EXPECT_TRUE(mono.Full);
}

TEST(Mask, BoundingBoxAndOutOfRange) {
  TLXMask m;
  m.Allocate(8, 8, 8);
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.X1, 2147483647);
  EXPECT_EQ(m.X2, 0);
  m.SetPixel(-1, 0, 9);
  m.SetPixel(0, 8, 9);
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.GetPixel(-1, 0), 0);
  m.SetPixel(5, 2, 7);
  m.SetPixel(3, 6, 1);
  m.SetPixel(7, 7, 0);  // zero values do not grow the box
  EXPECT_FALSE(m.IsEmpty());
  EXPECT_EQ(m.X1, 3);
  EXPECT_EQ(m.Y1, 2);
  EXPECT_EQ(m.X2, 5);
  EXPECT_EQ(m.Y2, 6);
  EXPECT_EQ(m.GetPixel(5, 2), 7);
  m.Clear();
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_EQ(m.GetPixel(5, 2), 0);
}

TEST(Mask, SpansClampIntoTheMask) {
  TLXMask m;
  m.Allocate(12, 2, 1);
  m.FillSpan(0, -5, 1, 9);  // a 1-bit span is set whatever the value
  for (int x = 0; x < 12; ++x) EXPECT_EQ(m.GetPixel(x, 1) != 0, x <= 9) << x;
  TLXMask g;
  g.Allocate(5, 5, 8);
  g.Fill(255);
  g.FillSpan(100, 3, 99, 99);  // row and columns clamped
  EXPECT_EQ(g.GetPixel(3, 4), 100);
  EXPECT_EQ(g.GetPixel(4, 4), 100);
  EXPECT_EQ(g.GetPixel(2, 4), 255);
  EXPECT_FALSE(g.Full);
}

TEST(Mask, RefusedSizesLeaveItEmpty) {
  struct Case { int w, h, bpp; };
  const Case cases[] = {{0, 5, 8}, {5, -1, 8}, {100000, 100000, 8}, {4, 4, 4}};
  for (const Case& c : cases) {
    TLXMask m;
    m.Allocate(c.w, c.h, c.bpp);
    EXPECT_EQ(m.Width(), 0);
    EXPECT_EQ(m.Height(), 0);
    EXPECT_EQ(m.BitsPerPixel(), 0);
    m.Fill(255);      // harmless on an empty mask
    m.FillSpan(1, 0, 0, 3);
    m.SetPixel(0, 0, 1);
    EXPECT_EQ(m.GetPixel(0, 0), 0);
  }
  TLXMask m;
  m.Allocate(3, 3, 8);
  m.FreeMask();
  EXPECT_EQ(m.RowLength(), 0);
}
