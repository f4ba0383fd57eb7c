// The TGA row until the TGA codec lands: its dispatch and load and save rules
// already hold; loads and saves fail with AbortFlag. The codec moves this row into
// codecs/tga.cpp, fills Read, Write and Content.Test (IsTGAStream, rank 120) and
// deletes this file.
#include "io/format.h"

namespace {

std::string TGADetail(const TIOParamsVals& p) { return p.TGACompressed ? " Compressed" : " Uncompressed"; }

}  // namespace

const TIOFormat& TGAFormat() {
  static const TIOFormat row{
      .FileType = ioTGA,
      .DisplayName = "Targa Bitmap",
      .RegistryExtensions = "TGA;TARGA;VDA;ICB;VST;PIX",
      .DialogPages = ppTGA,
      .Readable = true,
      .Writable = true,
      .Extensions = "tga;targa;vda;icb;vst;win",
      .Routes = iorLoad | iorSave,
      .Content = {120, -1, nullptr},
      .AlphaFromMask = true,
      .ViewDpiFile = true,
      .RGBOrMono = true,
      .WantsMask = true,
      .Detail = TGADetail,
  };
  return row;
}
