#include "io/params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

#include "image/annotations.h"
#include "image/bitmap.h"
#include "image/metadata.h"
#include "io/controller.h"

TEST(IOParams, FreshRecordHasTheTabledDefaults) {
  TIOParamsVals p(nullptr);
  EXPECT_EQ(p.FileType, 0);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.JPEGQuality, 80);
  EXPECT_EQ(p.JPEGScale, 1);
  EXPECT_EQ(p.JPEGColorSpace, 2);
  EXPECT_EQ(p.GIFVersion, "GIF89a");
  EXPECT_EQ(p.PSTitle, "No Title");
  EXPECT_EQ(p.TIFFPhotometric, 2);
  EXPECT_EQ(p.TIFFPlanarConfig, 1);
  EXPECT_EQ(p.TIFFOrientation(), 1);
  EXPECT_EQ(p.TIFFJPEGQuality, 80);
  EXPECT_EQ(p.PCXVersion, 5);
  EXPECT_EQ(p.PCXCompression, 1);
  EXPECT_EQ(p.BMPVersion, 1);
  EXPECT_EQ(p.PNGCompression, 5);
  EXPECT_TRUE(p.TGACompressed);
  EXPECT_DOUBLE_EQ(p.TGAGamma, 2.2);
  EXPECT_DOUBLE_EQ(p.J2KRate, 1.0);
  EXPECT_EQ(p.PSPaperWidth, 595);
  EXPECT_EQ(p.PDFPaperHeight, 842);
  EXPECT_EQ(p.PDFCompression, 2);
  EXPECT_EQ(p.IconBackground, (TRGB{255, 255, 255}));
  EXPECT_EQ(p.CursorBackground, (TRGB{255, 255, 255}));
  EXPECT_EQ(p.IconSizes[0], (TIconSize{64, 64}));
  EXPECT_EQ(p.IconBitCounts[0], 8);
  for (int i = 1; i < kIconEntries; ++i) {
    EXPECT_EQ(p.IconSizes[size_t(i)], TIconSize{});
    EXPECT_EQ(p.IconBitCounts[size_t(i)], 0);
  }
  EXPECT_EQ(p.IconImageCount(), 1);
  EXPECT_EQ(p.DescriptiveName(), "");
  EXPECT_EQ(p.ColorMapCount, 0);
  EXPECT_TRUE(p.ColorMap.empty());
  EXPECT_EQ(p.JPEGMarkers->Count(), 0);
  EXPECT_EQ(p.IPTCInfo->Count(), 0);
  EXPECT_FALSE(p.EXIFPresent);
  EXPECT_EQ(p.EXIFThumbnail, nullptr);
  EXPECT_EQ(p.EXIFOrientation(), 0);  // ResetEXIF ran last and leaves TIFFOrientation alone
  // Today, time of day 0.
  EXPECT_GT(p.TGADate, 45000.0);
  EXPECT_EQ(p.TGADate, std::floor(p.TGADate));
  EXPECT_DOUBLE_EQ(p.TGADate, IOTodayDate());
}

TEST(IOParams, TGADateCountsDaysFromTheEndOf1899) {
  // 1970-01-01 is day 25569 of that calendar; local time may differ from UTC by a day.
  const double utcDays = double(std::time(nullptr) / 86400) + 25569.0;
  EXPECT_NEAR(IOTodayDate(), utcDays, 1.0);
}

TEST(IOParams, ResolutionSettersCarryTheEXIFResolution) {
  TIOParamsVals p(nullptr);
  p.SetDpiX(300);
  EXPECT_DOUBLE_EQ(p.EXIFXResolution(), 300.0);
  p.SetEXIFXResolution(299.9);
  EXPECT_EQ(p.DpiX(), 299);
  EXPECT_DOUBLE_EQ(p.EXIFXResolution(), 299.0);
  p.SetDpiY(72);
  EXPECT_DOUBLE_EQ(p.EXIFYResolution(), 72.0);
  p.SetEXIFYResolution(-0.5);  // toward zero
  EXPECT_EQ(p.DpiY(), 0);
  p.SetEXIFYResolution(1e12);  // saturates instead of overflowing
  EXPECT_EQ(p.DpiY(), INT32_MAX);
}

TEST(IOParams, OrientationIsMirroredBothWays) {
  TIOParamsVals p(nullptr);
  p.SetTIFFOrientation(6);
  EXPECT_EQ(p.EXIFOrientation(), 6);
  p.SetEXIFOrientation(3);
  EXPECT_EQ(p.TIFFOrientation(), 3);
  p.ResetEXIF();
  EXPECT_EQ(p.EXIFOrientation(), 0);
  EXPECT_EQ(p.TIFFOrientation(), 3);
}

