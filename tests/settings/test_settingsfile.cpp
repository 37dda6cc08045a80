// The settings file: where it is, how a value reads, the system-wide defaults, and writing
// that keeps everything else, against files in a temporary folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <optional>

#include "settings/settingsstore.h"
#include "tests/panel/ptypair.h"

namespace {

// As a std::string, so that a failure shows the text.
std::string ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

// Sets an environment variable for the test's span, restoring it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const QString& value) : name_(name), had_(qEnvironmentVariableIsSet(name)) {
    old_ = qgetenv(name);
    if (value.isNull())
      qunsetenv(name);
    else
      qputenv(name, value.toLocal8Bit());
  }
  ~ScopedEnv() {
    if (had_)
      qputenv(name_, old_);
    else
      qunsetenv(name_);
  }

 private:
  const char* name_;
  bool had_;
  QByteArray old_;
};

TEST(SettingsFile, WhereItIs) {
  {
    const ScopedEnv settings("QUELLSO_SETTINGS", "/tmp/demo/settings.ini");
    const TSettingsPaths paths = SettingsPaths();
    EXPECT_EQ(paths.file, "/tmp/demo/settings.ini");
    EXPECT_TRUE(paths.defaults.isEmpty());  // the named file alone
  }
  const ScopedEnv settings("QUELLSO_SETTINGS", QString());
  const ScopedEnv home("XDG_CONFIG_HOME", "/home/tech/.config");
  {
    const ScopedEnv dirs("XDG_CONFIG_DIRS", QString());
    const TSettingsPaths paths = SettingsPaths();
    EXPECT_EQ(paths.file, "/home/tech/.config/Hollin Enterprises/Quellso.ini");
    EXPECT_EQ(paths.defaults, QStringList{"/etc/xdg/Hollin Enterprises/Quellso.ini"});
    EXPECT_EQ(SettingsFilePath(), paths.file);
  }
  const ScopedEnv dirs("XDG_CONFIG_DIRS", "/opt/site/xdg:/etc/xdg");
  EXPECT_EQ(SettingsPaths().defaults,
            QStringList({"/opt/site/xdg/Hollin Enterprises/Quellso.ini", "/etc/xdg/Hollin Enterprises/Quellso.ini"}));
}

// A value is the text after the first '=', blanks around it trimmed, nothing else taken away.
TEST(SettingsFile, AValueIsTheTextAfterTheEqualsSign) {
  QTemporaryDir dir;
  const QString file = dir.filePath("q.ini");
  struct Row {
    const char* name;
    QByteArray line;
    std::optional<QString> value;
  };
  const Row rows[] = {
      {"Comma", "UPZPath=/srv/orders,2024/", "/srv/orders,2024/"},
      {"BlanksAround", "UPZPath = \t/srv/a b/ \t", "/srv/a b/"},
      {"Quotes", "UPZPath=\"/srv/q\"", "\"/srv/q\""},
      {"SingleQuotes", "UPZPath='x'", "'x'"},
      {"Backslashes", "UPZPath=C:\\Orders\\new\\", "C:\\Orders\\new\\"},
      {"Semicolon", "UPZPath=/a;b", "/a;b"},
      {"EqualsInside", "UPZPath=a=b", "a=b"},
      {"Empty", "UPZPath=", ""},
      {"AtSign", "UPZPath=@Invalid()", "@Invalid()"},
      {"Utf8", "UPZPath=/srv/Aufträge/", "/srv/Aufträge/"},
      {"KeyInAnyCase", "upzpath=/x/", "/x/"},
      {"SemicolonComment", "; UPZPath=/x/", std::nullopt},
      {"HashComment", "# UPZPath=/x/", std::nullopt},
  };
  for (const Row& row : rows) {
    WriteBytes(file, "[Preferences]\n" + row.line + "\n");
    TSettings settings(TSettingsPaths{file, {}});
    EXPECT_TRUE(settings.Readable()) << row.name;
    EXPECT_EQ(settings.Value("Preferences", "UPZPath"), row.value) << row.name;
    EXPECT_EQ(settings.Value("preferences", "UPZPath"), row.value) << row.name;  // groups in any case too
  }
}

