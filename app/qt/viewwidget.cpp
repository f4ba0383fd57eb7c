#include "app/qt/viewwidget.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "platform/bitmap.h"
#include "view/view.h"

namespace {

// Carries a posted view message (the background refresh) to the UI thread.
class TViewMessageEvent : public QEvent {
public:
  static QEvent::Type EventType() {
    static const auto type = QEvent::Type(QEvent::registerEventType());
    return type;
  }
  explicit TViewMessageEvent(int message) : QEvent(EventType()), Message(message) {}
  int Message;
};

// The windowing layer's cursor numbers.
Qt::CursorShape CursorShapeOf(int cursor) {
  switch (cursor) {
    case -3: return Qt::CrossCursor;
    case -4: return Qt::IBeamCursor;
    case -6: return Qt::SizeBDiagCursor;
    case -7: return Qt::SizeVerCursor;
    case -8: return Qt::SizeFDiagCursor;
    case -9: return Qt::SizeHorCursor;
    case -10: return Qt::UpArrowCursor;
    case -11: return Qt::WaitCursor;
    case -12: return Qt::DragCopyCursor;
    case -13: case -18: return Qt::ForbiddenCursor;
    case -14: return Qt::SplitHCursor;
    case -15: return Qt::SplitVCursor;
    case -19: return Qt::BusyCursor;
    case -20: return Qt::WhatsThisCursor;
    case -21: return Qt::PointingHandCursor;
    case -22: return Qt::SizeAllCursor;
    default: return Qt::ArrowCursor;
  }
}

}  // namespace

TViewWidget::TViewWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::WheelFocus);
  resize(222, 222);
  bars_[lxsbHorizontal] = new QScrollBar(Qt::Horizontal, this);
  bars_[lxsbVertical] = new QScrollBar(Qt::Vertical, this);
  for (int i = 0; i < 2; ++i) {
    const auto kind = TLXScrollBarKind(i);
    QScrollBar* b = bars_[i];
    b->hide();
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QAbstractSlider::actionTriggered, this, [this, kind](int action) { BarAction(kind, action); });
    connect(b, &QAbstractSlider::sliderReleased, this, [this, kind, b] {
      view_->ScrollMessage(kind, lxscThumbPosition, b->sliderPosition());
      view_->ScrollMessage(kind, lxscEndScroll, 0);
    });
  }
  view_ = std::make_unique<TTalvexView>(this);
  view_->Update();
}

TViewWidget::~TViewWidget() {
  timer_.stop();
  view_.reset();
}

QRect TViewWidget::ClientRect() const {
  const int w = width() - 2 * kFrame - (barShown_[lxsbVertical] ? bars_[lxsbVertical]->sizeHint().width() : 0);
  const int h = height() - 2 * kFrame - (barShown_[lxsbHorizontal] ? bars_[lxsbHorizontal]->sizeHint().height() : 0);
  return QRect(kFrame, kFrame, std::max(w, 0), std::max(h, 0));
}

int TViewWidget::ClientWidth() { return ClientRect().width(); }
int TViewWidget::ClientHeight() { return ClientRect().height(); }

void TViewWidget::LayoutBars() {
  const QRect c = ClientRect();
  bars_[lxsbHorizontal]->setGeometry(c.left(), c.bottom() + 1, c.width(),
                                     height() - kFrame - (c.bottom() + 1));
  bars_[lxsbVertical]->setGeometry(c.right() + 1, c.top(), width() - kFrame - (c.right() + 1), c.height());
}

void TViewWidget::ShowScrollBar(TLXScrollBarKind bar, bool visible) {
  if (barShown_[bar] == visible) return;
  barShown_[bar] = visible;
  LayoutBars();
  bars_[bar]->setVisible(visible);
  update();
}

void TViewWidget::EnableScrollBar(TLXScrollBarKind bar, bool enabled) { bars_[bar]->setEnabled(enabled); }

void TViewWidget::SetScrollBarRange(TLXScrollBarKind bar, int min, int max, int page) {
  QScrollBar* b = bars_[bar];
  QSignalBlocker block(b);
  // The windowing range includes the page; Qt's maximum is the last start position.
  b->setRange(min, std::max(min, max - page + 1));
  b->setPageStep(std::max(page, 1));
  b->setSingleStep(std::max(page / 16, 1));
}

void TViewWidget::SetScrollBarPosition(TLXScrollBarKind bar, int position) {
  QScrollBar* b = bars_[bar];
  QSignalBlocker block(b);
  b->setSliderPosition(position);
  b->setValue(position);
}

