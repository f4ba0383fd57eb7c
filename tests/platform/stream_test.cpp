#include "platform/stream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;

// Read system calls of this process so far, or -1 when the kernel does not say.
int64_t ReadCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  int64_t value = 0;
  while (io >> key >> value)
    if (key == "syscr:") return value;
  return -1;
}

class FileStream : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = ScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    name_ = dir_ + "/data.bin";
    data_.resize(200000);
    std::iota(data_.begin(), data_.end(), uint8_t(0));
    for (size_t i = 0; i < data_.size(); i += 7) data_[i] = uint8_t(i >> 8);
    std::ofstream(name_, std::ios::binary).write(reinterpret_cast<const char*>(data_.data()), std::streamsize(data_.size()));
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string dir_, name_;
  std::vector<uint8_t> data_;
};

TEST_F(FileStream, SmallReadsCostNoSystemCallEach) {
  TFileStream f(name_, TFileMode::fmOpenRead);
  const int64_t before = ReadCalls();
  std::vector<uint8_t> got(data_.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(f.Read(&got[i], 1), 1);
  const int64_t after = ReadCalls();
  EXPECT_EQ(got, data_);
  EXPECT_EQ(f.Position(), int64_t(data_.size()));
  uint8_t b = 0;
  EXPECT_EQ(f.Read(&b, 1), 0);
  if (before < 0) GTEST_SKIP() << "/proc/self/io does not count read calls here";
  EXPECT_LE(after - before, 10) << "200000 one-byte reads";
}

TEST_F(FileStream, SeeksReadsAndWritesStayCoherent) {
  TFileStream f(name_, TFileMode::fmOpenReadWrite);
  uint8_t b[4];
  f.SetPosition(70000);
  ASSERT_EQ(f.Read(b, 4), 4);
  EXPECT_EQ(b[0], data_[70000]);
  f.Seek(-2, TSeekOrigin::soCurrent);
  EXPECT_EQ(f.Position(), 70002);
  // A write inside what was read ahead is what the next read returns.
  const uint8_t mark[3] = {0xAB, 0xCD, 0xEF};
  EXPECT_EQ(f.Write(mark, 3), 3);
  EXPECT_EQ(f.Position(), 70005);
  f.SetPosition(70001);
  ASSERT_EQ(f.Read(b, 4), 4);
  EXPECT_EQ(b[0], data_[70001]);
  EXPECT_EQ(b[1], 0xAB);
  EXPECT_EQ(b[3], 0xEF);
  // Reads at the end are short; a negative position is refused.
  EXPECT_EQ(f.Seek(-1, TSeekOrigin::soEnd), int64_t(data_.size()) - 1);
  EXPECT_EQ(f.Read(b, 4), 1);
  EXPECT_EQ(f.Seek(-5, TSeekOrigin::soBeginning), -1);
  EXPECT_EQ(f.Position(), int64_t(data_.size()));
  // A big read goes straight through, from any position.
  f.SetPosition(3);
  std::vector<uint8_t> big(150000);
  ASSERT_EQ(f.Read(big.data(), int64_t(big.size())), int64_t(big.size()));
  EXPECT_EQ(big[0], data_[3]);
  EXPECT_EQ(big[69999], 0xAB);
  EXPECT_EQ(big.back(), data_[150002]);
  // Writing past the end extends the file; shrinking drops what was read ahead.
  f.SetPosition(int64_t(data_.size()) + 10);
  EXPECT_EQ(f.Write(mark, 1), 1);
  EXPECT_EQ(f.Size(), int64_t(data_.size()) + 11);
  f.SetSize(5);
  f.SetPosition(0);
  EXPECT_EQ(f.Read(big.data(), 100), 5);
}

}  // namespace
