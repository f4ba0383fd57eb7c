#include "image/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include "image/filebuffer.h"
#include "image/mask.h"
#include "platform/bitmap.h"
#include "platform/syscolors.h"

// Reaches the storage behind the row accessor, to check where rows really live.
class TLXBitmapTestAccess {
public:
  static uint8_t* Memory(TLXBitmap& b) { return b.memory_; }
  static TBitmap* Platform(TLXBitmap& b) { return b.platform_; }
  static TLXFileBuffer* Store(TLXBitmap& b) { return b.fileStore_.get(); }
};

namespace {

std::unique_ptr<TLXBitmap> MakeBitmap(TLXLocation location, int64_t threshold = -2) {
  auto b = std::make_unique<TLXBitmap>();
  if (threshold != -2) b->MemoryThreshold = threshold;
  if (location != lxFile) b->SetLocation(location);
  return b;
}

// Writes a distinct byte pattern into every row: byte i of row y = y * 7 + i.
void Paint(TLXBitmap& b) {
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* row = b.Scanline(y);
    for (int i = 0; i < b.RowLength(); ++i) row[i] = uint8_t(y * 7 + i);
  }
}

bool Painted(TLXBitmap& b, int rows, int bytes) {
  for (int y = 0; y < rows; ++y) {
    const uint8_t* row = b.Scanline(y);
    for (int i = 0; i < bytes; ++i)
      if (row[i] != uint8_t(y * 7 + i)) return false;
  }
  return true;
}

TEST(BitmapTest, NewBitmapIsEmptyAndWaitsForTheSizeRule) {
  TLXBitmap b;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_EQ(b.PixelFormat(), lxNone);
  EXPECT_EQ(b.Location(), lxFile);
  EXPECT_EQ(b.Access, lxaRead | lxaWrite);
  EXPECT_EQ(b.BilevelConversion, 1);
  EXPECT_EQ(b.PaletteColors, 256);
  EXPECT_EQ(b.RowAlignment, 32);
  EXPECT_GT(b.MemoryThreshold, 0);
  EXPECT_LE(b.MemoryThreshold, std::numeric_limits<int32_t>::max());
  EXPECT_FALSE(b.Full);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BitmapTest, ProcessDefaultThresholdWins) {
  TLXImageSettings::DefaultMemoryThreshold = 1234;
  TLXBitmap b;
  TLXImageSettings::DefaultMemoryThreshold = -1;
  EXPECT_EQ(b.MemoryThreshold, 1234);
}

TEST(BitmapTest, RowLengthFollowsFormatAndWidth) {
  struct Case { int width; TLXPixelFormat format; int bits; int rowLength; };
  const Case cases[] = {{1, lx1g, 1, 4},    {33, lx1g, 1, 8},    {3, lx8p, 8, 4},   {5, lx8g, 8, 8},
                        {3, lx16g, 16, 8},  {33, lx24RGB, 24, 100}, {1, lx24RGB, 24, 4}, {3, lx32f, 32, 12}};
  for (const Case& c : cases) {
    TLXBitmap b;
    b.Allocate(c.width, 2, c.format);
    EXPECT_EQ(b.BitCount(), c.bits) << c.width << " " << int(c.format);
    EXPECT_EQ(b.RowLength(), c.rowLength) << c.width << " " << int(c.format);
    EXPECT_EQ(b.PaletteCount(), c.format == lx8p ? 256 : 0);
    EXPECT_FALSE(b.Full);
  }
}

TEST(BitmapTest, MemoryRowsAreBottomUp) {
  auto b = MakeBitmap(lxMemory);
  b->Allocate(4, 3, lx8g);
  ASSERT_EQ(b->Location(), lxMemory);
  uint8_t* block = TLXBitmapTestAccess::Memory(*b);
  EXPECT_EQ(b->Scanline(0), block + 2 * 4);
  EXPECT_EQ(b->Scanline(2), block);
}

