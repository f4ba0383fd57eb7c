// The WMF and EMF rows until the metafile import lands: LoadFile and LoadFileAs
// reach them and fail with AbortFlag (IOImportUnavailable). The import moves
// these rows beside its code, sets Import to its own function and deletes this file.
#include "io/format.h"

const TIOFormat& WMFFormat() {
  static const TIOFormat row{
      .FileType = ioWMF,
      .DisplayName = "Windows Metafile",
      .RegistryExtensions = "WMF",
      .Readable = true,
      .Extensions = "wmf",
      .Routes = iorLoadByExtension | iorLoadByCode,
      .Import = IOImportUnavailable,
  };
  return row;
}

const TIOFormat& EMFFormat() {
  static const TIOFormat row{
      .FileType = ioEMF,
      .DisplayName = "Enhanced Windows Metafile",
      .RegistryExtensions = "EMF",
      .Readable = true,
      .Extensions = "emf",
      .Routes = iorLoadByExtension | iorLoadByCode,
      .Import = IOImportUnavailable,
  };
  return row;
}
