#include <sys/stat.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

#include "app/mainwindow.h"
#include "files/datafile.h"
#include "settings/preferences.h"
#include "tests/app/memoryport.h"
#include "tests/files/filetestsupport.h"
#include "tests/support/guitest.h"
#include "ui/edits.h"
#include "ui/shellopen.h"

namespace {

const QString kCaption = QStringLiteral("Quell Panel Sales Order Entry");

// A data file as the Windows machines in the field write it.
const std::string kUnitFile =
    "[Model Information]\r\nModel Number=YKCBCBS3-CKHS\r\nCooler=CB\r\nCondenser=CB\r\nCompressor=S3\r\n"
    "Motor=M5\r\nRevision Level=H\r\nSpecial Code=0\r\nRefrigerant=R-134a\r\n"
    "[Evaporator Information]\r\nNozzle(In-Out)=2-3\r\n"
    "[Nameplate Information]\r\nMotor=M5\r\nPower(volts/ph/hz)=460/3/60\r\nStarter=Solid State Starter\r\n"
    "[Job Information]\r\nContract-Order Number=V-100\r\nJob Name=Plant 4\r\nJob Location=Dock 7\r\n";

bool SameRecord(const UnitDataRecord& a, const UnitDataRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class MainCommands : public GuiTest {
 protected:
  void SetUp() override {
    GuiTest::SetUp();
    SetShellOpenHook([this](const QString& path) { opened.push_back(path); });
    ASSERT_TRUE(dir.isValid());
    WriteBytes(Local("unit.dat"), kUnitFile);
  }
  void TearDown() override {
    SetShellOpenHook({});
    GuiTest::TearDown();
  }

  QString Path(const QString& name) const { return dir.filePath(name); }
  std::filesystem::path Local(const QString& name) const { return QFile::encodeName(Path(name)).toStdString(); }
  std::string Key(const QString& file, const char* section, const char* key) const {
    return GetProfileString(section, key, "<missing>", 100, Local(file));
  }

  void Open(const std::optional<QString>& answer) {
    fileAnswers.push_back(answer);
    window.mnuOpenDataFileClck();
  }
  void SaveAs(const std::optional<QString>& answer) {
    fileAnswers.push_back(answer);
    window.mnuSaveDataFileAsClick();
  }
  QString Title(const QString& name) const { return kCaption + " - " + name; }

  UnitDataRecord record{};
  TfrmMain window{record};
  QTemporaryDir dir;
  std::vector<QString> opened;
};

TEST_F(MainCommands, OpenShowsTheFileAndNamesItInTheTitle) {
  Open(Path("unit.dat"));
  EXPECT_EQ(fileDialogs, std::vector<QString>{"Open Data File"});
  EXPECT_EQ(window.CurrentDataFile(), Path("unit.dat"));
  EXPECT_EQ(window.windowTitle(), Title("unit.dat"));
  EXPECT_EQ(window.eJobName->Text(), "Plant 4");
  EXPECT_EQ(window.eModelNumber->Text(), "YKCBCBS3-CKHS");
  EXPECT_EQ(window.ePower->Text(), "460");
  EXPECT_EQ(window.eFrequency->Text(), "60");
  EXPECT_EQ(window.eEvNozzleOut->Text(), "3");
  EXPECT_EQ(window.eMotorType->Text(), "SSS");
  EXPECT_TRUE(messages.empty());
}

TEST_F(MainCommands, OpenThenCancelThenSaveWritesToTheFirstFile) {
  Open(Path("unit.dat"));
  Open(std::nullopt);
  EXPECT_EQ(window.CurrentDataFile(), Path("unit.dat"));
  EXPECT_EQ(window.windowTitle(), Title("unit.dat"));
  EXPECT_EQ(window.eJobName->Text(), "Plant 4");

  window.eJobName->SetText("Plant 5");
  window.mnuSaveDataFileClick();
  EXPECT_EQ(fileDialogs.size(), 2u);  // the save asked for nothing
  EXPECT_EQ(Key("unit.dat", "Job Information", "Job Name"), "Plant 5");
  EXPECT_EQ(window.windowTitle(), Title("unit.dat"));
}

TEST_F(MainCommands, OpenCloseSaveWritesAnEmptyRecordToANewFile) {
  Open(Path("unit.dat"));
  window.mnuCloseClick();
  EXPECT_EQ(window.CurrentDataFile(), "");
  EXPECT_EQ(window.windowTitle(), kCaption);
  EXPECT_EQ(window.eJobName->Text(), "");

  fileAnswers.push_back(Path("empty.dat"));
  window.mnuSaveDataFileClick();
  EXPECT_EQ(fileDialogs, (std::vector<QString>{"Open Data File", "Save Data File"}));
  EXPECT_EQ(window.CurrentDataFile(), Path("empty.dat"));
  EXPECT_EQ(window.windowTitle(), Title("empty.dat"));
  for (const DataFileKey& key : kDataFileKeys) {
    std::string expected;
    if (key.key == "Special Code") expected = "0";
    if (key.key == "Starter") expected = "Solid State Starter";  // no collect touches it
    if (key.kind == DataFileKey::Kind::Nozzle) expected = "-";
    if (key.kind == DataFileKey::Kind::Power) expected = "//";
    EXPECT_EQ(Key("empty.dat", key.section.data(), std::string(key.key).c_str()), expected)
        << key.section << "/" << key.key;
  }
}

TEST_F(MainCommands, SaveWithoutAFileAsksForOne) {
  window.mnuSaveDataFileClick();
  EXPECT_EQ(fileDialogs, std::vector<QString>{"Save Data File"});
  EXPECT_EQ(window.CurrentDataFile(), "");
  EXPECT_EQ(window.windowTitle(), kCaption);
}

TEST_F(MainCommands, SaveAsTiesTheWindowToTheNewFile) {
  Open(Path("unit.dat"));
  window.eJobLocation->SetText("Dock 9");
  SaveAs(Path("copy.dat"));
  EXPECT_EQ(window.CurrentDataFile(), Path("copy.dat"));
  EXPECT_EQ(window.windowTitle(), Title("copy.dat"));
  EXPECT_EQ(Key("copy.dat", "Job Information", "Job Location"), "Dock 9");
  EXPECT_EQ(Key("unit.dat", "Job Information", "Job Location"), "Dock 7");
}

// Data files written on Windows: the euro sign, the dashes and the curly quotes of code page
// 1252 show as themselves and go back to a data file and to the panel as the same bytes.
TEST_F(MainCommands, WindowsTextGoesBackToTheFileAndThePanelAsTheSameBytes) {
  const std::string name = "Caf\xE9 \x80" "5\x96" "6";  // Café €5–6
  const std::string location = "\x93" "Dock\x94 \x85";  // “Dock” …
  WriteBytes(Local("windows.dat"), "[Job Information]\r\nJob Name=" + name + "\r\nJob Location=" + location + "\r\n");
  MemoryPort port;
  UnitDataRecord own{};
  TPanelLink link{own};
  TfrmMain sender{own, link};
  link.SetPort(&port);
  AnswerLengthQuery(sender, port, 12);

  fileAnswers = {Path("windows.dat"), Path("copy.dat")};
  sender.mnuOpenDataFileClck();
  EXPECT_EQ(sender.eJobName->Text(), QStringLiteral("Caf\u00E9 \u20AC5\u20136"));
  EXPECT_EQ(sender.eJobLocation->Text(), QStringLiteral("\u201CDock\u201D \u2026"));
  sender.mnuSaveDataFileAsClick();
  EXPECT_EQ(Key("copy.dat", "Job Information", "Job Name"), name);
  EXPECT_EQ(Key("copy.dat", "Job Information", "Job Location"), location);

  sender.cmdTxClick();  // answered Yes
  Bytes expected = {kTextData, 12};
  expected.insert(expected.end(), name.begin(), name.end());
  expected.resize(2 + 12, ' ');
  EXPECT_EQ(port.Written(2), expected);
  link.SetPort(nullptr);
}

// Help > Release Notes looks for "Readme.txt" in the folder of the file chosen last in any
// file dialog.
struct ChosenFileCase {
  const char* name;
  std::function<void(TfrmMain&)> choose;  // shows the dialog, which is answered with the file
  friend void PrintTo(const ChosenFileCase& c, std::ostream* out) { *out << c.name; }
};

class ReleaseNotesBesideTheFile : public MainCommands, public testing::WithParamInterface<ChosenFileCase> {};

TEST_P(ReleaseNotesBesideTheFile, AfterTheDialogMovedTheCurrentDirectory) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("elsewhere") && QDir(dir.path()).mkpath("orders"));
  ASSERT_TRUE(QDir::setCurrent(Path("elsewhere")));
  WriteBytes(Local("orders/Readme.txt"), "notes\r\n");
  WriteBytes(Local("orders/unit.dat"), kUnitFile);
  fileAnswers.push_back(Path("orders/unit.dat"));
  GetParam().choose(window);
  ASSERT_TRUE(fileAnswers.empty());
  window.mnuReleaseNotesClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("orders/Readme.txt")});
}

