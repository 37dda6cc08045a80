#include "panel/portdoctor.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

namespace {

// Serial adapter chips by USB vendor and product (an empty product: every product of the
// vendor), with the driver that gives them their serial port.
struct KnownChip {
  const char* vendor;
  const char* product;
  const char* name;
  const char* driver;
};
constexpr KnownChip kChips[] = {
    {"0403", "", "FTDI", "ftdi_sio"},
    {"067b", "2303", "Prolific PL2303", "pl2303"},
    {"067b", "23a3", "Prolific PL2303GC", "pl2303"},
    {"067b", "23c3", "Prolific PL2303GT", "pl2303"},
    {"067b", "23d3", "Prolific PL2303GE", "pl2303"},
    {"0557", "2008", "ATEN UC-232A", "pl2303"},
    {"1a86", "7523", "WCH CH340", "ch341"},
    {"1a86", "7522", "WCH CH340K", "ch341"},
    {"1a86", "5523", "WCH CH341", "ch341"},
    {"1a86", "55d3", "WCH CH343", "cdc_acm"},
    {"1a86", "55d4", "WCH CH9102", "cdc_acm"},
    {"10c4", "ea60", "Silicon Labs CP210x", "cp210x"},
    {"10c4", "ea70", "Silicon Labs CP2105", "cp210x"},
    {"10c4", "ea71", "Silicon Labs CP2108", "cp210x"},
    {"04e2", "1410", "Exar XR21V1410", "xr_serial"},
};

// Drivers that give USB devices serial ports.
const QStringList kSerialDrivers = {"ftdi_sio", "pl2303", "ch341", "cp210x", "cdc_acm", "xr_serial"};

// A small file's text, trimmed; empty when it cannot be read.
QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLocal8Bit(file.readAll()).trimmed();
}

// The last component of a link's target ("usbfs" for .../drivers/usbfs); empty for no link.
QString LinkName(const QString& path) {
  const QFileInfo link(path);
  return link.isSymLink() ? QFileInfo(link.symLinkTarget()).fileName() : QString();
}

// A module's name as the kernel compares it: the file name without ".ko..." and with '-'
// read as '_'.
QString ModuleName(const QString& path) {
  QString name = path.mid(path.lastIndexOf('/') + 1);
  const qsizetype ko = name.indexOf(QStringLiteral(".ko"));
  if (ko >= 0) name.truncate(ko);
  return name.replace('-', '_');
}

QString Quoted(const QString& text) { return "'" + text + "'"; }

}  // namespace

QString TUsbSerialAdapter::Description() const {
  QString text = "USB serial adapter " + vendorId + ":" + productId;
  if (!name.isEmpty()) text += " (" + name + ")";
  return text;
}

