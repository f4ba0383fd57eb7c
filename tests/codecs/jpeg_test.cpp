#include "codecs/jpeg.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "image/bitmap.h"
#include "image/metadata.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/support/corpus.h"

namespace {

struct Params : TIOParamsVals {
  Params() : TIOParamsVals(nullptr) {}
};

struct Job {
  std::atomic<bool> abort{false};
  TIOProgress prog;
  Job() { prog.abort = &abort; }
};

bool Decode(TStream& s, TLXBitmap& b, TIOParamsVals& p, bool paramsOnly = false) {
  Job r;
  JPEGReadStream(s, &b, p, r.prog, paramsOnly);
  return !r.abort;
}

std::vector<uint8_t> Encode(TLXBitmap& b, TIOParamsVals& p) {
  TMemoryStream out;
  Job r;
  JPEGWriteStream(out, &b, p, r.prog);
  EXPECT_FALSE(r.abort);
  return out.Data();
}

// A picture with edges and gradients, so every coding option shows.
void Photo(TLXBitmap& b, int w, int h) {
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Scanline(y);
    for (int x = 0; x < w; ++x) {
      r[x * 3] = uint8_t((x * 255) / std::max(1, w - 1));
      r[x * 3 + 1] = uint8_t(((x / 8 + y / 8) & 1) ? 200 : 40);
      r[x * 3 + 2] = uint8_t((y * 255) / std::max(1, h - 1) ^ (x & 0x1F));
    }
  }
}

void WritePPM(TLXBitmap& b, const std::string& path) {
  std::ofstream f(path, std::ios::binary);
  f << "P6\n" << b.Width() << " " << b.Height() << "\n255\n";
  for (int y = 0; y < b.Height(); ++y) {
    const uint8_t* r = b.Scanline(y);
    for (int x = 0; x < b.Width(); ++x) f.put(char(r[x * 3 + 2])).put(char(r[x * 3 + 1])).put(char(r[x * 3]));
  }
}

// Reads a binary PPM or PGM as RGB triples.
bool ReadPNM(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgb) {
  std::ifstream f(path, std::ios::binary);
  std::string magic;
  int maxv;
  f >> magic >> w >> h >> maxv;
  f.get();
  const int ch = magic == "P6" ? 3 : 1;
  std::vector<uint8_t> raw(size_t(w) * h * ch);
  f.read(reinterpret_cast<char*>(raw.data()), std::streamsize(raw.size()));
  rgb.resize(size_t(w) * h * 3);
  for (size_t i = 0; i < size_t(w) * h; ++i)
    for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = raw[i * ch + (ch == 3 ? c : 0)];
  return bool(f);
}

}  // namespace

// Files made by cjpeg decode to exactly the pixels djpeg gives for the same
// scale and DCT method.
TEST(JpegRead, MatchesDjpegForEveryCodingOption) {
  REQUIRE_TOOL("cjpeg");
  REQUIRE_TOOL("djpeg");
  const std::string dir = ScratchDir("jpegread");
  TLXBitmap src;
  Photo(src, 83, 61);
  WritePPM(src, dir + "/src.ppm");
  struct Case { const char* cjpeg; int scale; int dct; };
  const Case cases[] = {
      {"-quality 90", 1, 0},
      {"-progressive", 1, 0},
      {"-grayscale", 1, 0},
      {"-restart 2", 1, 0},
      {"-sample 1x1", 1, 0},
      {"-sample 2x1", 1, 1},
      {"-sample 2x2", 2, 0},
      {"-sample 2x2 -progressive", 3, 2},
      {"-quality 50", 4, 0},
  };
  const char* dctName[] = {"int", "fast", "float"};
  const int denom[] = {0, 1, 2, 4, 8};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cjpeg);
    const std::string jpg = dir + "/a.jpg", ref = dir + "/a.pnm";
    ASSERT_EQ(std::system(("cjpeg " + std::string(c.cjpeg) + " -outfile " + jpg + " " + dir + "/src.ppm").c_str()), 0);
    ASSERT_EQ(std::system(("djpeg -dct " + std::string(dctName[c.dct]) + " -scale 1/" +
                           std::to_string(denom[c.scale]) + " -outfile " + ref + " " + jpg).c_str()), 0);
    int w, h;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(ReadPNM(ref, w, h, rgb));
    TFileStream s(jpg, TFileMode::fmOpenRead);
    TLXBitmap b;
    Params p;
    p.JPEGScale = uint8_t(c.scale);
    p.JPEGDCTMethod = uint8_t(c.dct);
    ASSERT_TRUE(Decode(s, b, p));
    ASSERT_EQ(b.Width(), w);
    ASSERT_EQ(b.Height(), h);
    EXPECT_EQ(p.JPEGOriginalWidth, 83);
    int diff = 0;
    for (int y = 0; y < h; ++y) {
      const uint8_t* r = b.Scanline(y);
      for (int x = 0; x < w; ++x)
        diff += r[x * 3] != rgb[(size_t(y) * w + x) * 3 + 2] || r[x * 3 + 1] != rgb[(size_t(y) * w + x) * 3 + 1] ||
                r[x * 3 + 2] != rgb[(size_t(y) * w + x) * 3];
    }
    EXPECT_EQ(diff, 0);
  }
}

