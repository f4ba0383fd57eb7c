#include "codecs/png.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <zlib.h>

#include "codecs/common/dib.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/support/corpus.h"

namespace fs = std::filesystem;

namespace {

struct Params : TIOParamsVals {
  Params() : TIOParamsVals(nullptr) {}
};

struct Decoded {
  TLXBitmap bitmap;
  std::unique_ptr<TLXMask> mask;
  Params params;
  bool aborted = false;
};

void Decode(TStream& s, Decoded& d, bool paramsOnly = false) {
  std::atomic<bool> abort{false};
  TIOProgress prog;
  prog.abort = &abort;
  PNGReadStream(s, &d.bitmap, d.params, prog, paramsOnly, paramsOnly, d.mask);
  d.aborted = abort;
}

void DecodeFile(const std::string& path, Decoded& d) {
  TFileStream s(path, TFileMode::fmOpenRead);
  Decode(s, d);
}

std::vector<int> ReadJsonArray(const std::string& path) {
  std::ifstream in(path);
  std::vector<int> v;
  std::string tok;
  char c;
  while (in.get(c)) {
    if (c >= '0' && c <= '9') {
      tok += c;
    } else if (!tok.empty()) {
      v.push_back(std::stoi(tok));
      tok.clear();
    }
  }
  return v;
}

TRGB Pixel(Decoded& d, int x, int y) { return d.bitmap.GetPixelRGB(x, y); }

}  // namespace

