// GIF's LZW image data: our coder against itself, against GIFs written by
// ImageMagick and giflib, against the pygif suite's LZW edge cases, and what
// we write read back by ImageMagick and giflib.
#include "codecs/gif/gif_lzw.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "io/params.h"
#include "platform/stream.h"
#include "tests/codecs/imagefiles.h"
#include "tests/support/corpus.h"

// The coders install as the process-wide hooks as they are.
static_assert(std::is_same_v<decltype(&GIFLZWDecompress), TGIFDecompressor>);
static_assert(std::is_same_v<decltype(&GIFLZWCompress), TGIFCompressor>);

namespace {

// The first image of a GIF: where its LZW data starts and the table that applies.
struct TGifImage {
  bool found = false;
  size_t dataAt = 0;
  int left = 0, top = 0, width = 0, height = 0;
  bool interlaced = false;
  std::vector<uint8_t> table;  // r, g, b
  int screenWidth = 0, screenHeight = 0;
  int imageCount = 0;
};

size_t SkipSubBlocks(const std::vector<uint8_t>& d, size_t p) {
  while (p < d.size() && d[p] != 0) p += size_t(d[p]) + 1;
  return p + 1;
}

TGifImage FirstImage(const std::vector<uint8_t>& d) {
  TGifImage img;
  if (d.size() < 13) return img;
  img.screenWidth = d[6] | d[7] << 8;
  img.screenHeight = d[8] | d[9] << 8;
  size_t p = 13;
  std::vector<uint8_t> global;
  if (d[10] & 0x80) {
    const size_t n = size_t(3) << ((d[10] & 7) + 1);
    global.assign(d.begin() + 13, d.begin() + long(std::min(d.size(), 13 + n)));
    p += n;
  }
  while (p < d.size()) {
    const uint8_t b = d[p++];
    if (b == 0x21) {
      p = SkipSubBlocks(d, p + 1);
    } else if (b == 0x2C && p + 9 <= d.size()) {
      const uint8_t flags = d[p + 8];
      if (!img.found) {
        img.left = d[p] | d[p + 1] << 8;
        img.top = d[p + 2] | d[p + 3] << 8;
        img.width = d[p + 4] | d[p + 5] << 8;
        img.height = d[p + 6] | d[p + 7] << 8;
        img.interlaced = flags & 0x40;
        img.table = global;
      }
      p += 9;
      if (flags & 0x80) {
        const size_t n = size_t(3) << ((flags & 7) + 1);
        if (!img.found) img.table.assign(d.begin() + long(p), d.begin() + long(std::min(d.size(), p + n)));
        p += n;
      }
      if (!img.found) img.dataAt = p;
      img.found = true;
      ++img.imageCount;
      p = SkipSubBlocks(d, p + 1);
    } else {
      break;
    }
  }
  return img;
}

// A one-image GIF with a grey ramp of 2^depth entries around the given data.
std::vector<uint8_t> WrapGif(int width, int height, int depth, bool interlaced, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a', uint8_t(width), uint8_t(width >> 8), uint8_t(height),
                            uint8_t(height >> 8), uint8_t(0x80 | (depth - 1) << 4 | (depth - 1)), 0, 0};
  const int n = 1 << depth;
  for (int i = 0; i < n; ++i) {
    const uint8_t g = uint8_t(i * 255 / (n - 1));
    f.insert(f.end(), {g, g, g});
  }
  f.insert(f.end(), {0x2C, 0, 0, 0, 0, uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8),
                     uint8_t(interlaced ? 0x40 : 0)});
  f.insert(f.end(), data.begin(), data.end());
  f.push_back(0x3B);
  return f;
}

std::vector<uint8_t> Compress(int width, int height, int bits, const std::vector<uint8_t>& indexes, bool interlaced) {
  TMemoryStream s;
  GIFLZWCompress(s, height, width, bits, indexes.data(), interlaced);
  return s.Data();
}

