#pragma once

// TfrmDefaultLengthWarning: warns that the panel's field lengths are not known yet, so the
// edit fields carry default limits and writes carry texts of the lengths reported so far,
// and offers to ask the panel for its lengths.  Shown modally by Edit Data and Send Data
// while the link's lengths are not all known; its callers do not look at the answer.

#include <QDialog>

class QLabel;
class QToolButton;
class TPanelLink;
class TWallpaper;

class TfrmDefaultLengthWarning : public QDialog {
  Q_OBJECT
 public:
  // "Yes" runs the length query of `link` (the program's one link by default).
  explicit TfrmDefaultLengthWarning(QWidget* parent = nullptr);
  explicit TfrmDefaultLengthWarning(TPanelLink& link, QWidget* parent = nullptr);

  // "Yes": ask the panel for its lengths (once its port is ready: see app/portready.h),
  // then close.  The replies are read later, by the main window, while the user-interface
  // thread waits for the user again.
  void SpeedButton1Click();
  // "No": close.
  void SpeedButton2Click();

  TWallpaper* Wallpaper1 = nullptr;
  QLabel* lblDefLen = nullptr;
  QLabel* Label1 = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* SpeedButton2 = nullptr;

 private:
  TPanelLink& link_;
};

extern TfrmDefaultLengthWarning* frmDefaultLengthWarning;
