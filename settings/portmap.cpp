#include "settings/portmap.h"

#include "panel/portname.h"
#include "settings/settingsstore.h"

void UseSettingsFilePorts() {
  SetPortMap({&SettingsFilePath,
              [](const QString& key) { return SettingsValue(QStringLiteral("Ports"), key).value_or(QString()); }});
}