INSTANTIATE_TEST_SUITE_P(
    MainCommands, ReleaseNotesBesideTheFile,
    testing::Values(ChosenFileCase{"OpenDataFile", [](TfrmMain& w) { w.mnuOpenDataFileClck(); }},
                    ChosenFileCase{"SaveDataFileAs", [](TfrmMain& w) { w.mnuSaveDataFileAsClick(); }},
                    ChosenFileCase{"OpenEncryptedDataFile", [](TfrmMain& w) { w.mnuOpenEncryptedDataFileClick(); }},
                    ChosenFileCase{"PreferencesArchiveFolder",
                                   [](TfrmMain&) {
                                     TfrmPreferences preferences;
                                     preferences.cmdUpzPathClick();
                                   }}),
    [](const testing::TestParamInfo<ChosenFileCase>& info) { return std::string(info.param.name); });

TEST_F(MainCommands, EditDataOnMakesEveryFieldEditableAndOffOnlyThree) {
  window.mnuEditData->trigger();
  EXPECT_TRUE(window.mnuEditData->isChecked());
  for (int slot = 1; slot <= 41; ++slot) EXPECT_FALSE(window.SlotEdit(slot)->ReadOnly()) << slot;

  window.mnuEditData->trigger();
  EXPECT_FALSE(window.mnuEditData->isChecked());
  for (int slot = 1; slot <= 41; ++slot) {
    TCustomEdit* edit = window.SlotEdit(slot);
    const bool editable =
        edit == window.eCommissionDate || edit == window.ePanelSerialNumber || edit == window.eChillerSerialNumber;
    EXPECT_EQ(edit->ReadOnly(), !editable) << slot;
  }
}

