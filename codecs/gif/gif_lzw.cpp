#include "codecs/gif/gif_lzw.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "codecs/common/bitload.h"
#include "codecs/common/lzw.h"
#include "platform/stream.h"

namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kBlock = 254;  // data bytes per written sub-block
constexpr size_t kMaxPixels = size_t(1) << 31;

// The data bytes of the sub-blocks at the stream's position, read a chunk at
// a time so that no call goes to the stream per block.
class TSubBlocks {
public:
  explicit TSubBlocks(TStream& stream) : stream_(stream), base_(stream.Position()), raw_(new uint8_t[kChunk]) {}
  // Copies up to max data bytes to dst (skips them when dst is null); fewer
  // only at the block terminator or the end of the stream.
  size_t Take(uint8_t* dst, size_t max) {
    size_t done = 0;
    while (done < max && !ended_) {
      if (at_ == got_ && !Load()) break;
      if (need_ == 0) {
        need_ = raw_[at_++];
        if (need_ == 0) {
          ended_ = true;
          end_ = base_ + int64_t(at_);
        }
        continue;
      }
      const size_t n = std::min({need_, got_ - at_, max - done});
      if (dst) std::memcpy(dst + done, raw_.get() + at_, n);
      at_ += n;
      need_ -= n;
      done += n;
    }
    return done;
  }
  // Skips the rest; the position after the block terminator, or the end of the
  // stream when the terminator is missing.
  int64_t Finish() {
    Take(nullptr, SIZE_MAX);
    return end_;
  }

private:
  bool Load() {
    base_ += int64_t(got_);
    at_ = 0;
    const int64_t got = stream_.Read(raw_.get(), int64_t(kChunk));
    got_ = got > 0 ? size_t(got) : 0;
    if (got_ == 0) {
      ended_ = true;
      end_ = base_;
    }
    return got_ > 0;
  }

  TStream& stream_;
  int64_t base_;  // stream position of raw_[0]
  std::unique_ptr<uint8_t[]> raw_;
  size_t at_ = 0, got_ = 0;
  size_t need_ = 0;  // bytes of the current sub-block still to come
  bool ended_ = false;
  int64_t end_ = 0;
};

// Codes least significant bit first, pulled from the sub-blocks as needed.
class TLSBBits {
public:
  explicit TLSBBits(TSubBlocks& blocks) : blocks_(blocks), buf_(new uint8_t[kChunk]) {
    p_ = end_ = buf_.get();
    Refill();
  }
  bool Next(int width, uint32_t& code) {
    if (count_ < width) {
      if (end_ - p_ < 8) Refill();
      if (end_ - p_ >= 8) {
        // Bits above count_ are either 0 or already the coming bits, so or-ing
        // a whole word in is safe.
        bits_ |= LoadLE64(p_) << count_;
        const int take = (63 - count_) >> 3;
        p_ += take;
        count_ += take * 8;
      } else {
        while (count_ <= 56 && p_ < end_) {
          bits_ |= uint64_t(*p_++) << count_;
          count_ += 8;
        }
        if (count_ < width) return false;
      }
    }
    code = uint32_t(bits_) & ((1u << width) - 1);
    bits_ >>= width;
    count_ -= width;
    return true;
  }

private:
  // Keeps the last bytes and fills up behind them.
  void Refill() {
    if (drained_) return;
    const size_t left = size_t(end_ - p_);
    std::memmove(buf_.get(), p_, left);
    const size_t got = blocks_.Take(buf_.get() + left, kChunk - left);
    drained_ = got < kChunk - left;
    p_ = buf_.get();
    end_ = p_ + left + got;
  }

  TSubBlocks& blocks_;
  std::unique_ptr<uint8_t[]> buf_;
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t bits_ = 0;
  int count_ = 0;
  bool drained_ = false;
};

// Puts rows decoded in the order of the four interlace passes back in place.
void Deinterlace(const uint8_t* passes, int32_t height, int32_t width, uint8_t* output) {
  static constexpr int kStart[4] = {0, 4, 2, 1};
  static constexpr int kStep[4] = {8, 8, 4, 2};
  const size_t w = size_t(width);
  for (int pass = 0; pass < 4; ++pass) {
    for (int64_t y = kStart[pass]; y < height; y += kStep[pass]) {
      std::memcpy(output + size_t(y) * w, passes, w);
      passes += w;
    }
  }
}

