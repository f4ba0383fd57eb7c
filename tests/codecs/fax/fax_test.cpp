// The CCITT fax coders: code tables, round trips of every scheme through both
// interfaces, libtiff's fax strips decoded, ours read by libtiff, the corpus'
// fax TIFFs, and damaged data that must stay inside its row and its buffer.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "codecs/fax/faxcodes.h"
#include "codecs/fax/faxdecode.h"
#include "codecs/fax/faxencode.h"
#include "io/progress.h"
#include "platform/stream.h"
#include "tests/codecs/imagefiles.h"
#include "tests/support/corpus.h"
#include "tests/support/tiffbits.h"

namespace {

using TRows = std::vector<std::vector<uint8_t>>;

size_t RowBytes(int32_t width) { return (size_t(width) + 7) / 8; }

// Bilevel rows, bit 1 black: runs of every length (past 2560 on wide rows),
// rows that repeat the one above with small shifts (vertical modes), blank,
// solid and alternating rows. Bits past the width are 0.
TRows Page(int32_t width, int rows, uint32_t seed) {
  std::mt19937 rng(seed);
  TRows page;
  std::vector<uint8_t> row(RowBytes(width));
  for (int y = 0; y < rows; ++y) {
    const uint32_t kind = rng() % 10;
    if (kind < 4 && y > 0) {
      row = page.back();
      // Shift a few edges by up to four pixels.
      for (int k = 0; k < 3; ++k) {
        const int32_t x = int32_t(rng() % uint32_t(width)), n = int32_t(rng() % 5);
        for (int32_t i = x; i < std::min(width, x + n); ++i) row[size_t(i) / 8] ^= uint8_t(0x80 >> (i % 8));
      }
    } else if (kind == 4) {
      std::fill(row.begin(), row.end(), 0);
    } else if (kind == 5) {
      std::fill(row.begin(), row.end(), 0xFF);
    } else if (kind == 6) {
      std::fill(row.begin(), row.end(), 0x55);
    } else {
      std::fill(row.begin(), row.end(), 0);
      int32_t x = 0;
      int color = int(rng() & 1);
      while (x < width) {
        const uint32_t r = rng() % 100;
        const int32_t len = 1 + int32_t(r < 60 ? rng() % 8 : r < 90 ? rng() % 200 : rng() % 6000);
        if (color) {
          for (int32_t i = x; i < std::min(width, x + len); ++i) row[size_t(i) / 8] |= uint8_t(0x80 >> (i % 8));
        }
        x += len;
        color ^= 1;
      }
    }
    if (width % 8) row.back() &= uint8_t(0xFF << (8 - width % 8));
    page.push_back(row);
  }
  return page;
}

// Decoded rows (bit 1 white) in the encoder's polarity, bits past the width 0.
std::vector<uint8_t> Ink(const uint8_t* decoded, int32_t width) {
  std::vector<uint8_t> r(decoded, decoded + RowBytes(width));
  for (auto& b : r) b = uint8_t(~b);
  if (width % 8) r.back() &= uint8_t(0xFF << (8 - width % 8));
  return r;
}

std::vector<uint8_t> Encode(const TRows& page, int32_t width, TFaxScheme scheme) {
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIOProgress progress;
  progress.abort = &abort;
  TFaxEncoder state;
  for (const auto& row : page) {
    switch (scheme) {
      case fxMH: FaxEncodeMH(row.data(), width, s, progress, state); break;
      case fxMHAligned: FaxEncodeMHAligned(row.data(), width, s, progress); break;
      case fxG3_1D: FaxEncodeG3_1D(row.data(), width, s, progress, state); break;
      case fxG3_2D: FaxEncodeG3_2D(row.data(), width, s, progress, state); break;
      case fxG4: FaxEncodeG4(row.data(), width, s, progress, state); break;
    }
  }
  switch (scheme) {
    case fxMH: FaxEncodeMH(nullptr, width, s, progress, state); break;
    case fxMHAligned: break;
    case fxG3_1D: FaxEncodeG3_1D(nullptr, width, s, progress, state); break;
    case fxG3_2D: FaxEncodeG3_2D(nullptr, width, s, progress, state); break;
    case fxG4: FaxEncodeG4(nullptr, width, s, progress, state); break;
  }
  EXPECT_FALSE(abort);
  return s.Data();
}

// Decodes rows with the strip decoder; data is copied into a buffer of its
// exact size so that a read past it shows in the sanitizer build.
TRows DecodeStrip(const std::vector<uint8_t>& data, int32_t width, int rows, TFaxScheme scheme, bool lsbFirst,
                  std::vector<TFaxResult>* results = nullptr) {
  std::unique_ptr<uint8_t[]> exact(new uint8_t[data.size() + 1]);
  std::copy(data.begin(), data.end(), exact.get());
  TFaxDecoder decoder(width, scheme, lsbFirst);
  decoder.Start(exact.get(), int64_t(data.size()));
  TRows out;
  std::vector<uint8_t> row(RowBytes(width) + 8, 0xA5);
  for (int y = 0; y < rows; ++y) {
    const TFaxResult r = decoder.DecodeRow(row.data());
    if (results) results->push_back(r);
    for (size_t i = RowBytes(width); i < row.size(); ++i) EXPECT_EQ(row[i], 0xA5) << "wrote past the row";
    out.push_back(Ink(row.data(), width));
  }
  return out;
}

// The same through the single-row functions.
TRows DecodeRowByRow(const std::vector<uint8_t>& data, int32_t width, int rows, TFaxScheme scheme) {
  TRows out;
  std::vector<uint8_t> row(RowBytes(width)), ref(RowBytes(width), 0xFF);
  int64_t pos = 0;
  for (int y = 0; y < rows; ++y) {
    TFaxResult r = frOk;
    if (scheme == fxMHAligned) {
      pos += 8 * FaxDecodeMHAligned(row.data(), data.data() + pos / 8, int64_t(data.size()) - pos / 8, width, 1, &r);
    } else if (scheme == fxMH || scheme == fxG3_1D) {
      pos = FaxDecodeMH(row.data(), data.data(), int64_t(data.size()), width, 1, pos, &r);
    } else {
      pos = FaxDecode2D(row.data(), data.data(), int64_t(data.size()), false, 1, pos, ref.data(), width, &r);
    }
    EXPECT_EQ(r, frOk) << "row " << y;
    out.push_back(Ink(row.data(), width));
  }
  return out;
}

std::vector<uint8_t> ReverseBits(std::vector<uint8_t> v) {
  for (auto& b : v) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r = uint8_t(r | ((b >> i) & 1) << (7 - i));
    b = r;
  }
  return v;
}

