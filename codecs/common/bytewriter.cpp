#include "codecs/common/bytewriter.h"

#include <algorithm>
#include <cstring>

#include "io/progress.h"
#include "platform/stream.h"

TByteWriter::TByteWriter(TStream& stream, TIOProgress& progress, TByteOrder order, int64_t bufferSize)
    : stream_(stream),
      progress_(progress),
      order_(order),
      capacity_(std::max<int64_t>(16, bufferSize)),
      buffer_(std::make_unique<uint8_t[]>(size_t(capacity_))),
      base_(stream.Position()) {}

TByteWriter::~TByteWriter() { Flush(); }

bool TByteWriter::Flush() {
  if (used_ > 0) {
    if (!failed_ && !SafeStreamWrite(stream_, progress_, buffer_.get(), used_)) failed_ = true;
    base_ += used_;
    used_ = 0;
  }
  return !failed_;
}

void TByteWriter::Put(const void* data, int64_t count) {
  if (count <= 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
  if (used_ + count <= capacity_) {
    std::memcpy(buffer_.get() + used_, p, size_t(count));
    used_ += count;
    return;
  }
  Flush();
  if (count >= capacity_) {
    if (!failed_ && !SafeStreamWrite(stream_, progress_, p, count)) failed_ = true;
    base_ += count;
    return;
  }
  std::memcpy(buffer_.get(), p, size_t(count));
  used_ = count;
}

void TByteWriter::Fill(uint8_t value, int64_t count) {
  while (count > 0) {
    if (used_ == capacity_) Flush();
    const int64_t n = std::min(count, capacity_ - used_);
    std::memset(buffer_.get() + used_, value, size_t(n));
    used_ += n;
    count -= n;
  }
}

void TByteWriter::Seek(int64_t offset) {
  Flush();
  stream_.SetPosition(offset);
  base_ = offset;
}
