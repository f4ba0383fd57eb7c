#include "io/params.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "image/annotations.h"
#include "image/bitmap.h"
#include "image/metadata.h"
#include "io/controller.h"
#include "io/formattable.h"
#include "io/registry.h"
#include "platform/bitmap.h"

TGIFDecompressor DefaultGIFDecompressor = nullptr;
TGIFCompressor DefaultGIFCompressor = nullptr;
TTIFFDecompressor DefaultTIFFDecompressor = nullptr;
TTIFFCompressor DefaultTIFFCompressor = nullptr;

double IOTodayDate() {
  using namespace std::chrono;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const year_month_day today{year(local.tm_year + 1900), month(unsigned(local.tm_mon + 1)),
                             day(unsigned(local.tm_mday))};
  const year_month_day epoch{year(1899), month(12), day(30)};
  return double((sys_days(today) - sys_days(epoch)).count());
}

TIOParamsVals::TIOParamsVals(TTalvexIO* owner)
    : OwnerIO(owner),
      JPEGMarkers(std::make_unique<TLXMarkerList>()),
      IPTCInfo(std::make_unique<TLXIPTCInfoList>()),
      ImagingAnnotations(std::make_unique<TLXImagingAnnot>()) {
  SetDefaults();
}

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetDpiX(int32_t value) {
  dpiX_ = value;
  exifXResolution_ = double(value);
}

void TIOParamsVals::SetDpiY(int32_t value) {
  dpiY_ = value;
  exifYResolution_ = double(value);
}

// Trunc toward zero; values outside int32 saturate rather than overflow.
static int32_t TruncDpi(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return int32_t(std::trunc(value));
}

void TIOParamsVals::SetEXIFXResolution(double value) { SetDpiX(TruncDpi(value)); }
void TIOParamsVals::SetEXIFYResolution(double value) { SetDpiY(TruncDpi(value)); }

void TIOParamsVals::SetTIFFOrientation(int32_t value) {
  tiffOrientation_ = value;
  exifOrientation_ = value;
}

void TIOParamsVals::SetEXIFOrientation(int32_t value) { SetTIFFOrientation(value); }

TLXBitmap* TIOParamsVals::EnsureEXIFThumbnail() {
  if (!EXIFThumbnail) EXIFThumbnail = std::make_unique<TLXBitmap>();
  return EXIFThumbnail.get();
}

void TIOParamsVals::SetColorMapCount(int32_t count) {
  if (count <= 0) {
    ColorMap.clear();
    ColorMap.shrink_to_fit();
    ColorMapCount = 0;
    return;
  }
  ColorMap.assign(size_t(count), TRGB{});
  ColorMapCount = count;
}

int TIOParamsVals::IconImageCount() const {
  int n = 0;
  while (n < kIconEntries && IconSizes[size_t(n)].Width >= 1) ++n;
  return n;
}

