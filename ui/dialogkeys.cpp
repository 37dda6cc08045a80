#include "ui/dialogkeys.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QToolButton>

namespace {

// Watches the keys that reach the dialog: those its controls do not take for themselves.
class DialogKeys : public QObject {
 public:
  DialogKeys(QDialog* dialog, QToolButton* accept, QToolButton* cancel)
      : QObject(dialog), dialog_(dialog), accept_(accept), cancel_(cancel) {}

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched != dialog_ || event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) return false;
    switch (key->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        if (auto* focused = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
            focused && dialog_->isAncestorOf(focused)) {
          focused->click();
        } else if (accept_) {
          accept_->click();
        }
        return true;
      case Qt::Key_Escape:
        if (cancel_)
          cancel_->click();
        else
          dialog_->reject();
        return true;
      default:
        return false;
    }
  }

 private:
  QDialog* dialog_;
  QPointer<QToolButton> accept_;
  QPointer<QToolButton> cancel_;
};

}  // namespace

void AnswerEnterAndEscape(QDialog* dialog, QToolButton* accept, QToolButton* cancel) {
  dialog->installEventFilter(new DialogKeys(dialog, accept, cancel));
}
