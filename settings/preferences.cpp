#include "settings/preferences.h"

#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QToolButton>
#include <memory>

#include "settings/portcontrol.h"
#include "settings/settingsstore.h"
#include "ui/dialogkeys.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/messagebox.h"
#include "ui/pictures.h"
#include "ui/wall.h"

TfrmPreferences* frmPreferences = nullptr;

namespace {

constexpr int kClientWidth = 335;
constexpr int kClientHeight = 239;

const char* const kComPort = "Preferences/COMPort";
const char* const kUpzPath = "Preferences/UPZPath";
const char* const kUnitSystem = "Preferences/UnitSystem";

const char* const kPortItems[] = {"Communications Port 1 (COM1)", "Communications Port 2 (COM2)",
                                  "Communications Port 3 (COM3)", "Communications Port 4 (COM4)"};

// The settings file, when it can be read; nullptr for a file that is unreadable or not in
// the settings format (it is then left as it is).
std::unique_ptr<QSettings> OpenReadable() {
  std::unique_ptr<QSettings> settings = OpenSettings();
  if (settings->status() != QSettings::NoError) return nullptr;
  return settings;
}

QString SaveFailedMessage(const QSettings& settings) {
  return "The preferences could not be saved to " + settings.fileName() +
         ".\nCheck that the folder exists and that you may write to it; until then the settings apply to this "
         "session only.";
}

}  // namespace

TfrmPreferences::TfrmPreferences(QWidget* parent)
    : QDialog(parent),
      PathDlg(TFileDialog::Kind::Open, "Select UPZ Path Location",
              "Encrypted Data Files (*.upz)|*.upz|All Files (*.*)|*.*", "upz") {
  setObjectName("frmPreferences");
  setWindowTitle("Preferences");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFixedSize(kClientWidth, kClientHeight);

  wpBackground = new TWallpaper(this);
  wpBackground->setObjectName("wpBackground");
  wpBackground->setGeometry(0, 0, kClientWidth, kClientHeight);
  wpBackground->SetWallpaper(Picture("tile128"));
  QWidget* panel = wpBackground;

  QFont bold = font();
  bold.setBold(true);
  auto label = [&](const char* name, const QString& text, int x, int y, int width) {
    auto* l = new QLabel(text, panel);
    l->setObjectName(name);
    l->setFont(bold);
    l->setAttribute(Qt::WA_TranslucentBackground);
    l->setAutoFillBackground(false);
    l->setGeometry(x, y, width, 18);
    return l;
  };
  lblDefaultUpz = label("lblDefaultUpz", "Default UPZ File Location", 12, 10, 300);
  eDefaultUpz = new TEdit(panel);
  eDefaultUpz->setObjectName("eDefaultUpz");
  eDefaultUpz->setGeometry(12, 30, 284, 22);
  cmdUpzPath = NewFlatButton(panel, "cmdUpzPath", "", "Select .UPZ file to store default location", "glyph_folder");
  if (cmdUpzPath->icon().isNull()) cmdUpzPath->setText("...");
  cmdUpzPath->setGeometry(300, 29, 24, 24);

  lblDefaultPort = label("lblDefaultPort", "Default Communications Port", 12, 64, 300);
  cDefaultPort = new QComboBox(panel);
  cDefaultPort->setObjectName("cDefaultPort");
  cDefaultPort->setEditable(false);
  for (const char* item : kPortItems) cDefaultPort->addItem(item);
  cDefaultPort->setCurrentIndex(-1);
  cDefaultPort->setGeometry(12, 84, 312, 22);

  lblUnitSystem = label("lblUnitSystem", "Panel Unit System for Requests", 12, 118, 300);
  // Each option carries its label, so a click on the word checks it too.
  optEnglish = new QRadioButton("English", panel);
  optEnglish->setObjectName("optEnglish");
  optEnglish->setFont(bold);
  optEnglish->move(24, 140);
  optEnglish->resize(optEnglish->sizeHint());
  optMetric = new QRadioButton("Metric", panel);
  optMetric->setObjectName("optMetric");
  optMetric->setFont(bold);
  optMetric->move(24, 162);
  optMetric->resize(optMetric->sizeHint());
  // Neither is checked until the settings are loaded; the two are the only option buttons
  // on the panel, so checking one unchecks the other.

  cmdCancel = NewFlatButton(panel, "cmdCancel", "Cancel", "Cancel Changes", "glyph_cancel");
  cmdCancel->setGeometry(150, 198, 84, 30);
  cmdOk = NewFlatButton(panel, "cmdOk", "Ok", "Accept Changes", "glyph_ok");
  cmdOk->setGeometry(240, 198, 84, 30);

  connect(cmdUpzPath, &QToolButton::clicked, this, [this] { Guarded([this] { cmdUpzPathClick(); }); });
  connect(cmdCancel, &QToolButton::clicked, this, [this] { Guarded([this] { cmdCancelClick(); }); });
  connect(cmdOk, &QToolButton::clicked, this, [this] { Guarded([this] { cmdOkClick(); }); });
  AnswerEnterAndEscape(this, cmdOk, cmdCancel);
}

