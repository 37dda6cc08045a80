#pragma once

// The port doctor: the causes, visible to the program, why a serial adapter cannot be opened
// or has vanished, each with its fix.  The window adds them to the "Could not open" reason
// line, the Preferences port list marks the ports they affect, and `quellso-tool doctor`
// prints every check.
//
//   brltty         the braille display service has taken a USB serial adapter that it
//                  mistook for a braille display, so the adapter has no serial port;
//   ModemManager   the modem service probes the port for a modem (it sends AT commands and
//                  holds the port for up to half a minute after the adapter appears);
//   group          the account is listed in the device's group (dialout) but this login
//                  session started before it was added, or it is not in the group at all;
//   driver         a USB serial adapter is on the bus but has no device node: no driver has
//                  taken it (the kernel lacks the driver, the driver is not loaded, or the
//                  kernel was updated since the computer started).
//
// Everything is read from the file system under a root folder ("/" on a running system):
// proc/ (running programs, this process's groups, the kernel release), sys/ (USB devices,
// terminals, loaded drivers), etc/group and etc/passwd, run/udev/data/ (udev's properties of
// a device), lib/modules/ (the kernel's drivers) and the udev rules of brltty; tests give a
// folder of their own.  Nothing is opened for writing and no device is opened.  Qt Core only.

#include <QList>
#include <QString>
#include <QStringList>

enum class TPortCause {
  Brltty,             // brltty took the adapter
  ModemManager,       // ModemManager probes the port
  GroupNotInSession,  // listed in the device's group, but not in this session
  NotInGroup,         // not in the device's group
  DriverMissing,      // an adapter without a device node: no driver took it
  Claimed,            // an adapter whose interface a program claimed directly (not brltty)
};

struct TPortFinding {
  TPortCause cause;
  QString subject;  // what it is about: a device path, or "USB serial adapter 1a86:7523 (...)"
  QString problem;  // what the system shows, one or two sentences
  QString fix;      // what to do, starting "Fix: "
  QString mark;     // a few words for a port list: "ModemManager probes it"
};

// A USB device on the bus that is a serial adapter.
struct TUsbSerialAdapter {
  QString busPath;      // "1-2": its place on the USB bus
  QString vendorId;     // "1a86"
  QString productId;    // "7523"
  QString name;         // its product string, or the chip's name, or empty
  QString driver;       // the driver that gives such an adapter its serial port ("ch341")
  QString boundDriver;  // the driver of its (first) interface now: "ch341", "usbfs", or empty
  QStringList ports;    // its terminals ("ttyUSB0")
  // "USB serial adapter 1a86:7523 (USB Serial)"
  QString Description() const;
};

class TPortDoctor {
 public:
  // Reads the system under `root` once; the checks below look at that picture.
  explicit TPortDoctor(const QString& root = QStringLiteral("/"));

  const QString& Root() const { return root_; }

  // The serial adapters on the USB bus.
  const QList<TUsbSerialAdapter>& Adapters() const { return adapters_; }

  // What keeps the device at `path` (a device path as the port opens it, such as /dev/ttyACM0
  // or a /dev/serial/by-id/ link; it may be absent) from working: ModemManager, the group.
  QList<TPortFinding> FindingsFor(const QString& path) const;
  // Why adapters on the bus have no serial port: brltty, a claim, no driver.
  QList<TPortFinding> AdaptersWithoutPort() const;

  // The device node that `path` leads to (links followed within the root), as a path below
  // the root; empty when there is none.
  QString DeviceNode(const QString& path) const;

  // One check of `quellso-tool doctor`.
  struct Check {
    QString name;                  // "brltty", "ModemManager", "group", "driver"
    QString passed;                // what was found when the check passed
    QList<TPortFinding> findings;  // what is wrong; none when the check passed
  };
  // Every check, for the device at `path` (empty: no port named; its checks then pass).
  QList<Check> Checks(const QString& path) const;

  // The account, a device's group, and whether the account is listed in that group (in
  // etc/group, or as its primary group in etc/passwd) without this process having it.
  struct Account {
    QString user;            // this account's name; empty when unknown
    QString group;           // the group's name; empty when unknown
    bool listed = false;     // the account is listed in the group
    bool inSession = false;  // this process has the group
  };
  Account AccountFor(unsigned groupId) const;

 private:
  // The file's path under the root.
  QString Under(const QString& path) const;
  bool Running(const QString& program) const { return programs_.contains(program); }
  // A group's name and members: etc/group, or on "/" the system's directory of groups.
  struct Group {
    QString name;
    QStringList members;
  };
  Group FindGroup(unsigned groupId) const;
  QList<TPortFinding> ModemManagerFindings(const QString& node) const;
  QList<TPortFinding> GroupFindings(const QString& node) const;
  TPortFinding AdapterFinding(const TUsbSerialAdapter& adapter) const;
  bool BrlttyRulesName(const TUsbSerialAdapter& adapter) const;

  QString root_;
  QStringList programs_;  // names of the running programs
  bool identity_known_ = false;
  unsigned uid_ = 0;
  QList<unsigned> groups_;  // this process's group and supplementary groups
  QList<TUsbSerialAdapter> adapters_;
};
