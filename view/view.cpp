#include "view/view.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "io/controller.h"
#include "platform/bitmap.h"
#include "platform/draw.h"
#include "platform/metrics.h"
#include "platform/syscolors.h"

namespace {

// Real-to-integer conversions that stay defined for NaN, infinities and values
// beyond the integer range (hostile sizes and zero scales reach them).
int TruncI(double v) {
  if (!(v == v)) return 0;
  if (v >= double(INT_MAX)) return INT_MAX;
  if (v <= double(INT_MIN)) return INT_MIN;
  return int(v);
}

// Round half to even (the default rounding mode).
int RoundI(double v) { return TruncI(std::nearbyint(v)); }

// Longest zoomed side the map tables are built for (64 MiB per table).
constexpr double kMaxZoomedSide = double(1 << 24);

// Size of a control that has no window.
constexpr int kDetachedControlSize = 105;
constexpr int kDetachedViewSize = 50;

}  // namespace

// ---------------------------------------------------------------- TLXView

TLXView::TLXView() : background_(clBtnFace) {}

TLXView::~TLXView() { NotifyDestroying(); }

void TLXView::NotifyDestroying() {
  if (destroyNotified_) return;
  destroyNotified_ = true;
  auto list = std::move(listeners_);
  for (auto& l : list)
    if (l.callback) l.callback(l.context, this, 1);
}

void TLXView::SetDpiX(int value) {
  if (value != 0) dpiX_ = value;
}
void TLXView::SetDpiY(int value) {
  if (value != 0) dpiY_ = value;
}
void TLXView::SetDPI(int dpiX, int dpiY) {
  SetDpiX(dpiX);
  SetDpiY(dpiY);
}

int TLXView::AddListener(TLXViewListener callback, void* context) {
  listeners_.push_back({callback, context});
  return int(listeners_.size()) - 1;
}

void TLXView::RemoveListener(int handle) {
  if (handle >= 0 && handle < int(listeners_.size())) listeners_[size_t(handle)] = {};
}

void TLXView::NotifyListeners() {
  // By index: a callback may add or remove listeners.
  for (size_t i = 0; i < listeners_.size(); ++i) {
    Listener l = listeners_[i];
    if (l.callback) l.callback(l.context, this, 0);
  }
}

// ---------------------------------------------------------------- construction

TTalvexView::TTalvexView(TLXViewHost* host) : host_(host) {
  dpiX_ = dpiY_ = 300;
  platformBitmap_ = std::make_unique<TBitmap>();
  platformBitmap_->SetBitsPerPixel(24);
  bitmap_ = std::make_unique<TLXBitmap>();
  bitmap_->AttachTBitmap(platformBitmap_.get(), true);
  layer_.Bitmap = bitmap_.get();
  backBuffer_ = std::make_unique<TBitmap>();
  backBuffer_->SetBitsPerPixel(24);
  zoom_ = 100;
  factor_ = inverse_ = 1;
  allowUpdate_ = true;
}

TTalvexView::~TTalvexView() {
  if (host_) host_->StopTimer();
  allowUpdate_ = false;
  // Whoever holds on to this view forgets it while it is still whole.
  NotifyDestroying();
  auto links = std::move(links_);
  for (auto& l : links)
    if (l.callback) l.callback(l.context, ioveDestroying);
  auto procs = std::move(procs_);
  for (TTalvexProc* p : procs) p->ViewDestroyed(this);
  if (viewProc_) viewProc_->ViewDestroyed(this);
  viewIO_.reset();
  viewProc_.reset();
  layer_.Bitmap = nullptr;
  bitmap_.reset();  // before the platform bitmap it may be attached to
}

void TTalvexView::SetHost(TLXViewHost* host) {
  if (host_ == host) return;
  if (host_ && timerRunning_) host_->StopTimer();
  timerRunning_ = false;
  host_ = host;
  backDirty_ = fullRepaint_ = true;
  SyncTimer();
  Update();
}

// ---------------------------------------------------------------- image

TBitmap* TTalvexView::PlatformBitmap() {
  if (!legacyBitmap_) return nullptr;
  return bitmap_->Location() == lxTBitmap ? bitmap_->SystemBitmap() : nullptr;
}

TLXBitmap* TTalvexView::AlphaChannel() { return bitmap_->AlphaChannel(); }
bool TTalvexView::HasAlphaChannel() { return bitmap_->HasAlphaChannel(); }

void TTalvexView::RemoveAlphaChannel(bool merge) {
  TLXBitmap* bmp = bitmap_.get();
  if (merge && bmp->PixelFormat() == lx24RGB && bmp->HasAlphaChannel()) {
    TLXBitmap* alpha = bmp->AlphaChannel();
    const uint32_t bg = ColorToRGB(background_);
    const int br = ColorR(bg), bgG = ColorG(bg), bb = ColorB(bg);
    const int w = std::min(bmp->Width(), alpha->Width());
    const int h = std::min(bmp->Height(), alpha->Height());
    for (int y = 0; y < h; ++y) {
      uint8_t* p = bmp->Scanline(y);
      const uint8_t* a = alpha->Scanline(y);
      for (int x = 0; x < w; ++x, p += 3) {
        const int t = a[x];
        // An arithmetic shift is the floor of a negative product too.
        p[0] = uint8_t(bb + (((p[0] - bb) * t) >> 8));
        p[1] = uint8_t(bgG + (((p[1] - bgG) * t) >> 8));
        p[2] = uint8_t(br + (((p[2] - br) * t) >> 8));
      }
    }
  }
  bmp->RemoveAlphaChannel();
}

