// The port doctor against fake root folders, one for each cause it names: brltty holding a
// USB serial adapter, ModemManager probing the port, the account's group not yet in this
// session, an adapter on the bus that no driver took; and the "Could not open" reason line
// that names the likely cause.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <functional>
#include <optional>

#include "panel/portdoctor.h"
#include "panel/portname.h"
#include "tests/panel/devicetree.h"

namespace {

// Every finding of every check for `path`.
QList<TPortFinding> AllFindings(const TPortDoctor& doctor, const QString& path) {
  QList<TPortFinding> findings;
  for (const TPortDoctor::Check& check : doctor.Checks(path)) findings += check.findings;
  return findings;
}

void Ch340(DeviceTree& t, const QString& driver, const QString& port) {
  t.Usb("1-2", "1a86", "7523", "USB Serial", driver, port);
}
void Arduino(DeviceTree& t, const QByteArray& interface, bool modemManager) {
  t.Usb("1-3", "2341", "0043", "Arduino Uno", "cdc_acm", "ttyACM0", interface);
  t.Link("usb-Arduino_Uno-if00", "ttyACM0");  // as Preferences stores adapters
  if (modemManager) t.Program(700, "ModemManager");
}
void Ftdi(DeviceTree& t) { t.Usb("1-4", "0403", "6001", "FT232R USB UART", "", ""); }

const QString kBrltty =
    "brltty, the braille display service, has taken the USB serial adapter 1a86:7523 (USB Serial) at USB 1-2 for a "
    "braille display, so the adapter has no serial port.";
const QString kModemManager =
    "ModemManager is running and probes /dev/ttyACM0 for a modem: for up to half a minute after the adapter appears "
    "it holds the port and sends it AT commands.";
const QString kFtdi = "the USB serial adapter 0403:6001 (FT232R USB UART) at USB 1-4 has no serial port";

struct CauseCase {
  const char* name;
  std::function<void(DeviceTree&)> system;
  QString path;  // the port checked
  std::optional<TPortCause> cause;
  QString problem;  // what the problem starts with
  QString fix;      // what the fix holds
};

TEST(PortDoctor, EachCauseWithItsFix) {
  const CauseCase cases[] = {
      {"Healthy", [](DeviceTree& t) { Ch340(t, "ch341", "ttyUSB0"); }, "/dev/ttyUSB0", {}, {}, {}},
      // brltty pushed the serial driver off and holds the adapter, or let it go again.
      {"BrlttyHolds",
       [](DeviceTree& t) {
         Ch340(t, "usbfs", "");
         t.Program(812, "brltty");
       },
       "", TPortCause::Brltty, kBrltty, "sudo systemctl mask --now brltty-udev.service brltty.service"},
      {"BrlttyLetGo",
       [](DeviceTree& t) {
         Ch340(t, "", "");
         t.Program(812, "brltty");
       },
       "", TPortCause::Brltty, kBrltty, "sudo apt remove brltty"},
      {"BrlttyRulesNameIt",
       [](DeviceTree& t) {
         Ch340(t, "usbfs", "");
         t.File("usr/lib/udev/rules.d/85-brltty.rules", "ENV{PRODUCT}==\"1a86/7523/*\", GOTO=\"brltty_usb_run\"\n");
       },
       "", TPortCause::Brltty, kBrltty + " brltty's udev rules name this adapter.", "plug it in again"},
      {"AnotherProgramClaimed", [](DeviceTree& t) { Ch340(t, "usbfs", ""); }, "", TPortCause::Claimed,
       "the USB serial adapter 1a86:7523 (USB Serial) at USB 1-2 has no serial port: a program has claimed it",
       "close the program"},
      // ModemManager probes ttyACM ports that take AT commands and that udev does not mark.
      {"ModemManager", [](DeviceTree& t) { Arduino(t, "02/02/01", true); }, "/dev/serial/by-id/usb-Arduino_Uno-if00",
       TPortCause::ModemManager, kModemManager,
       "ATTRS{idVendor}==\"2341\", ATTRS{idProduct}==\"0043\", ENV{ID_MM_DEVICE_IGNORE}=\"1\""},
      {"ModemManagerNotRunning", [](DeviceTree& t) { Arduino(t, "02/02/01", false); }, "/dev/ttyACM0", {}, {}, {}},
      {"IgnoredByARule",
       [](DeviceTree& t) {
         Arduino(t, "02/02/01", true);
         t.File("run/udev/data/c166:0", "E:ID_MM_DEVICE_IGNORE=1\n");
       },
       "/dev/ttyACM0",
       {},
       {},
       {}},
      {"PortIgnored",
       [](DeviceTree& t) {
         Arduino(t, "02/02/01", true);
         t.File("run/udev/data/c166:0", "E:ID_MM_PORT_IGNORE=1\n");
       },
       "/dev/ttyACM0",
       {},
       {},
       {}},
      {"NoAtCommands", [](DeviceTree& t) { Arduino(t, "02/02/00", true); }, "/dev/ttyACM0", {}, {}, {}},
      {"APlainAdapter",
       [](DeviceTree& t) {
         Ch340(t, "ch341", "ttyUSB0");
         t.Program(700, "ModemManager");
       },
       "/dev/ttyUSB0",
       {},
       {},
       {}},
      // An adapter that no driver took.
      {"KernelUpdatedSinceStart",
       [](DeviceTree& t) {
         Ftdi(t);
         t.File("proc/sys/kernel/osrelease", "6.1.0-18-amd64");
       },
       "", TPortCause::DriverMissing,
       kFtdi + ": no driver has taken it, and the drivers of the running kernel (6.1.0-18-amd64) are gone from "
               "/lib/modules, as after a kernel update.",
       "Fix: restart the computer."},
      {"KernelWithoutTheDriver",
       [](DeviceTree& t) {
         Ftdi(t);
         t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/serial/ch341.ko"});
       },
       "", TPortCause::DriverMissing, kFtdi + ": the running kernel (6.1.0-18-amd64) has no driver (ftdi_sio) for it.",
       "sudo apt install linux-modules-extra-6.1.0-18-amd64"},
      {"DriverNotLoaded",
       [](DeviceTree& t) {
         Ftdi(t);
         t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/serial/ftdi_sio.ko.xz"});
       },
       "", TPortCause::DriverMissing, kFtdi + ": its driver ftdi_sio is not loaded.",
       "Fix: sudo modprobe ftdi_sio, then"},
      {"DriverLoadedNotBound",
       [](DeviceTree& t) {
         Ftdi(t);
         t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/serial/ftdi_sio.ko"});
         QDir(t.Root()).mkpath("sys/bus/usb/drivers/ftdi_sio");
       },
       "", TPortCause::DriverMissing, kFtdi + ": its driver ftdi_sio is loaded but has not taken it.",
       "Fix: unplug the adapter and plug it in again."},
      {"AnyCdcAcmDevice",  // its driver's file is named with a dash
       [](DeviceTree& t) {
         t.Usb("1-6", "1234", "abcd", "", "", "", "02/02/01");
         t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/class/cdc-acm.ko.zst"});
       },
       "", TPortCause::DriverMissing,
       "the USB serial adapter 1234:abcd at USB 1-6 has no serial port: its driver cdc_acm is not loaded.", "modprobe"},
  };
  for (const CauseCase& c : cases) {
    DeviceTree tree;
    c.system(tree);
    const TPortDoctor doctor(tree.Root());
    const QList<TPortFinding> findings = AllFindings(doctor, c.path);
    ASSERT_EQ(findings.size(), c.cause ? 1 : 0) << c.name;
    if (!c.cause) continue;
    EXPECT_EQ(findings[0].cause, *c.cause) << c.name;
    EXPECT_TRUE(findings[0].problem.startsWith(c.problem)) << c.name << ": " << findings[0].problem.toStdString();
    EXPECT_TRUE(findings[0].fix.startsWith("Fix: ") && findings[0].fix.contains(c.fix))
        << c.name << ": " << findings[0].fix.toStdString();
    EXPECT_FALSE(findings[0].mark.isEmpty()) << c.name;
  }
}

TEST(PortDoctor, TheGroupNotInThisSession) {
  // The device node's group must not be root's: dialout's number on Debian, or (for an
  // account that may not give files away) the account's own group.
  DeviceTree tree;
  Ch340(tree, "ch341", "ttyUSB0");
  const QByteArray node = tree.Path("dev/ttyUSB0").toLocal8Bit();
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(node.constData(), 0, 20), 0);
  }
  struct stat st {};
  ASSERT_EQ(::stat(node.constData(), &st), 0);
  if (st.st_gid == 0) GTEST_SKIP() << "the device node cannot be given a group other than root's";
  const QByteArray dialout = QByteArray::number(st.st_gid);
  struct Row {
    const char* name;
    QByteArray passwd, members;  // alice's line, the members of the device's group
    QList<unsigned> session;     // the groups of this process
    mode_t mode;
    QString expected;  // the finding's problem and fix, or nothing
  };
  const QByteArray alice = "alice:x:4242:4242::/home/alice:/bin/sh\n";
  const QString since =
      "Your account is in the group 'dialout' (/dev/ttyUSB0 belongs to it), but this login session started before "
      "it was added, so the programs of this session cannot open the port. Fix: log out and back in (or restart the "
      "computer).";
  const Row rows[] = {
      {"AddedSinceTheLogin", alice, "bob,alice", {4242, 24}, 0660, since},
      {"ItsPrimaryGroup", "alice:x:4242:" + dialout + "::/home/alice:/bin/sh\n", "", {4242}, 0660, since},
      {"NotAMember",
       alice,
       "bob",
       {4242, 24},
       0660,
       "/dev/ttyUSB0 belongs to the group 'dialout', which your account 'alice' is not in. Fix: sudo usermod -aG "
       "dialout alice, then log out and back in."},
      {"InTheSession", alice, "alice", {4242, st.st_gid}, 0660, {}},
      {"OpenToEveryone", alice, "bob", {4242}, 0666, {}},
  };
  for (const Row& row : rows) {
    tree.File("etc/passwd", "root:x:0:0:root:/root:/bin/bash\n" + row.passwd);
    tree.File("etc/group", "root:x:0:\ndialout:x:" + dialout + ":" + row.members + "\n");
    tree.Account(4242, 4242, row.session);
    ASSERT_EQ(::chmod(node.constData(), row.mode), 0);
    const QList<TPortFinding> findings = AllFindings(TPortDoctor(tree.Root()), "/dev/ttyUSB0");
    QStringList texts;
    for (const TPortFinding& finding : findings) texts << finding.problem + " " + finding.fix;
    EXPECT_EQ(texts.join('\n'), row.expected) << row.name;
  }
}

