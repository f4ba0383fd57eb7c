#include "app/qt/opentalvexdialog.h"

#include <algorithm>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/model/talvexengine.h"
#include "app/qt/qtconverterhost.h"
#include "app/qt/viewwidget.h"
#include "image/bitmap.h"
#include "io/controller.h"
#include "io/params.h"
#include "io/registry.h"
#include "view/view.h"

static constexpr int32_t kWhite = 0xFFFFFF;
static const char* const kZoomItems[] = {"Fit",  "25%",  "50%",  "75%",  "100%", "125%",
                                         "150%", "175%", "200%", "300%", "400%"};

TOpenDialogTexts TOpenDialogTexts::English() {
  return {"Preview", "Advanced", "Colors", "Animate", "All graphics", "Video for Windows", "File", "Mem"};
}

TOpenDialogTexts TOpenDialogTexts::Russian() {
  return {"Просмотр", "Опции", "Цвета", "Анимация", "Вся графика", "Видео для Windows", "Файл", "Mem"};
}

TOpenDialogTexts TOpenDialogTexts::ForSystemLanguage() {
  return QLocale::system().language() == QLocale::Russian ? Russian() : English();
}

TOpenTalvexDialog::TOpenTalvexDialog(QWidget* owner)
    : QObject(owner), Texts(TOpenDialogTexts::ForSystemLanguage()), owner_(owner),
      previewIO_(std::make_unique<TTalvexIO>()) {
  window_ = new QDialog(owner);
  window_->setObjectName("OpenTalvexDialog");
  auto* outer = new QVBoxLayout(window_);
  auto* row = new QHBoxLayout;
  outer->addLayout(row, 1);

  PicturePanel = new QWidget(window_);
  PicturePanel->setObjectName("PicturePanel");
  auto* pic = new QVBoxLayout(PicturePanel);
  pic->setContentsMargins(6, 6, 6, 6);
  auto* tools = new QHBoxLayout;
  ZoomCombo = new QComboBox(PicturePanel);
  ZoomCombo->setObjectName("ZoomCombo");
  ZoomCombo->setToolTip("Zoom");
  PreviewButton = new QToolButton(PicturePanel);
  PreviewButton->setObjectName("PreviewButton");
  PreviewButton->setAutoRaise(true);
  PreviewButton->setText(QStringLiteral("⤢"));
  PreviewButton->setEnabled(false);
  PlayButton = new QToolButton(PicturePanel);
  PlayButton->setObjectName("PlayButton");
  PlayButton->setAutoRaise(true);
  PlayButton->setCheckable(true);
  PlayButton->setText(QStringLiteral("▶"));
  PlayButton->setEnabled(false);
  tools->addWidget(ZoomCombo, 1);
  tools->addWidget(PreviewButton);
  tools->addWidget(PlayButton);
  pic->addLayout(tools);

  TalvexView = new TViewWidget(PicturePanel);
  TalvexView->setObjectName("TalvexView");
  TalvexView->setFixedSize(180, 180);
  TTalvexView& view = TalvexView->View();
  view.SetBackground(kWhite);
  view.SetBackgroundStyle(lxbsSolid);
  view.BorderStyle = lxbsSingleBorder;
  view.SetCenter(true);
  view.SetZoomFilter(rfFastLinear);
  view.SetEnableAlphaChannel(true);
  TalvexView->installEventFilter(this);
  pic->addWidget(TalvexView, 0, Qt::AlignHCenter);

  ProgressBar = new QProgressBar(PicturePanel);
  ProgressBar->setObjectName("ProgressBar");
  ProgressBar->setRange(0, 100);
  ProgressBar->hide();
  pic->addWidget(ProgressBar);
  PicLabel1 = new QLabel(PicturePanel);
  PicLabel1->setObjectName("PicLabel1");
  PicLabel2 = new QLabel(PicturePanel);
  PicLabel2->setObjectName("PicLabel2");
  PicLabel3 = new QLabel(PicturePanel);
  PicLabel3->setObjectName("PicLabel3");
  pic->addWidget(PicLabel1);
  pic->addWidget(PicLabel2);
  pic->addWidget(PicLabel3);
  pic->addStretch(1);
  row->addWidget(PicturePanel);

  fileDialog_ = new QFileDialog(window_);
  fileDialog_->setOption(QFileDialog::DontUseNativeDialog, true);
  fileDialog_->setWindowFlags(Qt::Widget);
  fileDialog_->setFileMode(QFileDialog::ExistingFile);
  fileDialog_->setAcceptMode(QFileDialog::AcceptOpen);
  row->addWidget(fileDialog_, 1);

  InfoPanel = new QWidget(window_);
  InfoPanel->setObjectName("InfoPanel");
  auto* info = new QHBoxLayout(InfoPanel);
  info->setContentsMargins(6, 0, 6, 0);
  InfoLabel1 = new QLabel(InfoPanel);
  InfoLabel1->setObjectName("InfoLabel1");
  InfoLabel2 = new QLabel(InfoPanel);
  InfoLabel2->setObjectName("InfoLabel2");
  info->addWidget(InfoLabel1, 1);
  info->addWidget(InfoLabel2);
  outer->addWidget(InfoPanel);

  auto* bottom = new QHBoxLayout;
  PreviewCheck = new QCheckBox(window_);
  PreviewCheck->setObjectName("PreviewCheck");
  PreviewCheck->setChecked(true);
  AdvancedButton = new QPushButton(window_);
  AdvancedButton->setObjectName("AdvancedButton");
  AdvancedButton->hide();
  bottom->addWidget(PreviewCheck);
  bottom->addStretch(1);
  bottom->addWidget(AdvancedButton);
  outer->addLayout(bottom);

  previewIO_->OnProgress = {&TOpenTalvexDialog::ProgressCallback, this};
  AttachControllerToView(*previewIO_, view);

  connect(fileDialog_, &QFileDialog::currentChanged, this, [this](const QString& p) { SelectionChange(p); });
  connect(fileDialog_, &QFileDialog::directoryEntered, this, [this](const QString&) {
    if (OnFolderChange) OnFolderChange();
  });
  connect(fileDialog_, &QFileDialog::filterSelected, this, [this](const QString&) {
    if (OnTypeChange) OnTypeChange();
  });
  connect(fileDialog_, &QFileDialog::accepted, this, [this] {
    if (OnCanClose && !OnCanClose()) {
      fileDialog_->show();
      return;
    }
    window_->accept();
  });
  connect(fileDialog_, &QFileDialog::rejected, window_.data(), &QDialog::reject);
  connect(ZoomCombo, &QComboBox::currentIndexChanged, this, [this](int) { ZoomChange(); });
  connect(PreviewCheck, &QCheckBox::toggled, this, [this](bool) { PreviewCheckChange(); });
  connect(PreviewButton, &QToolButton::clicked, this, [this] { ShowFullPreview(); });
  for (const char* item : kZoomItems) ZoomCombo->addItem(QString::fromLatin1(item));
  ZoomCombo->setCurrentIndex(0);
  ZoomCombo->setEnabled(false);
  if (AutoSetFilter) Filter = BuildFilter(Texts, AddVideoFilter);
}