// The system-wide files supply what the user's file lacks, first file first; writing goes
// to the user's file only.
TEST(SettingsFile, SystemWideDefaults) {
  QTemporaryDir dir;
  const TSettingsPaths paths{dir.filePath("home/Quellso.ini"), {dir.filePath("site/Quellso.ini"), dir.filePath("etc/Quellso.ini")}};
  const QByteArray site = "[Preferences]\nCOMPort=/dev/serial/by-id/usb-Site-port0\n";
  const QByteArray etc = "[Preferences]\nCOMPort=COM3\nUPZPath=/srv/orders/\n[Ports]\nCOM3=/dev/ttyUSB3\n";
  WriteBytes(paths.defaults[0], site);
  WriteBytes(paths.defaults[1], etc);
  WriteBytes(paths.file, "[Preferences]\nUnitSystem=Metric\n");

  TSettings settings(paths);
  EXPECT_EQ(settings.Value("Preferences", "UnitSystem"), "Metric");
  EXPECT_EQ(settings.Value("Preferences", "COMPort"), "/dev/serial/by-id/usb-Site-port0");
  EXPECT_EQ(settings.Value("Preferences", "UPZPath"), "/srv/orders/");
  EXPECT_EQ(settings.Value("Ports", "COM3"), "/dev/ttyUSB3");
  EXPECT_EQ(settings.Value("Ports", "COM1"), std::nullopt);

  settings.SetValue("Preferences", "UPZPath", "/home/tech/orders/");
  ASSERT_TRUE(settings.Save());
  EXPECT_EQ(ReadBytes(paths.file), "[Preferences]\nUnitSystem=Metric\nUPZPath=/home/tech/orders/\n");
  EXPECT_EQ(ReadBytes(paths.defaults[0]), site.toStdString());
  EXPECT_EQ(ReadBytes(paths.defaults[1]), etc.toStdString());
  EXPECT_EQ(TSettings(paths).Value("Preferences", "UPZPath"), "/home/tech/orders/");  // the user's wins

  // A defaults file that cannot be read supplies nothing.
  QFile::remove(paths.defaults[0]);
  QDir().mkpath(paths.defaults[0]);
  EXPECT_EQ(TSettings(paths).Value("Preferences", "COMPort"), "COM3");
}

TEST(SettingsFile, SavingCreatesTheFolderAndKeepsValuesToOneLine) {
  QTemporaryDir dir;
  const QString file = dir.filePath("new/Hollin Enterprises/Quellso.ini");
  TSettings settings(TSettingsPaths{file, {}});
  settings.SetValue("Preferences", "UPZPath", "/srv/a\nb\r\n[Ports]");
  ASSERT_TRUE(settings.Save());
  EXPECT_EQ(ReadBytes(file), "[Preferences]\nUPZPath=/srv/a b  [Ports]\n");
}

// A settings file that cannot be read, or is not text, is neither read nor written.
TEST(SettingsFile, AFileThatCannotBeReadIsLeftAlone) {
  QTemporaryDir dir;
  const QByteArray binary = QByteArray("[Preferences]\nCOMPort=COM3\n") + QByteArray("\x01\x02\x00", 3);
  const QByteArray notUtf8("[Preferences]\nUPZPath=/srv/\xff\xfe/\n");
  struct Row {
    const char* name;
    std::function<void(const QString&)> make;
    QString problem;
  };
  const Row rows[] = {
      {"Folder", [](const QString& path) { QDir().mkpath(path); }, "Is a directory"},
      {"Binary", [&](const QString& path) { WriteBytes(path, binary); }, "Not a text file"},
      {"NotUtf8", [&](const QString& path) { WriteBytes(path, notUtf8); }, "Not a text file"},
  };
  for (const Row& row : rows) {
    const QString file = dir.filePath(row.name);
    row.make(file);
    TSettings settings(TSettingsPaths{file, {}});
    EXPECT_FALSE(settings.Readable()) << row.name;
    EXPECT_EQ(settings.Problem(), row.problem) << row.name;
    EXPECT_EQ(settings.Value("Preferences", "COMPort"), std::nullopt) << row.name;
    settings.SetValue("Preferences", "COMPort", "COM1");
    const FileStatus saved = settings.Save();
    EXPECT_FALSE(saved) << row.name;
    EXPECT_EQ(QString::fromStdString(saved.reason), row.problem) << row.name;
  }
  EXPECT_EQ(ReadBytes(dir.filePath("Binary")), binary.toStdString());
  EXPECT_EQ(ReadBytes(dir.filePath("NotUtf8")), notUtf8.toStdString());
}