bool TTalvexView::IsEmpty() { return bitmap_->IsEmpty(); }

// There is exactly one layer.
void TTalvexView::SetLayer(int) {}

void TTalvexView::SetLegacyBitmap(bool value) {
  if (value == legacyBitmap_) return;
  legacyBitmap_ = value;
  if (value) {
    bitmap_->SetLocation(lxTBitmap);
  } else {
    bitmap_->SetLocation(lxFile);
    platformBitmap_.reset();
  }
  NotifyListeners();
  Update();
}

void TTalvexView::Clear() {
  TLXBitmap* bmp = bitmap_.get();
  if (bmp->PixelFormat() == lxNone) {
    bmp->Allocate(1, 1, lx24RGB);
  } else {
    bmp->SetWidth(1);
    bmp->SetHeight(1);
  }
  bmp->Fill(double(background_));
  RemoveAlphaChannel(false);
  Update();
}

// ---------------------------------------------------------------- own components

namespace {
void ForwardIOProgress(void* context, void* sender, int percent) {
  auto* view = static_cast<TTalvexView*>(context);
  if (view->OnProgress) view->OnProgress(sender, percent);
}
}  // namespace

TTalvexIO* TTalvexView::ViewIO() {
  if (!viewIO_) {
    viewIO_ = std::make_unique<TTalvexIO>();
    viewIO_->SetAttachedView(this);
    viewIO_->OnProgress = {ForwardIOProgress, this};
  }
  return viewIO_.get();
}

TTalvexProc* TTalvexView::ViewProc() {
  if (!viewProc_) {
    viewProc_ = std::make_unique<TTalvexProc>(this);
    viewProc_->OnProgress = OnProgress;
  }
  return viewProc_.get();
}

void TTalvexView::SetOnProgress(TLXProgressEvent handler) {
  OnProgress = std::move(handler);
  if (viewProc_) viewProc_->OnProgress = OnProgress;
}

void TTalvexView::ProcAttached(TTalvexProc* proc) {
  if (proc && proc != viewProc_.get() && std::find(procs_.begin(), procs_.end(), proc) == procs_.end())
    procs_.push_back(proc);
}

void TTalvexView::ProcDetached(TTalvexProc* proc) { std::erase(procs_, proc); }

int TTalvexView::LinkRegister(TIOViewCallback callback, void* context) {
  links_.push_back({callback, context});
  return int(links_.size()) - 1;
}

void TTalvexView::LinkUnregister(int handle) {
  if (handle >= 0 && handle < int(links_.size())) links_[size_t(handle)] = {};
}

void TTalvexView::NotifyListeners() {
  TLXView::NotifyListeners();
  for (size_t i = 0; i < links_.size(); ++i) {
    LinkEntry l = links_[i];
    if (l.callback) l.callback(l.context, ioveBitmapChanged);
  }
}

// ---------------------------------------------------------------- settings

void TTalvexView::SetBackground(int32_t colour) {
  background_ = colour;
  Update();
  ImageChange();
}

void TTalvexView::SetBackgroundStyle(TLXBackgroundStyle value) {
  backgroundStyle_ = value;
  Update();
  if (host_) host_->Invalidate();
}

void TTalvexView::SetCenter(bool value) {
  if (value == center_) return;
  center_ = value;
  Update();
}

void TTalvexView::SetAutoShrink(bool value) {
  autoShrink_ = value;
  Update();
}

void TTalvexView::SetAutoStretch(bool value) {
  autoStretch_ = value;
  Update();
}

void TTalvexView::SetAutoFit(bool value) {
  autoFit_ = value;
  Update();
}

void TTalvexView::SetScrollBars(TLXScrollStyle value) {
  if (host_) {
    if (value != ssHorizontal && value != ssBoth) host_->ShowScrollBar(lxsbHorizontal, false);
    if (value != ssVertical && value != ssBoth) host_->ShowScrollBar(lxsbVertical, false);
  }
  scrollBars_ = value;
  Update();
}

void TTalvexView::SetZoomFilter(TResampleFilter value) {
  if (value == zoomFilter_) return;
  zoomFilter_ = value;
  Update();
}

void TTalvexView::SetEnableAlphaChannel(bool value) {
  enableAlphaChannel_ = value;
  Update();
}

void TTalvexView::SetCursor(int cursor) {
  Cursor = cursor;
  if (host_) host_->SetCursor(cursor);
}

// ---------------------------------------------------------------- host metrics

int TTalvexView::ViewWidth() { return host_ ? std::max(host_->ClientWidth(), 0) : kDetachedViewSize; }
int TTalvexView::ViewHeight() { return host_ ? std::max(host_->ClientHeight(), 0) : kDetachedViewSize; }
// Without a window the client is the whole control.
int TTalvexView::ClientWidth() const { return host_ ? std::max(host_->ClientWidth(), 0) : kDetachedControlSize; }
int TTalvexView::ClientHeight() const { return host_ ? std::max(host_->ClientHeight(), 0) : kDetachedControlSize; }
bool TTalvexView::HasParentWindow() { return host_ != nullptr; }
int TTalvexView::ControlWidth() const { return host_ ? host_->ControlWidth() : kDetachedControlSize; }
int TTalvexView::ControlHeight() const { return host_ ? host_->ControlHeight() : kDetachedControlSize; }
int TTalvexView::EdgeWidth() const { return host_ ? host_->EdgeWidth() : GetSystemMetric(SM_CXEDGE); }
int TTalvexView::EdgeHeight() const { return host_ ? host_->EdgeHeight() : GetSystemMetric(SM_CYEDGE); }

