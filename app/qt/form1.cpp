#include "app/qt/form1.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSpinBox>
#include <QToolButton>
#include <exception>

#include "app/model/talvexengine.h"
#include "app/qt/brixbrowseforfolder.h"
#include "app/qt/brixdropfiles.h"
#include "app/qt/opentalvexdialog.h"
#include "app/qt/qtconverterhost.h"
#include "app/qt/viewwidget.h"
#include "io/controller.h"
#include "platform/syscolors.h"
#include "view/view.h"

const char* const kForm1Caption = "Quelmar (конвертер изображений)";

QFont ConverterFont() {
  // The layout was measured in a narrow sans-serif: Arial-metric families keep the
  // captions inside their controls; without them the platform's sans-serif is used.
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  QStringList families = {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                          QStringLiteral("Nimbus Sans"), QStringLiteral("Arial")};
  families << font.families();
  font.setFamilies(families);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

// Radio buttons with the classic 13-pixel mark and 4-pixel gap, so that "32 бит" fits in 49 pixels.
class TConverterStyle : public QProxyStyle {
public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
    switch (metric) {
      case PM_ExclusiveIndicatorWidth:
      case PM_ExclusiveIndicatorHeight: return 13;
      case PM_RadioButtonLabelSpacing: return 4;
      default: return QProxyStyle::pixelMetric(metric, option, widget);
    }
  }
};

// The group's caption sits on its frame line, as in the layout's platform.
static const char kGroupBoxStyle[] =
    "QGroupBox { border: 1px solid palette(mid); margin-top: 6px; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 7px;"
    " padding: 0px 2px; }";

QFont ConverterButtonFont() {
  // A bold monospace with Cyrillic, sized like Fixedsys's 8-pixel cells.
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setBold(true);
  font.setPixelSize(12);
  return font;
}

static QToolButton* FlatButton(QWidget* parent, const char* text, QRect geometry) {
  auto* b = new QToolButton(parent);
  b->setText(QString::fromUtf8(text));
  b->setGeometry(geometry);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  b->setCursor(Qt::PointingHandCursor);
  b->setFont(ConverterButtonFont());
  return b;
}

static QRadioButton* Radio(QWidget* parent, const char* text, QRect geometry) {
  auto* r = new QRadioButton(QString::fromUtf8(text), parent);
  r->setGeometry(geometry);
  r->setCursor(Qt::PointingHandCursor);
  return r;
}

static QLabel* AutoLabel(QWidget* parent, const char* text, QPoint pos) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->move(pos);
  l->adjustSize();
  return l;
}

static QLineEdit* Edit(QWidget* parent, QRect geometry) {
  auto* e = new QLineEdit(parent);
  e->setGeometry(geometry);
  return e;
}

static void ButtonFaceBackground(QLineEdit* e) {
  QPalette p = e->palette();
  p.setColor(QPalette::Base, p.color(QPalette::Button));
  e->setPalette(p);
}

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      TalvexIO1(std::make_unique<TTalvexIO>()) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8(kForm1Caption));
  setFont(ConverterFont());
  setFixedSize(321, 447);
  move(260, 80);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Button);

  CreateControls();

  OpenTalvexDialog1 = new TOpenTalvexDialog(this);
  OpenTalvexDialog1->AutoSetFilter = false;
  OpenTalvexDialog1->Filter = QString::fromStdString(ConverterOpenFilter());
  OpenTalvexDialog1->AlwaysAnimate = true;
  OpenTalvexDialog1->AutoAdjustDPI = true;
  OpenTalvexDialog1->FilteredAdjustDPI = true;
  BrixBrowseForFolder1 = new TBrixBrowseForFolder(this);
  BrixBrowseForFolder1->SetOptions(bfNewDialogStyle);
  BrixBrowseForFolder1->RootedAt = SF_DRIVES;
  BrixBrowseForFolder1->SetDialogLeft(-1);
  BrixBrowseForFolder1->SetDialogTop(-1);
  BrixDropFileImg = new TBrixDropFiles(this);
  BrixDropFileImg->SetControl(TalvexView1);
  BrixDropFileImg->SetEnabled(true);
  BrixDropFiles1 = new TBrixDropFiles(this);
  BrixDropFiles1->SetControl(Edit2);
  BrixDropFiles1->SetEnabled(true);

  TalvexIO1->SetBackground(clWindow);
  host_ = std::make_unique<TQtConverterHost>(this, *OpenTalvexDialog1, *BrixBrowseForFolder1);
  engine_ = std::make_unique<TTalvexConverterEngine>(View(), *TalvexIO1);
  converter_ = std::make_unique<TConverter>(*host_, *engine_);
  BindEvents();
  PushToControls();
}

TForm1::~TForm1() {
  // The controllers let go of the view before the view widget goes.
  converter_.reset();
  engine_.reset();
  TalvexIO1.reset();
}

TTalvexView& TForm1::View() { return TalvexView1->View(); }

