#include <gtest/gtest.h>

#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>

#include "panel/portname.h"
#include "settings/portmap.h"

namespace {

TEST(PortName, Resolution) {
  const QMap<QString, QString> environment{{"QUELLSO_COM1", "/dev/pts/7"}};
  const QMap<QString, QString> ports{{"COM1", "/dev/ttyUSB9"}, {"COM2", "/dev/serial/by-id/usb-adapter"}};
  const TPortNameSources sources{[&](const QString& v) { return environment.value(v); },
                                 [&](const QString& k) { return ports.value(k); }};
  struct Row {
    const char* name;
    QString given;
    QString path;
  };
  const Row rows[] = {
      {"EnvironmentFirst", "COM1", "/dev/pts/7"},
      {"AnyLetterCase", "com1", "/dev/pts/7"},
      {"MixedCase", "Com2", "/dev/serial/by-id/usb-adapter"},
      {"PortsGroupNext", "COM2", "/dev/serial/by-id/usb-adapter"},
      {"DefaultTtyS", "COM3", "/dev/ttyS2"},
      {"DefaultTtySFour", "COM4", "/dev/ttyS3"},
      {"LeadingZeros", "COM004", "/dev/ttyS3"},
      {"PathAsIs", "/dev/ttyACM0", "/dev/ttyACM0"},
      {"PathWithComInside", "/tmp/COM1", "/tmp/COM1"},
      {"BareDeviceName", "ttyUSB0", "/dev/ttyUSB0"},
      {"ComZeroIsABareName", "COM0", "/dev/COM0"},
      {"HugeNumberIsABareName", "COM99999999999999999999", "/dev/COM99999999999999999999"},
      {"RelativePathAsIs", "dev/x", "dev/x"},
      {"Empty", "", ""},
  };
  for (const Row& row : rows) EXPECT_EQ(ResolvePortName(row.given, sources), row.path) << row.name;
}

TEST(PortName, TheSettingsFileMapsPorts) {
  UseSettingsFilePorts();  // as the program and the tool do at start-up
  QTemporaryDir dir;
  const QString file = dir.filePath("quellso.ini");
  qputenv("QUELLSO_SETTINGS", file.toLocal8Bit());
  qunsetenv("QUELLSO_COM3");
  {
    QSettings settings(file, QSettings::IniFormat);
    settings.setValue("Ports/COM3", "/dev/ttyUSB1");
  }
  EXPECT_EQ(ResolvePortName("COM3"), "/dev/ttyUSB1");
  qputenv("QUELLSO_COM3", "/dev/pts/3");
  EXPECT_EQ(ResolvePortName("com3"), "/dev/pts/3");
  qunsetenv("QUELLSO_COM3");
  qunsetenv("QUELLSO_SETTINGS");
}

// A [Ports] value is the text after '=', as every setting: commas, quotes and backslashes
// are part of the path.
TEST(PortName, PortsValuesAreReadAsWritten) {
  UseSettingsFilePorts();  // as the program and the tool do at start-up
  QTemporaryDir dir;
  const QString file = dir.filePath("quellso.ini");
  qputenv("QUELLSO_SETTINGS", file.toLocal8Bit());
  qunsetenv("QUELLSO_COM1");
  const std::pair<QByteArray, QString> rows[] = {
      {"COM1=/dev/serial/by-id/usb-Adapter,A1-if00-port0", "/dev/serial/by-id/usb-Adapter,A1-if00-port0"},
      {"COM1 = /dev/ttyUSB0 ", "/dev/ttyUSB0"},
      {"COM1=\"/dev/ttyUSB0\"", "\"/dev/ttyUSB0\""},
      {"COM1=/dev/odd\\name", "/dev/odd\\name"},
      {"com1=/dev/ttyACM0", "/dev/ttyACM0"},
      {"; COM1=/dev/ttyUSB4", "/dev/ttyS0"},
  };
  for (const auto& [line, path] : rows) {
    QFile settings(file);
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write("; the bench\n[Ports]\n" + line + "\n");
    settings.close();
    EXPECT_EQ(ResolvePortName("COM1"), path) << line.constData();
  }
  qunsetenv("QUELLSO_SETTINGS");
}

TOpenFailure Failure(TOpenFailure::Reason reason, QString name, QString path) {
  TOpenFailure f;
  f.reason = reason;
  f.name = std::move(name);
  f.path = std::move(path);
  return f;
}

TEST(PortName, OpenFailureTexts) {
  UseSettingsFilePorts();  // as the program and the tool do at start-up
  QTemporaryDir dir;
  const QString file = dir.filePath("q.ini");
  qputenv("QUELLSO_SETTINGS", file.toLocal8Bit());
  using R = TOpenFailure::Reason;
  TOpenFailure inUse = Failure(R::InUse, "COM1", "/dev/ttyUSB0");
  inUse.holder = "terminal, PID 4242";
  TOpenFailure denied = Failure(R::PermissionDenied, "COM1", "/dev/ttyUSB0");
  denied.group = "dialout";
  denied.user = "alice";
  TOpenFailure listed = denied;
  listed.groupListed = true;
  TOpenFailure ownerOnly = Failure(R::PermissionDenied, "/dev/ttyS0", "/dev/ttyS0");
  TOpenFailure other = Failure(R::Other, "COM2", "/dev/ttyS1");
  other.error = EPROTO;
  struct Row {
    const char* name;
    TOpenFailure failure;
    QStringList adapters;
    QString text;
  };
  const Row rows[] = {
      {"None", Failure(R::None, "COM1", "/dev/ttyS0"), {}, ""},
      {"AbsentWithoutAdapters", Failure(R::Absent, "COM1", "/dev/ttyS0"), {},
       "COM1 (/dev/ttyS0) does not exist. Connect the adapter, or map the port in the [Ports] group of " + file +
           " (COM1=/dev/ttyUSB0)."},
      {"AbsentListsAdapters", Failure(R::Absent, "COM2", "/dev/ttyS1"), {"/dev/ttyUSB0", "/dev/ttyACM0"},
       "COM2 (/dev/ttyS1) does not exist. Serial adapters found: /dev/ttyUSB0, /dev/ttyACM0. Connect the adapter, "
       "or map the port in the [Ports] group of " +
           file + " (COM2=/dev/ttyUSB0)."},
      {"AbsentPath", Failure(R::Absent, "/dev/ttyUSB5", "/dev/ttyUSB5"), {},
       "/dev/ttyUSB5 does not exist. Connect the adapter, or choose another port in Preferences."},
      {"NoHardware", Failure(R::NoHardware, "COM4", "/dev/ttyS3"), {},
       "COM4 (/dev/ttyS3) has no serial port hardware behind it. Connect the adapter, or map the port in the "
       "[Ports] group of " +
           file + " (COM4=/dev/ttyUSB0)."},
      {"InUseByAProgramWeSee", inUse, {},
       "COM1 (/dev/ttyUSB0) is in use by another program (terminal, PID 4242): close it and try again."},
      {"InUse", Failure(R::InUse, "COM1", "/dev/ttyUSB0"), {},
       "COM1 (/dev/ttyUSB0) is in use by another program: close it and try again."},
      {"PermissionDenied", denied, {},
       "Permission denied on COM1 (/dev/ttyUSB0): the device belongs to the group 'dialout'. Add your account to "
       "it with: sudo usermod -aG dialout alice, then log out and back in."},
      {"PermissionDeniedAlreadyListed", listed, {},
       "Permission denied on COM1 (/dev/ttyUSB0): your account is in the group 'dialout', but this session "
       "started before it was added. Log out and back in."},
      {"PermissionDeniedOwnerOnly", ownerOnly, {},
       "Permission denied on /dev/ttyS0: only its owner may open it. Ask the administrator to give the device a "
       "group your account can join (such as dialout)."},
      {"NotSerial", Failure(R::NotSerial, "/home/a/port", "/home/a/port"), {},
       "/home/a/port is not a serial device: choose the serial port in Preferences."},
      {"Other", other, {}, "COM2 (/dev/ttyS1): Protocol error."},
  };
  for (const Row& row : rows) EXPECT_EQ(DescribeOpenFailure(row.failure, row.adapters), row.text) << row.name;
  qunsetenv("QUELLSO_SETTINGS");
}

TEST(PortName, ComPortNumbers) {
  EXPECT_EQ(ComPortNumber("COM1"), 1);
  EXPECT_EQ(ComPortNumber("cOm255"), 255);
  EXPECT_EQ(ComPortNumber("COM256"), 0);
  EXPECT_EQ(ComPortNumber("COM"), 0);
  EXPECT_EQ(ComPortNumber("COM1a"), 0);
  EXPECT_EQ(ComPortNumber("COM-1"), 0);
  EXPECT_EQ(ComPortNumber(" COM1"), 0);
}

}  // namespace
