#include "codecs/common/imageguard.h"

#include <gtest/gtest.h>

#include "image/types.h"

namespace {

TEST(ImageGuard, BlocksCountTogether) {
  // 16384 x 16384 at 24 bits is 768 MiB: alone it fits the 2 GiB cap...
  TImageClaim claim{.Width = 16384, .Height = 16384, .BitmapBits = 24};
  EXPECT_EQ(ImageClaimBytes(claim), int64_t(768) << 20);
  // ...with a mask and the alpha channel made from it (256 MiB each) too...
  claim.Mask = true;
  EXPECT_EQ(ImageClaimBytes(claim), int64_t(1280) << 20);
  // ...but not with a decoder that keeps as much again.
  claim.ExtraBytes = int64_t(800) << 20;
  EXPECT_FALSE(ImageClaimBytes(claim));
  claim.ExtraBytes = -1;
  EXPECT_FALSE(ImageClaimBytes(claim));
  EXPECT_FALSE(ImageClaimBytes(TImageClaim{.Width = 0, .Height = 5}));
  EXPECT_FALSE(ImageClaimBytes(TImageClaim{.Width = 1, .Height = kMaxImageSide, .BitmapBits = 32}));
  EXPECT_FALSE(ImageClaimBytes(TImageClaim{.Width = 1, .Height = 1, .ExtraBytes = INT64_MAX}));
}

TEST(ImageGuard, CodedDataMustBeAbleToProduceThePicture) {
  // A 70-byte PNG claiming 1 x 100,000,000 RGBA pixels.
  TImageClaim png{.Width = 1, .Height = 100000000, .BitmapBits = 24, .Mask = true,
                  .Units = 100000000 * int64_t(5), .CodedBytes = 20,
                  .UnitsPerByte = kDeflateUnitsPerByte};
  EXPECT_TRUE(ImageClaimBytes(png));
  EXPECT_FALSE(ImageClaimCouldDecode(png));
  EXPECT_FALSE(ImageClaimFits(png));
  // The same picture with the data it needs at the greatest expansion.
  png.CodedBytes = png.Units / kDeflateUnitsPerByte + 1;
  EXPECT_TRUE(ImageClaimFits(png));
  // Exactly at the bound, slack counted.
  TImageClaim raw{.Width = 10, .Height = 10, .Units = 300, .CodedBytes = 236, .SlackBytes = 64};
  EXPECT_TRUE(ImageClaimCouldDecode(raw));
  raw.CodedBytes = 235;
  EXPECT_FALSE(ImageClaimCouldDecode(raw));
  raw.Units = 0;  // no coded size to test against
  EXPECT_TRUE(ImageClaimCouldDecode(raw));
  // Huge counts do not overflow.
  TImageClaim huge{.Units = INT64_MAX, .CodedBytes = INT64_MAX / 2, .UnitsPerByte = INT64_MAX};
  EXPECT_TRUE(ImageClaimCouldDecode(huge));
}

}  // namespace
