// The controller with the real codecs behind it: what a user's load and save do.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "image/bitmap.h"
#include "image/metadata.h"
#include "io/controller.h"
#include "platform/stream.h"
#include "tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

class IOWithCodecs : public ::testing::Test {
protected:
  void SetUp() override { dir_ = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name()); }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) { return dir_ + "/" + name; }

  // 7 x 5 colours that survive every lossless format.
  static void Paint(TLXBitmap& b) {
    b.Allocate(7, 5, lx24RGB);
    for (int y = 0; y < 5; ++y) {
      uint8_t* row = b.Scanline(y);
      for (int x = 0; x < 7; ++x) {
        row[3 * x] = uint8_t(x * 30);
        row[3 * x + 1] = uint8_t(y * 50);
        row[3 * x + 2] = uint8_t(200 - x * 10);
      }
    }
  }
  static bool SamePixels(TLXBitmap& a, TLXBitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.PixelFormat() != b.PixelFormat()) return false;
    for (int y = 0; y < a.Height(); ++y)
      if (std::memcmp(a.Scanline(y), b.Scanline(y), size_t(a.Width()) * 3) != 0) return false;
    return true;
  }

  std::string dir_;
};

TEST_F(IOWithCodecs, LosslessRoundTripsByExtension) {
  for (const char* ext : {".BMP", ".png", ".Dib"}) {
    TTalvexIO out, in;
    Paint(*out.Bitmap());
    const std::string name = Path(std::string("a") + ext);
    out.SaveFile(name);
    ASSERT_FALSE(out.AbortFlag) << ext;
    in.LoadFile(name);
    ASSERT_FALSE(in.AbortFlag) << ext;
    EXPECT_TRUE(SamePixels(*out.Bitmap(), *in.Bitmap())) << ext;
    EXPECT_EQ(in.Params().FileName, name);
    EXPECT_EQ(in.Params().FileType, std::string(ext) == ".png" ? ioPNG : ioBMP) << ext;
  }
}

TEST_F(IOWithCodecs, PNGAlphaTravelsThroughTheMask) {
  TTalvexIO out, in;
  Paint(*out.Bitmap());
  TLXBitmap* alpha = out.Bitmap()->AlphaChannel();
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) alpha->Scanline(y)[x] = uint8_t((x + y) * 20);
  alpha->Full = false;
  out.SaveFile(Path("a.png"));
  ASSERT_FALSE(out.AbortFlag);
  in.LoadFile(Path("a.png"));
  ASSERT_FALSE(in.AbortFlag);
  ASSERT_TRUE(in.Bitmap()->HasAlphaChannel());
  EXPECT_EQ(in.Bitmap()->AlphaChannel()->Scanline(4)[6], 200);
  EXPECT_EQ(in.Bitmap()->AlphaChannel()->Scanline(0)[0], 0);
}

// The PNG row passes the parameters-only flag as the blend flag too, on purpose:
// parameter reads blend, so they report the file's bKGD colour in PNGBackground,
// while loads keep the transparency as a mask and leave PNGBackground alone.
TEST(IOWithCodecsCorpus, PNGParameterReadsReportTheBackgroundAndLoadsKeepIt) {
  REQUIRE_CORPUS();
  const std::string name = CorpusPath("png/pngsuite/png/bgyn6a16.png");  // yellow bKGD, 16-bit RGBA
  if (!fs::exists(name)) GTEST_SKIP() << name << " is not in the corpus";
  TTalvexIO io;
  io.Params().PNGBackground = TRGB{1, 2, 3};
  io.LoadFile(name);
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().PNGBackground, (TRGB{1, 2, 3}));
  EXPECT_TRUE(io.Bitmap()->HasAlphaChannel());
  io.ReadParamsFile(name);
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().PNGBackground, CreateRGB(255, 255, 0));
}

TEST_F(IOWithCodecs, JPEGConvertsGreyWordsAndLoadsWithTheDefaultResolution) {
  TTalvexIO out, in;
  out.Bitmap()->Allocate(16, 8, lx16g);
  out.SaveFile(Path("grey.jpg"));
  ASSERT_FALSE(out.AbortFlag);
  EXPECT_EQ(out.Bitmap()->PixelFormat(), lx24RGB);
  fs::rename(Path("grey.jpg"), Path("GREY.JPG"));
  in.LoadFile(Path("GREY.JPG"));
  ASSERT_FALSE(in.AbortFlag);
  EXPECT_EQ(in.Params().FileType, ioJPEG);
  EXPECT_EQ(in.Bitmap()->Width(), 16);
  EXPECT_GE(in.Params().DpiX(), 2);
}

TEST_F(IOWithCodecs, IconsAreWrittenFromTheRecordAndToldFromCursorsByName) {
  TTalvexIO out, in;
  Paint(*out.Bitmap());
  out.SaveFile(Path("a.ico"));
  ASSERT_FALSE(out.AbortFlag);
  EXPECT_EQ(in.DetectFileFormat(Path("a.ico"), true), ioICO);
  fs::copy_file(Path("a.ico"), Path("a.cur"));
  EXPECT_EQ(in.DetectFileFormat(Path("a.cur"), true), ioCUR);
  in.LoadFile(Path("a.ico"));
  ASSERT_FALSE(in.AbortFlag);
  EXPECT_EQ(in.Bitmap()->Width(), 64);  // the default entry: one 64 x 64 image at 8 bits
  EXPECT_EQ(in.Bitmap()->Height(), 64);
}

