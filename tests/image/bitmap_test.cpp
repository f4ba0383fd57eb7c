#include "image/bitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include "image/dibbitmap.h"
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

std::vector<uint8_t> Put16Bytes(int v) { return {uint8_t(v), uint8_t(v >> 8)}; }

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

TEST(BitmapTest, ThresholdFromAvailableMemorySaturates) {
  struct Case { int64_t available, threshold; };
  const Case cases[] = {{0, 33554432},
                        {-5, 33554432},
                        {int64_t(1) << 30, int64_t(1) << 29},
                        {int64_t(4) << 30, 0x7fffffff},
                        {int64_t(64) << 30, 0x7fffffff},
                        {std::numeric_limits<int64_t>::max(), 0x7fffffff}};
  for (const Case& c : cases) EXPECT_EQ(TLXImageSettings::MemoryThresholdFor(c.available), c.threshold) << c.available;
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


// One pixel of each format, converted to each other format.
struct TSample {
  TLXPixelFormat format;
  std::vector<uint8_t> bytes;  // the first pixel's bytes
  TRGB colour{};               // palette entry 5 for lx8p
};

std::unique_ptr<TLXBitmap> OnePixel(const TSample& s, TLXLocation loc) {
  auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
  b->Allocate(1, 1, s.format);
  if (s.format == lx8p) b->SetPaletteEntry(5, PackRGB(s.colour));
  std::memcpy(b->Scanline(0), s.bytes.data(), s.bytes.size());
  return b;
}

std::vector<uint8_t> Float(float f) {
  std::vector<uint8_t> v(4);
  std::memcpy(v.data(), &f, 4);
  return v;
}

TEST(BitmapPixelFormatTest, ConversionTable) {
  struct Case { TSample from; TLXPixelFormat to; std::vector<uint8_t> want; };
  const TRGB red = CreateRGB(255, 0, 0);
  const Case cases[] = {
      {{lx24RGB, {0, 0, 255}}, lx8g, {53}},
      {{lx24RGB, {255, 255, 255}}, lx8g, {255}},
      {{lx24RGB, {0, 0, 255}}, lx16g, Put16Bytes((212 * 256 * 255) / 1000)},
      {{lx24RGB, {10, 20, 30}}, lx32f, Float(float((0.2126 * 30 + 0.7152 * 20 + 0.0722 * 10) / 255))},
      {{lx8p, {5}, red}, lx24RGB, {0, 0, 255}},
      {{lx8p, {5}, red}, lx8g, {53}},
      {{lx8g, {200}}, lx24RGB, {200, 200, 200}},
      {{lx8g, {200}}, lx16g, Put16Bytes(200 * 256)},
      {{lx8g, {51}}, lx32f, Float(float(51 / 255.0))},
      {{lx8g, {77}}, lx8p, {77}},
      {{lx16g, {0x34, 0x12}}, lx8g, {0x12}},
      {{lx16g, {0xff, 0xff}}, lx32f, Float(1.0f)},
      {{lx16g, {0x00, 0xab}}, lx24RGB, {0xab, 0xab, 0xab}},
      {{lx1g, {0x80}}, lx8g, {255}},
      {{lx1g, {0x80}}, lx16g, {0xff, 0xff}},
      {{lx1g, {0x80}}, lx24RGB, {255, 255, 255}},
      {{lx1g, {0x00}}, lx32f, Float(0.0f)},
      {{lx1g, {0x80}}, lx8p, {1}},
      {{lx32f, Float(0.5f)}, lx8g, {127}},
      {{lx32f, Float(0.5f)}, lx16g, Put16Bytes(32767)},
      {{lx32f, Float(-3.0f)}, lx8g, {0}},
      {{lx32f, Float(0.25f)}, lx24RGB, {63, 63, 63}},
  };
  for (TLXLocation loc : {lxMemory, lxFile}) {
    for (const Case& c : cases) {
      auto b = OnePixel(c.from, loc);
      b->SetPixelFormat(c.to);
      ASSERT_EQ(b->PixelFormat(), c.to);
      EXPECT_EQ(b->Width(), 1);
      const uint8_t* row = b->Scanline(0);
      EXPECT_EQ(std::vector<uint8_t>(row, row + c.want.size()), c.want)
          << int(c.from.format) << " -> " << int(c.to) << " at " << int(loc);
    }
  }
}

TEST(BitmapPixelFormatTest, PalettesMadeByTheConversion) {
  TLXBitmap b;
  b.Allocate(2, 1, lx1g);
  b.SetPixelFormat(lx8p);
  EXPECT_EQ(b.GetPaletteEntry(0), TRGB{});
  EXPECT_EQ(b.GetPaletteEntry(1), (TRGB{255, 255, 255}));
  b.Allocate(2, 1, lx8g);
  b.SetPixelFormat(lx8p);
  EXPECT_EQ(b.GetPaletteEntry(200), (TRGB{200, 200, 200}));
  b.SetPixelFormat(lx24RGB);
  EXPECT_EQ(b.PaletteCount(), 0);
}

TEST(BitmapPixelFormatTest, TrueColourToPaletteThroughTheQuantizer) {
  TLXBitmap b;
  b.Allocate(4, 2, lx24RGB);
  const TRGB colours[3] = {CreateRGB(255, 0, 0), CreateRGB(0, 255, 0), CreateRGB(0, 0, 255)};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) std::memcpy(b.Scanline(y) + 3 * x, &colours[(x + y) % 3], 3);
  b.SetPixelFormat(lx8p);
  ASSERT_EQ(b.PixelFormat(), lx8p);
  ASSERT_EQ(b.PaletteCount(), 256);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(b.GetPixelRGB(x, y), colours[(x + y) % 3]) << x << "," << y;
}

