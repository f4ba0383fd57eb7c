#pragma once
// TForm1: the converter window.
#include <QWidget>
#include <QStringList>
#include <memory>

#include "app/model/converter.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class TBrixBrowseForFolder;
class TBrixDropFiles;
class TOpenTalvexDialog;
class TQtConverterHost;
class TTalvexConverterEngine;
class TTalvexIO;
class TTalvexView;
class TViewWidget;

// The window's caption.
extern const char* const kForm1Caption;

class TForm1 : public QWidget {
  Q_OBJECT
public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // A file named on the command line: taken as if dropped on the preview.
  void OpenFromCommandLine(const QString& fileName);

  TConverter& Converter() { return *converter_; }
  TQtConverterHost& Host() { return *host_; }
  TTalvexView& View();

  // --- controls ---
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton5 = nullptr;
  QToolButton* SpeedButton2 = nullptr;
  TViewWidget* TalvexView1 = nullptr;
  QLabel* Label1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QRadioButton* Rb1 = nullptr;
  QRadioButton* Rb2 = nullptr;
  QRadioButton* Rb3 = nullptr;
  QRadioButton* Rb7 = nullptr;
  QLineEdit* edX = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* edY = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QRadioButton* Rb4 = nullptr;
  QRadioButton* Rb5 = nullptr;
  QRadioButton* Rb6 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QSpinBox* SpinEdit1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Edit2 = nullptr;
  QPushButton* Button1 = nullptr;
  QLabel* Label4 = nullptr;
  QLineEdit* edFileName = nullptr;
  QLabel* Label5 = nullptr;

  // --- components ---
  std::unique_ptr<TTalvexIO> TalvexIO1;
  TOpenTalvexDialog* OpenTalvexDialog1 = nullptr;
  TBrixBrowseForFolder* BrixBrowseForFolder1 = nullptr;
  TBrixDropFiles* BrixDropFileImg = nullptr;
  TBrixDropFiles* BrixDropFiles1 = nullptr;

protected:
  void showEvent(QShowEvent* event) override;

private:
  void CreateControls();
  void BindEvents();
  // Runs a handler between reading the controls into the state and writing it back;
  // an error it raises is reported in a message box, never passed to the event loop.
  template <class F> void Run(F&& handler);
  void PullFromControls();
  void PushToControls();

  std::unique_ptr<TQtConverterHost> host_;
  std::unique_ptr<TTalvexConverterEngine> engine_;
  std::unique_ptr<TConverter> converter_;
  int depth_ = 0;
  bool pushing_ = false;
};

// "MS Sans Serif" 8 pt and "Fixedsys" as this platform has them.
QFont ConverterFont();
QFont ConverterButtonFont();