TEST(IOParams, ResetInfoKeepsTheWritingChoices) {
  TIOParamsVals p(nullptr);
  p.JPEGQuality = 55;
  p.IconSizes[1] = {32, 32};
  p.TIFFCompression = 5;
  p.TIFFDocumentName = "doc";
  p.TIFFPageName = "page";
  p.TGAAuthor = "me";
  p.GIFComments = {"a", "b"};
  p.PXMComments = {"c"};
  p.EXIFPresent = true;
  p.EXIFMake = "Make";
  p.EXIFFNumber = 2.8;
  p.EXIFISOSpeedRatings[1] = 100;
  p.EnsureEXIFThumbnail();
  const uint8_t payload[3] = {1, 2, 3};
  p.JPEGMarkers->AddMarker(225, payload, 3);
  p.IPTCInfo->AddRecord(2, 120, 3, payload);
  p.SetDpiX(150);

  p.ResetInfo();
  EXPECT_EQ(p.JPEGQuality, 55);
  EXPECT_EQ(p.IconSizes[1], (TIconSize{32, 32}));
  EXPECT_EQ(p.TIFFCompression, 5);
  EXPECT_EQ(p.DpiX(), 150);
  EXPECT_EQ(p.TIFFDocumentName, "");
  EXPECT_EQ(p.TIFFPageName, "");
  EXPECT_EQ(p.TGAAuthor, "");
  EXPECT_TRUE(p.GIFComments.empty());
  EXPECT_TRUE(p.PXMComments.empty());
  EXPECT_FALSE(p.EXIFPresent);
  EXPECT_EQ(p.EXIFMake, "");
  EXPECT_EQ(p.EXIFFNumber, 0.0);
  EXPECT_EQ(p.EXIFISOSpeedRatings[1], 0);
  EXPECT_EQ(p.EXIFXResolution(), 0.0);
  EXPECT_EQ(p.EXIFThumbnail, nullptr);
  EXPECT_EQ(p.JPEGMarkers->Count(), 0);
  EXPECT_EQ(p.IPTCInfo->Count(), 0);
}

TEST(IOParams, AssignCopiesThePaletteAsAnOwnBlock) {
  TIOParamsVals src(nullptr), dst(nullptr);
  src.SetColorMapCount(16);
  src.ColorMap[15] = TRGB{1, 2, 3};
  dst.Assign(src);
  ASSERT_EQ(dst.ColorMapCount, 16);
  ASSERT_EQ(dst.ColorMap.size() * sizeof(TRGB), 48u);
  EXPECT_NE(dst.ColorMap.data(), src.ColorMap.data());
  EXPECT_EQ(dst.ColorMap[15], (TRGB{1, 2, 3}));

  TIOParamsVals none(nullptr);
  dst.Assign(none);
  EXPECT_EQ(dst.ColorMapCount, 0);
  EXPECT_TRUE(dst.ColorMap.empty());
}

TEST(IOParams, AssignCopiesEverythingButOwnerAndNativeFormat) {
  TTalvexIO owner;
  TIOParamsVals src(nullptr), dst(&owner);
  src.NativePixelFormat = true;
  src.JPEGQuality = 12;
  src.SetDpiX(96);
  src.SetDpiY(120);
  src.SetTIFFOrientation(8);
  src.GIFComments = {"x"};
  src.IconSizes[2] = {5, 3};
  src.FileName = "a.bmp";
  src.EXIFMake = "maker";
  src.EXIFPrimaryChromaticities[5] = 0.25;
  const uint8_t payload[2] = {9, 8};
  src.JPEGMarkers->AddMarker(254, payload, 2);
  src.IPTCInfo->AddRecord(2, 5, 2, payload);
  src.EnsureEXIFThumbnail()->Allocate(4, 3, lx24RGB);

  dst.Assign(src);
  EXPECT_EQ(dst.OwnerIO, &owner);
  EXPECT_FALSE(dst.NativePixelFormat);
  EXPECT_EQ(dst.JPEGQuality, 12);
  EXPECT_EQ(dst.DpiX(), 96);
  EXPECT_EQ(dst.DpiY(), 120);
  EXPECT_EQ(dst.EXIFXResolution(), 96.0);
  EXPECT_EQ(dst.EXIFOrientation(), 8);
  EXPECT_EQ(dst.GIFComments, src.GIFComments);
  EXPECT_EQ(dst.IconSizes[2], (TIconSize{5, 3}));
  EXPECT_EQ(dst.FileName, "a.bmp");
  EXPECT_EQ(dst.EXIFMake, "maker");
  EXPECT_EQ(dst.EXIFPrimaryChromaticities[5], 0.25);
  ASSERT_EQ(dst.JPEGMarkers->Count(), 1);
  EXPECT_NE(dst.JPEGMarkers->MarkerData(0), src.JPEGMarkers->MarkerData(0));
  EXPECT_EQ(dst.IPTCInfo->Count(), 1);
  ASSERT_NE(dst.EXIFThumbnail, nullptr);
  EXPECT_NE(dst.EXIFThumbnail.get(), src.EXIFThumbnail.get());
  EXPECT_EQ(dst.EXIFThumbnail->Width(), 4);

  // A source without thumbnail leaves the destination's own.
  TIOParamsVals bare(nullptr);
  dst.Assign(bare);
  ASSERT_NE(dst.EXIFThumbnail, nullptr);
  EXPECT_EQ(dst.EXIFThumbnail->Width(), 4);
}

