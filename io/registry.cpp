#include "io/registry.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "io/formattable.h"
#include "io/params.h"

namespace {

// Capability marks of the built-in formats: the controller does the work.
void BuiltinRead(TStream&, TLXBitmap*, TIOParamsVals&, TIOProgress&, bool) {}
void BuiltinWrite(TStream&, TLXBitmap*, TIOParamsVals&, TIOProgress&) {}

// The marks a row gives its entry now: its mark functions when it has them, else
// what the format family does.
void SetMarks(TIOFileFormatInfo& f, const TIOFormat& row) {
  const bool read = row.ReadMark ? row.ReadMark() : row.Readable;
  const bool write = row.WriteMark ? row.WriteMark() : row.Writable;
  f.ReadFunction = read ? BuiltinRead : nullptr;
  f.WriteFunction = write ? BuiltinWrite : nullptr;
}

// One entry per row that has a display name, in table order.
std::vector<TIOFileFormatInfo> BuiltinFormats() {
  std::vector<TIOFileFormatInfo> v;
  for (const TIOFormat& row : IOFormatRows()) {
    if (!row.DisplayName) continue;
    TIOFileFormatInfo f;
    f.FileType = row.FileType;
    f.DisplayName = row.DisplayName;
    f.Extensions = row.RegistryExtensions ? row.RegistryExtensions : "";
    f.DialogPages = row.DialogPages;
    f.BuiltIn = true;
    SetMarks(f, row);
    v.push_back(f);
  }
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

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Calls fn for each item of a ";"-separated list.
template <class Fn>
void ForEachItem(const std::string& list, Fn fn) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) fn(list.substr(start, end - start));
    start = end + 1;
  }
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
    const TIOFormat* row = f.BuiltIn ? IOFormatRow(f.FileType) : nullptr;
    if (row && (row->ReadMark || row->WriteMark)) SetMarks(f, *row);
  }
}

std::string IOOpenDialogFilter(const std::string& allCaption, bool withVideo,
                               const std::string& videoCaption, bool liveMarks) {
  std::string all, pairs;
  const auto& formats = Registry();
  for (size_t i = 0; i < formats.size(); ++i) {
    const TIOFileFormatInfo& f = formats[i];
    const TIOFormat* row = f.BuiltIn ? IOFormatRow(f.FileType) : nullptr;
    const bool readable = liveMarks || !row ? f.ReadFunction != nullptr : row->Readable;
    if (!readable) continue;
    std::string patterns, upper;
    ForEachItem(f.Extensions, [&](const std::string& e) {
      patterns += (patterns.empty() ? "*." : ";*.") + Lower(e);
      upper += (upper.empty() ? "" : ";") + Upper(e);
    });
    pairs += "|" + f.DisplayName + " (" + upper + ")|" + patterns;
    all += patterns;
    if (i + 1 < formats.size()) all += ";";
  }
  if (withVideo) {
    // The rows without a registry entry that load by extension (video files).
    std::string patterns, upper;
    for (const TIOFormat& row : IOFormatRows()) {
      if (row.DisplayName || !row.Extensions || !row.Has(iorLoadByExtension)) continue;
      ForEachItem(row.Extensions, [&](const std::string& e) {
        patterns += (patterns.empty() ? "*." : ";*.") + Lower(e);
        upper += (upper.empty() ? "" : ";") + Upper(e);
      });
    }
    all += ";" + patterns;
    if (!videoCaption.empty()) pairs += "|" + videoCaption + " (" + upper + ")|" + patterns;
  }
  return allCaption + "|" + all + pairs;
}

void IOResetRegistry() { Registry() = BuiltinFormats(); }
