#pragma once

// Answers the modal default-length warning through its own buttons, as a user would: each
// time the dialog is shown, the next answer is clicked from inside the dialog's event loop.
// With no answer left, "No" is clicked.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <deque>

#include "app/defaultlengthwarning.h"

class WarningAnswers : public QObject {
 public:
  enum Answer { Yes, No };

  explicit WarningAnswers(TfrmDefaultLengthWarning* dialog) : dialog_(dialog) { dialog->installEventFilter(this); }

  std::deque<Answer> answers;
  int shown = 0;  // times the dialog was shown

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == dialog_ && event->type() == QEvent::Show) {
      ++shown;
      Answer answer = No;
      if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
      }
      QPointer<QToolButton> button = answer == Yes ? dialog_->SpeedButton1 : dialog_->SpeedButton2;
      QTimer::singleShot(0, dialog_, [button] {
        if (button) button->click();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  TfrmDefaultLengthWarning* dialog_;
};
