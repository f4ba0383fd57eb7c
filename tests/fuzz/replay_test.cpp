// The load fuzz target over the corpus and over damaged copies of a few files:
// none may crash, hang or leak (the sanitizer build watches the memory).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "fuzz/load_target.h"
#include "image/bitmap.h"
#include "io/formattable.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;

// The selector byte that names the file's own format: its file-type code.
uint8_t SelectorFor(const fs::path& file) {
  const TIOFormat* row = IOFormatRowForExtension(file.extension().string(), iorLoadByExtension);
  return row ? uint8_t(row->FileType) : 0;
}

std::vector<uint8_t> ReadAll(const std::string& name) {
  std::ifstream f(name, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void Feed(uint8_t selector, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> input;
  input.reserve(file.size() + 1);
  input.push_back(selector);
  input.insert(input.end(), file.begin(), file.end());
  RunLoadTarget(input.data(), input.size());
}

// Cut short at a spread of lengths, then single bytes overwritten at a spread
// of places (with values that make lengths and counts extreme).
void RunDamaged(uint8_t selector, const std::vector<uint8_t>& file) {
  const size_t n = file.size();
  for (size_t len : {size_t(0), size_t(1), size_t(7), size_t(8), size_t(13), size_t(33)})
    if (len < n) Feed(selector, std::vector<uint8_t>(file.begin(), file.begin() + std::ptrdiff_t(len)));
  for (int i = 1; i < 16; ++i) {
    const size_t len = n * size_t(i) / 16;
    Feed(selector, std::vector<uint8_t>(file.begin(), file.begin() + std::ptrdiff_t(len)));
  }
  uint32_t seed = 12345;
  for (int i = 0; i < 96 && n > 0; ++i) {
    seed = seed * 1103515245u + 12345u;
    // Headers matter most: half the places fall in the first 64 bytes.
    const size_t at = i % 2 ? (seed >> 8) % std::min<size_t>(n, 64) : (seed >> 8) % n;
    std::vector<uint8_t> bad = file;
    static const uint8_t kValues[] = {0x00, 0xFF, 0x80, 0x7F};
    bad[at] = i % 8 < 4 ? kValues[i % 4] : uint8_t(bad[at] ^ (1u << (seed >> 28) % 8));
    Feed(selector, bad);
  }
}

std::vector<uint8_t> EncodeJpeg(bool progressive, int colorSpace) {
  TLXBitmap b;
  b.Allocate(45, 29, lx24RGB);
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* r = b.Scanline(y);
    for (int x = 0; x < b.Width(); ++x) {
      r[x * 3] = uint8_t(x * 5);
      r[x * 3 + 1] = uint8_t(((x / 4 + y / 4) & 1) ? 220 : 30);
      r[x * 3 + 2] = uint8_t(y * 8);
    }
  }
  TIOParamsVals p(nullptr);
  p.JPEGProgressive = progressive;
  p.JPEGColorSpace = colorSpace;
  std::atomic<bool> abort{false};
  TIOProgress prog;
  prog.abort = &abort;
  TMemoryStream out;
  JPEGWriteStream(out, &b, p, prog);
  EXPECT_FALSE(abort);
  return out.Data();
}

TEST(LoadReplay, EveryCorpusFileByItsFormatAndByContent) {
  REQUIRE_CORPUS();
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(CorpusPath(""))) {
    if (!e.is_regular_file()) continue;
    const uint8_t selector = SelectorFor(e.path());
    if (selector == 0) continue;
    const std::vector<uint8_t> data = ReadAll(e.path().string());
    Feed(selector, data);
    Feed(0, data);
    ++files;
  }
  EXPECT_GT(files, 200);
}

TEST(LoadReplay, DamagedCorpusFiles) {
  REQUIRE_CORPUS();
  // One of each kind of reader: plain, run-length and bit-field BMP, icons with
  // BMP and PNG entries, a cursor, PNG colour types and interlacing.
  static const char* const kFiles[] = {
      "bmp/bmpsuite/g/pal8.bmp",       "bmp/bmpsuite/g/pal4rle.bmp",  "bmp/bmpsuite/g/rgb16-565.bmp",
      "bmp/bmpsuite/g/rgb32bf.bmp",    "ico/pillow/python.ico",       "ico/image-rs/images/png-32bpp-alpha.ico",       "ico/image-rs/images/bmp-24bpp-mask.ico",
      "ico/pillow/deerstalker.cur",    "png/pngsuite/png/basn3p04.png", "png/pngsuite/png/basi6a16.png",
      "png/pngsuite/png/tbrn2c08.png",
  };
  int found = 0;
  for (const char* name : kFiles) {
    const std::string path = CorpusPath(name);
    if (!fs::exists(path)) continue;
    const std::vector<uint8_t> data = ReadAll(path);
    SCOPED_TRACE(name);
    RunDamaged(SelectorFor(path), data);
    RunDamaged(0, data);
    ++found;
  }
  EXPECT_GE(found, 8);
}

TEST(LoadReplay, DamagedJpegs) {
  struct Case {
    bool progressive;
    int colorSpace;  // 2 YCbCr, 1 grey, 3 CMYK
  };
  for (const Case& c : {Case{false, 2}, Case{true, 2}, Case{false, 1}, Case{false, 3}}) {
    const std::vector<uint8_t> data = EncodeJpeg(c.progressive, c.colorSpace);
    RunDamaged(uint8_t(ioJPEG), data);
    RunDamaged(0, data);
  }
}

}  // namespace
