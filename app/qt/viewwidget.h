#pragma once
// TViewWidget: the Qt window of a TTalvexView. A sunken 2-pixel frame, two
// scroll bars of its own, and the view's back buffer shown without a copy.
#include <QBasicTimer>
#include <QWidget>
#include <memory>

#include "view/host.h"

class QScrollBar;
class QPainter;
class TTalvexView;

class TViewWidget : public QWidget, public TLXViewHost {
  Q_OBJECT

public:
  static constexpr int kFrame = 2;

  explicit TViewWidget(QWidget* parent = nullptr);
  ~TViewWidget() override;

  TTalvexView& View() { return *view_; }
  QScrollBar* HorizontalScrollBar() const { return bars_[lxsbHorizontal]; }
  QScrollBar* VerticalScrollBar() const { return bars_[lxsbVertical]; }
  // The client area in widget coordinates.
  QRect ClientRect() const;

  // --- TLXViewHost ---
  int ClientWidth() override;
  int ClientHeight() override;
  int ControlWidth() override { return width(); }
  int ControlHeight() override { return height(); }
  int EdgeWidth() override { return kFrame; }
  int EdgeHeight() override { return kFrame; }
  void ShowScrollBar(TLXScrollBarKind bar, bool visible) override;
  void EnableScrollBar(TLXScrollBarKind bar, bool enabled) override;
  void SetScrollBarRange(TLXScrollBarKind bar, int min, int max, int page) override;
  void SetScrollBarPosition(TLXScrollBarKind bar, int position) override;
  void Invalidate() override;
  void RepaintNow() override;
  void Present(int x, int y, int width, int height) override;
  void StartTimer(int intervalMs) override;
  void StopTimer() override;
  void PostViewMessage(int message) override;
  void SetCursor(int cursor) override;

  QSize sizeHint() const override { return QSize(222, 222); }

protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void timerEvent(QTimerEvent* e) override;
  void enterEvent(QEnterEvent* e) override;
  void leaveEvent(QEvent* e) override;

private:
  void LayoutBars();
  void BarAction(TLXScrollBarKind bar, int action);

  std::unique_ptr<TTalvexView> view_;
  QScrollBar* bars_[2] = {nullptr, nullptr};
  bool barShown_[2] = {false, false};
  QPainter* painter_ = nullptr;  // set while a paint event runs
  QBasicTimer timer_;
};
