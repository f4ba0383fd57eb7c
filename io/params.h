#pragma once
// TIOParamsVals: the parameter record that travels with every read and write.
// Readers fill it with what they learned about the file; writers take every
// choice that shapes the output from it. Codecs read and write the fields
// directly; the few fields with side effects (resolution, orientation) are
// reached through their getters and setters:
//   DpiX()/SetDpiX(), DpiY()/SetDpiY()              -> EXIFXResolution/EXIFYResolution follow
//   EXIFXResolution()/SetEXIFXResolution(double)    -> Trunc, then SetDpiX
//   TIFFOrientation()/SetTIFFOrientation(), EXIFOrientation()/SetEXIFOrientation() -> both
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/types.h"

class TTalvexIO;        // io/controller.h
class TLXBitmap;        // image/bitmap.h
class TLXMarkerList;    // image/metadata.h
class TLXIPTCInfoList;  // image/metadata.h
class TLXImagingAnnot;  // image/annotations.h
class TStream;          // platform/stream.h

// ---- LZW hooks (GIF and TIFF) ----

// Fills output (width * height indexes, row order) and leaves the stream after the
// block terminator; on failure it leaves the stream where it found it.
using TGIFDecompressor = void (*)(TStream& stream, int32_t height, int32_t width, bool interlaced,
                                  uint8_t* output);
// Writes the minimum code size, the data sub-blocks and the block terminator.
using TGIFCompressor = void (*)(TStream& stream, int32_t height, int32_t width, int32_t bitsPerPixel,
                                const uint8_t* indexes, bool interlaced);

// Working state a TIFF LZW hook keeps between the calls of one strip.
struct TLZWState {
  virtual ~TLZWState() = default;
};
// Per strip: returns the next decoded row of rowLength bytes, or nullptr on failure;
// called with data == nullptr it releases its state.
using TTIFFDecompressor = const uint8_t* (*)(const uint8_t* data, int64_t dataSize, int32_t rowLength,
                                             std::unique_ptr<TLZWState>& state);
// Per row: encodes count bytes to stream, creating the state on a strip's first call;
// called with row == nullptr it finishes the strip's code stream.
using TTIFFCompressor = void (*)(const uint8_t* row, int32_t count, TStream& stream,
                                 std::unique_ptr<TLZWState>& state);

// Process-wide hooks, set once at start-up to the built-in LZW coders; SetDefaults
// copies them into every record. nullptr: that compression cannot be used.
extern TGIFDecompressor DefaultGIFDecompressor;
extern TGIFCompressor DefaultGIFCompressor;
extern TTIFFDecompressor DefaultTIFFDecompressor;
extern TTIFFCompressor DefaultTIFFCompressor;

// ---- file-type codes ----
enum : int32_t {
  ioUnknown = 0,
  ioTIFF = 1,
  ioGIF = 2,
  ioJPEG = 3,
  ioPCX = 4,
  ioBMP = 5,
  ioICO = 6,
  ioCUR = 7,
  ioPNG = 8,
  ioWMF = 9,
  ioEMF = 10,
  ioTGA = 11,
  ioPXM = 12,
  ioJP2 = 13,
  ioJ2K = 14,
  ioAVI = 15,
  ioWBMP = 16,
  ioPS = 17,
  ioPDF = 18,
};

struct TIconSize {
  int32_t Width = 0;
  int32_t Height = 0;
  bool operator==(const TIconSize&) const = default;
};

inline constexpr int kIconEntries = 16;

// Today's date as days since 30 December 1899, time of day 0.
double IOTodayDate();