TEST(BitmapTest, PlatformRowsAreTheScanLinesTopDown) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(5, 3, lx24RGB);
  ASSERT_EQ(b->Location(), lxTBitmap);
  TBitmap* p = TLXBitmapTestAccess::Platform(*b);
  ASSERT_NE(p, nullptr);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(b->Scanline(y), p->ScanLine(y));
  EXPECT_EQ(p->BitsPerPixel(), 24);
  EXPECT_EQ(b->SystemBitmap(), p);
}

TEST(BitmapTest, SizeRulePicksThePlace) {
  struct Case { TLXLocation asked; int64_t threshold; TLXLocation got; };
  // 4 x 4 lx8g is 16 bytes.
  const Case cases[] = {{lxFile, 17, lxMemory},  {lxFile, 16, lxFile},   {lxFile, 0, lxFile},
                        {lxMemory, 15, lxFile},  {lxMemory, 16, lxMemory}, {lxTBitmap, 0, lxTBitmap}};
  for (const Case& c : cases) {
    auto b = MakeBitmap(c.asked, c.threshold);
    b->Allocate(4, 4, lx8g);
    EXPECT_EQ(b->Location(), c.got) << int(c.asked) << " " << c.threshold;
  }
}

TEST(BitmapTest, FileRowsAreStoredAtTheNextScanlineAndReadBack) {
  auto b = MakeBitmap(lxFile, 0);
  b->Allocate(7, 5, lx24RGB);
  ASSERT_EQ(b->Location(), lxFile);
  TLXFileBuffer* store = TLXBitmapTestAccess::Store(*b);
  ASSERT_TRUE(store->IsOpen());
  EXPECT_EQ(store->FileSize(), 24 * 5);
  EXPECT_EQ(std::filesystem::path(store->FileName()).filename().string().rfind("talvex", 0), 0u);
  Paint(*b);
  EXPECT_TRUE(Painted(*b, 5, 24));
  EXPECT_LE(store->MappedCount(), 1);
  // Row y sits at file offset y * RowLength.
  b->Scanline(0);  // releases row 4, so the file holds everything
  const std::string name = store->FileName();
  TLXFileBuffer reader;
  std::vector<uint8_t> bytes(24);
  {
    TFileStream f(name, TFileMode::fmOpenRead);
    f.Seek(3 * 24, TSeekOrigin::soBeginning);
    ASSERT_EQ(f.Read(bytes.data(), 24), 24);
  }
  EXPECT_EQ(bytes[0], uint8_t(3 * 7));
  EXPECT_EQ(bytes[23], uint8_t(3 * 7 + 23));
  b->FreeImage();
  EXPECT_FALSE(std::filesystem::exists(name));
}

TEST(BitmapTest, ReadOnlyAccessDoesNotStoreFileRows) {
  auto b = MakeBitmap(lxFile, 0);
  b->Allocate(4, 2, lx8g);
  b->Fill(9);
  b->Access = lxaRead;
  b->Scanline(1)[0] = 200;
  b->Scanline(0);
  b->Access = lxaRead | lxaWrite;
  EXPECT_EQ(b->Scanline(1)[0], 9);
}

TEST(BitmapTest, HostileSizesLeaveTheBitmapEmpty) {
  struct Case { int w, h; TLXPixelFormat f; };
  const Case cases[] = {{-1, 10, lx8g},       {10, -5, lx24RGB},     {0, 10, lx8g},
                        {70000, 70000, lx24RGB}, {0x7fffffff, 16, lx1g}, {0x7fffffff, 0x7fffffff, lx32f},
                        {65536, 65536, lx8g}};
  for (TLXLocation loc : {lxMemory, lxFile, lxTBitmap}) {
    for (const Case& c : cases) {
      auto b = MakeBitmap(loc, 0);
      b->Allocate(c.w, c.h, c.f == lx32f && loc == lxTBitmap ? lx24RGB : c.f);
      EXPECT_TRUE(b->IsEmpty()) << c.w << "x" << c.h << " at " << int(loc);
      EXPECT_EQ(b->Scanline(0) == nullptr || b->Width() == 0 || b->Height() == 0, true);
      EXPECT_GE(b->Width(), 0);
      EXPECT_GE(b->Height(), 0);
    }
  }
}

