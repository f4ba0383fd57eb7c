#pragma once
// TByteReader: buffered, bounds-checked reading of a file's bytes from a TStream.
//
//   TByteReader r(stream);                  // starts at the stream's position
//   if (r.U16LE() != 0x4D42) ...            // explicit byte order
//   r.SetOrder(TByteOrder::boBig);          // or one chosen at run time (TIFF "II"/"MM")
//   uint32_t offset = r.U32();
//   {
//     TByteReader::TWindow chunk(r, length); // reads stop at the chunk's end...
//     ParseChunk(r);
//   }                                        // ...and the reader moves on to it
//   if (r.Truncated()) progress.Abort();
//
// Reads never throw and never go past the end of the stream or of the innermost
// window: what is missing reads as 0 and sets the sticky Truncated() state, so a
// decoder can read a whole header and test once. Positions are absolute stream
// offsets. The stream is given back, positioned right after the bytes consumed,
// by Release() or the destructor; a container hands it to an embedded codec that
// way, and reading again afterwards carries on from wherever that codec left it.
#include <cstdint>
#include <memory>

#include "codecs/common/bytes.h"

class TStream;

enum class TByteOrder : uint8_t { boLittle, boBig };

class TByteReader {
public:
  static constexpr int64_t kDefaultBufferSize = 64 * 1024;

  explicit TByteReader(TStream& stream, TByteOrder order = TByteOrder::boLittle,
                       int64_t bufferSize = kDefaultBufferSize);
  ~TByteReader();
  TByteReader(const TByteReader&) = delete;
  TByteReader& operator=(const TByteReader&) = delete;

  void SetOrder(TByteOrder order) { order_ = order; }
  TByteOrder Order() const { return order_; }

  uint8_t U8() { return cur_ < end_ ? *cur_++ : SlowU8(); }
  int8_t S8() { return int8_t(U8()); }
  uint16_t U16LE() { return Fast(2) ? GetLE16(Take(2)) : GetLE16(SlowBytes(2)); }
  uint16_t U16BE() { return Fast(2) ? GetBE16(Take(2)) : GetBE16(SlowBytes(2)); }
  uint32_t U32LE() { return Fast(4) ? GetLE32(Take(4)) : GetLE32(SlowBytes(4)); }
  uint32_t U32BE() { return Fast(4) ? GetBE32(Take(4)) : GetBE32(SlowBytes(4)); }
  // In the order of SetOrder.
  uint16_t U16() { return order_ == TByteOrder::boLittle ? U16LE() : U16BE(); }
  uint32_t U32() { return order_ == TByteOrder::boLittle ? U32LE() : U32BE(); }
  int16_t S16() { return int16_t(U16()); }
  int32_t S32() { return int32_t(U32()); }
  int16_t S16LE() { return int16_t(U16LE()); }
  int32_t S32LE() { return int32_t(U32LE()); }

  // Copies up to count bytes and returns how many there were; a short read
  // fills the rest of the count with zeros and sets Truncated().
  int64_t Read(void* buffer, int64_t count);
  // Moves count bytes on; false (Truncated, at the end) when there are fewer.
  bool Skip(int64_t count);
  // Moves to an absolute stream offset; false (Truncated, at the end) when it
  // lies past the end or the window, or is negative (position unchanged).
  bool Seek(int64_t offset);

  int64_t Position() const;
  // Bytes left before the end of the innermost window (or of the stream).
  int64_t Remaining() const;
  int64_t StreamSize() const { return size_; }
  // True once a read, skip or seek ran past the end; stays true.
  bool Truncated() const { return truncated_; }

  // Positions the stream right after the bytes consumed and drops the buffer.
  void Release();

  // Limits reading to count bytes from the current position (less when the
  // stream or an outer window ends sooner). On leaving scope the reader moves
  // to the window's end, skipping what was not read, and the outer limit holds
  // again.
  class TWindow {
  public:
    TWindow(TByteReader& reader, int64_t count);
    ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;
    // Absolute offset of the window's end.
    int64_t End() const { return end_; }

  private:
    TByteReader& reader_;
    int64_t outer_;
    int64_t end_;
  };

private:
  bool Fast(int n) const { return end_ - cur_ >= n; }
  const uint8_t* Take(int n) {
    const uint8_t* p = cur_;
    cur_ += n;
    return p;
  }
  uint8_t SlowU8();
  const uint8_t* SlowBytes(int n);
  // Refills the buffer from the absolute offset; false when nothing is left.
  bool Fill(int64_t at);
  // Empties the buffer with the position at the absolute offset.
  void Reset(int64_t at);
  void SetLimit(int64_t limit);
  void Resume();

  TStream& stream_;
  TByteOrder order_;
  int64_t capacity_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t bufferStart_ = 0;   // stream offset of buffer_[0]
  const uint8_t* cur_ = nullptr;
  const uint8_t* end_ = nullptr;   // readable end: the data's end or the limit, the nearer
  const uint8_t* data_ = nullptr;  // end of the bytes in the buffer
  int64_t size_ = 0;               // the stream's size
  int64_t limit_ = 0;              // end of the innermost window, or size_
  int64_t streamPos_ = 0;          // where the stream itself is
  uint8_t scratch_[8] = {};
  bool truncated_ = false;
  bool released_ = false;
};
