#include "codecs/ico/icowrite.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "codecs/ico/ico.h"
#include "image/bitmap.h"
#include "image/mask.h"
#include "io/controller.h"
#include "io/params.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/codecs/imagefiles.h"
#include "tests/support/corpus.h"

namespace {

struct TWriter {
  TIOParamsVals params{nullptr};
  std::atomic<bool> abortFlag{false};
  TIOProgress progress;
  std::vector<int> reported;
  TWriter() {
    progress.abort = &abortFlag;
    progress.context = this;
    progress.callback = [](void* ctx, void*, int percent) {
      static_cast<TWriter*>(ctx)->reported.push_back(percent);
    };
  }
  std::vector<uint8_t> Write(TLXBitmap& source, std::vector<TIconSize> sizes, std::vector<int32_t> depths) {
    TMemoryStream s;
    ICOWriteStream(s, &source, params, progress, sizes.data(), depths.data(), int(sizes.size()));
    return s.Data();
  }
};

// A few flat colours in bands, so that palette depths hold it exactly.
void Paint(TLXBitmap& b, int w, int h) {
  static const TRGB colours[6] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {0, 255, 255}, {255, 255, 255}, {40, 80, 120}};
  b.Allocate(w, h, lx24RGB);
  for (int y = 0; y < h; ++y) {
    uint8_t* r = b.Scanline(y);
    for (int x = 0; x < w; ++x) {
      const TRGB c = colours[(x * 3 / w + y * 2 / h * 3) % 6];
      r[3 * x] = c.b; r[3 * x + 1] = c.g; r[3 * x + 2] = c.r;
    }
  }
}

// Alpha: 0 in the left quarter, 254 at (w-1, 0), 128 at the centre, else 255.
void AddAlpha(TLXBitmap& b) {
  TLXBitmap* a = b.AlphaChannel();
  for (int y = 0; y < b.Height(); ++y) {
    uint8_t* r = a->Scanline(y);
    for (int x = 0; x < b.Width(); ++x) r[x] = x < b.Width() / 4 ? 0 : 255;
  }
  a->Scanline(0)[b.Width() - 1] = 254;
  a->Scanline(b.Height() / 2)[b.Width() / 2] = 128;
  a->Full = false;
}

struct TReadBack {
  TIOParamsVals params{nullptr};
  std::atomic<bool> abortFlag{false};
  TIOProgress progress;
  TLXBitmap bitmap;
  std::unique_ptr<TLXMask> mask;
  bool Read(const std::vector<uint8_t>& file, int index) {
    progress.abort = &abortFlag;
    params.IconImageIndex = index;
    params.IconBackground = TRGB{1, 2, 3};
    TMemoryStream s(file);
    ICOReadStream(s, &bitmap, params, progress, false, mask);
    return !abortFlag;
  }
};

}  // namespace

TEST(ICOWrite, ThirtyTwoBitWithoutAlpha) {
  TLXBitmap src;
  Paint(src, 32, 32);
  TWriter w;
  const auto f = w.Write(src, {{32, 32}}, {32});
  ASSERT_FALSE(w.abortFlag);
  ASSERT_EQ(f.size(), 4286u);
  EXPECT_EQ(Get16(f, 2), 1);
  EXPECT_EQ(Get16(f, 4), 1);
  EXPECT_EQ(f[6], 32); EXPECT_EQ(f[7], 32); EXPECT_EQ(f[8], 0);
  EXPECT_EQ(Get16(f, 10), 1);
  EXPECT_EQ(Get16(f, 12), 32);
  EXPECT_EQ(Get32(f, 14), 4264u);
  EXPECT_EQ(Get32(f, 18), 22u);
  EXPECT_EQ(Get32(f, 22), 40u);
  EXPECT_EQ(Get32(f, 30), 64u);  // biHeight: colour and mask rows
  EXPECT_EQ(Get32(f, 42), 0u);   // biSizeImage
  for (size_t i = 0; i < 32 * 32; ++i) ASSERT_EQ(f[62 + 4 * i + 3], 255) << i;
  for (size_t i = 62 + 4096; i < f.size(); ++i) ASSERT_EQ(f[i], 0) << i;
  EXPECT_FALSE(src.HasAlphaChannel());
}