struct TDecoded {
  TGIFLZWResult result;
  std::vector<uint8_t> pixels;
  int64_t position = 0;
};

TDecoded Decode(const std::vector<uint8_t>& bytes, size_t at, int width, int height, bool interlaced) {
  TMemoryStream s(bytes);
  s.SetPosition(int64_t(at));
  TDecoded d;
  d.pixels.assign(size_t(width) * size_t(height), 0xEE);
  d.result = GIFLZWDecode(s, height, width, interlaced, d.pixels.data());
  d.position = s.Position();
  return d;
}

std::vector<uint8_t> RandomIndexes(size_t n, int bits, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t((i % 97 < 60 ? rng() : i / 13) & ((1u << bits) - 1));
  return v;
}

// Indexes through the image's table, as r, g, b.
std::vector<uint8_t> ToRGB(const std::vector<uint8_t>& indexes, const std::vector<uint8_t>& table) {
  std::vector<uint8_t> rgb;
  for (uint8_t i : indexes) {
    for (int c = 0; c < 3; ++c) rgb.push_back(size_t(i) * 3 + 2 < table.size() ? table[size_t(i) * 3 + c] : 0);
  }
  return rgb;
}

TEST(GifLzwTest, RoundTripsOddSizesDepthsAndInterlace) {
  struct TSize { int w, h; };
  uint32_t seed = 5;
  for (TSize sz : {TSize{1, 1}, TSize{3, 5}, TSize{17, 13}, TSize{255, 3}, TSize{1, 11}, TSize{613, 401}}) {
    for (int bits = 1; bits <= 8; ++bits) {
      for (bool interlaced : {false, true}) {
        const auto idx = RandomIndexes(size_t(sz.w) * sz.h, bits, seed++);
        const auto data = Compress(sz.w, sz.h, bits, idx, interlaced);
        ASSERT_GE(data.size(), 3u);
        EXPECT_EQ(data[0], std::max(bits, 2));
        // 254-byte sub-blocks, the last shorter, then the terminator.
        size_t p = 1;
        while (data[p] != 0) {
          const size_t n = data[p];
          p += n + 1;
          if (data[p] != 0) {
            EXPECT_EQ(n, 254u);
          }
        }
        EXPECT_EQ(p + 1, data.size());
        auto withTail = data;
        withTail.push_back(0x3B);
        const TDecoded d = Decode(withTail, 0, sz.w, sz.h, interlaced);
        EXPECT_TRUE(d.result.Ok);
        EXPECT_EQ(d.result.Pixels, int64_t(idx.size()));
        EXPECT_EQ(d.pixels, idx) << sz.w << "x" << sz.h << " bits " << bits << " interlaced " << interlaced;
        EXPECT_EQ(d.position, int64_t(data.size()));
      }
    }
  }
}

// Rows of an interlaced image come in the passes 0, 8, ...; 4, 12, ...; 2, 6, ...; 1, 3, ...
TEST(GifLzwTest, InterlacedRowsComeInFourPasses) {
  std::vector<uint8_t> rows(10);
  const int order[10] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
  for (int k = 0; k < 10; ++k) rows[size_t(k)] = uint8_t(order[k]);  // stream order: pass rows
  auto data = Compress(1, 10, 4, rows, false);
  data.push_back(0x3B);
  const TDecoded d = Decode(data, 0, 1, 10, true);
  for (int y = 0; y < 10; ++y) EXPECT_EQ(d.pixels[size_t(y)], y);
}

