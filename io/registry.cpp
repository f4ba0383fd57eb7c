#include "io/registry.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "io/params.h"

namespace {

// Capability marks of the built-in formats: the controller does the work.
void BuiltinRead(TStream&, TLXBitmap*, TIOParamsVals&, TIOProgress&, bool) {}
void BuiltinWrite(TStream&, TLXBitmap*, TIOParamsVals&, TIOProgress&) {}

std::vector<TIOFileFormatInfo> BuiltinFormats() {
  auto rw = [](int32_t code, const char* name, const char* ext, uint32_t pages, bool read, bool write) {
    TIOFileFormatInfo f;
    f.FileType = code;
    f.DisplayName = name;
    f.Extensions = ext;
    f.DialogPages = pages;
    f.BuiltIn = true;
    f.ReadFunction = read ? BuiltinRead : nullptr;
    f.WriteFunction = write ? BuiltinWrite : nullptr;
    return f;
  };
  std::vector<TIOFileFormatInfo> v;
  v.push_back(rw(ioTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F", ppTIFF, true, true));
  v.push_back(rw(ioGIF, "CompuServe Bitmap", "GIF", ppGIF, DefaultGIFDecompressor != nullptr,
                 DefaultGIFCompressor != nullptr));
  v.push_back(rw(ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE", ppJPEG, true, true));
  v.push_back(rw(ioPCX, "PaintBrush", "PCX", ppPCX, true, true));
  v.push_back(rw(ioBMP, "Windows Bitmap", "BMP;DIB;RLE", ppBMP, true, true));
  v.push_back(rw(ioICO, "Windows Icon", "ICO", 0, true, true));
  v.push_back(rw(ioCUR, "Windows Cursor", "CUR", 0, true, false));
  v.push_back(rw(ioPNG, "Portable Network Graphics", "PNG", ppPNG, true, true));
  v.push_back(rw(ioWMF, "Windows Metafile", "WMF", 0, true, false));
  v.push_back(rw(ioEMF, "Enhanced Windows Metafile", "EMF", 0, true, false));
  v.push_back(rw(ioTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", ppTGA, true, true));
  v.push_back(rw(ioPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true));
  v.push_back(rw(ioWBMP, "Wireless Bitmap", "WBMP", 0, true, true));
  v.push_back(rw(ioJP2, "JPEG2000", "JP2", ppJ2000, true, true));
  v.push_back(rw(ioJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", ppJ2000, true, true));
  v.push_back(rw(ioPS, "PostScript Level 2", "PS;EPS", 0, false, true));
  v.push_back(rw(ioPDF, "Adobe PDF", "PDF", 0, false, true));
  return v;
}

std::vector<TIOFileFormatInfo>& Registry() {
  static std::vector<TIOFileFormatInfo> registry = BuiltinFormats();
  return registry;
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string TIOFileFormatInfo::MainExtension() const {
  return Upper(Extensions.substr(0, Extensions.find(';')));
}

const std::vector<TIOFileFormatInfo>& IOFileFormats() { return Registry(); }

const TIOFileFormatInfo* IOFindFormatByType(int32_t fileType) {
  for (const auto& f : Registry())
    if (f.FileType == fileType) return &f;
  return nullptr;
}

const TIOFileFormatInfo* IOFindFormatByExtension(const std::string& extension) {
  std::string want = Upper(extension);
  if (!want.empty() && want[0] == '.') want.erase(0, 1);
  if (want.empty()) return nullptr;
  for (const auto& f : Registry()) {
    const std::string exts = Upper(f.Extensions);
    size_t start = 0;
    while (start <= exts.size()) {
      size_t end = exts.find(';', start);
      if (end == std::string::npos) end = exts.size();
      if (exts.compare(start, end - start, want) == 0) return &f;
      start = end + 1;
    }
  }
  return nullptr;
}

void IORegisterFormat(const TIOFileFormatInfo& info) {
  auto& r = Registry();
  auto it = std::find_if(r.begin(), r.end(), [&](const auto& f) { return f.FileType == info.FileType; });
  if (it != r.end())
    *it = info;
  else
    r.push_back(info);
}

void IOUnregisterFormat(int32_t fileType) {
  auto& r = Registry();
  std::erase_if(r, [&](const auto& f) { return f.FileType == fileType; });
}

void IORefreshGIFMarks() {
  for (auto& f : Registry()) {
    if (f.FileType != ioGIF) continue;
    f.ReadFunction = DefaultGIFDecompressor ? BuiltinRead : nullptr;
    f.WriteFunction = DefaultGIFCompressor ? BuiltinWrite : nullptr;
  }
}

void IOResetRegistry() { Registry() = BuiltinFormats(); }