TEST(ICOWrite, SixteenBy16At4Bits) {
  TLXBitmap src;
  Paint(src, 16, 16);
  TWriter w;
  const auto f = w.Write(src, {{16, 16}}, {4});
  ASSERT_EQ(f.size(), 22u + 296u);
  EXPECT_EQ(Get32(f, 14), 296u);
  EXPECT_EQ(f[8], 16);
  EXPECT_EQ(Get16(f, 10), 0);
  EXPECT_EQ(Get16(f, 12), 0);
  EXPECT_EQ(Get32(f, 22 + 20), 192u);
  EXPECT_EQ(Get32(f, 62), 0u);  // entry 0: transparent black
  EXPECT_EQ(w.params.ColorMapCount, 16);
  TReadBack r;
  ASSERT_TRUE(r.Read(f, 0));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(r.bitmap.GetPixelRGB(x, y), src.GetPixelRGB(x, y));
}

TEST(ICOWrite, EightBitTableAndColourCount) {
  TLXBitmap src;
  Paint(src, 8, 8);
  TWriter w;
  const auto f = w.Write(src, {{8, 8}}, {8});
  EXPECT_EQ(f[8], 255);
  EXPECT_EQ(Get32(f, 14), 40u + 1024u + 8 * 8 + 8 * 4);
  EXPECT_EQ(w.params.ColorMapCount, 256);
}

TEST(ICOWrite, Alpha254IsTransparentExceptAt24Bits) {
  TLXBitmap src;
  Paint(src, 8, 4);
  AddAlpha(src);
  for (int depth : {1, 4, 8, 24, 32}) {
    TWriter w;
    const auto f = w.Write(src, {{8, 4}}, {depth});
    ASSERT_FALSE(w.abortFlag) << depth;
    const int colourRow = ComputeRowLength(8, depth);
    const size_t table = depth <= 8 ? size_t(4) << depth : 0;
    const size_t maskStart = 22 + 40 + table + size_t(4 * colourRow);
    // Row 0 (the top) is the last mask row; pixel 7 has alpha 254.
    const uint8_t topMask = f[maskStart + 3 * 4];
    const uint8_t bottomMask = f[maskStart];
    if (depth == 24) {
      EXPECT_EQ(topMask, 0);
      EXPECT_EQ(bottomMask, 0);
      // (7, 0), alpha 254, keeps its colour: blue.
      EXPECT_EQ(f[22 + 40 + 3 * colourRow + 21], 255);
      EXPECT_EQ(f[22 + 40 + 3 * colourRow + 23], 0);
    } else {
      EXPECT_EQ(topMask, 0xC1) << depth;
      EXPECT_EQ(bottomMask, 0xC0) << depth;
    }
    if (depth == 4) { EXPECT_EQ(f[22 + 40 + 64 + 3 * 4 + 3] & 15, 0); }  // index 0 at (7, 0)
    if (depth == 8) { EXPECT_EQ(f[22 + 40 + 1024 + 3 * 8 + 7], 0); }
    if (depth == 32) { EXPECT_EQ(f[22 + 40 + 3 * 32 + 7 * 4 + 3], 254); }
  }
}

TEST(ICOWrite, FourBitRowsOfWidthFive) {
  TLXBitmap src;
  src.Allocate(5, 1, lx24RGB);
  for (int x = 0; x < 5; ++x) std::memset(src.Scanline(0) + 3 * x, x * 50, 3);
  TWriter w;
  const auto f = w.Write(src, {{5, 1}}, {4});
  const size_t row = 22 + 40 + 64;
  EXPECT_EQ(Get32(f, 14), 40u + 64u + 4u + 4u);
  EXPECT_EQ(f[row + 2] & 15, 0);
  EXPECT_NE(f[row + 2] >> 4, 0);
  EXPECT_EQ(f[row + 3], 0);
}

