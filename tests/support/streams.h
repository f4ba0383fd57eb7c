#pragma once
// Streams for tests of writers: one that fills up like a full disk.
#include <algorithm>
#include <cstdint>

#include "platform/stream.h"

// Takes at most `room` bytes in all, like a full disk.
class TShortStream : public TMemoryStream {
public:
  explicit TShortStream(int64_t room) : room_(room) {}
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = std::min(count, room_ - Size());
    return n > 0 ? TMemoryStream::Write(buffer, n) : 0;
  }

private:
  int64_t room_;
};
