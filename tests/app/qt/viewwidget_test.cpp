// The Qt window of the view, offscreen: painting, scroll bars, the wheel.
#include "app/qt/viewwidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QWheelEvent>
#include <memory>

#include "io/controller.h"
#include "platform/syscolors.h"
#include "tests/support/corpus.h"
#include "view/view.h"

namespace {

// The application goes before the process exits, while Qt's own statics still live.
class TQtEnvironment : public ::testing::Environment {
public:
  void TearDown() override { app.reset(); }
  std::unique_ptr<QApplication> app;
};
TQtEnvironment* const qtEnvironment =
    static_cast<TQtEnvironment*>(::testing::AddGlobalTestEnvironment(new TQtEnvironment));

QApplication& App() {
  static int argc = 1;
  static char name[] = "viewwidget_test";
  static char* argv[] = {name, nullptr};
  if (!qtEnvironment->app) qtEnvironment->app = std::make_unique<QApplication>(argc, argv);
  return *qtEnvironment->app;
}

QColor ClientPixel(TViewWidget& w, int x, int y) {
  const QImage shot = w.grab().toImage();
  return shot.pixelColor(TViewWidget::kFrame + x, TViewWidget::kFrame + y);
}

void Wheel(TViewWidget& w, int delta) {
  const QPointF at(100, 100);
  QWheelEvent e(at, w.mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(&w, &e);
}

TEST(ViewWidget, PaintsALoadedBitmap) {
  App();
  REQUIRE_CORPUS();
  TViewWidget w;
  w.resize(222, 222);
  w.show();
  TTalvexView& view = w.View();
  view.SetBackground(RGBColor(0, 128, 0));
  view.ViewIO()->LoadFile(CorpusPath("bmp/bmpsuite/g/rgb24.bmp"));
  ASSERT_FALSE(view.ViewIO()->AbortFlag);
  ASSERT_GT(view.ImageWidth(), 0);
  EXPECT_EQ(view.ViewWidth(), 218);
  const int ox = view.OffsetX(), oy = view.OffsetY();
  ASSERT_GT(oy, 0);
  for (auto [x, y] : {std::pair{0, 0}, std::pair{10, 20}, std::pair{view.ImageWidth() - 1, view.ImageHeight() - 1}}) {
    const TRGB s = view.Bitmap()->GetPixelRGB(x, y);
    EXPECT_EQ(ClientPixel(w, ox + x, oy + y), QColor(s.r, s.g, s.b)) << x << "," << y;
  }
  EXPECT_EQ(ClientPixel(w, 5, oy - 1), QColor(0, 128, 0));  // the background above the image
}

TEST(ViewWidget, ScrollBarsAppearWhenZoomedIn) {
  App();
  TViewWidget w;
  w.resize(222, 222);
  w.show();
  TTalvexView& view = w.View();
  view.Bitmap()->Allocate(100, 50, lx24RGB);
  view.Bitmap()->Fill(double(RGBColor(200, 10, 10)));
  view.Update();
  EXPECT_FALSE(w.HorizontalScrollBar()->isVisible());
  EXPECT_FALSE(w.VerticalScrollBar()->isVisible());
  view.SetZoom(400);
  EXPECT_TRUE(w.HorizontalScrollBar()->isVisible());
  EXPECT_FALSE(w.VerticalScrollBar()->isVisible());  // 200 rows still fit
  EXPECT_EQ(view.ViewHeight(), 218 - w.HorizontalScrollBar()->sizeHint().height());
  view.SetZoom(800);
  EXPECT_TRUE(w.VerticalScrollBar()->isVisible());
  // Moving the bar scrolls the view.
  w.HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderToMaximum);
  int mx, my;
  view.MaxViewXY(mx, my);
  EXPECT_EQ(view.ViewX(), mx);
  w.HorizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(view.ViewX(), mx - 8);
  EXPECT_EQ(ClientPixel(w, 10, 10), QColor(200, 10, 10));
  view.SetZoom(100);
  EXPECT_FALSE(w.HorizontalScrollBar()->isVisible());
  EXPECT_EQ(view.ViewWidth(), 218);
}

TEST(ViewWidget, WheelZoomsWithoutAutomaticMode) {
  App();
  TViewWidget w;
  w.resize(222, 222);
  w.show();
  TTalvexView& view = w.View();
  view.Bitmap()->Allocate(100, 50, lx24RGB);
  view.Update();
  Wheel(w, -120);  // towards the user
  EXPECT_EQ(view.Zoom(), 108);
  Wheel(w, 120);
  EXPECT_EQ(view.Zoom(), 108 - 9);
  view.SetAutoShrink(true);  // the update inside the zoom puts it back at once
  Wheel(w, -120);
  EXPECT_EQ(view.Zoom(), 100);
  view.SetAutoShrink(false);
  view.SetAutoFit(true);
  const double fitted = view.Zoom();
  Wheel(w, -120);
  EXPECT_EQ(view.Zoom(), fitted);
}

TEST(ViewWidget, PostedRefreshArrivesOnTheUiThread) {
  App();
  TViewWidget w;
  w.show();
  TTalvexView& view = w.View();
  int changes = 0;
  view.Bitmap()->Allocate(10, 10, lx24RGB);
  view.SetAutoShrink(true);
  view.OnViewChange = [&](TTalvexView*, int) { ++changes; };
  view.PostRefresh();
  EXPECT_EQ(changes, 0);
  QCoreApplication::processEvents();
  EXPECT_GT(changes, 0);
}

}  // namespace
