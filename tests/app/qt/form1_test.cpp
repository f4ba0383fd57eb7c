// The converter window, offscreen: layout, drops, the create command, the open dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QProgressBar>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <filesystem>
#include <fstream>
#include <memory>

#include "app/model/converter.h"
#include "app/qt/brixbrowseforfolder.h"
#include "app/qt/brixdropfiles.h"
#include "app/qt/form1.h"
#include "app/qt/opentalvexdialog.h"
#include "app/qt/qtconverterhost.h"
#include "app/qt/viewwidget.h"
#include "io/params.h"
#include "platform/syscolors.h"
#include "tests/support/corpus.h"
#include "view/view.h"

namespace fs = std::filesystem;

namespace {

// One application for the whole run, gone before the exit handlers tear Qt's statics down.
class TQtEnvironment : public ::testing::Environment {
public:
  void TearDown() override { app.reset(); }
  std::unique_ptr<QApplication> app;
};
TQtEnvironment* const qtEnvironment =
    static_cast<TQtEnvironment*>(::testing::AddGlobalTestEnvironment(new TQtEnvironment));

QApplication& App() {
  static int argc = 1;
  static char name[] = "form1_test";
  static char* argv[] = {name, nullptr};
  if (!qtEnvironment->app) qtEnvironment->app = std::make_unique<QApplication>(argc, argv);
  return *qtEnvironment->app;
}

// A 24-bit BMP of width x height with a gradient, written by ImageMagick.
std::string MakeBmp(const std::string& dir, const std::string& name, int width, int height) {
  const std::string path = dir + "/" + name;
  const std::string cmd = "convert -size " + std::to_string(width) + "x" + std::to_string(height) +
                          " gradient:red-blue -type TrueColor BMP3:'" + path + "' 2>/dev/null";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  return path;
}

// Drags the files over a widget and drops them, as a file manager would.
Qt::DropAction DropFiles(QWidget* target, const QStringList& files) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& f : files) urls << QUrl::fromLocalFile(f);
  data.setUrls(urls);
  const QPointF pos(10, 10);
  QDragEnterEvent enter(pos.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  QDragMoveEvent move(pos.toPoint(), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  QDropEvent drop(pos, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.dropAction();
}

class Form1Test : public ::testing::Test {
protected:
  void SetUp() override {
    App();
    dir = ScratchDir(std::string("form1-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    form = std::make_unique<TForm1>();
    form->Host().MessageHook = [this](const QString& text) { messages << text; };
    form->show();
    QApplication::processEvents();
  }
  void TearDown() override {
    form.reset();
    fs::remove_all(dir);
  }
  std::string dir;
  std::unique_ptr<TForm1> form;
  QStringList messages;
};

}  // namespace

TEST_F(Form1Test, WindowGeometryAndCaptions) {
  EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Quelmar (конвертер изображений)"));
  EXPECT_EQ(form->size(), QSize(321, 447));
  EXPECT_EQ(form->minimumSize(), QSize(321, 447));
  EXPECT_EQ(form->maximumSize(), QSize(321, 447));
  EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);

  struct Item { QWidget* w; QRect rect; const char* text; };
  const Item items[] = {
      {form->SpeedButton1, {8, 8, 90, 22}, "Открыть"},
      {form->SpeedButton5, {139, 8, 90, 22}, "Очистить"},
      {form->TalvexView1, {8, 36, 222, 222}, nullptr},
      {form->GroupBox1, {240, 31, 73, 140}, "Размер:"},
      {form->Rb1, {8, 16, 57, 17}, "64x64"},
      {form->Rb2, {8, 40, 57, 17}, "32x32"},
      {form->Rb3, {8, 64, 57, 17}, "16x16"},
      {form->Rb7, {8, 88, 57, 17}, "Задать"},
      {form->edX, {5, 111, 25, 21}, ""},
      {form->edY, {44, 111, 25, 21}, ""},
      {form->GroupBox2, {240, 181, 73, 77}, "Цвета:"},
      {form->Rb4, {8, 16, 49, 17}, "32 бит"},
      {form->Rb5, {8, 36, 49, 17}, "8 бит"},
      {form->Rb6, {8, 55, 49, 17}, "4 бит"},
      {form->GroupBox3, {8, 293, 305, 57}, "Бит на семпл:"},
      {form->SpinEdit1, {8, 24, 33, 22}, nullptr},
      {form->Edit1, {56, 24, 241, 21}, "для цветного отображения (256 цветов)"},
      {form->Edit2, {8, 373, 273, 21}, nullptr},
      {form->Button1, {287, 373, 25, 21}, "..."},
      {form->edFileName, {8, 416, 129, 21}, "Иконко Йа"},
      {form->SpeedButton2, {176, 416, 137, 22}, "Создать ICO"},
  };
  for (const Item& it : items) {
    SCOPED_TRACE(it.w->objectName().toStdString());
    EXPECT_EQ(it.w->geometry(), it.rect);
    if (!it.text) continue;
    QString text;
    if (auto* b = qobject_cast<QAbstractButton*>(it.w)) text = b->text();
    else if (auto* g = qobject_cast<QGroupBox*>(it.w)) text = g->title();
    else if (auto* e = qobject_cast<QLineEdit*>(it.w)) text = e->text();
    EXPECT_EQ(text, QString::fromUtf8(it.text));
  }
  const std::pair<QLabel*, QPoint> labels[] = {{form->Label1, {11, 266}}, {form->Label2, {34, 113}},
                                              {form->Label3, {8, 357}},  {form->Label4, {8, 400}},
                                              {form->Label5, {141, 419}}};
  for (const auto& [label, pos] : labels) EXPECT_EQ(label->pos(), pos);
  EXPECT_EQ(form->Label3->text(), QString::fromUtf8("Путь вывода:"));
  EXPECT_EQ(form->Label4->text(), QString::fromUtf8("Выходное имя файла:"));
  EXPECT_EQ(form->Label5->text(), "(.ico)");
  EXPECT_TRUE(form->Label1->text().isEmpty());

  EXPECT_TRUE(form->Rb2->isChecked());
  EXPECT_TRUE(form->Rb4->isChecked());
  EXPECT_FALSE(form->edX->isEnabled());
  EXPECT_FALSE(form->edY->isEnabled());
  EXPECT_EQ(form->SpinEdit1->value(), 8);
  EXPECT_EQ(form->SpinEdit1->minimum(), 1);
  EXPECT_EQ(form->SpinEdit1->maximum(), 8);
  EXPECT_TRUE(form->Edit1->isReadOnly());
  EXPECT_TRUE(form->Edit2->isReadOnly());
  EXPECT_FALSE(form->Edit2->text().isEmpty());
  for (QWidget* w : {(QWidget*)form->SpeedButton1, (QWidget*)form->SpeedButton2, (QWidget*)form->Button1,
                     (QWidget*)form->Rb1, (QWidget*)form->Rb7, (QWidget*)form->Rb6})
    EXPECT_EQ(w->cursor().shape(), Qt::PointingHandCursor) << w->objectName().toStdString();
  for (QToolButton* b : {form->SpeedButton1, form->SpeedButton5, form->SpeedButton2}) {
    EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    EXPECT_TRUE(b->font().bold());
    EXPECT_LE(QFontMetrics(b->font()).horizontalAdvance(b->text()), b->width() - 4);
  }
  // Tab order: view, size group, colour group, bits group, folder, browse, name.
  const QList<QWidget*> expected = {form->TalvexView1, form->Rb1, form->Rb2, form->Rb3, form->Rb7,
                                    form->edX, form->edY, form->Rb4, form->Rb5, form->Rb6,
                                    form->SpinEdit1, form->Edit1, form->Edit2, form->Button1,
                                    form->edFileName};
  QList<QWidget*> chain;
  QWidget* w = form->TalvexView1;
  do {
    if ((w->focusPolicy() & Qt::TabFocus) && expected.contains(w)) chain << w;
    w = w->nextInFocusChain();
  } while (w != form->TalvexView1);
  EXPECT_EQ(chain, expected);
  EXPECT_EQ(form->View().ZoomFilter(), rfBell);
  EXPECT_TRUE(form->View().AutoShrink());
  EXPECT_EQ(form->View().Background(), clWindow);
}

TEST_F(Form1Test, SizeButtonsAndSpin) {
  form->Rb7->click();
  EXPECT_TRUE(form->edX->isEnabled());
  EXPECT_TRUE(form->edY->isEnabled());
  form->Rb3->click();
  EXPECT_FALSE(form->edX->isEnabled());
  form->SpinEdit1->setValue(1);
  EXPECT_EQ(form->Edit1->text(), "black & white");
  form->SpinEdit1->setValue(5);
  EXPECT_EQ(form->Edit1->text(), "for colormapped bitmap (from 4 to 128 colors)");
}

TEST_F(Form1Test, DropOnThePreviewLoadsTheFirstFile) {
  REQUIRE_TOOL("convert");
  const std::string a = MakeBmp(dir, "first.bmp", 40, 30);
  const std::string b = MakeBmp(dir, "second.bmp", 20, 20);
  const Qt::DropAction action =
      DropFiles(form->TalvexView1, {QString::fromStdString(a), QString::fromStdString(b)});
  EXPECT_EQ(action, Qt::CopyAction);
  EXPECT_EQ(form->Label1->text(), "first.bmp   40x30");
  EXPECT_EQ(form->edFileName->text(), "first");
  EXPECT_EQ(form->edX->text(), "40");
  EXPECT_EQ(form->edY->text(), "30");
  EXPECT_EQ(LastLoadedFile, a);
  EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
}

TEST_F(Form1Test, DropOfAnUnlistedExtensionIsIgnored) {
  const std::string upper = dir + "/photo.JPG";
  std::ofstream(upper) << "x";
  DropFiles(form->TalvexView1, {QString::fromStdString(upper)});
  EXPECT_TRUE(form->Label1->text().isEmpty());
  EXPECT_TRUE(LastLoadedFile.empty());
}

TEST_F(Form1Test, LoadErrorIsShownInAMessage) {
  DropFiles(form->TalvexView1, {QString::fromStdString(dir + "/missing.png")});
  EXPECT_EQ(messages.size(), 1);
  EXPECT_EQ(LastLoadedFile, dir + "/missing.png");
}

TEST_F(Form1Test, DropOnTheFolderEdit) {
  const std::string sub = dir + "/out";
  fs::create_directories(sub);
  const QString before = form->Edit2->text();
  DropFiles(form->Edit2, {QString::fromStdString(dir + "/file.txt")});
  EXPECT_EQ(form->Edit2->text(), before);
  DropFiles(form->Edit2, {QString::fromStdString(sub), QString::fromStdString(dir)});
  EXPECT_EQ(form->Edit2->text(), QString::fromStdString(sub));
}

TEST_F(Form1Test, CreateIcoWritesTheIconAndSaysSo) {
  REQUIRE_TOOL("convert");
  const std::string pic = MakeBmp(dir, "cat.bmp", 40, 30);
  const std::string out = dir + "/out";
  fs::create_directories(out);
  DropFiles(form->Edit2, {QString::fromStdString(out)});
  DropFiles(form->TalvexView1, {QString::fromStdString(pic)});
  form->SpeedButton2->click();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], QString::fromUtf8("Файл сконвертирован в :") + QString::fromStdString(out + "/"));
  ASSERT_TRUE(fs::exists(out + "/cat.ico"));
  std::ifstream in(out + "/cat.ico", std::ios::binary);
  unsigned char head[8] = {};
  in.read(reinterpret_cast<char*>(head), 8);
  EXPECT_EQ(head[2], 1);   // an icon
  EXPECT_EQ(head[4], 1);   // one image
  EXPECT_EQ(head[6], 32);  // 32 x 32
  EXPECT_EQ(head[7], 32);
}

