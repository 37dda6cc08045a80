#pragma once

// The program's settings file.  The Preferences dialog keeps its three values in the group
// "Preferences" (COMPort, UPZPath, UnitSystem); the serial port's device map is the group
// "Ports" (COM1=/dev/ttyUSB0 ..., handed to the port by settings/portmap.h).
//
// Where: the file named by the environment variable QUELLSO_SETTINGS when it is set (tests
// and demonstrations use it), otherwise the user's own file of organisation
// "Hollin Enterprises", application "Quellso" (~/.config/Hollin Enterprises/Quellso.ini, or
// under $XDG_CONFIG_HOME), with the system-wide files (/etc/xdg/Hollin Enterprises/
// Quellso.ini, or under each folder of $XDG_CONFIG_DIRS) supplying the values the user's file
// does not have.  Those are only read.
//
// People edit this file by hand, so it is read and written line by line with the program's
// profile layer (files/profile.h), and nothing in it is interpreted: a value is exactly the
// text after the first "=", blanks around it trimmed (commas, quotes and backslashes are
// part of it).  Group and key names compare without regard to letter case; the first group
// of a name and the first key in it win.  Lines starting with ';' or '#' are comments.
// Writing a value replaces it in place and keeps every other byte of the file (comments,
// other keys, their order); a missing key goes after the last key of its group, a missing
// group at the end of the file.  New lines end as the file's first line does (LF in a new
// file).

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "files/profile.h"

// The settings file and the files with the system-wide defaults, in the order they are
// searched after it.
struct TSettingsPaths {
  QString file;
  QStringList defaults;
};
TSettingsPaths SettingsPaths();

// The file the settings are written to.
QString SettingsFilePath();

// The settings as the files hold them at the moment of construction.
class TSettings {
 public:
  explicit TSettings(const TSettingsPaths& paths = SettingsPaths());

  const QString& FileName() const { return file_name_; }
  // False when the settings file exists but cannot be read (no permission, a folder) or is
  // not a text file; Problem() then says why, and Save() refuses to write it.  A file that
  // does not exist reads as empty.
  bool Readable() const { return problem_.isEmpty(); }
  const QString& Problem() const { return problem_; }

  // The value of `key` in `group`: the settings file's, otherwise the first defaults file's
  // that has one; nothing when none has.
  std::optional<QString> Value(const QString& group, const QString& key) const;
  // Sets the value in the settings file (in memory, until Save).
  void SetValue(const QString& group, const QString& key, const QString& value);
  // Writes the settings file, creating its folder when needed; on failure, the reason.
  FileStatus Save();

 private:
  QString file_name_;
  QString problem_;
  ProfileDocument file_;
  std::vector<ProfileDocument> defaults_;
};

// One value, read afresh from the files.
std::optional<QString> SettingsValue(const QString& group, const QString& key);

// The three preferences, group "Preferences".
inline constexpr char kPreferencesGroup[] = "Preferences";
inline constexpr char kComPortKey[] = "COMPort";
inline constexpr char kUpzPathKey[] = "UPZPath";
inline constexpr char kUnitSystemKey[] = "UnitSystem";
// Tools > Check Panel Before and After Sending: "1" on, "0" off; on when missing.
inline constexpr char kCheckPanelKey[] = "CheckPanel";

// The preferences as `settings` hold them; where one is missing, the value the Preferences
// dialog writes for it at start-up ("COM2", no folder, "English").  Reads only.
struct TStoredPreferences {
  QString comPort;      // the serial port's name, handed to it unchanged
  QString upzPath;      // the archive folder, as stored
  bool metric = false;  // UnitSystem is exactly "Metric"
  bool checkPanel = true;  // CheckPanel is anything but "0" (blanks around it trimmed)
};
TStoredPreferences StoredPreferences(const TSettings& settings = TSettings());

// Stores CheckPanel as "1" or "0", every other byte of the file kept; on failure, the reason.
FileStatus StoreCheckPanel(bool on);
