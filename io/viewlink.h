#pragma once
// What a controller needs from the view it is attached to. The view implements
// it (the io layer never sees the view's classes); a controller with no view
// attached owns its own bitmap and never calls any of this.
#include <cstdint>

class TLXBitmap;
class TBitmap;

enum TIOViewEvent : uint8_t {
  ioveBitmapChanged = 0,  // the view replaced its bitmap: take LinkBitmap() again
  ioveDestroying = 1,     // the view is going away: forget it
};
using TIOViewCallback = void (*)(void* context, TIOViewEvent event);

class TIOViewLink {
public:
  virtual ~TIOViewLink() = default;

  // The view's image; nullptr when it keeps its pixels only in a platform bitmap.
  virtual TLXBitmap* LinkBitmap() = 0;
  virtual TBitmap* LinkPlatformBitmap() = 0;
  // Windowing colour encoding (red in the lowest byte; negative: system colour).
  virtual int32_t LinkBackground() = 0;
  virtual int32_t LinkDpiX() = 0;
  virtual int32_t LinkDpiY() = 0;

  // Takes the resolution of the image just loaded.
  virtual void LinkSetDPI(int32_t dpiX, int32_t dpiY) = 0;
  // Recompute and repaint now; only called on the view's own (UI) thread.
  virtual void LinkRefresh() = 0;
  // Safe from any thread: the view refreshes later on its own thread (message 8024).
  virtual void LinkPostRefresh() = 0;
  // Raises the view's image-changed notification.
  virtual void LinkImageChanged() = 0;

  // The callback runs on ioveBitmapChanged and ioveDestroying; returns a handle >= 0.
  virtual int LinkRegister(TIOViewCallback callback, void* context) = 0;
  virtual void LinkUnregister(int handle) = 0;
};
