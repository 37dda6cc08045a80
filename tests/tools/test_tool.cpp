#include <gtest/gtest.h>

#include <sstream>

#include "files/profile.h"
#include "model/unitdatarecord.h"
#include "tests/files/filetestsupport.h"
#include "tools/tool.h"

namespace {

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

ToolRun Tool(std::vector<std::string> args) {
  std::ostringstream out, err;
  const int status = RunTool(args, out, err);
  return {status, out.str(), err.str()};
}

class QuellsoTool : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(folder / "unit.dat",
               "[Model Information]\r\nModel Number=YKCBCBS3-CKHS\r\nCooler=CB\r\n"
               "[Nameplate Information]\r\nPower(volts/ph/hz)=460/3/60\r\nStarter=Variable Speed Drive\r\n"
               "[Job Information]\r\nJob Name=Plant 4\r\n[Other]\r\nKeep=me\r\n");
  }
  std::string P(const std::string& name) const { return (folder / name).string(); }
  TempFolder folder;
};

TEST_F(QuellsoTool, ShowPrintsEveryMemberInMemberOrder) {
  const ToolRun run = Tool({"show", P("unit.dat")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::istringstream lines(run.out);
  std::string line;
  for (const UnitMemberInfo& info : kUnitMembers) {
    ASSERT_TRUE(std::getline(lines, line)) << info.name;
    EXPECT_EQ(line.substr(0, line.find('=')), info.name);
  }
  EXPECT_FALSE(std::getline(lines, line));
  for (const char* expected : {"\nModelNumber=YKCBCBS3-CKHS\n", "\nCooler=CB\n", "\nPower=460\n", "\nPhases=3\n",
                               "\nMotorType=VSD\n", "\nJobName=Plant 4\n", "\nPanelSerialNumber=\n"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected;
  EXPECT_EQ(run.out.rfind("CommissionDate=\nModelPrefix=\n", 0), 0u);
}

// Values are printed in UTF-8, or with --bytes as the file's bytes.
TEST_F(QuellsoTool, ShowPrintsWindowsTextInUtf8OrAsItsBytes) {
  WriteBytes(folder / "windows.dat", "[Job Information]\r\nJob Name=Caf\xE9 \x80" "5\x96" "6\r\n");
  const std::pair<std::vector<std::string>, std::string> runs[] = {
      {{"show", P("windows.dat")}, "\nJobName=Caf\u00E9 \u20AC5\u20136\n"},
      {{"show", P("windows.dat"), "--bytes"}, "\nJobName=Caf\xE9 \x80" "5\x96" "6\n"},
      {{"show", "--bytes", P("windows.dat")}, "\nJobName=Caf\xE9 \x80" "5\x96" "6\n"},
  };
  for (const auto& [args, line] : runs) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find(line), std::string::npos) << ::testing::PrintToString(args);
  }
}

// get and set speak UTF-8 on the command line and code page 1252 in the file, as show does;
// --bytes passes the bytes through.  A character the code page cannot hold is refused.
TEST_F(QuellsoTool, GetAndSetTakeWindowsTextInUtf8OrAsItsBytes) {
  struct Case {
    std::vector<std::string> set;
    int status;
    std::string stored;  // the value's bytes in the file afterwards
    std::string got;     // what get prints, then get --bytes
    std::string gotBytes;
  };
  const Case cases[] = {
      {{"Caf\u00E9 \u20AC5\u20136"}, 0, "Caf\xE9 \x80" "5\x96" "6", "Caf\u00E9 \u20AC5\u20136", "Caf\xE9 \x80" "5\x96" "6"},
      {{"Caf\xE9", "--bytes"}, 0, "Caf\xE9", "Caf\u00E9", "Caf\xE9"},
      {{"A\u03A9B"}, 2, "Plant", "Plant", "Plant"},
      {{"Caf\xE9"}, 2, "Plant", "Plant", "Plant"},  // not UTF-8, and no --bytes
  };
  for (const Case& c : cases) {
    WriteBytes(folder / "text.dat", "[Job Information]\r\nJob Name=Plant\r\n");
    std::vector<std::string> args = {"set", P("text.dat"), "Job Information", "Job Name"};
    args.insert(args.end(), c.set.begin(), c.set.end());
    const ToolRun set = Tool(args);
    EXPECT_EQ(set.status, c.status) << ::testing::PrintToString(c.set) << set.err;
    EXPECT_EQ(ReadBytes(folder / "text.dat"), "[Job Information]\r\nJob Name=" + c.stored + "\r\n");
    EXPECT_EQ(Tool({"get", P("text.dat"), "Job Information", "Job Name"}).out, c.got + "\n");
    EXPECT_EQ(Tool({"get", P("text.dat"), "Job Information", "Job Name", "--bytes"}).out, c.gotBytes + "\n");
  }
}

// Plain output escapes control characters and the backslash, so that a value can neither
// reach the terminal as a command nor be taken for another; --bytes prints the bytes.
TEST_F(QuellsoTool, ShowAndGetEscapeControlCharacters) {
  const std::string bytes = "A\x1b[31m\tB\\C\x81\x7f\x01 \xE9";
  WriteBytes(folder / "controls.dat", "[Job Information]\r\nJob Name=" + bytes + "\r\n");
  const std::string escaped = "A\\x1b[31m\\tB\\\\C\\x81\\x7f\\x01 \u00E9";
  const ToolRun show = Tool({"show", P("controls.dat")});
  EXPECT_NE(show.out.find("\nJobName=" + escaped + "\n"), std::string::npos) << show.out;
  EXPECT_EQ(show.out.find('\x1b'), std::string::npos);
  EXPECT_EQ(Tool({"get", P("controls.dat"), "Job Information", "Job Name"}).out, escaped + "\n");
  EXPECT_EQ(Tool({"get", P("controls.dat"), "Job Information", "Job Name", "--bytes"}).out, bytes + "\n");
  EXPECT_NE(Tool({"show", P("controls.dat"), "--bytes"}).out.find("\nJobName=" + bytes + "\n"), std::string::npos);
}

TEST_F(QuellsoTool, GetReadsOneValueWithItsWidth) {
  EXPECT_EQ(Tool({"get", P("unit.dat"), "model information", "MODEL NUMBER"}).out, "YKCBCBS3-CKHS\n");
  EXPECT_EQ(Tool({"get", P("unit.dat"), "Model Information", "Model Number", "--width", "5"}).out, "YKCB\n");
  EXPECT_EQ(Tool({"get", "--width=3", P("unit.dat"), "Job Information", "Job Name"}).out, "Pl\n");
  const ToolRun missing = Tool({"get", P("unit.dat"), "Job Information", "Job Location"});
  EXPECT_EQ(missing.status, 0);
  EXPECT_EQ(missing.out, "\n");
}

TEST_F(QuellsoTool, SetWritesOneValueAndCreatesFiles) {
  EXPECT_EQ(Tool({"set", P("unit.dat"), "Job Information", "job name", "Plant 5"}).status, 0);
  EXPECT_EQ(GetProfileString("Job Information", "Job Name", "", 30, folder / "unit.dat"), "Plant 5");
  EXPECT_NE(ReadBytes(folder / "unit.dat").find("[Other]\r\nKeep=me\r\n"), std::string::npos);

  EXPECT_EQ(Tool({"set", P("new.dat"), "S", "k", "v"}).status, 0);
  EXPECT_EQ(ReadBytes(folder / "new.dat"), "[S]\r\nk=v\r\n");
}

// Two scripts setting keys of one file at the same time: the file is locked from the read
// to the save, so neither loses the other's keys.  Each runs the tool's set, in a process
// of its own; the first file does not exist yet.
TEST_F(QuellsoTool, TwoSettersAtOnceLoseNothing) {
  constexpr int kEach = 200;
  for (const std::string name : {"fresh.dat", "unit.dat"}) {
    EXPECT_TRUE(InTwoProcessesAtOnce([&](const std::string& who) {
      int failed = 0;
      for (int i = 0; i < kEach; ++i)
        failed += Tool({"set", P(name), "Keys", who + std::to_string(i), std::to_string(i)}).status != 0;
      return failed == 0 ? 0 : 1;
    })) << name;
    ProfileDocument file;
    ASSERT_TRUE(LoadProfile(folder / name, file));
    int missing = 0;
    for (const char* who : {"a", "b"})
      for (int i = 0; i < kEach; ++i) missing += file.Find("Keys", who + std::to_string(i)) != std::to_string(i);
    EXPECT_EQ(missing, 0) << name;
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"fresh.dat", "unit.dat"}));
}

