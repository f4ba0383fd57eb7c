#pragma once
// TOpenTalvexDialog: the file-open dialog with a picture panel that previews the
// selected file and an information panel that describes it.
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "proc/resample.h"

class QCheckBox;
class QComboBox;
class QFileDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QToolButton;
class QWidget;
class TIOParamsVals;
class TTalvexIO;
class TTalvexView;
class TViewWidget;

enum TLXPreviewBorderStyle { lxpsDefault, lxpsCropped, lxpsCropShadow };

// Texts of the library's language table used by the dialog.
struct TOpenDialogTexts {
  QString Preview, Advanced, Colors, Animate, AllGraphics, VideoForWindows, File, Mem;
  static TOpenDialogTexts ForSystemLanguage();
  static TOpenDialogTexts English();
  static TOpenDialogTexts Russian();
};

// The five label texts the dialog shows for a file.
struct TOpenDialogLabels {
  QString PicLabel1, PicLabel2, PicLabel3, InfoLabel1, InfoLabel2;
};

class TOpenTalvexDialog : public QObject {
  Q_OBJECT
public:
  explicit TOpenTalvexDialog(QWidget* owner = nullptr);
  ~TOpenTalvexDialog() override;

  // --- properties ---
  QString DefaultExt;
  QString FileName;
  QString Filter;
  int FilterIndex = 1;
  QString Title;
  QString InitialDir() const { return initialDir_; }
  // A trailing "/" goes, except for the root itself.
  void SetInitialDir(const QString& dir);
  bool AutoSetFilter = true;
  bool AlwaysAnimate = false;
  TLXPreviewBorderStyle PreviewBorderStyle = lxpsDefault;
  bool AutoAdjustDPI = false;
  bool FilteredAdjustDPI = false;
  TResampleFilter ZoomFilter() const;
  void SetZoomFilter(TResampleFilter filter);
  bool ShowAllFrames = false;
  bool ExtendedDialog = true;
  bool ShowPlacesBar = true;
  bool AddVideoFilter = true;
  // Every name the user confirmed; the first is FileName.
  QStringList Files;

  std::function<void()> OnShow, OnClose, OnSelectionChange, OnFolderChange, OnTypeChange;
  std::function<bool()> OnCanClose;

  bool Execute();

  // The filter built from the format registry, readable entries only.
  static QString BuildFilter(const TOpenDialogTexts& texts, bool addVideo);
  // "desc|p1;p2|desc|p3" as Qt name filters "desc (p1 p2)"; empty patterns are dropped.
  static QStringList NameFilters(const QString& filter);
  static TOpenDialogLabels LabelsFor(const TIOParamsVals& params, int frames, int64_t fileSize,
                                     const TOpenDialogTexts& texts);

  // What the dialog does when the user selects a path (also callable without the dialog open).
  void SelectionChange(const QString& path);
  void ZoomChange();
  void PreviewCheckChange();
  void ShowFullPreview();

  // --- child objects ---
  QDialog* Window() const { return window_; }
  QFileDialog* FileDialog() const { return fileDialog_; }
  QWidget* PicturePanel = nullptr;
  QComboBox* ZoomCombo = nullptr;
  QToolButton* PreviewButton = nullptr;
  QToolButton* PlayButton = nullptr;
  TViewWidget* TalvexView = nullptr;
  QProgressBar* ProgressBar = nullptr;
  QLabel* PicLabel1 = nullptr;
  QLabel* PicLabel2 = nullptr;
  QLabel* PicLabel3 = nullptr;
  QWidget* InfoPanel = nullptr;
  QLabel* InfoLabel1 = nullptr;
  QLabel* InfoLabel2 = nullptr;
  QCheckBox* PreviewCheck = nullptr;
  QPushButton* AdvancedButton = nullptr;
  TTalvexView& PreviewView();
  TTalvexIO& PreviewIO() { return *previewIO_; }
  // The full-size preview while it is open.
  QDialog* PreviewForm() const { return previewForm_; }
  TOpenDialogTexts Texts;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void ClearLabels();
  void ClearPreview();
  void ShowLabels(const TOpenDialogLabels& labels);
  static void ProgressCallback(void* context, void* sender, int percent);

  QWidget* owner_;
  QPointer<QDialog> window_;
  QFileDialog* fileDialog_ = nullptr;
  std::unique_ptr<TTalvexIO> previewIO_;
  QPointer<QDialog> previewForm_;
  QString initialDir_;
  QString selected_;
  bool busy_ = false;
  int64_t fileSize_ = 0;
  int frames_ = 0;
};