// ---------------------------------------------------------------- zoom

// Tables are sized by the zoomed image: keep the longest zoomed side bounded.
double TTalvexView::MaxZoom() const {
  const int side = std::max(imageWidth_, imageHeight_);
  if (side <= 0) return kMaxZoom;
  return std::clamp(kMaxZoomedSide * 100.0 / side, 100.0, kMaxZoom);
}

void TTalvexView::ArmFilterDelay(double zoomTested) {
  if (DelayZoomFilter && zoomFilter_ != rfNone && zoomTested != 100) {
    filterDelay_ = 4;
    animationCounter_ = 2;
    SyncTimer();
  }
}

void TTalvexView::SetZoom(double zoom) {
  if (!(zoom > 0) || !std::isfinite(zoom)) return;
  zoom = std::min(zoom, MaxZoom());
  if (zoom == zoom_) return;
  ArmFilterDelay(zoom_);
  LockPaint();
  SetZoomValue(zoom);
  Update();
  ReleasePaintLock();
  const int composed = compositions_;
  Paint();
  LockPaint();
  Update();
  ComputeVisibleRect();
  BuildMapTables();
  ReleasePaintLock();
  // The second update changes nothing the paint just composed: no need to compose it again.
  if (compositions_ > composed && CurrentKey() == composedKey_) backDirty_ = false;
  ViewChange(1);
}

TTalvexView::CompositionKey TTalvexView::CurrentKey() {
  CompositionKey k;
  k.zoom = zoom_;
  k.viewX = viewX_;
  k.viewY = viewY_;
  k.offsetX = offsetX_;
  k.offsetY = offsetY_;
  k.drawnW = drawnW_;
  k.drawnH = drawnH_;
  k.srcX = srcX_;
  k.srcY = srcY_;
  k.srcW = srcW_;
  k.srcH = srcH_;
  k.viewW = ViewWidth();
  k.viewH = ViewHeight();
  k.imageW = imageWidth_;
  k.imageH = imageHeight_;
  k.filter = filterDelay_ < 1 && zoom_ != 100 ? zoomFilter_ : rfNone;
  return k;
}

void TTalvexView::SetZoomValue(double zoom) {
  if (!(zoom > 0) || !std::isfinite(zoom)) return;
  zoom = std::min(zoom, MaxZoom());
  int maxX = 0, maxY = 0;
  MaxViewXY(maxX, maxY);
  const int cx = ViewWidth() / 2, cy = ViewHeight() / 2;
  const int bx = RoundI(double(cx + viewX_ - offsetX_) * inverse_);
  const int by = RoundI(double(cy + viewY_ - offsetY_) * inverse_);
  viewX_ = std::clamp(TruncI(bx * zoom / 100 - cx), 0, std::max(maxX, 0));
  viewY_ = std::clamp(TruncI(by * zoom / 100 - cy), 0, std::max(maxY, 0));
  zoom_ = zoom;
  factor_ = zoom / 100;
  inverse_ = 100 / zoom;
}

double TTalvexView::FitZoom() {
  int mx, my;
  if (backgroundStyle_ == lxbsCropShadow) {
    mx = my = 5;
  } else {
    mx = EdgeWidth();
    my = EdgeHeight();
  }
  const double w = ControlWidth() - 2 * mx;
  const double h = ControlHeight() - 2 * my;
  if (imageWidth_ <= 0 || imageHeight_ <= 0) return 100;
  const double z = std::min(h / (imageHeight_ / 100.0), w / (imageWidth_ / 100.0));
  return std::isfinite(z) ? z : 100;
}

void TTalvexView::Fit() {
  if (imageWidth_ == 0 || imageHeight_ == 0) return;
  if (host_) {
    host_->ShowScrollBar(lxsbHorizontal, false);
    host_->ShowScrollBar(lxsbVertical, false);
  }
  SetZoom(FitZoom());
}

void TTalvexView::ZoomAt(int x, int y, double zoom) {
  LockPaint();
  const int bx = XScreenToBitmap(x);
  const int by = YScreenToBitmap(y);
  SetZoom(zoom);
  SetViewXY(TruncI(bx * zoom_ / 100 - ViewWidth() / 2), TruncI(by * zoom_ / 100 - ViewHeight() / 2));
  UnlockPaint();
}

void TTalvexView::AutoZoom() {
  if (!(autoStretch_ || autoShrink_ || autoFit_) || imageWidth_ == 0 || imageHeight_ == 0) return;
  int mx, my;
  if (backgroundStyle_ == lxbsCropped) {
    mx = EdgeWidth();
    my = EdgeHeight();
  } else if (backgroundStyle_ == lxbsCropShadow) {
    mx = my = 5;
  } else {
    mx = (ControlWidth() - ClientWidth()) / 2;
    my = (ControlHeight() - ClientHeight()) / 2;
  }
  double z = 100;
  if (imageWidth_ > 1 || imageHeight_ > 1) {
    const int aw = ViewWidth() - 2 * mx, ah = ViewHeight() - 2 * my;
    // A client with no room left keeps the plain zoom.
    if (imageWidth_ > 0 && imageHeight_ > 0 && aw > 0 && ah > 0) {
      const bool widthLimits = double(imageWidth_) / aw > double(imageHeight_) / ah;
      const bool exceeds = widthLimits ? imageWidth_ > aw : imageHeight_ > ah;
      if (exceeds)
        z = (autoShrink_ || autoFit_) ? FitZoom() : 100;
      else
        z = (autoStretch_ || autoFit_) ? FitZoom() : 100;
    }
  }
  if (!std::isfinite(z)) z = 100;
  if (z < 1) z = 1;
  z = std::min(z, MaxZoom());
  zoom_ = z;
  factor_ = z / 100;
  inverse_ = 100 / z;
  ComputeVisibleRect();
  BuildMapTables();
  ViewChange(1);
  filterDelay_ = 0;
  animationCounter_ = 0;
  SyncTimer();
}

