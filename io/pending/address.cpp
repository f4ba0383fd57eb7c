// The address row until the address import lands: LoadFile sends every name that
// begins "http://" (any case) here, and it fails with AbortFlag
// (IOImportUnavailable). The import moves this row beside its code, sets Import
// to its own function (which ends by handing the bytes to LoadStream) and deletes
// this file.
#include "io/format.h"

const TIOFormat& AddressFormat() {
  static const TIOFormat row{
      .FileType = ioUnknown,
      .NamePrefix = "http://",
      .Import = IOImportUnavailable,
  };
  return row;
}