// "0001 1 010" -> bytes, most significant bit first, padded with 0 bits.
std::vector<uint8_t> Bits(const std::string& s) {
  std::vector<uint8_t> v;
  int n = 0;
  for (char c : s) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) v.push_back(0);
    if (c == '1') v.back() |= uint8_t(0x80 >> (n % 8));
    ++n;
  }
  return v;
}

const TFaxScheme kSchemes[] = {fxMH, fxMHAligned, fxG3_1D, fxG3_2D, fxG4};

TEST(FaxTest, CodeSetsArePrefixFree) {
  auto check = [](const std::vector<TFaxCode>& codes, const char* what) {
    for (size_t i = 0; i < codes.size(); ++i) {
      for (size_t j = 0; j < codes.size(); ++j) {
        if (i == j || codes[i].length > codes[j].length) continue;
        const uint32_t top = codes[j].bits >> (codes[j].length - codes[i].length);
        EXPECT_NE(top, codes[i].bits) << what << ": code " << i << " begins code " << j;
      }
    }
  };
  for (const TFaxRunCodes* set : {&kFaxWhiteCodes, &kFaxBlackCodes}) {
    std::vector<TFaxCode> codes(std::begin(set->terminating), std::end(set->terminating));
    codes.insert(codes.end(), std::begin(set->makeup), std::end(set->makeup));
    codes.insert(codes.end(), std::begin(kFaxExtendedMakeup), std::end(kFaxExtendedMakeup));
    codes.push_back(kFaxEOL);
    check(codes, set == &kFaxWhiteCodes ? "white" : "black");
  }
  std::vector<TFaxCode> modes(std::begin(kFaxModeCodes), std::end(kFaxModeCodes));
  check(modes, "modes");
}

TEST(FaxTest, EveryScheme_RoundTripsOddWidths) {
  uint32_t seed = 1;
  for (int32_t width : {1, 7, 9, 1728, 2481, 6007}) {
    const TRows page = Page(width, width > 3000 ? 12 : 40, seed++);
    for (TFaxScheme scheme : kSchemes) {
      const auto data = Encode(page, width, scheme);
      std::vector<TFaxResult> results;
      EXPECT_EQ(DecodeStrip(data, width, int(page.size()), scheme, false, &results), page)
          << "width " << width << " scheme " << int(scheme);
      for (TFaxResult r : results) EXPECT_EQ(r, frOk);
      EXPECT_EQ(DecodeStrip(ReverseBits(data), width, int(page.size()), scheme, true), page)
          << "FillOrder 2, width " << width << " scheme " << int(scheme);
      EXPECT_EQ(DecodeRowByRow(data, width, int(page.size()), scheme), page)
          << "row by row, width " << width << " scheme " << int(scheme);
      // After the page: the end of the data (or RTC, EOFB).
      results.clear();
      DecodeStrip(data, width, int(page.size()) + 1, scheme, false, &results);
      EXPECT_EQ(results.back(), frEndOfData) << "scheme " << int(scheme);
    }
  }
}

