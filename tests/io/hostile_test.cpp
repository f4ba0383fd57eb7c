// Tiny files that claim huge pictures: each reader refuses them with AbortFlag
// before it allocates what they claim (peak memory and time of the same files
// run by bench/hostile-files.sh).
#include <gtest/gtest.h>

#include "fuzz/hostile.h"
#include "image/bitmap.h"
#include "io/controller.h"
#include "platform/stream.h"

namespace {

TEST(HostileFiles, AreRefusedBeforeTheyAllocate) {
  const auto files = HostileFiles();
  ASSERT_GE(files.size(), 10u);
  for (const THostileFile& f : files) {
    SCOPED_TRACE(f.Name);
    EXPECT_LT(f.Bytes.size(), 1024u);
    TMemoryStream s(f.Bytes);
    TTalvexIO io;
    io.LoadStreamAs(s, f.Selector);
    if (f.Accepted) {
      EXPECT_FALSE(io.AbortFlag);
      EXPECT_GE(io.Bitmap()->Width(), 2000);
    } else {
      EXPECT_TRUE(io.AbortFlag);
      EXPECT_LE(int64_t(io.Bitmap()->Width()) * io.Bitmap()->Height(), 256 * 256);
    }
    // Detection finds the same reader (an icon that is a bitmap file is one).
    s.SetPosition(0);
    EXPECT_EQ(io.DetectStreamFormat(s), f.Bytes[0] == 'B' ? int32_t(ioBMP) : int32_t(f.Selector));
  }
}

}  // namespace