TEST(BitmapTest, RefusedSizeAfterContentEmptiesTheBitmap) {
  TLXBitmap b;
  b.Allocate(10, 10, lx24RGB);
  b.AlphaChannel();
  b.Allocate(100000, 100000, lx24RGB);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_FALSE(b.HasAlphaChannel());
  b.Allocate(10, 10, lx8g);
  b.SetWidth(1 << 30);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(BitmapTest, Float32InPlatformBitmapRaisesAndStaysEmpty) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(4, 4, lx24RGB);
  try {
    b->Allocate(10, 10, lx32f);
    FAIL() << "no error";
  } catch (const ELXBitmapError& e) {
    EXPECT_STREQ(e.what(), "lx32f pixel format not allowed when Location=lxTBitmap");
  }
  EXPECT_EQ(b->Width(), 0);
  EXPECT_EQ(b->Height(), 0);
  EXPECT_EQ(b->Scanline(0), nullptr);
}

TEST(BitmapTest, Float32ContentRefusesToMoveIntoAPlatformBitmap) {
  TLXBitmap b;
  b.Allocate(3, 3, lx32f);
  b.Fill(0.5);
  EXPECT_THROW(b.SetLocation(lxTBitmap), ELXBitmapError);
  EXPECT_EQ(b.Width(), 3);
  float f;
  std::memcpy(&f, b.Scanline(2) + 8, 4);
  EXPECT_EQ(f, 0.5f);
}

TEST(BitmapTest, Grey16InPlatformBitmapBecomesGrey8) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(10, 10, lx16g);
  EXPECT_EQ(b->PixelFormat(), lx8g);
  EXPECT_EQ(b->RowLength(), 12);
  EXPECT_EQ(b->BitCount(), 8);
}

TEST(BitmapTest, FillSetsFullOnlyAtTheMaximum) {
  struct Case { TLXPixelFormat f; double v; bool full; };
  const Case cases[] = {{lx8g, 255, true},     {lx8g, 254, false},  {lx8p, 255, true},
                        {lx1g, 1, true},       {lx1g, 0, false},    {lx16g, 65535, true},
                        {lx16g, 65534, false}, {lx24RGB, 0xffffff, true}, {lx24RGB, 0xfffffe, false},
                        {lx32f, 1.0, true},    {lx32f, 0.99, false}};
  for (TLXLocation loc : {lxMemory, lxFile}) {
    for (const Case& c : cases) {
      auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
      b->Allocate(5, 3, c.f);
      b->Fill(c.v);
      EXPECT_EQ(b->Full, c.full) << int(c.f) << " " << c.v;
      b->FillRect(0, 0, 1, 1, 0);
      EXPECT_EQ(b->Full, c.full) << "FillRect changed Full";
    }
  }
}

TEST(BitmapTest, FillWritesEverySample) {
  for (TLXLocation loc : {lxMemory, lxFile, lxTBitmap}) {
    auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
    b->Allocate(5, 3, lx24RGB);
    b->Fill(RGBColor(10, 20, 30));  // red lowest in the windowing encoding
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(b->GetPixelRGB(x, y), CreateRGB(10, 20, 30));
    b->Allocate(9, 2, lx1g);
    b->Fill(1);
    EXPECT_EQ(b->Scanline(1)[1], 0xff);
    if (loc == lxTBitmap) continue;  // holds lx16g as lx8g
    b->Allocate(3, 2, lx16g);
    b->Fill(0x1234);
    EXPECT_EQ(b->Scanline(1)[4], 0x34);
    EXPECT_EQ(b->Scanline(1)[5], 0x12);
  }
}

