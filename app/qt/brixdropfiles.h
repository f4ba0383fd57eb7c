#pragma once
// TBrixDropFiles: makes a control accept files dragged from the file manager.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

enum TBrixDropEffect { deNone = 0, deCopy = 1, deMove = 2, deLink = 4 };

class TBrixDropFiles;
using TBrixDragDropEvent =
    std::function<void(TBrixDropFiles* sender, Qt::KeyboardModifiers keyState, QPoint mousePos,
                       TBrixDropEffect& effect)>;

class TBrixDropFiles : public QObject {
  Q_OBJECT
public:
  explicit TBrixDropFiles(QObject* owner = nullptr);
  ~TBrixDropFiles() override;

  QWidget* Control() const { return control_; }
  void SetControl(QWidget* control);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  // Local file names of the drag in progress (or of the last drop).
  const QStringList& DroppedFiles() const { return droppedFiles_; }

  TBrixDragDropEvent OnDrop, OnDragOver, OnDragEnter;
  std::function<void(TBrixDropFiles* sender)> OnDragLeave;

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool HandleDragEvent(QEvent* event);
  void Register();
  void Revoke();

  QPointer<QWidget> control_;
  bool enabled_ = true;
  bool registered_ = false;
  QStringList droppedFiles_;
};