TEST(JpegRead, GreyJunkDensityAndScaleChoice) {
  TLXBitmap src;
  Photo(src, 32, 16);
  Params wp;
  wp.JPEGColorSpace = 1;
  std::vector<uint8_t> grey = Encode(src, wp);
  // junk before the start of image, and a JFIF density of 118 dots per centimetre
  ASSERT_EQ(grey[13], 1);
  grey[13] = 2;
  grey[14] = 0, grey[15] = 118, grey[16] = 0, grey[17] = 118;
  std::vector<uint8_t> withJunk = grey;
  withJunk.insert(withJunk.begin(), 50, uint8_t(0x55));
  TMemoryStream s(withJunk);
  TLXBitmap b;
  Params p;
  ASSERT_TRUE(Decode(s, b, p));
  EXPECT_EQ(p.SamplesPerPixel, 1);
  EXPECT_EQ(p.JPEGColorSpace, 1);
  EXPECT_EQ(p.DpiX(), 299);
  EXPECT_EQ(b.PixelFormat(), lx24RGB);
  const uint8_t* r = b.Scanline(5);
  EXPECT_EQ(r[30], r[31]);
  EXPECT_EQ(r[31], r[32]);

  TLXBitmap big;
  Photo(big, 1600, 1200);
  Params bp;
  TMemoryStream bs(Encode(big, bp));
  Params q;
  q.JPEGScale = 0;
  q.Width = 100;
  q.Height = 100;
  TLXBitmap none;
  ASSERT_TRUE(Decode(bs, none, q, true));
  EXPECT_EQ(q.Width, 200);
  EXPECT_EQ(q.Height, 150);
  EXPECT_EQ(none.Width(), 0);
}

TEST(JpegRead, BadStreamsFailCleanly) {
  TLXBitmap src;
  Photo(src, 40, 40);
  Params wp;
  const std::vector<uint8_t> good = Encode(src, wp);
  {  // no start of image within 100 bytes
    std::vector<uint8_t> v(120, 0);
    v.insert(v.end(), good.begin(), good.end());
    TMemoryStream s(v);
    TLXBitmap b;
    Params p;
    EXPECT_FALSE(Decode(s, b, p));
  }
  {  // empty
    TMemoryStream s;
    TLXBitmap b;
    Params p;
    EXPECT_FALSE(Decode(s, b, p));
  }
  {  // truncated: the missing end reads as an end of image, with a warning
    TMemoryStream s(std::vector<uint8_t>(good.begin(), good.begin() + long(good.size() / 2)));
    TLXBitmap b;
    Params p;
    Decode(s, b, p);
    EXPECT_GT(p.JPEGWarningInfo, 0);
  }
  {  // header only, then garbage
    std::vector<uint8_t> v(good.begin(), good.begin() + 200);
    v.resize(400, 0xFF);
    TMemoryStream s(v);
    TLXBitmap b;
    Params p;
    Decode(s, b, p);  // must not crash or hang
  }
}