TEST(BitmapPixelFormatTest, OrderedDitherOfWhiteLeavesOneBlackPixelPerBlock) {
  for (TLXLocation loc : {lxMemory, lxFile}) {
    auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
    b->Allocate(16, 16, lx24RGB);
    b->Fill(0xffffff);
    b->BilevelConversion = 0;
    b->SetPixelFormat(lx1g);
    int black = 0;
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 16; ++x)
        if (b->GetPixelRGB(x, y) == TRGB{}) {
          ++black;
          EXPECT_EQ(x % 8, 7);  // where the table holds 63
          EXPECT_EQ(y % 8, 0);
        }
    EXPECT_EQ(black, 4);
  }
}

TEST(BitmapPixelFormatTest, OrderedDitherOfMidGreyIsHalfWhite) {
  TLXBitmap b;
  b.Allocate(8, 8, lx24RGB);
  b.Fill(0x808080);
  b.BilevelConversion = 0;
  b.SetPixelFormat(lx1g);
  int white = 0;
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) white += b.GetPixelRGB(x, y).r == 255;
  EXPECT_EQ(white, 32);
}

TEST(BitmapPixelFormatTest, ThresholdAtTheMeanLuminance) {
  TLXBitmap b;
  b.Allocate(4, 1, lx8g);
  const uint8_t greys[4] = {10, 20, 200, 210};  // mean 110
  std::memcpy(b.Scanline(0), greys, 4);
  b.SetPixelFormat(lx1g);
  ASSERT_EQ(b.PixelFormat(), lx1g);
  EXPECT_EQ(b.Scanline(0)[0] & 0xf0, 0x30);
}

TEST(BitmapPixelFormatTest, ConversionKeepsTheAlphaChannel) {
  TLXBitmap b;
  b.Allocate(3, 3, lx24RGB);
  b.AlphaChannel()->Scanline(1)[1] = 9;
  b.SetPixelFormat(lx8g);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaAt(1, 1), 9);
}