// Preferences > Ok with a home the account may not write: the folder of the settings file
// cannot be made, and that is what the user is told (not that the file does not exist).
TEST(SettingsFile, AFolderThatCannotBeMadeIsTheReason) {
  QTemporaryDir dir;
  const QString home = dir.filePath("home");
  ASSERT_TRUE(QDir().mkpath(home));
  ::chmod(dir.path().toLocal8Bit().constData(), 0755);
  ::chmod(home.toLocal8Bit().constData(), 0555);  // read-only
  const QString folder = home + "/.config/Hollin Enterprises";
  const auto save = [&] {
    TSettings settings(TSettingsPaths{folder + "/Quellso.ini", {}});
    settings.SetValue("Preferences", "COMPort", "COM1");
    const FileStatus saved = settings.Save();
    const std::string expected = "Cannot create the folder " + folder.toStdString() + ": Permission denied";
    if (!saved && saved.reason == expected) return 0;
    std::fprintf(stderr, "saved: %d, reason: \"%s\", expected \"%s\"\n", saved.ok ? 1 : 0, saved.reason.c_str(),
                 expected.c_str());
    return 1;
  };
  // Root may write anywhere: the account of a user then tries it.
  EXPECT_EQ(::geteuid() == 0 ? RunAsNobody(save) : save(), 0);
  EXPECT_FALSE(QFileInfo::exists(home + "/.config"));
}

}  // namespace

namespace {

// Check Panel Before and After Sending, as the file holds it.
struct CheckPanelCase {
  const char* name;
  const char* file;  // the settings file's text; nullptr: no file
  bool on;
};

const CheckPanelCase kCheckPanelCases[] = {
    {"NoFile", nullptr, true},
    {"NoKey", "[Preferences]\nCOMPort=COM1\n", true},
    {"One", "[Preferences]\nCheckPanel=1\n", true},
    {"Zero", "[Preferences]\nCheckPanel=0\n", false},
    {"ZeroAmongBlanks", "[preferences]\ncheckpanel =  0 \n", false},
    {"InAnotherGroup", "[Ports]\nCheckPanel=0\n", true},
};

class CheckPanelSetting : public testing::TestWithParam<CheckPanelCase> {};

TEST_P(CheckPanelSetting, ReadsAndKeepsTheOtherLines) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString path = dir.filePath("quellso.ini");
  const ScopedEnv settings("QUELLSO_SETTINGS", path);
  if (GetParam().file) WriteBytes(path, GetParam().file);
  EXPECT_EQ(StoredPreferences().checkPanel, GetParam().on);
  // Stored the other way round, then back: only the one line changes.
  ASSERT_TRUE(StoreCheckPanel(!GetParam().on));
  EXPECT_EQ(StoredPreferences().checkPanel, !GetParam().on);
  ASSERT_TRUE(StoreCheckPanel(GetParam().on));
  EXPECT_EQ(StoredPreferences().checkPanel, GetParam().on);
  if (GetParam().file && GetParam().on == (std::string(GetParam().file).find("=1") != std::string::npos)) {
    EXPECT_EQ(ReadBytes(path), GetParam().file);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, CheckPanelSetting, testing::ValuesIn(kCheckPanelCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
