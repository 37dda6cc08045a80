#include "settings/chillerinfo.h"

#include <QFrame>
#include <QLabel>
#include <QToolButton>

#include "quellso/version.h"
#include "ui/centre.h"
#include "ui/dialogkeys.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/pictures.h"
#include "ui/wall.h"

TfrmAbout* frmAbout = nullptr;

namespace {

constexpr int kClientWidth = 350;
constexpr int kClientHeight = 237;
constexpr int kNoticeWidth = 150;  // the legal notice wraps within this width
constexpr int kRuleLength = 285;

}  // namespace

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setObjectName("frmAbout");
  setWindowTitle("About");
  setFont(SansFont(11));
  setFixedSize(kClientWidth, kClientHeight);

  Wallpaper1 = NewDialogBackground(this, "Wallpaper1", "tile128");
  QWidget* body = Wallpaper1;

  // Labels are transparent over the tiles and take the size of their text.
  auto label = [body](const char* name, const QString& text, int x, int y, const QFont& font = SansFont(11)) {
    auto* l = new QLabel(text, body);
    l->setObjectName(name);
    l->setFont(font);
    l->setAttribute(Qt::WA_TranslucentBackground);
    l->move(x, y);
    l->adjustSize();
    return l;
  };
  auto image = [body](const char* name, const char* picture, int x, int y) {
    auto* l = new QLabel(body);
    l->setObjectName(name);
    l->setAttribute(Qt::WA_TranslucentBackground);
    l->setPixmap(Picture(picture));
    l->setGeometry(QRect(QPoint(x, y), l->pixmap().deviceIndependentSize().toSize()));  // sized to its picture
    return l;
  };
  auto rule = [body](const char* name, int x, int y) {
    auto* line = new QFrame(body);
    line->setObjectName(name);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, kRuleLength, 2);
    return line;
  };

  const QFont title = SansFont(21, true, true);
  Image1 = image("Image1", "product", 4, 4);
  lblProductName = label("lblProductName", "Quell Panel ", 56, 4, title);
  Label2 = label("Label2", "Sales Order Entry", 56, 28, title);
  VersionTitle = label("VersionTitle", "Version: ", 56, 64);
  // The project's version 1.0.8 shows as version 1.00, build 008.
  lblVersion = label("lblVersion", QString::asprintf("%d.%02d", kQuellsoVersionMajor, kQuellsoVersionMinor), 100, 64);
  BuildTitle = label("BuildTitle", "Build:", 156, 64);
  lblBuild = label("lblBuild", QString::asprintf("%03d", kQuellsoBuild), 188, 64);
  Bevel1 = rule("Bevel1", 56, 88);
  lblCopyright = label("lblCopyright", "Copyright (c) 2026 the Quellso project", 56, 100);
  DeveloperTitle = label("DeveloperTitle", "Developed By:", 56, 124);
  Image2 = image("Image2", "logo", 132, 124);
  lblDeveloper = label("lblDeveloper", "The Quellso developers", 176, 124);
  Label1 = label("Label1", "https://quellso.invalid/", 176, 140);
  Bevel2 = rule("Bevel2", 56, 164);
  WarningTitle = label("WarningTitle", "Warning:", 56, 176);
  Label6 = label("Label6", "This program is protected by copyright law and may be used only as its licence allows.",
                 104, 176);
  Label6->setWordWrap(true);
  Label6->resize(kNoticeWidth, Label6->heightForWidth(kNoticeWidth));

  Button1 = NewFlatButton(body, "Button1", "Ok", "", "glyph_ok");
  Button1->setGeometry(268, 204, 69, 25);
  connect(Button1, &QToolButton::clicked, this, &TfrmAbout::Button1Click);
  AnswerEnterAndEscape(this, Button1);
  KeepCentred(this, TCentred::AtEveryShow);
}

void TfrmAbout::Button1Click() { accept(); }

