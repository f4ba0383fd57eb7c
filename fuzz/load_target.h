#pragma once
// The body of the load fuzz target, shared by libFuzzer, the replay driver and
// the regression test: the first byte is the file-type code of the reader to
// run (a code without a reader in the format table lets content detection
// decide), the rest is the file. Every reader the table gains is fed at once.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

#include "image/bitmap.h"
#include "io/controller.h"
#include "io/formattable.h"
#include "platform/stream.h"

inline void RunLoadTarget(const uint8_t* data, size_t size) {
  if (size < 1) return;
  static const std::vector<int32_t> kCodes = IOReadableCodes();
  const int32_t wanted = data[0];
  const int32_t code = std::find(kCodes.begin(), kCodes.end(), wanted) != kCodes.end() ? wanted : 0;
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