void TIOParamsVals::SetDefaults() {
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  if (OwnerIO) {
    if (TBitmap* graphic = OwnerIO->GetTBitmap()) {
      Width = graphic->Width();
      Height = graphic->Height();
    }
    if (TIOViewLink* view = OwnerIO->AttachedView()) {
      SetDpiX(view->LinkDpiX());
      SetDpiY(view->LinkDpiY());
    }
  }
  FileType = 0;

  TIFFCompression = 0;
  TIFFImageIndex = 0;
  TIFFPhotometric = 2;
  TIFFPlanarConfig = 1;
  TIFFXPos = 0;
  TIFFYPos = 0;
  TIFFDocumentName.clear();
  TIFFImageDescription.clear();
  TIFFPageName.clear();
  TIFFPageNumber = 0;
  TIFFPageCount = 0;
  SetTIFFOrientation(1);
  TIFFDecompressor = DefaultTIFFDecompressor;
  TIFFCompressor = DefaultTIFFCompressor;
  TIFFAdjustOrientation = false;
  TIFFJPEGQuality = 80;
  TIFFJPEGColorSpace = 2;

  GIFVersion = "GIF89a";
  GIFImageIndex = 0;
  GIFLeft = 0;
  GIFTop = 0;
  GIFDelay = 0;
  GIFTransparent = false;
  GIFTransparentColor = TRGB{};
  GIFInterlaced = false;
  GIFScreenWidth = 0;
  GIFScreenHeight = 0;
  GIFBackground = TRGB{};
  GIFAspect = 0;
  GIFComments.clear();
  GIFDisposal = 0;
  GIFDecompressor = DefaultGIFDecompressor;
  GIFCompressor = DefaultGIFCompressor;

  JPEGColorSpace = 2;
  JPEGQuality = 80;
  JPEGDCTMethod = 0;
  JPEGOptimalHuffman = false;
  JPEGSmoothing = 0;
  JPEGProgressive = false;
  JPEGScale = 1;
  JPEGMarkers->ClearMarkers();
  JPEGWarningInfo = 0;
  JPEGWarningCode = 0;
  JPEGOriginalWidth = 0;
  JPEGOriginalHeight = 0;

  J2KColorSpace = 1;
  J2KRate = 1.0;
  J2KProgression = 0;

  PCXVersion = 5;
  PCXCompression = 1;
  BMPVersion = 1;
  BMPCompression = 0;
  IconImageIndex = 0;
  IconBackground = TRGB{255, 255, 255};
  CursorImageIndex = 0;
  CursorHotSpotX = 0;
  CursorHotSpotY = 0;
  CursorBackground = TRGB{255, 255, 255};

  PNGInterlaced = false;
  PNGBackground = TRGB{};
  PNGFilter = 0;
  PNGCompression = 5;
  TGAXPosition = 0;
  TGAYPosition = 0;
  TGACompressed = true;
  TGADescriptor.clear();
  TGAAuthor.clear();
  TGADate = IOTodayDate();
  TGAImageName.clear();
  TGABackground = TRGB{};
  TGAAspectRatio = 1.0;
  TGAGamma = 2.2;
  TGAGrayLevel = false;

  IPTCInfo->ClearRecords();
  ImagingAnnotations->ClearAnnotations();
  PXMComments.clear();

  AVIFrameCount = 0;
  AVIFrameDelay = 0;
  PSPaperWidth = 595;
  PSPaperHeight = 842;
  PSCompression = 1;
  PSTitle = "No Title";
  PDFPaperWidth = 595;
  PDFPaperHeight = 842;
  PDFCompression = 2;
  PDFTitle.clear();
  PDFAuthor.clear();
  PDFSubject.clear();
  PDFKeywords.clear();
  PDFCreator.clear();
  PDFProducer.clear();

  NativePixelFormat = false;
  FileName.clear();
  FreeColorMap();
  GIFImageCount = 0;
  TIFFImageCount = 0;
  IconSizes.fill(TIconSize{});
  IconSizes[0] = TIconSize{64, 64};
  IconBitCounts.fill(0);
  IconBitCounts[0] = 8;

  ResetEXIF();
}