TPortDoctor::TPortDoctor(const QString& root) : root_(root) {
  while (root_.size() > 1 && root_.endsWith('/')) root_.chop(1);
  if (root_.isEmpty()) root_ = QStringLiteral("/");

  // Names of the running programs (a few hundred processes: read without Qt's file layer).
  const QByteArray proc = Under("/proc").toLocal8Bit();
  if (DIR* dir = ::opendir(proc.constData())) {
    while (const dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
      const int fd = ::open((proc + "/" + entry->d_name + "/comm").constData(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      char name[64];
      const ssize_t size = ::read(fd, name, sizeof name);
      ::close(fd);
      if (size <= 0) continue;
      const QString program = QString::fromLocal8Bit(name, size).trimmed();
      if (!program.isEmpty() && !programs_.contains(program)) programs_ << program;
    }
    ::closedir(dir);
  }

  // This process: its effective user and groups.
  QFile status(Under("/proc/self/status"));
  if (status.open(QIODevice::ReadOnly)) {
    bool uidSeen = false;
    for (const QByteArray& line : status.readAll().split('\n')) {
      const QList<QByteArray> fields = line.simplified().split(' ');
      if (fields.size() >= 3 && fields[0] == "Uid:") {
        uid_ = fields[2].toUInt(&uidSeen);
      } else if (fields.size() >= 3 && fields[0] == "Gid:") {
        groups_ << fields[2].toUInt();
      } else if (!fields.isEmpty() && fields[0] == "Groups:") {
        for (qsizetype i = 1; i < fields.size(); ++i)
          if (!fields[i].isEmpty()) groups_ << fields[i].toUInt();
      }
    }
    identity_known_ = uidSeen;
  }

  // The USB devices that are serial adapters, with their interfaces' drivers and terminals.
  const QDir usb(Under("/sys/bus/usb/devices"));
  for (const QString& entry : usb.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
    if (entry.contains(':')) continue;  // an interface
    const QString device = QFileInfo(usb.filePath(entry)).canonicalFilePath();
    if (device.isEmpty()) continue;
    TUsbSerialAdapter adapter;
    adapter.busPath = entry;
    adapter.vendorId = ReadText(device + "/idVendor").toLower();
    adapter.productId = ReadText(device + "/idProduct").toLower();
    if (adapter.vendorId.isEmpty()) continue;
    bool serial = false;
    for (const KnownChip& chip : kChips)
      if (adapter.vendorId == chip.vendor && (*chip.product == 0 || adapter.productId == chip.product)) {
        adapter.name = chip.name;
        adapter.driver = chip.driver;
        serial = true;
        break;
      }
    const QDir dir(device);
    bool first = true;
    for (const QString& interface : dir.entryList({entry + ":*"}, QDir::Dirs, QDir::Name)) {
      const QString path = dir.filePath(interface);
      const QString bound = LinkName(path + "/driver");
      if (first) adapter.boundDriver = bound;
      first = false;
      const bool acm = ReadText(path + "/bInterfaceClass") == "02" && ReadText(path + "/bInterfaceSubClass") == "02";
      if (acm && adapter.driver.isEmpty()) adapter.driver = QStringLiteral("cdc_acm");
      QStringList ports = QDir(path).entryList({"ttyUSB*"}, QDir::Dirs, QDir::Name);
      ports += QDir(path + "/tty").entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
      if (acm || !ports.isEmpty() || kSerialDrivers.contains(bound)) serial = true;
      if (adapter.driver.isEmpty() && kSerialDrivers.contains(bound)) adapter.driver = bound;
      adapter.ports += ports;
    }
    if (!serial) continue;
    const QString product = ReadText(device + "/product");
    if (!product.isEmpty()) adapter.name = product;
    adapters_ << adapter;
  }
}

QString TPortDoctor::Under(const QString& path) const { return root_ == "/" ? path : root_ + path; }

QString TPortDoctor::DeviceNode(const QString& path) const {
  const QFileInfo node(Under(path));
  const QString canonical = node.canonicalFilePath();
  if (canonical.isEmpty()) return {};
  return root_ == "/" ? canonical : canonical.mid(root_.size());
}

TPortDoctor::Group TPortDoctor::FindGroup(unsigned groupId) const {
  QFile file(Under("/etc/group"));
  if (file.open(QIODevice::ReadOnly))
    for (const QByteArray& line : file.readAll().split('\n')) {
      const QList<QByteArray> fields = line.split(':');
      if (fields.size() < 3 || fields[2].isEmpty() || fields[2].toUInt() != groupId) continue;
      Group group{QString::fromLocal8Bit(fields[0]), {}};
      if (fields.size() >= 4)
        for (const QByteArray& member : fields[3].split(','))
          if (!member.trimmed().isEmpty()) group.members << QString::fromLocal8Bit(member.trimmed());
      return group;
    }
  if (root_ == "/") {  // a group the files do not hold (a directory service)
    std::vector<char> buffer(65536);
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(groupId, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
      Group group{QString::fromLocal8Bit(found->gr_name), {}};
      for (char** member = found->gr_mem; member && *member; ++member) group.members << QString::fromLocal8Bit(*member);
      return group;
    }
  }
  return {};
}

TPortDoctor::Account TPortDoctor::AccountFor(unsigned groupId) const {
  Account account;
  account.inSession = groups_.contains(groupId);
  bool primary = false;
  QFile passwd(Under("/etc/passwd"));
  if (identity_known_ && passwd.open(QIODevice::ReadOnly))
    for (const QByteArray& line : passwd.readAll().split('\n')) {
      const QList<QByteArray> fields = line.split(':');
      if (fields.size() >= 4 && !fields[2].isEmpty() && fields[2].toUInt() == uid_) {
        account.user = QString::fromLocal8Bit(fields[0]);
        primary = fields[3].toUInt() == groupId;
        break;
      }
    }
  if (account.user.isEmpty() && identity_known_ && root_ == "/") {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid_, &entry, buffer.data(), buffer.size(), &found) == 0 && found) {
      account.user = QString::fromLocal8Bit(found->pw_name);
      primary = found->pw_gid == groupId;
    }
  }
  const Group group = FindGroup(groupId);
  account.group = group.name;
  account.listed = primary || (!account.user.isEmpty() && group.members.contains(account.user));
  return account;
}

