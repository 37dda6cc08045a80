#include "tests/support/guitest.h"

#include <QThread>

#include "panel/pacing.h"

void GuiTest::SetUp() {
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
}

std::vector<QString> GuiTest::MessageTexts() const {
  std::vector<QString> texts;
  for (const MessageBoxCall& call : messages) texts.push_back(call.text);
  return texts;
}
