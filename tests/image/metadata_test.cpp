#include "image/metadata.h"

#include <gtest/gtest.h>

#include <string>

TEST(MarkerList, LengthsWrapAtSegmentSize) {
  TLXMarkerList m;
  std::vector<uint8_t> big(70000, 7);
  m.AddMarker(0xE1, big.data(), 70000);
  m.AddMarker(0xFE, "hi", 2);
  ASSERT_EQ(m.Count(), 2);
  EXPECT_EQ(m.MarkerLength(0), 4464);
  EXPECT_EQ(m.IndexOf(0xFE), 1);
  EXPECT_EQ(m.IndexOf(0xED), -1);
  m.SetMarker(0, 0xED, 3, "abc");
  EXPECT_EQ(m.MarkerType(0), 0xED);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.MarkerData(0)), 3), "abc");
  TLXMarkerList copy;
  copy.AddMarker(1, "x", 1);
  copy.AssignMarkers(&m);
  EXPECT_EQ(copy.Count(), 2);
  copy.AssignMarkers(nullptr);
  EXPECT_EQ(copy.Count(), 2);
  copy.DeleteMarker(0);
  EXPECT_EQ(copy.MarkerType(0), 0xFE);
}

TEST(IPTC, BlockLayoutWithBothHeaders) {
  TLXIPTCInfoList l;
  l.AddRecord(2, 120, 10, "0123456789");
  EXPECT_TRUE(l.UserChanged);
  auto ps = l.SaveToBlock(true);
  ASSERT_EQ(ps.size(), 42u);  // 26 + 15, padded
  EXPECT_EQ(std::string(ps.begin(), ps.begin() + 13), "Photoshop 3.0");
  EXPECT_EQ(ps[13], 0);
  EXPECT_EQ(std::string(ps.begin() + 14, ps.begin() + 18), "8BIM");
  EXPECT_EQ(ps[18], 4);
  EXPECT_EQ(ps[19], 4);
  EXPECT_EQ((ps[22] << 24) | (ps[23] << 16) | (ps[24] << 8) | ps[25], 15);
  EXPECT_EQ(ps[26], 0x1C);
  EXPECT_EQ(ps[41], 0);
  auto ip = l.SaveToBlock(false);
  EXPECT_EQ(ip.size(), 22u);
  EXPECT_EQ(ip[0], 0x1C);
  EXPECT_EQ(ip[6], 0x02);
}

TEST(IPTC, RecordZeroSkippedOnWriteKeptOnRead) {
  TLXIPTCInfoList l;
  l.AddRecord(2, 0, 2, "\x00\x02");
  l.AddRecord(2, 5, 3, "abc");
  auto b = l.SaveToBlock(false);
  EXPECT_EQ(b.size(), 16u);  // 7 + 8, padded
  TLXIPTCInfoList r;
  r.LoadFromBlock(b.data(), int64_t(b.size()));
  EXPECT_FALSE(r.UserChanged);
  ASSERT_EQ(r.Count(), 2);  // the 2:0 of the IPTC header is parsed as a record
  EXPECT_EQ(r.Header(0).dataset, 0);
  EXPECT_EQ(r.Header(1).dataset, 5);
  EXPECT_EQ(r.Data(1), std::vector<uint8_t>({'a', 'b', 'c'}));
}

TEST(IPTC, LongLengthFormRoundTrips) {
  TLXIPTCInfoList l;
  std::vector<uint8_t> big(40000, 9);
  l.AddRecord(2, 116, 40000, big.data());
  auto b = l.SaveToBlock(true);
  EXPECT_EQ(b[29], 0x80);
  EXPECT_EQ(b[30], 0x04);
  EXPECT_EQ((b[31] << 24) | (b[32] << 16) | (b[33] << 8) | b[34], 40000);
  TLXIPTCInfoList r;
  r.LoadFromBlock(b.data(), int64_t(b.size()));
  ASSERT_EQ(r.Count(), 1);
  EXPECT_EQ(r.Data(0).size(), 40000u);
}

TEST(IPTC, HostileBlocksEndParsing) {
  struct Case { std::vector<uint8_t> bytes; int records; };
  const Case cases[] = {
      {{0x1C, 2, 5, 0x00, 0x10, 'a'}, 0},                       // length past the block
      {{0x1C, 2, 5, 0x80, 0x04, 0x7f, 0xff}, 0},                // long form needs 9 bytes
      {{0x1C, 2, 5, 0x80, 0x04, 0x80, 0, 0, 0, 1}, 0},          // negative length by magnitude: too long
      {{0x1C, 2, 5, 0x80, 0x04, 0xff, 0xff, 0xff, 0xff, 'z'}, 1}, // -1 -> 1 byte
      {{0x1C, 2, 5, 0, 1, 'q', 0x1C, 2}, 1},                    // trailing fragment ignored
      {{}, 0},
  };
  for (const Case& c : cases) {
    TLXIPTCInfoList r;
    r.LoadFromBlock(c.bytes.data(), int64_t(c.bytes.size()));
    EXPECT_EQ(r.Count(), c.records);
  }
}