TEST_F(MainCommands, OpenAfterTypingADateShowsTheRecordsDateAgain) {
  record.SetCommissionDate("01 JAN 2000");
  window.ShowRecord();
  window.eCommissionDate->SetText("07 DEC 1999");
  Open(Path("unit.dat"));
  EXPECT_EQ(window.eCommissionDate->Text(), "01 JAN 2000");
}

TEST_F(MainCommands, ClearScreenKeepsTheTitleAndThePath) {
  Open(Path("unit.dat"));
  window.mnuClearScreenClick();
  EXPECT_EQ(window.windowTitle(), Title("unit.dat"));
  EXPECT_EQ(window.CurrentDataFile(), Path("unit.dat"));
  for (int slot = 2; slot <= 41; ++slot) EXPECT_EQ(window.SlotEdit(slot)->Text(), "") << slot;
  EXPECT_EQ(window.eCommissionDate->Text().trimmed(), "");
  EXPECT_STREQ(record.Starter(), "Solid State Starter");
  EXPECT_STREQ(record.Cooler(), "CB");
}

TEST_F(MainCommands, PathThatNamesNoFileReadsAsEmpty) {
  Open(Path("unit.dat"));
  Open(Path("new.dat"));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(window.CurrentDataFile(), Path("new.dat"));
  EXPECT_EQ(window.windowTitle(), Title("new.dat"));
  EXPECT_EQ(window.eJobName->Text(), "");
  EXPECT_EQ(window.eMotorType->Text(), "EM");
  EXPECT_FALSE(QFile::exists(Path("new.dat")));
}