TEST(ICOWrite, DirectoryDescribesTheProducedImage) {
  TLXBitmap src;
  Paint(src, 40, 20);
  struct Case { TIconSize request; int w, h; uint8_t bw, bh; };
  for (const Case& k : {Case{{256, 256}, 256, 256, 0, 0}, Case{{16, 0}, 16, 20, 16, 20},
                        Case{{30, -1}, 30, 15, 30, 15}, Case{{300, 300}, 300, 300, 0, 0},
                        Case{{-8, 3}, 8, 3, 8, 3}, Case{{48, 40}, 48, 40, 48, 40}}) {
    TWriter w;
    const auto f = w.Write(src, {k.request}, {24});
    ASSERT_FALSE(w.abortFlag) << k.request.Width;
    EXPECT_EQ(f[6], k.bw) << k.request.Width;
    EXPECT_EQ(f[7], k.bh) << k.request.Width;
    EXPECT_EQ(int32_t(Get32(f, 26)), k.w);
    EXPECT_EQ(int32_t(Get32(f, 30)), 2 * k.h);
    EXPECT_EQ(Get32(f, 14), f.size() - 22);
  }
}

TEST(ICOWrite, DepthTable) {
  TLXBitmap color, mono;
  Paint(color, 4, 4);
  mono.Allocate(4, 4, lx1g);
  mono.Fill(1);
  struct Case { TLXBitmap* src; int entry, spp, bps, depth; };
  for (const Case& k : {Case{&mono, 0, 3, 8, 1}, Case{&color, 0, 3, 8, 24}, Case{&color, 0, 1, 4, 4},
                        Case{&color, 0, 3, 16, 8}, Case{&color, 24, 1, 1, 24}, Case{&color, 2, 1, 1, 24},
                        Case{&color, -5, 1, 1, 24}, Case{&color, 1, 3, 8, 1}, Case{&color, 32, 3, 8, 32}}) {
    TWriter w;
    w.params.SamplesPerPixel = k.spp;
    w.params.BitsPerSample = k.bps;
    const auto f = w.Write(*k.src, {{4, 4}}, {k.entry});
    EXPECT_EQ(Get16(f, 22 + 14), k.depth) << k.entry << " " << k.spp << "/" << k.bps;
  }
  EXPECT_EQ(ICODepthFor(0, 1, 1), 1);
}

TEST(ICOWrite, ThreeImagesProgressAndOffsets) {
  TLXBitmap src;
  Paint(src, 64, 64);
  TWriter w;
  w.params.SetDpiX(96);
  w.params.SetDpiY(72);
  const auto f = w.Write(src, {{16, 16}, {32, 32}, {8, 8}}, {32, 4, 8});
  ASSERT_FALSE(w.abortFlag);
  EXPECT_EQ(w.reported, (std::vector<int>{0, 33, 66}));
  EXPECT_EQ(Get32(f, 6 + 12), 54u);
  EXPECT_EQ(Get32(f, 22 + 12), 54u + Get32(f, 6 + 8));
  EXPECT_EQ(Get32(f, 38 + 12), Get32(f, 22 + 12) + Get32(f, 22 + 8));
  EXPECT_EQ(Get32(f, 38 + 12) + Get32(f, 38 + 8), f.size());
  EXPECT_EQ(Get32(f, 54 + 24), 3780u);
  EXPECT_EQ(Get32(f, 54 + 28), 2835u);
  EXPECT_EQ(w.params.ColorMapCount, 256);  // the last palette image was 8-bit
}