TEST_F(Form1Test, OpenButtonLoadsTheChosenFile) {
  REQUIRE_TOOL("convert");
  const std::string pic = MakeBmp(dir, "dog.bmp", 16, 8);
  form->Host().OpenDialogHook = [&](QString& name) {
    name = QString::fromStdString(pic);
    return true;
  };
  form->SpeedButton1->click();
  EXPECT_EQ(form->Label1->text(), "dog.bmp   16x8");
  form->SpeedButton5->click();
  EXPECT_TRUE(form->Label1->text().isEmpty());
  EXPECT_TRUE(form->edFileName->text().isEmpty());
  EXPECT_EQ(form->edX->text(), "1");
}

TEST(OpenTalvexDialog, NameFiltersDropTheEmptyPattern) {
  const QStringList filters = TOpenTalvexDialog::NameFilters(QString::fromStdString(ConverterOpenFilter()));
  ASSERT_EQ(filters.size(), 16);
  EXPECT_TRUE(filters[0].startsWith(QString::fromUtf8("Вся графика (*.tif *.tiff")));
  EXPECT_TRUE(filters[0].endsWith("*.j2c *.avi)")) << filters[0].toStdString();
  EXPECT_EQ(filters[3], "JPEG Bitmap (JPG;JPEG;JPE) (*.jpg *.jpeg *.jpe)");
}

