// The PCX row until the PCX codec lands: its dispatch, detection, load rules and
// stream headers already hold; loads and saves fail with AbortFlag. The codec
// moves this row into codecs/pcx.cpp, fills Read and Write and deletes this file.
#include "io/format.h"
#include "io/streamheader.h"
#include "platform/stream.h"

namespace {

bool HasPCX2Header(TStream& s) { return IOStreamTagIs(s, "PCX2"); }
bool HasOldPCXHeader(TStream& s) { return IOStreamStartsWith(s, "PCX", 4); }

// A PCX file: manufacturer byte 10 and a version of at most 5.
bool HasPCXFileHeader(TStream& s) {
  uint8_t b[2] = {};
  s.Read(b, 2);
  return b[0] == 10 && b[1] <= 5;
}

std::string PCXDetail(const TIOParamsVals& p) { return p.PCXCompression == 0 ? " Uncompressed" : ""; }

}  // namespace

const TIOFormat& PCXFormat() {
  static const TIOFormat row{
      .FileType = ioPCX,
      .DisplayName = "PaintBrush",
      .RegistryExtensions = "PCX",
      .DialogPages = ppPCX,
      .Readable = true,
      .Writable = true,
      .Extensions = "pcx",
      .Routes = iorLoad | iorSave,
      .Signatures = {{30, 12, HasPCX2Header}, {40, 4, HasOldPCXHeader}, {60, 128, HasPCXFileHeader}},
      .ViewDpiFile = true,
      .ViewDpiStream = true,
      .RGBOrMono = true,
      .StreamHeader = {.Tag = "PCX2",
                       .OldTag = "PCX",
                       .LengthIsDataSize = true,
                       .LeaveAfterBlock = true,
                       .WriteOnlyOnSuccess = true},
      .Detail = PCXDetail,
  };
  return row;
}
