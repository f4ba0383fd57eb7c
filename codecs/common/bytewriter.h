#pragma once
// TByteWriter: buffered writing of a file's bytes to a TStream through the checked
// write (SafeStreamWrite): a short write sets AbortFlag, and everything put after
// that is dropped, so a writer can put a whole row and test Failed() once.
//
//   TByteWriter w(stream, progress);
//   w.Put16LE(0x4D42);
//   w.Put32LE(fileSize);
//   w.Put(row, rowLength);
//   const int64_t at = w.Position();          // for a later fix-up:
//   w.Seek(headerAt); w.Put32LE(n); w.Seek(at);
//   w.Flush();                                // or let the destructor flush
//
// Positions are absolute stream offsets.
#include <cstdint>
#include <memory>

#include "codecs/common/bytereader.h"  // TByteOrder

class TStream;
struct TIOProgress;

class TByteWriter {
public:
  static constexpr int64_t kDefaultBufferSize = 64 * 1024;

  TByteWriter(TStream& stream, TIOProgress& progress, TByteOrder order = TByteOrder::boLittle,
              int64_t bufferSize = kDefaultBufferSize);
  ~TByteWriter();
  TByteWriter(const TByteWriter&) = delete;
  TByteWriter& operator=(const TByteWriter&) = delete;

  void SetOrder(TByteOrder order) { order_ = order; }
  TByteOrder Order() const { return order_; }

  void Put8(uint8_t v) {
    if (used_ < capacity_) buffer_[used_++] = v;
    else Put(&v, 1);
  }
  void Put16LE(uint32_t v) { uint8_t b[2]; PutLE16(b, v); Put(b, 2); }
  void Put16BE(uint32_t v) { uint8_t b[2]; PutBE16(b, v); Put(b, 2); }
  void Put32LE(uint32_t v) { uint8_t b[4]; PutLE32(b, v); Put(b, 4); }
  void Put32BE(uint32_t v) { uint8_t b[4]; PutBE32(b, v); Put(b, 4); }
  // In the order of SetOrder.
  void Put16(uint32_t v) { order_ == TByteOrder::boLittle ? Put16LE(v) : Put16BE(v); }
  void Put32(uint32_t v) { order_ == TByteOrder::boLittle ? Put32LE(v) : Put32BE(v); }
  void Put(const void* data, int64_t count);
  // count bytes of value (padding).
  void Fill(uint8_t value, int64_t count);

  // Writes what is buffered; false once any write came up short.
  bool Flush();
  // Flushes and moves the stream to an absolute offset (to fix up a header).
  void Seek(int64_t offset);
  int64_t Position() const { return base_ + used_; }
  // True once a write came up short (AbortFlag is set then).
  bool Failed() const { return failed_; }

private:
  TStream& stream_;
  TIOProgress& progress_;
  TByteOrder order_;
  int64_t capacity_;
  std::unique_ptr<uint8_t[]> buffer_;
  int64_t used_ = 0;
  int64_t base_ = 0;  // stream offset of buffer_[0]
  bool failed_ = false;
};