TEST(OpenTalvexDialog, LabelFormulas) {
  const TOpenDialogTexts en = TOpenDialogTexts::English();
  TIOParamsVals p(nullptr);
  p.FileType = ioBMP;
  p.Width = 100;
  p.Height = 100;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
  p.SetDpiX(96);
  p.SetDpiY(72);
  TOpenDialogLabels l = TOpenTalvexDialog::LabelsFor(p, 1, 30000, en);
  EXPECT_EQ(l.PicLabel1, "100 x 100 pixel");
  EXPECT_EQ(l.PicLabel2, "16777216 Colors (24 bit)");
  EXPECT_EQ(l.PicLabel3, "96 x 72 dpi");
  EXPECT_EQ(l.InfoLabel2, "File: 29 Kb   Mem: 29 Kb");

  p.Width = 10;
  p.Height = 3;
  p.BitsPerSample = 1;
  p.SamplesPerPixel = 1;
  l = TOpenTalvexDialog::LabelsFor(p, 4, 900, en);
  EXPECT_EQ(l.PicLabel1, "10 x 3 pixel , 4 frames");
  EXPECT_EQ(l.PicLabel2, "2 Colors (1 bit)");
  EXPECT_EQ(l.InfoLabel2, "File: 900 bytes   Mem: 48 bytes");

  p.BitsPerSample = 16;
  p.SamplesPerPixel = 3;
  EXPECT_EQ(TOpenTalvexDialog::LabelsFor(p, 1, 0, en).PicLabel2, "2^48 Colors (48 bit)");
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 4;
  EXPECT_EQ(TOpenTalvexDialog::LabelsFor(p, 1, 0, en).PicLabel2, "16777216 Colors (32 bit)");

  p.FileType = ioJPEG;
  p.Width = 375;
  p.Height = 250;
  p.JPEGOriginalWidth = 3000;
  p.JPEGOriginalHeight = 2000;
  EXPECT_EQ(TOpenTalvexDialog::LabelsFor(p, 1, 0, en).PicLabel1, "3000 x 2000 pixel");
}