// ---------------------------------------------------------------- scrolling

void TTalvexView::MaxViewXY(int& maxX, int& maxY) {
  const int vw = ViewWidth(), vh = ViewHeight();
  int zw = TruncI(imageWidth_ * factor_), zh = TruncI(imageHeight_ * factor_);
  if (zw > vw + 10 || zh > vh + 10) {
    zw = TruncI((imageWidth_ + ScrollMargin) * factor_);
    zh = TruncI((imageHeight_ + ScrollMargin) * factor_);
  }
  maxX = maxY = 0;
  if (zw <= 0 || zh <= 0) return;
  maxX = zw - vw;
  maxY = zh - vh;
  if (maxX < 0 || XScreenToBitmap(maxX) == 0) maxX = 0;
  if (maxY < 0 || YScreenToBitmap(maxY) == 0) maxY = 0;
  if (ControlWidth() >= zw && ControlHeight() >= zh) maxX = maxY = 0;
}

void TTalvexView::SetViewX(int x) {
  if (x == viewX_) return;
  ArmFilterDelay(zoom_);
  int maxX, maxY;
  MaxViewXY(maxX, maxY);
  viewX_ = std::clamp(x, 0, maxX);
  backDirty_ = true;
  Paint();
  ViewChange(0);
  if (host_) host_->SetScrollBarPosition(lxsbHorizontal, TruncI(viewX_ / hScrollScale_));
}

void TTalvexView::SetViewY(int y) {
  if (y == viewY_) return;
  ArmFilterDelay(zoom_);
  int maxX, maxY;
  MaxViewXY(maxX, maxY);
  viewY_ = std::clamp(y, 0, maxY);
  backDirty_ = true;
  Paint();
  ViewChange(0);
  if (host_) host_->SetScrollBarPosition(lxsbVertical, TruncI(viewY_ / vScrollScale_));
}

void TTalvexView::SetViewXY(int x, int y) {
  if (x == viewX_ && y == viewY_) return;
  ArmFilterDelay(zoom_);
  int maxX, maxY;
  MaxViewXY(maxX, maxY);
  x = std::clamp(x, 0, maxX);
  y = std::clamp(y, 0, maxY);
  if (x == viewX_ && y == viewY_) return;
  viewX_ = x;
  viewY_ = y;
  backDirty_ = true;
  Paint();
  ViewChange(0);
  if (host_) {
    host_->SetScrollBarPosition(lxsbHorizontal, TruncI(viewX_ / hScrollScale_));
    host_->SetScrollBarPosition(lxsbVertical, TruncI(viewY_ / vScrollScale_));
  }
}

int TTalvexView::LineStep(const TLXScrollBarParams& p) const {
  const int unit = std::max(TruncI(factor_), 1);
  return p.LineStep == -1 ? unit : unit * p.LineStep;
}

int TTalvexView::PageStep(const TLXScrollBarParams& p, int viewSize) const {
  return p.PageStep == -1 ? viewSize : std::max(TruncI(factor_), 1) * p.PageStep;
}

void TTalvexView::ScrollMessage(TLXScrollBarKind bar, TLXScrollCode code, int thumb) {
  const bool horz = bar == lxsbHorizontal;
  const TLXScrollBarParams& p = horz ? HorizScrollBarParams : VertScrollBarParams;
  const double scale = horz ? hScrollScale_ : vScrollScale_;
  const int viewSize = horz ? ViewWidth() : ViewHeight();
  int maxX, maxY;
  MaxViewXY(maxX, maxY);
  const int cur = horz ? viewX_ : viewY_;
  long long pos = cur;
  switch (code) {
    case lxscLineBack: pos -= LineStep(p); break;
    case lxscLineForward: pos += LineStep(p); break;
    case lxscPageBack: pos -= PageStep(p, viewSize); break;
    case lxscPageForward: pos += PageStep(p, viewSize); break;
    case lxscTop: pos = 0; break;
    case lxscBottom: pos = horz ? maxX : maxY; break;
    case lxscThumbTrack:
      if (!p.Tracking) return;
      pos = TruncI(thumb * scale);
      break;
    case lxscThumbPosition: pos = TruncI(thumb * scale); break;
    case lxscEndScroll: return;
  }
  const int v = int(std::clamp<long long>(pos, INT_MIN, INT_MAX));
  if (horz)
    SetViewX(v);
  else
    SetViewY(v);
}

