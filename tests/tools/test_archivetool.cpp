// quellso-tool's archive subcommands (expand, list, extract, archive-name) and show/convert
// on order archives, on archives built with the reference compressor.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QProcess>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "files/profile.h"
#include "tests/files/filetestsupport.h"
#include "tests/files/implodewriter.h"
#include "tests/files/upzbuilder.h"
#include "tools/tool.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const std::string kUnitFile =
    "[Job Information]\r\nJob Name=Harbour Tower\r\nJob Location=Pier 9\r\n"
    "[Nameplate Information]\r\nStarter=Solid State Starter\r\n";
const std::string kText = "The quick brown fox jumps over the lazy dog. The quick brown fox jumps again.\n";

struct ToolRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the tool in this process, with `input` as its standard input.
ToolRun Tool(std::vector<std::string> args, const std::string& input = {}) {
  std::istringstream in(input);
  std::streambuf* saved = std::cin.rdbuf(in.rdbuf());
  std::ostringstream out, err;
  const int status = RunTool(args, out, err);
  std::cin.rdbuf(saved);
  std::cin.clear();
  return {status, out.str(), err.str()};
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class ArchiveTool : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("TMPDIR");
    hadTmpdir = old != nullptr;
    if (old) savedTmpdir = old;
    fs::create_directory(folder / "tmp");
    ::setenv("TMPDIR", (folder / "tmp").c_str(), 1);
  }
  void TearDown() override {
    if (hadTmpdir)
      ::setenv("TMPDIR", savedTmpdir.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }

  std::string P(const std::string& name) const { return (folder / name).string(); }
  std::string Archive(const std::string& name, const std::vector<UpzMember>& members, const UpzLayout& layout = {}) {
    WriteFile(folder / name, BuildUpz(members, layout));
    return P(name);
  }

  TempFolder folder;
  std::string savedTmpdir;
  bool hadTmpdir = false;
};

// ---- expand ------------------------------------------------------------------------------

struct ExpandCase {
  const char* name;
  Bytes input;
  int status;
  std::string output;
  std::string message;  // on standard error, after "quellso-tool: standard input: "
};

void PrintTo(const ExpandCase& c, std::ostream* os) { *os << c.name; }

class Expand : public ::testing::TestWithParam<ExpandCase> {};

TEST_P(Expand, ExitsWithTheDecodersResult) {
  const ExpandCase& c = GetParam();
  const ToolRun run = Tool({"expand"}, Text(c.input));
  EXPECT_EQ(run.status, c.status);
  EXPECT_EQ(run.out, c.output);
  EXPECT_EQ(run.err, c.message.empty() ? "" : "quellso-tool: standard input: " + c.message + "\n");
}

Bytes Half(const Bytes& bytes) { return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() / 2)); }

const std::string kLong = [] {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "line " + std::to_string(i) + " of the order notes\n";
  return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Streams, Expand,
    ::testing::Values(ExpandCase{"Text", Compressed(kText), 0, kText, ""},
                      ExpandCase{"SeveralBlocks", Compressed(kLong), 0, kLong, ""},
                      ExpandCase{"BadDictionary", {0, 7, 0, 0, 0, 0}, 1, "", "unknown dictionary size"},
                      ExpandCase{"BadLiteralMode", {2, 6, 0, 0, 0, 0}, 2, "", "unknown literal mode"},
                      ExpandCase{"FourBytes", {0, 6, 0, 0}, 3, "", "too short for an implode stream"},
                      ExpandCase{"Empty", {}, 3, "", "too short for an implode stream"}),
    [](const ::testing::TestParamInfo<ExpandCase>& info) { return std::string(info.param.name); });

TEST(ExpandTruncated, WritesWhatWasDecodedAndExitsWithFour) {
  const ToolRun run = Tool({"expand"}, Text(Half(Compressed(kLong))));
  EXPECT_EQ(run.status, 4);
  EXPECT_FALSE(run.out.empty());
  EXPECT_LT(run.out.size(), kLong.size());
  EXPECT_EQ(kLong.compare(0, run.out.size(), run.out), 0);
  EXPECT_EQ(run.err, "quellso-tool: standard input: the stream ends before its end code (output is partial)\n");
}

