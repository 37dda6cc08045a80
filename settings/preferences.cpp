#include "settings/preferences.h"

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QStandardItemModel>
#include <QToolButton>

#include "files/localpath.h"
#include "panel/portcontrol.h"
#include "panel/portdoctor.h"
#include "panel/portlist.h"
#include "settings/settingsstore.h"
#include "ui/centre.h"
#include "ui/combobox.h"
#include "ui/dialogkeys.h"
#include "ui/edits.h"
#include "ui/exceptionbox.h"
#include "ui/flatbutton.h"
#include "ui/fonts.h"
#include "ui/messagebox.h"
#include "ui/pictures.h"
#include "ui/wall.h"

TfrmPreferences* frmPreferences = nullptr;

namespace {

constexpr int kClientWidth = 335;
constexpr int kClientHeight = 239;

const QString kGroup = QString::fromLatin1(kPreferencesGroup);
const QString kComPort = QString::fromLatin1(kComPortKey);
const QString kUpzPath = QString::fromLatin1(kUpzPathKey);
const QString kUnitSystem = QString::fromLatin1(kUnitSystemKey);

// What happened, and what Ok did all the same.
QString SaveFailedMessage(const QString& file, const FileStatus& status) {
  return "The preferences could not be saved to " + file + ": " + ReasonSentence(status) +
         "\nThe port, folder and unit system chosen are used until the program ends. To keep them, make sure "
         "you may write to that file and its folder, then press Ok in Preferences again.";
}

}  // namespace

TfrmPreferences::TfrmPreferences(QWidget* parent)
    : QDialog(parent),
      PathDlg(TFileDialog::Kind::Open, "Select UPZ Path Location",
              "Encrypted Data Files (*.upz)|*.upz|All Files (*.*)|*.*", "upz") {
  setObjectName("frmPreferences");
  setWindowTitle("Preferences");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(SansFont(11));
  setFixedSize(kClientWidth, kClientHeight);

  wpBackground = new TWallpaper(this);
  wpBackground->setObjectName("wpBackground");
  wpBackground->setGeometry(0, 0, kClientWidth, kClientHeight);
  wpBackground->SetWallpaper(Picture("tile128"));
  QWidget* panel = wpBackground;

  const QFont bold = SansFont(11, true);
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
  lblDefaultUpz->setBuddy(eDefaultUpz);
  cmdUpzPath = NewFlatButton(panel, "cmdUpzPath", "", "Select .UPZ file to store default location", "glyph_folder");
  if (cmdUpzPath->icon().isNull()) cmdUpzPath->setText("...");
  cmdUpzPath->setGeometry(300, 29, 24, 24);

  lblDefaultPort = label("lblDefaultPort", "Default Communications Port", 12, 64, 300);
  cDefaultPort = new TComboBox(panel);
  cDefaultPort->setObjectName("cDefaultPort");
  cDefaultPort->setEditable(false);
  // COM1 to COM4, none chosen; the adapters are listed when the settings are loaded and at
  // each show.
  for (const TPortChoice& choice : PortChoices({}, {})) cDefaultPort->addItem(choice.text, choice.name);
  cDefaultPort->setCurrentIndex(-1);
  cDefaultPort->setGeometry(12, 84, 312, 22);
  lblDefaultPort->setBuddy(cDefaultPort);

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
  KeepCentred(this, TCentred::AtEveryShow);
}

QString TfrmPreferences::PortName(int position) { return QStringLiteral("COM%1").arg(position + 1); }

void TfrmPreferences::SetDeviceRoot(const QString& root) { device_root_ = root; }

// The port list anew: COM1 to COM4, the adapters plugged in now, and each of `names` that
// none of them stands for; `select` is chosen (nothing for a null text).  The port doctor
// marks the ports it finds a problem with, and lists the adapters without a serial port
// as entries that cannot be chosen; the tip of such an entry says why and what to do.
void TfrmPreferences::FillPortList(const QStringList& names, const QString& select) {
  QList<TPortChoice> choices = PortChoices(SerialAdaptersPresent(device_root_), names);
  MarkPortChoices(choices, TPortDoctor(device_root_));
  cDefaultPort->clear();
  auto* model = qobject_cast<QStandardItemModel*>(cDefaultPort->model());
  for (const TPortChoice& choice : choices) {
    cDefaultPort->addItem(choice.text, choice.name);
    const int at = cDefaultPort->count() - 1;
    if (!choice.tip.isEmpty()) cDefaultPort->setItemData(at, choice.tip, Qt::ToolTipRole);
    if (!choice.enabled && model) model->item(at)->setEnabled(false);
  }
  cDefaultPort->setCurrentIndex(select.isNull() ? -1 : FindPortChoice(choices, select));
}

// Each time it is shown the adapters plugged in by then are listed.
void TfrmPreferences::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  const int position = cDefaultPort->currentIndex();
  const QString chosen = position < 0 ? QString() : CurrentPortName();
  QStringList names;
  if (!configured_port_.isNull()) names << configured_port_;
  if (!chosen.isNull()) names << chosen;
  FillPortList(names, chosen);
}

// The name stored for the chosen entry; "COM2" when none is chosen.
QString TfrmPreferences::CurrentPortName() const {
  const int position = cDefaultPort->currentIndex();
  return position < 0 ? PortName(1) : cDefaultPort->itemData(position).toString();
}

void TfrmPreferences::LoadPreferences(TPortControl* Port) {
  port_ = Port;
  TSettings settings;
  if (!settings.Readable()) return;

  // Values missing from the user's file and from the system-wide ones get their defaults.
  bool added = false;
  for (const auto& [key, value] : {std::pair{kComPort, QStringLiteral("COM2")}, std::pair{kUpzPath, QString()},
                                   std::pair{kUnitSystem, QStringLiteral("English")}})
    if (!settings.Value(kGroup, key)) {
      settings.SetValue(kGroup, key, value);
      added = true;
    }
  if (added) settings.Save();  // a file that cannot be written keeps nothing, as before

  const TStoredPreferences stored = StoredPreferences(settings);
  configured_port_ = stored.comPort;
  if (port_) port_->SetDeviceName(configured_port_);
  eDefaultUpz->SetText(stored.upzPath);
  FillPortList({configured_port_}, configured_port_);
  if (stored.metric)
    optMetric->setChecked(true);
  else
    optEnglish->setChecked(true);
}

// The three values are written into the settings file in place; every other byte of it
// stays.  When the file cannot be written the user is told, and the choices still hold for
// this run: the port is reopened on the chosen device all the same.
void TfrmPreferences::SavePreferences() {
  const QString portName = CurrentPortName();
  const QString unitSystem = optMetric->isChecked() ? QStringLiteral("Metric") : QStringLiteral("English");

  TSettings settings;
  settings.SetValue(kGroup, kComPort, portName);
  settings.SetValue(kGroup, kUpzPath, eDefaultUpz->Text());
  settings.SetValue(kGroup, kUnitSystem, unitSystem);
  const FileStatus saved = settings.Save();
  configured_port_ = portName;
  if (!saved) MessageBox(this, SaveFailedMessage(settings.FileName(), saved), "Error");

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