bool TTalvexView::MouseWheel(int delta, bool control, int x, int y) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, control, delta, x, y, handled);
  if (handled) return true;
  const TLXMouseWheelParams& p = MouseWheelParams;
  if (p.Action == 0 || autoFit_) return false;
  int d = delta > 0 ? -1 : 1;
  if (p.InvertDirection) d = -d;
  if (p.Action == 1) {
    const int size = control ? ViewWidth() : ViewHeight();
    const long long step = p.Variation == 0
                               ? (long long)d * p.Value * std::max(TruncI(factor_), 1)
                               : (long long)d * std::max(RoundI(double(size) * p.Value / 100), 1);
    if (control)
      SetViewX(int(std::clamp<long long>(viewX_ + step, INT_MIN, INT_MAX)));
    else
      SetViewY(int(std::clamp<long long>(viewY_ + step, INT_MIN, INT_MAX)));
  } else if (p.Action == 2) {
    double z = p.Variation == 0 ? zoom_ + d * p.Value
                                : zoom_ + d * std::max(RoundI(p.Value * zoom_ / 100), 1);
    if (z > zoom_ && OnZoomIn)
      OnZoomIn(this, z);
    else if (z < zoom_ && OnZoomOut)
      OnZoomOut(this, z);
    if (p.ZoomAtCursor)
      ZoomAt(x, y, z);
    else
      SetZoom(z);
  }
  return true;
}

// ---------------------------------------------------------------- extents and tables

void TTalvexView::ComputeExtents() {
  zoomedWidth_ = RoundI(imageWidth_ * factor_);
  zoomedHeight_ = RoundI(imageHeight_ * factor_);
  offsetX_ = offsetY_ = 0;
  const int vw = ViewWidth(), vh = ViewHeight();
  displayWidth_ = std::min(zoomedWidth_, vw);
  displayHeight_ = std::min(zoomedHeight_, vh);
  if (center_) {
    if (displayWidth_ < vw) offsetX_ = (vw - displayWidth_) >> 1;
    if (displayHeight_ < vh) offsetY_ = (vh - displayHeight_) >> 1;
  }
}

bool TTalvexView::MapsCurrent() const {
  return mapZoom_ == zoom_ && mapImageW_ == imageWidth_ && mapImageH_ == imageHeight_ &&
         mapDrawnW_ >= 0 && !zoomedToBitmapX_.empty() && !zoomedToBitmapY_.empty();
}

namespace {

// Builds zoomed -> bitmap and bitmap -> zoomed for one direction over `extent`
// zoomed positions. Every entry is set; zoomed -> bitmap never leaves 0..size-1.
void BuildAxis(int size, double zoom, double factor, double inverse, int extent,
               std::vector<int32_t>& z2b, std::vector<int32_t>& b2z) {
  extent = std::max(extent, 1);
  z2b.assign(size_t(extent), std::max(size - 1, 0));
  const int last = std::max(size - 1, 0);
  if (zoom > 100) {
    const int bCount = TruncI((extent - 1) * inverse) + 1;
    b2z.assign(size_t(bCount) + 1, extent - 1);
    for (int j = extent - 1; j >= 0; --j) {
      const int b = std::min(TruncI(j * inverse), bCount - 1);
      b2z[size_t(b)] = j;
      z2b[size_t(j)] = std::min(b, last);
    }
  } else {
    // Bitmap columns whose zoomed position still falls inside the extent.
    const int kCount = std::max(TruncI(std::ceil(extent * inverse)) + 1, 1);
    b2z.assign(size_t(kCount), 0);
    for (int k = kCount - 1; k >= 0; --k) {
      const int z = TruncI(k * factor);
      b2z[size_t(k)] = z;
      if (z >= 0 && z < extent) z2b[size_t(z)] = std::min(k, last);
    }
  }
}

}  // namespace

void TTalvexView::BuildMapTables() {
  if (imageWidth_ <= 0 || imageHeight_ <= 0) return;
  const int vw = std::max(ViewWidth(), 0), vh = std::max(ViewHeight(), 0);
  if (MapsCurrent() && mapDrawnW_ == vw && mapDrawnH_ == vh) return;
  // The zoomed image, one view size (the drawn size never exceeds it by more
  // than one zoomed pixel) and slack.
  const int slack = TruncI(std::ceil(factor_)) + 2;
  const int zw = std::max(RoundI(imageWidth_ * factor_), 1);
  const int zh = std::max(RoundI(imageHeight_ * factor_), 1);
  BuildAxis(imageWidth_, zoom_, factor_, inverse_, zw + vw + slack, zoomedToBitmapX_, bitmapToZoomedX_);
  BuildAxis(imageHeight_, zoom_, factor_, inverse_, zh + vh + slack, zoomedToBitmapY_, bitmapToZoomedY_);
  mapZoom_ = zoom_;
  mapImageW_ = imageWidth_;
  mapImageH_ = imageHeight_;
  mapDrawnW_ = vw;
  mapDrawnH_ = vh;
}

void TTalvexView::ComputeVisibleRect() {
  srcX_ = srcY_ = srcW_ = srcH_ = 0;
  drawnW_ = drawnH_ = 0;
  snapX_ = snapY_ = 0;
  if (imageWidth_ <= 0 || imageHeight_ <= 0) return;
  BuildMapTables();
  const int zw = RoundI(imageWidth_ * factor_), zh = RoundI(imageHeight_ * factor_);
  if (zw <= 0 || zh <= 0) return;
  auto snap = [](int v, const std::vector<int32_t>& z2b, const std::vector<int32_t>& b2z) {
    if (z2b.empty()) return 0;
    const int b = z2b[size_t(std::clamp(v, 0, int(z2b.size()) - 1))];
    return b2z.empty() ? 0 : b2z[size_t(std::clamp(b, 0, int(b2z.size()) - 1))];
  };
  snapX_ = snap(viewX_, zoomedToBitmapX_, bitmapToZoomedX_);
  snapY_ = snap(viewY_, zoomedToBitmapY_, bitmapToZoomedY_);

  auto axis = [this](int size, int zoomed, int s, int display, int& first, int& count, int& drawn) {
    const double r = double(size) / zoomed;
    first = std::clamp(RoundI(s * r), 0, size - 1);
    count = RoundI(r * display);
    if (first + count > size) count = size - first;
    count = std::max(count, 0);
    if (zoom_ <= 100) {
      drawn = display;
    } else {
      drawn = TruncI(count * factor_);
      if (drawn < display && first + count < size) {
        ++count;
        drawn = TruncI(count * factor_);
      }
    }
  };
  axis(imageWidth_, zw, snapX_, displayWidth_, srcX_, srcW_, drawnW_);
  axis(imageHeight_, zh, snapY_, displayHeight_, srcY_, srcH_, drawnH_);
  if (srcW_ == 0 || srcH_ == 0) drawnW_ = drawnH_ = 0;
}

