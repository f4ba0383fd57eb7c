#include "app/qt/brixdropfiles.h"

#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

TBrixDropFiles::TBrixDropFiles(QObject* owner) : QObject(owner) {}

TBrixDropFiles::~TBrixDropFiles() { Revoke(); }

void TBrixDropFiles::SetControl(QWidget* control) {
  if (enabled_ && control_) Revoke();
  control_ = control;
  if (!registered_) SetEnabled(enabled_);
}

void TBrixDropFiles::SetEnabled(bool enabled) {
  enabled_ = enabled;
  if (!control_) return;
  if (enabled_)
    Register();
  else
    Revoke();
}

void TBrixDropFiles::Register() {
  if (registered_ || !control_) return;
  control_->setAcceptDrops(true);
  control_->installEventFilter(this);
  registered_ = true;
}

void TBrixDropFiles::Revoke() {
  if (registered_ && control_) {
    control_->removeEventFilter(this);
    control_->setAcceptDrops(false);
  }
  registered_ = false;
}

static QStringList LocalFiles(const QMimeData* data) {
  QStringList names;
  if (!data || !data->hasUrls()) return names;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) names << url.toLocalFile();
  return names;
}

// The file manager must never be told to move: a move would delete the user's files.
static Qt::DropAction ActionOf(TBrixDropEffect effect) {
  switch (effect) {
    case deNone: return Qt::IgnoreAction;
    case deLink: return Qt::LinkAction;
    default: return Qt::CopyAction;
  }
}

bool TBrixDropFiles::eventFilter(QObject* watched, QEvent* event) {
  if (watched != control_.data()) return QObject::eventFilter(watched, event);
  try {
    return HandleDragEvent(event) || QObject::eventFilter(watched, event);
  } catch (...) {
    // A failing handler refuses the drag, as the platform's "unexpected" answer does.
    event->ignore();
    return true;
  }
}

bool TBrixDropFiles::HandleDragEvent(QEvent* event) {
  switch (event->type()) {
    case QEvent::DragEnter: {
      auto* e = static_cast<QDragEnterEvent*>(event);
      droppedFiles_ = LocalFiles(e->mimeData());
      TBrixDropEffect effect = deNone;
      if (OnDragEnter) OnDragEnter(this, e->modifiers(), e->position().toPoint(), effect);
      // Accepted even when the answer is "none", so that the moves still reach us.
      e->setDropAction(ActionOf(effect == deNone ? deCopy : effect));
      if (droppedFiles_.isEmpty()) e->ignore(); else e->accept();
      return true;
    }
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      TBrixDropEffect effect = deCopy;
      if (OnDragOver) OnDragOver(this, e->modifiers(), e->position().toPoint(), effect);
      if (effect == deNone || droppedFiles_.isEmpty()) {
        e->ignore();
      } else {
        e->setDropAction(ActionOf(effect));
        e->accept();
      }
      return true;
    }
    case QEvent::DragLeave:
      if (OnDragLeave) OnDragLeave(this);
      return true;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      if (droppedFiles_.isEmpty()) droppedFiles_ = LocalFiles(e->mimeData());
      TBrixDropEffect effect = deNone;
      if (OnDrop) OnDrop(this, e->modifiers(), e->position().toPoint(), effect);
      e->setDropAction(Qt::CopyAction);
      e->accept();
      return true;
    }
    default:
      return false;
  }
}
