// quellso-tool doctor: why the serial adapter cannot be opened, or vanished, and the fix.
// Each check of the port doctor prints one line: "ok" and what it found, or "PROBLEM", what
// is wrong and the fix.  Nothing is changed and no port is opened.

#include <ostream>

#include "panel/portdoctor.h"
#include "panel/portname.h"
#include "panel/portlist.h"
#include "settings/portmap.h"
#include "settings/settingsstore.h"
#include "tools/doctor.h"
#include "tools/tool.h"

namespace {

constexpr int kExitProblem = 1;

int Doctor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  return RunDoctor(args, out, err, QStringLiteral("/"));
}

constexpr ToolCommand kCommands[] = {
    {"doctor", "doctor [PORT]",
     "Looks for what keeps a serial adapter from working and prints one line for each check, with the fix: "
     "the port's device is there; brltty (the braille display service) has not taken a USB serial adapter for a "
     "braille display; ModemManager does not probe the port; the account may open the device (it is in the "
     "device's group, dialout, and so is this login session); every USB serial adapter on the bus has its serial "
     "port (a driver took it).  PORT is COM1..COM4 or a device path, found as the program finds it; the default "
     "is the port in the settings file.  Exits with status 1 when a check finds a problem.",
     Doctor},
};

}  // namespace

std::span<const ToolCommand> DoctorCommands() { return kCommands; }

int RunDoctor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const QString& root) {
  if (args.size() > 1) return UsageError(err, "doctor takes at most one PORT");
  if (!args.empty() && args[0].starts_with('-')) return UsageError(err, "unknown option '" + args[0] + "'");
  UseSettingsFilePorts();  // COM1..COM4 find their devices as the program finds them
  const QString name = args.empty() ? StoredPreferences().comPort : QString::fromLocal8Bit(args[0]);
  const QString path = ResolvePortName(name);
  const TPortDoctor doctor(root);
  out << "Port: " << name.toStdString() << (path == name ? "" : " (" + path.toStdString() + ")") << "\n";

  // The device first, said as the window says it when the port does not open.
  const QString node = path.isEmpty() ? QString() : doctor.DeviceNode(path);
  bool problem = node.isEmpty();
  if (path.isEmpty()) {
    out << "PROBLEM  device: no port is set. Fix: choose the port in Preferences.\n";
  } else if (problem) {
    TOpenFailure absent;
    absent.reason = TOpenFailure::Reason::Absent;
    absent.name = name;
    absent.path = path;
    out << "PROBLEM  device: " << DescribeOpenFailure(absent, SerialAdapterPaths(root)).toStdString() << "\n";
  } else {
    out << "ok       device: " << path.toStdString() << " is there" << (node == path ? "" : ": " + node.toStdString())
        << ".\n";
  }
  for (const TPortDoctor::Check& check : doctor.Checks(node)) {
    if (check.findings.isEmpty())
      out << "ok       " << check.name.toStdString() << ": " << check.passed.toStdString() << "\n";
    for (const TPortFinding& finding : check.findings) {
      problem = true;
      out << "PROBLEM  " << check.name.toStdString() << ": " << finding.problem.toStdString() << " "
          << finding.fix.toStdString() << "\n";
    }
  }
  return problem ? kExitProblem : kExitSuccess;
}
