// The PBM/PGM/PPM row until the PXM codec lands: its dispatch and save rules
// already hold; loads and saves fail with AbortFlag. The codec moves this row into
// codecs/pxm.cpp, fills Read, Write and Content.Test (IsPXMStream, rank 130) and
// deletes this file.
#include "io/format.h"

const TIOFormat& PXMFormat() {
  static const TIOFormat row{
      .FileType = ioPXM,
      .DisplayName = "Portable Pixmap, GrayMap, BitMap",
      .RegistryExtensions = "PXM;PPM;PGM;PBM",
      .Readable = true,
      .Writable = true,
      .Extensions = "pxm;ppm;pgm;pbm",
      .Routes = iorLoad | iorSave,
      .Content = {130, -1, nullptr},
      .RGBOrMono = true,
  };
  return row;
}
