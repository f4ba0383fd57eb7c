#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/memory.h"
#include "platform/stream.h"
#include "platform/thread.h"
#include "tests/support/corpus.h"

#include <thread>

TEST(PathRules, SlashIsTheOnlySeparator) {
  struct Case { const char* path; const char* ext; const char* name; const char* folder; const char* base; };
  const Case cases[] = {
      {"/home/u/pic.JPG", ".JPG", "pic.JPG", "/home/u/", "pic"},
      {"/home/u.d/pic", "", "pic", "/home/u.d/", "pic"},
      {"a.tar.gz", ".gz", "a.tar.gz", "", "a.tar"},
      {"/dir/", "", "", "/dir/", ""},
      {"C:pic.bmp", ".bmp", "C:pic.bmp", "", "C:pic"},  // ":" is an ordinary character here
      {"back\\slash.png", ".png", "back\\slash.png", "", "back\\slash"},
      {".hidden", ".hidden", ".hidden", "", ""},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExtractFileExt(c.path), c.ext) << c.path;
    EXPECT_EQ(ExtractFileName(c.path), c.name) << c.path;
    EXPECT_EQ(ExtractFilePath(c.path), c.folder) << c.path;
    EXPECT_EQ(ExtractFileBaseName(c.path), c.base) << c.path;
  }
}

TEST(Directories, CreatesParentsAndRefusesEmpty) {
  const std::string root = ScratchDir("platform_force_dirs");
  const std::string deep = root + "/a/b/c/";
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(root + "/a/b/c"));
  EXPECT_TRUE(ForceDirectories(root + "/a"));  // existing
  EXPECT_TRUE(ForceDirectories("/"));
  EXPECT_THROW(ForceDirectories(""), EStreamError);
  try {
    ForceDirectories("");
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "Cannot Create Directory");
  }
  { std::ofstream(root + "/file") << "x"; }
  EXPECT_FALSE(ForceDirectories(root + "/file/sub"));  // a file in the way
}

TEST(TempFiles, UniqueTalvexFilesInTheChosenFolder) {
  const std::string folder = ScratchDir("platform_temp") + "/made/on/demand";
  const std::string dir = TempFolder(folder);
  EXPECT_TRUE(DirectoryExists(dir));
  const std::string a = CreateTempFile(dir), b = CreateTempFile(dir);
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_EQ(ExtractFilePath(a), folder + "/");
  EXPECT_EQ(ExtractFileName(a).rfind("talvex", 0), 0u);
  EXPECT_TRUE(FileExists(a));
  EXPECT_TRUE(DeleteFile(a));
  EXPECT_FALSE(FileExists(a));
  DeleteFile(b);
  EXPECT_EQ(CreateTempFile(folder + "/missing"), "");

  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  setenv("TMPDIR", folder.c_str(), 1);
  EXPECT_EQ(SystemTempPath(), folder);
  setenv("TMPDIR", std::string(300, 'x').c_str(), 1);  // too long to be a usable name
  EXPECT_EQ(SystemTempPath(), "/tmp");
  unsetenv("TMPDIR");
  EXPECT_EQ(SystemTempPath(), "/tmp");
  if (old) setenv("TMPDIR", saved.c_str(), 1);
}

TEST(FileOps, CopyAndSiblingTempAndRename) {
  const std::string dir = ScratchDir("platform_fileops");
  const std::string src = dir + "/src.bin", dst = dir + "/dst.bin";
  { std::ofstream(src, std::ios::binary) << std::string(3 << 20, 'q'); }  // beyond one copy chunk
  ASSERT_TRUE(CopyFile(src, dst));
  struct stat st {};
  ASSERT_EQ(::stat(dst.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 3 << 20);
  EXPECT_FALSE(CopyFile(dir + "/none", dst));
  EXPECT_TRUE(FileExists(dst));  // a failed copy leaves an existing target alone

  const std::string tmp = CreateSiblingTempFile(dst);
  ASSERT_FALSE(tmp.empty());
  EXPECT_EQ(ExtractFilePath(tmp), dir + "/");
  EXPECT_TRUE(RenameFile(tmp, dst));
  ASSERT_EQ(::stat(dst.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 0);
}

TEST(MemoryStatus, ReadsMemAvailable) {
  EXPECT_EQ(ParseMemAvailable("MemTotal: 100 kB\nMemAvailable:    2048 kB\n"), 2048 * 1024);
  EXPECT_EQ(ParseMemAvailable("MemTotal: 100 kB\n"), 0);
  EXPECT_EQ(ParseMemAvailable("MemAvailable: junk\n"), 0);
  EXPECT_EQ(ParseMemAvailable("MemAvailable: 99999999999999999 kB\n"), INT64_MAX);
  EXPECT_GT(AvailablePhysicalMemory(), 0);
}

TEST(Threads, IdentityDiffersBetweenThreads) {
  const TThreadId here = CurrentThreadId();
  EXPECT_EQ(here, CurrentThreadId());
  TThreadId there = here;
  std::thread([&] { there = CurrentThreadId(); }).join();
  EXPECT_NE(here, there);
}