TEST(IOParams, IconCountStopsAtTheFirstUnusableEntry) {
  TIOParamsVals p(nullptr);
  p.IconSizes[1] = {32, 32};
  p.IconSizes[2] = {0, 16};
  p.IconSizes[3] = {16, 16};
  EXPECT_EQ(p.IconImageCount(), 2);
  p.IconSizes.fill({1, 0});  // heights are not checked
  EXPECT_EQ(p.IconImageCount(), 16);
  p.IconSizes[0] = {0, 0};
  EXPECT_EQ(p.IconImageCount(), 0);
}

TEST(IOParams, DescriptiveNames) {
  struct Case {
    int32_t type;
    void (*set)(TIOParamsVals&);
    const char* expected;
  };
  const Case cases[] = {
      {ioBMP, [](TIOParamsVals& p) { p.BMPVersion = 2; }, "Windows Bitmap (BMP) OS/2 v.1"},
      {ioBMP, [](TIOParamsVals& p) { p.BMPVersion = 9; }, "Windows Bitmap (BMP)"},
      {ioJPEG, [](TIOParamsVals&) {}, "JPEG Bitmap (JPG) YCbCr"},
      {ioJPEG, [](TIOParamsVals& p) { p.JPEGColorSpace = 0; }, "JPEG Bitmap (JPG)"},
      {ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = 5; }, "TIFF Bitmap (TIF) LZW"},
      {ioTIFF, [](TIOParamsVals& p) { p.TIFFCompression = 9; }, "TIFF Bitmap (TIF)"},
      {ioGIF, [](TIOParamsVals& p) { p.GIFInterlaced = true; }, "CompuServe Bitmap (GIF) Interlaced"},
      {ioPCX, [](TIOParamsVals& p) { p.PCXCompression = 0; }, "PaintBrush (PCX) Uncompressed"},
      {ioPNG, [](TIOParamsVals&) {}, "Portable Network Graphics (PNG)"},
      {ioTGA, [](TIOParamsVals& p) { p.TGACompressed = false; }, "Targa Bitmap (TGA) Uncompressed"},
      {ioJ2K, [](TIOParamsVals& p) { p.J2KColorSpace = 0; }, "JPEG2000 Code Stream (J2K) Gray level"},
      {ioICO, [](TIOParamsVals&) {}, "Windows Icon (ICO)"},
      {ioAVI, [](TIOParamsVals&) {}, ""},
  };
  for (const auto& c : cases) {
    TIOParamsVals p(nullptr);
    p.FileType = c.type;
    c.set(p);
    EXPECT_EQ(p.DescriptiveName(), c.expected) << "type " << c.type;
  }
}

namespace {
void DummyGIFDecoder(TStream&, int32_t, int32_t, bool, uint8_t*) {}
}  // namespace

TEST(IOParams, SetDefaultsCopiesTheGlobalHooks) {
  const TGIFDecompressor saved = DefaultGIFDecompressor;
  DefaultGIFDecompressor = DummyGIFDecoder;
  TIOParamsVals with(nullptr);
  DefaultGIFDecompressor = nullptr;
  TIOParamsVals without(nullptr);
  DefaultGIFDecompressor = saved;
  EXPECT_EQ(with.GIFDecompressor, &DummyGIFDecoder);
  EXPECT_EQ(without.GIFDecompressor, nullptr);
}