TEST(BitmapPixelFormatTest, PlatformBitmapConvertsBetweenMonoAndTrueColour) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(16, 16, lx24RGB);
  b->Fill(0xffffff);
  b->BilevelConversion = 0;
  b->SetPixelFormat(lx1g);
  ASSERT_EQ(b->PixelFormat(), lx1g);
  EXPECT_EQ(b->Location(), lxTBitmap);
  EXPECT_EQ(TLXBitmapTestAccess::Platform(*b)->BitsPerPixel(), 1);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(b->GetPixelRGB(x, y).r, 255) << x << "," << y;
  b->FillRect(0, 0, 0, 0, 0);
  b->SetPixelFormat(lx24RGB);
  EXPECT_EQ(TLXBitmapTestAccess::Platform(*b)->BitsPerPixel(), 24);
  EXPECT_EQ(b->GetPixelRGB(0, 0), TRGB{});
  EXPECT_EQ(b->GetPixelRGB(1, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(b->RowLength(), 48);
}

TEST(BitmapPixelFormatTest, PlatformBitmapThresholdsAtTheMean) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(4, 1, lx24RGB);
  b->Fill(0x202020);
  b->FillRect(2, 0, 3, 0, 0xe0e0e0);
  b->SetPixelFormat(lx1g);
  ASSERT_EQ(b->PixelFormat(), lx1g);
  EXPECT_EQ(TLXBitmapTestAccess::Platform(*b)->BitsPerPixel(), 1);
  EXPECT_EQ(b->Scanline(0)[0] & 0xf0, 0x30);
}

TEST(BitmapPixelFormatTest, PlatformBitmapReadsTheRealDepthBack) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(4, 4, lx8p);
  b->SetPixelFormat(lx8g);  // same depth: only the record changes
  EXPECT_EQ(b->PixelFormat(), lx8g);
  b->SetPixelFormat(lx24RGB);  // the platform bitmap stays 8-bit
  EXPECT_EQ(b->PixelFormat(), lx8p);
  EXPECT_EQ(b->BitCount(), 8);
  EXPECT_THROW(b->SetPixelFormat(lx32f), ELXBitmapError);
}

TEST(BitmapSizeTest, SetWidthKeepsPaletteAndLeftColumns) {
  for (TLXLocation loc : {lxMemory, lxFile, lxTBitmap}) {
    auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
    b->Allocate(6, 3, lx8p);
    Paint(*b);
    b->SetPaletteEntry(9, 0x445566);
    b->SetWidth(3);
    EXPECT_EQ(b->Width(), 3);
    EXPECT_EQ(b->RowLength(), 4);
    EXPECT_TRUE(Painted(*b, 3, 3)) << int(loc);
    EXPECT_EQ(b->GetPaletteEntry(9), UnpackRGB(0x445566));
    b->SetWidth(10);
    EXPECT_TRUE(Painted(*b, 3, 3)) << int(loc);
    b->SetHeight(1);
    EXPECT_EQ(b->Height(), 1);
    EXPECT_TRUE(Painted(*b, 1, 3));
    b->SetHeight(4);
    EXPECT_TRUE(Painted(*b, 1, 3));
    EXPECT_FALSE(b->Full);
  }
}

TEST(BitmapSizeTest, SetWidthAndHeightBuildAnEmptyImage) {
  TLXBitmap b;
  b.SetPixelFormat(lx24RGB);
  b.SetWidth(5);
  EXPECT_TRUE(b.IsEmpty());
  b.SetHeight(4);
  EXPECT_EQ(b.Width(), 5);
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(b.RowLength(), 16);
  ASSERT_NE(b.Scanline(3), nullptr);
}

TEST(BitmapSizeTest, SizeChangesCarryTheAlphaChannel) {
  TLXBitmap b;
  b.Allocate(4, 4, lx24RGB);
  b.AlphaChannel()->Scanline(0)[0] = 5;
  b.SetWidth(7);
  b.SetHeight(2);
  ASSERT_TRUE(b.HasAlphaChannel());
  EXPECT_EQ(b.AlphaChannel()->Width(), 7);
  EXPECT_EQ(b.AlphaChannel()->Height(), 2);
  EXPECT_EQ(b.AlphaAt(0, 0), 5);
}

