#include "codecs/tiff/tiff_lzw.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "codecs/common/bitload.h"
#include "codecs/common/lzw.h"
#include "platform/stream.h"

namespace {

constexpr size_t kFlushBytes = 64 * 1024;
constexpr int32_t kPiece = 16 * 1024;
constexpr size_t kCompactBytes = 32 * 1024;
constexpr size_t kMaxWindow = size_t(1) << 31;

// Codes most significant bit first from one strip.
class TMSBBits {
public:
  TMSBBits(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
  bool Next(int width, uint32_t& code) {
    if (count_ < width) {
      if (end_ - p_ >= 8) {
        // Bits below the valid ones are 0 or already the coming bits.
        buf_ |= LoadBE64(p_) >> count_;
        const int take = (63 - count_) >> 3;
        p_ += take;
        count_ += take * 8;
      } else {
        while (count_ <= 56 && p_ < end_) {
          buf_ |= uint64_t(*p_++) << (56 - count_);
          count_ += 8;
        }
        if (count_ < width) return false;
      }
    }
    code = uint32_t(buf_ >> (64 - width));
    buf_ <<= width;
    count_ -= width;
    return true;
  }

private:
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t buf_ = 0;
  int count_ = 0;
};

// Codes most significant bit first into a byte buffer.
class TMSBSink {
public:
  TMSBSink() { bytes_.resize(kFlushBytes + 16); }
  void Put(uint32_t code, int width) {
    acc_ = (acc_ << width) | code;
    count_ += width;
    if (count_ >= 32) {
      count_ -= 32;
      StoreBE32(bytes_.data() + used_, uint32_t(acc_ >> count_));
      used_ += 4;
    }
  }
  size_t Buffered() const { return used_; }
  // Pads the last byte with 0 bits when asked to.
  void Flush(TStream& stream, bool last) {
    if (last) {
      while (count_ > 0) {
        const int shift = count_ - 8;
        bytes_[used_++] = uint8_t(shift >= 0 ? acc_ >> shift : acc_ << -shift);
        count_ = shift > 0 ? shift : 0;
      }
    }
    if (used_ > 0) stream.Write(bytes_.data(), int64_t(used_));
    used_ = 0;
  }

private:
  std::vector<uint8_t> bytes_;
  size_t used_ = 0;
  uint64_t acc_ = 0;
  int count_ = 0;
};

// A strip's rows are decoded into a window that keeps what later codes copy
// from: the bytes since the last clear code (up to where the table filled,
// once it is full) and the row under way. The dead part in front is dropped
// when it grows large.
struct TTIFFLZWDecodeState final : TLZWState {
  TTIFFLZWDecodeState(const uint8_t* d, int64_t n)
      : data(d), size(n), bits(d, size_t(n)), decoder(LZWTIFFFlavour()) {}
  const uint8_t* data;
  int64_t size;
  TMSBBits bits;
  TLZWDecoder decoder;
  std::unique_ptr<uint8_t[]> window;  // not cleared: only decoded bytes are ever read
  size_t capacity = 0;
  size_t rowStart = 0, pos = 0, lastRow = 0;
  bool over = false;

  void MakeRoom(size_t rowLength);
};

void TTIFFLZWDecodeState::MakeRoom(size_t rowLength) {
  rowStart += lastRow;
  lastRow = 0;
  uint8_t* w = window.get();
  const size_t threshold = std::max(kCompactBytes, 2 * rowLength);
  const size_t dead = std::min(decoder.LiveFrom(), rowStart);
  if (dead >= threshold) {
    std::memmove(w, w + dead, pos - dead);
    decoder.Rebase(dead);
    rowStart -= dead;
    pos -= dead;
  }
  if (decoder.Full() && rowStart > decoder.FullAt() && rowStart - decoder.FullAt() >= threshold) {
    // A full table copies from nothing after FullAt(): keep the row under way only.
    const size_t gap = rowStart - decoder.FullAt();
    std::memmove(w + decoder.FullAt(), w + rowStart, pos - rowStart);
    rowStart -= gap;
    pos -= gap;
  }
  const size_t need = rowStart + rowLength + kLZWStringSlack;
  if (capacity < need) {
    const size_t grown = std::max(need + need / 2, 2 * threshold + rowLength + kLZWStringSlack);
    std::unique_ptr<uint8_t[]> bigger(new uint8_t[grown]);
    if (pos > 0) std::memcpy(bigger.get(), w, pos);
    window = std::move(bigger);
    capacity = grown;
  }
}

struct TTIFFLZWEncodeState final : TLZWState {
  TTIFFLZWEncodeState() : encoder(LZWTIFFFlavour(), sink) { encoder.Start(); }
  TMSBSink sink;
  TLZWEncoder<TMSBSink> encoder;
};

}  // namespace

const uint8_t* TIFFLZWDecompress(const uint8_t* data, int64_t dataSize, int32_t rowLength,
                                 std::unique_ptr<TLZWState>& state) {
  if (!data) {
    state.reset();
    return nullptr;
  }
  if (rowLength <= 0 || dataSize < 0) return nullptr;
  auto* s = dynamic_cast<TTIFFLZWDecodeState*>(state.get());
  if (!s || s->data != data || s->size != dataSize) {
    auto fresh = std::make_unique<TTIFFLZWDecodeState>(data, dataSize);
    s = fresh.get();
    state = std::move(fresh);
  }
  if (s->over) return nullptr;
  const size_t length = size_t(rowLength);
  try {
    s->MakeRoom(length);
  } catch (const std::bad_alloc&) {
    s->over = true;
    return nullptr;
  }
  if (s->capacity > kMaxWindow) {  // the string table counts in 32 bits
    s->over = true;
    return nullptr;
  }
  const size_t end = s->rowStart + length;
  const TLZWStatus status = s->decoder.Decode(s->bits, s->window.get(), s->pos, end, s->capacity);
  uint8_t* row = s->window.get() + s->rowStart;
  s->lastRow = length;
  if (status == lzFull) return row;
  s->over = true;
  if (status == lzBadCode || s->pos <= s->rowStart) return nullptr;
  std::memset(s->window.get() + s->pos, 0, end - s->pos);
  return row;
}

void TIFFLZWCompress(const uint8_t* row, int32_t count, TStream& stream,
                     std::unique_ptr<TLZWState>& state) {
  auto* s = dynamic_cast<TTIFFLZWEncodeState*>(state.get());
  if (!s) {
    auto fresh = std::make_unique<TTIFFLZWEncodeState>();
    s = fresh.get();
    state = std::move(fresh);
  }
  if (!row) {
    s->encoder.Finish();
    s->sink.Flush(stream, true);
    state.reset();
    return;
  }
  // A byte becomes at most one 12-bit code: pieces of kPiece bytes always fit
  // behind less than half a buffer.
  for (int32_t done = 0; done < count; done += kPiece) {
    s->encoder.Encode(row + done, size_t(std::min(kPiece, count - done)));
    if (s->sink.Buffered() >= kFlushBytes / 2) s->sink.Flush(stream, false);
  }
}
