#include "app/qt/qtconverterhost.h"

#include <QFile>
#include <QMessageBox>

#include "app/qt/brixbrowseforfolder.h"
#include "app/qt/opentalvexdialog.h"

std::string ToFileName(const QString& path) { return QFile::encodeName(path).toStdString(); }
QString FromFileName(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

TQtConverterHost::TQtConverterHost(QWidget* owner, TOpenTalvexDialog& openDialog,
                                   TBrixBrowseForFolder& browse)
    : owner_(owner), openDialog_(openDialog), browse_(browse) {}

void TQtConverterHost::ShowMessage(const std::string& text) {
  const QString message = QString::fromStdString(text);
  if (MessageHook) {
    MessageHook(message);
    return;
  }
  QMessageBox box(QMessageBox::Information, QStringLiteral("Quelmar"), message, QMessageBox::Ok, owner_);
  box.exec();
}

bool TQtConverterHost::ExecuteOpenDialog(const std::string& initialDir, const std::string& filter,
                                         std::string& fileName) {
  QString name;
  bool ok;
  if (OpenDialogHook) {
    ok = OpenDialogHook(name);
  } else {
    openDialog_.SetInitialDir(FromFileName(initialDir));
    openDialog_.FileName.clear();
    openDialog_.Filter = QString::fromStdString(filter);
    ok = openDialog_.Execute();
    name = openDialog_.FileName;
  }
  if (ok) fileName = ToFileName(name);
  return ok;
}

bool TQtConverterHost::ExecuteBrowseForFolder(std::string& path) {
  QString folder = FromFileName(path);
  bool ok;
  if (BrowseHook) {
    ok = BrowseHook(folder);
  } else {
    browse_.Path = folder;
    ok = browse_.Execute();
    folder = browse_.Path;
  }
  if (ok) path = ToFileName(folder);
  return ok;
}
