// The AVI row until the video import lands: LoadFile reaches it by extension and
// fails with AbortFlag (IOImportUnavailable); detection already knows the RIFF
// signature. The import moves this row beside its code, sets Import to its own
// function and deletes this file. AVI has no registry entry.
#include <cstring>

#include "io/format.h"
#include "io/streamheader.h"
#include "platform/stream.h"

namespace {

bool HasAVISignature(TStream& s) {
  uint8_t b[12] = {};
  s.Read(b, 12);
  return std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "AVI ", 4) == 0;
}

}  // namespace

const TIOFormat& AVIFormat() {
  static const TIOFormat row{
      .FileType = ioAVI,
      .Extensions = "avi",
      .Routes = iorLoadByExtension,
      .Import = IOImportUnavailable,
      .Signatures = {{170, -1, HasAVISignature}},
  };
  return row;
}