void TViewWidget::BarAction(TLXScrollBarKind bar, int action) {
  QScrollBar* b = bars_[bar];
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: view_->ScrollMessage(bar, lxscLineForward, 0); break;
    case QAbstractSlider::SliderSingleStepSub: view_->ScrollMessage(bar, lxscLineBack, 0); break;
    case QAbstractSlider::SliderPageStepAdd: view_->ScrollMessage(bar, lxscPageForward, 0); break;
    case QAbstractSlider::SliderPageStepSub: view_->ScrollMessage(bar, lxscPageBack, 0); break;
    case QAbstractSlider::SliderToMinimum: view_->ScrollMessage(bar, lxscTop, 0); break;
    case QAbstractSlider::SliderToMaximum: view_->ScrollMessage(bar, lxscBottom, 0); break;
    case QAbstractSlider::SliderMove: view_->ScrollMessage(bar, lxscThumbTrack, b->sliderPosition()); break;
    default: return;
  }
  // The view has placed the bar where it wants it; keep Qt from moving it again.
  const int pos = b->value();
  b->setSliderPosition(pos);
}

void TViewWidget::Invalidate() { update(); }

void TViewWidget::RepaintNow() { repaint(ClientRect()); }

void TViewWidget::Present(int x, int y, int w, int h) {
  TBitmap* bb = view_->BackBuffer();
  if (!painter_ || !bb || bb->Width() <= 0 || bb->Height() <= 0 || bb->BitsPerPixel() != 24) return;
  // Top-down rows padded to 32 bits, blue-green-red bytes: wrapped, not copied.
  const QImage image(bb->Bits(), bb->Width(), bb->Height(), bb->RowBytes(), QImage::Format_BGR888);
  const QRect c = ClientRect();
  painter_->drawImage(QPoint(c.left() + x, c.top() + y), image, QRect(x, y, w, h));
}

void TViewWidget::StartTimer(int intervalMs) { timer_.start(intervalMs, this); }
void TViewWidget::StopTimer() { timer_.stop(); }

void TViewWidget::PostViewMessage(int message) {
  QCoreApplication::postEvent(this, new TViewMessageEvent(message));
}

void TViewWidget::SetCursor(int cursor) { setCursor(CursorShapeOf(cursor)); }

bool TViewWidget::event(QEvent* e) {
  if (e->type() == TViewMessageEvent::EventType()) {
    view_->HandleMessage(static_cast<TViewMessageEvent*>(e)->Message);
    return true;
  }
  return QWidget::event(e);
}

void TViewWidget::paintEvent(QPaintEvent* e) {
  QPainter p(this);
  const QPalette& pal = palette();
  // Sunken edge: shadow and dark outside on the top and left, light inside on the bottom and right.
  const QRect r = rect();
  p.setPen(pal.color(QPalette::Mid));
  p.drawLine(r.left(), r.top(), r.right(), r.top());
  p.drawLine(r.left(), r.top(), r.left(), r.bottom());
  p.setPen(pal.color(QPalette::Light));
  p.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
  p.drawLine(r.right(), r.top(), r.right(), r.bottom());
  p.setPen(pal.color(QPalette::Shadow));
  p.drawLine(r.left() + 1, r.top() + 1, r.right() - 1, r.top() + 1);
  p.drawLine(r.left() + 1, r.top() + 1, r.left() + 1, r.bottom() - 1);
  p.setPen(pal.color(QPalette::Midlight));
  p.drawLine(r.left() + 1, r.bottom() - 1, r.right() - 1, r.bottom() - 1);
  p.drawLine(r.right() - 1, r.top() + 1, r.right() - 1, r.bottom() - 1);
  const QRect c = ClientRect();
  if (barShown_[0] && barShown_[1])
    p.fillRect(QRect(c.right() + 1, c.bottom() + 1, width() - kFrame - c.right() - 1,
                     height() - kFrame - c.bottom() - 1),
               pal.color(QPalette::Button));
  const QRect dirty = e->rect().intersected(c).translated(-c.left(), -c.top());
  painter_ = &p;
  view_->PaintEvent(Bounds(dirty.left(), dirty.top(), dirty.width(), dirty.height()));
  painter_ = nullptr;
}

void TViewWidget::resizeEvent(QResizeEvent*) {
  LayoutBars();
  view_->Resize();
}

void TViewWidget::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y() != 0 ? e->angleDelta().y() : e->angleDelta().x();
  const QPoint at = e->position().toPoint() - ClientRect().topLeft();
  const bool control = e->modifiers() & Qt::ControlModifier;
  if (delta == 0 || !view_->MouseWheel(delta, control, at.x(), at.y())) e->ignore();
  else e->accept();
}

void TViewWidget::timerEvent(QTimerEvent* e) {
  if (e->timerId() == timer_.timerId())
    view_->TimerTick();
  else
    QWidget::timerEvent(e);
}

void TViewWidget::enterEvent(QEnterEvent* e) {
  if (view_->OnMouseEnter) view_->OnMouseEnter(view_.get());
  QWidget::enterEvent(e);
}

void TViewWidget::leaveEvent(QEvent* e) {
  if (view_->OnMouseLeave) view_->OnMouseLeave(view_.get());
  QWidget::leaveEvent(e);
}