// The record's fields come in three groups, each field declared once with its
// default below; SetDefaults, ResetInfo, ResetEXIF and Assign work on whole
// groups, so a new field needs only its line here (in the group that says what
// a load resets).
//
// What a load resets (ResetInfo): the names and comments that describe the last
// file read. The metadata lists (IPTC, annotations, JPEG markers) and the EXIF
// block go with them.
struct TIOParamsInfo {
  std::string TIFFDocumentName;      // tag 269
  std::string TIFFImageDescription;  // tag 270
  std::string TIFFPageName;          // tag 285
  std::vector<std::string> GIFComments;
  std::string TGADescriptor;  // image identification text
  std::string TGAAuthor;      // author name (extension area)
  std::string TGAImageName;   // image (job) name
  std::vector<std::string> PXMComments;
};

// The EXIF block (ResetEXIF); integer fields hold the tag's SHORT value.
struct TIOParamsEXIF {
  bool EXIFPresent = false;
  std::string EXIFImageDescription;          // 270
  std::string EXIFMake;                      // 271
  std::string EXIFModel;                     // 272
  int32_t EXIFResolutionUnit = 0;            // 296
  std::string EXIFSoftware;                  // 305
  std::string EXIFDateTime;                  // 306
  std::array<double, 2> EXIFWhitePoint{};    // 318
  std::array<double, 6> EXIFPrimaryChromaticities{};  // 319
  std::array<double, 3> EXIFYCbCrCoefficients{};      // 529
  int32_t EXIFYCbCrPositioning = 0;          // 531
  std::array<double, 6> EXIFReferenceBlackWhite{};    // 532
  std::string EXIFCopyright;                 // 33432
  double EXIFExposureTime = 0;               // 33434
  double EXIFFNumber = 0;                    // 33437
  int32_t EXIFExposureProgram = 0;           // 34850
  std::array<int32_t, 2> EXIFISOSpeedRatings{};       // 34855
  std::string EXIFExifVersion;               // 36864
  std::string EXIFDateTimeOriginal;          // 36867
  std::string EXIFDateTimeDigitized;         // 36868
  double EXIFCompressedBitsPerPixel = 0;     // 37122
  double EXIFShutterSpeedValue = 0;          // 37377
  double EXIFApertureValue = 0;              // 37378
  double EXIFBrightnessValue = 0;            // 37379
  double EXIFExposureBiasValue = 0;          // 37380
  double EXIFMaxApertureValue = 0;           // 37381
  double EXIFSubjectDistance = 0;            // 37382
  int32_t EXIFMeteringMode = 0;              // 37383
  int32_t EXIFLightSource = 0;               // 37384
  int32_t EXIFFlash = 0;                     // 37385
  double EXIFFocalLength = 0;                // 37386
  std::string EXIFSubsecTime;                // 37520
  std::string EXIFSubsecTimeOriginal;        // 37521
  std::string EXIFSubsecTimeDigitized;       // 37522
  std::string EXIFFlashPixVersion;           // 40960
  int32_t EXIFColorSpace = 0;                // 40961
  int32_t EXIFPixelXDimension = 0;           // 40962
  int32_t EXIFPixelYDimension = 0;           // 40963
  std::string EXIFRelatedSoundFile;          // 40964
  double EXIFFocalPlaneXResolution = 0;      // 41486
  double EXIFFocalPlaneYResolution = 0;      // 41487
  int32_t EXIFFocalPlaneResolutionUnit = 0;  // 41488
  double EXIFExposureIndex = 0;              // 41493
  int32_t EXIFSensingMethod = 0;             // 41495
  int32_t EXIFFileSource = 0;                // 41728
  int32_t EXIFSceneType = 0;                 // 41729
  std::string EXIFUserComment;               // 37510, after the 8-character code
  std::string EXIFUserCommentCode;           // 37510, the 8-character code

protected:
  // Behind EXIFOrientation(), EXIFXResolution(), EXIFYResolution() of the record.
  int32_t exifOrientation_ = 0;              // 274, mirrors TIFFOrientation
  double exifXResolution_ = 0;               // 282
  double exifYResolution_ = 0;               // 283
};

// Every other plain field: SetDefaults gives these their defaults (keeping
// Width, Height and the resolution unless the owner has them), Assign copies
// them all but NativePixelFormat.
struct TIOParamsFields : TIOParamsInfo, TIOParamsEXIF {
  // ---- common ----
  int32_t BitsPerSample = 8;
  int32_t SamplesPerPixel = 3;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t FileType = 0;

