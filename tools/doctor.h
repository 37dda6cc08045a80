#pragma once

// quellso-tool doctor [PORT]: the port doctor's checks (panel/portdoctor.h), one line each.

#include <QString>
#include <iosfwd>
#include <string>
#include <vector>

// Runs the checks on the system under `root` ("/" for this computer; tests give a folder of
// their own); `args` are the command's arguments.  Returns the exit status: 0 when every
// check passed, 1 when one found a problem, 2 for a wrong command line.
int RunDoctor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, const QString& root);