TEST(ICOWrite, BlackAndWhiteAndColourMeetEveryDepth) {
  // A 1-bit source at colour depths, and a colour source at depth 1.
  TLXBitmap mono;
  mono.Allocate(8, 2, lx1g);
  mono.Scanline(0)[0] = 0xF0;
  mono.Scanline(1)[0] = 0x0F;
  for (int depth : {1, 4, 8, 24, 32}) {
    TWriter w;
    const auto f = w.Write(mono, {{8, 2}}, {depth});
    ASSERT_FALSE(w.abortFlag) << depth;
    TReadBack r;
    ASSERT_TRUE(r.Read(f, 0)) << depth;
    // The palette depths see a grey picture and take the quantizer's grey
    // ramp, whose top step at 15 colours is 238.
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 8; ++x)
        ASSERT_NEAR(r.bitmap.GetPixelRGB(x, y).g, mono.GetPixelRGB(x, y).g, depth == 4 ? 17 : 1)
            << depth << " " << x << "," << y;
  }
  TLXBitmap color;
  color.Allocate(4, 1, lx24RGB);
  const uint8_t px[12] = {0, 0, 0, 250, 250, 250, 10, 10, 10, 240, 240, 240};
  std::memcpy(color.Scanline(0), px, 12);
  TWriter w;
  const auto f = w.Write(color, {{4, 1}}, {1});
  ASSERT_EQ(Get16(f, 22 + 14), 1);
  EXPECT_EQ(f[22 + 40 + 8] & 0xF0, 0x50);
}

TEST(ICOWrite, RefusesWhatCannotBeWritten) {
  TLXBitmap src;
  Paint(src, 4, 4);
  TWriter w;
  EXPECT_TRUE(w.Write(src, {}, {}).empty());
  EXPECT_TRUE(w.abortFlag);
  TWriter neg;
  neg.Write(src, {{-2, -2}}, {24});
  EXPECT_TRUE(neg.abortFlag);
}

TEST(ICOWrite, OtherFormatsAreWrittenFromAColourCopy) {
  TLXBitmap grey;
  grey.Allocate(4, 4, lx8g);
  grey.Fill(90);
  TWriter g;
  g.params.SamplesPerPixel = 3;
  g.params.BitsPerSample = 8;
  const auto f = g.Write(grey, {{4, 4}}, {0});
  ASSERT_FALSE(g.abortFlag);
  EXPECT_EQ(Get16(f, 22 + 14), 24);  // the record's pair, not the 1-bit rule
  EXPECT_EQ(f[22 + 40], 90);
  EXPECT_EQ(grey.PixelFormat(), lx8g);
}

TEST(ICOWrite, SourceStaysAsItWas) {
  TLXBitmap src;
  Paint(src, 40, 40);
  AddAlpha(src);
  const TRGB before = src.GetPixelRGB(0, 0);
  TWriter w;
  w.Write(src, {{16, 16}, {40, 40}}, {32, 8});
  ASSERT_FALSE(w.abortFlag);
  EXPECT_EQ(src.GetPixelRGB(0, 0), before);  // alpha 0 there: the resampler greys such pixels
  EXPECT_EQ(src.Width(), 40);
}

// ---------------------------------------------------------------- independent readers

namespace {

struct TToolCase {
  std::string file;
  int depth;
  bool alpha;
};

// Pillow: every frame of every file as RGBA PAM files NAME.N.pam.
std::string PillowDump(const std::vector<std::string>& files) {
  std::ostringstream py;
  py << "from PIL import Image, IcoImagePlugin\n"
        "import sys\n"
        "for f in sys.argv[1:]:\n"
        "  ico = IcoImagePlugin.IcoFile(open(f, 'rb'))\n"
        "  for i in range(len(ico.entry)):\n"
        "    im = ico.frame(i).convert('RGBA')\n"
        "    h = 'P7\\nWIDTH %d\\nHEIGHT %d\\nDEPTH 4\\nMAXVAL 255\\nTUPLTYPE RGB_ALPHA\\nENDHDR\\n' % im.size\n"
        "    open('%s.%dx%d.pam' % ((f,) + im.size), 'wb').write(h.encode() + im.tobytes())\n";
  std::string cmd = "/usr/bin/python3 -c \"" + py.str() + "\"";
  for (const auto& f : files) cmd += " '" + f + "'";
  std::string out;
  RunTool(cmd, &out);
  return out;
}

}  // namespace

