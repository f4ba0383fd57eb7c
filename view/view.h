#pragma once
// TLXView, the generic custom-drawn view, and TTalvexView, the zoomable and
// scrollable image view. Both are toolkit-free: the window they live in is
// reached through TLXViewHost (view/host.h); without a host the view still
// holds its image and computes its geometry, but never paints.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "image/bitmap.h"
#include "image/render.h"
#include "io/viewlink.h"
#include "platform/rect.h"
#include "proc/talvexproc.h"
#include "view/host.h"

class TBitmap;
class TTalvexIO;  // io/controller.h
class TTalvexView;

enum TLXBorderStyle : uint8_t { lxbsNoBorder = 0, lxbsSingleBorder };
enum TLXScrollStyle : uint8_t { ssNone = 0, ssHorizontal, ssVertical, ssBoth };

enum TLXBackgroundStyle : uint8_t {
  lxbsSolid = 0,
  lxbsHorizontal,
  lxbsVertical,
  lxbsFDiagonal,
  lxbsBDiagonal,
  lxbsCross,
  lxbsDiagCross,
  lxbsChessboard,
  lxbsDiagonals,
  lxbsCropped,
  lxbsCropShadow,
  lxbsGradient
};

class TLXView;
// event 0: the view changed its image; 1: the view is being destroyed.
using TLXViewListener = void (*)(void* context, TLXView* view, int event);

class TLXView {
public:
  TLXView();
  virtual ~TLXView();
  TLXView(const TLXView&) = delete;
  TLXView& operator=(const TLXView&) = delete;

  // Windowing colour encoding (red in the lowest byte; negative: system colour).
  int32_t Background() const { return background_; }
  virtual void SetBackground(int32_t colour) { background_ = colour; }

  TLXBorderStyle BorderStyle = lxbsSingleBorder;
  bool Ctl3D = true;

  int DpiX() const { return dpiX_; }
  int DpiY() const { return dpiY_; }
  virtual void SetDpiX(int value);
  virtual void SetDpiY(int value);
  virtual void SetDPI(int dpiX, int dpiY);

  int AddListener(TLXViewListener callback, void* context);
  void RemoveListener(int handle);
  virtual void NotifyListeners();

  virtual TBitmap* PlatformBitmap() { return nullptr; }
  virtual TLXBitmap* Bitmap() { return nullptr; }
  virtual TLXBitmap* AlphaChannel() = 0;
  virtual bool HasAlphaChannel() = 0;
  virtual void RemoveAlphaChannel(bool merge) = 0;
  virtual void LockPaint() = 0;
  virtual int UnlockPaint() = 0;
  virtual int ReleasePaintLock() = 0;
  virtual void ImageChange() {}
  // The windowing layer's update: recompute and repaint.
  virtual void Update() {}

  std::function<void(TLXView* sender)> OnMouseEnter, OnMouseLeave;

protected:
  // Tells every listener the view goes away; the most derived destructor calls it
  // while the view is still whole.
  void NotifyDestroying();

  int32_t background_;
  int dpiX_ = 0, dpiY_ = 0;

private:
  struct Listener {
    TLXViewListener callback = nullptr;
    void* context = nullptr;
  };
  std::vector<Listener> listeners_;  // removed entries keep their slot, callback null
  bool destroyNotified_ = false;
};

struct TLXScrollBarParams {
  int LineStep = -1;
  int PageStep = -1;
  bool Tracking = true;
};

struct TLXMouseWheelParams {
  bool InvertDirection = false;
  uint8_t Action = 2;     // 0 nothing, 1 scroll, 2 zoom
  uint8_t Variation = 1;  // 0 absolute, 1 percentage
  int Value = 8;
  bool ZoomAtCursor = false;
};

// The single layer: refers to the view's bitmap, owns nothing.
struct TLXLayer {
  TLXBitmap* Bitmap = nullptr;
  bool Visible = true;
  int Transparency = 255;
  int PosX = 0, PosY = 0;
  int Operation = 0;
};

