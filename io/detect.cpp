// Stream and file detection of TTalvexIO, over the format table: the registry's
// content tests first, then every row's signatures and content tests in the
// order of their ranks (io/format.h lists the ranks in use).
#include <algorithm>
#include <cctype>
#include <vector>

#include "io/controller.h"
#include "io/formattable.h"
#include "io/registry.h"
#include "platform/files.h"
#include "platform/stream.h"

namespace {

struct TProbe {
  TIOSignature signature;
  int32_t code;
};

// Every row's signatures and content test, by rank.
std::vector<TProbe> Probes() {
  std::vector<TProbe> probes;
  for (const TIOFormat& row : IOFormatRows()) {
    for (const TIOSignature& s : row.Signatures)
      if (s.Test) probes.push_back({s, row.FileType});
    if (row.Content.Test) probes.push_back({row.Content, row.FileType});
  }
  std::stable_sort(probes.begin(), probes.end(),
                   [](const TProbe& a, const TProbe& b) { return a.signature.Rank < b.signature.Rank; });
  return probes;
}

}  // namespace

int32_t TTalvexIO::DetectStreamFormat(TStream& stream) {
  const int64_t start = stream.Position();
  int32_t code = ioUnknown;
  try {
    const int64_t size = stream.Size();
    auto test = [&](TIOFormatTest fn) {
      stream.SetPosition(start);
      const bool yes = fn(stream);
      stream.SetPosition(start);
      return yes;
    };
    for (const auto& f : IOFileFormats()) {
      if (f.TryStream && test(f.TryStream)) {
        code = f.FileType;
        break;
      }
    }
    if (code == ioUnknown) {
      for (const TProbe& p : Probes()) {
        // Size limits compare the stream's whole size, not what follows the position.
        if (p.signature.MoreThan >= 0 && size <= p.signature.MoreThan) continue;
        if (test(p.signature.Test)) {
          code = p.code;
          break;
        }
      }
    }
  } catch (...) {
    code = ioUnknown;
  }
  try {
    stream.SetPosition(start);
  } catch (...) {
  }
  return code;
}

int32_t TTalvexIO::DetectFileFormat(const std::string& fileName, bool checkExtension) {
  int32_t code = ioUnknown;
  try {
    TFileStream f(fileName, TFileMode::fmOpenRead);
    code = DetectStreamFormat(f);
  } catch (...) {
    return ioUnknown;
  }
  if (checkExtension && code != ioUnknown) {
    std::string ext = ExtractFileExt(fileName);
    if (!ext.empty()) ext.erase(0, 1);
    const TIOFileFormatInfo* entry = IOFindFormatByExtension(ext);
    if (!entry) return ioUnknown;
    // Formats that share a layout (icons and cursors) are told apart by the extension.
    const TIOFormat* detected = IOFormatRow(code);
    if (entry->FileType == code || (detected && detected->SameLayoutAs == entry->FileType)) return entry->FileType;
    return ioUnknown;
  }
  return code;
}
