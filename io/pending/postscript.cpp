// The PostScript and PDF rows until their writers land: SaveFile and SaveStream
// reach them and fail with AbortFlag. The writers move these rows into
// codecs/pdf/ (or beside the PostScript writer), fill Write and delete this file.
#include "io/format.h"

const TIOFormat& PSFormat() {
  static const TIOFormat row{
      .FileType = ioPS,
      .DisplayName = "PostScript Level 2",
      .RegistryExtensions = "PS;EPS",
      .Writable = true,
      .Extensions = "ps;eps",
      .Routes = iorSave,
      .RGBOrMono = true,
  };
  return row;
}

const TIOFormat& PDFFormat() {
  static const TIOFormat row{
      .FileType = ioPDF,
      .DisplayName = "Adobe PDF",
      .RegistryExtensions = "PDF",
      .Writable = true,
      .Extensions = "pdf",
      .Routes = iorSave,
      .RGBOrMono = true,
  };
  return row;
}
