#include "settings/settingsstore.h"

#include <QSettings>

namespace {
const char* const kOrganization = "Hollin Enterprises";
const char* const kApplication = "Quellso";
}  // namespace

std::unique_ptr<QSettings> OpenSettings() {
  const QString file = qEnvironmentVariable("QUELLSO_SETTINGS");
  if (!file.isEmpty()) return std::make_unique<QSettings>(file, QSettings::IniFormat);
  return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, kOrganization, kApplication);
}

QString SettingsFilePath() { return OpenSettings()->fileName(); }
