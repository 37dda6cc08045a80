// The Preferences dialog against a settings file in a temporary folder (QUELLSO_SETTINGS)
// and a real serial port on pseudo-terminals (QUELLSO_COMn maps the port names to them).

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <functional>
#include <stdexcept>

#include "panel/comm.h"
#include "panel/portcontrol.h"
#include "settings/preferences.h"
#include "tests/panel/devicetree.h"
#include "tests/panel/ptypair.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"
#include "ui/wall.h"

namespace {

class Preferences : public GuiTest {
 protected:
  Watchdog watchdog;
  QTemporaryDir dir;
  QString file = dir.filePath("quellso.ini");
  TfrmPreferences form;
  TComm port;

  void SetUp() override {
    GuiTest::SetUp();
    qputenv("QUELLSO_SETTINGS", file.toLocal8Bit());
    for (int n = 1; n <= 4; ++n) qputenv(QStringLiteral("QUELLSO_COM%1").arg(n).toLatin1(), dir.filePath("absent").toLocal8Bit());
  }
  void TearDown() override {
    qunsetenv("QUELLSO_SETTINGS");
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("XDG_CONFIG_DIRS");
    for (int n = 1; n <= 4; ++n) qunsetenv(QStringLiteral("QUELLSO_COM%1").arg(n).toLatin1());
    GuiTest::TearDown();
  }

  void Store(const QString& key, const QString& value) {
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue("Preferences/" + key, value);
  }
  QString Stored(const QString& key) {
    QSettings settings(file, QSettings::IniFormat);
    return settings.value("Preferences/" + key, "<missing>").toString();
  }
  static void MapPort(int n, const QString& path) {
    qputenv(QStringLiteral("QUELLSO_COM%1").arg(n).toLatin1(), path.toLocal8Bit());
  }
};

TEST_F(Preferences, ControlsCaptionsAndLayout) {
  EXPECT_EQ(form.windowTitle(), "Preferences");
  EXPECT_EQ(form.size(), QSize(335, 239));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());
  EXPECT_EQ(form.wpBackground->geometry(), QRect(0, 0, 335, 239));
  for (const char* name : {"eDefaultUpz", "cmdUpzPath", "cDefaultPort", "optEnglish", "optMetric", "cmdCancel", "cmdOk"})
    EXPECT_NE(form.findChild<QWidget*>(name), nullptr) << name;
  QStringList captions;
  for (QLabel* label : form.findChildren<QLabel*>()) {
    captions << label->text();
    EXPECT_FALSE(label->autoFillBackground());
  }
  captions.sort();
  EXPECT_EQ(captions, QStringList({"Default Communications Port", "Default UPZ File Location",
                                   "Panel Unit System for Requests"}));
  EXPECT_EQ(form.optEnglish->text(), "English");
  EXPECT_EQ(form.optMetric->text(), "Metric");
  EXPECT_EQ(form.cmdUpzPath->toolTip(), "Select .UPZ file to store default location");
  EXPECT_EQ(form.cmdCancel->text(), "Cancel");
  EXPECT_EQ(form.cmdCancel->toolTip(), "Cancel Changes");
  EXPECT_EQ(form.cmdOk->text(), "Ok");
  EXPECT_EQ(form.cmdOk->toolTip(), "Accept Changes");
  EXPECT_TRUE(form.cmdOk->autoRaise());
  ASSERT_EQ(form.cDefaultPort->count(), 4);
  EXPECT_FALSE(form.cDefaultPort->isEditable());
  EXPECT_EQ(form.cDefaultPort->itemText(0), "Communications Port 1 (COM1)");
  EXPECT_EQ(form.cDefaultPort->itemText(3), "Communications Port 4 (COM4)");
  // Before the settings are loaded: empty folder, no port, no unit system.
  EXPECT_EQ(form.cDefaultPort->currentIndex(), -1);
  EXPECT_FALSE(form.optEnglish->isChecked());
  EXPECT_FALSE(form.optMetric->isChecked());
  EXPECT_EQ(form.eDefaultUpz->Text(), "");
  EXPECT_EQ(form.PathDlg.Title(), "Select UPZ Path Location");
  EXPECT_EQ(form.PathDlg.Filter(), "Encrypted Data Files (*.upz)|*.upz|All Files (*.*)|*.*");
  EXPECT_EQ(form.PathDlg.DefaultExt(), "upz");
}