int TTalvexView::XScreenToBitmap(int x) {
  const int d = x - offsetX_;
  if (d >= 0 && d < drawnW_ && MapsCurrent()) {
    const long long i = (long long)snapX_ + d;
    if (i < (long long)zoomedToBitmapX_.size()) return zoomedToBitmapX_[size_t(i)];
  }
  return TruncI(d * inverse_ + srcX_);
}

int TTalvexView::YScreenToBitmap(int y) {
  const int d = y - offsetY_;
  if (d >= 0 && d < drawnH_ && MapsCurrent()) {
    const long long i = (long long)snapY_ + d;
    if (i < (long long)zoomedToBitmapY_.size()) return zoomedToBitmapY_[size_t(i)];
  }
  return TruncI(d * inverse_ + srcY_);
}

int TTalvexView::XBitmapToScreen(int b) {
  const int d = b - srcX_;
  if (d >= 0 && d < srcW_ && MapsCurrent() && b < int(bitmapToZoomedX_.size()))
    return bitmapToZoomedX_[size_t(b)] - snapX_ + offsetX_;
  return RoundI((b - RoundI(snapX_ * inverse_)) * factor_ + offsetX_);
}

int TTalvexView::YBitmapToScreen(int b) {
  const int d = b - srcY_;
  if (d >= 0 && d < srcH_ && MapsCurrent() && b < int(bitmapToZoomedY_.size()))
    return bitmapToZoomedY_[size_t(b)] - snapY_ + offsetY_;
  return RoundI((b - RoundI(snapY_ * inverse_)) * factor_ + offsetY_);
}

// ---------------------------------------------------------------- update cycle

void TTalvexView::UpdateScrollBars(bool& sizeChanged) {
  sizeChanged = false;
  const int vw = ViewWidth(), vh = ViewHeight();
  int maxX, maxY;
  MaxViewXY(maxX, maxY);
  bool moved = false;
  if (viewX_ > maxX) {
    viewX_ = maxX;
    moved = true;
  }
  if (viewY_ > maxY) {
    viewY_ = maxY;
    moved = true;
  }
  if (moved) ViewChange(0);
  auto bar = [&](TLXScrollBarKind kind, int maximum, int viewSize, int pos, double& scale) {
    if (maximum < 1) {
      if (!host_) return;
      if (ScrollBarsAlwaysVisible) {
        host_->ShowScrollBar(kind, true);
        host_->EnableScrollBar(kind, false);
      } else {
        host_->ShowScrollBar(kind, false);
      }
      return;
    }
    scale = (double(viewSize) + maximum) / 65536;
    if (!host_) return;
    host_->SetScrollBarRange(kind, 0, 65535, TruncI(viewSize / scale));
    host_->SetScrollBarPosition(kind, TruncI(pos / scale));
    host_->ShowScrollBar(kind, true);
    host_->EnableScrollBar(kind, true);
  };
  if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) bar(lxsbHorizontal, maxX, vw, viewX_, hScrollScale_);
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) bar(lxsbVertical, maxY, vh, viewY_, vScrollScale_);
  sizeChanged = ViewWidth() != vw || ViewHeight() != vh;
}

void TTalvexView::Update() {
  if (!allowUpdate_) return;
  // A handler that updates from inside the notifications must not recurse forever.
  if (updateDepth_ > 8) return;
  ++updateDepth_;
  // Bars that appear or disappear change the client size: recompute, but a client
  // that flips between two sizes settles after a few rounds.
  for (int round = 0; round < 4; ++round) {
    TLXBitmap* bmp = layer_.Bitmap ? layer_.Bitmap : bitmap_.get();
    imageWidth_ = bmp->Width();
    imageHeight_ = bmp->Height();
    AutoZoom();
    if (bmp->Width() != lastBitmapW_ || bmp->Height() != lastBitmapH_) {
      lastBitmapW_ = bmp->Width();
      lastBitmapH_ = bmp->Height();
    }
    // Checked on every update, not only when the bitmap changed size: a codec may
    // have re-sized the channel alone.
    if (bmp->HasAlphaChannel()) {
      TLXBitmap* alpha = bmp->AlphaChannel();
      if (alpha->Width() != bmp->Width() || alpha->Height() != bmp->Height()) {
        alpha->Allocate(bmp->Width(), bmp->Height(), lx8g);
        alpha->Fill(255);
        alpha->Full = true;
      }
    }
    lastViewW_ = ViewWidth();
    lastViewH_ = ViewHeight();
    bool sizeChanged = false;
    try {
      UpdateScrollBars(sizeChanged);
    } catch (...) {
    }
    if (!sizeChanged) break;
  }
  ComputeExtents();
  backDirty_ = true;
  fullRepaint_ = true;
  if (host_) host_->Invalidate();
  --updateDepth_;
}

void TTalvexView::ImageChange() {
  if (OnImageChange) OnImageChange(this);
}

