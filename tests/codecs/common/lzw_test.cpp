// The LZW string tables on their own: codes travel as (code, width) pairs, so
// these tests see the table and width rules without any bit packing.
#include "codecs/common/lzw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

using TCodes = std::vector<std::pair<uint32_t, int>>;

struct TCodeSink {
  TCodes codes;
  void Put(uint32_t code, int width) { codes.push_back({code, width}); }
};

// Hands out the codes, checking that the decoder asks for each at the width
// the encoder wrote it.
struct TCodeBits {
  const TCodes& codes;
  size_t next = 0;
  bool Next(int width, uint32_t& code) {
    if (next == codes.size()) return false;
    EXPECT_EQ(codes[next].second, width) << "code " << next;
    code = codes[next++].first;
    return true;
  }
};

TCodes Encode(const TLZWFlavour& flavour, const std::vector<uint8_t>& data) {
  TCodeSink sink;
  TLZWEncoder<TCodeSink> encoder(flavour, sink);
  encoder.Start();
  // In uneven pieces: the string under way carries over.
  for (size_t i = 0; i < data.size(); i += 777) encoder.Encode(data.data() + i, std::min<size_t>(777, data.size() - i));
  encoder.Finish();
  return sink.codes;
}

// Codes with the width a decoder reads them at, for hand-made streams.
TCodes Plain(std::initializer_list<uint32_t> codes, int width) {
  TCodes out;
  for (uint32_t c : codes) out.push_back({c, width});
  return out;
}

TLZWStatus Decode(const TLZWFlavour& flavour, const TCodes& codes, std::vector<uint8_t>& out, size_t size) {
  auto decoder = std::make_unique<TLZWDecoder>(flavour);
  TCodeBits bits{codes};
  out.assign(size, 0xEE);
  size_t written = 0;
  const TLZWStatus status = decoder->Decode(bits, out.data(), written, size, size);
  out.resize(written);
  return status;
}

std::vector<uint8_t> Sample(size_t n, int alphabetBits, int kind, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  const uint32_t mask = (1u << std::min(alphabetBits, 8)) - 1;
  uint8_t run = 0;
  for (size_t i = 0; i < n; ++i) {
    if (kind == 0) v[i] = uint8_t(rng() & mask);                     // noise
    else if (kind == 1) v[i] = uint8_t((i / 37 + (rng() % 50 == 0)) & mask);  // long strings
    else v[i] = (rng() % 300 == 0) ? run = uint8_t(rng() & mask), run : run;  // runs: KwKwK codes
  }
  return v;
}

TEST(LZWTest, RoundTripsEveryFlavourWithTheDecodersWidths) {
  std::vector<TLZWFlavour> flavours = {LZWTIFFFlavour()};
  for (int m = 1; m <= 11; ++m) flavours.push_back(LZWGIFFlavour(m));
  uint32_t seed = 1;
  for (const TLZWFlavour& f : flavours) {
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(1001), size_t(70001)}) {
      for (int kind = 0; kind < 3; ++kind) {
        const auto data = Sample(n, f.LiteralBits, kind, seed++);
        const TCodes codes = Encode(f, data);
        std::vector<uint8_t> back;
        EXPECT_EQ(Decode(f, codes, back, n + 5), lzEnd) << f.LiteralBits << " n " << n << " kind " << kind;
        EXPECT_EQ(back, data) << f.LiteralBits << " n " << n << " kind " << kind;
      }
    }
  }
}

// GIF writers clear when 4095 would be defined, TIFF writers at 4093 (libtiff's
// limit); the width grows at 2^width in GIF and one code earlier in TIFF.
TEST(LZWTest, ClearsAndWidensWhereEachFlavourSays) {
  const auto data = Sample(300000, 8, 0, 7);
  struct TCase { TLZWFlavour flavour; size_t codesPerTable; size_t first10Bit; };
  for (const TCase& c : {TCase{LZWGIFFlavour(8), 4096 - 258, 256}, TCase{LZWTIFFFlavour(), 4094 - 258, 255}}) {
    const TCodes codes = Encode(c.flavour, data);
    std::vector<size_t> clears;
    for (size_t i = 0; i < codes.size(); ++i) {
      if (codes[i].first == 256) clears.push_back(i);
      EXPECT_LE(codes[i].second, 12);
    }
    ASSERT_GE(clears.size(), 3u);
    for (size_t k = 1; k + 1 < clears.size(); ++k) EXPECT_EQ(clears[k + 1] - clears[k] - 1, c.codesPerTable);
    EXPECT_EQ(codes[clears[1] + c.first10Bit - 1].second, 9);
    EXPECT_EQ(codes[clears[1] + c.first10Bit].second, 10);
    EXPECT_EQ(codes[clears[2] - 1].second, 12);
  }
}

// A stream that fills the table and goes on without a clear code (the deferred
// clear) decodes with the table as it stands.
TEST(LZWTest, FullTableWithoutClearKeepsDecoding) {
  for (TLZWFlavour f : {LZWGIFFlavour(8), LZWTIFFFlavour()}) {
    f.ClearAt = 4096;
    const auto data = Sample(200000, 8, 0, 11);
    const TCodes codes = Encode(f, data);
    size_t clears = 0;
    for (const auto& c : codes) clears += c.first == 256;
    EXPECT_EQ(clears, 1u);  // the opening one
    std::vector<uint8_t> back;
    EXPECT_EQ(Decode(f, codes, back, data.size()), lzFull);
    EXPECT_EQ(back, data);
  }
}

