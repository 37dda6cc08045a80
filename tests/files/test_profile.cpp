#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <optional>
#include <utility>

#include "files/profile.h"
#include "tests/files/filetestsupport.h"

namespace {

// ---- reading ----

struct ReadCase {
  const char* name;
  std::string file;
  std::string section;
  std::string key;
  std::string defaultValue;
  std::size_t width;
  std::string expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ProfileRead : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, GivesTheValueAsWindowsReadsIt) {
  const ReadCase& c = GetParam();
  EXPECT_EQ(ProfileDocument(c.file).Read(c.section, c.key, c.defaultValue, c.width), c.expected);
}

const std::string kBom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileRead,
    ::testing::Values(
        // Line ends
        ReadCase{"CrlfFile", "[S]\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"LfFile", "[S]\nk=v\n", "S", "k", "d", 100, "v"},
        ReadCase{"LoneCrFile", "[S]\rk=v\r", "S", "k", "d", 100, "v"},
        ReadCase{"MixedLineEnds", "[T]\r\na=1\n[S]\rx=2\r\nk=v\n", "S", "k", "d", 100, "v"},
        ReadCase{"NoFinalLineEnd", "[S]\r\nk=v", "S", "k", "d", 100, "v"},
        ReadCase{"CrLfIsOneLineEnd", "[S]\r\n\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        // Blanks and trimming
        ReadCase{"BlanksAroundKeyAndValue", "[S]\r\n \t\vk \t= \t v w \v\t\r\n", "S", "k", "d", 100, "v w"},
        ReadCase{"FormFeedIsNoBlank", "[S]\r\nk=\fv\r\n", "S", "k", "d", 100, "\fv"},
        ReadCase{"KeyWithInnerBlanks", "[S]\r\nJob  Name=v\r\n", "S", "Job Name", "d", 100, "d"},
        ReadCase{"ValueKeepsLaterEquals", "[S]\r\na=b=c\r\n", "S", "a", "d", 100, "b=c"},
        ReadCase{"BlankValueIsEmpty", "[S]\r\nk=   \r\n", "S", "k", "d", 100, ""},
        // Sections
        ReadCase{"SectionNameTrimmed", "[ \tS  ]\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"IndentedSectionLine", "  \t[S]\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"RestOfSectionLineIgnored", "[S] k=x ]\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"SectionNameEndsAtFirstBracket", "[S]x]\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"SectionWithoutClosingBracket", "[S \r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"KeyOfAnotherSection", "[T]\r\nk=v\r\n[S]\r\nj=w\r\n", "S", "k", "d", 100, "d"},
        ReadCase{"SectionEndsAtNextSection", "[S]\r\n[T]\r\nk=v\r\n", "S", "k", "d", 100, "d"},
        ReadCase{"LinesBeforeFirstSectionNeverRead", "k=v\r\n[S]\r\n", "S", "k", "d", 100, "d"},
        ReadCase{"OnlyFirstSectionOfANameSearched", "[S]\r\na=1\r\n[s]\r\nk=v\r\n", "S", "k", "d", 100, "d"},
        ReadCase{"FirstKeyWins", "[S]\r\nk=1\r\nK=2\r\n", "S", "k", "d", 100, "1"},
        // Comments and lines that are no keys
        ReadCase{"CommentIsNeverAKey", "[S]\r\n;k=v\r\n", "S", "k", "d", 100, "d"},
        ReadCase{"IndentedComment", "[S]\r\n \t;k=v\r\n", "S", ";k", "d", 100, "d"},
        ReadCase{"SemicolonLaterIsPartOfTheKey", "[S]\r\nk;=v\r\n", "S", "k;", "d", 100, "v"},
        ReadCase{"NoInlineComments", "[S]\r\nk=v ; note\r\n", "S", "k", "d", 100, "v ; note"},
        ReadCase{"LineWithoutEqualsIsNoKey", "[S]\r\nk\r\nk v\r\n", "S", "k", "d", 100, "d"},
        // Letter case
        ReadCase{"NamesIgnoreCase", "[Model Information]\r\nMODEL number=v\r\n", "model INFORMATION", "Model Number",
                 "d", 100, "v"},
        ReadCase{"ValuesKeepCase", "[S]\r\nk=VaLuE\r\n", "S", "K", "d", 100, "VaLuE"},
        // Quotes
        ReadCase{"DoubleQuotesStripped", "[S]\r\nk=\"v w\"\r\n", "S", "k", "d", 100, "v w"},
        ReadCase{"SingleQuotesStripped", "[S]\r\nk='v'\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"QuotesStrippedAfterTrimming", "[S]\r\nk=  \" v \"  \r\n", "S", "k", "d", 100, " v "},
        ReadCase{"OnlyOnePairStripped", "[S]\r\nk=\"\"v\"\"\r\n", "S", "k", "d", 100, "\"v\""},
        ReadCase{"MismatchedQuotesKept", "[S]\r\nk=\"v'\r\n", "S", "k", "d", 100, "\"v'"},
        ReadCase{"LoneQuoteKept", "[S]\r\nk=\"\r\n", "S", "k", "d", 100, "\""},
        ReadCase{"QuoteAtOneEndKept", "[S]\r\nk=\"v\r\n", "S", "k", "d", 100, "\"v"},
        ReadCase{"EmptyValueIsNotTheDefault", "[S]\r\nk=\r\n", "S", "k", "d", 100, ""},
        ReadCase{"EmptyQuotesAreNotTheDefault", "[S]\r\nk=\"\"\r\n", "S", "k", "d", 100, ""},
        // Buffer size
        ReadCase{"CutToWidthLessOne", "[S]\r\nk=abcdef\r\n", "S", "k", "d", 4, "abc"},
        ReadCase{"ExactFitKeptWhole", "[S]\r\nk=abc\r\n", "S", "k", "d", 4, "abc"},
        ReadCase{"WidthOneGivesEmpty", "[S]\r\nk=abc\r\n", "S", "k", "d", 1, ""},
        ReadCase{"WidthZeroGivesEmpty", "[S]\r\nk=abc\r\n", "S", "k", "d", 0, ""},
        ReadCase{"QuotesStrippedBeforeCut", "[S]\r\nk=\"abcdef\"\r\n", "S", "k", "d", 4, "abc"},
        // Defaults
        ReadCase{"EmptyFileGivesDefault", "", "S", "k", "dflt", 100, "dflt"},
        ReadCase{"MissingSectionGivesDefault", "[T]\r\nk=v\r\n", "S", "k", "dflt", 100, "dflt"},
        ReadCase{"MissingKeyGivesDefault", "[S]\r\nj=v\r\n", "S", "k", "dflt", 100, "dflt"},
        ReadCase{"DefaultCutToWidth", "", "S", "k", "abcdef", 3, "ab"},
        ReadCase{"DefaultLosesTrailingBlanks", "", "S", "k", " d \t", 100, " d"},
        // Byte-order mark
        ReadCase{"BomSkipped", kBom + "[S]\r\nk=v\r\n", "S", "k", "d", 100, "v"},
        ReadCase{"BomOnlyAtTheStart", "[T]\r\n" + kBom + "[S]\r\nk=v\r\n", "S", "k", "d", 100, "d"},
        // Every other byte is data
        ReadCase{"HighBytesKept", "[S]\r\nk=\xE9t\xE9\r\n", "S", "k", "d", 100, "\xE9t\xE9"}),
    [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

// ---- writing ----

struct WriteCase {
  const char* name;
  std::string before;
  std::string section;
  std::string key;
  std::string value;
  std::string after;
  // What a read of the same section and key gives afterwards, when not the value.
  std::optional<std::string> readBack = std::nullopt;
  // A second key written into the same section after the first, when given.
  std::optional<std::pair<std::string, std::string>> then = std::nullopt;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class ProfileWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, ChangesOnlyWhatItMust) {
  const WriteCase& c = GetParam();
  ProfileDocument document(c.before);
  document.Write(c.section, c.key, c.value);
  if (c.then) document.Write(c.section, c.then->first, c.then->second);
  EXPECT_EQ(document.Bytes(), c.after);
  // What was written reads back (within what reading keeps of blanks and quotes).
  EXPECT_EQ(document.Read(c.section, c.key, "default", 1000), c.readBack.value_or(c.value));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, ProfileWrite,
    ::testing::Values(
        // Key present: replaced in place
        WriteCase{"ReplacesValueKeepingKeySpelling", "[S]\r\nJob Name=old\r\n", "s", "JOB NAME", "new",
                  "[S]\r\nJob Name=new\r\n"},
        WriteCase{"ReplaceKeepsBlanksAroundValue", "[S]\r\n  k \t= old value  \r\n", "S", "k", "new",
                  "[S]\r\n  k \t= new  \r\n"},
        WriteCase{"ReplaceEmptyValue", "[S]\r\nk=\r\nj=1\r\n", "S", "k", "new", "[S]\r\nk=new\r\nj=1\r\n"},
        WriteCase{"ReplaceWithEmpty", "[S]\r\nk=old\r\n", "S", "k", "", "[S]\r\nk=\r\n"},
        WriteCase{"ReplaceQuotedValue", "[S]\r\nk=\"old\"\r\n", "S", "k", "new", "[S]\r\nk=new\r\n"},
        WriteCase{"ReplaceKeepsLfLineEnds", "[S]\nk=old\n; note\n", "S", "k", "new", "[S]\nk=new\n; note\n"},
        WriteCase{"ReplaceKeepsLoneCrLineEnds", "[S]\rk=old\r", "S", "k", "new", "[S]\rk=new\r"},
        WriteCase{"ReplaceLastLineWithoutEnd", "[S]\r\nk=old", "S", "k", "new", "[S]\r\nk=new\r\n"},
        WriteCase{"ReplaceFirstOfTwoKeys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3", "[S]\r\nk=3\r\nk=2\r\n"},
        WriteCase{"ReplaceInFirstOfTwoSections", "[S]\r\nk=1\r\n[S]\r\nk=2\r\n", "S", "k", "3",
                  "[S]\r\nk=3\r\n[S]\r\nk=2\r\n"},
        WriteCase{"ValueWithEquals", "[S]\r\nk=1\r\n", "S", "k", "a=b", "[S]\r\nk=a=b\r\n"},
        WriteCase{"ReplaceLastLineWithoutEndKeepsBlanksBeforeItsEnd", "[S]\r\nk = old  ", "S", "k", "new",
                  "[S]\r\nk = new  \r\n"},
        WriteCase{"ReplaceLastLineWithoutEndThenInsert", "[S]\r\nk=old", "S", "k", "new",
                  "[S]\r\nk=new\r\nj=v\r\n", std::nullopt, std::pair<std::string, std::string>{"j", "v"}},
        // Names a caller passes lose their surrounding spaces, and only spaces
        WriteCase{"CallerNamesLoseSpacesBeforeComparing", "[S]\r\nk=1\r\n", "  S ", " k  ", "2", "[S]\r\nk=2\r\n"},
        WriteCase{"CallerNamesLoseSpacesBeforeWriting", "[T]\r\n", "  S ", " k  ", "v", "[T]\r\n[S]\r\nk=v\r\n"},
        WriteCase{"NewKeyWrittenWithoutSpaces", "[S]\r\na=1\r\n", "S", "  k ", "v", "[S]\r\na=1\r\nk=v\r\n"},
        WriteCase{"TabsAroundCallerKeyAreKept", "[S]\r\nk=1\r\n", "S", "\tk", "2", "[S]\r\nk=1\r\n\tk=2\r\n",
                  "default"},
        WriteCase{"TabsAroundCallerSectionAreKept", "[S]\r\nk=1\r\n", "S\t", "k", "2",
                  "[S]\r\nk=1\r\n[S\t]\r\nk=2\r\n", "default"},
        // A line break never enters through a write
        WriteCase{"LineBreaksInAValueAreWrittenAsBlanks", "[S]\r\nk=1\r\n[T]\r\nj=2\r\n", "S", "k",
                  "a\r\n[T]\r\nj=X\nb\rc", "[S]\r\nk=a  [T]  j=X b c\r\n[T]\r\nj=2\r\n", "a  [T]  j=X b c"},
        WriteCase{"LineBreaksInANewValue", "", "S", "k", "\r\nv\r\n", "[S]\r\nk=  v  \r\n", "v"},
        WriteCase{"LineBreaksInNames", "", "S\r\nX", "k\nj", "v", "[S  X]\r\nk j=v\r\n"},
        // Key missing: after the section's last key line
        WriteCase{"InsertAfterLastKeyLine", "[S]\r\na=1\r\nb=2\r\n\r\n; tail\r\n[T]\r\nx=1\r\n", "S", "k", "v",
                  "[S]\r\na=1\r\nb=2\r\nk=v\r\n\r\n; tail\r\n[T]\r\nx=1\r\n"},
        WriteCase{"InsertSkipsNonKeyLines", "[S]\r\na=1\r\njunk\r\n", "S", "k", "v", "[S]\r\na=1\r\nk=v\r\njunk\r\n"},
        WriteCase{"InsertIntoSectionWithoutKeys", "[S]\r\n; note\r\n\r\n[T]\r\n", "S", "k", "v",
                  "[S]\r\nk=v\r\n; note\r\n\r\n[T]\r\n"},
        WriteCase{"InsertIntoLfFileUsesCrlf", "[S]\na=1\n", "S", "k", "v", "[S]\na=1\nk=v\r\n"},
        WriteCase{"InsertAfterLastLineWithoutEnd", "[S]\r\na=1", "S", "k", "v", "[S]\r\na=1\r\nk=v\r\n"},
        WriteCase{"InsertAfterSectionLineWithoutEnd", "[S]", "S", "k", "v", "[S]\r\nk=v\r\n"},
        WriteCase{"InsertIntoFirstOfTwoSections", "[S]\r\na=1\r\n[S]\r\nk=2\r\n", "S", "k", "v",
                  "[S]\r\na=1\r\nk=v\r\n[S]\r\nk=2\r\n"},
        // Section missing: appended
        WriteCase{"AppendSection", "[T]\r\nx=1\r\n", "S", "k", "v", "[T]\r\nx=1\r\n[S]\r\nk=v\r\n"},
        WriteCase{"AppendAfterTrailingBlankLine", "[T]\r\nx=1\r\n\r\n", "S", "k", "v",
                  "[T]\r\nx=1\r\n\r\n[S]\r\nk=v\r\n"},
        WriteCase{"AppendAddsMissingLineEnd", "[T]\nx=1", "S", "k", "v", "[T]\nx=1\r\n[S]\r\nk=v\r\n"},
        WriteCase{"AppendToEmptyFile", "", "S", "k", "v", "[S]\r\nk=v\r\n"},
        WriteCase{"KeysBeforeFirstSectionIgnored", "k=1\r\n", "S", "k", "v", "k=1\r\n[S]\r\nk=v\r\n"},
        // Byte-order mark and other bytes
        WriteCase{"BomKept", kBom + "[S]\r\nk=1\r\n", "S", "k", "2", kBom + "[S]\r\nk=2\r\n"},
        WriteCase{"BomOnlyFile", kBom, "S", "k", "v", kBom + "[S]\r\nk=v\r\n"},
        WriteCase{"OtherBytesKept", "; \xE9 note\n  [S] trailing\n\tk = 1\n\n[T]\r\n", "S", "j", "2",
                  "; \xE9 note\n  [S] trailing\n\tk = 1\nj=2\r\n\n[T]\r\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST(ProfileDocumentTest, UntouchedDocumentGivesItsBytesBack) {
  const std::string bytes = kBom + "junk before\r\n[S]\r\n k = v \n;c\r\r\n\n[T\r\nlast=1";
  EXPECT_EQ(ProfileDocument(bytes).Bytes(), bytes);
}

// Many writes in one pass give what writing them one after another gives, whatever the
// names: runs of ordinary names go together, a name that would not read back as itself is
// written on its own.
TEST(ProfileDocumentTest, WriteAllIsWritingOneAfterAnother) {
  const std::vector<std::string> documents = {
      "",
      kBom,
      "[S]",
      "[S]\r\nk=1",
      "; head\r\n[A]\r\na=1\r\n; end of A\r\n\r\n[B]\nb = 2 \n[a]\r\na=9\r\n",
      "[S]\r\nk=1\r\n[s]\r\nk=2\r\nj=3",
      "k=before\r\n[S]\r\n\r\n",
  };
  const std::vector<std::vector<ProfileEntry>> batches = {
      {{"A", "a", "x"}, {"A", "new", "y"}, {"C", "c", "z"}, {"a", "NEW", "w"}, {"C", "d", "v"}, {"B", "b", "u"}},
      {{"S", "k", "1"}, {"S", "j", "2"}, {"S", "k", "3"}, {"T", "t", "4"}, {"S", "i", "5"}},
      {{"S", "[k", "x"}, {"S", "j", "y"}, {"S", "a=b", "z"}, {"S", ";c", "w"}, {"S]x", "k", "v"}, {"S", "l", "u"}},
      {{"S", "\tk", "x"}, {"S", "k", "y"}, {"\tS", "k", "z"}, {"S", "m", "w"}, {" S ", " n ", "v"}},
      {{"S", "k", "a\r\n[S]\r\nk=b"}, {"S", "k\n", "c"}, {"", "", "e"}, {"", "x", "f"}},
  };
  for (std::size_t d = 0; d < documents.size(); ++d) {
    for (std::size_t b = 0; b < batches.size(); ++b) {
      ProfileDocument together(documents[d]);
      together.WriteAll(batches[b]);
      ProfileDocument oneByOne(documents[d]);
      for (const ProfileEntry& e : batches[b]) {
        ProfileDocument single(oneByOne.Bytes());
        single.Write(e.section, e.key, e.value);
        oneByOne = ProfileDocument(single.Bytes());
      }
      EXPECT_EQ(together.Bytes(), oneByOne.Bytes()) << "document " << d << ", batch " << b;
      std::vector<ProfileKey> keys;
      for (const ProfileEntry& e : batches[b]) keys.push_back({e.section, e.key});
      const std::vector<std::optional<std::string_view>> found = together.FindAll(keys);
      ASSERT_EQ(found.size(), keys.size());
      for (std::size_t k = 0; k < keys.size(); ++k)
        EXPECT_EQ(found[k], together.Find(keys[k].section, keys[k].key)) << "document " << d << ", key " << k;
    }
  }
}

TEST(ProfileDocumentTest, SeveralWritesKeepTheirPlaces) {
  ProfileDocument document("[A]\r\na=1\r\n; end of A\r\n[B]\r\nb=1\r\n");
  document.Write("A", "a2", "2");
  document.Write("B", "b", "9");
  document.Write("C", "c", "3");
  document.Write("A", "a3", "3");
  document.Write("C", "c2", "4");
  EXPECT_EQ(document.Bytes(), "[A]\r\na=1\r\na2=2\r\na3=3\r\n; end of A\r\n[B]\r\nb=9\r\n[C]\r\nc=3\r\nc2=4\r\n");
}

// ---- files ----

class ProfileFiles : public ::testing::Test {
 protected:
  TempFolder folder;
};

TEST_F(ProfileFiles, PathsThatNameNoFileReadAsEmpty) {
  WriteBytes(folder / "plain", "x");
  for (const std::string name : {"missing.dat", "no-folder/missing.dat", "plain/missing.dat"}) {
    ProfileDocument document("[S]\r\nk=v\r\n");
    bool exists = true;
    EXPECT_TRUE(LoadProfile(folder / name, document, &exists)) << name;
    EXPECT_FALSE(exists) << name;
    EXPECT_EQ(document.Bytes(), "") << name;
  }
  FileStatus status;
  EXPECT_EQ(GetProfileString("S", "k", "dflt", 10, folder / "missing.dat", &status), "dflt");
  EXPECT_TRUE(status);
}

TEST_F(ProfileFiles, FileThatCannotBeReadFailsAndKeepsTheDocument) {
  std::filesystem::create_directory(folder / "folder.dat");
  ASSERT_EQ(::mkfifo((folder / "pipe.dat").c_str(), 0600), 0);
  struct Case {
    std::string name;
    std::string reason;
  };
  for (const Case& c : {Case{"folder.dat", "Is a directory"}, Case{"pipe.dat", "Not a regular file"}}) {
    ProfileDocument document("[S]\r\nk=v\r\n");
    const FileStatus status = LoadProfile(folder / c.name, document);
    EXPECT_FALSE(status) << c.name;
    EXPECT_EQ(status.reason, c.reason) << c.name;
    EXPECT_EQ(document.Bytes(), "[S]\r\nk=v\r\n") << c.name;
  }
}

TEST_F(ProfileFiles, FileWithoutReadPermissionFails) {
  const auto path = folder / "secret.dat";
  WriteBytes(path, "[S]\r\nk=v\r\n");
  std::filesystem::permissions(path, std::filesystem::perms::none);
  const int result = AsUnprivileged(folder.path(), [&] {
    ProfileDocument document;
    const FileStatus status = LoadProfile(path, document);
    return !status && status.reason == "Permission denied" ? 0 : 1;
  });
  if (result < 0) GTEST_SKIP() << "cannot give up root here";
  EXPECT_EQ(result, 0);
}

TEST_F(ProfileFiles, TooLargeFileIsRefused) {
  const auto path = folder / "huge.dat";
  WriteBytes(path, "");
  std::filesystem::resize_file(path, kMaxProfileFileSize + 1);
  ProfileDocument document;
  const FileStatus status = LoadProfile(path, document);
  EXPECT_FALSE(status);
  EXPECT_NE(status.reason.find("too large"), std::string::npos);
}

TEST_F(ProfileFiles, NewFileIsCreatedWithTheSectionAndKey) {
  const auto path = folder / "new.dat";
  ASSERT_TRUE(WriteProfileString("Job Information", "Job Name", "Plant 4", path));
  EXPECT_EQ(ReadBytes(path), "[Job Information]\r\nJob Name=Plant 4\r\n");
  EXPECT_EQ(GetProfileString("job information", "job name", "", 30, path), "Plant 4");
}

TEST_F(ProfileFiles, SaveReplacesTheFileAndKeepsItsPermissions) {
  const auto path = folder / "unit.dat";
  WriteBytes(path, "[S]\nk=1\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                                         std::filesystem::perms::group_read);
  ASSERT_TRUE(WriteProfileString("S", "k", "2", path));
  EXPECT_EQ(ReadBytes(path), "[S]\nk=2\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"unit.dat"});  // no temporary file left
}

TEST_F(ProfileFiles, SaveThroughALinkReplacesItsTarget) {
  const auto target = folder / "target.dat";
  const auto link = folder / "link.dat";
  WriteBytes(target, "[S]\r\nk=1\r\n");
  std::filesystem::create_symlink("target.dat", link);
  ASSERT_TRUE(WriteProfileString("S", "k", "2", link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(target), "[S]\r\nk=2\r\n");
}

TEST_F(ProfileFiles, SaveThatCannotBeDoneFailsAndCreatesNothing) {
  WriteBytes(folder / "plain", "x");
  std::filesystem::create_directory(folder / "folder.dat");
  struct Case {
    std::string name;
    std::string reason;
  };
  for (const Case& c : {Case{"folder.dat", "Is a directory"}, Case{"no-folder/new.dat", "No such file or directory"},
                        Case{"plain/new.dat", "Not a directory"}}) {
    const FileStatus status = WriteProfileString("S", "k", "v", folder / c.name);
    EXPECT_FALSE(status) << c.name;
    EXPECT_EQ(status.reason, c.reason) << c.name;
  }
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"folder.dat", "plain"}));
  EXPECT_TRUE(std::filesystem::is_empty(folder / "folder.dat"));
}

TEST_F(ProfileFiles, SaveThatRunsOutOfRoomKeepsTheOldFile) {
  const auto path = folder / "unit.dat";
  const std::string old = "[S]\r\nk=" + std::string(200, 'o') + "\r\n";
  WriteBytes(path, old);
  ProfileDocument document(old);
  document.Write("S", "k", std::string(400, 'n'));
  FileStatus status;
  {
    FileSizeLimit limit(100);
    status = SaveProfile(path, document);
  }
  EXPECT_FALSE(status);
  EXPECT_EQ(status.reason, "File too large");
  EXPECT_EQ(ReadBytes(path), old);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"unit.dat"});
}

TEST_F(ProfileFiles, NewFileThatRunsOutOfRoomIsRemoved) {
  ProfileDocument document;
  document.Write("S", "k", std::string(400, 'n'));
  FileStatus status;
  {
    FileSizeLimit limit(100);
    status = SaveProfile(folder / "new.dat", document);
  }
  EXPECT_FALSE(status);
  EXPECT_TRUE(folder.Names().empty());
}

TEST_F(ProfileFiles, ReadOnlyFileIsNotReplaced) {
  const auto path = folder / "locked.dat";
  WriteBytes(path, "[S]\r\nk=1\r\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  // The folder is writable, so a rename would get past the file's permissions.
  const int result = AsUnprivileged(folder.path(), [&] {
    const FileStatus status = WriteProfileString("S", "k", "2", path);
    return !status && status.reason == "Permission denied" ? 0 : 1;
  });
  if (result < 0) GTEST_SKIP() << "cannot give up root here";
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(path), "[S]\r\nk=1\r\n");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"locked.dat"});
}

// ---- saves that survive real disks ----

ino_t Inode(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// The temporary name must leave room: a name of up to 255 bytes, the limit of the file
// systems in use, saves over an existing file.
TEST_F(ProfileFiles, LongestNamesSave) {
  for (const std::size_t length : {248u, 251u, 255u}) {
    const auto path = folder / (std::string(length - 4, 'n') + ".dat");
    WriteBytes(path, "[S]\r\nk=1\r\n");
    const FileStatus status = WriteProfileString("S", "k", "2", path);
    EXPECT_TRUE(status) << length << ": " << status.reason;
    EXPECT_EQ(ReadBytes(path), "[S]\r\nk=2\r\n") << length;
    std::filesystem::remove(path);
  }
  EXPECT_TRUE(folder.Names().empty());
}

// A file with several names stays one file: it is written in place, and every name shows
// the new content.  A failed write puts the old content back.
TEST_F(ProfileFiles, HardLinkedFileIsWrittenInPlace) {
  const auto path = folder / "unit.dat";
  const auto link = folder / "linked.dat";
  WriteBytes(path, "[S]\r\nk=1\r\n");
  std::filesystem::create_hard_link(path, link);
  const ino_t inode = Inode(path);
  ASSERT_TRUE(WriteProfileString("S", "k", "2", link));
  EXPECT_EQ(ReadBytes(path), "[S]\r\nk=2\r\n");
  EXPECT_EQ(Inode(link), inode);
  EXPECT_EQ(std::filesystem::hard_link_count(path), 2u);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"linked.dat", "unit.dat"}));  // no copy left