void TTalvexView::ViewChange(int change) {
  if (OnViewChange) OnViewChange(this, change);
}

void TTalvexView::LockPaint() { ++paintLock_; }

int TTalvexView::UnlockPaint() {
  if (paintLock_ > 0) {
    --paintLock_;
    if (paintLock_ == 0) Update();
  }
  return paintLock_;
}

int TTalvexView::ReleasePaintLock() {
  if (paintLock_ > 0) --paintLock_;
  return paintLock_;
}

void TTalvexView::PostRefresh() {
  if (host_)
    host_->PostViewMessage(kViewRefreshMessage);
  else
    Update();
}

void TTalvexView::HandleMessage(int message) {
  if (message == kViewRefreshMessage) Update();
}

void TTalvexView::Resize() { Update(); }

void TTalvexView::SyncTimer() {
  const bool want = filterDelay_ > 0 || animationCounter_ > 0;
  if (want == timerRunning_ || !host_) {
    if (!host_) timerRunning_ = false;
    return;
  }
  timerRunning_ = want;
  if (want)
    host_->StartTimer(kViewTimerInterval);
  else
    host_->StopTimer();
}

void TTalvexView::TimerStep() {
  if (filterDelay_ > 0) {
    --filterDelay_;
    if (filterDelay_ == 0) Update();
  }
  if (animationCounter_ > 0) --animationCounter_;
  SyncTimer();
}

void TTalvexView::TimerTick() { TimerStep(); }

// ---------------------------------------------------------------- painting

void TTalvexView::Paint() {
  if (host_) host_->RepaintNow();
}

void TTalvexView::PaintEvent(const TRect& clip) {
  try {
    const int vw = ViewWidth(), vh = ViewHeight();
    if (!host_ || vw <= 0 || vh <= 0) return;
    if (paintLock_ == 0) {
      const TRect client = Bounds(0, 0, vw, vh);
      TRect r = fullRepaint_ || clip.IsEmpty() ? client : IntersectRect(clip, client);
      if (r.IsEmpty()) r = client;
      PaintBackBuffer(r);
    }
    fullRepaint_ = false;
    TimerStep();
    if (OnPaint) OnPaint(this);
  } catch (...) {
    // A faulty image must not break the window's paint cycle.
  }
}

void TTalvexView::PaintBackBuffer(const TRect& rect) {
  const int vw = std::max(ViewWidth(), 0), vh = std::max(ViewHeight(), 0);
  if (backBuffer_->Width() != vw || backBuffer_->Height() != vh || backBuffer_->BitsPerPixel() != 24) {
    backBuffer_->SetBitsPerPixel(24);
    backBuffer_->SetSize(vw, vh);
    backRows_.clear();
    backDirty_ = true;
  }
  if (int(backRows_.size()) != vh) {
    backRows_.resize(size_t(vh));
    for (int y = 0; y < vh; ++y) backRows_[size_t(y)] = backBuffer_->ScanLine(y);
  }
  if (backDirty_) {
    // The whole buffer: a partial composition would leave the rest stale once
    // the mark is cleared.
    const TRect all = Bounds(0, 0, vw, vh);
    DrawTo(backBuffer_.get(), backRows_, &all);
    composedKey_ = CurrentKey();
    ++compositions_;
    if (OnDrawBackBuffer) OnDrawBackBuffer(this);
    backDirty_ = false;
  }
  const TRect r = IntersectRect(rect, Bounds(0, 0, vw, vh));
  if (host_ && !r.IsEmpty()) host_->Present(r.left, r.top, r.Width(), r.Height());
}

void TTalvexView::DrawTo(TBitmap* target, std::vector<uint8_t*>& rows, const TRect* clipRect) {
  if (!target) return;
  TLXBitmap* bmp = layer_.Bitmap ? layer_.Bitmap : bitmap_.get();
  imageWidth_ = bmp->Width();
  imageHeight_ = bmp->Height();
  ComputeVisibleRect();
  BuildMapTables();
  if (bmp->Width() == 0 || bmp->Height() == 0) return;
  if (bmp->HasAlphaChannel()) {
    TLXBitmap* a = bmp->AlphaChannel();
    if (a->Width() != bmp->Width() || a->Height() != bmp->Height()) return;
  }
  if (target->BitsPerPixel() != 24) target->SetBitsPerPixel(24);
  if (int(rows.size()) != target->Height()) {
    rows.resize(size_t(target->Height()));
    for (int y = 0; y < target->Height(); ++y) rows[size_t(y)] = target->ScanLine(y);
  }

  bool drawn = false;
  const TLXLayer& layer = layer_;
  if (layer.Visible && drawnW_ > 0 && drawnH_ > 0 && (bmp->Width() > 1 || bmp->Height() > 1)) {
    const bool opaque = !enableAlphaChannel_ || !bmp->HasAlphaChannel() || bmp->AlphaChannel()->Full;
    const bool covers = offsetX_ < 1 && offsetY_ < 1 && drawnW_ >= target->Width() && drawnH_ >= target->Height();
    if (!(covers && opaque && layer.Transparency > 254)) PaintBackgroundTo(target, clipRect);
    const TResampleFilter filter = filterDelay_ < 1 && zoom_ != 100 ? zoomFilter_ : rfNone;
    // Exactly the columns and rows the coordinate mapping gives.
    std::vector<int32_t> xm(static_cast<size_t>(drawnW_)), ym(static_cast<size_t>(drawnH_));
    const int lastX = int(zoomedToBitmapX_.size()) - 1, lastY = int(zoomedToBitmapY_.size()) - 1;
    for (int i = 0; i < drawnW_; ++i) xm[size_t(i)] = zoomedToBitmapX_[size_t(std::min(snapX_ + i, lastX))];
    for (int i = 0; i < drawnH_; ++i) ym[size_t(i)] = zoomedToBitmapY_[size_t(std::min(snapY_ + i, lastY))];
    RenderToTBitmap(bmp, target, &rows, &xm, &ym, clipRect, offsetX_ + layer.PosX, offsetY_ + layer.PosY, drawnW_,
                    drawnH_, srcX_, srcY_, srcW_, srcH_, enableAlphaChannel_, backgroundStyle_ == lxbsSolid,
                    layer.Transparency, filter, true, layer.Operation);
    drawn = true;
  }
  if (!drawn) PaintBackgroundTo(target, nullptr);
  if (DisplayGrid && zoom_ >= 400 && (bmp->Width() > 1 || bmp->Height() > 1)) DrawGrid(target, clipRect);
}