TEST(GifLzwTest, OddDataEndsSafely) {
  const auto idx = RandomIndexes(40 * 30, 8, 9);
  const auto good = Compress(40, 30, 8, idx, false);
  // The same codes in sub-blocks of one byte each.
  std::vector<uint8_t> tiny = {good[0]};
  std::vector<uint8_t> codes;
  for (size_t p = 1; good[p] != 0; p += size_t(good[p]) + 1) codes.insert(codes.end(), good.begin() + long(p) + 1, good.begin() + long(p + good[p] + 1));
  for (uint8_t b : codes) tiny.insert(tiny.end(), {1, b});
  tiny.push_back(0);
  tiny.push_back(0x3B);
  TDecoded d = Decode(tiny, 0, 40, 30, false);
  EXPECT_TRUE(d.result.Ok);
  EXPECT_EQ(d.pixels, idx);
  EXPECT_EQ(d.position, int64_t(tiny.size()) - 1);

  // The stream ends inside a sub-block: what is there decodes, the rest is 0.
  const std::vector<uint8_t> cut(good.begin(), good.begin() + long(good.size() / 2));
  d = Decode(cut, 0, 40, 30, false);
  EXPECT_TRUE(d.result.Ok);
  EXPECT_GT(d.result.Pixels, 0);
  EXPECT_LT(d.result.Pixels, int64_t(idx.size()));
  EXPECT_TRUE(std::equal(d.pixels.begin(), d.pixels.begin() + d.result.Pixels, idx.begin()));
  EXPECT_TRUE(std::all_of(d.pixels.begin() + d.result.Pixels, d.pixels.end(), [](uint8_t v) { return v == 0; }));
  EXPECT_EQ(d.position, int64_t(cut.size()));

  // More pixels than the image holds: the rest is dropped, the stream goes past the terminator.
  auto more = good;
  more.push_back(0x3B);
  d = Decode(more, 0, 40, 20, false);
  EXPECT_TRUE(d.result.Ok);
  EXPECT_TRUE(std::equal(d.pixels.begin(), d.pixels.end(), idx.begin()));
  EXPECT_EQ(d.position, int64_t(good.size()));

  // No pixels at all: the data is skipped.
  d = Decode(more, 0, 0, 20, false);
  EXPECT_TRUE(d.result.Ok);
  EXPECT_EQ(d.position, int64_t(good.size()));
}

TEST(GifLzwTest, UnusableDataLeavesTheStreamWhereItWas) {
  struct TCase { const char* what; std::vector<uint8_t> bytes; };
  const TCase cases[] = {
      {"minimum code size 0", {0, 1, 0x01, 0}},
      {"minimum code size 12", {12, 2, 0x00, 0x10, 0}},
      {"empty stream", {}},
      // m = 2: clear (4), 1, then 7 while the next free code is 6.
      {"code above the table", {2, 2, 0xCC, 0x01, 0}},
      // m = 2: clear (4), then 6 = the next free code.
      {"free code right after a clear", {2, 1, 0x34, 0}},
      // m = 9: clear (512), then literal 300.
      {"literal that is not a byte", {9, 3, 0x00, 0xB2, 0x04, 0}},
  };
  for (const TCase& c : cases) {
    std::vector<uint8_t> bytes = {0xAA};
    bytes.insert(bytes.end(), c.bytes.begin(), c.bytes.end());
    const TDecoded d = Decode(bytes, 1, 2, 2, false);
    EXPECT_FALSE(d.result.Ok) << c.what;
    EXPECT_EQ(d.position, 1) << c.what;
  }
  // Minimum code sizes 9 to 11 decode when the literals are bytes (browsers do).
  const TDecoded d = Decode({9, 4, 0x00, 0x06, 0x11, 0x20, 0}, 0, 1, 1, false);  // clear, 'A', end
  EXPECT_TRUE(d.result.Ok);
  EXPECT_EQ(d.pixels, std::vector<uint8_t>{65});
}