  // ---- TIFF ----
  uint8_t TIFFCompression = 0;
  int32_t TIFFImageIndex = 0;
  uint8_t TIFFPhotometric = 2;
  int32_t TIFFPlanarConfig = 1;
  int32_t TIFFXPos = 0;
  int32_t TIFFYPos = 0;
  int32_t TIFFPageNumber = 0;
  int32_t TIFFPageCount = 0;
  TTIFFDecompressor TIFFDecompressor = DefaultTIFFDecompressor;
  TTIFFCompressor TIFFCompressor = DefaultTIFFCompressor;
  bool TIFFAdjustOrientation = false;
  int32_t TIFFJPEGQuality = 80;
  uint8_t TIFFJPEGColorSpace = 2;

  // ---- GIF ----
  std::string GIFVersion = "GIF89a";
  int32_t GIFImageIndex = 0;
  int32_t GIFLeft = 0;
  int32_t GIFTop = 0;
  int32_t GIFDelay = 0;
  bool GIFTransparent = false;
  TRGB GIFTransparentColor{};
  bool GIFInterlaced = false;
  int32_t GIFScreenWidth = 0;
  int32_t GIFScreenHeight = 0;
  TRGB GIFBackground{};
  int32_t GIFAspect = 0;
  uint8_t GIFDisposal = 0;
  TGIFDecompressor GIFDecompressor = DefaultGIFDecompressor;
  TGIFCompressor GIFCompressor = DefaultGIFCompressor;

  // ---- JPEG ----
  uint8_t JPEGColorSpace = 2;   // 0 RGB, 1 grey, 2 YCbCr, 3 CMYK, 4 YCbCrK
  int32_t JPEGQuality = 80;
  uint8_t JPEGDCTMethod = 0;    // 0 integer slow, 1 integer fast, 2 float
  bool JPEGOptimalHuffman = false;
  int32_t JPEGSmoothing = 0;
  bool JPEGProgressive = false;
  uint8_t JPEGScale = 1;        // 1 full, 2 half, 3 quarter, 4 eighth; 0 smallest sufficient
  int32_t JPEGWarningInfo = 0;
  int32_t JPEGWarningCode = 0;
  int32_t JPEGOriginalWidth = 0;
  int32_t JPEGOriginalHeight = 0;

  // ---- JPEG 2000 ----
  uint8_t J2KColorSpace = 1;    // 0 grey, 1 RGB, 2 YCbCr
  double J2KRate = 1.0;
  uint8_t J2KProgression = 0;   // 0 lrcp, 1 rlcp

  // ---- PCX, BMP, ICO, CUR ----
  int32_t PCXVersion = 5;
  uint8_t PCXCompression = 1;   // 0 none, 1 run-length
  uint8_t BMPVersion = 1;       // 0 v1, 1 v3, 2 OS/2 v1, 3 OS/2 v2
  uint8_t BMPCompression = 0;   // 0 none, 1 run-length
  int32_t IconImageIndex = 0;
  TRGB IconBackground{255, 255, 255};
  int32_t CursorImageIndex = 0;
  int32_t CursorHotSpotX = 0;
  int32_t CursorHotSpotY = 0;
  TRGB CursorBackground{255, 255, 255};

  // ---- PNG, TGA ----
  bool PNGInterlaced = false;
  TRGB PNGBackground{};
  uint8_t PNGFilter = 0;        // 0 none, 1 sub, 2 Paeth
  int32_t PNGCompression = 5;
  int32_t TGAXPosition = 0;
  int32_t TGAYPosition = 0;
  bool TGACompressed = true;
  double TGADate = IOTodayDate();  // days since 1899-12-30, time 0
  TRGB TGABackground{};
  double TGAAspectRatio = 1.0;
  double TGAGamma = 2.2;
  bool TGAGrayLevel = false;

