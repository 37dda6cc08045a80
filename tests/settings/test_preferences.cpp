// The Preferences dialog against a settings file in a temporary folder (QUELLSO_SETTINGS)
// and a real serial port on pseudo-terminals (QUELLSO_COMn maps the port names to them).

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <stdexcept>

#include "panel/comm.h"
#include "settings/portcontrol.h"
#include "settings/preferences.h"
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

// A port stored in lower case reaches the port unchanged but selects nothing; Ok then stores
// and opens COM2.
TEST_F(Preferences, ComOneInLowerCase) {
  PtyPair pty;
  MapPort(2, pty.SlavePath());
  Store("COMPort", "com1");
  form.LoadPreferences(&port);
  EXPECT_EQ(port.DeviceName(), "com1");
  EXPECT_EQ(form.cDefaultPort->currentIndex(), -1);
  form.cmdOkClick();
  EXPECT_EQ(Stored("COMPort"), "COM2");
  EXPECT_EQ(port.DeviceName(), "COM2");
  EXPECT_TRUE(port.Enabled());
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

// A settings file that cannot be written is reported; the port is left as it is.
TEST_F(Preferences, ASettingsFileThatCannotBeWrittenIsReported) {
  PtyPair pty;
  MapPort(2, pty.SlavePath());
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
  EXPECT_TRUE(messages[0].text.startsWith("The preferences could not be saved to " + blocked + "."));
  EXPECT_TRUE(port.Enabled());
  EXPECT_EQ(port.DeviceName(), "COM2");
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

}  // namespace
