#pragma once
// A window for the view without any toolkit: a 222x222 control with a sunken
// 2-pixel frame (client 218x218), bars 16 pixels thick that take their room
// from the client as soon as they are shown.
#include <vector>

#include "platform/rect.h"
#include "view/host.h"
#include "view/view.h"

class FakeViewHost : public TLXViewHost {
public:
  static constexpr int kControl = 222, kEdge = 2, kBar = 16;

  struct Bar {
    bool visible = false, enabled = true;
    int min = 0, max = 0, page = 0, position = 0;
  };

  TTalvexView* view = nullptr;  // repaints are delivered here
  int control = kControl;
  Bar bars[2];
  int invalidations = 0, repaints = 0;
  std::vector<TRect> presented;
  bool timerRunning = false;
  int timerInterval = 0;
  std::vector<int> posted;
  int cursor = 0;

  int ClientWidth() override { return control - 2 * kEdge - (bars[lxsbVertical].visible ? kBar : 0); }
  int ClientHeight() override { return control - 2 * kEdge - (bars[lxsbHorizontal].visible ? kBar : 0); }
  int ControlWidth() override { return control; }
  int ControlHeight() override { return control; }
  int EdgeWidth() override { return kEdge; }
  int EdgeHeight() override { return kEdge; }
  void ShowScrollBar(TLXScrollBarKind bar, bool visible) override { bars[bar].visible = visible; }
  void EnableScrollBar(TLXScrollBarKind bar, bool enabled) override { bars[bar].enabled = enabled; }
  void SetScrollBarRange(TLXScrollBarKind bar, int min, int max, int page) override {
    bars[bar].min = min;
    bars[bar].max = max;
    bars[bar].page = page;
  }
  void SetScrollBarPosition(TLXScrollBarKind bar, int position) override { bars[bar].position = position; }
  void Invalidate() override { ++invalidations; }
  void RepaintNow() override {
    ++repaints;
    if (view) view->PaintEvent(Bounds(0, 0, ClientWidth(), ClientHeight()));
  }
  void Present(int x, int y, int w, int h) override { presented.push_back(Bounds(x, y, w, h)); }
  void StartTimer(int intervalMs) override {
    timerRunning = true;
    timerInterval = intervalMs;
  }
  void StopTimer() override { timerRunning = false; }
  void PostViewMessage(int message) override { posted.push_back(message); }
  void SetCursor(int c) override { cursor = c; }

  // What the window does on an expose event.
  void Expose() {
    if (view) view->PaintEvent(Bounds(0, 0, ClientWidth(), ClientHeight()));
  }
  void ExposeRect(const TRect& r) {
    if (view) view->PaintEvent(r);
  }
};
