#include "codecs/common/resolution.h"

#include <gtest/gtest.h>

namespace {

TEST(Resolution, PixelsPerMetreToDotsPerInch) {
  struct TCase {
    int64_t ppm;
    int32_t dpi;
  };
  const TCase cases[] = {
      {2835, 72},   {3780, 96},  {11811, 300}, {39, 1},  {20, 1},
      {19, -1},     {0, -1},     {-5, -1},     {int64_t(1) << 40, INT32_MAX},
  };
  for (const auto& c : cases) EXPECT_EQ(DpiFromPixelsPerMetre(c.ppm, -1), c.dpi) << c.ppm;
  EXPECT_EQ(DpiFromPixelsPerMetre(0, 300), 300);
}

TEST(Resolution, DotsPerInchToPixelsPerMetre) {
  EXPECT_EQ(PixelsPerMetreFromDpi(72), 2835u);
  EXPECT_EQ(PixelsPerMetreFromDpi(300), 11811u);
  EXPECT_EQ(PixelsPerMetreFromDpi(0), 0u);
  EXPECT_EQ(PixelsPerMetreFromDpi(-3), 0u);
  EXPECT_EQ(PixelsPerMetreFromDpi(INT32_MAX), uint32_t(INT32_MAX));
  for (int dpi : {1, 72, 96, 150, 300, 600, 1200, 2400})
    EXPECT_EQ(DpiFromPixelsPerMetre(PixelsPerMetreFromDpi(dpi), 0), dpi) << "round trip of " << dpi;
}

}  // namespace
