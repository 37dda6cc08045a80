#include "panel/portcontrol.h"

QString CouldNotOpenMessage(const TPortControl& port) {
  QString text = "Could not open " + port.DeviceName() + ".\nPlease close any applications that may be using the port";
  const QString reason = port.OpenFailureText();
  if (!reason.isEmpty()) text += "\n" + reason;
  return text;
}
