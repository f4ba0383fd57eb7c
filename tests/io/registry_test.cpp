#include "io/registry.h"

#include <gtest/gtest.h>

#include "io/params.h"

TEST(IORegistry, EntriesInRegistryOrder) {
  std::vector<int32_t> codes;
  for (const auto& f : IOFileFormats()) codes.push_back(f.FileType);
  const std::vector<int32_t> expected = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 13, 14, 17, 18};
  EXPECT_EQ(codes, expected);
}

TEST(IORegistry, LookupByExtensionIgnoresCaseAndTheDot) {
  struct Case {
    const char* ext;
    int32_t code;
  };
  const Case cases[] = {{"tif", 1}, {"TIFF", 1}, {"g3f", 1}, {".jpe", 3}, {"Jpeg", 3}, {"pix", 11},
                        {"Rle", 5}, {"pbm", 12}, {"wbmp", 16}, {"j2c", 14}, {"eps", 17}, {"pdf", 18}};
  for (const auto& c : cases) {
    const TIOFileFormatInfo* f = IOFindFormatByExtension(c.ext);
    ASSERT_NE(f, nullptr) << c.ext;
    EXPECT_EQ(f->FileType, c.code) << c.ext;
  }
  for (const char* unknown : {"", ".", "xyz", "ti", "tiff2", "avi"})
    EXPECT_EQ(IOFindFormatByExtension(unknown), nullptr) << unknown;
}

TEST(IORegistry, LookupByCodeAndCapabilities) {
  EXPECT_EQ(IOFindFormatByType(0), nullptr);
  EXPECT_EQ(IOFindFormatByType(15), nullptr);  // video files have no entry
  const TIOFileFormatInfo* cur = IOFindFormatByType(ioCUR);
  ASSERT_NE(cur, nullptr);
  EXPECT_EQ(cur->DisplayName, "Windows Cursor");
  EXPECT_NE(cur->ReadFunction, nullptr);
  EXPECT_EQ(cur->WriteFunction, nullptr);
  const TIOFileFormatInfo* pdf = IOFindFormatByType(ioPDF);
  ASSERT_NE(pdf, nullptr);
  EXPECT_EQ(pdf->ReadFunction, nullptr);
  EXPECT_NE(pdf->WriteFunction, nullptr);
  EXPECT_EQ(IOFindFormatByType(ioTIFF)->MainExtension(), "TIF");
  EXPECT_EQ(IOFindFormatByType(ioTGA)->DialogPages, 256u);
  EXPECT_TRUE(IOFindFormatByType(ioPNG)->BuiltIn);
  EXPECT_EQ(IOFindFormatByType(ioPNG)->TryStream, nullptr);
}

namespace {
void Decoder(TStream&, int32_t, int32_t, bool, uint8_t*) {}
}  // namespace

TEST(IORegistry, GIFMarksFollowTheGlobalHooks) {
  const TGIFDecompressor savedDecoder = DefaultGIFDecompressor;
  const TGIFCompressor savedEncoder = DefaultGIFCompressor;
  DefaultGIFDecompressor = Decoder;
  DefaultGIFCompressor = nullptr;
  IORefreshGIFMarks();
  EXPECT_NE(IOFindFormatByType(ioGIF)->ReadFunction, nullptr);
  EXPECT_EQ(IOFindFormatByType(ioGIF)->WriteFunction, nullptr);
  DefaultGIFDecompressor = savedDecoder;
  DefaultGIFCompressor = savedEncoder;
  IORefreshGIFMarks();
}

TEST(IORegistry, RegisteredFormatsAreFoundAfterTheBuiltIns) {
  TIOFileFormatInfo extra;
  extra.FileType = 100;
  extra.DisplayName = "Extra";
  extra.Extensions = "XTR;TIF";  // a clash: registry order decides
  IORegisterFormat(extra);
  EXPECT_EQ(IOFindFormatByExtension("xtr")->FileType, 100);
  EXPECT_EQ(IOFindFormatByExtension("tif")->FileType, 1);
  EXPECT_FALSE(IOFindFormatByType(100)->BuiltIn);
  IOUnregisterFormat(100);
  EXPECT_EQ(IOFindFormatByType(100), nullptr);
  IOResetRegistry();
  EXPECT_EQ(IOFileFormats().size(), 17u);
}
