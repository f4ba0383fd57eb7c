#pragma once
// The converter's host in the Qt window: message boxes, the open dialog, the folder browser.
#include <QString>
#include <functional>

#include "app/model/converterhost.h"

class QWidget;
class TOpenTalvexDialog;
class TBrixBrowseForFolder;

class TQtConverterHost : public TPlatformConverterHost {
public:
  TQtConverterHost(QWidget* owner, TOpenTalvexDialog& openDialog, TBrixBrowseForFolder& browse);

  void ShowMessage(const std::string& text) override;
  bool ExecuteOpenDialog(const std::string& initialDir, const std::string& filter,
                         std::string& fileName) override;
  bool ExecuteBrowseForFolder(std::string& path) override;

  // When set, replace the modal message box and dialogs (tests, scripted runs).
  std::function<void(const QString& text)> MessageHook;
  std::function<bool(QString& fileName)> OpenDialogHook;
  std::function<bool(QString& path)> BrowseHook;

private:
  QWidget* owner_;
  TOpenTalvexDialog& openDialog_;
  TBrixBrowseForFolder& browse_;
};

// Local 8-bit file names <-> Qt strings.
std::string ToFileName(const QString& path);
QString FromFileName(const std::string& path);