TEST(LZWTest, CodesThatNameNoStringFail) {
  struct TCase {
    const char* what;
    TLZWFlavour flavour;
    TCodes codes;
    TLZWStatus status;
    std::vector<uint8_t> out;
  };
  const TLZWFlavour gif4 = LZWGIFFlavour(4), tiff = LZWTIFFFlavour();
  const TCase cases[] = {
      {"free code right after a clear", gif4, Plain({16, 18}, 5), lzBadCode, {}},
      {"free code at the very start", tiff, Plain({258}, 9), lzBadCode, {}},
      {"free code after a clear mid-stream", tiff, Plain({256, 65, 66, 256, 258}, 9), lzBadCode, {65, 66}},
      {"code above the table", tiff, Plain({256, 65, 66, 260}, 9), lzBadCode, {65, 66}},
      {"literal that is not a byte", LZWGIFFlavour(9), Plain({512, 65, 300}, 10), lzBadCode, {65}},
      {"the free code repeats the last string", tiff, Plain({256, 65, 258, 259, 257}, 9), lzEnd, {65, 65, 65, 65, 65, 65}},
      {"end right after a clear, data after it", gif4, Plain({16, 1, 16, 17, 2, 2}, 5), lzEnd, {1}},
      {"data ends without an end code", gif4, Plain({16, 1, 2}, 5), lzDataEnd, {1, 2}},
  };
  for (const TCase& c : cases) {
    std::vector<uint8_t> out;
    EXPECT_EQ(Decode(c.flavour, c.codes, out, 64), c.status) << c.what;
    EXPECT_EQ(out, c.out) << c.what;
  }
}

// Output asked for in pieces (TIFF rows): a string that crosses the end of a
// piece is written whole and the next piece starts after it; with no room
// past the end (GIF's buffer) the last string is cut there.
TEST(LZWTest, DecodesPieceByPiece) {
  const TLZWFlavour f = LZWTIFFFlavour();
  const auto data = Sample(50000, 8, 1, 3);
  const TCodes codes = Encode(f, data);
  for (size_t piece : {size_t(1), size_t(3), size_t(7), size_t(4096), size_t(4097)}) {
    auto decoder = std::make_unique<TLZWDecoder>(f);
    TCodeBits bits{codes};
    std::vector<uint8_t> window(data.size() + kLZWStringSlack);
    size_t pos = 0, limit = 0;
    TLZWStatus status = lzFull;
    while (status == lzFull) {
      limit += piece;
      status = decoder->Decode(bits, window.data(), pos, limit, window.size());
      if (status == lzFull) {
        EXPECT_GE(pos, limit);
      }
    }
    EXPECT_EQ(status, lzEnd);
    EXPECT_EQ(std::vector<uint8_t>(window.begin(), window.begin() + long(pos)), data) << "pieces of " << piece;
    EXPECT_EQ(decoder->Decode(bits, window.data(), pos, pos + 10, window.size()), lzEnd);  // stays ended
  }
  for (size_t size : {size_t(1), size_t(1000), size_t(49999)}) {
    std::vector<uint8_t> out;
    EXPECT_EQ(Decode(f, codes, out, size), lzFull);
    EXPECT_EQ(out, std::vector<uint8_t>(data.begin(), data.begin() + long(size)));
  }
}

// A window whose front is dropped (the strip decoder's compaction) decodes on
// from the moved bytes.
TEST(LZWTest, RebasedWindowKeepsDecoding) {
  const TLZWFlavour f = LZWTIFFFlavour();
  const auto data = Sample(300000, 8, 0, 5);
  const TCodes codes = Encode(f, data);
  auto decoder = std::make_unique<TLZWDecoder>(f);
  TCodeBits bits{codes};
  std::vector<uint8_t> window(70000 + kLZWStringSlack), back;
  size_t pos = 0, done = 0;
  TLZWStatus status = lzFull;
  while (status == lzFull) {
    const size_t dead = std::min(decoder->LiveFrom(), pos);
    back.insert(back.end(), window.begin() + long(done), window.begin() + long(pos));
    std::memmove(window.data(), window.data() + dead, pos - dead);
    decoder->Rebase(dead);
    pos -= dead;
    done = pos;
    status = decoder->Decode(bits, window.data(), pos, std::min(pos + 50000, size_t(70000)), window.size());
  }
  back.insert(back.end(), window.begin() + long(done), window.begin() + long(pos));
  EXPECT_EQ(status, lzEnd);
  EXPECT_EQ(back, data);
}

TEST(LZWTest, OneBitAlphabetWidensAtOnce) {
  // Clear 2, end 3, first free code 4 = 2^2: the second code is 3 bits wide.
  const TLZWFlavour f = LZWGIFFlavour(1);
  std::vector<uint8_t> out;
  EXPECT_EQ(Decode(f, TCodes{{2, 2}, {1, 2}, {0, 3}, {4, 3}, {3, 3}}, out, 16), lzEnd);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 0, 1, 0}));
}

}  // namespace