TEST(BitmapSizeTest, SetLocationMovesRowsPaletteAndAlpha) {
  const TLXLocation all[] = {lxMemory, lxFile, lxTBitmap};
  for (TLXLocation from : all) {
    for (TLXLocation to : all) {
      auto b = MakeBitmap(from, from == lxFile ? 0 : 1 << 20);
      b->Allocate(5, 3, lx8p);
      ASSERT_EQ(b->Location(), from);
      b->MemoryThreshold = to == lxFile ? 0 : 1 << 20;  // the size rule still applies
      Paint(*b);
      b->SetPaletteEntry(2, 0x010203);
      b->AlphaChannel()->Scanline(2)[4] = 33;
      b->SetLocation(to);
      EXPECT_EQ(b->Location(), to);
      EXPECT_TRUE(Painted(*b, 3, 5)) << int(from) << "->" << int(to);
      EXPECT_EQ(b->GetPaletteEntry(2), UnpackRGB(0x010203));
      EXPECT_EQ(b->AlphaAt(4, 2), 33);
      if (to == lxTBitmap) {
        EXPECT_EQ(TLXBitmapTestAccess::Platform(*b)->PaletteEntry(2), (TPaletteEntry{1, 2, 3, 0}));
      }
    }
  }
}

TEST(BitmapRectTest, CopyRectToClips) {
  struct Case { int sx, sy, dx, dy, w, h; int firstCol, firstRow, srcCol, srcRow, cols, rows; };
  // Source 8 x 6 painted with (x + 10 y); destination 5 x 4 cleared to 255.
  const Case cases[] = {
      {0, 0, 0, 0, 100, 100, 0, 0, 0, 0, 5, 4},
      {2, 1, -3, 0, 4, 2, 0, 0, 5, 1, 1, 2},   // dstX -3: from srcX + 3 into column 0
      {1, 1, 3, 2, 10, 10, 3, 2, 1, 1, 2, 2},  // cut at the destination's edge
      {6, 4, 0, 0, 10, 10, 0, 0, 6, 4, 2, 2},  // cut at the source's edge
      {-2, 0, 1, 0, 2, 1, 1, 0, 0, 0, 2, 1},   // negative source start held at 0
      {0, 0, 5, 0, 3, 3, 0, 0, 0, 0, 0, 0},    // starts beyond the destination
      {9, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0},    // starts beyond the source
      {0, 0, 0, -4, 3, 3, 0, 0, 0, 0, 0, 0},   // nothing left after the shift
  };
  for (const Case& c : cases) {
    TLXBitmap src, dst;
    src.Allocate(8, 6, lx8g);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) src.Scanline(y)[x] = uint8_t(x + 10 * y);
    dst.Allocate(5, 4, lx8g);
    dst.Fill(255);
    src.CopyRectTo(&dst, c.sx, c.sy, c.dx, c.dy, c.w, c.h);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) {
        const bool inside = x >= c.firstCol && x < c.firstCol + c.cols && y >= c.firstRow && y < c.firstRow + c.rows;
        const int want = inside ? (c.srcCol + x - c.firstCol) + 10 * (c.srcRow + y - c.firstRow) : 255;
        EXPECT_EQ(dst.Pixel8(x, y), want) << "case " << (&c - cases) << " at " << x << "," << y;
      }
  }
}

