// The WBMP row until the WBMP codec lands: its dispatch and load and save rules
// already hold; loads and saves fail with AbortFlag. The codec moves this row into
// codecs/wbmp.cpp, fills Read and Write and deletes this file. Detection does not
// look for WBMP: the format has no signature.
#include "io/format.h"

const TIOFormat& WBMPFormat() {
  static const TIOFormat row{
      .FileType = ioWBMP,
      .DisplayName = "Wireless Bitmap",
      .RegistryExtensions = "WBMP",
      .Readable = true,
      .Writable = true,
      .Extensions = "wbmp",
      .Routes = iorLoad | iorSave,
      .AutoAdjust = false,
      .RGBOrMono = true,
  };
  return row;
}
