// The BMP format's row of the format table (io/format.h).
#include <iterator>
#include <string>

#include "codecs/bmp/bmp.h"
#include "io/format.h"
#include "platform/stream.h"

namespace {

bool HasBMSignature(TStream& s) {
  uint8_t b[2] = {};
  return s.Read(b, 2) == 2 && b[0] == 'B' && b[1] == 'M';
}

std::string BMPDetail(const TIOParamsVals& p) {
  static const char* const kNames[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
  return p.BMPVersion < std::size(kNames) ? kNames[p.BMPVersion] : "";
}

}  // namespace

const TIOFormat& BMPFormat() {
  static const TIOFormat row{
      .FileType = ioBMP,
      .DisplayName = "Windows Bitmap",
      .RegistryExtensions = "BMP;DIB;RLE",
      .DialogPages = ppBMP,
      .Readable = true,
      .Writable = true,
      .Extensions = "bmp;dib;rle",
      .Routes = iorLoad | iorSave,
      .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
        BMPReadStream(s, b, p, pr, c.ParamsOnly, c.DataSize);
      },
      .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
        BMPWriteStream(s, b, p, pr);
      },
      .Signatures = {{50, 14, HasBMSignature}},
      .ViewDpiFile = true,
      .Detail = BMPDetail,
  };
  return row;
}