// Frame headers a decoder must refuse before it allocates or decodes anything:
// the frame size is patched into a valid file.
TEST(JpegRead, HostileFrameSizesAbortWithoutAnImage) {
  TLXBitmap src;
  Photo(src, 16, 16);
  struct Case { bool progressiveGrey; uint16_t width, height; };
  const Case cases[] = {
      {false, 65535, 65535}, {false, 65535, 32768},  // larger than a bitmap may be
      {false, 0, 16},        {false, 16, 0},         // empty
      // The bitmap fits the guard, with the coefficients a progressive file keeps it does not.
      {true, 27000, 26000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    Params wp;
    wp.JPEGProgressive = c.progressiveGrey;
    wp.JPEGColorSpace = c.progressiveGrey ? 1 : 2;
    std::vector<uint8_t> v = Encode(src, wp);
    size_t sof = 0;
    for (size_t i = 2; i + 9 < v.size() && !sof; ++i)
      if (v[i] == 0xFF && (v[i + 1] == 0xC0 || v[i + 1] == 0xC2)) sof = i;
    ASSERT_GT(sof, 0u);
    v[sof + 5] = uint8_t(c.height >> 8), v[sof + 6] = uint8_t(c.height);
    v[sof + 7] = uint8_t(c.width >> 8), v[sof + 8] = uint8_t(c.width);
    TMemoryStream s(v);
    TLXBitmap b;
    Params p;
    EXPECT_FALSE(Decode(s, b, p));
    EXPECT_EQ(b.Width() * int64_t(b.Height()), 0);
  }
}

TEST(JpegMarkers, KeptOnReadAndWrittenBack) {
  TLXBitmap src;
  Photo(src, 16, 16);
  Params wp;
  wp.JPEGMarkers->AddMarker(0xE1, "Exif\0\0abc", 9);
  wp.JPEGMarkers->AddMarker(0xFE, "hello", 5);
  wp.JPEGMarkers->AddMarker(0xEE, "Adobe", 5);  // never written
  TMemoryStream s(Encode(src, wp));
  TLXBitmap b;
  Params p;
  ASSERT_TRUE(Decode(s, b, p));
  ASSERT_EQ(p.JPEGMarkers->Count(), 2);  // the JFIF APP0 is not kept
  EXPECT_EQ(p.JPEGMarkers->MarkerType(0), 0xE1);
  EXPECT_EQ(p.JPEGMarkers->MarkerLength(0), 9);
  EXPECT_EQ(p.JPEGMarkers->MarkerType(1), 0xFE);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p.JPEGMarkers->MarkerData(1)), 5), "hello");
}

TEST(JpegWrite, ReadBackByDjpegAndOptionsApply) {
  REQUIRE_TOOL("djpeg");
  const std::string dir = ScratchDir("jpegwrite");
  TLXBitmap src;
  Photo(src, 50, 30);
  for (int cs : {0, 1, 2, 3}) {
    Params p;
    p.JPEGColorSpace = uint8_t(cs);
    p.JPEGProgressive = cs == 2;
    p.JPEGOptimalHuffman = cs == 0;
    p.JPEGQuality = 95;
    p.SetDpiX(96);
    p.SetDpiY(96);
    TMemoryStream s(Encode(src, p));
    s.SaveToFile(dir + "/w.jpg");
    EXPECT_EQ(std::system(("djpeg -outfile " + dir + "/w.pnm " + dir + "/w.jpg").c_str()), 0) << cs;
    TLXBitmap b;
    Params r;
    s.SetPosition(0);
    ASSERT_TRUE(Decode(s, b, r));
    EXPECT_EQ(r.JPEGColorSpace, cs);
    EXPECT_EQ(r.DpiX(), cs == 1 || cs == 2 ? 96 : 1);  // RGB and CMYK files carry no JFIF header
    EXPECT_EQ(r.JPEGProgressive, cs == 2);
    if (cs != 1) {  // colour survives within coding error
      const uint8_t* a = src.Scanline(10);
      const uint8_t* c = b.Scanline(10);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[60 + i], c[60 + i], 40) << cs;
    }
  }
  TLXBitmap empty;
  Params p;
  TMemoryStream out;
  Job r;
  JPEGWriteStream(out, &empty, p, r.prog);
  EXPECT_TRUE(r.abort);
  EXPECT_EQ(out.Size(), 0);
}

TEST(JpegMessages, TextsComeFromTheLibraryTable) {
  EXPECT_EQ(JPEGMessageText(-1), "Corrupted");
  EXPECT_EQ(JPEGMessageText(100000), "Corrupted");
  const std::string t = JPEGMessageText(1);  // a message with a formatted parameter
  EXPECT_FALSE(t.empty());
  EXPECT_EQ(t.find('%'), std::string::npos);
}
