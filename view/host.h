#pragma once
// What the view needs from the window it lives in. The view itself never knows
// the toolkit; a Qt widget (app/qt/viewwidget.h) or a test double implements this.
#include <cstdint>

enum TLXScrollBarKind : uint8_t { lxsbHorizontal = 0, lxsbVertical = 1 };

// Scroll-bar requests, as delivered by the window to TTalvexView::ScrollMessage.
enum TLXScrollCode : uint8_t {
  lxscLineBack,
  lxscLineForward,
  lxscPageBack,
  lxscPageForward,
  lxscThumbPosition,
  lxscThumbTrack,
  lxscTop,
  lxscBottom,
  lxscEndScroll
};

// Private message a background load posts so the view updates on the UI thread.
inline constexpr int kViewRefreshMessage = 8024;
// Period of the timer that counts the zoom-filter delay down.
inline constexpr int kViewTimerInterval = 210;

class TLXViewHost {
public:
  virtual ~TLXViewHost() = default;

  // Client area (inside the frame and the visible scroll bars) and whole control.
  virtual int ClientWidth() = 0;
  virtual int ClientHeight() = 0;
  virtual int ControlWidth() = 0;
  virtual int ControlHeight() = 0;
  // The system's edge metrics (width and height of a sunken edge).
  virtual int EdgeWidth() = 0;
  virtual int EdgeHeight() = 0;

  // Showing or hiding a bar changes ClientWidth/ClientHeight before returning.
  virtual void ShowScrollBar(TLXScrollBarKind bar, bool visible) = 0;
  virtual void EnableScrollBar(TLXScrollBarKind bar, bool enabled) = 0;
  // Range min..max (the view uses 0..65535), page size and position.
  virtual void SetScrollBarRange(TLXScrollBarKind bar, int min, int max, int page) = 0;
  virtual void SetScrollBarPosition(TLXScrollBarKind bar, int position) = 0;

  // Schedules a paint of the whole client area.
  virtual void Invalidate() = 0;
  // Paints the whole client area now; the window calls TTalvexView::PaintEvent from within.
  virtual void RepaintNow() = 0;
  // Copies the client rectangle (x, y, w, h) of the view's back buffer onto the window.
  // Only called from inside PaintEvent.
  virtual void Present(int x, int y, int width, int height) = 0;

  virtual void StartTimer(int intervalMs) = 0;
  virtual void StopTimer() = 0;
  // Safe from any thread: the window later calls TTalvexView::HandleMessage(message) on its own.
  virtual void PostViewMessage(int message) = 0;

  virtual void SetCursor(int cursor) = 0;
};
