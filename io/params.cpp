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
  // Width, Height and the resolution stay unless the owner has them.
  const int32_t width = Width, height = Height, dpiX = dpiX_, dpiY = dpiY_;
  static_cast<TIOParamsFields&>(*this) = TIOParamsFields{};
  Width = width;
  Height = height;
  dpiX_ = dpiX;
  dpiY_ = dpiY;
  FreeColorMap();
  if (OwnerIO) {
    if (TBitmap* graphic = OwnerIO->GetTBitmap()) {
      Width = graphic->Width();
      Height = graphic->Height();
    }
    // The view's resolution, with the EXIF resolutions left empty like the rest of the block.
    if (TIOViewLink* view = OwnerIO->AttachedView()) {
      dpiX_ = view->LinkDpiX();
      dpiY_ = view->LinkDpiY();
    }
  }
  JPEGMarkers->ClearMarkers();
  IPTCInfo->ClearRecords();
  ImagingAnnotations->ClearAnnotations();
  EXIFThumbnail.reset();
}

void TIOParamsVals::ResetEXIF() {
  // TIFFOrientation and the resolution itself keep their values.
  static_cast<TIOParamsEXIF&>(*this) = TIOParamsEXIF{};
  EXIFThumbnail.reset();
}

void TIOParamsVals::ResetInfo() {
  static_cast<TIOParamsInfo&>(*this) = TIOParamsInfo{};
  IPTCInfo->ClearRecords();
  ImagingAnnotations->ClearAnnotations();
  JPEGMarkers->ClearMarkers();
  ResetEXIF();
}

void TIOParamsVals::Assign(const TIOParamsVals& s) {
  if (&s == this) return;
  const bool native = NativePixelFormat;
  static_cast<TIOParamsFields&>(*this) = s;
  NativePixelFormat = native;
  if (ColorMap.empty()) FreeColorMap();  // the palette is the source's own block, or none
  JPEGMarkers->AssignMarkers(s.JPEGMarkers.get());
  IPTCInfo->AssignRecords(s.IPTCInfo.get());
  ImagingAnnotations->AssignAnnotations(s.ImagingAnnotations.get());
  if (s.EXIFThumbnail) EnsureEXIFThumbnail()->Assign(s.EXIFThumbnail.get());
}

std::string TIOParamsVals::DescriptiveName() const {
  std::string text;
  if (const TIOFileFormatInfo* f = IOFindFormatByType(FileType))
    text = f->DisplayName + " (" + f->MainExtension() + ")";
  if (const TIOFormat* row = IOFormatRow(FileType); row && row->Detail) text += row->Detail(*this);
  return text;
}
