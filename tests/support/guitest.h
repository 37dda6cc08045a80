#pragma once

// GoogleTest fixture for tests that drive windows on Qt's offscreen platform.  While a test
// runs, every message box is recorded and answered, every file dialog is answered from a
// queue, and every blocking wait is recorded instead of slept.

#include <gtest/gtest.h>

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "ui/filedialog.h"
#include "ui/messagebox.h"

class QDialog;

class GuiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Messages shown so far, oldest first.
  std::vector<MessageBoxCall> messages;
  // Answers to Yes/No questions, oldest first; when empty, questions are answered Yes.
  std::deque<TModalResult> answers;
  // Answers to file dialogs: a path, or std::nullopt for Cancel; when empty, Cancel.
  std::deque<std::optional<QString>> fileAnswers;
  // Titles of the file dialogs shown so far.
  std::vector<QString> fileDialogs;
  // Blocking waits asked for, in milliseconds.
  std::vector<int> sleeps;
  // When true, waits really sleep (for tests against a live peer); default false.
  bool realSleeps = false;

  // Texts of the messages shown so far.
  std::vector<QString> MessageTexts() const;

 private:
  // A file chosen in a dialog moves the current directory; each test starts from the same.
  QString current_directory_;
};

// Runs `action` once the modal `dialog` is on screen (call it before the code that shows
// it).  If that showing has not finished `timeoutMs` after the action, the test fails and
// the dialog is closed, so that a test never hangs on it.
void WhenShown(QDialog* dialog, std::function<void()> action, int timeoutMs = 10000);

// Processes events until pred() holds or the time runs out; returns pred().
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs = 5000);

#include "tests/support/guitest_impl.h"