TOpenTalvexDialog::~TOpenTalvexDialog() {
  // The preview controller is attached to a view inside the window: let it go first.
  previewIO_.reset();
  delete window_.data();
}

TTalvexView& TOpenTalvexDialog::PreviewView() { return TalvexView->View(); }

TResampleFilter TOpenTalvexDialog::ZoomFilter() const { return TalvexView->View().ZoomFilter(); }
void TOpenTalvexDialog::SetZoomFilter(TResampleFilter filter) { TalvexView->View().SetZoomFilter(filter); }

void TOpenTalvexDialog::SetInitialDir(const QString& dir) {
  QString d = dir;
  if (d.size() > 1 && d.endsWith('/')) d.chop(1);
  initialDir_ = d;
}

QString TOpenTalvexDialog::BuildFilter(const TOpenDialogTexts& texts, bool addVideo) {
  return QString::fromStdString(IOOpenDialogFilter(texts.AllGraphics.toStdString(), addVideo,
                                                   texts.VideoForWindows.toStdString(), true));
}

QStringList TOpenTalvexDialog::NameFilters(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList result;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(';', Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    patterns.removeAll(QString());
    result << parts[i] + " (" + patterns.join(' ') + ")";
  }
  return result;
}

// Bytes as the information panel gives them: whole kilobytes, or bytes below one.
static QString SizeText(int64_t bytes) {
  return bytes < 1024 ? QString::number(bytes) + " bytes" : QString::number(bytes / 1024) + " Kb";
}