TEST_F(IOWithCodecs, StreamLoadsFindTheFormatByContent) {
  TTalvexIO out;
  Paint(*out.Bitmap());
  for (int32_t code : {ioBMP, ioPNG, ioJPEG, ioICO}) {
    TMemoryStream ms;
    ms.Write("xyz", 3);  // the image starts at the position
    out.SaveStream(ms, code);
    ASSERT_FALSE(out.AbortFlag) << code;
    ms.SetPosition(3);
    TTalvexIO in;
    EXPECT_EQ(in.DetectStreamFormat(ms), code);
    in.LoadStream(ms);
    EXPECT_FALSE(in.AbortFlag) << code;
    EXPECT_EQ(in.Params().FileType, code);
    EXPECT_GT(in.Bitmap()->Width(), 0) << code;
  }
}

TEST_F(IOWithCodecs, AFailingRealWriterLeavesTheEarlierFile) {
  TTalvexIO io;
  const std::string name = Path("keep.jpg");
  std::ofstream(name) << "earlier";
  // An empty bitmap cannot be encoded.
  try {
    io.SaveFile(name);
  } catch (const std::exception&) {
  }
  EXPECT_TRUE(io.AbortFlag);
  std::ifstream f(name);
  std::string text;
  f >> text;
  EXPECT_EQ(text, "earlier");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(IOWithCodecs, CorpusFileLoadsUnderAnUpperCaseName) {
  REQUIRE_CORPUS();
  const std::string source = CorpusPath("bmp/bmpsuite/g/rgb24.bmp");
  if (!fs::exists(source)) GTEST_SKIP() << source << " is not in the corpus";
  fs::create_symlink(source, Path("RGB24.BMP"));
  TTalvexIO io;
  io.LoadFile(Path("RGB24.BMP"));
  EXPECT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().FileType, ioBMP);
  EXPECT_EQ(io.Bitmap()->Width(), 127);
  EXPECT_EQ(io.Bitmap()->Height(), 64);
}

}  // namespace

namespace {

TEST(IOWithCodecsCorpus, AutoAdjustDPIStretchesANonSquareBitmap) {
  REQUIRE_CORPUS();
  const std::string name = CorpusPath("bmp/bmpsuite/g/pal8nonsquare.bmp");
  if (!fs::exists(name)) GTEST_SKIP() << name << " is not in the corpus";
  TTalvexIO plain;
  plain.LoadFile(name);
  ASSERT_FALSE(plain.AbortFlag);
  const int dpiX = plain.Params().DpiX(), dpiY = plain.Params().DpiY();
  ASSERT_GT(dpiX, dpiY);  // 2835 against 1417 pixels per metre
  ASSERT_LT(plain.Bitmap()->Height(), plain.Bitmap()->Width());

  TTalvexIO io;
  io.AutoAdjustDPI = true;
  io.LoadFile(name);
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Bitmap()->Width(), plain.Bitmap()->Width());
  EXPECT_EQ(io.Bitmap()->Height(), int(double(plain.Bitmap()->Height()) / dpiY * dpiX));
  EXPECT_EQ(io.Params().DpiY(), dpiX);
  EXPECT_EQ(io.Bitmap()->PixelFormat(), plain.Bitmap()->PixelFormat());
}

}  // namespace

namespace {

TEST(IOWithCodecsJPEG, IPTCRecordsTravelInTheJPEGMarkers) {
  const std::string dir = ScratchDir("IPTCRecordsTravelInTheJPEGMarkers");
  const std::string name = dir + "/caption.jpg";
  TTalvexIO out;
  out.Bitmap()->Allocate(8, 8, lx24RGB);
  out.Params().IPTCInfo->AddRecord(2, 120, 5, "hello");
  out.SaveFile(name);
  ASSERT_FALSE(out.AbortFlag);
  ASSERT_GE(out.Params().JPEGMarkers->IndexOf(237), 0);

  TTalvexIO in;
  in.LoadFile(name);
  ASSERT_FALSE(in.AbortFlag);
  ASSERT_EQ(in.Params().IPTCInfo->Count(), 1);
  EXPECT_EQ(in.Params().IPTCInfo->Header(0).dataset, 120);
  EXPECT_FALSE(in.Params().IPTCInfo->UserChanged);

  // An emptied list removes the block on the next save.
  in.Params().IPTCInfo->ClearRecords();
  in.SaveFile(name);
  EXPECT_EQ(in.Params().JPEGMarkers->IndexOf(237), -1);
  TTalvexIO again;
  again.ReadParamsFile(name);
  EXPECT_EQ(again.Params().FileType, ioJPEG);
  EXPECT_EQ(again.Params().IPTCInfo->Count(), 0);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
