#pragma once
// The process-wide format registry: one entry per format with its code, name,
// extensions and capabilities. The built-in formats are read and written by the
// controller's own dispatch; their reader and writer here only mark the
// capability (they do nothing) and their content test answers no. Other formats
// (plug-ins, test fakes) register real functions and are reached through the
// controller's registry fallback.
#include <cstdint>
#include <string>
#include <vector>

#include "io/format.h"

class TStream;
class TLXBitmap;
class TIOParamsVals;
struct TIOProgress;

using TIORegistryRead = void (*)(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                                 TIOProgress& progress, bool paramsOnly);
using TIORegistryWrite = void (*)(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                                  TIOProgress& progress);
// Reads from the current position; the caller restores it.
using TIORegistryTest = bool (*)(TStream& stream);

struct TIOFileFormatInfo {
  int32_t FileType = 0;
  std::string DisplayName;
  std::string Extensions;   // upper case, ";"-separated, the main one first
  uint32_t DialogPages = 0;
  TIORegistryRead ReadFunction = nullptr;    // nullptr: cannot be read
  TIORegistryWrite WriteFunction = nullptr;  // nullptr: cannot be written
  TIORegistryTest TryStream = nullptr;       // nullptr: no content test
  // A format of the controller's own dispatch; its reader and writer are marks only.
  bool BuiltIn = false;

  // The main extension, e.g. "TIF".
  std::string MainExtension() const;
};

// Entries in registry order; built on first use.
const std::vector<TIOFileFormatInfo>& IOFileFormats();
// By code; nullptr when unknown.
const TIOFileFormatInfo* IOFindFormatByType(int32_t fileType);
// By extension without the dot, case-insensitive, over every extension of every
// entry in registry order; nullptr when unknown.
const TIOFileFormatInfo* IOFindFormatByExtension(const std::string& extension);
// Appends an entry (or replaces the entry of the same code).
void IORegisterFormat(const TIOFileFormatInfo& info);
void IOUnregisterFormat(int32_t fileType);
// The marks of entries whose rows follow hooks (GIF: DefaultGIFDecompressor and
// DefaultGIFCompressor) are set to what the hooks say now.
void IORefreshGIFMarks();
// The open dialog's filter: allCaption, "|", the patterns of every readable entry
// ("*.tif;*.tiff;..."), each entry's list followed by ";" unless it is the
// registry's last; withVideo then appends ";*.avi" (the extensions of the rows
// that load by extension without a registry entry) and, when videoCaption is
// not empty, the pair videoCaption + " (AVI)|*.avi" after the per-entry pairs
// "|Display name (EXT;...)|patterns". Readable means the entry's read mark when
// liveMarks, else what the built-in format family reads (GIF listed whatever
// its hooks say).
std::string IOOpenDialogFilter(const std::string& allCaption, bool withVideo,
                               const std::string& videoCaption, bool liveMarks);
// Back to the built-in entries only.
void IOResetRegistry();
