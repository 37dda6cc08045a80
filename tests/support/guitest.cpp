#include "tests/support/guitest.h"

#include <QDialog>
#include <QDir>
#include <QThread>
#include <QTimer>
#include <memory>

#include "panel/pacing.h"

void GuiTest::SetUp() {
  current_directory_ = QDir::currentPath();
  SetMessageBoxHook([this](const MessageBoxCall& call) {
    messages.push_back(call);
    if (call.buttons == TMessageButtons::Ok) return TModalResult::Ok;
    if (answers.empty()) return TModalResult::Yes;
    const TModalResult answer = answers.front();
    answers.pop_front();
    return answer;
  });
  TFileDialog::SetHook([this](const TFileDialog& dialog) -> std::optional<QString> {
    fileDialogs.push_back(dialog.Title());
    if (fileAnswers.empty()) return std::nullopt;
    const bool cancel = !fileAnswers.front().has_value();
    const QString path = fileAnswers.front().value_or(QString());
    fileAnswers.pop_front();
    if (cancel) return std::nullopt;
    return path;
  });
  SetSleepHook([this](int ms) {
    sleeps.push_back(ms);
    if (realSleeps && ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
  });
}

void GuiTest::TearDown() {
  SetMessageBoxHook({});
  TFileDialog::SetHook({});
  SetSleepHook({});
  QDir::setCurrent(current_directory_);
}

std::vector<QString> GuiTest::MessageTexts() const {
  std::vector<QString> texts;
  for (const MessageBoxCall& call : messages) texts.push_back(call.text);
  return texts;
}

void WhenShown(QDialog* dialog, std::function<void()> action, int timeoutMs) {
  auto* poll = new QTimer(dialog);
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, dialog, [dialog, poll, action = std::move(action), timeoutMs] {
    if (!dialog->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    auto finished = std::make_shared<bool>(false);
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = QObject::connect(dialog, &QDialog::finished, dialog, [finished, connection] {
      *finished = true;
      QObject::disconnect(*connection);
    });
    action();
    QTimer::singleShot(timeoutMs, dialog, [dialog, finished] {
      if (*finished) return;
      ADD_FAILURE() << dialog->objectName().toStdString() << " did not close";
      dialog->done(-1);
    });
  });
  poll->start();
}
