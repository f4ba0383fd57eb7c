#include "codecs/common/bytereader.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "codecs/common/bytes.h"
#include "platform/stream.h"

namespace {

// A memory stream that counts the calls a reader makes of it.
class TCountingStream : public TMemoryStream {
public:
  using TMemoryStream::TMemoryStream;
  int64_t Read(void* buffer, int64_t count) override {
    ++reads;
    return TMemoryStream::Read(buffer, count);
  }
  int reads = 0;
};

std::vector<uint8_t> Counting(size_t n) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), uint8_t(0));
  return v;
}

TEST(Bytes, LittleAndBigEndianInMemory) {
  uint8_t b[4];
  PutLE32(b, 0x11223344);
  EXPECT_EQ(b[0], 0x44);
  EXPECT_EQ(GetLE32(b), 0x11223344u);
  EXPECT_EQ(GetBE32(b), 0x44332211u);
  PutBE16(b, 0xABCD);
  EXPECT_EQ(b[0], 0xAB);
  EXPECT_EQ(GetBE16(b), 0xABCD);
  EXPECT_EQ(GetLE16(b), 0xCDAB);
  PutLE16(b, 0x1FFFF);  // only the low 16 bits
  EXPECT_EQ(GetLE16(b), 0xFFFF);
  PutBE32(b, 0x80000001);
  EXPECT_EQ(GetBE32(b), 0x80000001u);
}

TEST(ByteReader, IntegersInEitherOrder) {
  TMemoryStream s({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xFF, 0xFE, 0x80, 0x00, 0x00, 0x00});
  TByteReader r(s);
  EXPECT_EQ(r.U16LE(), 0x0201);
  EXPECT_EQ(r.U16BE(), 0x0304);
  r.SetOrder(TByteOrder::boBig);
  EXPECT_EQ(r.U16(), 0x0506);
  EXPECT_EQ(r.S16(), -2);  // FF FE
  r.SetOrder(TByteOrder::boLittle);
  EXPECT_EQ(r.S32(), 128);
  EXPECT_FALSE(r.Truncated());
  EXPECT_EQ(r.Remaining(), 0);
  TMemoryStream t({0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80});
  TByteReader u(t, TByteOrder::boBig);
  EXPECT_EQ(u.U32(), 0xFFFFFF7Fu);
  EXPECT_EQ(u.S32LE(), INT32_MIN);
}

TEST(ByteReader, ReadingPastTheEndGivesZerosAndStaysTruncated) {
  TMemoryStream s({1, 2, 3});
  TByteReader r(s);
  EXPECT_EQ(r.U16LE(), 0x0201);
  EXPECT_EQ(r.U32LE(), 3u);  // one byte there, three missing
  EXPECT_TRUE(r.Truncated());
  EXPECT_EQ(r.U8(), 0);
  EXPECT_TRUE(r.Seek(0));
  EXPECT_EQ(r.U8(), 1);
  EXPECT_TRUE(r.Truncated()) << "the state is sticky";

  TMemoryStream empty;
  TByteReader e(empty);
  EXPECT_EQ(e.U8(), 0);
  EXPECT_TRUE(e.Truncated());
}

TEST(ByteReader, ShortReadFillsTheRestWithZeros) {
  TMemoryStream s({9, 8, 7});
  TByteReader r(s);
  uint8_t b[6] = {1, 1, 1, 1, 1, 1};
  EXPECT_EQ(r.Read(b, 6), 3);
  EXPECT_EQ(std::vector<uint8_t>(b, b + 6), (std::vector<uint8_t>{9, 8, 7, 0, 0, 0}));
  EXPECT_TRUE(r.Truncated());
  EXPECT_EQ(r.Position(), 3);
}