void TIOParamsVals::ResetEXIF() {
  EXIFPresent = false;
  EXIFThumbnail.reset();
  EXIFImageDescription.clear();
  EXIFMake.clear();
  EXIFModel.clear();
  exifOrientation_ = 0;  // TIFFOrientation keeps its value
  exifXResolution_ = 0;  // the resolution itself keeps its value
  exifYResolution_ = 0;
  EXIFResolutionUnit = 0;
  EXIFSoftware.clear();
  EXIFDateTime.clear();
  EXIFWhitePoint.fill(0);
  EXIFPrimaryChromaticities.fill(0);
  EXIFYCbCrCoefficients.fill(0);
  EXIFYCbCrPositioning = 0;
  EXIFReferenceBlackWhite.fill(0);
  EXIFCopyright.clear();
  EXIFExposureTime = 0;
  EXIFFNumber = 0;
  EXIFExposureProgram = 0;
  EXIFISOSpeedRatings.fill(0);
  EXIFExifVersion.clear();
  EXIFDateTimeOriginal.clear();
  EXIFDateTimeDigitized.clear();
  EXIFCompressedBitsPerPixel = 0;
  EXIFShutterSpeedValue = 0;
  EXIFApertureValue = 0;
  EXIFBrightnessValue = 0;
  EXIFExposureBiasValue = 0;
  EXIFMaxApertureValue = 0;
  EXIFSubjectDistance = 0;
  EXIFMeteringMode = 0;
  EXIFLightSource = 0;
  EXIFFlash = 0;
  EXIFFocalLength = 0;
  EXIFSubsecTime.clear();
  EXIFSubsecTimeOriginal.clear();
  EXIFSubsecTimeDigitized.clear();
  EXIFFlashPixVersion.clear();
  EXIFColorSpace = 0;
  EXIFPixelXDimension = 0;
  EXIFPixelYDimension = 0;
  EXIFRelatedSoundFile.clear();
  EXIFFocalPlaneXResolution = 0;
  EXIFFocalPlaneYResolution = 0;
  EXIFFocalPlaneResolutionUnit = 0;
  EXIFExposureIndex = 0;
  EXIFSensingMethod = 0;
  EXIFFileSource = 0;
  EXIFSceneType = 0;
  EXIFUserComment.clear();
  EXIFUserCommentCode.clear();
}

void TIOParamsVals::ResetInfo() {
  IPTCInfo->ClearRecords();
  ImagingAnnotations->ClearAnnotations();
  JPEGMarkers->ClearMarkers();
  ResetEXIF();
  GIFComments.clear();
  TIFFDocumentName.clear();
  TIFFImageDescription.clear();
  TIFFPageName.clear();
  TGADescriptor.clear();
  TGAAuthor.clear();
  TGAImageName.clear();
  PXMComments.clear();
}

