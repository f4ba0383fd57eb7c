#include "image/dibbitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/bitmap.h"
#include "platform/canvas.h"

TEST(DibBitmap, RowsAreBottomUpAndHeaderDescribesThem) {
  TLXDibbitmap d;
  EXPECT_EQ(d.Header()[0], 40);
  EXPECT_EQ(d.Header()[44], 255);  // colour entry 1 is white
  d.AllocateDib(3, 2, 24);
  EXPECT_EQ(d.RowLength(), 12);
  EXPECT_EQ(d.Scanline(0), d.Bits() + 12);
  EXPECT_EQ(d.Scanline(1), d.Bits());
  EXPECT_EQ(d.PixelFormat(), lx24RGB);
  const auto& h = d.Header();
  EXPECT_EQ(h[4], 3);
  EXPECT_EQ(h[8], 2);
  EXPECT_EQ(h[12], 1);
  EXPECT_EQ(h[14], 24);
  EXPECT_EQ(h[20], 24);  // image size = RowLength * Height
}

TEST(DibBitmap, AllocateTakesOnlyBilevelAndTrueColour) {
  struct Case { TLXPixelFormat format; int bits; TLXPixelFormat result; };
  const Case cases[] = {{lx1g, 1, lx1g}, {lx24RGB, 24, lx24RGB}, {lx8g, 0, lxNone}, {lx32f, 0, lxNone}};
  for (const Case& c : cases) {
    TLXDibbitmap d;
    d.Allocate(10, 10, c.format);
    EXPECT_EQ(d.BitCount(), c.bits) << int(c.format);
    EXPECT_EQ(d.PixelFormat(), c.result) << int(c.format);
  }
  TLXDibbitmap d;
  d.AllocateDib(4, 4, 1);
  d.AllocateDib(0, 7, 24);  // a zero side changes nothing
  EXPECT_EQ(d.Width(), 4);
  d.AllocateDib(-4, 4, 24);  // refused sizes leave it empty
  EXPECT_EQ(d.Width(), 0);
  d.AllocateDib(100000, 100000, 24);
  EXPECT_EQ(d.Bits(), nullptr);
  EXPECT_EQ(d.Canvas(), nullptr);
}

TEST(DibBitmap, CanvasDrawsIntoTheAddressableRows) {
  TLXDibbitmap d;
  d.AllocateDib(4, 3, 24);
  d.Canvas()->FillRect(Rect(0, 0, 4, 3), TColor(0));
  d.Canvas()->FillRect(Rect(0, 0, 4, 1), TColor(0x0000ff));  // top row red
  EXPECT_EQ(d.Scanline(0)[2], 255);
  EXPECT_EQ(d.Scanline(0)[0], 0);
  EXPECT_EQ(d.Scanline(1)[2], 0);
  EXPECT_EQ(d.Bits() + 2 * d.RowLength(), d.Scanline(0));
}

TEST(DibBitmap, AssignCopiesAnotherWrapper) {
  TLXDibbitmap a, b;
  a.AllocateDib(9, 2, 1);
  std::memset(a.Bits(), 0, size_t(a.RowLength() * 2));
  a.Scanline(1)[1] = 0x80;
  b.Assign(&a);
  EXPECT_EQ(b.Width(), 9);
  EXPECT_EQ(b.BitCount(), 1);
  EXPECT_EQ(b.Scanline(1)[1], 0x80);
  TLXDibbitmap empty;
  b.Assign(&empty);
  EXPECT_EQ(b.Width(), 0);
}