  // ---- video, PostScript, PDF ----
  int32_t AVIFrameCount = 0;
  int32_t AVIFrameDelay = 0;
  int32_t PSPaperWidth = 595;
  int32_t PSPaperHeight = 842;
  uint8_t PSCompression = 1;
  std::string PSTitle = "No Title";
  int32_t PDFPaperWidth = 595;
  int32_t PDFPaperHeight = 842;
  uint8_t PDFCompression = 2;
  std::string PDFTitle;
  std::string PDFAuthor;
  std::string PDFSubject;
  std::string PDFKeywords;
  std::string PDFCreator;
  std::string PDFProducer;

  // ---- reader state and icon writing ----
  bool NativePixelFormat = false;  // mirrors TTalvexIO::NativePixelFormat; not assigned
  std::string FileName;
  std::vector<TRGB> ColorMap;      // see SetColorMapCount
  int32_t ColorMapCount = 0;
  int32_t GIFImageCount = 0;
  int32_t TIFFImageCount = 0;
  std::array<TIconSize, kIconEntries> IconSizes{{{64, 64}}};
  std::array<int32_t, kIconEntries> IconBitCounts{8};

protected:
  // Behind DpiX(), DpiY() and TIFFOrientation() of the record.
  int32_t dpiX_ = 300;
  int32_t dpiY_ = 300;
  int32_t tiffOrientation_ = 1;
};

class TIOParamsVals : public TIOParamsFields {
public:
  explicit TIOParamsVals(TTalvexIO* owner);
  ~TIOParamsVals();
  TIOParamsVals(const TIOParamsVals&) = delete;
  TIOParamsVals& operator=(const TIOParamsVals&) = delete;

  void SetDefaults();
  // Empties what describes the last file read (TIOParamsInfo, the metadata
  // lists, the EXIF block); the writing choices survive a load.
  void ResetInfo();
  void ResetEXIF();
  // Copies every field except OwnerIO and NativePixelFormat.
  void Assign(const TIOParamsVals& source);
  // E.g. "Windows Bitmap (BMP) OS/2 v.1"; empty for an unknown FileType.
  std::string DescriptiveName() const;

  // Number of leading IconSizes entries with a width of at least 1 (0..16).
  int IconImageCount() const;

  // Palette of the file read; ColorMapCount always equals ColorMap.size().
  // count <= 0 releases it. New entries are black.
  void SetColorMapCount(int32_t count);
  void FreeColorMap() { SetColorMapCount(0); }

  TTalvexIO* OwnerIO = nullptr;

  // Fields with side effects:
  int32_t DpiX() const { return dpiX_; }
  int32_t DpiY() const { return dpiY_; }
  void SetDpiX(int32_t value);
  void SetDpiY(int32_t value);
  int32_t TIFFOrientation() const { return tiffOrientation_; }
  void SetTIFFOrientation(int32_t value);
  int32_t EXIFOrientation() const { return exifOrientation_; }
  void SetEXIFOrientation(int32_t value);  // 274, mirrors TIFFOrientation
  double EXIFXResolution() const { return exifXResolution_; }  // 282
  double EXIFYResolution() const { return exifYResolution_; }  // 283
  void SetEXIFXResolution(double value);
  void SetEXIFYResolution(double value);

  // ---- owned lists and blocks (always present but the thumbnail) ----
  std::unique_ptr<TLXMarkerList> JPEGMarkers;          // JPEG markers kept with the image
  std::unique_ptr<TLXIPTCInfoList> IPTCInfo;
  std::unique_ptr<TLXImagingAnnot> ImagingAnnotations;  // imaging annotations (TIFF)
  std::unique_ptr<TLXBitmap> EXIFThumbnail;             // created on demand
  // Creates the thumbnail bitmap when there is none.
  TLXBitmap* EnsureEXIFThumbnail();

private:
  friend class TTalvexIO;  // AdjustDPI writes the resolution without the EXIF side effects
};

