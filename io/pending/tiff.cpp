// The TIFF row until the TIFF codec lands: its dispatch, detection, load rules and
// stream header already hold; loads and saves fail with AbortFlag. The codec moves
// this row into codecs/tiff/ and fills Read and Write (then deletes this file).
#include <iterator>

#include "io/format.h"
#include "io/streamheader.h"
#include "platform/stream.h"

namespace {

bool HasTIFFHeader(TStream& s) { return IOStreamTagIs(s, "TIFF"); }

bool HasByteOrderMark(TStream& s) {
  uint8_t b[2] = {};
  s.Read(b, 2);
  return (b[0] == 'I' && b[1] == 'I') || (b[0] == 'M' && b[1] == 'M');
}

std::string TIFFDetail(const TIOParamsVals& p) {
  static const char* const kNames[] = {" Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D",
                                       " Group 4 Fax",  " LZW",     " Jpeg v.5",    " Jpeg",
                                       " PackBits RLE"};
  return p.TIFFCompression < std::size(kNames) ? kNames[p.TIFFCompression] : "";
}

}  // namespace

const TIOFormat& TIFFFormat() {
  static const TIOFormat row{
      .FileType = ioTIFF,
      .DisplayName = "TIFF Bitmap",
      .RegistryExtensions = "TIF;TIFF;FAX;G3N;G3F",
      .DialogPages = ppTIFF,
      .Readable = true,
      .Writable = true,
      .Extensions = "tif;tiff;fax;g3n;g3f",
      .Routes = iorLoad | iorSave,
      .Signatures = {{70, 12, HasTIFFHeader}, {80, 8, HasByteOrderMark}},
      .AlphaFromMask = true,
      .ViewDpiFile = true,
      .ViewDpiStream = true,
      .StreamHeader = {.Tag = "TIFF", .LeaveAfterBlock = true},
      .Detail = TIFFDetail,
  };
  return row;
}
