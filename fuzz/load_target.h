#pragma once
// The body of the load fuzz target, shared by libFuzzer, the replay driver and
// the regression test: the first byte picks the format code (0 lets content
// detection decide), the rest is the file.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "image/bitmap.h"
#include "io/controller.h"
#include "platform/stream.h"

inline void RunLoadTarget(const uint8_t* data, size_t size) {
  if (size < 1) return;
  static const int32_t kCodes[] = {0, ioBMP, ioICO, ioCUR, ioPNG, ioJPEG};
  const int32_t code = kCodes[data[0] % (sizeof kCodes / sizeof kCodes[0])];
  TMemoryStream stream(std::vector<uint8_t>(data + 1, data + size));
  TTalvexIO io;
  // Keep hostile sizes cheap to refuse: a fuzzer's memory is small.
  io.Bitmap()->MemoryThreshold = int64_t(1) << 30;
  try {
    if (code == 0)
      io.LoadStream(stream);
    else
      io.LoadStreamAs(stream, code);
  } catch (const std::exception&) {
    // Errors the controller raises are a clean failure too.
  }
}
