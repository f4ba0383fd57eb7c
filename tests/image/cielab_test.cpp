#include "image/cielab.h"
#include "image/rowconvert.h"

#include <gtest/gtest.h>

TEST(CIELab, FromRGB) {
  struct Case { TRGB in; TCIELab out; };
  const Case cases[] = {
      {CreateRGB(0, 0, 0), {0, 0, 0}},
      {CreateRGB(255, 255, 255), {242, -24, -6}},
      {CreateRGB(255, 0, 0), {141, 127, 78}},
  };
  for (const Case& c : cases) {
    const TCIELab l = RGBToCIELab(c.in);
    EXPECT_EQ(int(l.l), int(c.out.l));
    EXPECT_EQ(int(l.a), int(c.out.a));
    EXPECT_EQ(int(l.b), int(c.out.b));
  }
}

TEST(CIELab, ToRGB) {
  struct Case { TCIELab in; TRGB out; };
  const Case cases[] = {
      {{255, 0, 0}, CreateRGB(254, 255, 255)},
      {{0, 0, 0}, CreateRGB(0, 2, 4)},
      {{128, 0, 0}, CreateRGB(109, 110, 111)},
      {{255, -128, -128}, CreateRGB(255, 119, 41)},
  };
  for (const Case& c : cases) {
    const TRGB r = CIELabToRGB(c.in);
    EXPECT_EQ(int(r.r), int(c.out.r));
    EXPECT_EQ(int(r.g), int(c.out.g));
    EXPECT_EQ(int(r.b), int(c.out.b));
  }
}

TEST(RowConverter, CMYKBothWaysAndUnknownPairs) {
  const uint8_t cmyk[] = {255, 128, 0, 255, 10, 20, 30, 0};
  uint8_t bgr[6] = {};
  CMYKRowConverter(cmyk, rkCMYK, bgr, rkBGR, 2);
  EXPECT_EQ(bgr[2], 255);  // red = c*k/255
  EXPECT_EQ(bgr[1], 128);
  EXPECT_EQ(bgr[0], 0);
  EXPECT_EQ(bgr[3] + bgr[4] + bgr[5], 0);
  const uint8_t in[] = {0, 0, 0, 50, 100, 200};  // black, then b=50 g=100 r=200
  uint8_t out[8] = {};
  CMYKRowConverter(in, rkBGR, out, rkCMYK, 2);
  EXPECT_EQ(out[3], 1);  // black has k 1
  EXPECT_EQ(out[4], 255);
  EXPECT_EQ(out[5], 127);
  EXPECT_EQ(out[6], 63);
  EXPECT_EQ(out[7], 200);
  uint8_t untouched[3] = {9, 9, 9};
  CMYKRowConverter(in, rkCMYK, untouched, rkCIELab, 1);
  EXPECT_EQ(untouched[0], 9);
}
