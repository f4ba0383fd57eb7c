// The GIF row until the GIF codec lands: its dispatch, detection and load rules
// already hold; loads and saves fail with AbortFlag. The codec moves this row into
// codecs/gif/ and fills Read (frame composition included) and Write, then deletes
// this file.
#include "io/format.h"
#include "io/streamheader.h"
#include "platform/stream.h"

namespace {

bool HasGIFSignature(TStream& s) { return IOStreamStartsWith(s, "GIF", 3); }

std::string GIFDetail(const TIOParamsVals& p) { return p.GIFInterlaced ? " Interlaced" : ""; }

}  // namespace

const TIOFormat& GIFFormat() {
  static const TIOFormat row{
      .FileType = ioGIF,
      .DisplayName = "CompuServe Bitmap",
      .RegistryExtensions = "GIF",
      .DialogPages = ppGIF,
      .Readable = true,
      .Writable = true,
      // The registry's marks follow the process-wide LZW hooks.
      .ReadMark = [] { return DefaultGIFDecompressor != nullptr; },
      .WriteMark = [] { return DefaultGIFCompressor != nullptr; },
      .Extensions = "gif",
      .Routes = iorLoad | iorSave,
      .Signatures = {{20, 13, HasGIFSignature}},
      .AlphaFromMask = true,
      .Detail = GIFDetail,
  };
  return row;
}