TEST_F(MainCommands, FileThatCannotBeReadChangesNothing) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
  ASSERT_EQ(::mkfifo(Local("pipe.dat").c_str(), 0600), 0);
  Open(Path("unit.dat"));
  window.ePanelSerialNumber->SetText("typed");
  const UnitDataRecord before = record;

  struct Case {
    QString name;
    QString reason;
  };
  for (const Case& c : {Case{"folder.dat", "Is a directory."}, Case{"pipe.dat", "Not a regular file."}}) {
    messages.clear();
    Open(Path(c.name));
    ASSERT_EQ(messages.size(), 1u) << c.name.toStdString();
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_TRUE(messages[0].text.contains(Path(c.name))) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(c.reason)) << messages[0].text.toStdString();
    EXPECT_TRUE(SameRecord(record, before)) << c.name.toStdString();
    EXPECT_EQ(window.CurrentDataFile(), Path("unit.dat"));
    EXPECT_EQ(window.windowTitle(), Title("unit.dat"));
    EXPECT_EQ(window.eJobName->Text(), "Plant 4");
    EXPECT_EQ(window.ePanelSerialNumber->Text(), "typed");
  }
}

// Open after a save that did not end (killed while writing a hard-linked file in place):
// the window shows the content from before that save and says it was put back; when the
// file was changed since, it shows the file as it is and names the backup kept beside it.
TEST_F(MainCommands, OpenAfterASaveThatDidNotEndSaysWhatWasDone) {
  std::string longer = kUnitFile;
  longer.replace(longer.find("Dock 7"), 6, std::string(2000, 'x'));  // the save makes the file shorter
  struct Case {
    bool changedSince;
    QString job;
    QString told;
  };
  for (const Case& c : {Case{false, "Plant 4", "was put back from"},
                        Case{true, "By Hand", "was changed after a save of it did not end"}}) {
    std::filesystem::remove(Local("linked.dat"));
    std::filesystem::remove(Local("unit.dat.quellso-backup"));
    WriteBytes(Local("unit.dat"), longer);
    std::filesystem::create_hard_link(Local("unit.dat"), Local("linked.dat"));
    UnitDataRecord saved{};
    saved.SetJobName("Killed");
    ASSERT_TRUE(KilledAtStep("truncate in place", false, [&] { WriteDataFile(saved, Local("unit.dat")); }));
    if (c.changedSince) {
      std::string byHand = kUnitFile;
      WriteBytes(Local("unit.dat"), byHand.replace(byHand.find("Plant 4"), 7, "By Hand"));
    }
    messages.clear();
    Open(Path("unit.dat"));
    ASSERT_EQ(messages.size(), 1u) << c.job.toStdString();
    EXPECT_EQ(messages[0].caption, "Warning");
    EXPECT_TRUE(messages[0].text.contains(c.told)) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(Path("unit.dat.quellso-backup"))) << messages[0].text.toStdString();
    EXPECT_EQ(window.CurrentDataFile(), Path("unit.dat"));
    EXPECT_EQ(window.eJobName->Text(), c.job);
    EXPECT_EQ(QFile::exists(Path("unit.dat.quellso-backup")), c.changedSince);
  }
}

