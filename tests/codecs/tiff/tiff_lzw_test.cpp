// TIFF's LZW strips through the hook functions: round trips, strips written by
// libtiff's tiffcp, what we write read back by libtiff, and damaged strips.
#include "codecs/tiff/tiff_lzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "codecs/common/lzw.h"
#include "platform/stream.h"
#include "tests/codecs/imagefiles.h"
#include "tests/support/corpus.h"
#include "tests/support/tiffbits.h"

// The coders install as the process-wide hooks as they are.
static_assert(std::is_same_v<decltype(&TIFFLZWDecompress), TTIFFDecompressor>);
static_assert(std::is_same_v<decltype(&TIFFLZWCompress), TTIFFCompressor>);

namespace {

std::vector<uint8_t> EncodeStrip(const std::vector<uint8_t>& image, size_t rowLength) {
  TMemoryStream s;
  std::unique_ptr<TLZWState> state;
  for (size_t at = 0; at < image.size(); at += rowLength) {
    TIFFLZWCompress(image.data() + at, int32_t(std::min(rowLength, image.size() - at)), s, state);
  }
  TIFFLZWCompress(nullptr, 0, s, state);
  EXPECT_EQ(state, nullptr);
  return s.Data();
}

// Rows until the decoder gives up; stops after maxRows.
std::vector<std::vector<uint8_t>> DecodeRows(const std::vector<uint8_t>& strip, int32_t rowLength, size_t maxRows,
                                             std::unique_ptr<TLZWState>& state) {
  std::vector<std::vector<uint8_t>> rows;
  while (rows.size() < maxRows) {
    const uint8_t* row = TIFFLZWDecompress(strip.data(), int64_t(strip.size()), rowLength, state);
    if (!row) break;
    rows.emplace_back(row, row + rowLength);
  }
  return rows;
}

std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& rows) {
  std::vector<uint8_t> all;
  for (const auto& r : rows) all.insert(all.end(), r.begin(), r.end());
  return all;
}

// A photo-like picture: gradients, noise and flat areas.
std::vector<uint8_t> Picture(size_t w, size_t h, size_t samples, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(w * h * samples);
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) {
      for (size_t c = 0; c < samples; ++c) {
        const size_t i = (y * w + x) * samples + c;
        v[i] = x < w / 3 ? uint8_t(x * 3 + y + c * 50) : x < 2 * w / 3 ? uint8_t(rng() % 9 + y) : uint8_t(c * 80);
      }
    }
  }
  return v;
}

// Codes packed most significant bit first, for hand-made strips.
std::vector<uint8_t> PackMSB(const std::vector<std::pair<uint32_t, int>>& codes) {
  std::vector<uint8_t> out;
  uint64_t acc = 0;
  int n = 0;
  for (auto [code, width] : codes) {
    acc = (acc << width) | code;
    n += width;
    while (n >= 8) out.push_back(uint8_t(acc >> (n -= 8)));
  }
  if (n > 0) out.push_back(uint8_t(acc << (8 - n)));
  return out;
}

struct TPackSink {
  std::vector<std::pair<uint32_t, int>> codes;
  void Put(uint32_t code, int width) { codes.push_back({code, width}); }
};

TEST(TiffLzwTest, RoundTripsRowsOfOddLengthsStripAfterStrip) {
  std::unique_ptr<TLZWState> state;
  uint32_t seed = 1;
  for (size_t rowLength : {size_t(1), size_t(3), size_t(333), size_t(1001), size_t(15000)}) {
    for (size_t rows : {size_t(1), size_t(7), size_t(300)}) {
      if (rowLength * rows > 5000000) continue;
      const auto image = Picture(rowLength, rows, 1, seed++);
      const auto strip = EncodeStrip(image, rowLength);
      ASSERT_GE(strip.size(), 2u);
      EXPECT_EQ(strip[0], 0x80);  // a clear code first: 256 in 9 bits
      TIFFLZWDecompress(nullptr, 0, 0, state);  // the reader releases the state between strips
      const auto back = DecodeRows(strip, int32_t(rowLength), rows + 1, state);
      ASSERT_EQ(back.size(), rows) << rowLength;  // the end code follows the last row
      EXPECT_EQ(Concat(back), image) << rowLength << " x " << rows;
    }
  }
  TIFFLZWDecompress(nullptr, 0, 0, state);
  EXPECT_EQ(state, nullptr);
}