TEST_F(Preferences, FirstRunWritesTheDefaults) {
  form.LoadPreferences(&port);
  EXPECT_EQ(Stored("COMPort"), "COM2");
  EXPECT_EQ(Stored("UPZPath"), "");
  EXPECT_EQ(Stored("UnitSystem"), "English");
  EXPECT_EQ(form.cDefaultPort->currentText(), "Communications Port 2 (COM2)");
  EXPECT_EQ(form.eDefaultUpz->Text(), "");
  EXPECT_TRUE(form.optEnglish->isChecked());
  EXPECT_FALSE(form.optMetric->isChecked());
  EXPECT_EQ(port.DeviceName(), "COM2");
}

TEST_F(Preferences, StoredValuesAreShownAndKept) {
  Store("COMPort", "COM4");
  Store("UPZPath", "/srv/orders/");
  Store("UnitSystem", "Metric");
  form.LoadPreferences(&port);
  EXPECT_EQ(form.cDefaultPort->currentIndex(), 3);
  EXPECT_EQ(form.eDefaultUpz->Text(), "/srv/orders/");
  EXPECT_TRUE(form.optMetric->isChecked());
  EXPECT_FALSE(form.optEnglish->isChecked());
  EXPECT_EQ(Stored("COMPort"), "COM4");
}

// A port stored in lower case means COM1: it is chosen in the list, reaches the port
// unchanged, and Ok keeps it as it was written.
TEST_F(Preferences, ComOneInLowerCaseMeansComOne) {
  PtyPair pty;
  MapPort(1, pty.SlavePath());
  Store("COMPort", "com1");
  form.LoadPreferences(&port);
  EXPECT_EQ(port.DeviceName(), "com1");
  EXPECT_EQ(form.cDefaultPort->currentIndex(), 0);
  EXPECT_EQ(form.cDefaultPort->currentText(), "Communications Port 1 (COM1)");
  form.cmdOkClick();
  EXPECT_EQ(Stored("COMPort"), "com1");
  EXPECT_EQ(port.DeviceName(), "com1");
  EXPECT_TRUE(port.Enabled());
  EXPECT_EQ(port.LastOpenFailure().path, pty.SlavePath());
  EXPECT_TRUE(messages.empty());
}

// A device path set as the port is offered in the list, opened, and kept by Ok.
TEST_F(Preferences, ADevicePathStaysADevicePath) {
  PtyPair pty;
  Store("COMPort", pty.SlavePath());
  form.LoadPreferences(&port);
  EXPECT_EQ(port.DeviceName(), pty.SlavePath());
  EXPECT_EQ(form.cDefaultPort->currentText(), pty.SlavePath());
  form.show();
  QTest::mouseClick(form.cmdOk, Qt::LeftButton);
  EXPECT_EQ(Stored("COMPort"), pty.SlavePath());
  ASSERT_TRUE(port.Enabled());
  EXPECT_EQ(port.DeviceName(), pty.SlavePath());
  EXPECT_TRUE(messages.empty());
}

TEST_F(Preferences, OnlyMetricExactlyChecksMetric) {
  const std::pair<const char*, bool> rows[] = {
      {"Metric", true}, {"metric", false}, {"METRIC", false}, {"", false}, {"Imperial", false}};
  for (const auto& [stored, metric] : rows) {
    Store("UnitSystem", stored);
    TfrmPreferences fresh;
    fresh.LoadPreferences(nullptr);
    EXPECT_EQ(fresh.optMetric->isChecked(), metric) << stored;
    EXPECT_EQ(fresh.optEnglish->isChecked(), !metric) << stored;
    EXPECT_EQ(Stored("UnitSystem"), stored);  // read, never rewritten
  }
}

