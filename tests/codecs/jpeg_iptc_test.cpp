// IPTC records travel through JPEG saves and loads of the controller, and what
// we write is read by an independent tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "image/bitmap.h"
#include "image/metadata.h"
#include "io/controller.h"
#include "tests/support/corpus.h"

namespace {

void Photo(TLXBitmap& b) {
  b.Allocate(24, 16, lx24RGB);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 24 * 3; ++x) b.Scanline(y)[x] = uint8_t(x * 3 + y * 11);
}

std::string Output(const std::string& cmd) {
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

}  // namespace

TEST(JpegIPTC, CaptionSurvivesSaveAndLoadAndExiftoolReadsIt) {
  const std::string dir = ScratchDir("jpegiptc");
  const std::string file = dir + "/caption.jpg";
  {
    TTalvexIO io;
    Photo(*io.Bitmap());
    io.Params().IPTCInfo->AddRecord(2, 120, 12, "Quelmar test");
    io.Params().IPTCInfo->AddRecord(2, 25, 4, "icon");
    io.SaveFile(file);
    ASSERT_FALSE(io.AbortFlag);
  }
  TTalvexIO io;
  io.LoadFile(file);
  ASSERT_FALSE(io.AbortFlag);
  const TLXIPTCInfoList& l = *io.Params().IPTCInfo;
  ASSERT_EQ(l.Count(), 2);
  EXPECT_EQ(l.Header(0).dataset, 120);
  EXPECT_EQ(std::string(l.Data(0).begin(), l.Data(0).end()), "Quelmar test");
  EXPECT_FALSE(l.UserChanged);
  EXPECT_EQ(io.Params().JPEGMarkers->IndexOf(237), 0);

  if (!HaveTool("exiftool")) GTEST_SKIP() << "exiftool is not installed (make deps)";
  EXPECT_EQ(Output("exiftool -s3 -IPTC:Caption-Abstract " + file), "Quelmar test\n");
  EXPECT_EQ(Output("exiftool -s3 -IPTC:Keywords " + file), "icon\n");
}

TEST(JpegIPTC, ClearedListRemovesTheBlock) {
  const std::string dir = ScratchDir("jpegiptc2");
  TTalvexIO io;
  Photo(*io.Bitmap());
  io.Params().IPTCInfo->AddRecord(2, 120, 3, "abc");
  io.SaveFile(dir + "/a.jpg");
  io.LoadFile(dir + "/a.jpg");
  ASSERT_EQ(io.Params().IPTCInfo->Count(), 1);
  io.Params().IPTCInfo->ClearRecords();
  io.SaveFile(dir + "/b.jpg");
  TTalvexIO again;
  again.LoadFile(dir + "/b.jpg");
  EXPECT_EQ(again.Params().IPTCInfo->Count(), 0);
  EXPECT_EQ(again.Params().JPEGMarkers->IndexOf(237), -1);
}
