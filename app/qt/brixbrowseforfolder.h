#pragma once
// TBrixBrowseForFolder: the platform's modal folder choice.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include <QFileDialog>
class QWidget;

enum TBrixBrowseFlag { bfNewDialogStyle = 1, bfFileSystemOnly = 2, bfBrowseIncludeFiles = 4, bfEditBox = 8 };

class TBrixBrowseForFolder : public QObject {
  Q_OBJECT
public:
  explicit TBrixBrowseForFolder(QWidget* owner = nullptr);

  QString Title;
  int Options() const { return options_; }
  // The new-style and file-system-only flags exclude each other; the former wins.
  void SetOptions(int options);
  QString RootedAtFileSystemFolder;
  // Folder to preselect before Execute, the chosen one after a confirmed Execute.
  QString Path;
  int DialogLeft() const;
  int DialogTop() const;
  void SetDialogLeft(int value);
  void SetDialogTop(int value);

  std::function<void()> OnShow, OnClose;

  bool Execute();
  // The dialog while Execute runs, so that tests and callers can drive it.
  QFileDialog* Dialog() const { return dialog_; }

private:
  QWidget* owner_;
  int options_ = bfNewDialogStyle;
  int left_ = -1, top_ = -1;
  QPointer<QFileDialog> dialog_;
};
