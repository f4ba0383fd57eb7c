#pragma once
// TBrixBrowseForFolder: the platform's modal folder choice.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

#include <QFileDialog>
class QWidget;

enum TBrixShellFolder {
  SF_FILESYSTEMFOLDER, SF_BITBUCKET, SF_CONTROLS, SF_DESKTOP, SF_DESKTOPDIRECTORY, SF_DRIVES,
  SF_FONTS, SF_NETHOOD, SF_NETWORK, SF_PERSONAL, SF_PRINTERS, SF_PROGRAMS, SF_RECENT, SF_SENDTO,
  SF_STARTMENU, SF_STARTUP, SF_TEMPLATES, SF_FAVORITES, SF_COMMON_STARTMENU, SF_COMMON_STARTUP,
  SF_COMMON_DESKTOPDIRECTORY, SF_APPDATA, SF_PRINTHOOD, SF_COMMON_FAVORITES, SF_INTERNET_CACHE,
  SF_COOKIES, SF_HISTORY, SF_COMMON_PROGRAMS, SF_ALTSTARTUP, SF_COMMON_APPDATA,
  SF_COMMON_DOCUMENTS, SF_INTERNET, SF_LOCAL_APPDATA, SF_MYPICTURES, SF_PROGRAM_FILES, SF_SYSTEM,
  SF_PROGRAM_FILES_COMMON
};

enum TBrixBrowseFlag { bfNewDialogStyle = 1, bfFileSystemOnly = 2, bfBrowseIncludeFiles = 4, bfEditBox = 8 };

class TBrixBrowseForFolder : public QObject {
  Q_OBJECT
public:
  explicit TBrixBrowseForFolder(QWidget* owner = nullptr);

  QString Title;
  int Options() const { return options_; }
  // The new-style and file-system-only flags exclude each other; the former wins.
  void SetOptions(int options);
  QString RootedAtFileSystemFolder() const { return rootFolder_; }
  // Also roots the dialog at SF_FILESYSTEMFOLDER.
  void SetRootedAtFileSystemFolder(const QString& folder);
  TBrixShellFolder RootedAt = SF_DESKTOP;
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
  QString rootFolder_;
  int left_ = -1, top_ = -1;
  QPointer<QFileDialog> dialog_;
};
