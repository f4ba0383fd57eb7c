// The format table as a seam: a format that is only a row (no line of the
// controller knows it) is dispatched, detected, loaded and saved by its rules,
// listed by the registry and the open dialog, written by quelmar-cli's list and
// fed by the fuzz target.
#include "io/formattable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "image/bitmap.h"
#include "image/mask.h"
#include "io/controller.h"
#include "io/registry.h"
#include "platform/stream.h"
#include "tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

constexpr int32_t ioQTR = 40;
int imports = 0;
std::string importedName;

// "QT", width, height, then one grey byte per pixel; the reader hands back a mask of 77.
void QTRRead(TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& progress, TIOReadCall& call) {
  uint8_t h[4] = {};
  if (s.Read(h, 4) != 4 || h[0] != 'Q' || h[1] != 'T') {
    progress.Abort();
    return;
  }
  p.Width = h[2];
  p.Height = h[3];
  p.SetDpiX(0);  // none in the file: the controller's default applies
  p.SetDpiY(0);
  if (call.ParamsOnly) return;
  b->Allocate(h[2], h[3], lx24RGB);
  call.Mask = std::make_unique<TLXMask>();
  call.Mask->Allocate(h[2], h[3], 8);
  call.Mask->Fill(77);
  call.Count = 3;
}

TLXPixelFormat writtenFormat = lxNone;
bool writtenWithMask = false;

void QTRWrite(TStream& s, TLXBitmap* b, TIOParamsVals&, TIOProgress& progress, TIOWriteCall& call) {
  writtenFormat = b->PixelFormat();
  writtenWithMask = call.Mask != nullptr;
  const uint8_t h[4] = {'Q', 'T', uint8_t(b->Width()), uint8_t(b->Height())};
  SafeStreamWrite(s, progress, h, 4);
}

TIOFormat QTRRow() {
  return TIOFormat{
      .FileType = ioQTR,
      .DisplayName = "Quelmar Test Raster",
      .RegistryExtensions = "QTR;QTX",
      .Readable = true,
      .Writable = true,
      .Extensions = "qtr;qtx",
      .Routes = iorLoad | iorSave,
      .Read = QTRRead,
      .Write = QTRWrite,
      // Between the old PCX header (40) and "BM" (50).
      .Signatures = {{45, 3, [](TStream& s) {
                        char b[2] = {};
                        return s.Read(b, 2) == 2 && b[0] == 'Q' && b[1] == 'T';
                      }}},
      .AlphaFromMask = true,
      .ViewDpiFile = true,
      .RGBOrMono = true,
      .WantsMask = true,
      .StreamHeader = {.Tag = "QTR0", .LeaveAfterBlock = true},
      .Detail = [](const TIOParamsVals& p) { return std::string(p.Width > 1 ? " Wide" : " Narrow"); },
  };
}

class IOFormatTable : public ::testing::Test {
protected:
  void SetUp() override {
    IOSetFormatRow(QTRRow());
    IOResetRegistry();  // the registry is built from the rows
    dir_ = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override {
    IOResetFormatRows();
    IOResetRegistry();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) { return dir_ + "/" + name; }
  std::string dir_;
};

TEST_F(IOFormatTable, ANewRowIsLoadedAndSavedByItsRules) {
  const std::string name = Path("a.QTX");
  std::ofstream(name, std::ios::binary).write("QT\3\2", 4);
  TTalvexIO io;
  io.LoadFile(name);
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().FileType, ioQTR);
  EXPECT_EQ(io.Params().FileName, name);
  EXPECT_EQ(io.Params().DpiX(), 300);
  ASSERT_TRUE(io.Bitmap()->HasAlphaChannel());
  EXPECT_EQ(io.Bitmap()->AlphaChannel()->Scanline(1)[2], 77);
  EXPECT_EQ(io.Params().DescriptiveName(), "Quelmar Test Raster (QTR) Wide");
  io.LoadFileAs(name, ioQTR);
  EXPECT_FALSE(io.AbortFlag);

  // Saving converts to colour (RGBOrMono) and hands over the alpha as a mask.
  io.Bitmap()->SetPixelFormat(lx8g);
  io.SaveFile(Path("b.qtr"));
  EXPECT_FALSE(io.AbortFlag);
  EXPECT_EQ(writtenFormat, lx24RGB);
  EXPECT_TRUE(writtenWithMask);
  EXPECT_EQ(fs::file_size(Path("b.qtr")), 4u);

