#include "panel/portname.h"

#include <cstring>
#include <utility>

namespace {
TPortMap& PortMap() {
  static TPortMap map;
  return map;
}
}  // namespace

void SetPortMap(TPortMap map) { PortMap() = std::move(map); }

TPortNameSources SystemPortNameSources() {
  return {[](const QString& variable) { return qEnvironmentVariable(variable.toLatin1().constData()); },
          PortMap().device};
}

QString ResolvePortName(const QString& name, const TPortNameSources& sources) {
  if (name.isEmpty() || name.startsWith('/')) return name;
  if (const int n = ComPortNumber(name)) {
    const QString key = QStringLiteral("COM%1").arg(n);
    if (sources.environment) {
      const QString mapped = sources.environment("QUELLSO_" + key);
      if (!mapped.isEmpty()) return mapped;
    }
    if (sources.ports) {
      const QString mapped = sources.ports(key);
      if (!mapped.isEmpty()) return mapped;
    }
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
  }
  if (!name.contains('/')) return "/dev/" + name;
  return name;
}

namespace {

// "COM1 (/dev/ttyUSB0)", or just the path when the name was one.
QString Label(const TOpenFailure& f) {
  if (f.path.isEmpty() || f.name == f.path) return f.name.isEmpty() ? f.path : f.name;
  return f.name + " (" + f.path + ")";
}

// What to do when the name leads to no usable port.
QString MappingHint(const TOpenFailure& f, const QStringList& adapters) {
  QString hint;
  if (!adapters.isEmpty()) hint = " Serial adapters found: " + adapters.join(", ") + ".";
  const int n = ComPortNumber(f.name);
  const QString example = adapters.isEmpty() ? QStringLiteral("/dev/ttyUSB0") : adapters.first();
  const QString file = PortMap().file ? PortMap().file() : QString();
  if (n > 0 && !file.isEmpty())
    hint += QStringLiteral(" Connect the adapter, or map the port in the [Ports] group of %1 (COM%2=%3).")
                .arg(file)
                .arg(n)
                .arg(example);
  else
    hint += " Connect the adapter, or choose another port in Preferences.";
  return hint;
}

}  // namespace

QString DescribeOpenFailure(const TOpenFailure& f, const QStringList& adapters) {
  using R = TOpenFailure::Reason;
  const QString label = Label(f);
  switch (f.reason) {
    case R::None:
      return {};
    case R::Absent:
      return label + " does not exist." + MappingHint(f, adapters);
    case R::NoHardware:
      return label + " has no serial port hardware behind it." + MappingHint(f, adapters);
    case R::InUse:
      return label + " is in use by another program" + (f.holder.isEmpty() ? QString() : " (" + f.holder + ")") +
             ": close it and try again.";
    case R::PermissionDenied:
      if (f.group.isEmpty())
        return "Permission denied on " + label +
               ": only its owner may open it. Ask the administrator to give the device a group your account can "
               "join (such as dialout).";
      if (f.groupListed)
        return "Permission denied on " + label + ": your account is in the group '" + f.group +
               "', but this session started before it was added. Log out and back in.";
      return "Permission denied on " + label + ": the device belongs to the group '" + f.group +
             "'. Add your account to it with: sudo usermod -aG " + f.group + " " +
             (f.user.isEmpty() ? QStringLiteral("$USER") : f.user) + ", then log out and back in.";
    case R::NotSerial:
      return label + " is not a serial device: choose the serial port in Preferences.";
    case R::Other:
      break;
  }
  return label + ": " + QString::fromLocal8Bit(std::strerror(f.error)) + ".";
}