  // Shorter content is cut to its size; longer content that does not fit fails and the old
  // content comes back.
  ASSERT_TRUE(WriteProfileString("S", "k", "", path));
  EXPECT_EQ(ReadBytes(link), "[S]\r\nk=\r\n");
  FileStatus status;
  {
    FileSizeLimit limit(100);
    status = WriteProfileString("S", "k", std::string(200, 'x'), path);
  }
  EXPECT_FALSE(status);
  EXPECT_EQ(status.reason, "File too large");
  EXPECT_EQ(ReadBytes(link), "[S]\r\nk=\r\n");
  EXPECT_EQ(Inode(path), inode);
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"linked.dat", "unit.dat"}));
}

// A shared file of another user, which this user may write: a new file would be this
// user's own, so the file is written in place and keeps its owner.
TEST_F(ProfileFiles, FileWhoseOwnerCannotBeKeptIsWrittenInPlace) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to make a file of another user";
  const auto path = folder / "shared.dat";
  WriteBytes(path, "[S]\r\nk=1\r\n");
  ASSERT_EQ(::chown(path.c_str(), kOtherGroup, kOtherGroup), 0);
  std::filesystem::permissions(path, std::filesystem::perms::all & ~std::filesystem::perms::owner_exec &
                                         ~std::filesystem::perms::group_exec & ~std::filesystem::perms::others_exec);
  const ino_t inode = Inode(path);
  const int result = AsUnprivileged(folder.path(), [&] { return WriteProfileString("S", "k", "2", path) ? 0 : 1; });
  ASSERT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(path), "[S]\r\nk=2\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kOtherGroup);
  EXPECT_EQ(st.st_gid, kOtherGroup);
  EXPECT_EQ(st.st_mode & 07777, 0666u);
  EXPECT_EQ(st.st_ino, inode);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"shared.dat"});
}

