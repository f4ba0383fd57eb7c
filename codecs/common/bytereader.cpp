#include "codecs/common/bytereader.h"

#include <algorithm>
#include <cstring>

#include "platform/stream.h"

TByteReader::TByteReader(TStream& stream, TByteOrder order, int64_t bufferSize)
    : stream_(stream),
      order_(order),
      capacity_(std::max<int64_t>(16, bufferSize)),
      buffer_(std::make_unique<uint8_t[]>(size_t(capacity_))) {
  size_ = std::max<int64_t>(0, stream_.Size());
  limit_ = size_;
  streamPos_ = stream_.Position();
  Reset(std::max<int64_t>(0, streamPos_));
}

TByteReader::~TByteReader() { Release(); }

void TByteReader::Reset(int64_t at) {
  bufferStart_ = at;
  cur_ = end_ = data_ = buffer_.get();
}

void TByteReader::SetLimit(int64_t limit) {
  limit_ = limit;
  const int64_t readable = std::clamp<int64_t>(limit_ - bufferStart_, 0, data_ - buffer_.get());
  end_ = buffer_.get() + readable;
  if (cur_ > end_) end_ = cur_;  // only when the limit moved behind the position
}

void TByteReader::Resume() {
  // Someone else read from the stream: carry on from where it is now.
  released_ = false;
  streamPos_ = stream_.Position();
  Reset(std::max<int64_t>(0, streamPos_));
}

int64_t TByteReader::Position() const {
  if (released_) return stream_.Position();
  return bufferStart_ + (cur_ - buffer_.get());
}

int64_t TByteReader::Remaining() const { return std::max<int64_t>(0, limit_ - Position()); }

bool TByteReader::Fill(int64_t at) {
  if (released_) Resume();
  Reset(at);
  if (at >= limit_) return false;
  if (streamPos_ != at) {
    stream_.SetPosition(at);
    streamPos_ = at;
  }
  const int64_t want = std::min(capacity_, size_ - at);
  const int64_t got = want > 0 ? std::max<int64_t>(0, stream_.Read(buffer_.get(), want)) : 0;
  streamPos_ += got;
  data_ = buffer_.get() + got;
  SetLimit(limit_);
  return cur_ < end_;
}

uint8_t TByteReader::SlowU8() {
  if (!Fill(Position())) {
    truncated_ = true;
    return 0;
  }
  return *cur_++;
}

const uint8_t* TByteReader::SlowBytes(int n) {
  Read(scratch_, n);
  return scratch_;
}

int64_t TByteReader::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (released_) Resume();
  auto* out = static_cast<uint8_t*>(buffer);
  int64_t done = 0;
  while (done < count) {
    if (cur_ < end_) {
      const int64_t n = std::min<int64_t>(count - done, end_ - cur_);
      std::memcpy(out + done, cur_, size_t(n));
      cur_ += n;
      done += n;
      continue;
    }
    const int64_t at = Position();
    const int64_t left = std::min(count - done, limit_ - at);
    if (left <= 0) break;
    if (left >= capacity_ / 2) {
      // Big blocks go straight from the stream to the caller.
      if (streamPos_ != at) {
        stream_.SetPosition(at);
        streamPos_ = at;
      }
      const int64_t got = std::max<int64_t>(0, stream_.Read(out + done, left));
      streamPos_ += got;
      done += got;
      Reset(at + got);
      SetLimit(limit_);
      if (got < left) break;
    } else if (!Fill(at)) {
      break;
    }
  }
  if (done < count) {
    std::memset(out + done, 0, size_t(count - done));
    truncated_ = true;
  }
  return done;
}

bool TByteReader::Skip(int64_t count) {
  if (count < 0) {
    truncated_ = true;
    return false;
  }
  return Seek(Position() + count);
}

bool TByteReader::Seek(int64_t offset) {
  if (released_) Resume();
  if (offset < 0) {
    truncated_ = true;
    return false;
  }
  bool ok = true;
  if (offset > limit_) {
    offset = std::max(limit_, Position());
    truncated_ = true;
    ok = false;
  }
  const int64_t inBuffer = offset - bufferStart_;
  if (inBuffer >= 0 && inBuffer <= data_ - buffer_.get()) {
    cur_ = buffer_.get() + inBuffer;
    if (cur_ > end_) end_ = cur_;
  } else {
    Reset(offset);
  }
  SetLimit(limit_);
  return ok;
}

void TByteReader::Release() {
  if (released_) return;
  const int64_t at = Position();
  if (streamPos_ != at) stream_.SetPosition(at);
  released_ = true;
  Reset(at);
}

TByteReader::TWindow::TWindow(TByteReader& reader, int64_t count)
    : reader_(reader), outer_(reader.limit_) {
  const int64_t at = reader_.Position();
  end_ = std::min(outer_, at + std::max<int64_t>(0, count));
  if (end_ < at) end_ = at;
  reader_.SetLimit(end_);
}

TByteReader::TWindow::~TWindow() {
  reader_.SetLimit(outer_);
  if (reader_.Position() < end_) reader_.Seek(end_);
}