TEST(OpenTalvexDialog, SelectingA100x100File) {
  REQUIRE_TOOL("convert");
  App();
  const std::string dir = ScratchDir("opendialog");
  const std::string pic = MakeBmp(dir, "hundred.bmp", 100, 100);
  ASSERT_GE(fs::file_size(pic), 30000u);
  ASSERT_LT(fs::file_size(pic), 31 * 1024u);
  TOpenTalvexDialog dialog;
  dialog.SelectionChange(QString::fromStdString(pic));
  const QString info = dialog.InfoLabel2->text();
  EXPECT_EQ(info.count("29 Kb"), 2) << info.toStdString();
  EXPECT_EQ(dialog.PicLabel1->text(), "100 x 100 pixel");
  EXPECT_TRUE(dialog.PicLabel2->text().startsWith("16777216 ")) << dialog.PicLabel2->text().toStdString();
  EXPECT_TRUE(dialog.PreviewButton->isEnabled());
  EXPECT_EQ(dialog.PreviewView().ImageWidth(), 100);

  // Without the preview only the parameters are read; the labels stay.
  dialog.PreviewCheck->setChecked(false);
  EXPECT_TRUE(dialog.PicLabel1->text().isEmpty());
  EXPECT_FALSE(dialog.PreviewButton->isEnabled());
  dialog.SelectionChange(QString::fromStdString(pic));
  EXPECT_EQ(dialog.PicLabel1->text(), "100 x 100 pixel");

  dialog.SelectionChange(QString::fromStdString(dir + "/nothing-here.bmp"));
  EXPECT_TRUE(dialog.PicLabel1->text().isEmpty());
  EXPECT_TRUE(dialog.InfoLabel2->text().isEmpty());
  fs::remove_all(dir);
}

