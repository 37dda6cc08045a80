// The main window's side of the port: the first show loads the preferences and opens the
// port on the configured device, tells the user when it cannot, and closing the window
// closes the port.

#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>

#include "app/mainwindow.h"
#include "panel/comm.h"
#include "settings/preferences.h"
#include "tests/panel/ptypair.h"
#include "tests/support/guitest.h"

namespace {

class PortSteps : public GuiTest {
 protected:
  Watchdog watchdog;
  QTemporaryDir dir;
  PtyPair pty;
  UnitDataRecord record{};

  void SetUp() override {
    GuiTest::SetUp();
    qputenv("QUELLSO_SETTINGS", dir.filePath("quellso.ini").toLocal8Bit());
    qputenv("QUELLSO_COM3", pty.SlavePath().toLocal8Bit());
    qputenv("QUELLSO_COM4", dir.filePath("ttyNONE").toLocal8Bit());
    frmPreferences = new TfrmPreferences();
  }
  void TearDown() override {
    delete frmPreferences;
    frmPreferences = nullptr;
    qunsetenv("QUELLSO_SETTINGS");
    qunsetenv("QUELLSO_COM3");
    qunsetenv("QUELLSO_COM4");
    GuiTest::TearDown();
  }
  void StorePort(const QString& name) {
    QSettings settings(dir.filePath("quellso.ini"), QSettings::IniFormat);
    settings.setValue("Preferences/COMPort", name);
  }
};

TEST_F(PortSteps, TheMainWindowsPortIsSetUpForThePanel) {
  TfrmMain window(record);
  TComm* port = window.CommPort;
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->parent(), &window);
  EXPECT_EQ(port->DeviceName(), "COM1");
  EXPECT_EQ(port->ReadBufSize(), 1024);
  EXPECT_EQ(port->WriteBufSize(), 1024);
  EXPECT_EQ(EventMask(port->MonitorEvents()), EV_RXCHAR);
  EXPECT_EQ(port->BaudRate(), br19200);
  EXPECT_EQ(port->Parity(), paOdd);
  EXPECT_EQ(port->FlowControl(), fcNone);
  EXPECT_EQ(port->StopBits(), sb10);
  EXPECT_TRUE(port->OnRxChar && port->OnRxFlag && port->OnTxEmpty);
  EXPECT_FALSE(port->OnBreak || port->OnError || port->OnComStatEvent);
  EXPECT_FALSE(port->Enabled());
}

TEST_F(PortSteps, FirstShowOpensTheConfiguredPortAndCloseClosesIt) {
  StorePort("COM3");
  TfrmMain window(record);
  window.show();
  EXPECT_EQ(window.CommPort->DeviceName(), "COM3");
  ASSERT_TRUE(window.CommPort->Enabled());
  EXPECT_EQ(window.CommPort->LastOpenFailure().path, pty.SlavePath());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(frmPreferences->cDefaultPort->currentIndex(), 2);
  window.close();
  EXPECT_FALSE(window.CommPort->Enabled());
}

TEST_F(PortSteps, APortThatDoesNotOpenIsReportedAndTheProgramCarriesOn) {
  StorePort("COM4");
  TfrmMain window(record);
  window.show();
  EXPECT_FALSE(window.CommPort->Enabled());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "COM Port Error");
  EXPECT_TRUE(messages[0].text.startsWith("Could not open COM4.\nPlease close any applications that may be using the "
                                          "port\nCOM4 (" + dir.filePath("ttyNONE") + ") does not exist."))
      << messages[0].text.toStdString();
  std::vector<int> rest(41, 20);  // the rest of the first show ran: the length query, the wait
  rest.push_back(100);
  EXPECT_EQ(sleeps, rest);
  window.close();
}

}  // namespace
