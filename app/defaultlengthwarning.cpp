#include "app/defaultlengthwarning.h"

#include <QLabel>
#include <QToolButton>

#include "app/portready.h"
#include "panel/panellink.h"
#include "panel/transfers.h"
#include "ui/busycursor.h"
#include "ui/centre.h"
#include "ui/dialogkeys.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/pictures.h"
#include "ui/wall.h"

TfrmDefaultLengthWarning* frmDefaultLengthWarning = nullptr;

namespace {

// The dialog measures 363 x 227 with its frame: a 4-pixel border on each side and a
// 23-pixel caption around a client area of 355 x 200, which the tiled panel fills.
constexpr int kClientWidth = 355;
constexpr int kClientHeight = 200;

}  // namespace

TfrmDefaultLengthWarning::TfrmDefaultLengthWarning(QWidget* parent) : TfrmDefaultLengthWarning(PanelLink, parent) {}

TfrmDefaultLengthWarning::TfrmDefaultLengthWarning(TPanelLink& link, QWidget* parent)
    : QDialog(parent), link_(link) {
  setObjectName("frmDefaultLengthWarning");
  setWindowTitle("Default Length Warning");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(SansFont(11));
  setFixedSize(kClientWidth, kClientHeight);

  Wallpaper1 = new TWallpaper(this);
  Wallpaper1->setObjectName("Wallpaper1");
  Wallpaper1->SetColor(Qt::black);  // the colour of a window frame
  Wallpaper1->SetWallpaper(Picture("tile96"));
  Wallpaper1->setGeometry(0, 0, kClientWidth, kClientHeight);
  Wallpaper1->SetAlign(TWallpaper::TAlign::Top);
  QWidget* panel = Wallpaper1;

  // Transparent labels in bold, so that they read clearly over the light tiles.
  QFont bold = SansFont(11, true);
  auto label = [&](const char* name, const QString& text, int x, int y, const QColor& colour) {
    auto* l = new QLabel(text, panel);
    l->setObjectName(name);
    l->setFont(bold);
    l->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, colour);
    l->setPalette(palette);
    l->move(x, y);
    l->adjustSize();
    return l;
  };
  lblDefLen = label("lblDefLen", "WARNING: DEFAULT LENGTHS ARE IN USE !", 64, 40, Qt::red);
  Label1 = label("Label1", "Do you want to try to connect to chiller panel ?", 72, 104, Qt::black);

  auto button = [&](const char* name, const QString& caption, const QString& hint, const char* glyph, int x) {
    QToolButton* b = NewFlatButton(panel, name, caption, hint, glyph);
    b->setGeometry(x, 136, 69, 25);
    return b;
  };
  SpeedButton1 = button("SpeedButton1", "Yes", "Connect to Panel", "glyph_yes", 96);
  SpeedButton2 = button("SpeedButton2", "No", "Cancel Operation", "glyph_no", 184);
  connect(SpeedButton1, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton1Click(); }); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { Guarded([this] { SpeedButton2Click(); }); });
  AnswerEnterAndEscape(this, SpeedButton1, SpeedButton2);
  KeepCentred(this, TCentred::AtEveryShow);
}

// The port is made ready first (an adapter plugged back in opens anew; one that cannot be
// opened is reported and nothing is sent); the query runs under the busy cursor.
void TfrmDefaultLengthWarning::SpeedButton1Click() {
  if (PortReadyOrSay(link_, this)) {
    const TBusyCursor busy;
    SendLengthRequests(link_);
  }
  accept();
}

void TfrmDefaultLengthWarning::SpeedButton2Click() { reject(); }