TEST(OpenTalvexDialog, FullPreviewClosesOnEscape) {
  REQUIRE_TOOL("convert");
  App();
  const std::string dir = ScratchDir("fullpreview");
  const std::string pic = MakeBmp(dir, "wide.bmp", 60, 40);
  TOpenTalvexDialog dialog;
  dialog.SelectionChange(QString::fromStdString(pic));
  bool seen = false;
  QSize size;
  QTimer::singleShot(0, [&] {
    QDialog* form = dialog.PreviewForm();
    if (!form) return;
    seen = true;
    size = form->size();
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(form, &esc);
  });
  dialog.ShowFullPreview();
  EXPECT_TRUE(seen);
  EXPECT_EQ(size, QSize(100, 100));
  EXPECT_EQ(dialog.PreviewForm(), nullptr);
  fs::remove_all(dir);
}

TEST(QtConverterHost, MessageBoxHasOneOkButtonAndTheTitle) {
  App();
  TForm1 form;
  QString title, text;
  int buttons = -1;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    title = box->windowTitle();
    text = box->text();
    buttons = int(box->buttons().size());
    box->accept();
  });
  form.Host().ShowMessage("Output directory not found!");
  EXPECT_EQ(title, "Quelmar");
  EXPECT_EQ(text, "Output directory not found!");
  EXPECT_EQ(buttons, 1);
}

TEST(BrixBrowseForFolder, StartsAtPathAndReturnsTheChoice) {
  App();
  const std::string dir = ScratchDir("browse");
  fs::create_directories(dir + "/inner");
  TBrixBrowseForFolder browse;
  browse.Path = QString::fromStdString(dir);
  QString start;
  QTimer::singleShot(0, [&] {
    QFileDialog* d = browse.Dialog();
    if (!d) return;
    start = d->directory().absolutePath();
    d->selectFile(QString::fromStdString(dir + "/inner"));
    static_cast<QDialog*>(d)->done(QDialog::Accepted);
  });
  EXPECT_TRUE(browse.Execute());
  EXPECT_EQ(start, QString::fromStdString(dir));
  EXPECT_EQ(browse.Path, QString::fromStdString(dir + "/inner"));
  QTimer::singleShot(0, [&] {
    if (QFileDialog* d = browse.Dialog()) d->reject();
  });
  EXPECT_FALSE(browse.Execute());
  fs::remove_all(dir);
}
