#include "io/formattable.h"

#include <algorithm>
#include <cctype>

// ---- the rows, one line each, defined beside their codecs ----
const TIOFormat& TIFFFormat();     // io/pending/tiff.cpp until the TIFF codec lands
const TIOFormat& GIFFormat();      // io/pending/gif.cpp until the GIF codec lands
const TIOFormat& JPEGFormat();     // codecs/jpeg.cpp
const TIOFormat& PCXFormat();      // io/pending/pcx.cpp until the PCX codec lands
const TIOFormat& BMPFormat();      // codecs/bmp/bmpformat.cpp
const TIOFormat& ICOFormat();      // codecs/ico/icoformat.cpp
const TIOFormat& CURFormat();      // codecs/ico/icoformat.cpp
const TIOFormat& PNGFormat();      // codecs/png.cpp
const TIOFormat& WMFFormat();      // io/pending/metafile.cpp until the metafile import lands
const TIOFormat& EMFFormat();      // io/pending/metafile.cpp until the metafile import lands
const TIOFormat& TGAFormat();      // io/pending/tga.cpp until the TGA codec lands
const TIOFormat& PXMFormat();      // io/pending/pxm.cpp until the PXM codec lands
const TIOFormat& WBMPFormat();     // io/pending/wbmp.cpp until the WBMP codec lands
const TIOFormat& JP2Format();      // io/pending/jpeg2000.cpp until the JPEG 2000 codec lands
const TIOFormat& J2KFormat();      // io/pending/jpeg2000.cpp until the JPEG 2000 codec lands
const TIOFormat& PSFormat();       // io/pending/postscript.cpp until the PostScript writer lands
const TIOFormat& PDFFormat();      // io/pending/postscript.cpp until the PDF writer lands
const TIOFormat& AVIFormat();      // io/pending/video.cpp until the video import lands
const TIOFormat& AddressFormat();  // io/pending/address.cpp until the address import lands

namespace {

std::vector<TIOFormat> BuiltinRows() {
  return {TIFFFormat(), GIFFormat(), JPEGFormat(), PCXFormat(),  BMPFormat(),  ICOFormat(),
          CURFormat(),  PNGFormat(), WMFFormat(),  EMFFormat(),  TGAFormat(),  PXMFormat(),
          WBMPFormat(), JP2Format(), J2KFormat(),  PSFormat(),   PDFFormat(),  AVIFormat(),
          AddressFormat()};
}

std::vector<TIOFormat>& Rows() {
  static std::vector<TIOFormat> rows = BuiltinRows();
  return rows;
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Calls fn(extension) for each item of a ";"-separated list.
template <class Fn>
void ForEachExtension(const char* list, Fn fn) {
  if (!list) return;
  const std::string s = list;
  size_t start = 0;
  while (start <= s.size()) {
    size_t end = s.find(';', start);
    if (end == std::string::npos) end = s.size();
    if (end > start) fn(s.substr(start, end - start));
    start = end + 1;
  }
}

}  // namespace

const std::vector<TIOFormat>& IOFormatRows() { return Rows(); }

const TIOFormat* IOFormatRow(int32_t fileType) {
  if (fileType == ioUnknown) return nullptr;
  for (const auto& r : Rows())
    if (r.FileType == fileType) return &r;
  return nullptr;
}

const TIOFormat* IOFormatRowForExtension(const std::string& extension, TIORoute route) {
  std::string want = Lower(extension);
  if (!want.empty() && want[0] == '.') want.erase(0, 1);
  if (want.empty()) return nullptr;
  for (const auto& r : Rows()) {
    if (!r.Has(route)) continue;
    bool found = false;
    ForEachExtension(r.Extensions, [&](const std::string& e) { found = found || e == want; });
    if (found) return &r;
  }
  return nullptr;
}

const TIOFormat* IOFormatRowForName(const std::string& fileName) {
  for (const auto& r : Rows()) {
    if (!r.NamePrefix) continue;
    const std::string prefix = Lower(r.NamePrefix);
    if (Lower(fileName.substr(0, prefix.size())) == prefix) return &r;
  }
  return nullptr;
}

std::vector<std::string> IOWritableExtensions() {
  std::vector<std::string> v;
  for (const auto& r : Rows())
    if (r.Write && r.Has(iorSave)) ForEachExtension(r.Extensions, [&](const std::string& e) { v.push_back(e); });
  return v;
}

std::vector<int32_t> IOReadableCodes() {
  std::vector<int32_t> v;
  for (const auto& r : Rows())
    if (r.Read && r.Has(iorLoadStream)) v.push_back(r.FileType);
  return v;
}

void IOSetFormatRow(const TIOFormat& row) {
  auto& rows = Rows();
  auto it = std::find_if(rows.begin(), rows.end(), [&](const auto& r) { return r.FileType == row.FileType; });
  if (it != rows.end())
    *it = row;
  else
    rows.push_back(row);
}

void IOResetFormatRows() { Rows() = BuiltinRows(); }