TEST(BitmapRectTest, CopyRectToBitsAndExpansion) {
  TLXBitmap mono, dst, colour;
  mono.Allocate(16, 1, lx1g);
  mono.Scanline(0)[0] = 0xa5;
  mono.Scanline(0)[1] = 0x0f;
  dst.Allocate(16, 1, lx1g);
  dst.Fill(1);
  mono.CopyRectTo(&dst, 2, 0, 5, 0, 8, 1);  // bits 2..9 of 10100101 00001111 into 5..12
  // 1010 0101 0000 1111 -> bits 2..9 are 1 0 0 1 0 1 0 0
  EXPECT_EQ(dst.Scanline(0)[0], 0xfc);  // 11111 100
  EXPECT_EQ(dst.Scanline(0)[1], 0xa7);  // 10100 111
  colour.Allocate(3, 1, lx24RGB);
  colour.Fill(0x123456);
  mono.CopyRectTo(&colour, 0, 0, 0, 0, 2, 1);
  EXPECT_EQ(colour.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(colour.GetPixelRGB(1, 0), TRGB{});
  EXPECT_EQ(colour.GetPixelRGB(2, 0), UnpackRGB(0x563412));
  TLXBitmap grey;
  grey.Allocate(3, 1, lx8g);
  grey.Fill(4);
  colour.CopyRectTo(&grey, 0, 0, 0, 0, 3, 1);  // another pair of formats: nothing
  EXPECT_EQ(grey.Pixel8(0, 0), 4);
}

TEST(BitmapRectTest, MoveRectOverlapsSafely) {
  for (TLXLocation loc : {lxMemory, lxFile}) {
    auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
    b->Allocate(6, 6, lx8g);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) b->Scanline(y)[x] = uint8_t(x + 10 * y);
    b->MoveRect(0, 0, 3, 3, 1, 1, 99);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 6; ++x) {
        int want = x + 10 * y;
        if (x <= 3 && y <= 3) want = 99;
        if (x >= 1 && x <= 4 && y >= 1 && y <= 4) want = (x - 1) + 10 * (y - 1);
        EXPECT_EQ(b->Pixel8(x, y), want) << x << "," << y << " at " << int(loc);
      }
  }
}

TEST(BitmapRectTest, ResizeCanvasCentresAndFillsTheAlphaChannel) {
  TLXBitmap b;
  b.Allocate(4, 2, lx8g);
  b.Fill(50);
  b.AlphaChannel()->Fill(100);
  b.ResizeCanvas(14, 2, 0, 255, 1, 0);
  ASSERT_EQ(b.Width(), 14);
  ASSERT_EQ(b.AlphaChannel()->Width(), 14);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 14; ++x) {
      const bool old = x >= 5 && x < 9;
      EXPECT_EQ(b.Pixel8(x, y), old ? 50 : 0) << x;
      EXPECT_EQ(b.AlphaAt(x, y), old ? 100 : 255) << x;
    }
}

TEST(BitmapRectTest, ResizeCanvasAlignments) {
  struct Case { int w, h, ha, va; int atX, atY; };  // where old (0,0) lands; -1 when cut
  const Case cases[] = {{8, 6, 2, 2, 4, 3}, {8, 6, 0, 0, 0, 0}, {8, 6, 1, 1, 2, 1},
                        {2, 3, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    TLXBitmap b;
    b.Allocate(4, 3, lx8g);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) b.Scanline(y)[x] = uint8_t(1 + x + 10 * y);
    b.ResizeCanvas(c.w, c.h, 0, 0, c.ha, c.va);
    ASSERT_EQ(b.Width(), c.w);
    ASSERT_EQ(b.Height(), c.h);
    EXPECT_EQ(b.Pixel8(c.atX, c.atY), 1) << c.w << "x" << c.h;
  }
  // Shrinking with the right/bottom alignment keeps the bottom-right part.
  TLXBitmap b;
  b.Allocate(4, 3, lx8g);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) b.Scanline(y)[x] = uint8_t(1 + x + 10 * y);
  b.ResizeCanvas(2, 1, 0, 0, 2, 2);
  EXPECT_EQ(b.Pixel8(0, 0), 1 + 2 + 20);
  EXPECT_EQ(b.Pixel8(1, 0), 1 + 3 + 20);
}

