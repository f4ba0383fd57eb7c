// The JP2 and J2K rows until the JPEG 2000 codec lands: their dispatch and load
// and save rules already hold; loads and saves fail with AbortFlag. The codec
// moves these rows into codecs/jpeg2000/, fills Read, Write and Content.Test
// (IsJP2Stream rank 150, IsJ2KStream rank 160) and deletes this file.
#include <iterator>

#include "io/format.h"

namespace {

std::string J2KDetail(const TIOParamsVals& p) {
  static const char* const kNames[] = {" Gray level", " RGB", " YCbCr"};
  return p.J2KColorSpace < std::size(kNames) ? kNames[p.J2KColorSpace] : "";
}

}  // namespace

const TIOFormat& JP2Format() {
  static const TIOFormat row{
      .FileType = ioJP2,
      .DisplayName = "JPEG2000",
      .RegistryExtensions = "JP2",
      .DialogPages = ppJ2000,
      .Readable = true,
      .Writable = true,
      .Extensions = "jp2",
      .Routes = iorLoad | iorSave,
      .Content = {150, -1, nullptr},
      .ViewDpiFile = true,
      .ViewDpiStream = true,
      .RGBOrMono = true,
      .Detail = J2KDetail,
  };
  return row;
}

const TIOFormat& J2KFormat() {
  static const TIOFormat row{
      .FileType = ioJ2K,
      .DisplayName = "JPEG2000 Code Stream",
      .RegistryExtensions = "J2K;JPC;J2C",
      .DialogPages = ppJ2000,
      .Readable = true,
      .Writable = true,
      .Extensions = "j2k;jpc;j2c",
      .Routes = iorLoad | iorSave,
      .Content = {160, -1, nullptr},
      .ViewDpiFile = true,
      .ViewDpiStream = true,
      .RGBOrMono = true,
      .Detail = J2KDetail,
  };
  return row;
}