// Every valid PngSuite file decodes to the reference RGBA, except where the
// reader's own rules give other pixels:
//  - none for 1-bit files: grey ones and those with a black and white palette load
//    as lx1g (bit 1 white), the others in colour, like the deeper palette files;
//  - 16-bit samples are reduced to their high byte, compared with the _to8 reference;
//  - gamma is not applied by the reader (g*), so those files compare only by size.
TEST(PngSuite, ValidFilesMatchReference) {
  REQUIRE_CORPUS();
  const fs::path dir = CorpusPath("png/pngsuite/png");
  int checked = 0;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().stem().string();
    if (e.path().extension() != ".png" || name[0] == 'x') continue;
    SCOPED_TRACE(name);
    Decoded d;
    DecodeFile(e.path().string(), d);
    ASSERT_FALSE(d.aborted);
    const int w = d.bitmap.Width(), h = d.bitmap.Height();
    ASSERT_GT(w, 0);
    std::string ref = CorpusPath("png/pngsuite/json/" + name + "_to8.json");
    if (!fs::exists(ref)) ref = CorpusPath("png/pngsuite/json/" + name + ".json");
    if (!fs::exists(ref)) continue;
    std::vector<int> px = ReadJsonArray(ref);
    // 16-bit references without an 8-bit variant: the reader keeps the high byte.
    // (their producer scaled rather than chopped, so allow one level).
    // The 8-bit references were rounded from 16 bits; the reader keeps the high byte.
    const int tolerance = d.params.BitsPerSample == 16 ? 1 : 0;
    if (*std::max_element(px.begin(), px.end()) > 255)
      for (int& v : px) v >>= 8;
    ASSERT_EQ(px.size(), size_t(w) * h * 4);
    if (name[0] == 'g') continue;
    const bool mono = d.params.BitsPerSample == 1 &&
                      MonoTableOf(d.params.ColorMap.data(), d.params.ColorMapCount) != TMonoTable::mtColour;
    ASSERT_EQ(d.bitmap.PixelFormat(), mono ? lx1g : lx24RGB);
    int bad = 0;
    for (int y = 0; y < h && bad < 5; ++y) {
      for (int x = 0; x < w && bad < 5; ++x) {
        const int* ref4 = &px[(size_t(y) * w + x) * 4];
        const TRGB c = Pixel(d, x, y);
        const int a = d.mask ? d.mask->Scanline(y)[x] : 255;
        if (ref4[3] == 0 && a == 0) continue;  // colour under full transparency is free
        if (std::abs(c.r - ref4[0]) > tolerance || std::abs(c.g - ref4[1]) > tolerance ||
            std::abs(c.b - ref4[2]) > tolerance || std::abs(a - ref4[3]) > tolerance) {
          ADD_FAILURE() << "pixel " << x << "," << y << " got " << int(c.r) << "," << int(c.g) << ","
                        << int(c.b) << "," << a << " want " << ref4[0] << "," << ref4[1] << "," << ref4[2]
                        << "," << ref4[3];
          ++bad;
        }
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(PngSuite, CorruptFilesAbort) {
  REQUIRE_CORPUS();
  int n = 0;
  for (const auto& e : fs::directory_iterator(CorpusPath("png/pngsuite/png"))) {
    if (e.path().extension() != ".png" || e.path().filename().string()[0] != 'x') continue;
    SCOPED_TRACE(e.path().filename().string());
    Decoded d;
    DecodeFile(e.path().string(), d);
    EXPECT_TRUE(d.aborted);
    ++n;
  }
  EXPECT_EQ(n, 14);
}

TEST(PngRead, TruncatedStreamsAbortAtEveryLength) {
  REQUIRE_CORPUS();
  TMemoryStream full;
  full.LoadFromFile(CorpusPath("png/pngsuite/png/basn6a08.png"));
  const std::vector<uint8_t>& bytes = full.Data();
  for (size_t len : {size_t(0), size_t(7), size_t(8), size_t(33), size_t(60), bytes.size() / 2, bytes.size() - 13}) {
    TMemoryStream cut(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(len)));
    Decoded d;
    Decode(cut, d);
    EXPECT_TRUE(d.aborted) << len;
  }
}

TEST(PngRead, FormatsParamsAndTransparency) {
  REQUIRE_CORPUS();
  struct Case { const char* file; bool native; TLXPixelFormat fmt; int spp; int bps; bool maskFull; };
  const Case cases[] = {
      {"basn0g08", false, lx24RGB, 1, 8, true},
      {"basn0g08", true, lx8g, 1, 8, true},
      {"basn3p08", true, lx8p, 1, 8, true},
      {"basn0g16", true, lx24RGB, 1, 16, true},
      {"basn6a08", false, lx24RGB, 4, 8, false},
      {"basn2c08", false, lx24RGB, 3, 8, true},
      {"basn4a08", false, lx24RGB, 2, 8, false},
      {"tbrn2c08", false, lx24RGB, 3, 8, false},  // tRNS colour on RGB becomes alpha
      {"tbbn0g04", false, lx24RGB, 1, 4, false},  // tRNS grey
      {"basn0g01", false, lx1g, 1, 1, true},
      {"basn3p01", false, lx24RGB, 1, 1, true},  // two colours that are not black and white
      {"basn3p01", true, lx24RGB, 1, 1, true},   // as the 2- and 4-bit palette files
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Decoded d;
    d.params.NativePixelFormat = c.native;
    DecodeFile(CorpusPath(std::string("png/pngsuite/png/") + c.file + ".png"), d);
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.bitmap.PixelFormat(), c.fmt);
    EXPECT_EQ(d.params.SamplesPerPixel, c.spp);
    EXPECT_EQ(d.params.BitsPerSample, c.bps);
    EXPECT_EQ(d.params.DpiX(), 300);
    ASSERT_TRUE(d.mask);
    EXPECT_EQ(d.mask->Full, c.maskFull);
  }
}

// Composing over the background changes the row layout libpng hands back (alpha
// dropped, low depths expanded); every valid file must still fit its bitmap.
TEST(PngRead, BlendAlphaDecodesEveryValidFileIntoItsBitmap) {
  REQUIRE_CORPUS();
  int n = 0;
  for (const auto& e : fs::directory_iterator(CorpusPath("png/pngsuite/png"))) {
    if (e.path().extension() != ".png" || e.path().filename().string()[0] == 'x') continue;
    SCOPED_TRACE(e.path().filename().string());
    for (bool native : {false, true}) {
      TFileStream s(e.path().string(), TFileMode::fmOpenRead);
      Decoded d;
      d.params.NativePixelFormat = native;
      std::atomic<bool> abort{false};
      TIOProgress prog;
      prog.abort = &abort;
      PNGReadStream(s, &d.bitmap, d.params, prog, false, true, d.mask);
      EXPECT_FALSE(abort);
      EXPECT_FALSE(d.mask);
      EXPECT_EQ(d.bitmap.Width(), d.params.Width);
      EXPECT_EQ(d.bitmap.Height(), d.params.Height);
    }
    ++n;
  }
  EXPECT_GT(n, 100);
}

namespace {

void PutBE32(std::vector<uint8_t>& v, uint32_t x) {
  for (int s = 24; s >= 0; s -= 8) v.push_back(uint8_t(x >> s));
}

// A chunk whose length field may claim more than it holds.
void PutChunk(std::vector<uint8_t>& v, const char* type, const std::vector<uint8_t>& data,
              uint32_t claimed = 0xFFFFFFFF) {
  PutBE32(v, claimed == 0xFFFFFFFF ? uint32_t(data.size()) : claimed);
  std::vector<uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  v.insert(v.end(), body.begin(), body.end());
  PutBE32(v, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

std::vector<uint8_t> PngHeader(uint32_t w, uint32_t h, uint8_t depth, uint8_t colorType, uint8_t interlace) {
  std::vector<uint8_t> v = {137, 80, 78, 71, 13, 10, 26, 10}, ihdr;
  PutBE32(ihdr, w);
  PutBE32(ihdr, h);
  ihdr.insert(ihdr.end(), {depth, colorType, 0, 0, interlace});
  PutChunk(v, "IHDR", ihdr);
  return v;
}

void PutImage(std::vector<uint8_t>& v, const std::vector<uint8_t>& rows) {
  std::vector<uint8_t> z(compressBound(uLong(rows.size())));
  uLongf n = uLongf(z.size());
  compress(z.data(), &n, rows.data(), uLong(rows.size()));
  z.resize(n);
  PutChunk(v, "IDAT", z);
  PutChunk(v, "IEND", {});
}

}  // namespace

// Headers whose sizes would make libpng reserve gigabytes before any pixel is
// read: refused at once, while the parameters still tell the size.
TEST(PngRead, HostileHeadersAbortBeforeLibpngAllocates) {
  struct Case { const char* what; std::vector<uint8_t> file; };
  std::vector<Case> cases;
  // 16 GB of libpng rows for a 6 GB bitmap.
  cases.push_back({"wide grey-alpha", PngHeader(2074828508u, 3, 16, 4, 1)});
  // The bitmap alone fits the guard, with libpng's rows it does not.
  cases.push_back({"wide grey with tRNS", PngHeader(73523317u, 8, 16, 0, 0)});
  PutChunk(cases.back().file, "tRNS", {0, 1});
  // A text chunk claiming 1.5 GB in a stream of a few bytes.
  cases.push_back({"huge text chunk", PngHeader(1, 1, 8, 0, 0)});
  PutChunk(cases.back().file, "tEXt", {'a', 0, 'b'}, 0x5B000025u);
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    PutImage(c.file, {0, 0});
    TMemoryStream s(c.file);
    Decoded d;
    Decode(s, d);
    EXPECT_TRUE(d.aborted);
    EXPECT_EQ(d.bitmap.Width() * int64_t(d.bitmap.Height()), 0);
  }
  TMemoryStream s(cases[0].file);
  Decoded d;
  Decode(s, d, true);
  EXPECT_FALSE(d.aborted);
  EXPECT_EQ(uint32_t(d.params.Width), 2074828508u);
}

TEST(PngRead, TextChunksAreSkippedUnread) {
  std::vector<uint8_t> v = PngHeader(2, 1, 8, 0, 0);
  PutChunk(v, "tEXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'});
  PutChunk(v, "zTXt", {'k', 0, 0, 1, 2, 3});  // broken deflate data, never inflated
  PutImage(v, {0, 10, 200});
  TMemoryStream s(v);
  Decoded d;
  Decode(s, d);
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(Pixel(d, 0, 0), CreateRGB(10, 10, 10));
  EXPECT_EQ(Pixel(d, 1, 0), CreateRGB(200, 200, 200));
}

TEST(PngRead, PhysGivesDpiAndParamsOnlyReadsNoPixels) {
  REQUIRE_CORPUS();
  TFileStream s(CorpusPath("png/pngsuite/png/cdfn2c08.png"), TFileMode::fmOpenRead);
  Decoded d;
  Decode(s, d, true);
  EXPECT_FALSE(d.aborted);
  EXPECT_EQ(d.params.Width, 8);
  EXPECT_EQ(d.params.Height, 32);
  EXPECT_EQ(d.bitmap.Width(), 0);
  EXPECT_FALSE(d.mask);
}

namespace {

std::vector<uint8_t> Encode(TLXBitmap& b, TIOParamsVals& p, TLXMask* mask) {
  TMemoryStream out;
  std::atomic<bool> abort{false};
  TIOProgress prog;
  prog.abort = &abort;
  PNGWriteStream(out, &b, p, prog, mask);
  EXPECT_FALSE(abort);
  return out.Data();
}

void Gradient(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Scanline(y);
    for (int x = 0; x < w; ++x) {
      r[x * 3] = uint8_t(x * 7);
      r[x * 3 + 1] = uint8_t(y * 5);
      r[x * 3 + 2] = uint8_t(x * y);
    }
  }
}

}  // namespace

TEST(PngWrite, RgbAndAlphaRoundTripExactly) {
  for (bool interlaced : {false, true}) {
    TLXBitmap b;
    Gradient(b, 37, 21);
    TLXMask m;
    m.Allocate(37, 21, 8);
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 37; ++x) m.Scanline(y)[x] = uint8_t((x * 13 + y) & 0xFF);
    m.Full = false;
    Params p;
    p.SamplesPerPixel = 3;
    p.PNGInterlaced = interlaced;
    p.SetDpiX(96);
    p.SetDpiY(72);
    TMemoryStream s(Encode(b, p, &m));
    Decoded d;
    Decode(s, d);
    ASSERT_FALSE(d.aborted);
    EXPECT_EQ(d.params.SamplesPerPixel, 4);
    EXPECT_EQ(d.params.PNGInterlaced, interlaced);
    EXPECT_EQ(d.params.DpiX(), 96);
    EXPECT_EQ(d.params.DpiY(), 72);
    for (int y = 0; y < 21; ++y) {
      ASSERT_EQ(0, std::memcmp(d.bitmap.Scanline(y), b.Scanline(y), 37 * 3)) << y;
      ASSERT_EQ(0, std::memcmp(d.mask->Scanline(y), m.Scanline(y), 37)) << y;
    }
  }
}

TEST(PngWrite, PaletteWithAlphaPutsBackgroundFirst) {
  TLXBitmap b;
  Gradient(b, 40, 30);
  TLXMask m;
  m.Allocate(40, 30, 8);
  m.Fill(255);
  m.Scanline(3)[4] = 0;
  m.Full = false;
  Params p;
  p.SamplesPerPixel = 1;
  p.BitsPerSample = 8;
  p.PNGBackground = CreateRGB(1, 2, 3);
  TMemoryStream s(Encode(b, p, &m));
  Decoded d;
  d.params.NativePixelFormat = true;
  Decode(s, d);
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(d.bitmap.PixelFormat(), lx8p);
  EXPECT_EQ(d.params.ColorMapCount, 256);
  EXPECT_EQ(d.params.ColorMap[0], CreateRGB(1, 2, 3));
  EXPECT_EQ(d.bitmap.Scanline(3)[4], 0);
  EXPECT_EQ(d.mask->Scanline(3)[4], 0);  // tRNS of the index
  EXPECT_EQ(d.mask->Scanline(3)[5], 255);
}

TEST(PngWrite, LowDepthPalettesAndSixteenBitGreyAreValid) {
  // 4-bit palette: at most 16 entries; 16-bit grey: big-endian, all bits.
  TLXBitmap b;
  Gradient(b, 20, 20);
  Params p;
  p.SamplesPerPixel = 1;
  p.BitsPerSample = 4;
  TMemoryStream s(Encode(b, p, nullptr));
  Decoded d;
  Decode(s, d);
  ASSERT_FALSE(d.aborted);
  EXPECT_EQ(d.params.BitsPerSample, 4);
  EXPECT_LE(d.params.ColorMapCount, 16);

  TLXBitmap g;
  g.Allocate(3, 1, lx16g);
  const uint16_t v[3] = {0x1234, 0xFFFF, 0x00FF};
  std::memcpy(g.Scanline(0), v, 6);
  Params p16;
  p16.SamplesPerPixel = 1;
  p16.BitsPerSample = 16;
  TMemoryStream s16(Encode(g, p16, nullptr));
  Decoded d16;
  Decode(s16, d16);
  ASSERT_FALSE(d16.aborted);
  EXPECT_EQ(d16.params.BitsPerSample, 16);
  EXPECT_EQ(d16.bitmap.Scanline(0)[0], 0x12);  // high byte after the reader's reduction
  EXPECT_EQ(d16.bitmap.Scanline(0)[3], 0xFF);
  EXPECT_EQ(d16.bitmap.Scanline(0)[6], 0x00);
}

TEST(PngWrite, ReadBackByImageMagick) {
  REQUIRE_TOOL("identify");
  TLXBitmap b;
  Gradient(b, 17, 9);
  Params p;
  p.SamplesPerPixel = 3;
  const std::string dir = ScratchDir("pngwrite");
  {
    TMemoryStream s(Encode(b, p, nullptr));
    s.SaveToFile(dir + "/a.png");
  }
  const std::string cmd = "identify -format '%w %h' " + dir + "/a.png > " + dir + "/out.txt 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream in(dir + "/out.txt");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "17 9");
}