TEST(FaxTest, CodesOfKnownRows) {
  std::vector<uint8_t> white(RowBytes(1728), 0), black1(RowBytes(10), 0), white3000(RowBytes(3000), 0);
  black1[0] = 0xC0;  // two black pixels, then white
  struct TCase { const char* what; const uint8_t* row; int32_t width; TFaxScheme scheme; std::string bits; };
  const TCase cases[] = {
      {"all white 1728: make-up 1728, white 0", white.data(), 1728, fxMH, "010011011 00110101"},
      {"starts black: white 0 first", black1.data(), 10, fxMH, "00110101 11 10011"},
      {"3000 white: 2560, 384, 56", white3000.data(), 3000, fxMH, "000000011111 00110111 01011001"},
      {"Group 3: EOL before the row", black1.data(), 10, fxG3_1D, "000000000001 00110101 11 10011"},
      {"Group 4 blank row: V0 and EOFB", white.data(), 1728, fxG4, "1 000000000001 000000000001"},
      {"Group 3 2-D: EOL, tag 1, runs, EOL", black1.data(), 10, fxG3_2D,
       "000000000001 1 00110101 11 10011 000000000001"},
  };
  for (const TCase& c : cases) {
    const TRows page = {std::vector<uint8_t>(c.row, c.row + RowBytes(c.width))};
    EXPECT_EQ(Encode(page, c.width, c.scheme), Bits(c.bits)) << c.what;
  }
  // An EOL (with fill) before the first row is skipped.
  const auto data = Bits("0000 000000000001 00110101 11 10011");
  std::vector<uint8_t> row(2);
  TFaxResult r;
  FaxDecodeMH(row.data(), data.data(), int64_t(data.size()), 10, 1, 0, &r);
  EXPECT_EQ(r, frOk);
  EXPECT_EQ(Ink(row.data(), 10), (std::vector<uint8_t>{0xC0, 0x00}));
}

// Our strips wrapped in a TIFF are read by libtiff without a complaint.
TEST(FaxTest, LibtiffReadsWhatWeWrite) {
  REQUIRE_TOOL("tiffcp");
  const std::string dir = ScratchDir("fax-ours");
  struct TCase { TFaxScheme scheme; uint32_t compression, t4; };
  int n = 0;
  for (int32_t width : {13, 1728, 2481}) {
    const TRows page = Page(width, 57, uint32_t(width));
    std::vector<uint8_t> raw;
    for (const auto& r : page) raw.insert(raw.end(), r.begin(), r.end());
    for (TCase c : {TCase{fxMHAligned, 2, 0}, TCase{fxG3_1D, 3, 0}, TCase{fxG3_2D, 3, 1}, TCase{fxG4, 4, 0}}) {
      const std::string base = dir + "/f" + std::to_string(n++);
      std::map<uint16_t, uint32_t> extra;
      if (c.compression == 3) extra[292] = c.t4;
      WriteFileBytes(base + ".tif", MakeTestTiff(uint32_t(width), uint32_t(page.size()), 1, 1, 0, c.compression,
                                                 Encode(page, width, c.scheme), extra));
      std::string complaints;
      EXPECT_EQ(RunTool("(tiffinfo -D " + base + ".tif > /dev/null)", &complaints), 0);
      EXPECT_EQ(complaints, "") << "width " << width << " compression " << c.compression;
      ASSERT_EQ(RunTool("tiffcp -c none " + base + ".tif " + base + ".raw.tif"), 0);
      const auto back = ReadFileBytes(base + ".raw.tif");
      const TTestTiff t = ParseTestTiff(back);
      ASSERT_TRUE(t.Ok);
      EXPECT_EQ(TestTiffAllStrips(back, t), raw) << "width " << width << " compression " << c.compression;
    }
  }
}

// What the scheme and bit order of a fax TIFF are.
bool FaxLayout(const TTestTiff& t, TFaxScheme& scheme) {
  if (t.Compression == 2) scheme = fxMHAligned;
  else if (t.Compression == 3) scheme = (t.T4Options & 1) ? fxG3_2D : fxG3_1D;
  else if (t.Compression == 4) scheme = fxG4;
  else return false;
  return t.BitsPerSample == 1 && t.SamplesPerPixel == 1;
}