TEST_F(QuellsoTool, ConvertUpdatesTheOutputKeyByKey) {
  WriteBytes(folder / "out.dat", "[Other]\r\nKeep=out\r\n[Job Information]\r\nJob Name=Old\r\n");
  const ToolRun run = Tool({"convert", P("unit.dat"), P("out.dat")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(GetProfileString("Job Information", "Job Name", "", 30, folder / "out.dat"), "Plant 4");
  EXPECT_EQ(GetProfileString("Nameplate Information", "StarterType", "", 30, folder / "out.dat"), "VSD");
  EXPECT_EQ(GetProfileString("Other", "Keep", "", 30, folder / "out.dat"), "out");
}

struct FailureCase {
  const char* name;
  std::vector<std::string> args;  // "@" stands for the test's folder
  std::string message;            // after "quellso-tool: "
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class QuellsoToolFailure : public QuellsoTool, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(QuellsoToolFailure, NamesTheFileAndTheReason) {
  std::filesystem::create_directory(folder / "dir.dat");
  std::vector<std::string> args = GetParam().args;
  std::string message = GetParam().message;
  for (std::string& arg : args)
    if (arg[0] == '@') arg = folder.path().string() + arg.substr(1);
  if (message.find('@') != std::string::npos) message.replace(message.find('@'), 1, folder.path().string());
  const ToolRun run = Tool(args);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "quellso-tool: " + message + "\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, QuellsoToolFailure,
    ::testing::Values(
        FailureCase{"ShowMissingFile", {"show", "@/none.dat"}, "cannot read @/none.dat: No such file or directory"},
        FailureCase{"ShowFolder", {"show", "@/dir.dat"}, "cannot read @/dir.dat: Is a directory"},
        FailureCase{"GetMissingFile", {"get", "@/none.dat", "S", "k"},
                    "cannot read @/none.dat: No such file or directory"},
        FailureCase{"ConvertMissingInput", {"convert", "@/none.dat", "@/out.dat"},
                    "cannot read @/none.dat: No such file or directory"},
        FailureCase{"ConvertOntoFolder", {"convert", "@/unit.dat", "@/dir.dat"}, "cannot write @/dir.dat: Is a directory"},
        FailureCase{"SetOntoFolder", {"set", "@/dir.dat", "S", "k", "v"}, "cannot write @/dir.dat: Is a directory"},
        FailureCase{"SetUnderAFile", {"set", "@/unit.dat/x.dat", "S", "k", "v"},
                    "cannot write @/unit.dat/x.dat: Not a directory"}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(QuellsoToolUsage, WrongCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"show"},
                                             {"show", "a", "b"},
                                             {"show", "--bytes"},
                                             {"convert", "a"},
                                             {"get", "f", "s"},
                                             {"get", "f", "s", "k", "--width"},
                                             {"get", "f", "s", "k", "--width", "0"},
                                             {"get", "f", "s", "k", "--width", "12x"},
                                             {"get", "f", "s", "k", "--width", "99999999999999999999999"},
                                             {"set", "f", "s", "k"}}) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;  // one line
  }
}

TEST(QuellsoToolUsage, HelpDescribesEverySubcommand) {
  const ToolRun run = Tool({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* synopsis :
       {"show FILE [--bytes]", "convert IN OUT", "get FILE SECTION KEY [--width N]", "set FILE SECTION KEY VALUE"})
    EXPECT_NE(run.out.find(synopsis), std::string::npos) << synopsis;
}

}  // namespace