TEST(BitmapTest, FillResolvesSystemColours) {
  TLXBitmap b;
  b.Allocate(2, 2, lx24RGB);
  b.Fill(clBtnFace);
  const uint32_t c = ColorToRGB(clBtnFace);
  EXPECT_EQ(b.GetPixelRGB(1, 1), CreateRGB(ColorR(c), ColorG(c), ColorB(c)));
  b.Fill(clWindow);
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
  EXPECT_TRUE(b.Full);
}

TEST(BitmapTest, FillRectClipsAndPaintsInclusiveCorners) {
  for (TLXLocation loc : {lxMemory, lxFile, lxTBitmap}) {
    auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
    b->Allocate(6, 4, lx8g);
    b->Fill(0);
    b->FillRect(-5, 1, 2, 2, 7);
    b->FillRect(4, 3, 100, 100, 9);
    b->FillRect(3, 3, 2, 3, 1);  // empty
    const uint8_t want[4][6] = {{0, 0, 0, 0, 0, 0}, {7, 7, 7, 0, 0, 0}, {7, 7, 7, 0, 0, 0}, {0, 0, 0, 0, 9, 9}};
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(b->Pixel8(x, y), want[y][x]) << x << "," << y << " at " << int(loc);
  }
  TLXBitmap mono;
  mono.Allocate(12, 1, lx1g);
  mono.Fill(0);
  mono.FillRect(3, 0, 9, 0, 1);
  EXPECT_EQ(mono.Scanline(0)[0], 0x1f);
  EXPECT_EQ(mono.Scanline(0)[1], 0xc0);
}

TEST(BitmapTest, GetPixelRGBPerFormat) {
  TLXBitmap b;
  b.Allocate(2, 1, lx1g);
  b.Scanline(0)[0] = 0x80;
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(b.GetPixelRGB(1, 0), TRGB{});
  b.Allocate(1, 1, lx8p);
  b.SetPaletteEntry(3, PackRGB(CreateRGB(1, 2, 3)));
  b.Scanline(0)[0] = 3;
  EXPECT_EQ(b.GetPixelRGB(0, 0), CreateRGB(1, 2, 3));
  b.Allocate(1, 1, lx16g);
  b.Fill(0xab00);
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{0xab, 0xab, 0xab}));
  b.Allocate(1, 1, lx32f);
  b.Fill(0.5);
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{127, 127, 127}));
  b.Fill(7.0);  // out of range samples are held at white, not wrapped
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
}

TEST(BitmapTest, PaletteIndexesOutsideTheRangeAreIgnored) {
  TLXBitmap b;
  b.Allocate(1, 1, lx8p);
  b.SetPaletteEntry(256, 0x123456);
  b.SetPaletteEntry(-1, 0x123456);
  const TRGB keep{1, 2, 3};
  EXPECT_EQ(b.GetPaletteEntry(256, keep), keep);
  b.SetPaletteEntry(255, 0x0a0b0c);
  EXPECT_EQ(b.GetPaletteEntry(255), (TRGB{0x0c, 0x0b, 0x0a}));
  b.Allocate(1, 1, lx8g);
  EXPECT_EQ(b.PaletteCount(), 0);
  EXPECT_EQ(b.Palette(), nullptr);
}

TEST(BitmapTest, AlphaAtCreatesAnOpaqueChannel) {
  TLXBitmap b;
  b.Allocate(3, 2, lx24RGB);
  EXPECT_FALSE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaAt(2, 1), 255);
  ASSERT_TRUE(b.HasAlphaChannel());
  TLXBitmap* a = b.AlphaChannel();
  EXPECT_TRUE(a->IsAlphaChannel());
  EXPECT_TRUE(a->Full);
  EXPECT_EQ(a->PixelFormat(), lx8g);
  EXPECT_EQ(a->Width(), 3);
  EXPECT_EQ(a->AlphaChannel(), nullptr);
  a->Scanline(1)[2] = 17;
  EXPECT_EQ(b.AlphaAt(2, 1), 17);
  EXPECT_EQ(a->AlphaAt(2, 1), 17);
  b.RemoveAlphaChannel();
  EXPECT_FALSE(b.HasAlphaChannel());
}