QList<TPortFinding> TPortDoctor::GroupFindings(const QString& node) const {
  if (node.isEmpty() || !identity_known_ || uid_ == 0) return {};
  struct stat st {};
  if (::stat(Under(node).toLocal8Bit().constData(), &st) != 0 || st.st_uid == uid_ || st.st_gid == 0) return {};
  // Only a device that its group may read and write, and others may not, asks for the group.
  if ((st.st_mode & (S_IROTH | S_IWOTH)) == (S_IROTH | S_IWOTH)) return {};
  if ((st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  const Account account = AccountFor(st.st_gid);
  if (account.inSession) return {};
  const QString group = account.group.isEmpty() ? QString::number(st.st_gid) : account.group;
  if (account.listed)
    return {{TPortCause::GroupNotInSession, node,
             "Your account is in the group " + Quoted(group) + " (" + node +
                 " belongs to it), but this login session "
                 "started before it was added, so the programs of this session cannot open the port.",
             QStringLiteral("Fix: log out and back in (or restart the computer)."),
             QStringLiteral("log out and back in first")}};
  const QString user = account.user.isEmpty() ? QStringLiteral("$USER") : account.user;
  return {{TPortCause::NotInGroup, node,
           node + " belongs to the group " + Quoted(group) + ", which your account" +
               (account.user.isEmpty() ? QString() : " " + Quoted(account.user)) + " is not in.",
           "Fix: sudo usermod -aG " + group + " " + user + ", then log out and back in.", "not in group " + group}};
}

QList<TPortFinding> TPortDoctor::ModemManagerFindings(const QString& node) const {
  if (node.isEmpty() || !Running(QStringLiteral("ModemManager"))) return {};
  const QString name = node.mid(node.lastIndexOf('/') + 1);
  const QString tty = Under("/sys/class/tty/" + name);
  const QString interface = QFileInfo(tty + "/device").canonicalFilePath();
  const bool acm = name.startsWith(QStringLiteral("ttyACM")) || (ReadText(interface + "/bInterfaceClass") == "02" &&
                                                                 ReadText(interface + "/bInterfaceSubClass") == "02");
  if (!acm) return {};  // it leaves plain serial adapters and built-in ports alone
  // It probes only the ports that say they take AT commands (protocols 1 to 6).
  bool known = false;
  const int protocol = ReadText(interface + "/bInterfaceProtocol").toInt(&known, 16);
  if (known && (protocol < 1 || protocol > 6)) return {};
  const QString numbers = ReadText(tty + "/dev");
  if (!numbers.isEmpty()) {
    const QString properties = ReadText(Under("/run/udev/data/c" + numbers));
    if (properties.contains(QStringLiteral("E:ID_MM_DEVICE_IGNORE=1")) ||
        properties.contains(QStringLiteral("E:ID_MM_PORT_IGNORE=1")))
      return {};
  }
  // The USB device above the interface names the adapter for the rule.
  QString vendor = QStringLiteral("VVVV"), product = QStringLiteral("PPPP");
  for (QString dir = interface; !dir.isEmpty() && dir.size() > root_.size() + 5; dir = QFileInfo(dir).path()) {
    const QString v = ReadText(dir + "/idVendor");
    if (v.isEmpty()) continue;
    vendor = v;
    product = ReadText(dir + "/idProduct");
    break;
  }
  return {{TPortCause::ModemManager, node,
           "ModemManager is running and probes " + node +
               " for a modem: for up to half a minute after the adapter appears it holds the port and sends it AT "
               "commands.",
           "Fix: tell it to leave the adapter alone: put the line ATTRS{idVendor}==\"" + vendor +
               "\", ATTRS{idProduct}==\"" + product +
               "\", ENV{ID_MM_DEVICE_IGNORE}=\"1\" into /etc/udev/rules.d/99-quellso.rules, run sudo udevadm "
               "control --reload and plug the adapter in again; or, with no modem on this computer, sudo systemctl "
               "disable --now ModemManager.",
           QStringLiteral("ModemManager probes it")}};
}

bool TPortDoctor::BrlttyRulesName(const TUsbSerialAdapter& adapter) const {
  // udev's PRODUCT is "vendor/product/release" in hexadecimal without leading zeros.
  bool ok = false;
  const QString product = QStringLiteral("%1/%2/")
                              .arg(adapter.vendorId.toUInt(&ok, 16), 0, 16)
                              .arg(adapter.productId.toUInt(&ok, 16), 0, 16);
  for (const char* folder : {"/usr/lib/udev/rules.d/", "/lib/udev/rules.d/", "/etc/udev/rules.d/"})
    for (const QFileInfo& rules : QDir(Under(folder)).entryInfoList({"*brltty*.rules"}, QDir::Files))
      if (ReadText(rules.filePath()).contains("\"" + product)) return true;
  return false;
}

TPortFinding TPortDoctor::AdapterFinding(const TUsbSerialAdapter& adapter) const {
  const QString subject = adapter.Description();
  const QString what = "the " + subject + " at USB " + adapter.busPath;
  const bool claimed = adapter.boundDriver == "usbfs";
  if ((claimed || adapter.boundDriver.isEmpty()) &&
      (Running(QStringLiteral("brltty")) || (claimed && BrlttyRulesName(adapter)))) {
    QString problem = "brltty, the braille display service, has taken " + what +
                      " for a braille display, so the adapter has no serial port.";
    if (BrlttyRulesName(adapter)) problem += " brltty's udev rules name this adapter.";
    return {TPortCause::Brltty, subject, problem,
            QStringLiteral("Fix: if no braille display is used on this computer, remove brltty (sudo apt remove "
                           "brltty), or keep it from taking adapters (sudo systemctl mask --now brltty-udev.service "
                           "brltty.service); then unplug the adapter and plug it in again."),
            QStringLiteral("taken by brltty")};
  }
  if (claimed)
    return {TPortCause::Claimed, subject,
            what + " has no serial port: a program has claimed it directly (through usbfs).",
            QStringLiteral("Fix: close the program that uses the adapter directly, then unplug the adapter and plug "
                           "it in again."),
            QStringLiteral("claimed by a program")};
  const QString driver = adapter.driver.isEmpty() ? QStringLiteral("usbserial_generic") : adapter.driver;
  const QString mark = QStringLiteral("no driver");
  const QString replug = QStringLiteral("unplug the adapter and plug it in again.");
  if (!adapter.boundDriver.isEmpty())
    return {TPortCause::DriverMissing, subject,
            what + " has no serial port although the driver " + adapter.boundDriver + " has taken it.",
            "Fix: " + replug, mark};
  const QString release = ReadText(Under("/proc/sys/kernel/osrelease"));
  QString modules;
  for (const char* folder : {"/lib/modules/", "/usr/lib/modules/"})
    if (!release.isEmpty() && QFileInfo(Under(folder + release)).isDir()) {
      modules = Under(folder + release);
      break;
    }
  if (!release.isEmpty() && modules.isEmpty())
    return {TPortCause::DriverMissing, subject,
            what + " has no serial port: no driver has taken it, and the drivers of the running kernel (" + release +
                ") are gone from /lib/modules, as after a kernel update.",
            QStringLiteral("Fix: restart the computer."), mark};
  bool present = modules.isEmpty();  // not known: assume the kernel has it
  for (const char* list : {"/modules.dep", "/modules.builtin"}) {
    QFile file(modules + list);
    if (present || !file.open(QIODevice::ReadOnly)) continue;
    for (const QByteArray& line : file.readAll().split('\n')) {
      const QByteArray module = line.left(line.indexOf(':'));
      if (!module.isEmpty() && ModuleName(QString::fromLocal8Bit(module)) == driver) present = true;
    }
  }
  if (!present)
    return {TPortCause::DriverMissing, subject,
            what + " has no serial port: the running kernel (" + release + ") has no driver (" + driver + ") for it.",
            "Fix: install the kernel's extra drivers (on Ubuntu: sudo apt install linux-modules-extra-" + release +
                "), or use an adapter of another kind; then plug the adapter in again.",
            mark};
  if (!QFileInfo(Under("/sys/bus/usb/drivers/" + driver)).isDir())
    return {TPortCause::DriverMissing, subject, what + " has no serial port: its driver " + driver + " is not loaded.",
            "Fix: sudo modprobe " + driver + ", then " + replug +
                " If the driver will not load, look for it in /etc/modprobe.d, where it may be blacklisted.",
            mark};
  return {TPortCause::DriverMissing, subject,
          what + " has no serial port: its driver " + driver + " is loaded but has not taken it.", "Fix: " + replug,
          mark};
}

QList<TPortFinding> TPortDoctor::AdaptersWithoutPort() const {
  QList<TPortFinding> findings;
  for (const TUsbSerialAdapter& adapter : adapters_)
    if (adapter.ports.isEmpty()) findings << AdapterFinding(adapter);
  return findings;
}

QList<TPortFinding> TPortDoctor::FindingsFor(const QString& path) const {
  const QString node = DeviceNode(path);
  return ModemManagerFindings(node) + GroupFindings(node);
}

QList<TPortDoctor::Check> TPortDoctor::Checks(const QString& path) const {
  const QString node = path.isEmpty() ? QString() : DeviceNode(path);
  QList<Check> checks;

  QStringList ports;
  for (const TUsbSerialAdapter& adapter : adapters_) ports += adapter.ports;

  const QList<TPortFinding> adapters = AdaptersWithoutPort();
  Check brltty{QStringLiteral("brltty"), {}, {}};
  for (const TPortFinding& finding : adapters)
    if (finding.cause == TPortCause::Brltty) brltty.findings << finding;
  brltty.passed = Running(QStringLiteral("brltty")) ? QStringLiteral("brltty is running but holds no serial adapter.")
                                                    : QStringLiteral("brltty is not running.");
  checks << brltty;

  Check modem{QStringLiteral("ModemManager"), {}, ModemManagerFindings(node)};
  if (!Running(QStringLiteral("ModemManager")))
    modem.passed = QStringLiteral("ModemManager is not running.");
  else
    modem.passed =
        "ModemManager is running but leaves " + (node.isEmpty() ? QStringLiteral("the port") : node) + " alone.";
  checks << modem;

  Check group{QStringLiteral("group"), {}, GroupFindings(node)};
  group.passed = node.isEmpty() ? QStringLiteral("no device to check.") : "your account may open " + node + ".";
  checks << group;

  Check driver{QStringLiteral("driver"), {}, {}};
  for (const TPortFinding& finding : adapters)
    if (finding.cause != TPortCause::Brltty) driver.findings << finding;
  const QString list = ports.isEmpty() ? QString() : " (" + ports.join(", ") + ")";
  if (adapters_.isEmpty())
    driver.passed = QStringLiteral("no USB serial adapter is plugged in.");
  else if (adapters.isEmpty())
    driver.passed = "every USB serial adapter plugged in has its serial port" + list + ".";
  else
    driver.passed = "every USB serial adapter plugged in that brltty has not taken has its serial port" + list + ".";
  checks << driver;
  return checks;
}