// Codes least significant bit first into 254-byte sub-blocks, written a few
// dozen blocks at a time.
class TGIFSink {
public:
  explicit TGIFSink(TStream& stream) : stream_(stream) { raw_.resize(kChunk + 8); }
  void Put(uint32_t code, int width) {
    acc_ |= uint64_t(code) << count_;
    count_ += width;
    if (count_ >= 32) {
      StoreLE32(raw_.data() + used_, uint32_t(acc_));
      used_ += 4;
      acc_ >>= 32;
      count_ -= 32;
      if (used_ >= kChunk - kChunk % kBlock) WriteBlocks(false);
    }
  }
  // The last bits, the last short sub-block and the block terminator.
  void Finish() {
    while (count_ > 0) {
      raw_[used_++] = uint8_t(acc_);
      acc_ >>= 8;
      count_ = std::max(count_ - 8, 0);
    }
    WriteBlocks(true);
    const uint8_t terminator = 0;
    stream_.Write(&terminator, 1);
  }

private:
  void WriteBlocks(bool all) {
    const size_t whole = used_ - used_ % kBlock;
    const size_t take = all ? used_ : whole;
    framed_.clear();
    for (size_t i = 0; i < take; i += kBlock) {
      const size_t n = std::min(kBlock, take - i);
      framed_.push_back(uint8_t(n));
      framed_.insert(framed_.end(), raw_.data() + i, raw_.data() + i + n);
    }
    if (!framed_.empty()) stream_.Write(framed_.data(), int64_t(framed_.size()));
    std::memmove(raw_.data(), raw_.data() + take, used_ - take);
    used_ -= take;
  }

  TStream& stream_;
  std::vector<uint8_t> raw_, framed_;
  size_t used_ = 0;
  uint64_t acc_ = 0;
  int count_ = 0;
};

TGIFLZWResult Decode(TStream& stream, int64_t start, int32_t height, int32_t width, bool interlaced,
                     uint8_t* output) {
  uint8_t minCodeSize = 0;
  // 0 leaves no literal but 0 and 12 or more leaves no room for codes; 9 to 11
  // decode as long as every literal met is a byte.
  if (stream.Read(&minCodeSize, 1) != 1 || minCodeSize < 1 || minCodeSize > 11) {
    stream.SetPosition(start);
    return {};
  }

  const size_t count = width > 0 && height > 0 && output ? size_t(width) * size_t(height) : 0;
  if (count > kMaxPixels) {  // the string table counts in 32 bits
    stream.SetPosition(start);
    return {};
  }
  std::vector<uint8_t> passes;
  uint8_t* target = output;
  if (interlaced && height > 1 && count > 0) {
    passes.resize(count);
    target = passes.data();
  }
  TSubBlocks blocks(stream);
  size_t written = 0;
  if (count > 0) {
    auto decoder = std::make_unique<TLZWDecoder>(LZWGIFFlavour(minCodeSize));
    TLSBBits bits(blocks);
    // Strings are copied from earlier pixels of the buffer itself; the last
    // one is cut at its end.
    if (decoder->Decode(bits, target, written, count, count) == lzBadCode) {
      stream.SetPosition(start);
      return {};
    }
    std::memset(target + written, 0, count - written);
    if (target != output) Deinterlace(target, height, width, output);
  }
  stream.SetPosition(blocks.Finish());
  return {true, int64_t(written)};
}

}  // namespace

TGIFLZWResult GIFLZWDecode(TStream& stream, int32_t height, int32_t width, bool interlaced,
                           uint8_t* output) {
  const int64_t start = stream.Position();
  try {
    return Decode(stream, start, height, width, interlaced, output);
  } catch (const std::bad_alloc&) {  // the data or the interlace buffer: nothing decoded
    stream.SetPosition(start);
    return {};
  }
}

void GIFLZWDecompress(TStream& stream, int32_t height, int32_t width, bool interlaced,
                      uint8_t* output) {
  GIFLZWDecode(stream, height, width, interlaced, output);
}

void GIFLZWCompress(TStream& stream, int32_t height, int32_t width, int32_t bitsPerPixel,
                    const uint8_t* indexes, bool interlaced) {
  const int minCodeSize = std::clamp(bitsPerPixel, 2, 8);
  const uint8_t first = uint8_t(minCodeSize);
  stream.Write(&first, 1);
  TGIFSink sink(stream);
  auto encoder = std::make_unique<TLZWEncoder<TGIFSink>>(LZWGIFFlavour(minCodeSize), sink);
  encoder->Start();
  if (indexes && width > 0 && height > 0) {
    const size_t w = size_t(width);
    if (!interlaced) {
      encoder->Encode(indexes, w * size_t(height));
    } else {
      static constexpr int kStart[4] = {0, 4, 2, 1};
      static constexpr int kStep[4] = {8, 8, 4, 2};
      for (int pass = 0; pass < 4; ++pass) {
        for (int64_t y = kStart[pass]; y < height; y += kStep[pass]) {
          encoder->Encode(indexes + size_t(y) * w, w);
        }
      }
    }
  }
  encoder->Finish();
  sink.Finish();
}
