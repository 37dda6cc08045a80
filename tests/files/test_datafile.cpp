#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "files/datafile.h"
#include "tests/files/filetestsupport.h"

namespace {

using M = UnitMember;

// A data file of one key, in the CRLF form Windows writes.
ProfileDocument OneKey(const std::string& section, const std::string& key, const std::string& value) {
  return ProfileDocument("[" + section + "]\r\n" + key + "=" + value + "\r\n");
}

UnitDataRecord Read(const ProfileDocument& file) {
  UnitDataRecord record{};
  ReadDataFile(record, file);
  return record;
}

// ---- read widths ----

struct WidthCase {
  const char* name;
  std::string section;
  std::string key;
  UnitMember member;
  std::size_t kept;  // characters kept of a long value: read width - 1
};

void PrintTo(const WidthCase& c, std::ostream* os) { *os << c.name; }

class DataFileWidth : public ::testing::TestWithParam<WidthCase> {};

TEST_P(DataFileWidth, LongValueKeepsReadWidthLessOne) {
  const WidthCase& c = GetParam();
  std::string value;
  for (int i = 0; i < 100; ++i) value += static_cast<char>('A' + i % 26);
  const UnitDataRecord record = Read(OneKey(c.section, c.key, value));
  EXPECT_EQ(std::string(record.Text(c.member)), value.substr(0, c.kept));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, DataFileWidth,
    ::testing::Values(WidthCase{"ModelNumber", "Model Information", "Model Number", M::ModelNumber, 69},
                      WidthCase{"Cooler", "Model Information", "Cooler", M::Cooler, 2},
                      WidthCase{"Condenser", "Model Information", "Condenser", M::Condenser, 2},
                      WidthCase{"Compressor", "Model Information", "Compressor", M::Compressor, 2},
                      WidthCase{"RevisionLevel", "Model Information", "Revision Level", M::RevisionLevel, 1},
                      WidthCase{"SpecialCode", "Model Information", "Special Code", M::SpecialCode, 1},
                      WidthCase{"Refrigerant", "Model Information", "Refrigerant", M::Refrigerant, 29},
                      WidthCase{"Tons", "Design Load Conditions", "Tons", M::Tons, 29},
                      WidthCase{"GearCode", "Design Load Conditions", "Gear Code", M::GearCode, 29},
                      WidthCase{"KilowattsInput", "Design Load Conditions", "KW Input", M::KilowattsInput, 29},
                      WidthCase{"BrinePercent", "Design Load Conditions", "Brine Percent", M::BrinePercent, 29},
                      WidthCase{"EvPasses", "Evaporator Information", "Passes", M::EvPasses, 29},
                      WidthCase{"EvDesignWorkingPressure", "Evaporator Information",
                                "Design Working Pressure(psig)", M::EvDesignWorkingPressure, 29},
                      WidthCase{"EvTubeNo", "Evaporator Information", "Tube No", M::EvTubeNo, 29},
                      WidthCase{"EvReturnTemp", "Evaporator Information", "EWT(degF)", M::EvReturnTemp, 29},
                      WidthCase{"EvLeavingTemp", "Evaporator Information", "LWT(degF)", M::EvLeavingTemp, 29},
                      WidthCase{"EvapLiquidType", "Evaporator Information", "Fluid", M::EvapLiquidType, 29},
                      WidthCase{"EvGpm", "Evaporator Information", "Flow Rate(gpm)", M::EvGpm, 29},
                      WidthCase{"EvFoulingFactor", "Evaporator Information", "Fouling Factor", M::EvFoulingFactor, 29},
                      WidthCase{"EvPressureDrop", "Evaporator Information", "Pressure Drop(ft)", M::EvPressureDrop, 29},
                      WidthCase{"CdPasses", "Condenser Information", "Passes", M::CdPasses, 29},
                      WidthCase{"CdDesignWorkingPressure", "Condenser Information", "Design Working Pressure(psig)",
                                M::CdDesignWorkingPressure, 29},
                      WidthCase{"CdTubeNo", "Condenser Information", "Tube No", M::CdTubeNo, 29},
                      WidthCase{"CdReturnTemp", "Condenser Information", "EWT(degF)", M::CdReturnTemp, 29},
                      WidthCase{"CdLeavingTemp", "Condenser Information", "LWT(degF)", M::CdLeavingTemp, 29},
                      WidthCase{"CdGpm", "Condenser Information", "Flow Rate(gpm)", M::CdGpm, 29},
                      WidthCase{"CdFoulingFactor", "Condenser Information", "Fouling Factor", M::CdFoulingFactor, 29},
                      WidthCase{"CdPressureDrop", "Condenser Information", "Pressure Drop(ft)", M::CdPressureDrop, 29},
                      WidthCase{"MotorCode", "Nameplate Information", "Motor", M::MotorCode, 29},
                      WidthCase{"FullLoadAmps", "Nameplate Information", "Full Load Amps", M::FullLoadAmps, 29},
                      WidthCase{"LockedRotorAmps", "Nameplate Information", "Locked Rotor Amps", M::LockedRotorAmps,
                                29},
                      WidthCase{"InrushAmps", "Nameplate Information", "Inrush Amps", M::InrushAmps, 29},
                      WidthCase{"Starter", "Nameplate Information", "Starter", M::Starter, 20},
                      WidthCase{"MotorType", "Nameplate Information", "StarterType", M::MotorType, 29},
                      WidthCase{"VarnOrderNumber", "Job Information", "Contract-Order Number", M::VarnOrderNumber, 29},
                      WidthCase{"JobName", "Job Information", "Job Name", M::JobName, 29},
                      WidthCase{"JobLocation", "Job Information", "Job Location", M::JobLocation, 29}),
    [](const ::testing::TestParamInfo<WidthCase>& info) { return std::string(info.param.name); });

// ---- composite keys ----

struct NozzleCase {
  const char* name;
  std::string value;
  std::string in, out;
};

void PrintTo(const NozzleCase& c, std::ostream* os) { *os << c.name; }

class DataFileNozzle : public ::testing::TestWithParam<NozzleCase> {};

TEST_P(DataFileNozzle, SplitsAtTheFirstDashOfThreeCharacters) {
  const NozzleCase& c = GetParam();
  for (const auto& [section, in, out] : {std::tuple{"Evaporator Information", M::EvNozzleIn, M::EvNozzleOut},
                                         std::tuple{"Condenser Information", M::CdNozzleIn, M::CdNozzleOut}}) {
    const UnitDataRecord record = Read(OneKey(section, "Nozzle(In-Out)", c.value));
    EXPECT_EQ(std::string(record.Text(in)), c.in) << section;
    EXPECT_EQ(std::string(record.Text(out)), c.out) << section;
  }
}

INSTANTIATE_TEST_SUITE_P(Values, DataFileNozzle,
                         ::testing::Values(NozzleCase{"InAndOut", "2-3", "2", "3"},
                                           NozzleCase{"NoDashIsAllOut", "23", "", "23"},
                                           NozzleCase{"CutToThreeCharacters", "12-34", "12", ""},
                                           NozzleCase{"LoneDash", "-", "", ""},
                                           NozzleCase{"Empty", "", "", ""},
                                           NozzleCase{"LeadingDash", "-12", "", "12"},
                                           NozzleCase{"FirstDashSplits", "1-2-3", "1", "2"}),
                         [](const ::testing::TestParamInfo<NozzleCase>& info) { return std::string(info.param.name); });

struct PowerCase {
  const char* name;
  std::string value;
  std::string power, phases, frequency;
};

void PrintTo(const PowerCase& c, std::ostream* os) { *os << c.name; }

class DataFilePower : public ::testing::TestWithParam<PowerCase> {};

TEST_P(DataFilePower, SplitsAtTheFirstAndLastSlash) {
  const PowerCase& c = GetParam();
  const UnitDataRecord record = Read(OneKey("Nameplate Information", "Power(volts/ph/hz)", c.value));
  EXPECT_STREQ(record.Power(), c.power.c_str());
  EXPECT_STREQ(record.Phases(), c.phases.c_str());
  EXPECT_STREQ(record.Frequency(), c.frequency.c_str());
}

INSTANTIATE_TEST_SUITE_P(Values, DataFilePower,
                         ::testing::Values(PowerCase{"ThreeParts", "460/3/60", "460", "3", "60"},
                                           PowerCase{"NoSlashIsAllFrequency", "460", "", "", "460"},
                                           PowerCase{"OneSlash", "460/3", "460", "", "3"},
                                           PowerCase{"EmptyPhases", "460//60", "460", "", "60"},
                                           PowerCase{"OnlySlashes", "//", "", "", ""},
                                           PowerCase{"MiddleTakesInnerSlashes", "1/2/3/4", "1", "2/3", "4"},
                                           PowerCase{"CutToNineteenCharacters", "4600000/3333333/600000", "4600000",
                                                     "3333333", "600"}),
                         [](const ::testing::TestParamInfo<PowerCase>& info) { return std::string(info.param.name); });

// ---- starter type ----

struct StarterCase {
  const char* name;
  std::string lines;  // of [Nameplate Information]
  std::string motorType;
};

void PrintTo(const StarterCase& c, std::ostream* os) { *os << c.name; }

class DataFileStarter : public ::testing::TestWithParam<StarterCase> {};

TEST_P(DataFileStarter, DerivedFromStarterWhenTheFileGivesNone) {
  const StarterCase& c = GetParam();
  EXPECT_STREQ(Read(ProfileDocument("[Nameplate Information]\r\n" + c.lines)).MotorType(), c.motorType.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Values, DataFileStarter,
    ::testing::Values(StarterCase{"VariableSpeedDrive", "Starter=Variable Speed Drive\r\n", "VSD"},
                      StarterCase{"SolidStateStarter", "Starter=Solid State Starter\r\n", "SSS"},
                      StarterCase{"None", "Starter=None\r\n", "None"},
                      StarterCase{"LowerCaseIsOther", "Starter=variable speed drive\r\n", "EM"},
                      StarterCase{"OtherText", "Starter=Across the Line\r\n", "EM"},
                      StarterCase{"EmptyStarter", "Starter=\r\n", "EM"},
                      StarterCase{"NoStarter", "", "EM"},
                      StarterCase{"CutToTwentyCharacters", "Starter=Variable Speed Drives\r\n", "VSD"},
                      StarterCase{"EmptyStarterTypeDerives", "StarterType=\r\nStarter=None\r\n", "None"},
                      StarterCase{"StarterTypeWins", "StarterType=SSS\r\nStarter=None\r\n", "SSS"}),
    [](const ::testing::TestParamInfo<StarterCase>& info) { return std::string(info.param.name); });

// ---- whole files ----

// A record with a distinct value in every member a data file carries.
UnitDataRecord FullRecord() {
  UnitDataRecord record{};
  record.SetModelNumber("YKCBCBS3-CKHS");
  record.StoreText(M::Cooler, "C1");
  record.StoreText(M::Condenser, "D2");
  record.StoreText(M::Compressor, "P3");
  record.StoreText(M::RevisionLevel, "R");
  record.StoreText(M::SpecialCode, "S");
  record.StoreText(M::Starter, "Solid State Starter");
  int n = 0;
  for (const UnitMemberInfo& info : kUnitMembers) {
    if (info.slot == 0 || info.member == M::ModelNumber || info.member == M::CommissionDate) continue;
    record.SetSlot(info.slot, std::string(info.name).substr(0, 6) + "-" + std::to_string(++n));
  }
  // The composites within what reading sees of them.
  record.SetEvNozzleIn("1");
  record.SetEvNozzleOut("2");
  record.SetCdNozzleIn("3");
  record.SetCdNozzleOut("4");
  record.SetPower("460");
  record.SetPhases("3");
  record.SetFrequency("60");
  record.SetMotorType("VSD");
  return record;
}

TEST(DataFile, WritesEveryKeyInOrderIntoAnEmptyFile) {
  UnitDataRecord record{};
  record.StoreText(M::MotorCode, "M7");
  ProfileDocument file;
  WriteDataFile(record, file);
  EXPECT_EQ(file.Bytes(),
            "[Model Information]\r\nModel Number=\r\nCooler=\r\nCondenser=\r\nCompressor=\r\nMotor=M7\r\n"
            "Revision Level=\r\nSpecial Code=\r\nRefrigerant=\r\n"
            "[Design Load Conditions]\r\nTons=\r\nGear Code=\r\nKW Input=\r\nBrine Percent=\r\n"
            "[Evaporator Information]\r\nPasses=\r\nDesign Working Pressure(psig)=\r\nTube No=\r\n"
            "Nozzle(In-Out)=-\r\nEWT(degF)=\r\nLWT(degF)=\r\nFluid=\r\nFlow Rate(gpm)=\r\nFouling Factor=\r\n"
            "Pressure Drop(ft)=\r\n"
            "[Condenser Information]\r\nPasses=\r\nDesign Working Pressure(psig)=\r\nTube No=\r\n"
            "Nozzle(In-Out)=-\r\nEWT(degF)=\r\nLWT(degF)=\r\nFlow Rate(gpm)=\r\nFouling Factor=\r\n"
            "Pressure Drop(ft)=\r\n"
            "[Nameplate Information]\r\nMotor=M7\r\nPower(volts/ph/hz)=//\r\nFull Load Amps=\r\n"
            "Locked Rotor Amps=\r\nInrush Amps=\r\nStarter=\r\nStarterType=\r\n"
            "[Job Information]\r\nContract-Order Number=\r\nJob Name=\r\nJob Location=\r\n");
}

TEST(DataFile, WritesMembersUnderTheirKeys) {
  const UnitDataRecord record = FullRecord();
  ProfileDocument file;
  WriteDataFile(record, file);
  EXPECT_EQ(file.Read("Evaporator Information", "EWT(degF)", "", 100), record.EvReturnTemp());
  EXPECT_EQ(file.Read("Evaporator Information", "LWT(degF)", "", 100), record.EvLeavingTemp());
  EXPECT_EQ(file.Read("Condenser Information", "EWT(degF)", "", 100), record.CdReturnTemp());
  EXPECT_EQ(file.Read("Model Information", "Motor", "", 100), record.MotorCode());
  EXPECT_EQ(file.Read("Nameplate Information", "Motor", "", 100), record.MotorCode());
  EXPECT_EQ(file.Read("Evaporator Information", "Nozzle(In-Out)", "", 100), "1-2");
  EXPECT_EQ(file.Read("Condenser Information", "Nozzle(In-Out)", "", 100), "3-4");
  EXPECT_EQ(file.Read("Nameplate Information", "Power(volts/ph/hz)", "", 100), "460/3/60");
  EXPECT_EQ(file.Read("Job Information", "Contract-Order Number", "", 100), record.VarnOrderNumber());
}

// The panel pads its values with spaces to its lengths: the composite keys are written
// without the padding of each part, so that they fit their read widths and split back into
// the same parts.  Only trailing spaces go.
struct CompositeCase {
  const char* name;
  std::string in, out;                // the nozzle members
  std::string power, phases, frequency;
  std::string nozzleLine, powerLine;  // as written
  std::string readIn, readOut, readPower, readPhases, readFrequency;
};

void PrintTo(const CompositeCase& c, std::ostream* os) { *os << c.name; }

class DataFileComposite : public ::testing::TestWithParam<CompositeCase> {};

TEST_P(DataFileComposite, IsWrittenWithoutThePanelsPadding) {
  const CompositeCase& c = GetParam();
  UnitDataRecord record{};
  record.SetEvNozzleIn(c.in);
  record.SetEvNozzleOut(c.out);
  record.SetPower(c.power);
  record.SetPhases(c.phases);
  record.SetFrequency(c.frequency);
  ProfileDocument file;
  WriteDataFile(record, file);
  EXPECT_NE(file.Bytes().find("\r\nNozzle(In-Out)=" + c.nozzleLine + "\r\n"), std::string::npos) << file.Bytes();
  EXPECT_NE(file.Bytes().find("\r\nPower(volts/ph/hz)=" + c.powerLine + "\r\n"), std::string::npos) << file.Bytes();
  const UnitDataRecord back = Read(file);
  EXPECT_STREQ(back.EvNozzleIn(), c.readIn.c_str());
  EXPECT_STREQ(back.EvNozzleOut(), c.readOut.c_str());
  EXPECT_STREQ(back.Power(), c.readPower.c_str());
  EXPECT_STREQ(back.Phases(), c.readPhases.c_str());
  EXPECT_STREQ(back.Frequency(), c.readFrequency.c_str());
}

const std::string k16 = std::string(16, ' ');

INSTANTIATE_TEST_SUITE_P(
    Values, DataFileComposite,
    ::testing::Values(
        CompositeCase{"PaddedToSixteen", "C" + std::string(15, ' '), "D" + std::string(15, ' '),
                      "460" + std::string(13, ' '), "3" + std::string(15, ' '), "60" + std::string(14, ' '), "C-D",
                      "460/3/60", "C", "D", "460", "3", "60"},
        CompositeCase{"AllBlank", k16, k16, k16, k16, k16, "-", "//", "", "", "", "", ""},
        CompositeCase{"Unpadded", "C", "D", "460", "3", "60", "C-D", "460/3/60", "C", "D", "460", "3", "60"},
        // Blanks inside a part, at its start, and tabs are the value's own.
        CompositeCase{"InnerBlanksAndTabsKept", "1\t", "", "4 6", " 3\t ", "60", "1\t-", "4 6/ 3\t/60", "1\t", "",
                      "4 6", " 3\t", "60"}),
    [](const ::testing::TestParamInfo<CompositeCase>& info) { return std::string(info.param.name); });

TEST(DataFile, WriteThenReadGivesEveryListedMemberBack) {
  const TempFolder folder;
  const UnitDataRecord written = FullRecord();
  ASSERT_TRUE(WriteDataFile(written, folder / "unit.dat"));

  UnitDataRecord read{};
  read.SetCommissionDate("07 DEC 1999");
  read.SetPanelSerialNumber("PANEL");
  read.SetChillerSerialNumber("CHILLER");
  read.StoreText(M::ModelPrefix, "MP");
  ASSERT_TRUE(ReadDataFile(read, folder / "unit.dat"));

  for (const UnitMemberInfo& info : kUnitMembers) {
    switch (info.member) {
      case M::CommissionDate:
      case M::ModelPrefix:
      case M::PanelSerialNumber:
      case M::ChillerSerialNumber:
        break;  // never in a data file: checked below
      default:
        EXPECT_STREQ(read.Text(info.member), written.Text(info.member)) << info.name;
    }
  }
  EXPECT_STREQ(read.CommissionDate(), "07 DEC 1999");
  EXPECT_EQ(read.PackedCommissionDate(), 99u | 12u << 8 | 7u << 16);
  EXPECT_STREQ(read.PanelSerialNumber(), "PANEL");
  EXPECT_STREQ(read.ChillerSerialNumber(), "CHILLER");
  EXPECT_STREQ(read.ModelPrefix(), "MP");  // reading the model number derives nothing
}

// A panel reply may carry any bytes.  Written as blanks, CR and LF inside a value can add no
// line, key or section: every value reads back as written, but for those bytes.
TEST(DataFile, LineBreaksInsideValuesAreWrittenAsBlanks) {
  const TempFolder folder;
  const auto path = folder / "unit.dat";
  UnitDataRecord written = FullRecord();
  written.SetModelNumber("YK\r\n[Job Information]\r\nJob Name=X\r\nJob Location=");
  const std::vector<std::string> breaks = {"\r\n", "\n", "\r", "\n\r", "\r\r\n\n"};
  std::size_t n = 0;
  for (const DataFileKey& key : kDataFileKeys) {
    if (key.kind != DataFileKey::Kind::Plain || key.first == M::ModelNumber) continue;
    const std::string text = written.Text(key.first);
    if (text.size() < 2) continue;  // no room for a break inside
    written.StoreText(key.first, text.substr(0, 1) + breaks[n++ % breaks.size()] + text.substr(1));
  }
  ASSERT_TRUE(WriteDataFile(written, path));
  ASSERT_TRUE(WriteDataFile(written, path));  // and again over the file it made
  UnitDataRecord read{};
  ASSERT_TRUE(ReadDataFile(read, path));
  for (const DataFileKey& key : kDataFileKeys) {
    if (key.kind != DataFileKey::Kind::Plain) continue;
    // The value as written, its line breaks as blanks, and without the blanks around it
    // that reading drops.
    std::string expected = written.Text(key.first);
    std::replace_if(expected.begin(), expected.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    expected.erase(0, expected.find_first_not_of(' '));
    expected.erase(expected.find_last_not_of(' ') + 1);
    EXPECT_EQ(read.Text(key.first), expected) << key.section << "/" << key.key;
  }
  EXPECT_STREQ(read.ModelNumber(), "YK  [Job Information]  Job Name=X  Job Location=");
  // Six sections, each once, and 41 key lines.
  const std::string bytes = ReadBytes(path);
  std::size_t lines = 0, sections = 0;
  for (std::size_t at = 0; at < bytes.size(); at = bytes.find("\r\n", at) + 2) {
    ++lines;
    if (bytes[at] == '[') ++sections;
  }
  EXPECT_EQ(sections, 6u);
  EXPECT_EQ(lines, 6u + 41u);
}

TEST(DataFile, MotorOfModelInformationIsNeverRead) {
  UnitDataRecord record{};
  record.SetMotorCode("old");
  ReadDataFile(record, OneKey("Model Information", "Motor", "M1"));
  EXPECT_STREQ(record.MotorCode(), "");
}

TEST(DataFile, MissingFileEmptiesEveryListedMember) {
  const TempFolder folder;
  UnitDataRecord record = FullRecord();
  record.SetCommissionDate("07 DEC 1999");
  record.SetPanelSerialNumber("PANEL");
  ASSERT_TRUE(ReadDataFile(record, folder / "missing.dat"));
  for (const DataFileKey& key : kDataFileKeys) {
    if (key.kind == DataFileKey::Kind::WriteOnly || key.first == M::MotorType) continue;
    EXPECT_STREQ(record.Text(key.first), "") << key.key;
    EXPECT_STREQ(record.Text(key.second), "") << key.key;
  }
  EXPECT_STREQ(record.Phases(), "");
  EXPECT_STREQ(record.Frequency(), "");
  EXPECT_STREQ(record.MotorType(), "EM");
  EXPECT_STREQ(record.CommissionDate(), "07 DEC 1999");
  EXPECT_STREQ(record.PanelSerialNumber(), "PANEL");
}

TEST(DataFile, WriteIntoAFileKeepsItsOtherSectionsAndKeys) {
  const TempFolder folder;
  const auto path = folder / "unit.dat";
  WriteBytes(path,
             "; written by the factory\r\n"
             "[Order]\r\nNumber=12345\r\n\r\n"
             "[Job Information]\r\nJOB NAME = Old Job \r\nEngineer=Ann\r\n; end of job\r\n\r\n"
             "[Nameplate Information]\nMotor=Old\nNote=LF lines\n");
  UnitDataRecord record{};
  record.SetJobName("New Job");
  record.SetJobLocation("Dock 4");
  record.SetMotorCode("M2");
  ASSERT_TRUE(WriteDataFile(record, path));
  const std::string bytes = ReadBytes(path);

  EXPECT_EQ(bytes.find("; written by the factory\r\n[Order]\r\nNumber=12345\r\n\r\n[Job Information]\r\n"), 0u);
  EXPECT_NE(bytes.find("[Job Information]\r\nJOB NAME = New Job \r\nEngineer=Ann\r\nContract-Order Number=\r\n"
                       "Job Location=Dock 4\r\n; end of job\r\n\r\n[Nameplate Information]\nMotor=M2\nNote=LF lines\n"),
            std::string::npos);
  EXPECT_EQ(GetProfileString("Order", "Number", "", 30, path), "12345");
  EXPECT_EQ(GetProfileString("Nameplate Information", "Note", "", 30, path), "LF lines");

  // Written twice, the file stays the same: every key is updated in place.
  ASSERT_TRUE(WriteDataFile(record, path));
  EXPECT_EQ(ReadBytes(path), bytes);
}

TEST(DataFile, FileThatCannotBeReadLeavesTheRecord) {
  const TempFolder folder;
  std::filesystem::create_directory(folder / "folder.dat");
  UnitDataRecord record = FullRecord();
  const UnitDataRecord before = record;
  const FileStatus status = ReadDataFile(record, folder / "folder.dat");
  EXPECT_FALSE(status);
  EXPECT_EQ(status.reason, "Is a directory");
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST(DataFile, FailedWriteKeepsTheOldFile) {
  const TempFolder folder;
  const auto path = folder / "unit.dat";
  ASSERT_TRUE(WriteDataFile(UnitDataRecord{}, path));
  const std::string old = ReadBytes(path);
  FileStatus status;
  {
    FileSizeLimit limit(old.size());
    status = WriteDataFile(FullRecord(), path);
  }
  EXPECT_FALSE(status);
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"unit.dat"});
}

}  // namespace