QString TfrmPreferences::PortName(int position) { return QStringLiteral("COM%1").arg(position + 1); }

void TfrmPreferences::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TfrmPreferences::LoadPreferences(TPortControl* Port) {
  port_ = Port;
  const std::unique_ptr<QSettings> settings = OpenReadable();
  if (!settings) return;

  // Values missing from the user's file and from the system-wide one get their defaults.
  const std::pair<const char*, const char*> defaults[] = {
      {kComPort, "COM2"}, {kUpzPath, ""}, {kUnitSystem, "English"}};
  for (const auto& [key, value] : defaults)
    if (!settings->contains(key) && settings->isWritable()) settings->setValue(key, QString::fromLatin1(value));
  settings->sync();

  const QString comPort = settings->value(kComPort, "COM2").toString();
  if (port_) port_->SetDeviceName(comPort);
  eDefaultUpz->SetText(settings->value(kUpzPath, "").toString());
  int position = -1;
  for (int i = 0; i < 4; ++i)
    if (comPort == PortName(i)) position = i;
  cDefaultPort->setCurrentIndex(position);
  if (settings->value(kUnitSystem, "English").toString() == "Metric")
    optMetric->setChecked(true);
  else
    optEnglish->setChecked(true);
}

void TfrmPreferences::SavePreferences() {
  const std::unique_ptr<QSettings> settings = OpenSettings();
  if (settings->status() != QSettings::NoError || !settings->isWritable()) {
    MessageBox(this, SaveFailedMessage(*settings), "Error");
    return;
  }
  const int position = cDefaultPort->currentIndex();
  const QString portName = position == 0 || position == 2 || position == 3 ? PortName(position) : PortName(1);
  const QString unitSystem = optMetric->isChecked() ? QStringLiteral("Metric") : QStringLiteral("English");

  settings->setValue(kComPort, portName);
  settings->setValue(kUpzPath, eDefaultUpz->Text());
  settings->setValue(kUnitSystem, unitSystem);
  settings->sync();
  if (settings->status() != QSettings::NoError) MessageBox(this, SaveFailedMessage(*settings), "Error");

  if (!port_) return;
  if (port_->Enabled()) port_->Close();
  port_->SetDeviceName(portName);
  port_->Open();
  if (!port_->Enabled()) MessageBox(this, CouldNotOpenMessage(*port_), "COM Port Error");
}

void TfrmPreferences::cmdOkClick() {
  SavePreferences();
  accept();
}

void TfrmPreferences::cmdCancelClick() { reject(); }

// Takes the folder of the chosen archive, up to and including its last separator.
void TfrmPreferences::cmdUpzPathClick() {
  if (!PathDlg.Execute(this)) return;
  const QString path = PathDlg.FileName();
  const qsizetype slash = path.lastIndexOf('/');
  eDefaultUpz->SetText(slash < 0 ? QString() : path.left(slash + 1));
}
