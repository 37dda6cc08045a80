#pragma once

// A root folder of fake device nodes and by-id links, laid out as udev does it
// (dev/ttyUSB0, dev/serial/by-id/usb-...-port0 -> ../../ttyUSB0), for the port list's seam;
// and the rest of a system that the port doctor reads, laid out as Linux does it: running
// programs and this process's account (proc/), USB devices, terminals and drivers (sys/),
// accounts and groups (etc/), udev's device properties (run/udev/data/), the kernel's
// drivers (lib/modules/) and udev rules.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

class DeviceTree {
 public:
  DeviceTree() { QDir(dir_.path()).mkpath("dev/serial/by-id"); }
  QString Root() const { return dir_.path(); }
  QString Path(const QString& relative) const { return dir_.filePath(relative); }
  // A device node (a plain file stands in for it).
  void Device(const QString& name) {
    QFile node(Path("dev/" + name));
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
  }
  // A by-id link to dev/<device>, relative as udev makes them.
  void Link(const QString& name, const QString& device) {
    ASSERT_EQ(::symlink(("../../" + device).toLocal8Bit().constData(),
                        Path("dev/serial/by-id/" + name).toLocal8Bit().constData()),
              0);
  }
  // The adapter unplugged: its node and its link go.
  void Unplug(const QString& link, const QString& device) {
    QFile::remove(Path("dev/serial/by-id/" + link));
    QFile::remove(Path("dev/" + device));
  }

  // ---- the rest of the system ----

  // A file with `text`, its folders made.
  void File(const QString& relative, const QByteArray& text) {
    QDir(Root()).mkpath(QFileInfo(Path(relative)).path());
    QFile file(Path(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
  // A symbolic link at `relative` to `target` (as it is written).
  void SymLink(const QString& relative, const QString& target) {
    QDir(Root()).mkpath(QFileInfo(Path(relative)).path());
    ASSERT_EQ(::symlink(target.toLocal8Bit().constData(), Path(relative).toLocal8Bit().constData()), 0);
  }
  // A running program.
  void Program(int pid, const QByteArray& name) { File(QStringLiteral("proc/%1/comm").arg(pid), name + "\n"); }
  // This process: its effective user and groups, as proc/self/status gives them.
  void Account(unsigned uid, unsigned gid, const QList<unsigned>& groups) {
    QByteArray list;
    for (unsigned g : groups) list += QByteArray::number(g) + ' ';
    const QByteArray u = QByteArray::number(uid), g = QByteArray::number(gid);
    File("proc/self/status", "Name:\tquellso\nUid:\t" + u + "\t" + u + "\t" + u + "\t" + u + "\nGid:\t" + g + "\t" + g +
                                 "\t" + g + "\t" + g + "\nGroups:\t" + list + "\n");
  }

  // A USB device at `bus` (such as "1-2") with one interface, bound to `driver` (none when
  // empty), whose terminal is `port` ("ttyUSB0" under the interface as usb-serial drivers
  // make it, "ttyACM0" under its tty/ folder as cdc_acm does; none when empty).  `interface`
  // is "ff/00/00" (class/subclass/protocol) for a vendor's own interface, "02/02/01" for a
  // CDC ACM modem interface.
  void Usb(const QString& bus, const QByteArray& vendor, const QByteArray& product, const QByteArray& name,
           const QString& driver, const QString& port, const QByteArray& interface = "ff/00/00") {
    const QString device = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + bus;
    const QString ifname = bus + ":1.0";
    const QString iface = device + "/" + ifname;
    File(device + "/idVendor", vendor + "\n");
    File(device + "/idProduct", product + "\n");
    if (!name.isEmpty()) File(device + "/product", name + "\n");
    const QList<QByteArray> parts = interface.split('/');
    File(iface + "/bInterfaceClass", parts.value(0) + "\n");
    File(iface + "/bInterfaceSubClass", parts.value(1) + "\n");
    File(iface + "/bInterfaceProtocol", parts.value(2) + "\n");
    SymLink("sys/bus/usb/devices/" + bus, "../../../devices/pci0000:00/0000:00:14.0/usb1/" + bus);
    SymLink("sys/bus/usb/devices/" + ifname, "../../../devices/pci0000:00/0000:00:14.0/usb1/" + bus + "/" + ifname);
    if (!driver.isEmpty()) {
      QDir(Root()).mkpath("sys/bus/usb/drivers/" + driver);
      SymLink(iface + "/driver", "../../../../../../bus/usb/drivers/" + driver);
    }
    if (port.isEmpty()) return;
    const QString tty = port.startsWith("ttyACM") ? iface + "/tty/" + port : iface + "/" + port + "/tty/" + port;
    const QByteArray numbers =
        port.startsWith("ttyACM") ? "166:" + port.mid(6).toLatin1() : "188:" + port.mid(6).toLatin1();
    File(tty + "/dev", numbers + "\n");
    // The terminal's device: the interface for cdc_acm, the usb-serial port below it otherwise.
    SymLink(tty + "/device", port.startsWith("ttyACM") ? "../../../" + ifname : "../../../" + port);
    SymLink("sys/class/tty/" + port, "../../" + tty.mid(4));
    Device(port);
  }
  // The running kernel's release, and its drivers (modules.dep lines name their files).
  void Kernel(const QByteArray& release, const QStringList& modules) {
    File("proc/sys/kernel/osrelease", release + "\n");
    QByteArray dep;
    for (const QString& module : modules) dep += module.toLatin1() + ":\n";
    File("lib/modules/" + release + "/modules.dep", dep);
  }

 private:
  QTemporaryDir dir_;
};
