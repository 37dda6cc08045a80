#pragma once

// TfrmAbout: the About box, naming the product, its version and build, and its developer.
// Every text in it is fixed; its Ok button closes it.

#include <QDialog>

class QFrame;
class QLabel;
class QToolButton;
class TWallpaper;

class TfrmAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmAbout(QWidget* parent = nullptr);

  // ---- the box's parts, by the names of its layout ----
  TWallpaper* Wallpaper1 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* lblProductName = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* VersionTitle = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* BuildTitle = nullptr;
  QLabel* lblBuild = nullptr;
  QFrame* Bevel1 = nullptr;
  QLabel* lblCopyright = nullptr;
  QLabel* DeveloperTitle = nullptr;
  QLabel* Image2 = nullptr;
  QLabel* lblDeveloper = nullptr;
  QLabel* Label1 = nullptr;
  QFrame* Bevel2 = nullptr;
  QLabel* WarningTitle = nullptr;
  QLabel* Label6 = nullptr;
  QToolButton* Button1 = nullptr;

  // Closes the box, which ends its modal show.
  void Button1Click();
};

extern TfrmAbout* frmAbout;
