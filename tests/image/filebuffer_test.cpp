#include "image/filebuffer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A store whose file holds bytes 0, 1, 2, ... (mod 251).
void FillStore(TLXFileBuffer& store, int64_t size) {
  ASSERT_TRUE(store.CreateFile("", size));
  uint8_t* block = store.MapBlock(TLXFileBuffer::fbWrite, size, 0);
  for (int64_t i = 0; i < size; ++i) block[i] = uint8_t(i % 251);
  store.UnmapBlock(block);
}

struct TempDirScope {
  std::string saved = TLXFileBuffer::TempDirectory;
  ~TempDirScope() { TLXFileBuffer::TempDirectory = saved; }
};

TEST(FileBufferTest, TemporaryFileHasThePrefixTheSizeAndGoesAway) {
  std::string name;
  {
    TLXFileBuffer store;
    EXPECT_FALSE(store.IsOpen());
    ASSERT_TRUE(store.CreateFile("", 1000));
    EXPECT_TRUE(store.IsOpen());
    name = store.FileName();
    EXPECT_EQ(fs::path(name).filename().string().rfind("talvex", 0), 0u);
    EXPECT_EQ(fs::file_size(name), 1000u);
  }
  EXPECT_FALSE(fs::exists(name));
}

TEST(FileBufferTest, ProcessWideFolderIsCreatedWithItsParents) {
  TempDirScope scope;
  const std::string base = ScratchDir("filebuffer_tempdir");
  TLXFileBuffer::TempDirectory = base + "/a/b/c/";
  TLXFileBuffer store;
  ASSERT_TRUE(store.CreateFile("", 10));
  EXPECT_EQ(fs::path(store.FileName()).parent_path(), fs::path(base + "/a/b/c"));
  store.CloseFile();
  fs::remove_all(base);
}

TEST(FileBufferTest, FolderThatCannotBeMadeRaises) {
  TempDirScope scope;
  const std::string base = ScratchDir("filebuffer_blocked");
  { std::ofstream(base + "/file") << "x"; }
  TLXFileBuffer::TempDirectory = base + "/file/sub";
  TLXFileBuffer store;
  try {
    store.CreateFile("", 10);
    FAIL() << "no error";
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Cannot Create Directory");
  }
  EXPECT_FALSE(store.IsOpen());
  fs::remove_all(base);
}

TEST(FileBufferTest, FileThatCannotBeCreatedGivesFalse) {
  TLXFileBuffer store;
  EXPECT_FALSE(store.CreateFile("/nonexistent-folder-quelmar/x.tmp", 10));
  EXPECT_FALSE(store.IsOpen());
}

TEST(FileBufferTest, MappingRules) {
  TLXFileBuffer store;
  FillStore(store, 64);
  // Write alone: old content not read, the block is stored on unmapping.
  uint8_t* w = store.MapBlock(TLXFileBuffer::fbWrite, 4, 10);
  std::memset(w, 0xee, 4);
  store.UnmapBlock(w);
  // Read alone: changes stay in memory.
  uint8_t* r = store.MapBlock(TLXFileBuffer::fbRead, 8, 8);
  EXPECT_EQ(r[0], 8);
  EXPECT_EQ(r[2], 0xee);
  EXPECT_EQ(r[6], 14);
  std::memset(r, 0, 8);
  store.UnmapBlock(r);
  const auto bytes = ReadAll(store.FileName());
  ASSERT_EQ(bytes.size(), 64u);
  EXPECT_EQ(bytes[8], 8);
  EXPECT_EQ(bytes[10], 0xee);
  EXPECT_EQ(bytes[13], 0xee);
  EXPECT_EQ(bytes[14], 14);
  EXPECT_EQ(store.MappedCount(), 0);
}

TEST(FileBufferTest, UnmapAllStoresWritableBlocks) {
  TLXFileBuffer store;
  FillStore(store, 16);
  uint8_t* a = store.MapBlock(TLXFileBuffer::fbRead | TLXFileBuffer::fbWrite, 2, 0);
  uint8_t* b = store.MapBlock(TLXFileBuffer::fbWrite, 2, 4);
  a[0] = 100;
  b[1] = 101;
  store.UnmapAll();
  EXPECT_EQ(store.MappedCount(), 0);
  const auto bytes = ReadAll(store.FileName());
  EXPECT_EQ(bytes[0], 100);
  EXPECT_EQ(bytes[5], 101);
}

TEST(FileBufferTest, ReadingPastTheEndRaises) {
  TLXFileBuffer store;
  FillStore(store, 16);
  EXPECT_THROW(store.MapBlock(TLXFileBuffer::fbRead, 8, 12), EStreamError);
}