TEST(BitmapGreyTest, IsGrayScale) {
  TLXBitmap b;
  b.Allocate(2, 2, lx24RGB);
  b.Fill(0x808080);
  EXPECT_TRUE(b.IsGrayScale());
  b.FillRect(1, 1, 1, 1, 0x808081);
  EXPECT_FALSE(b.IsGrayScale());
  b.Allocate(1, 1, lx8p);
  EXPECT_TRUE(b.IsGrayScale());  // all entries black
  b.SetPaletteEntry(200, 0x010000);
  EXPECT_FALSE(b.IsGrayScale());
  b.Allocate(1, 1, lx16g);
  EXPECT_TRUE(b.IsGrayScale());
}

TEST(BitmapMaskTest, MaskRoundTrip) {
  TLXMask mask;
  mask.Allocate(10, 3, 8);
  mask.Fill(255);
  mask.SetPixel(9, 2, 7);
  auto alpha = TLXBitmap::CreateAlphaChannel(1, 1, lxMemory);
  alpha->CopyFromMask(&mask);
  EXPECT_EQ(alpha->PixelFormat(), lx8g);
  EXPECT_EQ(alpha->Width(), 10);
  EXPECT_EQ(alpha->Pixel8(9, 2), 7);
  EXPECT_EQ(alpha->Pixel8(0, 0), 255);
  EXPECT_FALSE(alpha->Full);
  TLXMask back;
  alpha->CopyToMask(&back);
  EXPECT_EQ(back.BitsPerPixel(), 8);
  EXPECT_EQ(back.GetPixel(9, 2), 7);
  EXPECT_FALSE(back.Full);

  TLXMask mono;
  mono.Allocate(10, 2, 1);
  mono.SetPixel(9, 0, 1);
  alpha->CopyFromMask(&mono);
  EXPECT_EQ(alpha->PixelFormat(), lx1g);
  EXPECT_EQ(alpha->Scanline(0)[1], 0x40);
  alpha->CopyFromMask(nullptr);
  EXPECT_TRUE(alpha->Full);
}

TEST(BitmapPlatformTest, CopyToTBitmapByFormat) {
  struct Case { TLXPixelFormat f; double fill; int bpp; uint32_t colour; };
  const Case cases[] = {{lx1g, 1, 1, 0xffffff},       {lx8g, 100, 8, 0x646464},
                        {lx16g, 0x6400, 8, 0x646464}, {lx32f, 0.5, 8, 0x7f7f7f},
                        {lx24RGB, 0x0a141e, 24, 0x0a141e}};
  for (const Case& c : cases) {
    TLXBitmap b;
    b.Allocate(3, 2, c.f);
    b.Fill(c.fill);
    TBitmap target;
    b.CopyToTBitmap(&target);
    EXPECT_EQ(target.Width(), 3);
    EXPECT_EQ(target.Height(), 2);
    EXPECT_EQ(target.BitsPerPixel(), c.bpp);
    EXPECT_EQ(target.PixelColor(2, 1), c.colour) << int(c.f);
  }
  TLXBitmap p;
  p.Allocate(2, 1, lx8p);
  p.SetPaletteEntry(3, PackRGB(CreateRGB(9, 8, 7)));
  p.Scanline(0)[1] = 3;
  TBitmap target;
  p.CopyToTBitmap(&target);
  EXPECT_EQ(target.PixelColor(1, 0), uint32_t(RGBColor(9, 8, 7)));
}