TEST(ICOWriteTools, EveryDepthSizeAndAlphaReadsBackEverywhere) {
  REQUIRE_TOOL("icotool");
  REQUIRE_TOOL("convert");
  const std::string dir = ScratchDir("icowrite-tools");
  const std::vector<TIconSize> sizes = {{16, 16}, {32, 32}, {64, 64}, {256, 256}, {48, 40}, {5, 3}};
  std::vector<TToolCase> cases;
  TLXBitmap plain, withAlpha;
  Paint(plain, 256, 256);
  Paint(withAlpha, 256, 256);
  AddAlpha(withAlpha);
  for (int depth : {1, 4, 8, 24, 32})
    for (bool alpha : {false, true}) {
      TWriter w;
      w.params.SetDpiX(96);
      w.params.SetDpiY(96);
      const std::string file = dir + "/d" + std::to_string(depth) + (alpha ? "a" : "") + ".ico";
      WriteFileBytes(file, w.Write(alpha ? withAlpha : plain, sizes, std::vector<int32_t>(sizes.size(), depth)));
      ASSERT_FALSE(w.abortFlag) << file;
      cases.push_back({file, depth, alpha});
    }
  std::vector<std::string> files;
  for (const auto& c : cases) files.push_back(c.file);
  const bool pillow = RunTool("/usr/bin/python3 -c 'import PIL'") == 0;
  if (pillow) PillowDump(files);

  for (const TToolCase& c : cases) {
    const auto data = ReadFileBytes(c.file);
    // icotool -l: one line per image, no complaint but the two about the
    // pels-per-metre fields.
    std::string listing;
    ASSERT_EQ(RunTool("icotool -l '" + c.file + "'", &listing), 0) << listing;
    std::istringstream lines(listing);
    std::string line;
    int images = 0;
    while (std::getline(lines, line)) {
      if (line.rfind("--icon", 0) == 0) { ++images; continue; }
      EXPECT_NE(line.find("pels_per_meter field in bitmap should be zero"), std::string::npos)
          << c.file << ": " << line;
    }
    EXPECT_EQ(images, int(sizes.size())) << c.file << "\n" << listing;
    const std::string xdir = c.file + ".x";
    std::filesystem::create_directories(xdir);
    ASSERT_EQ(RunTool("icotool -x -o '" + xdir + "' '" + c.file + "'"), 0) << c.file;
    RunTool("convert '" + c.file + "' -depth 8 '" + c.file + ".im-%d.pam'");

    for (size_t k = 0; k < sizes.size(); ++k) {
      TReadBack ours;
      ASSERT_TRUE(ours.Read(data, int(k))) << c.file << " " << k;
      const int W = ours.bitmap.Width(), H = ours.bitmap.Height();
      ASSERT_EQ(W, sizes[k].Width);
      ASSERT_EQ(H, sizes[k].Height);
      // The image the writer meant: at full size, the source itself.
      if (sizes[k].Width == 256 && c.depth != 1) {
        TLXBitmap& src = c.alpha ? withAlpha : plain;
        int bad = 0;
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x)
            // Pixels of alpha 0 are greyed by the resampler (a 24-bit image shows them).
            if (ours.mask->GetPixel(x, y) != 0 && src.AlphaAt(x, y) != 0)
              bad += !(ours.bitmap.GetPixelRGB(x, y) == src.GetPixelRGB(x, y));
        EXPECT_EQ(bad, 0) << c.file;
      }
      std::ostringstream name;
      name << xdir << "/" << std::filesystem::path(c.file).stem().string() << "_" << (k + 1) << "_" << W << "x"
           << H << "x" << c.depth << ".png";
      struct Peer { std::string what; TRGBAImage img; };
      std::vector<Peer> peers = {{"icotool", PNGFileRead(name.str())},
                                 {"ImageMagick", ParseNetpbm(ReadFileBytes(c.file + ".im-" + std::to_string(k) + ".pam"))}};
      if (pillow)
        peers.push_back({"Pillow", ParseNetpbm(ReadFileBytes(c.file + "." + std::to_string(W) + "x" +
                                                             std::to_string(H) + ".pam"))});
      for (const Peer& p : peers) {
        ASSERT_EQ(p.img.Width, W) << p.what << " " << name.str();
        ASSERT_EQ(p.img.Height, H) << p.what << " " << name.str();
        // icotool -x reads 24-bit rows without their padding to 4 bytes (the
        // 5x3 image, 16-byte rows); Pillow, ImageMagick and this reader agree
        // on the padded rows, which is how bitmaps store them.
        if (p.what == "icotool" && c.depth == 24 && (W * 3) % 4 != 0) continue;
        int bad = 0;
        for (int y = 0; y < H; ++y)
          for (int x = 0; x < W; ++x) {
            const uint8_t* q = p.img.At(x, y);
            const int a = ours.mask->GetPixel(x, y);
            // 32-bit images carry their alpha; the others a 1-bit mask.
            if (c.depth == 32) bad += q[3] != a;
            else bad += (q[3] == 0) != (a == 0);
            if (a == 0 || q[3] == 0) continue;
            const TRGB e = ours.bitmap.GetPixelRGB(x, y);
            bad += q[0] != e.r || q[1] != e.g || q[2] != e.b;
          }
        EXPECT_EQ(bad, 0) << p.what << " " << name.str();
      }
    }
  }
}