void TTalvexView::PaintBackground(bool all) {
  const int vw = std::max(ViewWidth(), 0), vh = std::max(ViewHeight(), 0);
  if (backBuffer_->Width() != vw || backBuffer_->Height() != vh) {
    backBuffer_->SetBitsPerPixel(24);
    backBuffer_->SetSize(vw, vh);
    backRows_.clear();
  }
  const TRect client = Bounds(0, 0, vw, vh);
  PaintBackgroundTo(backBuffer_.get(), all ? nullptr : &client);
}

void TTalvexView::PaintBackgroundTo(TBitmap* target, const TRect* clipRect) {
  const TRect area = Bounds(0, 0, target->Width(), target->Height());
  const TRect clip = clipRect ? *clipRect : kNoClip;
  const TRect image = Bounds(offsetX_, offsetY_, drawnW_, drawnH_);
  const TColor inverted = TColor(~uint32_t(background_));
  switch (backgroundStyle_) {
    case lxbsSolid:
      FillRectStyled(*target, area, background_, bsSolid, clip);
      break;
    case lxbsHorizontal:
    case lxbsVertical:
    case lxbsFDiagonal:
    case lxbsBDiagonal:
    case lxbsCross:
    case lxbsDiagCross:
      // The hatch only paints its lines; what lies between them must not be
      // whatever the previous composition left there.
      FillRectStyled(*target, area, RGBColor(255, 255, 255), bsSolid, clip);
      FillRectStyled(*target, area, background_, TBrushStyle(int(backgroundStyle_)), clip);
      break;
    case lxbsChessboard: {
      const int size = std::max(ChessboardSize, 1);
      const TBrushStyle style =
          ChessboardBrushStyle >= bsSolid && ChessboardBrushStyle <= bsDiagCross ? TBrushStyle(ChessboardBrushStyle)
                                                                                 : bsSolid;
      bool rowFirst = true;  // true: the row starts with the inverted value
      for (int y = 0; y < area.bottom; y += size, rowFirst = !rowFirst) {
        bool inv = rowFirst;
        for (int x = 0; x < area.right; x += size, inv = !inv)
          FillRectStyled(*target, Bounds(x, y, size, size), inv ? inverted : background_, style, clip);
      }
      break;
    }
    case lxbsDiagonals:
      FillRectStyled(*target, area, background_, bsSolid, clip);
      DrawLine(*target, 0, 0, area.right, area.bottom, inverted, clip);
      DrawLine(*target, area.right - 1, 0, -1, area.bottom, inverted, clip);
      break;
    case lxbsCropped:
      FillRectStyled(*target, area, clBtnFace, bsSolid, clip);
      if (image.Width() >= 2 && image.Height() >= 2) {
        const int ex = EdgeWidth(), ey = EdgeHeight();
        DrawSunkenEdge(*target, Rect(image.left - ex, image.top - ey, image.right + ex, image.bottom + ey), clip);
      }
      break;
    case lxbsCropShadow:
      FillRectStyled(*target, area, clBtnFace, bsSolid, clip);
      if (image.Width() >= 2 && image.Height() >= 2) {
        constexpr int kBand = 5;
        for (int i = 0; i < kBand; ++i) {
          // 255 / e next to the image, rising to 255 at the outer side.
          const double t = double(i) / (kBand - 1);
          const auto level = uint8_t(std::clamp(TruncI(255 * std::exp(t - 1)), 0, 255));
          const TColor grey = RGBColor(level, level, level);
          DrawLine(*target, image.right + i, image.top + kBand, image.right + i, image.bottom + i + 1, grey, clip);
          DrawLine(*target, image.left + kBand, image.bottom + i, image.right + i, image.bottom + i, grey, clip);
        }
      }
      break;
    case lxbsGradient:
      GradientFillV(*target, area, background_, GradientEndColor, clip);
      break;
  }
}

void TTalvexView::DrawGrid(TBitmap* target, const TRect* clipRect) {
  const TRect clip = clipRect ? *clipRect : kNoClip;
  const int top = offsetY_, bottom = offsetY_ + drawnH_;
  const int left = offsetX_, right = offsetX_ + drawnW_;
  for (int b = srcX_; b <= srcX_ + srcW_; ++b) {
    const int x = XBitmapToScreen(b);
    InvertLine(*target, x, top, x, bottom, clip);
  }
  for (int b = srcY_; b <= srcY_ + srcH_; ++b) {
    const int y = YBitmapToScreen(b);
    InvertLine(*target, left, y, right, y, clip);
  }
}