// The zoom, display and scroll quantities, all in client pixels.
class TTalvexView : public TLXView, public TIOViewLink, public TLXProcView {
public:
  // Largest zoom accepted (percent): beyond it the map tables of an ordinary
  // image would no longer fit in memory.
  static constexpr double kMaxZoom = 6400;

  explicit TTalvexView(TLXViewHost* host = nullptr);
  ~TTalvexView() override;

  void SetHost(TLXViewHost* host);
  TLXViewHost* Host() const { return host_; }

  // --- image ---
  TLXBitmap* Bitmap() override { return bitmap_.get(); }
  TBitmap* PlatformBitmap() override;
  TLXBitmap* AlphaChannel() override;
  bool HasAlphaChannel() override;
  void RemoveAlphaChannel(bool merge) override;
  bool IsEmpty();
  void SetLayer(int index);
  TLXLayer& Layer() { return layer_; }
  bool LegacyBitmap() const { return legacyBitmap_; }
  void SetLegacyBitmap(bool value);
  void Clear();

  // --- components of its own, created on first use ---
  TTalvexIO* ViewIO();
  TTalvexProc* ViewProc();
  TLXProgressEvent OnProgress;
  // Also hands the handler to the processing component when it exists.
  void SetOnProgress(TLXProgressEvent handler);
  const TLXProgressEvent& GetOnProgress() const { return OnProgress; }

