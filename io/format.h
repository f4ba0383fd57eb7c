#pragma once
// The format descriptor: everything the controller, the registry, detection, the
// open dialog, quelmar-cli and the fuzz target know about one file format, in one
// row. Each codec defines its row beside its code (codecs/png.cpp ends with
// `const TIOFormat& PNGFormat()`); io/formattable.cpp gathers the rows in
// registry order. The controller (io/controller.cpp, io/operations.cpp,
// io/detect.cpp) holds no per-format branch: it reads the rows.
//
// A codec fills its row's entry points with adapters that call its own functions
// in the common argument order; a format whose row waits in io/pending/ moves
// that row into its own file and fills the entry points, e.g. for PCX:
//
//   const TIOFormat& PCXFormat() {            // in codecs/pcx.cpp
//     static const TIOFormat row{
//         .FileType = ioPCX, ...                // as in io/pending/pcx.cpp
//         .Read = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOReadCall& c) {
//           PCXReadStream(s, b, p, pr, c.ParamsOnly, c.DataSize); },
//         .Write = [](TStream& s, TLXBitmap* b, TIOParamsVals& p, TIOProgress& pr, TIOWriteCall&) {
//           PCXWriteStream(s, b, p, pr); },
//         .Signatures = {{30, 12, HasPCX2Header}, {40, 4, HasOldPCXHeader}, {60, 128, HasPCXFileHeader}},
//         ...};
//     return row;
//   }
//
// and deletes io/pending/pcx.cpp; io/formattable.cpp already lists PCXFormat().
// Designated initializers must follow the declaration order below.
//
// Imports (metafiles, video frames, addresses) fill Import instead of Read: it
// runs the whole load of a file name on the controller, FinishWork included
// (the address import ends by handing the bytes to TTalvexIO::LoadStream).
#include <cstdint>
#include <memory>
#include <string>

#include "io/params.h"
#include "io/progress.h"

class TStream;
class TLXBitmap;
class TLXMask;  // image/mask.h: include it where a TIOReadCall is destroyed
class TTalvexIO;

// Save-options dialog pages of the registry entries.
enum : uint32_t {
  ppJPEG = 4, ppTIFF = 8, ppGIF = 16, ppBMP = 32, ppPCX = 64, ppPNG = 128, ppTGA = 256, ppJ2000 = 512,
};

// What one read call takes and gives besides the stream, bitmap, record and progress.
struct TIOReadCall {
  bool ParamsOnly = false;
  // Bytes the reader may use from the stream position (PCX, BMP): the stream's
  // size, or a stream header's length.
  int64_t DataSize = 0;
  // Readers that deliver transparency put an 8-bit mask here; the controller
  // copies it into the target's alpha channel when the row says AlphaFromMask.
  std::unique_ptr<TLXMask> Mask;
  // Frames or pages counted by the reader (GIF, TIFF); the per-format load
  // members that return a count return this.
  int32_t Count = 0;
  // When a reader sets it to 0 or more, the colour (windowing encoding) the
  // controller takes as its Background after the load (GIF's screen background).
  int32_t NewBackground = -1;
};

// What one write call takes besides the stream, bitmap, record and progress.
struct TIOWriteCall {
  // Rows with WantsMask: the transparency taken from the bitmap's alpha channel, or nullptr.
  TLXMask* Mask = nullptr;
  // Rows with IconList: the leading usable IconSizes entries and their bit counts.
  const TIconSize* IconSizes = nullptr;
  const int32_t* IconBitCounts = nullptr;
  int IconCount = 0;
};

using TIOFormatRead = void (*)(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                               TIOProgress& progress, TIOReadCall& call);
using TIOFormatWrite = void (*)(TStream& stream, TLXBitmap* bitmap, TIOParamsVals& params,
                                TIOProgress& progress, TIOWriteCall& call);
// Reads from the current position; the caller restores it.
using TIOFormatTest = bool (*)(TStream& stream);
// Loads a file name that no stream reader decodes: the whole operation on the
// controller (background check, AbortFlag, FinishWork).
using TIOFormatImport = void (*)(TTalvexIO& io, const std::string& fileName);
// The import of a row whose import does not exist yet: AbortFlag, then FinishWork.
void IOImportUnavailable(TTalvexIO& io, const std::string& fileName);