// A fax TIFF's rows decoded by us next to libtiff's (tiffcp -c none).
void CompareWithLibtiff(const std::string& path, const std::string& copy, int* compared) {
  const auto file = ReadFileBytes(path);
  const TTestTiff t = ParseTestTiff(file);
  TFaxScheme scheme;
  if (!t.Ok || !FaxLayout(t, scheme)) return;
  // Files whose data libtiff itself finds damaged have no one right decode.
  std::string complaints;
  if (RunTool("tiffcp -c none " + path + " " + copy, &complaints) != 0 ||
      complaints.find("Decode") != std::string::npos)
    return;
  const auto plain = ReadFileBytes(copy);
  const TTestTiff p = ParseTestTiff(plain);
  if (!p.Ok) return;
  // An uncompressed copy keeps FillOrder 2 and stores its bytes reversed too.
  std::vector<uint8_t> theirs = TestTiffAllStrips(plain, p), ours;
  if (p.FillOrder == 2) theirs = ReverseBits(theirs);
  const int32_t width = int32_t(t.Width);
  for (size_t i = 0; i < t.Offsets.size(); ++i) {
    const int rows = int(std::min<uint64_t>(t.RowsPerStrip, t.Height - i * t.RowsPerStrip));
    for (const auto& r : DecodeStrip(TestTiffStrip(file, t, i), width, rows, scheme, t.FillOrder == 2)) {
      ours.insert(ours.end(), r.begin(), r.end());
    }
  }
  // libtiff leaves the bits past the width as they were coded: compare pixels only.
  if (width % 8) {
    for (size_t at = RowBytes(width) - 1; at < theirs.size(); at += RowBytes(width)) {
      theirs[at] &= uint8_t(0xFF << (8 - width % 8));
    }
  }
  EXPECT_EQ(ours, theirs) << path;
  ++*compared;
}

// Strips libtiff codes (Group 3 1-D and 2-D, fill bits, Group 4, both bit
// orders, and fax2tiff's EOL-aligned output) decode to the page.
TEST(FaxTest, DecodesLibtiffsStrips) {
  REQUIRE_TOOL("tiffcp");
  REQUIRE_TOOL("ppm2tiff");
  const std::string dir = ScratchDir("fax-libtiff");
  int compared = 0;
  for (int32_t width : {23, 1728, 2550}) {
    const TRows page = Page(width, 61, uint32_t(width) + 5);
    std::string pbm = "P4\n" + std::to_string(width) + " " + std::to_string(page.size()) + "\n";
    for (const auto& r : page) pbm.append(r.begin(), r.end());
    const std::string base = dir + "/w" + std::to_string(width);
    WriteFileBytes(base + ".pbm", std::vector<uint8_t>(pbm.begin(), pbm.end()));
    ASSERT_EQ(RunTool("ppm2tiff -c none " + base + ".pbm " + base + ".tif"), 0);
    int k = 0;
    for (const char* how : {"-c g3", "-c g3:2d", "-c g3:2d:fill", "-c g4", "-f lsb2msb -c g4",
                            "-f lsb2msb -c g3:2d:fill", "-c g3:fill"}) {
      const std::string out = base + "-" + std::to_string(k++) + ".tif";
      ASSERT_EQ(RunTool("tiffcp -r 100000 " + std::string(how) + " " + base + ".tif " + out), 0) << how;
      CompareWithLibtiff(out, out + ".none.tif", &compared);
    }
    if (HaveTool("fax2tiff")) {
      // Raw Group 3 1-D from us, turned by fax2tiff into EOL-aligned,
      // two-dimensional, least-significant-bit-first Group 3.
      WriteFileBytes(base + ".g3", Encode(page, width, fxG3_1D));
      const std::string out = base + "-fax2tiff.tif";
      ASSERT_EQ(RunTool("fax2tiff -M -1 -X " + std::to_string(width) + " -o " + out + " " + base + ".g3"), 0);
      CompareWithLibtiff(out, out + ".none.tif", &compared);
    }
  }
  EXPECT_EQ(compared, 3 * (7 + int(HaveTool("fax2tiff"))));
}

TEST(FaxTest, CorpusFaxFilesDecodeAsLibtiffDoes) {
  REQUIRE_CORPUS();
  REQUIRE_TOOL("tiffcp");
  const std::string dir = ScratchDir("fax-corpus");
  int compared = 0;
  for (const char* sub : {"tiff/image-tiff", "tiff/pillow", "tiff/image-rs"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(CorpusPath(sub))) {
      if (!entry.is_regular_file()) continue;
      CompareWithLibtiff(entry.path().string(), dir + "/" + entry.path().filename().string(), &compared);
    }
  }
  RecordProperty("compared", compared);
  EXPECT_GE(compared, 15);
}