// The "Could not open" reason line names the likely cause the doctor sees.
TEST(PortDoctor, TheReasonLineNamesTheLikelyCause) {
  using R = TOpenFailure::Reason;
  DeviceTree brltty, modem;
  Ch340(brltty, "usbfs", "");
  brltty.Program(812, "brltty");
  Arduino(modem, "02/02/01", true);
  const TPortDoctor withBrltty(brltty.Root()), withModemManager(modem.Root()), healthy(DeviceTree().Root());

  TOpenFailure vanished;  // the adapter unplugged and plugged in again: brltty took it
  vanished.reason = R::Absent;
  vanished.name = vanished.path = "/dev/ttyUSB0";
  EXPECT_TRUE(DescribeOpenFailure(vanished, {}, &withBrltty)
                  .startsWith("/dev/ttyUSB0 does not exist. Connect the adapter, or choose another port in "
                              "Preferences. Likely cause: " +
                              kBrltty + " Fix: if no braille display is used on this computer, remove brltty"));
  EXPECT_EQ(DescribeOpenFailure(vanished, {}, &healthy), DescribeOpenFailure(vanished, {}));

  TOpenFailure busy;
  busy.reason = R::InUse;
  busy.name = "COM1";
  busy.path = "/dev/ttyACM0";
  EXPECT_TRUE(DescribeOpenFailure(busy, {}, &withModemManager)
                  .startsWith("COM1 (/dev/ttyACM0) is in use by another program: close it and try again. Likely "
                              "cause: " +
                              kModemManager));
  busy.holder = "minicom, PID 4242";  // a program we can see holds it: that is the cause
  EXPECT_FALSE(DescribeOpenFailure(busy, {}, &withModemManager).contains("Likely cause"));
}

}  // namespace