// ---------------------------------------------------------------- through the controller

TEST(ICOWriteController, SaveIconFileUsesTheRecordsSizes) {
  const std::string dir = ScratchDir("icowrite-controller");
  TTalvexIO io;
  Paint(*io.Bitmap(), 100, 50);
  io.SaveIconFile(dir + "/a.ico");
  ASSERT_FALSE(io.AbortFlag);
  const auto f = ReadFileBytes(dir + "/a.ico");
  ASSERT_GT(f.size(), 22u);
  EXPECT_EQ(Get16(f, 4), 1);
  EXPECT_EQ(f[6], 64);
  EXPECT_EQ(f[7], 64);
  EXPECT_EQ(f[8], 255);  // 8 bits
  EXPECT_EQ(Get16(f, 22 + 14), 8);

  // No usable size: the save fails and no file is made.
  io.Params().IconSizes[0] = TIconSize{0, 0};
  io.SaveIconFile(dir + "/b.ico");
  EXPECT_TRUE(io.AbortFlag);
  EXPECT_FALSE(std::filesystem::exists(dir + "/b.ico"));

  // A grey target is turned into colour first; the file reads back.
  io.Params().IconSizes[0] = TIconSize{16, 16};
  io.Params().IconBitCounts[0] = 32;
  io.Bitmap()->Allocate(20, 20, lx8g);
  io.Bitmap()->Fill(200);
  io.SaveFile(dir + "/c.ico");
  ASSERT_FALSE(io.AbortFlag);
  EXPECT_EQ(io.Bitmap()->PixelFormat(), lx24RGB);
  TTalvexIO back;
  back.LoadFile(dir + "/c.ico");
  ASSERT_FALSE(back.AbortFlag);
  EXPECT_EQ(back.Bitmap()->Width(), 16);
  EXPECT_EQ(back.Bitmap()->GetPixelRGB(3, 3), (TRGB{200, 200, 200}));
  EXPECT_TRUE(back.Bitmap()->HasAlphaChannel());
}