TEST(BitmapPlatformTest, CopyFromTBitmapByDepth) {
  struct Case { int bpp; TLXPixelFormat f; };
  const Case cases[] = {{1, lx1g}, {4, lx8p}, {8, lx8p}, {15, lx24RGB}, {16, lx24RGB}, {24, lx24RGB}, {32, lx24RGB}};
  for (TLXLocation loc : {lxMemory, lxFile, lxTBitmap}) {
    for (const Case& c : cases) {
      TBitmap source;
      source.SetBitsPerPixel(c.bpp);
      source.SetSize(5, 3);
      source.SetPixelColor(4, 2, RGBColor(255, 255, 255));
      source.SetPixelColor(1, 0, RGBColor(0, 0, 0));
      auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
      b->CopyFromTBitmap(&source);
      EXPECT_EQ(b->Width(), 5);
      EXPECT_EQ(b->Height(), 3);
      const TLXPixelFormat want = loc == lxTBitmap && c.bpp == 4 ? lx24RGB : c.f;
      EXPECT_EQ(b->PixelFormat(), want) << c.bpp << " at " << int(loc);
      // 5- and 6-bit channels widen by shifting: white reads as 248 (252 for green in 16 bits).
      const TRGB white = c.bpp == 15 ? TRGB{248, 248, 248} : c.bpp == 16 ? TRGB{248, 252, 248} : TRGB{255, 255, 255};
      EXPECT_EQ(b->GetPixelRGB(4, 2), white) << c.bpp << " at " << int(loc);
      EXPECT_EQ(b->GetPixelRGB(1, 0), TRGB{}) << c.bpp << " at " << int(loc);
      EXPECT_FALSE(b->Full);
    }
  }
}

TEST(BitmapPlatformTest, AttachedPlatformBitmapIsReadBackAndNeverFreed) {
  TBitmap mine;
  mine.SetBitsPerPixel(24);
  mine.SetSize(4, 2);
  {
    TLXBitmap b;
    b.AttachTBitmap(&mine, true);
    EXPECT_EQ(b.Location(), lxTBitmap);
    EXPECT_EQ(b.PixelFormat(), lx24RGB);
    EXPECT_EQ(b.Scanline(1), mine.ScanLine(1));
    mine.SetSize(6, 3);  // someone resizes it behind the bitmap's back
    EXPECT_EQ(b.Width(), 6);
    EXPECT_EQ(b.Height(), 3);
    EXPECT_EQ(b.RowLength(), 20);
    EXPECT_EQ(b.Scanline(2), mine.ScanLine(2));
    b.Allocate(2, 2, lx8g);  // reuses the caller's bitmap
    EXPECT_EQ(mine.Width(), 2);
    EXPECT_EQ(mine.BitsPerPixel(), 8);
  }
  EXPECT_EQ(mine.Width(), 2);
}

TEST(BitmapPlatformTest, AttachedMemoryIsBottomUpAndStaysTheCallers) {
  std::vector<uint8_t> block(8 * 2, 0);
  block[0] = 42;  // first byte of the last row
  {
    TLXBitmap b;
    b.AttachMemory(block.data(), 2, 2, lx24RGB, true);
    EXPECT_EQ(b.Location(), lxMemory);
    EXPECT_EQ(b.Scanline(1)[0], 42);
    b.SetLocation(lxTBitmap);
    EXPECT_EQ(b.Scanline(1)[0], 42);
  }
  EXPECT_EQ(block[0], 42);
}

TEST(BitmapPlatformTest, CanvasMovesTheImageIntoAPlatformBitmap) {
  TLXBitmap b;
  b.Allocate(3, 3, lx24RGB);
  b.Fill(0x0000ff);
  ASSERT_NE(b.Canvas(), nullptr);
  EXPECT_EQ(b.Location(), lxTBitmap);
  EXPECT_EQ(b.SystemBitmap()->PixelColor(2, 2), 0x0000ffu);
}
TEST(BitmapPlatformTest, CopyFromDibbitmapByDepth) {
  for (TLXLocation loc : {lxMemory, lxFile, lxTBitmap}) {
    TLXDibbitmap dib;
    dib.AllocateDib(3, 2, 24);
    for (int y = 0; y < 2; ++y) std::memset(dib.Scanline(y), 10 + y, 12);
    auto b = MakeBitmap(loc, loc == lxFile ? 0 : -2);
    b->CopyFromDibbitmap(&dib);
    EXPECT_EQ(b->PixelFormat(), lx24RGB);
    EXPECT_EQ(b->Width(), 3);
    EXPECT_EQ(b->GetPixelRGB(2, 1), (TRGB{11, 11, 11})) << int(loc);
    EXPECT_EQ(b->GetPixelRGB(0, 0), (TRGB{10, 10, 10})) << int(loc);
    dib.AllocateDib(9, 1, 1);
    dib.Scanline(0)[1] = 0x80;
    b->CopyFromDibbitmap(&dib);
    EXPECT_EQ(b->PixelFormat(), lx1g);
    EXPECT_EQ(b->GetPixelRGB(8, 0), (TRGB{255, 255, 255}));
    b->CopyFromDibbitmap(nullptr);
    EXPECT_EQ(b->Width(), 9);
  }
}

