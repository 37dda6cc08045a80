#include "settings/settingsstore.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>
#include <filesystem>
#include <system_error>

#include "files/localpath.h"

namespace {

const QString kFileInFolder = QStringLiteral("/Hollin Enterprises/Quellso.ini");

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

// Text is UTF-8 without control characters other than tab, line ends, vertical tab and
// form feed: anything else is not a settings file, and is never written over.
bool IsText(const std::string& bytes) {
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 && u != '\t' && u != '\n' && u != '\r' && u != '\v' && u != '\f') return false;
    if (u == 0x7f) return false;
  }
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  return !decoder.hasError();
}

// New lines end as the file's first line does; a file without a line end gets LF.
std::string_view LineEndOf(const std::string& bytes) {
  const std::size_t lf = bytes.find('\n');
  const std::size_t cr = bytes.find('\r');
  if (cr != std::string::npos && (lf == std::string::npos || cr < lf))
    return cr + 1 < bytes.size() && bytes[cr + 1] == '\n' ? "\r\n" : "\r";
  return "\n";
}

}  // namespace

TSettingsPaths SettingsPaths() {
  const QString file = qEnvironmentVariable("QUELLSO_SETTINGS");
  if (!file.isEmpty()) return {file, {}};
  // The user's configuration folder first, then the system-wide ones.
  const QStringList folders = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
  const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  TSettingsPaths paths{own + kFileInFolder, {}};
  for (const QString& folder : folders)
    if (folder != own) paths.defaults << folder + kFileInFolder;
  return paths;
}

QString SettingsFilePath() { return SettingsPaths().file; }

TSettings::TSettings(const TSettingsPaths& paths) : file_name_(paths.file) {
  ProfileDocument document;
  const FileStatus loaded = LoadProfile(LocalPath(file_name_), document);
  if (!loaded) {
    problem_ = QString::fromLocal8Bit(loaded.reason);
  } else {
    const std::string bytes = document.Bytes();
    if (!IsText(bytes))
      problem_ = QStringLiteral("Not a text file");
    else
      file_ = std::move(document);
    file_.SetNewLineEnd(LineEndOf(bytes));
  }
  for (const QString& path : paths.defaults) {
    ProfileDocument defaults;
    // A defaults file that cannot be read supplies nothing, as one that is not there.
    if (LoadProfile(LocalPath(path), defaults) && IsText(defaults.Bytes())) defaults_.push_back(std::move(defaults));
  }
}

std::optional<QString> TSettings::Value(const QString& group, const QString& key) const {
  const std::string g = Utf8(group), k = Utf8(key);
  if (const auto value = file_.Find(g, k, ProfileDocument::Quotes::Keep))
    return QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()));
  for (const ProfileDocument& defaults : defaults_)
    if (const auto value = defaults.Find(g, k, ProfileDocument::Quotes::Keep))
      return QString::fromUtf8(value->data(), static_cast<qsizetype>(value->size()));
  return std::nullopt;
}

void TSettings::SetValue(const QString& group, const QString& key, const QString& value) {
  // A value is one line: a line break inside it would start a new key or group.
  QString line = value;
  line.replace('\r', ' ').replace('\n', ' ');
  file_.Write(Utf8(group), Utf8(key), Utf8(line));
}

FileStatus TSettings::Save() {
  if (!Readable()) return FileStatus::Failure(Utf8(problem_));
  // A folder that cannot be made (a read-only home) is the reason, not the missing file.
  const QString folder = QFileInfo(file_name_).absolutePath();
  std::error_code error;
  std::filesystem::create_directories(LocalPath(folder), error);
  if (error) return FileStatus::Failure("Cannot create the folder " + EncodeFileName(folder) + ": " + error.message());
  return SaveProfile(LocalPath(file_name_), file_);
}

std::optional<QString> SettingsValue(const QString& group, const QString& key) {
  return TSettings().Value(group, key);
}

TStoredPreferences StoredPreferences(const TSettings& settings) {
  const QString group = QString::fromLatin1(kPreferencesGroup);
  TStoredPreferences stored;
  stored.comPort = settings.Value(group, QString::fromLatin1(kComPortKey)).value_or(QStringLiteral("COM2"));
  stored.upzPath = settings.Value(group, QString::fromLatin1(kUpzPathKey)).value_or(QString());
  stored.metric = settings.Value(group, QString::fromLatin1(kUnitSystemKey)) == QStringLiteral("Metric");
  stored.checkPanel = settings.Value(group, QString::fromLatin1(kCheckPanelKey)) != QStringLiteral("0");
  return stored;
}

FileStatus StoreCheckPanel(bool on) {
  TSettings settings;
  settings.SetValue(QString::fromLatin1(kPreferencesGroup), QString::fromLatin1(kCheckPanelKey),
                    on ? QStringLiteral("1") : QStringLiteral("0"));
  return settings.Save();
}