  // --- settings ---
  void SetBackground(int32_t colour) override;
  TLXBackgroundStyle BackgroundStyle() const { return backgroundStyle_; }
  void SetBackgroundStyle(TLXBackgroundStyle value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool AutoShrink() const { return autoShrink_; }
  void SetAutoShrink(bool value);
  bool AutoStretch() const { return autoStretch_; }
  void SetAutoStretch(bool value);
  bool AutoFit() const { return autoFit_; }
  void SetAutoFit(bool value);
  TLXScrollStyle ScrollBars() const { return scrollBars_; }
  virtual void SetScrollBars(TLXScrollStyle value);
  TResampleFilter ZoomFilter() const { return zoomFilter_; }
  void SetZoomFilter(TResampleFilter value);
  bool EnableAlphaChannel() const { return enableAlphaChannel_; }
  void SetEnableAlphaChannel(bool value);
  bool DelayZoomFilter = false;
  bool DoubleBuffer = true;
  bool DisplayGrid = false;
  bool ForceDrawDib = false;
  bool ScrollBarsAlwaysVisible = false;
  double ScrollMargin = 0.5;
  int32_t GradientEndColor = 0xFF0000;  // pure blue
  int ChessboardSize = 16;
  int ChessboardBrushStyle = 0;  // solid
  int Cursor = 0;
  void SetCursor(int cursor);
  TLXScrollBarParams HorizScrollBarParams, VertScrollBarParams;
  TLXMouseWheelParams MouseWheelParams;

  // --- geometry ---
  double Zoom() const { return zoom_; }
  void SetZoom(double zoom);
  virtual void SetZoomValue(double zoom);
  double FitZoom();
  void Fit();
  void ZoomAt(int x, int y, double zoom);
  int ImageWidth() const { return imageWidth_; }
  int ImageHeight() const { return imageHeight_; }
  int ZoomedWidth() const { return zoomedWidth_; }
  int ZoomedHeight() const { return zoomedHeight_; }
  int DisplayWidth() const { return displayWidth_; }
  int DisplayHeight() const { return displayHeight_; }
  int OffsetX() const { return offsetX_; }
  int OffsetY() const { return offsetY_; }
  int ViewX() const { return viewX_; }
  int ViewY() const { return viewY_; }
  void SetViewX(int x);
  void SetViewY(int y);
  void SetViewXY(int x, int y);
  void MaxViewXY(int& maxX, int& maxY);
  virtual int ViewWidth();
  virtual int ViewHeight();
  virtual bool HasParentWindow();
  virtual void ComputeExtents();
  virtual void BuildMapTables();
  virtual void ComputeVisibleRect();
  int XScreenToBitmap(int x);
  int YScreenToBitmap(int y);
  int XBitmapToScreen(int x);
  int YBitmapToScreen(int y);
  // The visible source rectangle and the client size it covers.
  int VisibleSrcX() const { return srcX_; }
  int VisibleSrcY() const { return srcY_; }
  int VisibleSrcWidth() const { return srcW_; }
  int VisibleSrcHeight() const { return srcH_; }
  int DrawnWidth() const { return drawnW_; }
  int DrawnHeight() const { return drawnH_; }

  // --- update cycle and notifications ---
  void Update() override;
  void ImageChange() override;
  virtual void ViewChange(int change);
  void LockPaint() override;
  int UnlockPaint() override;
  int ReleasePaintLock() override;
  int PaintLockCount() const { return paintLock_; }
  int FilterDelay() const { return filterDelay_; }
  // Refresh from a background thread: posts kViewRefreshMessage to the window.
  void PostRefresh();

  std::function<void(TTalvexView* sender, int change)> OnViewChange;
  std::function<void(TTalvexView* sender)> OnImageChange;
  std::function<void(TTalvexView* sender, double& zoom)> OnZoomIn, OnZoomOut;
  std::function<void(TTalvexView* sender)> OnPaint, OnDrawBackBuffer;
  // Called before the view's own wheel handling; set handled to skip it.
  std::function<void(TTalvexView* sender, bool control, int delta, int x, int y, bool& handled)>
      OnMouseWheel;

  // --- rendering ---
  // Asks the window to paint now (scrolling repaints immediately); nothing without a host.
  void Paint();
  void PaintBackBuffer(const TRect& rect);
  // clipRect null: the whole target.
  virtual void DrawTo(TBitmap* target, std::vector<uint8_t*>& rows, const TRect* clipRect);
  void PaintBackground(bool all);
  TBitmap* BackBuffer() { return backBuffer_.get(); }
  int Compositions() const { return compositions_; }

  // --- entry points for the window (the host calls these) ---
  void PaintEvent(const TRect& clip);
  void Resize();
  void TimerTick();
  void ScrollMessage(TLXScrollBarKind bar, TLXScrollCode code, int thumb);
  // Returns true when the wheel was handled by OnMouseWheel or by the view.
  bool MouseWheel(int delta, bool control, int x, int y);
  void HandleMessage(int message);

  // --- TIOViewLink (the controllers attached to this view) ---
  TLXBitmap* LinkBitmap() override { return Bitmap(); }
  TBitmap* LinkPlatformBitmap() override { return PlatformBitmap(); }
  int32_t LinkBackground() override { return Background(); }
  int32_t LinkDpiX() override { return DpiX(); }
  int32_t LinkDpiY() override { return DpiY(); }
  void LinkSetDPI(int32_t dpiX, int32_t dpiY) override { SetDPI(dpiX, dpiY); }
  void LinkRefresh() override { Update(); }
  void LinkPostRefresh() override { PostRefresh(); }
  void LinkImageChanged() override { ImageChange(); }
  int LinkRegister(TIOViewCallback callback, void* context) override;
  void LinkUnregister(int handle) override;
  void NotifyListeners() override;

  // --- TLXProcView (the processing components attached to this view) ---
  TLXBitmap* ProcBitmap() override { return Bitmap(); }
  void ProcUpdate() override { Update(); }
  void ProcImageChange() override { ImageChange(); }
  int32_t ProcBackground() override { return Background(); }
  void SetProcBackground(int32_t colour) override { SetBackground(colour); }
  void ProcAttached(TTalvexProc* proc) override;
  void ProcDetached(TTalvexProc* proc) override;

private:
  struct LinkEntry {
    TIOViewCallback callback = nullptr;
    void* context = nullptr;
  };
  void AutoZoom();
  double MaxZoom() const;
  int ClientWidth() const;
  int ClientHeight() const;
  int ControlWidth() const;
  int ControlHeight() const;
  int EdgeWidth() const;
  int EdgeHeight() const;
  bool MapsCurrent() const;
  void PaintBackgroundTo(TBitmap* target, const TRect* clip);
  void DrawGrid(TBitmap* target, const TRect* clip);
  void UpdateScrollBars(bool& sizeChanged);
  void ArmFilterDelay(double zoomTested);
  void TimerStep();
  int LineStep(const TLXScrollBarParams& p) const;
  int PageStep(const TLXScrollBarParams& p, int viewSize) const;
  void SyncTimer();

  TLXViewHost* host_ = nullptr;
  std::unique_ptr<TBitmap> platformBitmap_;
  std::unique_ptr<TLXBitmap> bitmap_;
  TLXLayer layer_;
  bool legacyBitmap_ = true;
  std::unique_ptr<TTalvexIO> viewIO_;
  std::unique_ptr<TTalvexProc> viewProc_;

  TLXBackgroundStyle backgroundStyle_ = lxbsSolid;
  bool center_ = true, autoShrink_ = false, autoStretch_ = false, autoFit_ = false;
  TLXScrollStyle scrollBars_ = ssBoth;
  TResampleFilter zoomFilter_ = rfNone;
  bool enableAlphaChannel_ = false;

  double zoom_ = 100, factor_ = 1, inverse_ = 1;
  int imageWidth_ = 0, imageHeight_ = 0;
  int zoomedWidth_ = 0, zoomedHeight_ = 0;
  int displayWidth_ = 0, displayHeight_ = 0;
  int offsetX_ = 0, offsetY_ = 0;
  int viewX_ = 0, viewY_ = 0;
  int srcX_ = 0, srcY_ = 0, srcW_ = 0, srcH_ = 0;
  int drawnW_ = 0, drawnH_ = 0;
  std::vector<int32_t> zoomedToBitmapX_, bitmapToZoomedX_, zoomedToBitmapY_, bitmapToZoomedY_;
  int snapX_ = 0, snapY_ = 0;  // first zoomed column (row) of the bitmap pixel under ViewX (ViewY)
  // What the tables were last built for.
  double mapZoom_ = -1;
  int mapDrawnW_ = -1, mapDrawnH_ = -1, mapImageW_ = -1, mapImageH_ = -1;
  double hScrollScale_ = 1, vScrollScale_ = 1;
  int paintLock_ = 0;
  int filterDelay_ = 0;
  int animationCounter_ = 0;
  bool timerRunning_ = false;
  int lastBitmapW_ = -1, lastBitmapH_ = -1;
  int lastViewW_ = 0, lastViewH_ = 0;
  int updateDepth_ = 0;
  bool allowUpdate_ = false;  // false during construction
  std::vector<LinkEntry> links_;
  std::vector<TTalvexProc*> procs_;

  // What the back buffer was last composed for.
  struct CompositionKey {
    double zoom = 0;
    int viewX = 0, viewY = 0, offsetX = 0, offsetY = 0, drawnW = 0, drawnH = 0;
    int srcX = 0, srcY = 0, srcW = 0, srcH = 0, viewW = 0, viewH = 0, imageW = 0, imageH = 0;
    TResampleFilter filter = rfNone;
    bool operator==(const CompositionKey&) const = default;
  };
  CompositionKey CurrentKey();
  CompositionKey composedKey_;

  std::unique_ptr<TBitmap> backBuffer_;
  std::vector<uint8_t*> backRows_;
  bool backDirty_ = true;
  bool fullRepaint_ = true;
  int compositions_ = 0;
};
