#include "io/controller.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "image/bitmap.h"
#include "io/formattable.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "proc/resample.h"

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Lower-cased extension without its dot, e.g. "jpg"; empty when the name has none.
std::string ExtensionOf(const std::string& name) {
  std::string ext = Lower(ExtractFileExt(name));
  if (!ext.empty()) ext.erase(0, 1);
  return ext;
}

}  // namespace

// ---------------------------------------------------------------- lifecycle

TTalvexIO::TTalvexIO() {
  NewOwnBitmap();
  params_ = std::make_unique<TIOParamsVals>(this);
}

TTalvexIO::~TTalvexIO() { Unregister(); }

void TTalvexIO::NewOwnBitmap() {
  ownBitmap_ = std::make_unique<TLXBitmap>();
  bitmap_ = ownBitmap_.get();
}

void TTalvexIO::ReleaseTarget() {
  ownBitmap_.reset();
  bitmap_ = nullptr;
}

void TTalvexIO::Unregister() {
  if (view_ && viewHandle_ >= 0) view_->LinkUnregister(viewHandle_);
  view_ = nullptr;
  viewHandle_ = -1;
}

void TTalvexIO::SetNativePixelFormat(bool value) {
  nativePixelFormat_ = value;
  params_->NativePixelFormat = value;
}

int32_t TTalvexIO::Background() { return view_ ? view_->LinkBackground() : background_; }

void TTalvexIO::SetBackground(int32_t colour) {
  if (!view_) background_ = colour;
}

// ---------------------------------------------------------------- attaching

void TTalvexIO::SetAttachedView(TIOViewLink* view) {
  Unregister();
  graphic_ = nullptr;
  if (!view) {
    NewOwnBitmap();
    return;
  }
  view_ = view;
  if (TLXBitmap* own = view->LinkBitmap()) {
    ReleaseTarget();
    bitmap_ = own;
  } else {
    NewOwnBitmap();
    graphic_ = view->LinkPlatformBitmap();
    if (graphic_) bitmap_->CopyFromTBitmap(graphic_);
  }
  viewHandle_ = view->LinkRegister(&TTalvexIO::ViewCallback, this);
}

void TTalvexIO::ViewCallback(void* context, TIOViewEvent event) {
  auto* io = static_cast<TTalvexIO*>(context);
  if (!io->view_) return;
  if (event == ioveBitmapChanged) {
    if (TLXBitmap* b = io->view_->LinkBitmap()) {
      io->ReleaseTarget();
      io->bitmap_ = b;
      io->graphic_ = nullptr;
    }
  } else if (event == ioveDestroying) {
    // The view's bitmap goes with it: fall back to an own one rather than keep a dangling target.
    io->view_ = nullptr;
    io->viewHandle_ = -1;
    io->graphic_ = nullptr;
    if (!io->OwnsBitmap()) io->NewOwnBitmap();
  }
}

void TTalvexIO::AttachBitmap(TLXBitmap* bitmap) {
  if (!bitmap && view_) return;
  Unregister();
  ReleaseTarget();
  bitmap_ = bitmap;
  graphic_ = nullptr;
}

void TTalvexIO::AttachTBitmap(TBitmap* bitmap) {
  if (!bitmap && view_) return;
  Unregister();
  NewOwnBitmap();
  graphic_ = bitmap;
  if (graphic_) bitmap_->CopyFromTBitmap(graphic_);
}

TBitmap* TTalvexIO::GetTBitmap() {
  if (bitmap_ && bitmap_->Location() == lxTBitmap) return bitmap_->SystemBitmap();
  return graphic_;
}

// ---------------------------------------------------------------- supporting operations

TIOProgress TTalvexIO::MakeProgress(bool withCallback) {
  TIOProgress p;
  p.abort = &AbortFlag;
  if (withCallback) {
    p.callback = OnProgress.Callback;
    p.context = OnProgress.Context;
    p.sender = this;
  }
  return p;
}

void TTalvexIO::FinishWork() {
  if (OnProgress.Callback) OnProgress.Callback(OnProgress.Context, this, 100);
  if (OnFinishWork.Callback) OnFinishWork.Callback(OnFinishWork.Context, this);
}

bool TTalvexIO::PrepareBitmap() {
  if (!bitmap_) return false;
  if (graphic_) bitmap_->CopyFromTBitmap(graphic_);
  return true;
}

void TTalvexIO::UpdateAttached() {
  if (graphic_ && bitmap_) {
    bitmap_->RemoveAlphaChannel();
    // The caller's platform bitmap shows what was loaded.
    if (!view_) bitmap_->CopyToTBitmap(graphic_);
  }
  if (view_) {
    if (IsIOThread())
      view_->LinkPostRefresh();
    else
      view_->LinkRefresh();
    view_->LinkImageChanged();
  }
}