// A save that fails shows an Error naming the file and the reason, and changes nothing:
// the old file, the record, the current path and the title stay as they were, and the
// window still shows what was typed.
class FailedSave : public MainCommands {
 protected:
  void SetUp() override {
    MainCommands::SetUp();
    Open(Path("unit.dat"));
    before = record;
    window.eJobName->SetText("Typed Job");
    messages.clear();
  }
  void ExpectNothingChanged(const QString& file, const QString& reason) {
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].caption, "Error");
    EXPECT_TRUE(messages[0].text.contains(file)) << messages[0].text.toStdString();
    EXPECT_TRUE(messages[0].text.contains(reason)) << messages[0].text.toStdString();
    EXPECT_TRUE(SameRecord(record, before));
    EXPECT_EQ(window.CurrentDataFile(), Path("unit.dat"));
    EXPECT_EQ(window.windowTitle(), Title("unit.dat"));
    EXPECT_EQ(window.eJobName->Text(), "Typed Job");
    EXPECT_EQ(ReadBytes(Local("unit.dat")), kUnitFile);
  }
  UnitDataRecord before{};
};

TEST_F(FailedSave, SaveThatRunsOutOfRoom) {
  {
    FileSizeLimit limit(kUnitFile.size());
    window.mnuSaveDataFileClick();
  }
  ExpectNothingChanged(Path("unit.dat"), "File too large.");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"unit.dat"});
}

TEST_F(FailedSave, SaveAsOntoAFolder) {
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.dat"));
  SaveAs(Path("folder.dat"));
  ExpectNothingChanged(Path("folder.dat"), "Is a directory.");
}

TEST_F(FailedSave, SaveAsIntoAFolderThatDoesNotExist) {
  SaveAs(Path("gone/unit.dat"));
  ExpectNothingChanged(Path("gone/unit.dat"), "No such file or directory.");
}

TEST_F(FailedSave, SaveAsUnderAFile) {
  SaveAs(Path("unit.dat/unit.dat"));
  ExpectNothingChanged(Path("unit.dat/unit.dat"), "Not a directory.");
}

TEST_F(MainCommands, ReleaseNotesOpensTheReadmeOfTheCurrentFolder) {
  const QString saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  window.mnuReleaseNotesClick();
  EXPECT_TRUE(opened.empty());  // no notes anywhere: nothing is opened

  WriteBytes(Local("Readme.txt"), "notes\r\n");
  window.mnuReleaseNotesClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("Readme.txt")});
  QDir::setCurrent(saved);
}

// The installed copy lives in share/quellso: a package must not need share/doc to work, and
// a copy there alone is not opened.
TEST_F(MainCommands, ReleaseNotesFallBackToTheInstalledCopy) {
  const QString saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(dir.path()));
  const QString doc = QCoreApplication::applicationDirPath() + "/../share/doc/quellso";
  ASSERT_TRUE(QDir().mkpath(doc));
  WriteBytes(QFile::encodeName(doc + "/Readme.txt").toStdString(), "notes\r\n");
  window.mnuReleaseNotesClick();
  EXPECT_TRUE(opened.empty());

  const QString installed = QCoreApplication::applicationDirPath() + "/../share/quellso";
  ASSERT_TRUE(QDir().mkpath(installed));
  WriteBytes(QFile::encodeName(installed + "/Readme.txt").toStdString(), "notes\r\n");
  window.mnuReleaseNotesClick();
  EXPECT_EQ(opened, std::vector<QString>{QDir::cleanPath(installed + "/Readme.txt")});

  // The current folder's copy still comes first.
  opened.clear();
  WriteBytes(Local("Readme.txt"), "notes\r\n");
  window.mnuReleaseNotesClick();
  EXPECT_EQ(opened, std::vector<QString>{Path("Readme.txt")});
  QDir(QCoreApplication::applicationDirPath() + "/../share").removeRecursively();
  QDir::setCurrent(saved);
}

}  // namespace