// The LZW edge cases of the pygif suite: every file's first image decodes to
// the colours of its first frame, except those whose data is corrupt.
TEST(GifLzwTest, PygifSuite) {
  REQUIRE_CORPUS();
  const std::string dir = CorpusPath("gif/pygif/");
  std::ifstream list(dir + "TESTS");
  std::string name;
  int compared = 0, decoded = 0;
  while (list >> name) {
    std::ifstream conf(dir + name + ".conf");
    std::map<std::string, std::string> cfg;  // "section.key" -> value
    std::string line, section;
    while (std::getline(conf, line)) {
      if (line.size() > 2 && line[0] == '[') section = line.substr(1, line.find(']') - 1);
      const size_t eq = line.find(" = ");
      if (eq != std::string::npos) cfg[section + "." + line.substr(0, eq)] = line.substr(eq + 3);
      else if (line.size() > 2 && line.back() == '=') cfg[section + "." + line.substr(0, line.find(' '))] = "";
    }
    const auto file = ReadFileBytes(dir + cfg["config.input"]);
    const TGifImage img = FirstImage(file);
    if (!img.found) continue;
    const TDecoded d = Decode(file, img.dataAt, img.width, img.height, img.interlaced);
    // Corrupt codes; and three descriptors with no data behind them at all (the
    // trailer or the end of the file follows), which the decoder refuses so
    // that the image reader decides what an empty image is.
    const bool corrupt = name == "invalid-code" || name == "overflow-codes" || name == "overflow-codes-max" ||
                         name.rfind("image-zero-", 0) == 0;
    EXPECT_EQ(d.result.Ok, !corrupt) << name;
    if (!d.result.Ok) {
      EXPECT_EQ(d.position, int64_t(img.dataAt)) << name;
      continue;
    }
    ++decoded;
    // The expected frame is the screen after drawing: compare where the first
    // image alone fills it, opaque.
    std::string frames = cfg["config.frames"];
    const int frameCount = frames.empty() ? 0 : int(std::count(frames.begin(), frames.end(), ',')) + 1;
    if (frameCount == 0 || frameCount != img.imageCount || img.left || img.top || img.width != img.screenWidth ||
        img.height != img.screenHeight)
      continue;
    const std::string first = frames.substr(0, frames.find(','));
    const auto rgba = ReadFileBytes(dir + cfg[first + ".pixels"]);
    ASSERT_EQ(rgba.size(), size_t(img.width) * img.height * 4) << name;
    bool opaque = true;
    for (size_t i = 3; i < rgba.size(); i += 4) opaque = opaque && rgba[i] == 255;
    if (!opaque) continue;
    const auto rgb = ToRGB(d.pixels, img.table);
    for (size_t i = 0, bad = 0; i < d.pixels.size() && bad < 3; ++i) {
      for (int c = 0; c < 3; ++c) {
        if (rgb[i * 3 + c] != rgba[i * 4 + c]) {
          ADD_FAILURE() << name << " pixel " << i;
          ++bad;
          break;
        }
      }
    }
    ++compared;
  }
  RecordProperty("decoded", decoded);
  RecordProperty("compared", compared);
  EXPECT_GE(decoded, 68);
  EXPECT_GE(compared, 55);
}

// A gifbuild description of one image with a table of 64 colours: giflib's
// own encoder makes the GIF.
std::string GifbuildText(int w, int h, bool interlaced, int colors, uint32_t seed) {
  static const char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ!\"";
  std::ostringstream t;
  t << "screen width " << w << "\nscreen height " << h << "\nscreen colors 64\nscreen background 0\n"
    << "pixel aspect byte 0\n\nscreen map\n";
  for (int i = 0; i < 64; ++i) t << "\trgb " << i * 4 << " " << 255 - i * 4 << " " << (i * 37) % 256 << " is " << kChars[i] << "\n";
  t << "end\n\nimage # 1\nimage left 0\nimage top 0\n" << (interlaced ? "image interlaced\n" : "")
    << "image bits " << w << " by " << h << "\n";
  std::mt19937 rng(seed);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) t << kChars[(x % 23 < 15 ? rng() : uint32_t(y / 3)) % uint32_t(colors)];
    t << "\n";
  }
  return t.str();
}