// The installed program, through a pipe: binary bytes in and out, the result as exit status.
TEST(ExpandProgram, PipesBinaryBytes) {
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7919) >> 3);
  const Bytes stream = Compressed(bytes);
  QProcess tool;
  tool.start(QUELLSO_TOOL, {"expand"});
  ASSERT_TRUE(tool.waitForStarted(10000));
  tool.write(reinterpret_cast<const char*>(stream.data()), static_cast<qint64>(stream.size()));
  tool.closeWriteChannel();
  ASSERT_TRUE(tool.waitForFinished(30000));
  EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(tool.exitCode(), 0);
  EXPECT_EQ(tool.readAllStandardOutput().toStdString(), bytes);

  QProcess cut;
  cut.start(QUELLSO_TOOL, {"expand"});
  ASSERT_TRUE(cut.waitForStarted(10000));
  cut.write("\x00\x06\xff", 3);
  cut.closeWriteChannel();
  ASSERT_TRUE(cut.waitForFinished(30000));
  EXPECT_EQ(cut.exitCode(), 3);
}

// ---- list --------------------------------------------------------------------------------

TEST_F(ArchiveTool, ListPrintsNameOffsetAndSize) {
  const Bytes unit = Compressed(kUnitFile);
  const Bytes text = Compressed(kText);
  const std::string path = Archive("order.upz", {{.name = "LTCUNIT.DAT", .stored = unit},
                                                 {.name = "notes.txt", .stored = text},
                                                 {.name = "bad\tname\\\n", .stored = {}, .dataOffset = 7}});
  const ToolRun run = Tool({"list", path});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::size_t first = 210 + 3 * 21;
  EXPECT_EQ(run.out, "LTCUNIT.DAT\t" + std::to_string(first) + "\t" + std::to_string(unit.size()) + "\n" +
                         "notes.txt\t" + std::to_string(first + unit.size()) + "\t" + std::to_string(text.size()) +
                         "\n" + "bad\\x09name\\x5c\\x0a\t7\t0\n");
}

TEST_F(ArchiveTool, ListOfACutDirectoryPrintsWhatItReadThenFails) {
  const std::string path = Archive("cut.upz", {{.name = "A.TXT", .stored = Compressed("a")}}, {.entryCount = 2});
  const ToolRun run = Tool({"list", path});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.substr(0, 6), "A.TXT\t");
  EXPECT_EQ(run.err, "quellso-tool: cannot read " + path + ": Error reading file\n");
}

// ---- extract -----------------------------------------------------------------------------