TEST(FileBufferTest, WholeCopyGivesAnIdenticalFileUnderTheTargetsName) {
  TLXFileBuffer src, dst;
  FillStore(src, 3000);
  ASSERT_TRUE(dst.CreateFile("", 3000));
  const std::string target = dst.FileName();
  uint8_t* pending = src.MapBlock(TLXFileBuffer::fbRead | TLXFileBuffer::fbWrite, 1, 0);
  pending[0] = 77;  // a block still mapped is stored before the copy
  src.CopyTo(&dst, 3000, 0);
  EXPECT_EQ(src.MappedCount(), 0);
  EXPECT_EQ(dst.FileName(), target);
  const auto a = ReadAll(src.FileName()), b = ReadAll(target);
  EXPECT_EQ(a, b);
  EXPECT_EQ(b[0], 77);
  // Both are open again for reading and writing.
  uint8_t* back = dst.MapBlock(TLXFileBuffer::fbRead | TLXFileBuffer::fbWrite, 1, 2999);
  EXPECT_EQ(back[0], 2999 % 251);
  back[0] = 5;
  dst.UnmapBlock(back);
  EXPECT_EQ(ReadAll(target)[2999], 5);
  EXPECT_EQ(ReadAll(src.FileName())[2999], 2999 % 251);
}

TEST(FileBufferTest, PartialCopyFromAnOffsetCopiesExactlyThatRange) {
  TLXFileBuffer src, dst;
  FillStore(src, 500);
  ASSERT_TRUE(dst.CreateFile("", 500));
  src.CopyTo(&dst, 50, 100);
  const auto b = ReadAll(dst.FileName());
  ASSERT_EQ(b.size(), 500u);
  EXPECT_EQ(b[99], 0);
  EXPECT_EQ(b[100], 100);
  EXPECT_EQ(b[149], 149);
  EXPECT_EQ(b[150], 0);
}

TEST(FileBufferTest, CopyLargerThanOneChunk) {
  TLXFileBuffer src, dst;
  const int64_t size = (1 << 20) * 2 + 123;
  FillStore(src, size);
  ASSERT_TRUE(dst.CreateFile("", size));
  src.CopyTo(&dst, size - 1, 1);
  const auto a = ReadAll(src.FileName()), b = ReadAll(dst.FileName());
  EXPECT_EQ(b[0], 0);
  EXPECT_TRUE(std::equal(a.begin() + 1, a.end(), b.begin() + 1));
}

// In a folder that takes no new file the OS copy cannot stage its copy; the
// target must survive and receive the bytes through the chunked copy.
bool CopyIntoReadOnlyFolder(const std::string& dir) {
  TLXFileBuffer src, dst;
  if (!src.CreateFile(dir + "/source.bin", 256) || !dst.CreateFile(dir + "/target.bin", 256)) return false;
  uint8_t* block = src.MapBlock(TLXFileBuffer::fbWrite, 256, 0);
  for (int i = 0; i < 256; ++i) block[i] = uint8_t(255 - i);
  src.UnmapBlock(block);
  ::chmod(dir.c_str(), 0500);
  src.CopyTo(&dst, 256, 0);
  ::chmod(dir.c_str(), 0700);
  return dst.IsOpen() && src.IsOpen() && ReadAll(dir + "/target.bin") == ReadAll(dir + "/source.bin") &&
         ReadAll(dir + "/target.bin")[0] == 255;
}

TEST(FileBufferTest, FailedOsCopyKeepsTheTargetAndFallsBackToChunks) {
  const std::string dir = ScratchDir("filebuffer_ro");
  if (geteuid() != 0) {
    EXPECT_TRUE(CopyIntoReadOnlyFolder(dir));
  } else {
    // Permissions do not stop root: run the copy as an unprivileged user.
    ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0);
    EXPECT_EXIT(
        {
          if (::setgid(65534) != 0 || ::setuid(65534) != 0) std::_Exit(2);
          std::_Exit(CopyIntoReadOnlyFolder(dir) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
  }
  fs::remove_all(dir);
}

TEST(FileBufferTest, CopyNeedsTwoOpenStores) {
  TLXFileBuffer src, closed;
  FillStore(src, 10);
  src.CopyTo(&closed, 10, 0);
  EXPECT_FALSE(closed.IsOpen());
  closed.CopyTo(&src, 10, 0);
  EXPECT_EQ(ReadAll(src.FileName())[9], 9);
}

}  // namespace