// GIFs written by ImageMagick and by giflib (through gifbuild) decode to the
// pixels ImageMagick and giflib's gif2rgb give.
TEST(GifLzwTest, DecodesImageMagickAndGiflibData) {
  const std::string dir = ScratchDir("gif-lzw-peers");
  struct TCase { std::string make, gif; };
  std::vector<TCase> cases;
  if (HaveTool("convert")) {
    cases.push_back({"convert -size 203x150 plasma:fractal -colors 256 +dither", "im8.gif"});
    cases.push_back({"convert -size 333x17 xc:white -fill black -draw 'circle 40,8 50,12' -colors 2 -interlace GIF",
                     "im1.gif"});
  }
  if (HaveTool("gifbuild") && HaveTool("gif2rgb")) {
    struct TText { int w, h; bool interlaced; int colors; };
    int n = 0;
    for (TText t : {TText{300, 200, false, 64}, TText{129, 65, false, 2}, TText{77, 43, true, 16}}) {
      const std::string txt = dir + "/g" + std::to_string(n) + ".txt";
      std::ofstream(txt) << GifbuildText(t.w, t.h, t.interlaced, t.colors, uint32_t(n) + 3);
      cases.push_back({"gifbuild " + txt + " >", "g" + std::to_string(n++) + ".gif"});
    }
  }
  if (cases.empty()) GTEST_SKIP() << "neither ImageMagick nor giflib's tools are installed (make deps)";
  for (const TCase& c : cases) {
    const std::string gif = dir + "/" + c.gif;
    ASSERT_EQ(RunTool(c.make + " " + gif), 0) << c.make;
    const auto file = ReadFileBytes(gif);
    const TGifImage img = FirstImage(file);
    ASSERT_TRUE(img.found) << c.gif;
    const TDecoded d = Decode(file, img.dataAt, img.width, img.height, img.interlaced);
    ASSERT_TRUE(d.result.Ok) << c.gif;
    EXPECT_EQ(d.result.Pixels, int64_t(img.width) * img.height) << c.gif;
    const bool giflib = c.gif[0] == 'g';
    RunTool(giflib ? "gif2rgb -1 -o " + gif + ".rgb " + gif : "convert " + gif + " -depth 8 rgb:" + gif + ".rgb");
    EXPECT_EQ(ToRGB(d.pixels, img.table), ReadFileBytes(gif + ".rgb")) << c.gif;
  }
}

// What we write, wrapped in a GIF, reads back in ImageMagick and giflib.
TEST(GifLzwTest, PeersReadWhatWeWrite) {
  REQUIRE_TOOL("convert");
  const std::string dir = ScratchDir("gif-lzw-ours");
  struct TCase { int w, h, bits; bool interlaced = false; };
  int n = 0;
  for (TCase c : {TCase{1, 1, 1}, TCase{37, 23, 1, true}, TCase{250, 77, 4}, TCase{301, 299, 8},
                  TCase{123, 45, 8, true}, TCase{1000, 300, 3}}) {
    const auto idx = RandomIndexes(size_t(c.w) * c.h, c.bits, uint32_t(n) + 77);
    const int depth = std::max(c.bits, 1);
    const auto file = WrapGif(c.w, c.h, depth, c.interlaced, Compress(c.w, c.h, c.bits, idx, c.interlaced));
    const std::string gif = dir + "/o" + std::to_string(n++) + ".gif";
    WriteFileBytes(gif, file);
    std::vector<uint8_t> grey;
    for (uint8_t i : idx) grey.push_back(uint8_t(i * 255 / ((1 << depth) - 1)));
    std::vector<uint8_t> rgb;
    for (uint8_t g : grey) rgb.insert(rgb.end(), {g, g, g});
    ASSERT_EQ(RunTool("convert " + gif + " -depth 8 rgb:" + gif + ".im"), 0);
    EXPECT_EQ(ReadFileBytes(gif + ".im"), rgb) << "ImageMagick, case " << n;
    if (HaveTool("gif2rgb")) {
      ASSERT_EQ(RunTool("gif2rgb -1 -o " + gif + ".gl " + gif), 0);
      EXPECT_EQ(ReadFileBytes(gif + ".gl"), rgb) << "giflib, case " << n;
    }
  }
}

}  // namespace