TEST(BitmapTest, AlphaChannelOfAPlatformBitmapLivesInMemory) {
  auto a = TLXBitmap::CreateAlphaChannel(4, 4, lxTBitmap);
  EXPECT_EQ(a->Location(), lxMemory);
  EXPECT_TRUE(a->Full);
  EXPECT_EQ(a->Pixel8(3, 3), 255);
}

TEST(BitmapTest, SyncFullLooksAtPadBytesToo) {
  TLXBitmap b;
  b.Allocate(3, 2, lx8g);
  b.Fill(255);
  b.Full = false;
  b.SyncFull();
  EXPECT_TRUE(b.Full);
  b.Scanline(0)[3] = 0;  // a pad byte
  b.SyncFull();
  EXPECT_FALSE(b.Full);
}

TEST(BitmapTest, AssignCopiesPixelsPaletteAndAlpha) {
  for (TLXLocation from : {lxMemory, lxFile, lxTBitmap}) {
    for (TLXLocation to : {lxMemory, lxFile, lxTBitmap}) {
      auto src = MakeBitmap(from, from == lxFile ? 0 : -2);
      src->Allocate(5, 4, lx8p);
      Paint(*src);
      src->SetPaletteEntry(7, 0x112233);
      src->AlphaChannel()->Scanline(2)[1] = 99;
      src->BilevelConversion = 0;
      auto dst = MakeBitmap(to, to == lxFile ? 0 : -2);
      dst->Assign(src.get());
      EXPECT_EQ(dst->Width(), 5);
      EXPECT_EQ(dst->PixelFormat(), lx8p);
      EXPECT_TRUE(Painted(*dst, 4, 5)) << int(from) << "->" << int(to);
      EXPECT_EQ(dst->GetPaletteEntry(7), UnpackRGB(0x112233));
      ASSERT_TRUE(dst->HasAlphaChannel());
      EXPECT_EQ(dst->AlphaAt(1, 2), 99);
      EXPECT_EQ(dst->BilevelConversion, 0);
      EXPECT_EQ(src->Access, lxaRead | lxaWrite);
      EXPECT_EQ(dst->Access, lxaRead | lxaWrite);
    }
  }
}

TEST(BitmapTest, AssignIntoAnAlphaChannelCopiesPixelsOnly) {
  TLXBitmap src;
  src.Allocate(3, 3, lx8g);
  src.Fill(40);
  src.AlphaChannel();
  auto a = TLXBitmap::CreateAlphaChannel(1, 1, lxMemory);
  a->Assign(&src);
  EXPECT_EQ(a->Pixel8(2, 2), 40);
  EXPECT_FALSE(a->HasAlphaChannel());
  EXPECT_TRUE(a->IsAlphaChannel());
}

TEST(BitmapTest, AssignImageDropsAlphaAndFull) {
  TLXBitmap src;
  src.Allocate(3, 3, lx8g);
  src.Fill(255);
  src.AlphaChannel();
  src.BilevelConversion = 0;
  TLXBitmap dst;
  dst.Allocate(2, 2, lx24RGB);
  dst.AlphaChannel();
  dst.AssignImage(&src);
  EXPECT_EQ(dst.Pixel8(1, 1), 255);
  EXPECT_FALSE(dst.Full);
  EXPECT_FALSE(dst.HasAlphaChannel());
  EXPECT_EQ(dst.BilevelConversion, 1);
}

TEST(BitmapTest, AssignBetweenFileBitmapsCopiesTheWholeFile) {
  auto src = MakeBitmap(lxFile, 0);
  src->Allocate(9, 6, lx24RGB);
  Paint(*src);
  auto dst = MakeBitmap(lxFile, 0);
  dst->Assign(src.get());
  ASSERT_EQ(dst->Location(), lxFile);
  EXPECT_TRUE(Painted(*dst, 6, 28));
  EXPECT_TRUE(Painted(*src, 6, 28));
}

}  // namespace