void TIOParamsVals::Assign(const TIOParamsVals& s) {
  if (&s == this) return;
  BitsPerSample = s.BitsPerSample;
  SamplesPerPixel = s.SamplesPerPixel;
  Width = s.Width;
  Height = s.Height;
  SetDpiX(s.dpiX_);
  SetDpiY(s.dpiY_);
  FileType = s.FileType;

  TIFFCompression = s.TIFFCompression;
  TIFFImageIndex = s.TIFFImageIndex;
  TIFFPhotometric = s.TIFFPhotometric;
  TIFFPlanarConfig = s.TIFFPlanarConfig;
  TIFFXPos = s.TIFFXPos;
  TIFFYPos = s.TIFFYPos;
  TIFFDocumentName = s.TIFFDocumentName;
  TIFFImageDescription = s.TIFFImageDescription;
  TIFFPageName = s.TIFFPageName;
  TIFFPageNumber = s.TIFFPageNumber;
  TIFFPageCount = s.TIFFPageCount;
  SetTIFFOrientation(s.tiffOrientation_);
  TIFFDecompressor = s.TIFFDecompressor;
  TIFFCompressor = s.TIFFCompressor;
  TIFFAdjustOrientation = s.TIFFAdjustOrientation;
  TIFFJPEGQuality = s.TIFFJPEGQuality;
  TIFFJPEGColorSpace = s.TIFFJPEGColorSpace;

  GIFVersion = s.GIFVersion;
  GIFImageIndex = s.GIFImageIndex;
  GIFLeft = s.GIFLeft;
  GIFTop = s.GIFTop;
  GIFDelay = s.GIFDelay;
  GIFTransparent = s.GIFTransparent;
  GIFTransparentColor = s.GIFTransparentColor;
  GIFInterlaced = s.GIFInterlaced;
  GIFScreenWidth = s.GIFScreenWidth;
  GIFScreenHeight = s.GIFScreenHeight;
  GIFBackground = s.GIFBackground;
  GIFAspect = s.GIFAspect;
  GIFComments = s.GIFComments;
  GIFDisposal = s.GIFDisposal;
  GIFDecompressor = s.GIFDecompressor;
  GIFCompressor = s.GIFCompressor;

  JPEGColorSpace = s.JPEGColorSpace;
  JPEGQuality = s.JPEGQuality;
  JPEGDCTMethod = s.JPEGDCTMethod;
  JPEGOptimalHuffman = s.JPEGOptimalHuffman;
  JPEGSmoothing = s.JPEGSmoothing;
  JPEGProgressive = s.JPEGProgressive;
  JPEGScale = s.JPEGScale;
  JPEGMarkers->AssignMarkers(s.JPEGMarkers.get());
  JPEGWarningInfo = s.JPEGWarningInfo;
  JPEGWarningCode = s.JPEGWarningCode;
  JPEGOriginalWidth = s.JPEGOriginalWidth;
  JPEGOriginalHeight = s.JPEGOriginalHeight;

  J2KColorSpace = s.J2KColorSpace;
  J2KRate = s.J2KRate;
  J2KProgression = s.J2KProgression;

  PCXVersion = s.PCXVersion;
  PCXCompression = s.PCXCompression;
  BMPVersion = s.BMPVersion;
  BMPCompression = s.BMPCompression;
  IconImageIndex = s.IconImageIndex;
  IconBackground = s.IconBackground;
  CursorImageIndex = s.CursorImageIndex;
  CursorHotSpotX = s.CursorHotSpotX;
  CursorHotSpotY = s.CursorHotSpotY;
  CursorBackground = s.CursorBackground;

  PNGInterlaced = s.PNGInterlaced;
  PNGBackground = s.PNGBackground;
  PNGFilter = s.PNGFilter;
  PNGCompression = s.PNGCompression;
  TGAXPosition = s.TGAXPosition;
  TGAYPosition = s.TGAYPosition;
  TGACompressed = s.TGACompressed;
  TGADescriptor = s.TGADescriptor;
  TGAAuthor = s.TGAAuthor;
  TGADate = s.TGADate;
  TGAImageName = s.TGAImageName;
  TGABackground = s.TGABackground;
  TGAAspectRatio = s.TGAAspectRatio;
  TGAGamma = s.TGAGamma;
  TGAGrayLevel = s.TGAGrayLevel;

  IPTCInfo->AssignRecords(s.IPTCInfo.get());
  ImagingAnnotations->AssignAnnotations(s.ImagingAnnotations.get());
  PXMComments = s.PXMComments;
  EXIFPresent = s.EXIFPresent;
  if (s.EXIFThumbnail) EnsureEXIFThumbnail()->Assign(s.EXIFThumbnail.get());

  EXIFImageDescription = s.EXIFImageDescription;
  EXIFMake = s.EXIFMake;
  EXIFModel = s.EXIFModel;
  exifOrientation_ = s.exifOrientation_;
  // The resolution was assigned above; the EXIF values may differ (e.g. after ResetEXIF).
  exifXResolution_ = s.exifXResolution_;
  exifYResolution_ = s.exifYResolution_;
  EXIFResolutionUnit = s.EXIFResolutionUnit;
  EXIFSoftware = s.EXIFSoftware;
  EXIFDateTime = s.EXIFDateTime;
  EXIFWhitePoint = s.EXIFWhitePoint;
  EXIFPrimaryChromaticities = s.EXIFPrimaryChromaticities;
  EXIFYCbCrCoefficients = s.EXIFYCbCrCoefficients;
  EXIFYCbCrPositioning = s.EXIFYCbCrPositioning;
  EXIFReferenceBlackWhite = s.EXIFReferenceBlackWhite;
  EXIFCopyright = s.EXIFCopyright;
  EXIFExposureTime = s.EXIFExposureTime;
  EXIFFNumber = s.EXIFFNumber;
  EXIFExposureProgram = s.EXIFExposureProgram;
  EXIFISOSpeedRatings = s.EXIFISOSpeedRatings;
  EXIFExifVersion = s.EXIFExifVersion;
  EXIFDateTimeOriginal = s.EXIFDateTimeOriginal;
  EXIFDateTimeDigitized = s.EXIFDateTimeDigitized;
  EXIFCompressedBitsPerPixel = s.EXIFCompressedBitsPerPixel;
  EXIFShutterSpeedValue = s.EXIFShutterSpeedValue;
  EXIFApertureValue = s.EXIFApertureValue;
  EXIFBrightnessValue = s.EXIFBrightnessValue;
  EXIFExposureBiasValue = s.EXIFExposureBiasValue;
  EXIFMaxApertureValue = s.EXIFMaxApertureValue;
  EXIFSubjectDistance = s.EXIFSubjectDistance;
  EXIFMeteringMode = s.EXIFMeteringMode;
  EXIFLightSource = s.EXIFLightSource;
  EXIFFlash = s.EXIFFlash;
  EXIFFocalLength = s.EXIFFocalLength;
  EXIFSubsecTime = s.EXIFSubsecTime;
  EXIFSubsecTimeOriginal = s.EXIFSubsecTimeOriginal;
  EXIFSubsecTimeDigitized = s.EXIFSubsecTimeDigitized;
  EXIFFlashPixVersion = s.EXIFFlashPixVersion;
  EXIFColorSpace = s.EXIFColorSpace;
  EXIFPixelXDimension = s.EXIFPixelXDimension;
  EXIFPixelYDimension = s.EXIFPixelYDimension;
  EXIFRelatedSoundFile = s.EXIFRelatedSoundFile;
  EXIFFocalPlaneXResolution = s.EXIFFocalPlaneXResolution;
  EXIFFocalPlaneYResolution = s.EXIFFocalPlaneYResolution;
  EXIFFocalPlaneResolutionUnit = s.EXIFFocalPlaneResolutionUnit;
  EXIFExposureIndex = s.EXIFExposureIndex;
  EXIFSensingMethod = s.EXIFSensingMethod;
  EXIFFileSource = s.EXIFFileSource;
  EXIFSceneType = s.EXIFSceneType;
  EXIFUserComment = s.EXIFUserComment;
  EXIFUserCommentCode = s.EXIFUserCommentCode;

  AVIFrameCount = s.AVIFrameCount;
  AVIFrameDelay = s.AVIFrameDelay;
  PSPaperWidth = s.PSPaperWidth;
  PSPaperHeight = s.PSPaperHeight;
  PSCompression = s.PSCompression;
  PSTitle = s.PSTitle;
  PDFPaperWidth = s.PDFPaperWidth;
  PDFPaperHeight = s.PDFPaperHeight;
  PDFCompression = s.PDFCompression;
  PDFTitle = s.PDFTitle;
  PDFAuthor = s.PDFAuthor;
  PDFSubject = s.PDFSubject;
  PDFKeywords = s.PDFKeywords;
  PDFCreator = s.PDFCreator;
  PDFProducer = s.PDFProducer;

  FileName = s.FileName;
  // The palette is the source's own block, or none.
  if (s.ColorMapCount > 0 && !s.ColorMap.empty()) {
    ColorMap.assign(s.ColorMap.begin(), s.ColorMap.begin() + std::min<size_t>(size_t(s.ColorMapCount), s.ColorMap.size()));
    ColorMapCount = int32_t(ColorMap.size());
  } else {
    FreeColorMap();
  }
  GIFImageCount = s.GIFImageCount;
  TIFFImageCount = s.TIFFImageCount;
  IconSizes = s.IconSizes;
  IconBitCounts = s.IconBitCounts;
}

std::string TIOParamsVals::DescriptiveName() const {
  std::string text;
  if (const TIOFileFormatInfo* f = IOFindFormatByType(FileType))
    text = f->DisplayName + " (" + f->MainExtension() + ")";
  if (const TIOFormat* row = IOFormatRow(FileType); row && row->Detail) text += row->Detail(*this);
  return text;
}