// Codes that point outside the row: decoding stays inside it.
TEST(FaxTest, CodesBeyondTheRowStayInside) {
  struct TCase {
    const char* what;
    TFaxScheme scheme;
    int32_t width;
    std::string bits;
    std::vector<TFaxResult> results;
    TRows rows;  // encoder polarity
  };
  const TCase cases[] = {
      // A white run of 2560 + 40 in a row of 10, then the next row: 2 black, 8 white.
      {"run past the width", fxMH, 10, "000000011111 00101001 00110101 11 10011", {frOk, frOk}, {{0, 0}, {0xC0, 0}}},
      // First row: black at 5 (horizontal white 5, black 1; V0). Second row: V0
      // puts a1 on 5, then VL3 would put it at 3, left of a0: it is taken at a0,
      // so the black run is empty; V0 ends the row.
      {"a1 left of a0", fxG4, 16, "001 1100 010 1   1 0000010 1", {frOk, frOk}, {{0x04, 0}, {0, 0}}},
      // Pass mode with b2 at the end of the row: the row is done.
      {"pass to the row end", fxG4, 12, "0001", {frOk}, {{0, 0}}},
      // An EOL in the middle of a black run: black to the end of the row.
      {"EOL inside a black run", fxMH, 12, "0111 000000000001", {frOk}, {{0x3F, 0xF0}}},
      // Data ends inside the second row.
      {"data ends", fxMH, 12, "00110101 10 10100 0111", {frOk, frEndOfData}, {{0xE0, 0}, {0, 0}}},
      // An undefined extension code: Group 4 cannot go on.
      {"bad code in Group 4", fxG4, 8, "1 0000001000 1", {frOk, frBadCode, frBadCode}, {{0, 0}, {0}, {0}}},
      // Group 3 2-D goes on at the next EOL after a bad code.
      {"bad code in Group 3 2-D", fxG3_2D, 8,
       "000000000001 1 10011   000000000001 0 0000001000   000000000001 1 0111 11 1011",
       {frOk, frBadCode, frOk},
       {{0}, {0}, {0x30}}},
  };
  for (const TCase& c : cases) {
    std::vector<TFaxResult> results;
    const TRows rows = DecodeStrip(Bits(c.bits), c.width, int(c.results.size()), c.scheme, false, &results);
    EXPECT_EQ(results, c.results) << c.what;
    for (size_t y = 0; y < rows.size() && y < c.rows.size(); ++y) {
      std::vector<uint8_t> want = c.rows[y];
      want.resize(RowBytes(c.width));
      EXPECT_EQ(rows[y], want) << c.what << " row " << y;
    }
  }
}

// Uncompressed mode inside two-dimensional coding: explicit pixels, then an
// exit code that names the colour to go on with.
TEST(FaxTest, UncompressedMode) {
  // Extension 0000001111; "1" black; "01" white black; "000001" five white;
  // exit after two white pixels, next colour white ("000000001" + "0"); then
  // V0 against the all-white reference: white to the end.
  const auto data = Bits("0000001111 1 01 000001 000000001 0 1");
  std::vector<TFaxResult> results;
  const TRows rows = DecodeStrip(data, 16, 1, fxG4, false, &results);
  EXPECT_EQ(results[0], frOk);
  // Pixels: B W B W W W W W W W, then white: 1010 0000 0000 0000.
  EXPECT_EQ(rows[0], (std::vector<uint8_t>{0xA0, 0x00}));
}

// Random bytes in every scheme: rows come out whole, nothing is written past
// them nor read past the data (the sanitizer build watches the reads).
TEST(FaxTest, GarbageStaysInItsBuffers) {
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> junk(rng() % 300);
    for (auto& b : junk) b = uint8_t(rng() % 4 ? rng() : 0);
    const int32_t width = int32_t(1 + rng() % 3000);
    for (TFaxScheme scheme : kSchemes) DecodeStrip(junk, width, 20, scheme, rng() & 1);
    std::vector<uint8_t> row(RowBytes(width)), ref(RowBytes(width), 0xFF);
    FaxDecodeMH(row.data(), junk.data(), int64_t(junk.size()), width, 1, int64_t(rng() % 4000), nullptr);
    FaxDecode2D(row.data(), junk.data(), int64_t(junk.size()), true, 2, int64_t(rng() % 4000), ref.data(), width);
    FaxDecodeMHAligned(row.data(), junk.data(), int64_t(junk.size()), width, 1);
  }
}

}  // namespace