// A file of a group the saver belongs to keeps its group (and its mode); the new file is
// renamed over it.
TEST_F(ProfileFiles, GroupOfASharedFileIsKept) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file another group";
  const auto path = folder / "group.dat";
  WriteBytes(path, "[S]\r\nk=1\r\n");
  ASSERT_EQ(::chown(path.c_str(), kUnprivilegedUser, kOtherGroup), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0660), 0);
  const ino_t inode = Inode(path);
  const int result = AsUnprivileged(
      folder.path(), [&] { return WriteProfileString("S", "k", "2", path) ? 0 : 1; }, {kOtherGroup});
  ASSERT_EQ(result, 0);
  EXPECT_EQ(ReadBytes(path), "[S]\r\nk=2\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kUnprivilegedUser);
  EXPECT_EQ(st.st_gid, kOtherGroup);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  EXPECT_NE(st.st_ino, inode);  // replaced, not written in place
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"group.dat"});
}

TEST_F(ProfileFiles, ExtendedAttributesAreKept) {
  const auto path = folder / "unit.dat";
  WriteBytes(path, "[S]\r\nk=1\r\n");
  const std::string note = "checked by the factory";
  if (::setxattr(path.c_str(), "user.note", note.data(), note.size(), 0) != 0)
    GTEST_SKIP() << "this file system keeps no user attributes";
  ASSERT_TRUE(WriteProfileString("S", "k", "2", path));
  EXPECT_EQ(ReadBytes(path), "[S]\r\nk=2\r\n");
  std::string value(64, '\0');
  const ssize_t size = ::getxattr(path.c_str(), "user.note", value.data(), value.size());
  ASSERT_GT(size, 0);
  EXPECT_EQ(value.substr(0, static_cast<std::size_t>(size)), note);
}

}  // namespace