TEST(BitmapPlatformTest, AssignIntoAPlatformBitmapKeepsItsAlphaAtTheNewSize) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(2, 2, lx24RGB);
  b->AlphaChannel()->Fill(7);
  TLXBitmap src;
  src.Allocate(5, 3, lx8g);
  src.Fill(60);
  b->Assign(&src);
  EXPECT_EQ(b->PixelFormat(), lx8g);
  EXPECT_EQ(b->Pixel8(4, 2), 60);
  ASSERT_TRUE(b->HasAlphaChannel());
  EXPECT_EQ(b->AlphaChannel()->Width(), 5);  // a kept channel always matches its image
  EXPECT_EQ(b->AlphaChannel()->Height(), 3);
  EXPECT_EQ(b->AlphaAt(4, 2), 255);
  b->AlphaChannel()->Fill(8);
  b->AssignImage(&src);  // same size: the kept channel is untouched
  EXPECT_EQ(b->AlphaAt(0, 0), 8);
}

TEST(BitmapPlatformTest, ResizedPlatformBitmapReallocatesTheAlphaChannel) {
  auto b = MakeBitmap(lxTBitmap);
  b->Allocate(2, 2, lx24RGB);
  b->AlphaChannel()->Fill(7);
  b->SystemBitmap()->SetSize(4, 3);
  EXPECT_EQ(b->Width(), 4);
  EXPECT_EQ(b->AlphaChannel()->Width(), 4);
  EXPECT_EQ(b->AlphaChannel()->Height(), 3);
}

TEST(BitmapTest, FillOfMonoWithASystemColourPaintsWhite) {
  TLXBitmap b;
  b.Allocate(1, 1, lx1g);
  b.Fill(clBtnFace);
  EXPECT_TRUE(b.Full);
  EXPECT_EQ(b.GetPixelRGB(0, 0), (TRGB{255, 255, 255}));
  TLXBitmap none;
  none.Full = true;
  none.Fill(0);
  EXPECT_TRUE(none.Full);
}

TEST(BitmapTest, FileLocationCarriesEveryOperation) {
  // MemoryThreshold 0: every intermediate bitmap stays in a file as well.
  auto b = MakeBitmap(lxFile, 0);
  b->Allocate(6, 4, lx24RGB);
  b->Fill(0x102030);
  b->AlphaChannel()->Fill(128);
  b->ResizeCanvas(8, 6, 0xffffff, 0, 2, 1);
  ASSERT_EQ(b->Location(), lxFile);
  EXPECT_EQ(b->GetPixelRGB(2, 1), UnpackRGB(0x302010));
  EXPECT_EQ(b->GetPixelRGB(1, 1), (TRGB{255, 255, 255}));
  EXPECT_EQ(b->GetPixelRGB(2, 0), (TRGB{255, 255, 255}));
  EXPECT_EQ(b->AlphaAt(7, 4), 128);
  EXPECT_EQ(b->AlphaAt(7, 5), 0);
  b->SetPixelFormat(lx8g);
  EXPECT_EQ(b->Location(), lxFile);
  EXPECT_EQ(b->Pixel8(3, 3), (21 * 0x30 + 71 * 0x20 + 8 * 0x10) / 100);  // red is the lowest byte of a fill
  b->SyncFull();
  EXPECT_FALSE(b->Full);
}
}  // namespace