// Cancel keeps the change for the run (the controls are the live settings) without writing
// it; the next Ok writes it.
TEST_F(Preferences, CancelAfterAChange) {
  form.LoadPreferences(&port);
  form.show();
  QTest::mouseClick(form.optMetric, Qt::LeftButton);
  EXPECT_TRUE(form.optMetric->isChecked());
  EXPECT_FALSE(form.optEnglish->isChecked());
  form.cDefaultPort->setCurrentIndex(2);
  QTest::mouseClick(form.cmdCancel, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_EQ(Stored("UnitSystem"), "English");
  EXPECT_EQ(Stored("COMPort"), "COM2");
  EXPECT_TRUE(form.optMetric->isChecked());
  EXPECT_EQ(form.cDefaultPort->currentIndex(), 2);
  EXPECT_EQ(port.DeviceName(), "COM2");

  form.cmdOkClick();
  EXPECT_EQ(Stored("UnitSystem"), "Metric");
  EXPECT_EQ(Stored("COMPort"), "COM3");
}

TEST_F(Preferences, TheFolderButtonTakesTheArchivesFolder) {
  form.eDefaultUpz->SetText("/old/");
  fileAnswers.push_back(std::nullopt);  // Cancel: nothing changes
  fileAnswers.push_back(QString("/home/tech/Orders/12345678-01.upz"));
  fileAnswers.push_back(QString("12345678-01.upz"));
  form.cmdUpzPathClick();
  EXPECT_EQ(form.eDefaultUpz->Text(), "/old/");
  QTest::mouseClick(form.cmdUpzPath, Qt::LeftButton);
  EXPECT_EQ(form.eDefaultUpz->Text(), "/home/tech/Orders/");
  form.cmdUpzPathClick();
  EXPECT_EQ(form.eDefaultUpz->Text(), "");
  EXPECT_EQ(fileDialogs, (std::vector<QString>{"Select UPZ Path Location", "Select UPZ Path Location",
                                               "Select UPZ Path Location"}));
}

TEST_F(Preferences, OkWritesTheFolderAsTyped) {
  form.LoadPreferences(&port);
  form.eDefaultUpz->SetText("/srv/orders");
  form.cmdOkClick();
  EXPECT_EQ(Stored("UPZPath"), "/srv/orders");
}

// Ok closes the open port and opens it again on the chosen device.
TEST_F(Preferences, OkReopensThePort) {
  PtyPair first, second;
  MapPort(1, first.SlavePath());
  Store("COMPort", "COM1");
  form.LoadPreferences(&port);
  port.Open();
  ASSERT_TRUE(port.Enabled());
  first.Write("unread");
  ASSERT_TRUE(WaitUntil([&] { return port.InQueCount() == 6; }));

  form.cmdOkClick();  // the same device: closed and opened again, so the old input is gone
  ASSERT_TRUE(port.Enabled());
  EXPECT_EQ(port.InQueCount(), 0);
  EXPECT_EQ(port.LastOpenFailure().path, first.SlavePath());

  MapPort(3, second.SlavePath());
  form.cDefaultPort->setCurrentIndex(2);
  form.show();
  QTest::mouseClick(form.cmdOk, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  ASSERT_TRUE(port.Enabled());
  EXPECT_EQ(port.DeviceName(), "COM3");
  EXPECT_EQ(port.LastOpenFailure().path, second.SlavePath());
  EXPECT_EQ(port.Write("hi", 2), 2);
  EXPECT_EQ(second.Read(2), "hi");
  EXPECT_EQ(Stored("COMPort"), "COM3");
  EXPECT_TRUE(messages.empty());
}

TEST_F(Preferences, OkWithADeviceThatDoesNotOpen) {
  form.LoadPreferences(&port);
  form.cDefaultPort->setCurrentIndex(3);
  form.show();
  QTest::mouseClick(form.cmdOk, Qt::LeftButton);
  EXPECT_FALSE(form.isVisible());
  EXPECT_FALSE(port.Enabled());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "COM Port Error");
  EXPECT_EQ(messages[0].buttons, TMessageButtons::Ok);
  EXPECT_TRUE(messages[0].text.startsWith(
      "Could not open COM4.\nPlease close any applications that may be using the port\nCOM4 (" +
      dir.filePath("absent") + ") does not exist."))
      << messages[0].text.toStdString();
  EXPECT_EQ(messages[0].text.count('\n'), 2);
}

// A settings file that cannot be written is reported, and the choices hold for the rest of
// the run as the message says: the port is reopened on the chosen device.
TEST_F(Preferences, ASettingsFileThatCannotBeWrittenIsReported) {
  PtyPair pty, chosen;
  MapPort(2, pty.SlavePath());
  MapPort(1, chosen.SlavePath());
  form.LoadPreferences(&port);
  port.Open();
  ASSERT_TRUE(port.Enabled());
  const QString blocked = file + "/inside/quellso.ini";  // below a file: never writable
  {
    QFile plain(file);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
  }
  qputenv("QUELLSO_SETTINGS", blocked.toLocal8Bit());
  form.cDefaultPort->setCurrentIndex(0);
  form.cmdOkClick();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_EQ(messages[0].text, "The preferences could not be saved to " + blocked +
                                  ": Not a directory.\nThe port, folder and unit system chosen are used until the "
                                  "program ends. To keep them, make sure you may write to that file and its folder, "
                                  "then press Ok in Preferences again.");
  ASSERT_TRUE(port.Enabled());
  EXPECT_EQ(port.DeviceName(), "COM1");
  EXPECT_EQ(port.LastOpenFailure().path, chosen.SlavePath());
}

// A settings file that is not in the settings format is left as it is at start-up.
TEST_F(Preferences, AnUnreadableSettingsFileIsLeftAlone) {
  {
    QFile bad(file);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("[Preferences\n\x01\x02=\n[[[");
  }
  port.SetDeviceName("COM1");
  form.LoadPreferences(&port);
  EXPECT_EQ(port.DeviceName(), "COM1");
  EXPECT_EQ(form.cDefaultPort->currentIndex(), -1);
  EXPECT_FALSE(form.optEnglish->isChecked());
  QFile bad(file);
  ASSERT_TRUE(bad.open(QIODevice::ReadOnly));
  EXPECT_EQ(bad.readAll(), QByteArray("[Preferences\n\x01\x02=\n[[["));
}

// An error the port raises while reopening ends Ok before the dialog closes: the dialog
// stays up and the error is shown.
class RefusingPort : public TPortControl {
 public:
  bool Enabled() const override { return false; }
  void Close() override {}
  QString DeviceName() const override { return name; }
  void SetDeviceName(const QString& n) override { name = n; }
  void Open() override { throw std::runtime_error("Error updating CommTimeouts (Error: 5)"); }
  QString OpenFailureText() const override { return {}; }
  QString name;
};

TEST_F(Preferences, APortErrorWhileReopeningKeepsTheDialogOpen) {
  RefusingPort refusing;
  form.LoadPreferences(&refusing);
  form.show();
  QTest::mouseClick(form.cmdOk, Qt::LeftButton);
  EXPECT_TRUE(form.isVisible());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Error updating CommTimeouts (Error: 5)");
  EXPECT_EQ(Stored("COMPort"), "COM2");  // written before the port was touched
}

// ---- the settings file as people edit it ----

// As a std::string, so that a failure shows the text.
std::string ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

// A file kept by hand: comments, blank lines, groups of others, values with commas, quotes,
// backslashes and blanks around them, a device path as the port.
const QByteArray kHandEdited =
    "; Quellso settings, kept by hand\n"
    "\n"
    "[Ports]\n"
    "COM1 = /dev/serial/by-id/usb-Bench_Adapter,A1-if00-port0\n"
    "COM3=/dev/ttyUSB7\n"
    "\n"
    "[Preferences]\n"
    "UnitSystem = English\n"
    "  # COMPort=COM4 was the old bench port\n"
    "UPZPath = /srv/orders,2024/ \n"
    "COMPort=/nonexistent/ttyUSB7\n"
    "Note=\"quoted\", with \\backslash\\ and ;semicolon\n"
    "\n"
    "[Other Program]\n"
    "key=value\n";

QByteArray WithCrLf(QByteArray bytes) { return bytes.replace("\n", "\r\n"); }

// Ok changes the three values in place and nothing else; values missing are added after the
// last key of their group, a missing group at the end, in the file's own line ends.
TEST_F(Preferences, AHandEditedFileSurvivesOk) {
  const auto same = QByteArray();
  struct Row {
    const char* name;
    QByteArray before;
    std::function<void(TfrmPreferences&)> change;
    QByteArray after;  // empty: as before
  };
  const Row rows[] = {
      {"Untouched", kHandEdited, nullptr, same},
      {"UntouchedCrLf", WithCrLf(kHandEdited), nullptr, same},
      {"Metric", kHandEdited, [](TfrmPreferences& f) { f.optMetric->setChecked(true); },
       QByteArray(kHandEdited).replace("UnitSystem = English", "UnitSystem = Metric")},
      {"Folder", WithCrLf(kHandEdited), [](TfrmPreferences& f) { f.eDefaultUpz->SetText("/srv/a,b \"c\"\\d/"); },
       WithCrLf(kHandEdited).replace("UPZPath = /srv/orders,2024/ ", "UPZPath = /srv/a,b \"c\"\\d/ ")},
      {"Port", kHandEdited, [](TfrmPreferences& f) { f.cDefaultPort->setCurrentIndex(2); },
       QByteArray(kHandEdited).replace("COMPort=/nonexistent/ttyUSB7", "COMPort=COM3")},
      {"ComOneInLowerCase", "[Preferences]\nCOMPort=com1\nUPZPath=\nUnitSystem=English\n", nullptr, same},
      {"MissingKeys", "[Preferences]\nUnitSystem=Metric\n\n[Ports]\nCOM1=/dev/ttyUSB0\n", nullptr,
       "[Preferences]\nUnitSystem=Metric\nCOMPort=COM2\nUPZPath=\n\n[Ports]\nCOM1=/dev/ttyUSB0\n"},
      {"MissingKeysCrLf", "[Preferences]\r\nUPZPath=/srv/\r\n", nullptr,
       "[Preferences]\r\nUPZPath=/srv/\r\nCOMPort=COM2\r\nUnitSystem=English\r\n"},
      {"MissingGroup", "; only the ports\n[Ports]\nCOM1=/dev/ttyUSB0", nullptr,
       "; only the ports\n[Ports]\nCOM1=/dev/ttyUSB0\n[Preferences]\nCOMPort=COM2\nUPZPath=\nUnitSystem=English\n"},
  };
  for (const Row& row : rows) {
    WriteBytes(file, row.before);
    TfrmPreferences fresh;
    TComm freshPort;
    fresh.LoadPreferences(&freshPort);
    if (row.change) row.change(fresh);
    fresh.cmdOkClick();
    EXPECT_EQ(ReadBytes(file), (row.after.isEmpty() ? row.before : row.after).toStdString()) << row.name;
  }
}

// The values are shown as the file has them.
TEST_F(Preferences, ValuesAreTheTextAfterTheEqualsSign) {
  WriteBytes(file, kHandEdited);
  form.LoadPreferences(&port);
  EXPECT_EQ(form.eDefaultUpz->Text(), "/srv/orders,2024/");
  EXPECT_EQ(port.DeviceName(), "/nonexistent/ttyUSB7");
  EXPECT_EQ(form.cDefaultPort->currentData().toString(), "/nonexistent/ttyUSB7");
  EXPECT_EQ(form.cDefaultPort->currentText(), "/nonexistent/ttyUSB7 (not connected)");
  EXPECT_TRUE(form.optEnglish->isChecked());
  EXPECT_EQ(ReadBytes(file), kHandEdited.toStdString());  // nothing was missing: nothing written
}

// The list offers the adapters plugged in, listed again at each show; what is chosen is
// stored as it is, and stays offered when its adapter is unplugged.
TEST_F(Preferences, ThePortListOffersTheAdaptersPluggedIn) {
  DeviceTree tree;
  tree.Device("ttyUSB0");
  tree.Link("usb-Bench_Adapter_A1-if00-port0", "ttyUSB0");
  form.SetDeviceRoot(tree.Root());
  Store("COMPort", "COM2");
  form.LoadPreferences(&port);
  auto texts = [this] {
    QStringList list;
    for (int i = 0; i < form.cDefaultPort->count(); ++i) list << form.cDefaultPort->itemText(i);
    return list;
  };
  const QStringList com = {"Communications Port 1 (COM1)", "Communications Port 2 (COM2)",
                           "Communications Port 3 (COM3)", "Communications Port 4 (COM4)"};
  EXPECT_EQ(texts(), com + QStringList("usb-Bench_Adapter_A1-if00-port0 (ttyUSB0)"));
  EXPECT_EQ(form.cDefaultPort->currentIndex(), 1);

  tree.Device("ttyACM0");  // plugged in while the program runs
  form.show();
  EXPECT_EQ(texts(), com + QStringList({"usb-Bench_Adapter_A1-if00-port0 (ttyUSB0)", tree.Path("dev/ttyACM0")}));
  EXPECT_EQ(form.cDefaultPort->currentIndex(), 1);

  const QString link = tree.Path("dev/serial/by-id/usb-Bench_Adapter_A1-if00-port0");
  form.cDefaultPort->setCurrentIndex(4);
  QTest::mouseClick(form.cmdOk, Qt::LeftButton);
  EXPECT_EQ(Stored("COMPort"), link);
  EXPECT_EQ(port.DeviceName(), link);

  tree.Unplug("usb-Bench_Adapter_A1-if00-port0", "ttyUSB0");
  form.show();
  EXPECT_EQ(texts(), com + QStringList({tree.Path("dev/ttyACM0"), link + " (not connected)"}));
  EXPECT_EQ(form.cDefaultPort->currentText(), link + " (not connected)");
  QTest::mouseClick(form.cmdOk, Qt::LeftButton);
  EXPECT_EQ(Stored("COMPort"), link);
}

// Without QUELLSO_SETTINGS: the user's file under $XDG_CONFIG_HOME, the defaults from the
// folders of $XDG_CONFIG_DIRS (/etc/xdg when unset), which Ok leaves as they are.
TEST_F(Preferences, TheSystemWideFileSuppliesDefaults) {
  const QString home = dir.filePath("home"), site = dir.filePath("site");
  const QString own = home + "/Hollin Enterprises/Quellso.ini";
  const QString shared = site + "/Hollin Enterprises/Quellso.ini";
  QDir().mkpath(site + "/Hollin Enterprises");
  const QByteArray defaults = "; for every account\n[Preferences]\nCOMPort=COM3\nUPZPath=/srv/orders,shared/\n";
  WriteBytes(shared, defaults);
  qunsetenv("QUELLSO_SETTINGS");
  qputenv("XDG_CONFIG_HOME", home.toLocal8Bit());
  qputenv("XDG_CONFIG_DIRS", site.toLocal8Bit());

  form.LoadPreferences(&port);
  EXPECT_EQ(form.cDefaultPort->currentIndex(), 2);
  EXPECT_EQ(form.eDefaultUpz->Text(), "/srv/orders,shared/");
  EXPECT_TRUE(form.optEnglish->isChecked());
  EXPECT_EQ(port.DeviceName(), "COM3");
  EXPECT_EQ(ReadBytes(own), "[Preferences]\nUnitSystem=English\n");  // only what no file had

  form.optMetric->setChecked(true);
  form.cmdOkClick();
  EXPECT_EQ(ReadBytes(own), "[Preferences]\nUnitSystem=Metric\nCOMPort=COM3\nUPZPath=/srv/orders,shared/\n");
  EXPECT_EQ(ReadBytes(shared), defaults.toStdString());
}

}  // namespace