TOpenDialogLabels TOpenTalvexDialog::LabelsFor(const TIOParamsVals& p, int frames, int64_t fileSize,
                                               const TOpenDialogTexts& texts) {
  TOpenDialogLabels l;
  int w = p.Width, h = p.Height;
  if (p.FileType == ioJPEG) {
    w = p.JPEGOriginalWidth;
    h = p.JPEGOriginalHeight;
  }
  l.PicLabel1 = QString::number(w) + " x " + QString::number(h) + " pixel";
  if (frames > 1) l.PicLabel1 += " , " + QString::number(frames) + " frames";
  l.PicLabel3 = QString::number(p.DpiX()) + " x " + QString::number(p.DpiY()) + " dpi";
  const int bpp = p.SamplesPerPixel * p.BitsPerSample;
  QString colours;
  if (p.SamplesPerPixel == 4 && p.BitsPerSample == 8)
    colours = "16777216";
  else if (p.SamplesPerPixel == 3 && p.BitsPerSample == 16)
    colours = "2^48";
  else
    colours = QString::number(uint64_t(1) << (unsigned(bpp) % 32u));
  l.PicLabel2 = colours + " " + texts.Colors + " (" + QString::number(bpp) + " bit)";
  const int b = (p.SamplesPerPixel == 1 && p.BitsPerSample == 1) ? 1 : 24;
  const int64_t memory = int64_t(frames) * p.Height * (((int64_t(p.Width) * b + 31) / 32) * 4);
  l.InfoLabel2 = texts.File + ": " + SizeText(fileSize) + "   " + texts.Mem + ": " + SizeText(memory);
  l.InfoLabel1 = QString::fromStdString(p.DescriptiveName());
  return l;
}

void TOpenTalvexDialog::ShowLabels(const TOpenDialogLabels& l) {
  PicLabel1->setText(l.PicLabel1);
  PicLabel2->setText(l.PicLabel2);
  PicLabel3->setText(l.PicLabel3);
  InfoLabel1->setText(l.InfoLabel1);
  InfoLabel2->setText(l.InfoLabel2);
}

void TOpenTalvexDialog::ClearLabels() { ShowLabels({}); }

void TOpenTalvexDialog::ClearPreview() {
  TTalvexView& view = PreviewView();
  view.SetBackground(kWhite);
  view.Clear();
}

void TOpenTalvexDialog::ProgressCallback(void* context, void* /*sender*/, int percent) {
  auto* self = static_cast<TOpenTalvexDialog*>(context);
  self->ProgressBar->setValue(std::clamp(percent, 0, 100));
}

// Images in the file the record describes: GIF frames, TIFF pages, icon images, else one.
static int FramesOf(const TIOParamsVals& p) {
  if (p.FileType == ioGIF) return std::max(1, p.GIFImageCount);
  if (p.FileType == ioTIFF) return std::max(1, p.TIFFImageCount);
  if (p.FileType == ioICO) return std::max(1, p.IconImageCount());
  return 1;
}

void TOpenTalvexDialog::SelectionChange(const QString& path) {
  if (busy_) return;
  busy_ = true;
  selected_ = path;
  bool readable = false;
  try {
    const QFileInfo fi(path);
    readable = fi.isFile() && fi.isReadable();
    if (readable) {
      fileSize_ = fi.size();
      const std::string name = ToFileName(path);
      TIOParamsVals& p = previewIO_->Params();
      if (PreviewCheck->isChecked()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ClearPreview();
        PlayButton->setChecked(false);
        PlayButton->setEnabled(false);
        ZoomCombo->setEnabled(true);
        ProgressBar->setValue(0);
        ProgressBar->show();
        TTalvexView& view = PreviewView();
        p.Width = view.ViewWidth();
        p.Height = view.ViewHeight();
        p.JPEGScale = 0;
        previewIO_->AutoAdjustDPI = AutoAdjustDPI;
        previewIO_->FilteredAdjustDPI = FilteredAdjustDPI;
        try {
          previewIO_->LoadFile(name);
        } catch (...) {
          ProgressBar->hide();
          QApplication::restoreOverrideCursor();
          throw;
        }
        frames_ = FramesOf(p);
        if (previewIO_->AbortFlag && p.FileType == 0) {
          readable = false;
        } else {
          ShowLabels(LabelsFor(p, frames_, fileSize_, Texts));
        }
        ProgressBar->hide();
        ZoomChange();
        QApplication::restoreOverrideCursor();
        PreviewButton->setEnabled(readable);
        ZoomCombo->setEnabled(readable);
      } else {
        previewIO_->ReadParamsFile(name);
        if (p.FileType != 0)
          ShowLabels(LabelsFor(p, FramesOf(p), fileSize_, Texts));
        else
          ClearLabels();
      }
    }
  } catch (...) {
    readable = false;
  }
  if (!readable) {
    ClearLabels();
    ClearPreview();
    PreviewButton->setEnabled(false);
    PlayButton->setEnabled(false);
    ZoomCombo->setEnabled(false);
  }
  if (OnSelectionChange) OnSelectionChange();
  busy_ = false;
}

void TOpenTalvexDialog::ZoomChange() {
  TTalvexView& view = PreviewView();
  const QString item = ZoomCombo->currentText();
  if (item.endsWith('%')) {
    view.SetZoom(item.chopped(1).toDouble());
  } else {
    view.Fit();
  }
}

