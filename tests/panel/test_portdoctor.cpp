// The port doctor against fake root folders, one for each cause it names: brltty holding a
// USB serial adapter, ModemManager probing the port, the account's group not yet in this
// session, an adapter on the bus that no driver took; and the "Could not open" reason line
// that names the likely cause.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <functional>

#include "panel/portdoctor.h"
#include "panel/portname.h"
#include "tests/settings/devicetree.h"

namespace {

// The check of `name` among the doctor's checks of `path`.
TPortDoctor::Check CheckOf(const TPortDoctor& doctor, const QString& path, const QString& name) {
  for (const TPortDoctor::Check& check : doctor.Checks(path))
    if (check.name == name) return check;
  ADD_FAILURE() << "no check " << name.toStdString();
  return {};
}

QString Joined(const QList<TPortFinding>& findings) {
  QStringList texts;
  for (const TPortFinding& finding : findings) texts << finding.problem + " " + finding.fix;
  return texts.join('\n');
}

// A CH340 adapter (1a86:7523) at USB 1-2, bound to `driver`, with or without its terminal.
void Ch340(DeviceTree& tree, const QString& driver, const QString& port) {
  tree.Usb("1-2", "1a86", "7523", "USB Serial", driver, port);
}

TEST(PortDoctor, AHealthySystemPassesEveryCheck) {
  DeviceTree tree;
  Ch340(tree, "ch341", "ttyUSB0");
  tree.Program(1, "systemd");
  const TPortDoctor doctor(tree.Root());
  ASSERT_EQ(doctor.Adapters().size(), 1);
  EXPECT_EQ(doctor.Adapters()[0].ports, QStringList{"ttyUSB0"});
  EXPECT_EQ(doctor.Adapters()[0].Description(), "USB serial adapter 1a86:7523 (USB Serial)");
  QStringList names;
  for (const TPortDoctor::Check& check : doctor.Checks("/dev/ttyUSB0")) {
    names << check.name;
    EXPECT_TRUE(check.findings.isEmpty()) << check.name.toStdString() << ": " << Joined(check.findings).toStdString();
    EXPECT_FALSE(check.passed.isEmpty()) << check.name.toStdString();
  }
  EXPECT_EQ(names, QStringList({"brltty", "ModemManager", "group", "driver"}));
  EXPECT_EQ(doctor.DeviceNode("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(doctor.DeviceNode("/dev/ttyUSB7"), "");
  EXPECT_EQ(CheckOf(doctor, "/dev/ttyUSB0", "driver").passed,
            "every USB serial adapter plugged in has its serial port (ttyUSB0).");
  EXPECT_TRUE(doctor.AdaptersWithoutPort().isEmpty());

  // Only serial adapters count: a mouse is none.
  DeviceTree other;
  other.Usb("1-5", "046d", "c077", "USB Optical Mouse", "usbhid", "", "03/01/02");
  EXPECT_TRUE(TPortDoctor(other.Root()).Adapters().isEmpty());
}

TEST(PortDoctor, BrlttyHoldingTheAdapter) {
  struct Row {
    const char* name;
    bool running;
    QString driver;
    bool rules;  // brltty's udev rules name the adapter
    bool brltty;
  };
  const Row rows[] = {
      {"RunningAndClaimed", true, "usbfs", false, true},
      {"RunningAndLetGo", true, "", false, true},       // the serial driver was pushed off
      {"NamedByItsRules", false, "usbfs", true, true},  // between two of its runs
      {"AnotherProgramClaimed", false, "usbfs", false, false},
  };
  for (const Row& row : rows) {
    DeviceTree tree;
    Ch340(tree, row.driver, "");
    if (row.running) tree.Program(812, "brltty");
    if (row.rules)
      tree.File("usr/lib/udev/rules.d/85-brltty.rules",
                "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"brltty_usb_run\"\n");
    const TPortDoctor doctor(tree.Root());
    const QList<TPortFinding> findings = doctor.AdaptersWithoutPort();
    ASSERT_EQ(findings.size(), 1) << row.name;
    const TPortFinding& finding = findings[0];
    EXPECT_EQ(finding.subject, "USB serial adapter 1a86:7523 (USB Serial)") << row.name;
    if (row.brltty) {
      EXPECT_EQ(finding.cause, TPortCause::Brltty) << row.name;
      EXPECT_TRUE(
          finding.problem.startsWith("brltty, the braille display service, has taken the USB serial adapter "
                                     "1a86:7523 (USB Serial) at USB 1-2 for a braille display"))
          << finding.problem.toStdString();
      EXPECT_TRUE(finding.fix.contains("sudo systemctl mask --now brltty-udev.service brltty.service")) << row.name;
      EXPECT_EQ(finding.mark, "taken by brltty");
      EXPECT_EQ(CheckOf(doctor, "", "brltty").findings.size(), 1) << row.name;
      EXPECT_TRUE(CheckOf(doctor, "", "driver").findings.isEmpty()) << row.name;
    } else {
      EXPECT_EQ(finding.cause, TPortCause::Claimed) << row.name;
      EXPECT_EQ(CheckOf(doctor, "", "driver").findings.size(), 1) << row.name;
    }
  }
}

TEST(PortDoctor, ModemManagerProbingThePort) {
  struct Row {
    const char* name;
    bool running;
    QByteArray interface;  // class/subclass/protocol
    QByteArray udev;       // udev's properties of the terminal
    QString port;
    bool probed;
  };
  const Row rows[] = {
      {"AnAtModemPort", true, "02/02/01", "E:ID_VENDOR=Arduino\n", "ttyACM0", true},
      {"NoUdevProperties", true, "02/02/01", "", "ttyACM0", true},
      {"NotRunning", false, "02/02/01", "", "ttyACM0", false},
      {"IgnoredByARule", true, "02/02/01", "E:ID_MM_DEVICE_IGNORE=1\n", "ttyACM0", false},
      {"PortIgnored", true, "02/02/01", "E:ID_MM_PORT_IGNORE=1\n", "ttyACM0", false},
      {"NoAtCommands", true, "02/02/00", "", "ttyACM0", false},
      {"APlainSerialAdapter", true, "ff/00/00", "", "ttyUSB0", false},
  };
  for (const Row& row : rows) {
    DeviceTree tree;
    const bool acm = row.port.startsWith("ttyACM");
    tree.Usb("1-3", "2341", "0043", "Arduino Uno", acm ? "cdc_acm" : "ftdi_sio", row.port, row.interface);
    if (row.running) tree.Program(700, "ModemManager");
    if (!row.udev.isEmpty()) tree.File(acm ? "run/udev/data/c166:0" : "run/udev/data/c188:0", row.udev);
    // By a by-id link too, as Preferences stores adapters.
    tree.Link("usb-Arduino_Uno-if00", row.port);
    const TPortDoctor doctor(tree.Root());
    for (const QString& path : {"/dev/" + row.port, QStringLiteral("/dev/serial/by-id/usb-Arduino_Uno-if00")}) {
      const QList<TPortFinding> findings = doctor.FindingsFor(path);
      ASSERT_EQ(findings.size(), row.probed ? 1 : 0) << row.name << " " << path.toStdString();
      if (!row.probed) continue;
      EXPECT_EQ(findings[0].cause, TPortCause::ModemManager);
      EXPECT_EQ(findings[0].problem,
                "ModemManager is running and probes /dev/ttyACM0 for a modem: for up to half a minute after the "
                "adapter appears it holds the port and sends it AT commands.");
      EXPECT_TRUE(findings[0].fix.contains(
          "ATTRS{idVendor}==\"2341\", ATTRS{idProduct}==\"0043\", ENV{ID_MM_DEVICE_IGNORE}=\"1\""))
          << findings[0].fix.toStdString();
      EXPECT_EQ(findings[0].mark, "ModemManager probes it");
    }
    EXPECT_EQ(CheckOf(doctor, "/dev/" + row.port, "ModemManager").findings.size(), row.probed ? 1 : 0) << row.name;
  }
}

TEST(PortDoctor, TheGroupNotInThisSession) {
  // The device node belongs to a group that is not root's: dialout's number on Debian, or
  // (for an account that may not give files away) the account's own group.
  DeviceTree tree;
  Ch340(tree, "ch341", "ttyUSB0");
  const QByteArray node = tree.Path("dev/ttyUSB0").toLocal8Bit();
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(node.constData(), 0, 20), 0);
  }
  ASSERT_EQ(::chmod(node.constData(), 0660), 0);
  struct stat st {};
  ASSERT_EQ(::stat(node.constData(), &st), 0);
  if (st.st_gid == 0) GTEST_SKIP() << "the device node cannot be given a group other than root's";
  const unsigned dialout = st.st_gid;
  tree.File("etc/passwd", "root:x:0:0:root:/root:/bin/bash\nalice:x:4242:4242:Alice:/home/alice:/bin/bash\n");

  struct Row {
    const char* name;
    QByteArray members;       // of the device's group in etc/group
    QList<unsigned> session;  // the groups of this process
    mode_t mode;
    TPortCause cause;
    int findings;
  };
  const Row rows[] = {
      {"AddedSinceTheLogin", "bob,alice", {4242, 24}, 0660, TPortCause::GroupNotInSession, 1},
      {"NotAMember", "bob", {4242, 24}, 0660, TPortCause::NotInGroup, 1},
      {"InTheSession", "alice", {4242, dialout}, 0660, TPortCause::GroupNotInSession, 0},
      {"OpenToEveryone", "bob", {4242}, 0666, TPortCause::NotInGroup, 0},
  };
  for (const Row& row : rows) {
    tree.File("etc/group", "root:x:0:\ndialout:x:" + QByteArray::number(dialout) + ":" + row.members + "\n");
    tree.Account(4242, 4242, row.session);
    ASSERT_EQ(::chmod(node.constData(), row.mode), 0);
    const TPortDoctor doctor(tree.Root());
    const QList<TPortFinding> findings = doctor.FindingsFor("/dev/ttyUSB0");
    ASSERT_EQ(findings.size(), row.findings) << row.name << ": " << Joined(findings).toStdString();
    EXPECT_EQ(CheckOf(doctor, "/dev/ttyUSB0", "group").findings.size(), row.findings) << row.name;
    if (row.findings == 0) continue;
    EXPECT_EQ(findings[0].cause, row.cause) << row.name;
    if (row.cause == TPortCause::GroupNotInSession) {
      EXPECT_EQ(findings[0].problem,
                "Your account is in the group 'dialout' (/dev/ttyUSB0 belongs to it), but this login session started "
                "before it was added, so the programs of this session cannot open the port.");
      EXPECT_EQ(findings[0].fix, "Fix: log out and back in (or restart the computer).");
    } else {
      EXPECT_EQ(findings[0].problem,
                "/dev/ttyUSB0 belongs to the group 'dialout', which your account 'alice' is not in.");
      EXPECT_EQ(findings[0].fix, "Fix: sudo usermod -aG dialout alice, then log out and back in.");
    }
  }

  // The account's primary group counts as listed, as the serial port's own message has it.
  tree.File("etc/passwd", "alice:x:4242:" + QByteArray::number(dialout) + "::/home/alice:/bin/sh\n");
  tree.File("etc/group", "dialout:x:" + QByteArray::number(dialout) + ":\n");
  tree.Account(4242, 4242, {4242});
  ASSERT_EQ(::chmod(node.constData(), 0660), 0);
  const TPortDoctor::Account account = TPortDoctor(tree.Root()).AccountFor(dialout);
  EXPECT_EQ(account.user, "alice");
  EXPECT_EQ(account.group, "dialout");
  EXPECT_TRUE(account.listed);
  EXPECT_FALSE(account.inSession);
}

TEST(PortDoctor, AnAdapterThatNoDriverTook) {
  const QString ftdi = "the USB serial adapter 0403:6001 (FT232R USB UART) at USB 1-4 has no serial port";
  struct Row {
    const char* name;
    std::function<void(DeviceTree&)> kernel;
    QString problem;
    QString fix;
  };
  const Row rows[] = {
      {"KernelUpdatedSinceStart", [](DeviceTree& t) { t.File("proc/sys/kernel/osrelease", "6.1.0-18-amd64\n"); },
       ftdi + ": no driver has taken it, and the drivers of the running kernel (6.1.0-18-amd64) are gone from "
              "/lib/modules, as after a kernel update.",
       "Fix: restart the computer."},
      {"KernelWithoutTheDriver",
       [](DeviceTree& t) { t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/serial/ch341.ko"}); },
       ftdi + ": the running kernel (6.1.0-18-amd64) has no driver (ftdi_sio) for it.",
       "Fix: install the kernel's extra drivers (on Ubuntu: sudo apt install linux-modules-extra-6.1.0-18-amd64), or "
       "use an adapter of another kind; then plug the adapter in again."},
      {"DriverNotLoaded",
       [](DeviceTree& t) { t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/serial/ftdi_sio.ko.xz"}); },
       ftdi + ": its driver ftdi_sio is not loaded.",
       "Fix: sudo modprobe ftdi_sio, then unplug the adapter and plug it in again. If the driver will not load, look "
       "for it in /etc/modprobe.d, where it may be blacklisted."},
      {"DriverLoadedNotBound",
       [](DeviceTree& t) {
         t.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/serial/ftdi_sio.ko"});
         QDir(t.Root()).mkpath("sys/bus/usb/drivers/ftdi_sio");
       },
       ftdi + ": its driver ftdi_sio is loaded but has not taken it.", "Fix: unplug the adapter and plug it in again."},
  };
  for (const Row& row : rows) {
    DeviceTree tree;
    tree.Usb("1-4", "0403", "6001", "FT232R USB UART", "", "");
    row.kernel(tree);
    const TPortDoctor doctor(tree.Root());
    const QList<TPortFinding> findings = doctor.AdaptersWithoutPort();
    ASSERT_EQ(findings.size(), 1) << row.name;
    EXPECT_EQ(findings[0].cause, TPortCause::DriverMissing) << row.name;
    EXPECT_EQ(findings[0].problem, row.problem) << row.name;
    EXPECT_EQ(findings[0].fix, row.fix) << row.name;
    EXPECT_EQ(findings[0].mark, "no driver");
    EXPECT_EQ(CheckOf(doctor, "", "driver").findings.size(), 1) << row.name;
  }

  // A CDC ACM adapter of any maker: its driver's file is named with a dash.
  DeviceTree tree;
  tree.Usb("1-6", "1234", "abcd", "", "", "", "02/02/01");
  tree.Kernel("6.1.0-18-amd64", {"kernel/drivers/usb/class/cdc-acm.ko.zst"});
  const QList<TPortFinding> findings = TPortDoctor(tree.Root()).AdaptersWithoutPort();
  ASSERT_EQ(findings.size(), 1);
  EXPECT_EQ(findings[0].problem,
            "the USB serial adapter 1234:abcd at USB 1-6 has no serial port: its driver cdc_acm is not loaded.");
}

// The "Could not open" reason line names the likely cause the doctor sees.
TEST(PortDoctor, TheReasonLineNamesTheLikelyCause) {
  using R = TOpenFailure::Reason;
  DeviceTree brltty;
  Ch340(brltty, "usbfs", "");
  brltty.Program(812, "brltty");
  DeviceTree modem;
  modem.Usb("1-3", "2341", "0043", "Arduino Uno", "cdc_acm", "ttyACM0", "02/02/01");
  modem.Program(700, "ModemManager");
  const TPortDoctor withBrltty(brltty.Root()), withModemManager(modem.Root()), healthy(DeviceTree().Root());

  TOpenFailure vanished;  // the adapter unplugged and plugged in again: brltty took it
  vanished.reason = R::Absent;
  vanished.name = vanished.path = "/dev/ttyUSB0";
  const QString line = DescribeOpenFailure(vanished, {}, &withBrltty);
  EXPECT_TRUE(
      line.startsWith("/dev/ttyUSB0 does not exist. Connect the adapter, or choose another port in "
                      "Preferences. Likely cause: brltty, the braille display service, has taken the USB "
                      "serial adapter 1a86:7523 (USB Serial) at USB 1-2 for a braille display"))
      << line.toStdString();
  EXPECT_TRUE(line.contains("Fix: if no braille display is used on this computer, remove brltty"));
  EXPECT_EQ(DescribeOpenFailure(vanished, {}, &healthy), DescribeOpenFailure(vanished, {}));

  TOpenFailure busy;
  busy.reason = R::InUse;
  busy.name = "COM1";
  busy.path = "/dev/ttyACM0";
  EXPECT_TRUE(DescribeOpenFailure(busy, {}, &withModemManager)
                  .startsWith("COM1 (/dev/ttyACM0) is in use by another program: close it and try again. Likely "
                              "cause: ModemManager is running and probes /dev/ttyACM0 for a modem"));
  busy.holder = "minicom, PID 4242";  // a program we can see holds it: that is the cause
  EXPECT_FALSE(DescribeOpenFailure(busy, {}, &withModemManager).contains("Likely cause"));
}

}  // namespace
