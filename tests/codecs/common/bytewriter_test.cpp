#include "codecs/common/bytewriter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "io/progress.h"
#include "platform/stream.h"
#include "tests/support/streams.h"

namespace {

struct TProgressFixture {
  std::atomic<bool> abort{false};
  TIOProgress progress;
  TProgressFixture() { progress.abort = &abort; }
};

TEST(ByteWriter, PutsInEitherOrderAndFixesUpHeaders) {
  TProgressFixture f;
  TMemoryStream s;
  {
    TByteWriter w(s, f.progress, TByteOrder::boLittle, 16);
    w.Put8(0xAA);
    w.Put16LE(0x0102);
    w.Put32BE(0x03040506);
    const int64_t at = w.Position();
    w.Put32(0);  // a length to fix up
    w.SetOrder(TByteOrder::boBig);
    w.Put16(0x0708);
    w.Fill(0xEE, 20);  // crosses the small buffer
    const std::vector<uint8_t> block(40, 0x11);
    w.Put(block.data(), 40);
    const int64_t end = w.Position();
    EXPECT_EQ(end, 1 + 2 + 4 + 4 + 2 + 20 + 40);
    w.Seek(at);
    w.Put32LE(uint32_t(end));
    w.Seek(end);
    EXPECT_TRUE(w.Flush());
  }
  const auto& d = s.Data();
  ASSERT_EQ(d.size(), 73u);
  EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 15),
            (std::vector<uint8_t>{0xAA, 0x02, 0x01, 3, 4, 5, 6, 73, 0, 0, 0, 7, 8, 0xEE, 0xEE}));
  EXPECT_EQ(d[32], 0xEE);
  EXPECT_EQ(d[33], 0x11);
  EXPECT_EQ(d[72], 0x11);
  EXPECT_FALSE(f.abort);
}

TEST(ByteWriter, AShortWriteSetsAbortFlagAndDropsTheRest) {
  TProgressFixture f;
  TShortStream s(10);
  TByteWriter w(s, f.progress, TByteOrder::boLittle, 16);
  w.Fill(1, 8);
  EXPECT_TRUE(w.Flush());
  w.Fill(2, 8);
  EXPECT_FALSE(w.Flush());
  EXPECT_TRUE(w.Failed());
  EXPECT_TRUE(f.abort);
  w.Put32LE(5);
  w.Flush();
  EXPECT_EQ(s.Size(), 10);
}

TEST(ByteWriter, TheDestructorFlushes) {
  TProgressFixture f;
  TMemoryStream s;
  s.Write("xy", 2);
  { TByteWriter(s, f.progress).Put16BE(0x4142); }
  EXPECT_EQ(std::string(s.Data().begin(), s.Data().end()), "xyAB");
}

}  // namespace