TEST(TiffLzwTest, DamagedStrips) {
  std::unique_ptr<TLZWState> state;
  auto rows = [&](const std::vector<uint8_t>& strip, int32_t len) {
    TIFFLZWDecompress(nullptr, 0, 0, state);
    return DecodeRows(strip, len, 100, state);
  };
  // Clear, then the free code 258: nothing to decode.
  EXPECT_TRUE(rows(PackMSB({{256, 9}, {258, 9}}), 2).empty());
  // Code 261 while the table ends at 259: the row fails.
  EXPECT_TRUE(rows(PackMSB({{256, 9}, {65, 9}, {66, 9}, {261, 9}}), 4).empty());
  // Rows before the bad code stay decoded.
  auto r = rows(PackMSB({{256, 9}, {65, 9}, {66, 9}, {261, 9}}), 1);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1][0], 66);
  // A strip that ends mid-row: the row comes with its missing bytes 0, then nothing.
  r = rows(PackMSB({{256, 9}, {65, 9}, {66, 9}, {67, 9}}), 2);
  ASSERT_EQ(r.size(), 2u);
  EXPECT_EQ(r[1], (std::vector<uint8_t>{67, 0}));
  // Cut inside a code: the bits before it count.
  const auto image = Picture(100, 40, 1, 9);
  auto strip = EncodeStrip(image, 100);
  strip.resize(strip.size() / 2);
  r = rows(strip, 100);
  ASSERT_GE(r.size(), 1u);
  ASSERT_LT(r.size(), 40u);
  EXPECT_TRUE(std::equal(r[0].begin(), r[0].end(), image.begin()));
  // No data at all.
  EXPECT_TRUE(rows({}, 5).empty());
}

// A writer that lets the table fill and never clears: decoding goes on with
// the full table, as libtiff does (over megabytes, so the decoder's window
// drops what the full table no longer needs).
TEST(TiffLzwTest, FullTableWithoutClear) {
  TLZWFlavour f = LZWTIFFFlavour();
  f.ClearAt = 4096;
  const auto image = Picture(977, 3000, 1, 4);
  TPackSink sink;
  TLZWEncoder<TPackSink> encoder(f, sink);
  encoder.Start();
  encoder.Encode(image.data(), image.size());
  encoder.Finish();
  const auto strip = PackMSB(sink.codes);
  std::unique_ptr<TLZWState> state;
  EXPECT_EQ(Concat(DecodeRows(strip, 977, 3000, state)), image);
}

