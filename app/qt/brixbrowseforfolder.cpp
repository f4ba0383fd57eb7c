#include "app/qt/brixbrowseforfolder.h"

#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

TBrixBrowseForFolder::TBrixBrowseForFolder(QWidget* owner) : QObject(owner), owner_(owner) {}

void TBrixBrowseForFolder::SetOptions(int options) {
  if ((options & bfNewDialogStyle) && (options & bfFileSystemOnly)) options &= ~bfFileSystemOnly;
  options_ = options;
}

void TBrixBrowseForFolder::SetRootedAtFileSystemFolder(const QString& folder) {
  rootFolder_ = folder;
  RootedAt = SF_FILESYSTEMFOLDER;
}

// The special folders that have a place in a Linux file system.
static QString SpecialFolder(TBrixShellFolder folder) {
  switch (folder) {
    case SF_PERSONAL:
    case SF_COMMON_DOCUMENTS: return QDir::homePath();
    case SF_DESKTOP:
    case SF_DESKTOPDIRECTORY:
    case SF_COMMON_DESKTOPDIRECTORY: {
      const QString desktop = QDir::homePath() + "/Desktop";
      return QDir(desktop).exists() ? desktop : QDir::homePath();
    }
    default: return QStringLiteral("/");
  }
}

int TBrixBrowseForFolder::DialogLeft() const { return dialog_ ? dialog_->x() : left_; }
int TBrixBrowseForFolder::DialogTop() const { return dialog_ ? dialog_->y() : top_; }

void TBrixBrowseForFolder::SetDialogLeft(int value) {
  left_ = value;
  if (dialog_) dialog_->move(value, dialog_->y());
}

void TBrixBrowseForFolder::SetDialogTop(int value) {
  top_ = value;
  if (dialog_) dialog_->move(dialog_->x(), value);
}

bool TBrixBrowseForFolder::Execute() {
  QFileDialog dialog(owner_ ? owner_->window() : nullptr, Title);
  dialog.setFileMode((options_ & bfBrowseIncludeFiles) ? QFileDialog::AnyFile : QFileDialog::Directory);
  if (!(options_ & bfBrowseIncludeFiles)) dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setDirectory(!rootFolder_.isEmpty() ? rootFolder_ : SpecialFolder(RootedAt));
  // The dialog opens inside Path; confirming at once returns Path itself.
  if (!Path.isEmpty()) dialog.setDirectory(Path);
  dialog_ = &dialog;
  if (OnShow) OnShow();
  // Placed once it has its size: at DialogLeft/DialogTop when both are set, else centred.
  QTimer::singleShot(0, &dialog, [this, &dialog] {
    if (left_ > 0 && top_ > 0) {
      dialog.move(left_, top_);
    } else if (QScreen* screen = dialog.screen() ? dialog.screen() : QGuiApplication::primaryScreen()) {
      const QRect s = screen->geometry();
      dialog.move(s.x() + s.width() / 2 - dialog.width() / 2, s.y() + s.height() / 2 - dialog.height() / 2);
    }
  });
  const bool ok = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
  if (ok) Path = dialog.selectedFiles().front();
  dialog_ = nullptr;
  if (OnClose) OnClose();
  return ok;
}
