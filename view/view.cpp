#include "view/view.h"

#include "platform/bitmap.h"

#if __has_include("io/controller.h")
#include "io/controller.h"
#else
class TTalvexIO {};
#endif
#if __has_include("proc/talvexproc.h")
#include "proc/talvexproc.h"
#else
class TTalvexProc {};
#endif

namespace {
constexpr int32_t kSysBtnFace = int32_t(0x80000000u | 15u);
}

TLXView::TLXView() : background_(kSysBtnFace) {}

TLXView::~TLXView() {
  for (auto& l : listeners_)
    if (l.callback) l.callback(l.context, this, 1);
}

void TLXView::SetDpiX(int value) { if (value != 0) dpiX_ = value; }
void TLXView::SetDpiY(int value) { if (value != 0) dpiY_ = value; }
void TLXView::SetDPI(int dpiX, int dpiY) { SetDpiX(dpiX); SetDpiY(dpiY); }

int TLXView::AddListener(TLXViewListener callback, void* context) {
  listeners_.push_back({callback, context});
  return int(listeners_.size()) - 1;
}

void TLXView::RemoveListener(int handle) {
  if (handle >= 0 && handle < int(listeners_.size())) listeners_[handle] = {};
}

void TLXView::NotifyListeners() {
  for (size_t i = 0; i < listeners_.size(); ++i)
    if (listeners_[i].callback) listeners_[i].callback(listeners_[i].context, this, 0);
}

TTalvexView::TTalvexView(TLXViewHost* host) : host_(host) {
  platformBitmap_ = std::make_unique<TBitmap>();
  bitmap_ = std::make_unique<TLXBitmap>();
  layer_.Bitmap = bitmap_.get();
  backBuffer_ = std::make_unique<TBitmap>();
  dpiX_ = dpiY_ = 300;
  allowUpdate_ = true;
}

TTalvexView::~TTalvexView() = default;

void TTalvexView::SetHost(TLXViewHost* host) { host_ = host; }
TLXBitmap* TTalvexView::AlphaChannel() { return bitmap_->AlphaChannel(); }
bool TTalvexView::HasAlphaChannel() { return bitmap_->HasAlphaChannel(); }
void TTalvexView::RemoveAlphaChannel(bool) {}
bool TTalvexView::IsEmpty() { return bitmap_->IsEmpty(); }
void TTalvexView::SetLayer(int) {}
void TTalvexView::SetLegacyBitmap(bool value) { legacyBitmap_ = value; }
void TTalvexView::Clear() {}
TTalvexIO* TTalvexView::ViewIO() { return viewIO_.get(); }
TTalvexProc* TTalvexView::ViewProc() { return viewProc_.get(); }
void TTalvexView::SetBackground(int32_t colour) { background_ = colour; }
void TTalvexView::SetBackgroundStyle(TLXBackgroundStyle value) { backgroundStyle_ = value; }
void TTalvexView::SetCenter(bool value) { center_ = value; }
void TTalvexView::SetAutoShrink(bool value) { autoShrink_ = value; }
void TTalvexView::SetAutoStretch(bool value) { autoStretch_ = value; }
void TTalvexView::SetAutoFit(bool value) { autoFit_ = value; }
void TTalvexView::SetScrollBars(TLXScrollStyle value) { scrollBars_ = value; }
void TTalvexView::SetZoomFilter(TResampleFilter value) { zoomFilter_ = value; }
void TTalvexView::SetEnableAlphaChannel(bool value) { enableAlphaChannel_ = value; }
void TTalvexView::SetCursor(int cursor) { Cursor = cursor; }
void TTalvexView::SetZoom(double zoom) { zoom_ = zoom; }
void TTalvexView::SetZoomValue(double zoom) { zoom_ = zoom; }
double TTalvexView::FitZoom() { return 100; }
void TTalvexView::Fit() {}
void TTalvexView::ZoomAt(int, int, double zoom) { SetZoom(zoom); }
void TTalvexView::SetViewX(int x) { viewX_ = x; }
void TTalvexView::SetViewY(int y) { viewY_ = y; }
void TTalvexView::SetViewXY(int x, int y) { viewX_ = x; viewY_ = y; }
void TTalvexView::MaxViewXY(int& maxX, int& maxY) { maxX = maxY = 0; }
int TTalvexView::ViewWidth() { return host_ ? host_->ClientWidth() : 50; }
int TTalvexView::ViewHeight() { return host_ ? host_->ClientHeight() : 50; }
bool TTalvexView::HasParentWindow() { return host_ != nullptr; }
void TTalvexView::ComputeExtents() {}
void TTalvexView::BuildMapTables() {}
void TTalvexView::ComputeVisibleRect() {}
int TTalvexView::XScreenToBitmap(int x) { return x; }
int TTalvexView::YScreenToBitmap(int y) { return y; }
int TTalvexView::XBitmapToScreen(int x) { return x; }
int TTalvexView::YBitmapToScreen(int y) { return y; }
void TTalvexView::Update() {}
void TTalvexView::ImageChange() { if (OnImageChange) OnImageChange(this); }
void TTalvexView::ViewChange(int change) { if (OnViewChange) OnViewChange(this, change); }
void TTalvexView::LockPaint() { ++paintLock_; }
int TTalvexView::UnlockPaint() { if (paintLock_ > 0) --paintLock_; return paintLock_; }
int TTalvexView::ReleasePaintLock() { if (paintLock_ > 0) --paintLock_; return paintLock_; }
void TTalvexView::PostRefresh() { Update(); }
void TTalvexView::Paint() {}
void TTalvexView::PaintBackBuffer(const TLXRect&) {}
void TTalvexView::DrawTo(TBitmap*, std::vector<uint8_t*>&, const TLXRect*) {}
void TTalvexView::PaintBackground(bool) {}
void TTalvexView::PaintEvent(const TLXRect&) {}
void TTalvexView::Resize() { Update(); }
void TTalvexView::TimerTick() {}
void TTalvexView::ScrollMessage(TLXScrollBarKind, TLXScrollCode, int) {}
bool TTalvexView::MouseWheel(int, bool, int, int) { return false; }
void TTalvexView::HandleMessage(int message) { if (message == kViewRefreshMessage) Update(); }
void TTalvexView::AutoZoom() {}
void TTalvexView::UpdateScrollBars(bool& sizeChanged) { sizeChanged = false; }
void TTalvexView::ArmFilterDelay(double) {}
void TTalvexView::TimerStep() {}
void TTalvexView::ClampToSource(TLXRect&) const {}
int TTalvexView::LineStep(const TLXScrollBarParams&) const { return 1; }
int TTalvexView::PageStep(const TLXScrollBarParams&, int viewSize) const { return viewSize; }
void TTalvexView::SyncTimer() {}
