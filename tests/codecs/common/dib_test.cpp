#include "codecs/common/dib.h"

#include <gtest/gtest.h>

#include <vector>

#include "codecs/common/bytes.h"

namespace {

const TRGB kBlack{0, 0, 0}, kWhite{255, 255, 255}, kRed{0, 0, 255}, kBlue{255, 0, 0};

TEST(Dib, InfoAndCoreHeaders) {
  uint8_t b[64] = {};
  PutLE32(b, 40);
  PutLE32(b + 4, 7);
  PutLE32(b + 8, uint32_t(-5));  // top-down
  PutLE16(b + 12, 1);
  PutLE16(b + 14, 8);
  PutLE32(b + 16, 1);
  PutLE32(b + 24, 2835);
  PutLE32(b + 28, 3780);
  PutLE32(b + 32, 16);
  TDibHeader h;
  DibParseInfoHeader(b, 40, h);
  EXPECT_EQ(h.Size, 40u);
  EXPECT_EQ(h.Width, 7);
  EXPECT_EQ(h.Height, 5);
  EXPECT_TRUE(h.TopDown);
  EXPECT_EQ(h.BitCount, 8);
  EXPECT_EQ(h.Compression, 1u);
  EXPECT_EQ(h.XPelsPerMeter, 2835);
  EXPECT_EQ(h.YPelsPerMeter, 3780);
  EXPECT_EQ(h.ClrUsed, 16u);
  EXPECT_FALSE(h.BitFields);
  DibParseInfoHeader(b, 10, h);  // what is missing reads as 0
  EXPECT_EQ(h.BitCount, 0);

  uint8_t c[12] = {};
  PutLE32(c, 12);
  PutLE16(c + 4, 300);
  PutLE16(c + 6, 65535);
  PutLE16(c + 8, 1);
  PutLE16(c + 10, 4);
  DibParseCoreHeader(c, h);
  EXPECT_EQ(h.Width, 300);
  EXPECT_EQ(h.Height, 65535);
  EXPECT_FALSE(h.TopDown);
  EXPECT_EQ(h.BitCount, 4);
}

TEST(Dib, MonoTables) {
  const TRGB bw[] = {kBlack, kWhite}, wb[] = {kWhite, kBlack}, rb[] = {kRed, kBlue}, bwx[] = {kBlack, kWhite, kRed};
  EXPECT_EQ(MonoTableOf(bw, 2), TMonoTable::mtBlackWhite);
  EXPECT_EQ(MonoTableOf(wb, 2), TMonoTable::mtWhiteBlack);
  EXPECT_EQ(MonoTableOf(rb, 2), TMonoTable::mtColour);
  EXPECT_EQ(MonoTableOf(bwx, 3), TMonoTable::mtBlackWhite) << "only entries 0 and 1 matter";
  EXPECT_EQ(MonoTableOf(bw, 1), TMonoTable::mtColour);
  EXPECT_EQ(MonoTableOf(nullptr, 0), TMonoTable::mtBlackWhite);
}

// One stored row of each layout and what it unpacks to.
TEST(Dib, RowsUnpackEveryLayout) {
  const TRGB table[] = {kRed, kBlue, kWhite};
  auto header = [](int bits, int width) {
    TDibHeader h;
    h.BitCount = bits;
    h.Width = width;
    return h;
  };
  {  // 1 bit, coloured table: colours, or indexes with the native format
    const TDibRows rows(header(1, 10), table, 2, false);
    EXPECT_EQ(rows.Format(), lx24RGB);
    EXPECT_EQ(rows.StoredRowLength(), 4);
    const uint8_t s[4] = {0x80, 0x40, 0, 0};
    std::vector<uint8_t> d(30);
    rows.Unpack(s, d.data());
    EXPECT_EQ((TRGB{d[0], d[1], d[2]}), kBlue);
    EXPECT_EQ((TRGB{d[3], d[4], d[5]}), kRed);
    EXPECT_EQ((TRGB{d[27], d[28], d[29]}), kBlue);  // pixel 9
    const TDibRows native(header(1, 10), table, 2, true);
    EXPECT_EQ(native.Format(), lx8p);
    native.Unpack(s, d.data());
    EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 10), (std::vector<uint8_t>{1, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
  }
  {  // 1 bit, white, black: lx1g with the bits flipped
    const TRGB wb[] = {kWhite, kBlack};
    const TDibRows rows(header(1, 16), wb, 2, true);
    EXPECT_EQ(rows.Format(), lx1g);
    const uint8_t s[4] = {0xF0, 0x0F, 0, 0};
    uint8_t d[2];
    rows.Unpack(s, d);
    EXPECT_EQ(d[0], 0x0F);
    EXPECT_EQ(d[1], 0xF0);
  }
  {  // 4 bits, high nibble first; an index past the table reads black
    const TDibRows rows(header(4, 3), table, 3, false);
    const uint8_t s[4] = {0x12, 0x50, 0, 0};
    uint8_t d[9];
    rows.Unpack(s, d);
    EXPECT_EQ((TRGB{d[0], d[1], d[2]}), kBlue);
    EXPECT_EQ((TRGB{d[3], d[4], d[5]}), kWhite);
    EXPECT_EQ((TRGB{d[6], d[7], d[8]}), kBlack);
  }
  {  // 8 bits native: the indexes
    const TDibRows rows(header(8, 3), table, 3, true);
    EXPECT_EQ(rows.Format(), lx8p);
    const uint8_t s[4] = {2, 0, 1, 9};
    uint8_t d[3];
    rows.Unpack(s, d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 3), (std::vector<uint8_t>{2, 0, 1}));
  }
  {  // 16 bits: 5-5-5 by default, 5-6-5 through masks; the low bits stay 0
    uint8_t s[4];
    PutLE16(s, 0x7FFF);
    PutLE16(s + 2, 0x7C00);
    uint8_t d[6];
    TDibRows(header(16, 2), nullptr, 0, false).Unpack(s, d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 6), (std::vector<uint8_t>{248, 248, 248, 0, 0, 248}));
    TDibHeader h = header(16, 1);
    h.BitFields = true;
    h.Masks[0] = 0xF800;
    h.Masks[1] = 0x07E0;
    h.Masks[2] = 0x001F;
    PutLE16(s, 0x07E0);
    TDibRows(h, nullptr, 0, false).Unpack(s, d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 3), (std::vector<uint8_t>{0, 252, 0}));
  }
  {  // 24 and 32 bits; 32 drops its fourth byte, or goes through masks
    const uint8_t s[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint8_t d[6];
    TDibRows(header(24, 2), nullptr, 0, false).Unpack(s, d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 6), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    TDibRows(header(32, 2), nullptr, 0, false).Unpack(s, d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 6), (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
    TDibHeader h = header(32, 1);
    h.BitFields = true;
    h.Masks[0] = 0xFF000000;  // red in the top byte
    h.Masks[1] = 0x00FF0000;
    h.Masks[2] = 0x0000FF00;
    TDibRows(h, nullptr, 0, false).Unpack(s, d);
    EXPECT_EQ(std::vector<uint8_t>(d, d + 3), (std::vector<uint8_t>{2, 3, 4}));
  }
  EXPECT_FALSE(TDibRows(header(2, 4), nullptr, 0, false).Decodable());
}

}  // namespace