void TForm1::CreateControls() {
  SpeedButton1 = FlatButton(this, "Открыть", {8, 8, 90, 22});
  SpeedButton5 = FlatButton(this, "Очистить", {139, 8, 90, 22});

  TalvexView1 = new TViewWidget(this);
  TalvexView1->setObjectName("TalvexView1");
  TalvexView1->setGeometry(8, 36, 222, 222);
  TalvexView1->setFocusPolicy(Qt::StrongFocus);
  TTalvexView& view = TalvexView1->View();
  view.SetBackground(clWindow);
  view.SetZoomFilter(rfBell);
  view.SetAutoShrink(true);

  Label1 = AutoLabel(this, "", {11, 266});

  GroupBox1 = new QGroupBox(QString::fromUtf8("Размер:"), this);
  GroupBox1->setGeometry(240, 31, 73, 140);
  Rb1 = Radio(GroupBox1, "64x64", {8, 16, 57, 17});
  Rb2 = Radio(GroupBox1, "32x32", {8, 40, 57, 17});
  Rb3 = Radio(GroupBox1, "16x16", {8, 64, 57, 17});
  Rb7 = Radio(GroupBox1, "Задать", {8, 88, 57, 17});
  edX = Edit(GroupBox1, {5, 111, 25, 21});
  Label2 = AutoLabel(GroupBox1, "x", {34, 113});
  edY = Edit(GroupBox1, {44, 111, 25, 21});

  GroupBox2 = new QGroupBox(QString::fromUtf8("Цвета:"), this);
  GroupBox2->setGeometry(240, 181, 73, 77);
  Rb4 = Radio(GroupBox2, "32 бит", {8, 16, 49, 17});
  Rb5 = Radio(GroupBox2, "8 бит", {8, 36, 49, 17});
  Rb6 = Radio(GroupBox2, "4 бит", {8, 55, 49, 17});

  GroupBox3 = new QGroupBox(QString::fromUtf8("Бит на семпл:"), this);
  GroupBox3->setGeometry(8, 293, 305, 57);
  SpinEdit1 = new QSpinBox(GroupBox3);
  SpinEdit1->setGeometry(8, 24, 33, 22);
  SpinEdit1->setRange(1, 8);
  SpinEdit1->setValue(8);
  Edit1 = Edit(GroupBox3, {56, 24, 241, 21});
  Edit1->setReadOnly(true);
  ButtonFaceBackground(Edit1);

  Label3 = AutoLabel(this, "Путь вывода:", {8, 357});
  Edit2 = Edit(this, {8, 373, 273, 21});
  Edit2->setReadOnly(true);
  ButtonFaceBackground(Edit2);
  Button1 = new QPushButton(QStringLiteral("..."), this);
  Button1->setGeometry(287, 373, 25, 21);
  Button1->setCursor(Qt::PointingHandCursor);
  Label4 = AutoLabel(this, "Выходное имя файла:", {8, 400});
  edFileName = Edit(this, {8, 416, 129, 21});
  Label5 = AutoLabel(this, "(.ico)", {141, 419});
  SpeedButton2 = FlatButton(this, "Создать ICO", {176, 416, 137, 22});

  SpeedButton1->setObjectName("SpeedButton1");
  SpeedButton5->setObjectName("SpeedButton5");
  SpeedButton2->setObjectName("SpeedButton2");
  Label1->setObjectName("Label1");
  GroupBox1->setObjectName("GroupBox1");
  Rb1->setObjectName("Rb1");
  Rb2->setObjectName("Rb2");
  Rb3->setObjectName("Rb3");
  Rb7->setObjectName("Rb7");
  edX->setObjectName("edX");
  edY->setObjectName("edY");
  GroupBox2->setObjectName("GroupBox2");
  Rb4->setObjectName("Rb4");
  Rb5->setObjectName("Rb5");
  Rb6->setObjectName("Rb6");
  GroupBox3->setObjectName("GroupBox3");
  SpinEdit1->setObjectName("SpinEdit1");
  Edit1->setObjectName("Edit1");
  Edit2->setObjectName("Edit2");
  Button1->setObjectName("Button1");
  edFileName->setObjectName("edFileName");

  auto* style = new TConverterStyle;
  style->setParent(this);
  for (QRadioButton* r : {Rb1, Rb2, Rb3, Rb7, Rb4, Rb5, Rb6}) r->setStyle(style);
  for (QGroupBox* g : {GroupBox1, GroupBox2, GroupBox3}) g->setStyleSheet(QString::fromLatin1(kGroupBoxStyle));

  // Tab order: the view, the size group, the colour group, the bits group, folder, browse, name.
  QWidget* order[] = {TalvexView1, Rb1, Rb2, Rb3, Rb7, edX, edY, Rb4, Rb5, Rb6,
                      SpinEdit1, Edit1, Edit2, Button1, edFileName};
  for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

template <class F> void TForm1::Run(F&& handler) {
  if (pushing_) return;
  const bool outer = depth_ == 0;
  if (outer) PullFromControls();
  ++depth_;
  try {
    handler();
  } catch (const std::exception& e) {
    host_->ShowMessage(e.what());
  } catch (...) {
    host_->ShowMessage("Error !!!");
  }
  --depth_;
  if (outer) PushToControls();
}

void TForm1::PullFromControls() {
  TConverter& c = *converter_;
  c.edX = edX->text().toStdString();
  c.edY = edY->text().toStdString();
  c.Rb1 = Rb1->isChecked();
  c.Rb2 = Rb2->isChecked();
  c.Rb3 = Rb3->isChecked();
  c.Rb7 = Rb7->isChecked();
  c.Rb4 = Rb4->isChecked();
  c.Rb5 = Rb5->isChecked();
  c.Rb6 = Rb6->isChecked();
  c.SpinEdit1 = SpinEdit1->value();
  c.edFileName = edFileName->text().toStdString();
}

void TForm1::PushToControls() {
  pushing_ = true;
  const TConverter& c = *converter_;
  Label1->setText(QString::fromStdString(c.Label1));
  Label1->adjustSize();
  edX->setText(QString::fromStdString(c.edX));
  edY->setText(QString::fromStdString(c.edY));
  edX->setEnabled(c.edXEnabled);
  edY->setEnabled(c.edYEnabled);
  Rb1->setChecked(c.Rb1);
  Rb2->setChecked(c.Rb2);
  Rb3->setChecked(c.Rb3);
  Rb7->setChecked(c.Rb7);
  Rb4->setChecked(c.Rb4);
  Rb5->setChecked(c.Rb5);
  Rb6->setChecked(c.Rb6);
  SpinEdit1->setValue(c.SpinEdit1);
  Edit1->setText(QString::fromStdString(c.Edit1));
  Edit1->setCursorPosition(0);
  Edit2->setText(FromFileName(c.Edit2));
  Edit2->setCursorPosition(0);
  edFileName->setText(QString::fromStdString(c.edFileName));
  pushing_ = false;
}

void TForm1::BindEvents() {
  TConverter& c = *converter_;
  connect(SpeedButton1, &QToolButton::clicked, this, [this, &c] { Run([&] { c.SpeedButton1Click(); }); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this, &c] { Run([&] { c.SpeedButton2Click(); }); });
  connect(SpeedButton5, &QToolButton::clicked, this, [this, &c] { Run([&] { c.SpeedButton5Click(); }); });
  connect(SpinEdit1, &QSpinBox::valueChanged, this, [this, &c](int) { Run([&] { c.SpinEdit1Change(); }); });
  const std::pair<QRadioButton*, TSizeButton> sizes[] = {
      {Rb1, TSizeButton::Rb1}, {Rb2, TSizeButton::Rb2}, {Rb3, TSizeButton::Rb3}, {Rb7, TSizeButton::Rb7}};
  for (const auto& [button, id] : sizes)
    connect(button, &QRadioButton::clicked, this, [this, &c, id = id] { Run([&] { c.Rb1Click(id); }); });
  connect(Button1, &QPushButton::clicked, this, [this, &c] { Run([&] { c.Button1Click(); }); });

  TTalvexView& view = View();
  view.OnViewChange = [this, &c](TTalvexView*, int change) { Run([&] { c.TalvexView1ViewChange(change); }); };
  // Left unhandled, so that the view's own wheel zoom runs.
  view.OnMouseWheel = [this, &c](TTalvexView*, bool, int, int, int, bool&) { c.TalvexView1MouseWheel(); };

  BrixDropFileImg->OnDrop = [this, &c](TBrixDropFiles* sender, Qt::KeyboardModifiers, QPoint, TBrixDropEffect&) {
    if (sender->Control() != TalvexView1) return;
    std::vector<std::string> files;
    for (const QString& f : sender->DroppedFiles()) files.push_back(ToFileName(f));
    Run([&] { c.BrixDropFileImgDrop(files); });
  };
  BrixDropFiles1->OnDrop = [this, &c](TBrixDropFiles* sender, Qt::KeyboardModifiers, QPoint, TBrixDropEffect&) {
    std::vector<std::string> files;
    for (const QString& f : sender->DroppedFiles()) files.push_back(ToFileName(f));
    Run([&] { c.BrixDropFiles1Drop(files); });
  };
}

void TForm1::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // A restore from the task bar is the window system's show, not the window's.
  if (event->spontaneous()) return;
  if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
    const QRect s = screen->availableGeometry();
    const QRect frame = frameGeometry();
    move(s.x() + (s.width() - frame.width()) / 2, s.y() + (s.height() - frame.height()) / 2);
  }
  Run([this] { converter_->FormShow(); });
}

void TForm1::OpenFromCommandLine(const QString& fileName) {
  Run([&] { converter_->BrixDropFileImgDrop({ToFileName(fileName)}); });
}