// How the dispatching operations reach a format.
enum TIORoute : uint8_t {
  iorLoadByExtension = 1,  // LoadFile with one of Extensions
  iorLoadByCode = 2,       // LoadFileAs with FileType
  iorLoadStream = 4,       // LoadStream and LoadStreamAs with FileType
  iorSave = 8,             // SaveFile with one of Extensions, SaveStream with FileType
  iorLoad = iorLoadByExtension | iorLoadByCode | iorLoadStream,
};

// One test of stream detection. Detection runs every row's tests in the order of
// their ranks and takes the first that answers yes. Ranks in use:
//   10 "JFIF" stream header    50 "BM"               100 icon     140 JPEG data
//   20 "GIF"                   60 PCX file           110 cursor   150 JP2
//   30 "PCX2" stream header    70 "TIFF" header      120 TGA      160 J2K
//   40 old "PCX" header        80 "II"/"MM"          130 PXM      170 "RIFF".."AVI "
//                              90 PNG
// A new format takes a free rank where its test belongs.
struct TIOSignature {
  int Rank = 0;
  // The test runs only when the whole stream holds more bytes than this (-1: any size).
  int64_t MoreThan = -1;
  TIOFormatTest Test = nullptr;
};

// The 12-byte stream header of StreamHeaders: a tag at bytes 0..3, a zero byte,
// three filler bytes, the length of the data that follows (little-endian).
struct TIOStreamHeader {
  const char* Tag = nullptr;       // nullptr: the format has no stream header
  // Stream loads skip a header with this tag when there is one, whatever
  // StreamHeaders says (JPEG); otherwise a load with StreamHeaders requires it.
  bool Optional = false;
  // A tag that is accepted too as a prefix, and then marks a 4-byte header (PCX).
  const char* OldTag = nullptr;
  bool LengthIsDataSize = false;   // the reader's DataSize is the header's length
  bool LeaveAfterBlock = false;    // the stream is left just after the headed block
  bool WriteOnlyOnSuccess = false; // saves write the header only when AbortFlag is false
};

struct TIOFormat {
  int32_t FileType = ioUnknown;

  // ---- registry entry (io/registry.h); no DisplayName: no entry ----
  const char* DisplayName = nullptr;
  const char* RegistryExtensions = nullptr;  // upper case, ";"-separated, the main one first
  uint32_t DialogPages = 0;
  bool Readable = false;  // the format family reads (the registry's read mark; the open dialog lists it)
  bool Writable = false;
  // When set, the registry's marks follow these at IORefreshGIFMarks (GIF's LZW hooks).
  bool (*ReadMark)() = nullptr;
  bool (*WriteMark)() = nullptr;

  // ---- dispatch ----
  const char* Extensions = nullptr;  // lower case, ";"-separated, without dots
  const char* NamePrefix = nullptr;  // names starting with it (any case) go to Import
  uint8_t Routes = 0;                // TIORoute bits

  // ---- entry points ----
  TIOFormatRead Read = nullptr;    // nullptr: loads fail with AbortFlag
  TIOFormatWrite Write = nullptr;  // nullptr: saves fail with AbortFlag
  TIOSignature Content = {};       // the codec's content test (IsXXXStream) and its rank
  TIOFormatImport Import = nullptr;
  TIOSignature Signatures[3] = {};  // byte signatures the format needs no codec for
  // A format whose files content tests cannot tell from this one's (a cursor
  // from an icon): DetectFileFormat then goes by the extension.
  int32_t SameLayoutAs = ioUnknown;

  // ---- load rules ----
  bool AlphaFromMask = false;  // a mask the reader returns becomes the alpha channel
  bool ViewDpiFile = false;    // the attached view receives the resolution after a file load
  bool ViewDpiStream = false;  // ... after a stream load
  bool AutoAdjust = true;      // AutoAdjustDPI applies
  // After the reader and the default resolution, before AdjustDPI; also after
  // parameters-only reads (JPEG: IPTC from the markers).
  void (*AfterRead)(TIOParamsVals& params) = nullptr;

  // ---- writer needs ----
  bool RGBOrMono = false;  // the target is converted to lx24RGB unless it is lx24RGB or lx1g
  bool WantsMask = false;  // the alpha channel goes to the writer as a mask
  bool IconList = false;   // the writer takes the usable IconSizes and IconBitCounts
  void (*BeforeWrite)(TIOParamsVals& params) = nullptr;  // JPEG: IPTC into the markers
  TIOStreamHeader StreamHeader = {};

  // ---- DescriptiveName's detail after "Name (EXT)", e.g. " Interlaced" ----
  std::string (*Detail)(const TIOParamsVals& params) = nullptr;

  bool Has(TIORoute route) const { return (Routes & route) != 0; }
};