void TTalvexIO::AdjustDPI() {
  TIOParamsVals& p = *params_;
  if (p.dpiX_ == p.dpiY_ || p.dpiX_ <= 0 || p.dpiY_ <= 0 || !PrepareBitmap() || bitmap_->IsEmpty()) return;
  const int w = bitmap_->Width(), h = bitmap_->Height();
  const bool tall = h < w;  // the smaller side is rescaled
  const double scaled = tall ? double(h) / p.dpiY_ * p.dpiX_ : double(w) / p.dpiX_ * p.dpiY_;
  const int64_t side = int64_t(std::trunc(scaled));
  const int newW = tall ? w : int(std::min<int64_t>(side, INT32_MAX));
  const int newH = tall ? int(std::min<int64_t>(side, INT32_MAX)) : h;
  // An absurd ratio must not turn into an absurd allocation.
  if (side <= 0 || !CheckedImageBytes(newW, newH, 24)) return;
  StretchForDPI(bitmap_, newW, newH, FilteredAdjustDPI);
  if (bitmap_->Width() != newW || bitmap_->Height() != newH) return;
  if (tall) {
    p.dpiY_ = p.dpiX_;
    p.Height = newH;
  } else {
    p.dpiX_ = p.dpiY_;
    p.Width = newW;
  }
}

bool TTalvexIO::IsIOThread() {
  std::lock_guard<std::mutex> guard(lock_);
  return std::find(ioThreads_.begin(), ioThreads_.end(), std::this_thread::get_id()) != ioThreads_.end();
}

void TTalvexIO::ApplyDefaultDpi() {
  if (params_->DpiX() < 2) params_->SetDpiX(kIODefaultDpi);
  if (params_->DpiY() < 2) params_->SetDpiY(kIODefaultDpi);
}

void TTalvexIO::ConvertForWriter() {
  if (!bitmap_ || bitmap_->IsEmpty()) return;
  const TLXPixelFormat f = bitmap_->PixelFormat();
  if (f != lx24RGB && f != lx1g) bitmap_->SetPixelFormat(lx24RGB);
}

// ---------------------------------------------------------------- dispatching operations

void TTalvexIO::LoadFile(const std::string& fileName) {
  if (!bitmap_) return;
  if (fileName.empty()) {
    AbortFlag = true;
    FinishWork();
    return;
  }
  if (const TIOFormat* row = IOFormatRowForName(fileName)) {
    LoadRowFile(*row, fileName);  // an address, whatever its extension says
    return;
  }
  const std::string ext = ExtensionOf(fileName);
  if (const TIOFormat* row = IOFormatRowForExtension(ext, iorLoadByExtension))
    LoadRowFile(*row, fileName);
  else
    LoadRegistryFile(fileName, ioUnknown, ext);
}

void TTalvexIO::LoadFileAs(const std::string& fileName, int32_t fileType) {
  const TIOFormat* row = IOFormatRow(fileType);
  if (row && row->Has(iorLoadByCode))
    LoadRowFile(*row, fileName);
  else
    LoadRegistryFile(fileName, fileType, std::string());
}

void TTalvexIO::SaveFile(const std::string& fileName) {
  if (fileName.empty()) return;
  const std::string ext = ExtensionOf(fileName);
  if (const TIOFormat* row = IOFormatRowForExtension(ext, iorSave))
    SaveCodecFile(fileName, row->FileType);
  else
    SaveRegistryFile(fileName, ext);
}

void TTalvexIO::LoadStream(TStream& stream) {
  const int64_t pos = stream.Position();
  const int32_t code = DetectStreamFormat(stream);
  stream.SetPosition(pos);
  LoadStreamAs(stream, code);
}

void TTalvexIO::LoadStreamAs(TStream& stream, int32_t fileType) {
  const TIOFormat* row = IOFormatRow(fileType);
  if (row && row->Has(iorLoadStream))
    LoadCodecStream(stream, fileType);
  else
    LoadRegistryStream(stream, fileType);
}

void TTalvexIO::SaveStream(TStream& stream, int32_t fileType) {
  const TIOFormat* row = IOFormatRow(fileType);
  if (row && row->Has(iorSave))
    SaveCodecStream(stream, fileType);
  else
    SaveRegistryStream(stream, fileType);
}

void TTalvexIO::ReadParamsFile(const std::string& fileName) {
  ReadParamsFileAs(fileName, DetectFileFormat(fileName, true));
}

void TTalvexIO::ReadParamsStream(TStream& stream) {
  const int64_t pos = stream.Position();
  const int32_t code = DetectStreamFormat(stream);
  stream.SetPosition(pos);
  ReadParamsStreamAs(stream, code);
}