  // Stream forms, with the row's stream header.
  TMemoryStream out;
  io.StreamHeaders = true;
  io.SaveStream(out, ioQTR);
  ASSERT_EQ(out.Size(), 16);
  EXPECT_EQ(std::memcmp(out.Data().data(), "QTR0", 4), 0);
  out.Write("tail", 4);
  out.SetPosition(0);
  TTalvexIO in;
  in.StreamHeaders = true;
  in.LoadStream(out);  // the tag begins with the signature's "QT"
  EXPECT_FALSE(in.AbortFlag);
  EXPECT_EQ(in.Params().FileType, ioQTR);
  EXPECT_EQ(in.Bitmap()->Width(), 3);
  EXPECT_EQ(out.Position(), 16) << "left just after the headed block";
}

TEST_F(IOFormatTable, ANewRowIsDetectedInTheOrderOfItsRank) {
  TTalvexIO io;
  // "QT" then "BM": both signatures fit, the lower rank wins; 3 bytes are too few.
  TMemoryStream qt({'Q', 'T', 1, 1, 'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(io.DetectStreamFormat(qt), ioQTR);
  TMemoryStream shortOne({'Q', 'T', 1});
  EXPECT_EQ(io.DetectStreamFormat(shortOne), ioUnknown);
  const std::string name = Path("c.qtr");
  std::ofstream(name, std::ios::binary).write("QT\1\1", 4);
  EXPECT_EQ(io.DetectFileFormat(name, true), ioQTR);
  io.ReadParamsFile(name);
  EXPECT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Params().Width, 1);
}

TEST_F(IOFormatTable, ANewRowIsListedEverywhere) {
  EXPECT_NE(IOFindFormatByExtension("qtx"), nullptr);
  const std::string filter = IOOpenDialogFilter("All", false, "", false);
  EXPECT_NE(filter.find("|Quelmar Test Raster (QTR;QTX)|*.qtr;*.qtx"), std::string::npos) << filter;
  const auto writable = IOWritableExtensions();
  EXPECT_NE(std::find(writable.begin(), writable.end(), "qtx"), writable.end());
  const auto readable = IOReadableCodes();
  EXPECT_NE(std::find(readable.begin(), readable.end(), ioQTR), readable.end());
}

TEST_F(IOFormatTable, AnImportRowTakesTheWholeLoad) {
  TIOFormat row{.FileType = 41,
                .Extensions = "qim",
                .NamePrefix = "qtr://",
                .Routes = iorLoadByExtension,
                .Import = [](TTalvexIO& io, const std::string& fileName) {
                  ++imports;
                  importedName = fileName;
                  io.AbortFlag = false;
                  io.FinishWork();
                }};
  IOSetFormatRow(row);
  TTalvexIO io;
  io.LoadFile("QTR://host/picture.bmp");
  EXPECT_EQ(imports, 1);
  EXPECT_EQ(importedName, "QTR://host/picture.bmp");
  io.LoadFile(Path("x.QIM"));
  EXPECT_EQ(imports, 2);
  // Not by code: the row does not say iorLoadByCode.
  io.LoadFileAs(Path("x.qim"), 41);
  EXPECT_EQ(imports, 2);
  EXPECT_TRUE(io.AbortFlag);
}

// What the rows of the formats still waiting for their codecs do today.
TEST(IOFormatRows, PendingFormatsDispatchAndFailCleanly) {
  EXPECT_EQ(IOFormatRowForExtension(".WIN", iorLoadByExtension)->FileType, ioTGA);
  EXPECT_EQ(IOFormatRowForExtension("pix", iorLoadByExtension), nullptr) << "registry only";
  EXPECT_EQ(IOFormatRowForExtension("cur", iorSave), nullptr);
  EXPECT_EQ(IOFormatRowForExtension("eps", iorSave)->FileType, ioPS);
  EXPECT_EQ(IOFormatRowForExtension("avi", iorLoadByExtension)->FileType, ioAVI);
  EXPECT_EQ(IOFormatRowForName("Http://x/y.png")->FileType, ioUnknown);
  EXPECT_EQ(IOFormatRow(ioUnknown), nullptr);
  for (int32_t code : {ioTIFF, ioGIF, ioPCX, ioTGA, ioPXM, ioWBMP, ioJP2, ioJ2K}) {
    const TIOFormat* row = IOFormatRow(code);
    ASSERT_NE(row, nullptr) << code;
    EXPECT_TRUE(row->Has(iorLoadByExtension) && row->Has(iorLoadByCode) && row->Has(iorLoadStream) &&
                row->Has(iorSave))
        << code;
  }
  TTalvexIO io;
  TMemoryStream gif({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0, 0, 0});
  io.LoadStream(gif);
  EXPECT_TRUE(io.AbortFlag);
  TMemoryStream out;
  io.Bitmap()->Allocate(2, 2, lx24RGB);
  io.SaveStream(out, ioPDF);
  EXPECT_TRUE(io.AbortFlag);
  EXPECT_EQ(out.Size(), 0);
}

}  // namespace