void TOpenTalvexDialog::PreviewCheckChange() {
  if (!PreviewCheck->isChecked()) {
    ClearLabels();
    ClearPreview();
    PreviewView().SetZoom(100);
    PreviewButton->setEnabled(false);
    ZoomCombo->setEnabled(false);
  } else if (!selected_.isEmpty()) {
    SelectionChange(selected_);
  }
}

void TOpenTalvexDialog::ShowFullPreview() {
  TLXBitmap* source = PreviewView().Bitmap();
  if (!source || source->IsEmpty()) return;
  QDialog form(window_ ? window_.data() : owner_);
  previewForm_ = &form;
  form.setObjectName("PreviewForm");
  form.setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  form.setSizeGripEnabled(true);
  form.setWindowTitle(": " + QFileInfo(selected_).fileName());
  auto* layout = new QVBoxLayout(&form);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* viewWidget = new TViewWidget(&form);
  layout->addWidget(viewWidget);
  TTalvexView& view = viewWidget->View();
  view.SetBackground(kWhite);
  view.SetCenter(true);
  view.SetScrollBars(ssBoth);
  view.Bitmap()->Assign(source);
  view.Update();
  QScreen* screen = QGuiApplication::primaryScreen();
  const QSize s = screen ? screen->availableSize() : QSize(1024, 768);
  auto side = [](int image, int screenSide) {
    if (image <= 100) return 100;
    return image > screenSide ? screenSide : image;
  };
  form.resize(side(source->Width(), s.width()), side(source->Height(), s.height()));
  form.move((s.width() - form.width()) / 2, (s.height() - form.height()) / 2);
  // Escape closes it: QDialog rejects on Escape.
  form.exec();
  previewForm_ = nullptr;
}

bool TOpenTalvexDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == TalvexView && event->type() == QEvent::MouseButtonDblClick) {
    ShowFullPreview();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

bool TOpenTalvexDialog::Execute() {
  PreviewCheck->setText(Texts.Preview);
  PreviewCheck->show();
  PreviewButton->setToolTip(Texts.Preview);
  PlayButton->setToolTip(Texts.Animate);
  PlayButton->setVisible(!AlwaysAnimate);
  AdvancedButton->setText(Texts.Advanced + "...");
  if (AutoSetFilter) Filter = BuildFilter(Texts, AddVideoFilter);
  PicLabel1->setVisible(ExtendedDialog);
  PicLabel2->setVisible(ExtendedDialog);
  PicLabel3->setVisible(ExtendedDialog);
  ZoomCombo->setVisible(ExtendedDialog);
  InfoPanel->setVisible(ExtendedDialog);

  if (PreviewBorderStyle != lxpsDefault) {
    PreviewView().SetBackgroundStyle(PreviewBorderStyle == lxpsCropped ? lxbsCropped : lxbsCropShadow);
    PreviewView().BorderStyle = lxbsNoBorder;
  }
  if (!ShowPlacesBar) fileDialog_->setSidebarUrls({});
  window_->setWindowTitle(Title.isEmpty() ? QStringLiteral("Open") : Title);
  const QStringList filters = NameFilters(Filter);
  fileDialog_->setNameFilters(filters);
  if (FilterIndex >= 1 && FilterIndex <= filters.size()) fileDialog_->selectNameFilter(filters[FilterIndex - 1]);
  QString dir = initialDir_;
  if (dir.isEmpty() && !FileName.isEmpty()) dir = QFileInfo(FileName).absolutePath();
  if (!dir.isEmpty()) fileDialog_->setDirectory(dir);
  QString ext = DefaultExt;
  if (ext.isEmpty()) ext = QFileInfo(FileName).suffix();
  fileDialog_->setDefaultSuffix(ext);
  if (!FileName.isEmpty()) fileDialog_->selectFile(FileName);
  fileDialog_->setVisible(true);

  ZoomCombo->setCurrentIndex(0);
  PreviewView().SetBackground(kWhite);
  PreviewView().SetCenter(true);
  PlayButton->setEnabled(false);
  if (OnShow) OnShow();

  const bool ok = window_->exec() == QDialog::Accepted;
  if (ok) {
    Files = fileDialog_->selectedFiles();
    if (!Files.isEmpty()) FileName = Files.front();
    const int index = filters.indexOf(fileDialog_->selectedNameFilter());
    if (index >= 0) FilterIndex = index + 1;
  }
  ClearPreview();
  selected_.clear();
  if (OnClose) OnClose();
  return ok && !FileName.isEmpty();
}