TEST(ByteReader, SeekSkipAndPositionAreAbsolute) {
  TMemoryStream s(Counting(100));
  s.SetPosition(10);
  TByteReader r(s);
  EXPECT_EQ(r.Position(), 10);
  EXPECT_EQ(r.Remaining(), 90);
  EXPECT_EQ(r.U8(), 10);
  EXPECT_TRUE(r.Skip(5));
  EXPECT_EQ(r.U8(), 16);
  EXPECT_TRUE(r.Seek(3));
  EXPECT_EQ(r.U8(), 3);
  EXPECT_TRUE(r.Seek(100));
  EXPECT_FALSE(r.Truncated()) << "the end itself is a valid position";
  EXPECT_FALSE(r.Seek(101));
  EXPECT_TRUE(r.Truncated());
  EXPECT_EQ(r.Position(), 100);
  EXPECT_FALSE(r.Skip(-1));
}

TEST(ByteReader, WindowsLimitReadingAndMoveOnToTheirEnd) {
  TMemoryStream s(Counting(64));
  TByteReader r(s);
  {
    TByteReader::TWindow chunk(r, 10);
    EXPECT_EQ(chunk.End(), 10);
    EXPECT_EQ(r.Remaining(), 10);
    r.Skip(2);
    {
      TByteReader::TWindow inner(r, 100);  // cannot reach past the outer window
      EXPECT_EQ(inner.End(), 10);
      EXPECT_EQ(r.U32BE(), 0x02030405u);
    }
    EXPECT_EQ(r.Position(), 10);
    EXPECT_EQ(r.U8(), 0);
    EXPECT_TRUE(r.Truncated());
  }
  EXPECT_EQ(r.Position(), 10);
  EXPECT_EQ(r.Remaining(), 54);
  {
    TByteReader::TWindow unread(r, 20);
    EXPECT_EQ(r.U8(), 10);
  }
  EXPECT_EQ(r.Position(), 30) << "the part of a window not read is skipped";
  EXPECT_EQ(r.U8(), 30);
  {
    TByteReader::TWindow tooLong(r, 1000);
    EXPECT_EQ(tooLong.End(), 64);
  }
  EXPECT_EQ(r.Position(), 64);
}

TEST(ByteReader, ReleaseGivesTheStreamBackAfterTheBytesConsumed) {
  TMemoryStream s(Counting(200));
  TByteReader r(s);
  EXPECT_EQ(r.U16LE(), 0x0100);
  r.Release();
  EXPECT_EQ(s.Position(), 2);
  // An embedded codec reads on from there...
  uint8_t b[5];
  s.Read(b, 5);
  // ...and the container carries on where it stopped.
  EXPECT_EQ(r.Position(), 7);
  EXPECT_EQ(r.U8(), 7);
  {
    TByteReader other(s);
    other.Seek(150);
    EXPECT_EQ(other.U8(), 150);
  }
  EXPECT_EQ(s.Position(), 151) << "the destructor gives the stream back too";
}

// Every buffer size reads the same bytes, across refills and bulk reads.
TEST(ByteReader, BufferSizesDoNotChangeWhatIsRead) {
  const std::vector<uint8_t> data = Counting(5000);
  for (int64_t size : {16, 17, 64, 1000, 65536}) {
    TMemoryStream s(data);
    TByteReader r(s, TByteOrder::boLittle, size);
    std::vector<uint8_t> got;
    for (int i = 0; i < 7; ++i) got.push_back(r.U8());
    const uint32_t v = r.U32BE();
    for (int k = 3; k >= 0; --k) got.push_back(uint8_t(v >> (8 * k)));
    std::vector<uint8_t> block(3000);
    EXPECT_EQ(r.Read(block.data(), 3000), 3000);
    got.insert(got.end(), block.begin(), block.end());
    r.Seek(4000);
    r.Seek(20);
    EXPECT_EQ(r.U8(), 20) << size;
    r.Seek(3011);
    while (r.Remaining() > 0) got.push_back(r.U8());
    EXPECT_EQ(got, data) << size;
    EXPECT_FALSE(r.Truncated()) << size;
  }
}

TEST(ByteReader, SingleBytesCostNoCallPerByte) {
  TCountingStream s(Counting(100000));
  TByteReader r(s);
  uint32_t sum = 0;
  for (int i = 0; i < 100000; ++i) sum += r.U8();
  EXPECT_EQ(sum, 100000u / 256 * (255 * 256 / 2) + (100000 % 256) * (100000 % 256 - 1) / 2);
  EXPECT_LE(s.reads, 3);
}

}  // namespace