TEST_F(ArchiveTool, ExtractWritesEveryMemberIntoTheFolder) {
  const std::string path = Archive("order.upz", {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)},
                                                 {.name = "../../up.txt", .stored = Compressed(kText)}});
  fs::create_directory(folder / "out");
  const ToolRun run = Tool({"extract", path, P("out")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "No Error\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(ReadBytes(folder / "out/LTCUNIT.DAT"), kUnitFile);
  EXPECT_EQ(ReadBytes(folder / "out/up.txt"), kText);
  EXPECT_FALSE(fs::exists(folder.path().parent_path() / "up.txt"));
}

// Files already in the folder under members' names are not replaced unless --force: every
// such name is given, and nothing is extracted.
TEST_F(ArchiveTool, ExtractKeepsFilesThatAreThereUnlessForced) {
  const std::string path = Archive("order.upz", {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)},
                                                 {.name = "notes.txt", .stored = Compressed(kText)},
                                                 {.name = "new.txt", .stored = Compressed(kText)}});
  fs::create_directory(folder / "out");
  WriteBytes(folder / "out/LTCUNIT.DAT", "mine");
  fs::create_symlink("elsewhere", folder / "out/notes.txt");
  const ToolRun run = Tool({"extract", path, P("out")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Can't open destination file:\n");
  EXPECT_EQ(run.err, "quellso-tool: cannot extract " + path + ": " + P("out") +
                         " already holds LTCUNIT.DAT and notes.txt; nothing was extracted (--force replaces such "
                         "files)\n");
  EXPECT_EQ(ReadBytes(folder / "out/LTCUNIT.DAT"), "mine");
  EXPECT_FALSE(fs::exists(folder / "out/new.txt"));

  fs::remove(folder / "out/notes.txt");
  const ToolRun forced = Tool({"extract", "--force", path, P("out")});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(ReadBytes(folder / "out/LTCUNIT.DAT"), kUnitFile);
  EXPECT_EQ(ReadBytes(folder / "out/new.txt"), kText);
}

// An archive refused for its size takes back what it created, never a file that was there.
TEST_F(ArchiveTool, ARefusedExtractRemovesOnlyWhatItCreated) {
  const std::string path = Archive("bomb.upz", {{.name = "first.txt", .stored = Compressed(kText)},
                                                {.name = "notes.txt", .stored = Compressed(kText)},
                                                {.name = "BOMB.TXT", .stored = ImplodedRun(256u * 1024 * 1024 + 1)}});
  fs::create_directory(folder / "out");
  WriteBytes(folder / "out/notes.txt", "mine");
  WriteBytes(folder / "out/other.txt", "other");
  const ToolRun run = Tool({"extract", path, P("out"), "--force"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Archive expands to more than 256 MiB\n");
  EXPECT_FALSE(fs::exists(folder / "out/first.txt"));
  EXPECT_FALSE(fs::exists(folder / "out/BOMB.TXT"));
  EXPECT_EQ(ReadBytes(folder / "out/notes.txt"), kText);  // replaced, as --force asked, and kept
  EXPECT_EQ(ReadBytes(folder / "out/other.txt"), "other");
}

TEST_F(ArchiveTool, ExtractWithoutAFolderUsesTheCurrentOne) {
  const std::string path = Archive("order.upz", {{.name = "here.txt", .stored = Compressed(kText)}});
  fs::create_directory(folder / "cwd");
  const fs::path before = fs::current_path();
  fs::current_path(folder / "cwd");
  const ToolRun run = Tool({"extract", path});
  fs::current_path(before);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(ReadBytes(folder / "cwd/here.txt"), kText);
}

struct ExtractFailure {
  const char* name;
  std::vector<UpzMember> members;
  UpzLayout layout;
  std::string into;    // the FOLDER argument, under the test folder
  std::string result;  // on standard output
  std::string reason;  // on standard error, "@" for the test folder
};

void PrintTo(const ExtractFailure& c, std::ostream* os) { *os << c.name; }

class ExtractFails : public ArchiveTool, public ::testing::WithParamInterface<ExtractFailure> {};

TEST_P(ExtractFails, PrintsTheResultAndExitsWithOne) {
  const ExtractFailure& c = GetParam();
  const std::string path = Archive("case.upz", c.members, c.layout);
  fs::create_directory(folder / "out");
  const ToolRun run = Tool({"extract", path, P(c.into)});
  std::string reason = c.reason;
  if (const std::size_t at = reason.find('@'); at != std::string::npos) reason.replace(at, 1, folder.path().string());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, c.result + "\n");
  EXPECT_EQ(run.err, "quellso-tool: cannot extract " + path + ": " + reason + "\n");
  if (c.result.starts_with("Archive expands") || c.result.starts_with("Archive holds")) {
    EXPECT_TRUE(fs::is_empty(folder / "out"));  // nothing left of a refused archive
  }
}

INSTANTIATE_TEST_SUITE_P(
    Results, ExtractFails,
    ::testing::Values(
        ExtractFailure{"NotAnArchive", {}, {.signature = "PK"}, "out", "Unknown file type", "Unknown file type"},
        ExtractFailure{"OtherVersion", {}, {.version = 3}, "out", "Archive format has changed since this was created",
                       "Archive format has changed since this was created"},
        ExtractFailure{"Corrupt", {{.name = "A.TXT", .stored = {0, 6, 0xff, 0xff, 0xff}}}, {}, "out",
                       "Archive file is corrupted", "Archive file is corrupted"},
        ExtractFailure{"CutHeader", {}, {.cutAt = 100}, "out", "Error reading file", "Error reading file"},
        ExtractFailure{"MissingFolder", {{.name = "A.TXT", .stored = Compressed("a")}}, {}, "none",
                       "Can't open destination file:", "a member's file cannot be created in @/none"},
        ExtractFailure{"ExpandsPastTheLimit", {{.name = "BOMB.TXT", .stored = ImplodedRun(256u * 1024 * 1024 + 1)}},
                       {}, "out", "Archive expands to more than 256 MiB", "Archive expands to more than 256 MiB"},
        ExtractFailure{"TooManyMembers", std::vector<UpzMember>(10001, {.name = "A.TXT", .stored = {}}), {}, "out",
                       "Archive holds more than 10000 members", "Archive holds more than 10000 members"}),
    [](const ::testing::TestParamInfo<ExtractFailure>& info) { return std::string(info.param.name); });

TEST_F(ArchiveTool, ExtractOfAMissingArchiveSaysWhy) {
  const ToolRun run = Tool({"extract", P("none.upz"), P(".")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Can't open source file\n");
  EXPECT_EQ(run.err, "quellso-tool: cannot extract " + P("none.upz") + ": No such file or directory\n");
}

// ---- archive-name ------------------------------------------------------------------------

struct NameCase {
  const char* name;
  std::string number;
  std::string lines;
};

void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class ArchiveName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ArchiveName, PrintsBothVariantsAndThePattern) {
  const ToolRun run = Tool({"archive-name", GetParam().number});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, ArchiveName,
    ::testing::Values(NameCase{"WorkedExample", "98123456-02", "52n9c1jl.upz\n52n9c1jm.upz\n52n9c*.upz\n"},
                      NameCase{"AllNines", "99999999-99", "6lflr4e1.upz\n6lflr4gr.upz\n6lflr*.upz\n"},
                      NameCase{"AllZeros", "00000000-00", "70000001.upz\n70000000.upz\n70000*.upz\n"},
                      NameCase{"Blank", "        -  ", "70000001.upz\n70000000.upz\n70000*.upz\n"},
                      NameCase{"LineOne", "98123456-01", "52n9c0rt.upz\n52n9c0rt.upz\n52n9c*.upz\n"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return std::string(info.param.name); });

// ---- show and convert on archives ----------------------------------------------------------

TEST_F(ArchiveTool, ShowReadsTheUnitDataFileOfAnArchive) {
  const std::string path = Archive("ORDER.UPZ", {{.name = "ltcunit.dat", .stored = Compressed(kUnitFile)}});
  const ToolRun run = Tool({"show", path});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("\nJobName=Harbour Tower\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\nMotorType=SSS\n"), std::string::npos) << run.out;
  // The scratch folder is gone again.
  EXPECT_TRUE(fs::is_empty(folder / "tmp"));
}

TEST_F(ArchiveTool, ConvertWritesAnArchivesUnitDataIntoADataFile) {
  const std::string path = Archive("order.upz", {{.name = "LTCUNIT.DAT", .stored = Compressed(kUnitFile)}});
  const ToolRun run = Tool({"convert", path, P("out.dat")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(GetProfileString("Job Information", "Job Location", "", 30, folder / "out.dat"), "Pier 9");
  EXPECT_EQ(GetProfileString("Nameplate Information", "StarterType", "", 30, folder / "out.dat"), "SSS");
  EXPECT_TRUE(fs::is_empty(folder / "tmp"));
}

struct ShowFailure {
  const char* name;
  std::vector<UpzMember> members;
  UpzLayout layout;
  std::string reason;
};

void PrintTo(const ShowFailure& c, std::ostream* os) { *os << c.name; }

class ShowFails : public ArchiveTool, public ::testing::WithParamInterface<ShowFailure> {};

TEST_P(ShowFails, NamesTheArchiveAndTheReason) {
  const ShowFailure& c = GetParam();
  const std::string path = Archive("case.upz", c.members, c.layout);
  for (const char* command : {"show", "convert"}) {
    std::vector<std::string> args = {command, path};
    if (args[0] == "convert") args.push_back(P("out.dat"));
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 1) << command;
    EXPECT_EQ(run.out, "") << command;
    EXPECT_EQ(run.err, "quellso-tool: cannot read " + path + ": " + c.reason + "\n") << command;
  }
  EXPECT_FALSE(fs::exists(folder / "out.dat"));
  EXPECT_TRUE(fs::is_empty(folder / "tmp"));
}

INSTANTIATE_TEST_SUITE_P(
    Archives, ShowFails,
    ::testing::Values(
        ShowFailure{"NoUnitFile", {{.name = "notes.txt", .stored = Compressed(kText)}}, {},
                    "Unit Data File not present in .UPZ File"},
        ShowFailure{"NotAnArchive", {}, {.signature = "[Jo"}, "Unknown file type"},
        ShowFailure{"CorruptUnitFile", {{.name = "LTCUNIT.DAT", .stored = {0, 6, 1, 2, 3, 4}}}, {},
                    "Archive file is corrupted"},
        ShowFailure{"TooManyMembers", std::vector<UpzMember>(100001, {.name = "LTCUNIT.DAT", .stored = {}}), {},
                    "Archive holds more than 10000 members"}),
    [](const ::testing::TestParamInfo<ShowFailure>& info) { return std::string(info.param.name); });

TEST_F(ArchiveTool, ShowOfAMissingArchiveSaysWhy) {
  const ToolRun run = Tool({"show", P("none.upz")});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "quellso-tool: cannot read " + P("none.upz") + ": No such file or directory\n");
}

// ---- command lines -----------------------------------------------------------------------

TEST(ArchiveToolUsage, WrongCommandLinesExitWithTwo) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"expand", "file"}, {"list"}, {"list", "a", "b"}, {"extract"}, {"extract", "a", "b", "c"},
           {"extract", "--force"},
           {"archive-name"}, {"archive-name", "1", "2"}}) {
    const ToolRun run = Tool(args);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("--help"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
  }
}

TEST(ArchiveToolUsage, HelpDescribesTheArchiveCommands) {
  const ToolRun run = Tool({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* text : {"\n  expand\n", "\n  list ARCHIVE\n", "\n  extract ARCHIVE [FOLDER] [--force]\n",
                           "\n  archive-name NUMBER\n", "order archive (.upz)"})
    EXPECT_NE(run.out.find(text), std::string::npos) << text;
}

}  // namespace