std::string Pnm(size_t w, size_t h, size_t samples, const std::vector<uint8_t>& pixels) {
  std::string s = (samples == 3 ? "P6\n" : "P5\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  s.append(pixels.begin(), pixels.end());
  return s;
}

// Strips libtiff writes decode to the image; strips we write are read by libtiff.
TEST(TiffLzwTest, AgreesWithLibtiff) {
  REQUIRE_TOOL("tiffcp");
  REQUIRE_TOOL("ppm2tiff");
  const std::string dir = ScratchDir("tiff-lzw-peers");
  struct TCase { size_t w, h, samples; };
  int n = 0;
  for (TCase c : {TCase{1, 1, 1}, TCase{333, 201, 1}, TCase{517, 389, 3}, TCase{2000, 3, 3}}) {
    const std::string base = dir + "/t" + std::to_string(n++);
    const auto image = Picture(c.w, c.h, c.samples, uint32_t(n));
    const std::string pnm = Pnm(c.w, c.h, c.samples, image);
    WriteFileBytes(base + ".pnm", std::vector<uint8_t>(pnm.begin(), pnm.end()));
    ASSERT_EQ(RunTool("ppm2tiff " + base + ".pnm " + base + ".none.tif && tiffcp -c lzw -r 100000 " + base +
                      ".none.tif " + base + ".lzw.tif"),
              0);
    const auto theirs = ReadFileBytes(base + ".lzw.tif");
    const TTestTiff t = ParseTestTiff(theirs);
    ASSERT_TRUE(t.Ok);
    ASSERT_EQ(t.Compression, 5u);
    ASSERT_EQ(t.Offsets.size(), 1u);
    std::unique_ptr<TLZWState> state;
    EXPECT_EQ(Concat(DecodeRows(TestTiffStrip(theirs, t, 0), int32_t(t.RowBytes()), c.h, state)), image)
        << c.w << "x" << c.h;

    // Ours, wrapped in a TIFF: libtiff decompresses it without a complaint.
    const auto ours = EncodeStrip(image, c.w * c.samples);
    WriteFileBytes(base + ".ours.tif",
                   MakeTestTiff(uint32_t(c.w), uint32_t(c.h), 8, uint32_t(c.samples), c.samples == 3 ? 2 : 1, 5, ours));
    std::string complaints;
    EXPECT_EQ(RunTool("(tiffinfo -D " + base + ".ours.tif > /dev/null)", &complaints), 0);
    EXPECT_EQ(complaints, "");
    ASSERT_EQ(RunTool("tiffcp -c none " + base + ".ours.tif " + base + ".back.tif"), 0);
    const auto back = ReadFileBytes(base + ".back.tif");
    const TTestTiff b = ParseTestTiff(back);
    ASSERT_TRUE(b.Ok);
    EXPECT_EQ(TestTiffAllStrips(back, b), image) << c.w << "x" << c.h;
  }
}

// Every LZW TIFF of the corpus (first image, strips) decodes to libtiff's own
// decode; predictor 2 is undone here for 8-bit samples, other predicted files
// are left out.
TEST(TiffLzwTest, CorpusStripsDecodeAsLibtiffDoes) {
  REQUIRE_CORPUS();
  REQUIRE_TOOL("tiffcp");
  const std::string dir = ScratchDir("tiff-lzw-corpus");
  int compared = 0;
  for (const char* sub : {"tiff/image-tiff", "tiff/pillow", "tiff/image-rs"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusPath(sub))) {
      if (!entry.is_regular_file()) continue;
      const auto file = ReadFileBytes(entry.path().string());
      const TTestTiff t = ParseTestTiff(file);
      if (!t.Ok || t.Compression != 5 || (t.Predictor == 2 && t.BitsPerSample != 8) || t.Predictor > 2) continue;
      const std::string copy = dir + "/" + entry.path().filename().string();
      if (RunTool("tiffcp -c none " + entry.path().string() + " " + copy) != 0) continue;
      const auto plain = ReadFileBytes(copy);
      const TTestTiff p = ParseTestTiff(plain);
      if (!p.Ok) continue;
      std::vector<uint8_t> ours;
      const size_t samples = t.Planar == 2 ? 1 : t.SamplesPerPixel;
      const size_t rowBytes = (size_t(t.Width) * samples * t.BitsPerSample + 7) / 8;
      for (size_t i = 0; i < t.Offsets.size(); ++i) {
        std::unique_ptr<TLZWState> state;
        auto strip = Concat(DecodeRows(TestTiffStrip(file, t, i), 1, size_t(t.RowsPerStrip) * rowBytes, state));
        if (t.Predictor == 2) {
          for (size_t at = 0; at < strip.size(); ++at) {
            if (at % rowBytes >= samples) strip[at] = uint8_t(strip[at] + strip[at - samples]);
          }
        }
        ours.insert(ours.end(), strip.begin(), strip.end());
      }
      const size_t sampleBytes = t.BitsPerSample / 8;
      if (t.BigEndian != p.BigEndian && t.BitsPerSample % 8 == 0 && sampleBytes > 1) {
        for (size_t at = 0; at + sampleBytes <= ours.size(); at += sampleBytes) {
          std::reverse(ours.begin() + long(at), ours.begin() + long(at + sampleBytes));
        }
      }
      EXPECT_EQ(ours, TestTiffAllStrips(plain, p)) << entry.path();
      ++compared;
    }
  }
  RecordProperty("compared", compared);
  EXPECT_GE(compared, 10);
}

}  // namespace
