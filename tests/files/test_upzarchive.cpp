// ExtractArchive, ReadArchiveDirectory and ArchiveErrorText on archives built here.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "files/upzarchive.h"
#include "tests/files/implodewriter.h"
#include "tests/files/upzbuilder.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

class Recorder : public ArchiveProgress {
 public:
  void ArchiveNotification(unsigned notification, std::int32_t value) override {
    seen.emplace_back(notification, value);
  }
  std::vector<std::pair<unsigned, std::int32_t>> seen;
};

// A scratch folder per test: the archive beside an "out" folder to extract into.
class UpzArchive : public testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quellso-upz-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    root_ = tmpl;
    out_ = root_ / "out";
    fs::create_directory(out_);
  }
  void TearDown() override { fs::remove_all(root_); }

  fs::path Archive(const Bytes& bytes) {
    const fs::path path = root_ / "order.upz";
    WriteFile(path, bytes);
    return path;
  }

  ArchiveResult Extract(const fs::path& archive,
                        std::optional<std::string_view> member = std::nullopt) {
    UpzHeader expected = UpzHeader::Expected();
    std::string folder = out_.string();
    return ExtractArchive(expected, archive, folder, member, &progress_);
  }

  // Names of everything in the output folder.
  std::set<std::string> Extracted() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(out_)) names.insert(e.path().filename().string());
    return names;
  }

  std::string Text(const std::string& name) const { return ReadFileText(out_ / name); }

  fs::path root_;
  fs::path out_;
  Recorder progress_;
};

// ---- Results and texts ------------------------------------------------------------------

TEST(ArchiveErrorText, EveryCode) {
  const std::pair<int, const char*> rows[] = {
      {0, "Can't open destination file:"},
      {1, "Can't open source file"},
      {2, "Error writing to file"},
      {3, "Error reading file"},
      {4, "No Error"},
      {5, "Not enough memory"},
      {6, "Unknown file type"},
      {7, "Invalid context"},
      {8, "Archive file is corrupted"},
      {9, "Archive format has changed since this was created"},
      {10, "Archive expands to more than 256 MiB"},
      {11, "Archive holds more than 10000 members"},
      {12, "Unknown error code"},
      {-1, "Unknown error code"},
  };
  for (const auto& [code, text] : rows) EXPECT_EQ(ArchiveErrorText(code), text) << code;
  EXPECT_EQ(ArchiveErrorText(ArchiveResult::kCorrupted), "Archive file is corrupted");
}

TEST_F(UpzArchive, ExtractsEveryMemberAndReportsProgress) {
  const std::string data = "[Job]\r\nJobName=North plant\r\n";
  const fs::path archive = Archive(BuildUpz({{"LTCUNIT.DAT", Compressed(data)},
                                             {"notes.txt", Compressed(std::string(5000, 'n'))}},
                                            {.headerBlock = {'B', 'L', 'K'}}));
  UpzHeader expected = UpzHeader::Expected();
  std::string folder = out_.string();
  EXPECT_EQ(ExtractArchive(expected, archive, folder, std::nullopt, &progress_),
            ArchiveResult::kNoError);
  EXPECT_EQ(folder, out_.string() + "/");  // the trailing '/' is added for the caller
  EXPECT_EQ(Extracted(), (std::set<std::string>{"LTCUNIT.DAT", "notes.txt"}));
  EXPECT_EQ(Text("LTCUNIT.DAT"), data);
  EXPECT_EQ(Text("notes.txt"), std::string(5000, 'n'));
  EXPECT_EQ(progress_.seen,
            (std::vector<std::pair<unsigned, std::int32_t>>{{10287, 2}, {10288, 0}, {10288, 1}}));
  // The header block reaches the expected header; signature and version stay.
  EXPECT_EQ(expected.bytes[6], 'B');
  EXPECT_EQ(expected.bytes[8], 'K');
  EXPECT_EQ(expected.Signature(), "upl");
  EXPECT_EQ(expected.Version(), 2);

  std::vector<UpzEntry> entries;
  EXPECT_EQ(ReadArchiveDirectory(archive, entries), ArchiveResult::kNoError);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "LTCUNIT.DAT");
  EXPECT_EQ(entries[0].dataOffset, 210u + 2 * 21);
  EXPECT_EQ(entries[0].storedSize, Compressed(data).size());
  EXPECT_EQ(entries[1].name, "notes.txt");
  EXPECT_EQ(entries[1].dataOffset, entries[0].dataOffset + entries[0].storedSize);
}

TEST_F(UpzArchive, WorksWithoutProgressTargetAndWithTrailingSlash) {
  const fs::path archive = Archive(BuildUpz({{"a.txt", Compressed("alpha")}}));
  UpzHeader expected = UpzHeader::Expected();
  std::string folder = out_.string() + "/";
  EXPECT_EQ(ExtractArchive(expected, archive, folder), ArchiveResult::kNoError);
  EXPECT_EQ(folder, out_.string() + "/");
  EXPECT_EQ(Text("a.txt"), "alpha");
}

TEST_F(UpzArchive, EmptyDestinationFolderMeansTheCurrentFolder) {
  const fs::path archive = Archive(BuildUpz({{"here.txt", Compressed("here")}}));
  const fs::path before = fs::current_path();
  fs::current_path(out_);
  UpzHeader expected = UpzHeader::Expected();
  std::string folder;
  const ArchiveResult result = ExtractArchive(expected, archive, folder);
  fs::current_path(before);
  EXPECT_EQ(result, ArchiveResult::kNoError);
  EXPECT_EQ(folder, "");
  EXPECT_EQ(Text("here.txt"), "here");
}

TEST_F(UpzArchive, MemberNameSelectsWithoutRegardToCase) {
  const fs::path archive = Archive(
      BuildUpz({{"a.txt", Compressed("alpha")}, {"LtcUnit.Dat", Compressed("unit")}}));
  EXPECT_EQ(Extract(archive, "LTCUNIT.DAT"), ArchiveResult::kNoError);
  EXPECT_EQ(Extracted(), std::set<std::string>{"LtcUnit.Dat"});
  EXPECT_EQ(progress_.seen.size(), 3u);  // every entry is still announced
}

struct HeaderCase {
  const char* name;
  UpzLayout layout;
  ArchiveResult result;
};

class UpzArchiveHeader : public UpzArchive, public testing::WithParamInterface<HeaderCase> {};

TEST_P(UpzArchiveHeader, IsChecked) {
  const fs::path archive = Archive(BuildUpz({{"a.txt", Compressed("alpha")}}, GetParam().layout));
  EXPECT_EQ(Extract(archive), GetParam().result);
  EXPECT_TRUE(Extracted().empty());
  std::vector<UpzEntry> entries;
  EXPECT_EQ(ReadArchiveDirectory(archive, entries), GetParam().result);
  EXPECT_TRUE(entries.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Headers, UpzArchiveHeader,
    testing::Values(HeaderCase{"upper_case_signature", {.signature = "UPL"},
                               ArchiveResult::kUnknownFileType},
                    HeaderCase{"signature_without_zero", {.signature = "uplx"},
                               ArchiveResult::kUnknownFileType},
                    HeaderCase{"other_signature", {.signature = "PK\x03\x04"},
                               ArchiveResult::kUnknownFileType},
                    HeaderCase{"version_1", {.version = 1}, ArchiveResult::kFormatChanged},
                    HeaderCase{"version_258", {.version = 258}, ArchiveResult::kFormatChanged},
                    HeaderCase{"header_of_209_bytes", {.cutAt = 209}, ArchiveResult::kReadError},
                    HeaderCase{"empty_file", {.cutAt = 0}, ArchiveResult::kReadError}),
    [](const testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST_F(UpzArchive, MissingArchiveOrFolderCannotBeOpened) {
  EXPECT_EQ(Extract(root_ / "missing.upz"), ArchiveResult::kCantOpenSource);
  EXPECT_EQ(Extract(out_), ArchiveResult::kCantOpenSource);
  EXPECT_TRUE(progress_.seen.empty());
}

TEST_F(UpzArchive, EntryCountOfZeroOrLessExtractsNothing) {
  for (std::int32_t count : {0, -1, -2147483647 - 1}) {
    progress_.seen.clear();
    const fs::path archive = Archive(BuildUpz({}, {.entryCount = count}));
    ASSERT_EQ(fs::file_size(archive), 210u);
    EXPECT_EQ(Extract(archive), ArchiveResult::kNoError) << count;
    EXPECT_TRUE(Extracted().empty());
    EXPECT_EQ(progress_.seen, (std::vector<std::pair<unsigned, std::int32_t>>{{10287, count}}));
  }
}

// ---- Members ----------------------------------------------------------------------------

TEST_F(UpzArchive, StoredSizeZeroGivesAnEmptyFile) {
  const fs::path archive = Archive(BuildUpz({{"LTCUNIT.DAT", {}}}));
  fs::create_directories(out_);
  WriteFile(out_ / "LTCUNIT.DAT", {'o', 'l', 'd'});  // truncated, as a new file would be
  EXPECT_EQ(Extract(archive), ArchiveResult::kNoError);
  EXPECT_EQ(Extracted(), std::set<std::string>{"LTCUNIT.DAT"});
  EXPECT_EQ(Text("LTCUNIT.DAT"), "");
}

TEST_F(UpzArchive, StoredSizeOfOneToFourIsCorrupted) {
  for (std::uint32_t size = 1; size <= 4; ++size) {
    const fs::path archive =
        Archive(BuildUpz({{"a.txt", Compressed("alpha"), std::nullopt, size}}));
    EXPECT_EQ(Extract(archive), ArchiveResult::kCorrupted) << size;
    EXPECT_EQ(Text("a.txt"), "") << size;  // created, and nothing decoded
  }
}

TEST_F(UpzArchive, DecoderNeverSeesPastTheStoredSize) {
  // The first member's stream is followed by the second's; with the first's stored size cut
  // short by one byte, its end code is out of reach although the file goes on.
  const Bytes first = Compressed("first member text");
  const fs::path archive = Archive(BuildUpz(
      {{"a.txt", first, std::nullopt, static_cast<std::uint32_t>(first.size() - 1)},
       {"b.txt", Compressed("second")}}));
  EXPECT_EQ(Extract(archive), ArchiveResult::kCorrupted);
  EXPECT_EQ(Extracted(), std::set<std::string>{"a.txt"});  // partial output stays
}

TEST_F(UpzArchive, StoredSizePastTheEndOfTheFile) {
  const Bytes stream = Compressed(std::string(3000, 'z') + "tail");
  // Larger than the file, but the whole stream is there: the end code is reached.
  EXPECT_EQ(Extract(Archive(BuildUpz({{"whole.txt", stream, std::nullopt, 1000000}}))),
            ArchiveResult::kNoError);
  EXPECT_EQ(Text("whole.txt"), std::string(3000, 'z') + "tail");
  // The stream itself cut by the end of the file: what is there is decoded, then 8.
  const Bytes cut(stream.begin(), stream.end() - 2);
  EXPECT_EQ(Extract(Archive(BuildUpz({{"cut.txt", cut, std::nullopt, 1000000}}))),
            ArchiveResult::kCorrupted);
  EXPECT_EQ(Text("cut.txt").substr(0, 100), std::string(100, 'z'));
}

TEST_F(UpzArchive, DataOffsetPastTheEndOfTheFileIsCorrupted) {
  EXPECT_EQ(Extract(Archive(BuildUpz({{"a.txt", Compressed("alpha"), 0x7FFFFFF0}}))),
            ArchiveResult::kCorrupted);
}

TEST_F(UpzArchive, DirectoryEndingEarlyKeepsTheMembersBefore) {
  // Count 3, file ends after the second entry.  The members' data lies in the header block.
  const Bytes stream = Compressed("in the header block");
  ASSERT_LT(stream.size(), 190u);
  UpzLayout layout{.entryCount = 3, .headerBlock = stream, .cutAt = 210 + 2 * 21};
  const fs::path archive = Archive(BuildUpz(
      {{"a.txt", {}, 6, static_cast<std::uint32_t>(stream.size())}, {"b.txt", {}}, {"c.txt", {}}},
      layout));
  EXPECT_EQ(Extract(archive), ArchiveResult::kReadError);
  EXPECT_EQ(Extracted(), (std::set<std::string>{"a.txt", "b.txt"}));
  EXPECT_EQ(Text("a.txt"), "in the header block");
  EXPECT_EQ(progress_.seen.back(), std::make_pair(10288u, std::int32_t{2}));

  std::vector<UpzEntry> entries;
  EXPECT_EQ(ReadArchiveDirectory(archive, entries), ArchiveResult::kReadError);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "a.txt");
  EXPECT_EQ(entries[0].dataOffset, 6u);
  EXPECT_EQ(entries[0].storedSize, stream.size());
  EXPECT_EQ(entries[1].storedSize, 0u);
}

TEST_F(UpzArchive, LaterDuplicateReplacesEarlier) {
  EXPECT_EQ(Extract(Archive(BuildUpz({{"same.txt", Compressed("first, longer text")},
                                      {"same.txt", Compressed("second")}}))),
            ArchiveResult::kNoError);
  EXPECT_EQ(Text("same.txt"), "second");
}

// Keeping what was there: a file of a member's name that was in the folder before is never
// opened for writing, while the extraction's own file of a repeated name is replaced as ever.
// What a refused archive takes back is only what it created.
TEST_F(UpzArchive, KeepLeavesFilesThatWereThereBefore) {
  WriteFile(out_ / "mine.txt", {'k', 'e', 'e', 'p'});
  UpzHeader expected = UpzHeader::Expected();
  std::string folder = out_.string();
  EXPECT_EQ(ExtractArchive(expected,
                           Archive(BuildUpz({{"same.txt", Compressed("first, longer text")},
                                             {"same.txt", Compressed("second")},
                                             {"mine.txt", Compressed("overwritten")}})),
                           folder, std::nullopt, nullptr, ExistingFiles::kKeep),
            ArchiveResult::kCantOpenDestination);
  EXPECT_EQ(Text("same.txt"), "second");
  EXPECT_EQ(Text("mine.txt"), "keep");

  // Replacing: the file that was there is replaced, and stays when the archive is refused.
  fs::remove(out_ / "same.txt");
  EXPECT_EQ(Extract(Archive(BuildUpz({{"mine.txt", Compressed("replaced")},
                                      {"new.txt", Compressed("created")},
                                      {"big.txt", ImplodedRun(256 * 1024 * 1024 + 1)}}))),
            ArchiveResult::kTooLarge);
  EXPECT_EQ(Extracted(), std::set<std::string>{"mine.txt"});
  EXPECT_EQ(Text("mine.txt"), "replaced");
}

TEST_F(UpzArchive, NamesCannotLeaveTheDestinationFolder) {
  const fs::path archive = Archive(BuildUpz({
      {"../../x1", Compressed("1")},
      {"/etc/x2", Compressed("2")},
      {"..\\x3", Compressed("3")},
      {"a/b\\x4", Compressed("4")},
      {".", Compressed("dot")},
      {"..", Compressed("dotdot")},
      {"../..", Compressed("up")},
      {"dir/", Compressed("slash")},
      {"", Compressed("empty")},
      {"0123456789abcdef", Compressed("long")},  // 13 bytes kept, no zero byte
  }));
  EXPECT_EQ(Extract(archive), ArchiveResult::kNoError);
  EXPECT_EQ(Extracted(), (std::set<std::string>{"x1", "x2", "x3", "x4", "0123456789abc"}));
  EXPECT_EQ(Text("x1"), "1");
  EXPECT_EQ(Text("x3"), "3");
  // Nothing beside the archive and the output folder.
  std::set<std::string> rootNames;
  for (const auto& e : fs::directory_iterator(root_)) rootNames.insert(e.path().filename().string());
  EXPECT_EQ(rootNames, (std::set<std::string>{"order.upz", "out"}));
  EXPECT_FALSE(fs::exists(root_.parent_path() / "x1"));
}

TEST_F(UpzArchive, NeverWritesThroughALinkOrIntoAFolder) {
  const fs::path victim = root_ / "victim.txt";
  WriteFile(victim, {'k', 'e', 'e', 'p'});
  fs::create_symlink(victim, out_ / "link.txt");
  EXPECT_EQ(Extract(Archive(BuildUpz({{"link.txt", Compressed("overwritten")}}))),
            ArchiveResult::kCantOpenDestination);
  EXPECT_EQ(ReadFileText(victim), "keep");

  fs::create_directory(out_ / "sub");
  EXPECT_EQ(Extract(Archive(BuildUpz({{"sub", Compressed("x")}}))),
            ArchiveResult::kCantOpenDestination);
  ASSERT_EQ(::mkfifo((out_ / "pipe").c_str(), 0600), 0);
  EXPECT_EQ(Extract(Archive(BuildUpz({{"pipe", Compressed("x")}}))),
            ArchiveResult::kCantOpenDestination);
}

TEST_F(UpzArchive, MissingDestinationFolderCannotBeWritten) {
  const fs::path archive = Archive(BuildUpz({{"a.txt", Compressed("alpha")}}));
  UpzHeader expected = UpzHeader::Expected();
  std::string folder = (root_ / "no" / "such").string();
  EXPECT_EQ(ExtractArchive(expected, archive, folder), ArchiveResult::kCantOpenDestination);
}

TEST_F(UpzArchive, FailedWriteIsReportedNotPassedForSuccess) {
  // A file size limit makes writes past 1000 bytes fail, as a full disk would.
  const fs::path archive = Archive(BuildUpz({{"big.txt", Compressed(std::string(20000, 'b'))}}));
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const ArchiveResult result = Extract(archive);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(result, ArchiveResult::kWriteError);
}

// ---- Limits -----------------------------------------------------------------------------

constexpr std::uint64_t kMiB = 1024 * 1024;

struct LimitCase {
  const char* name;
  std::vector<UpzMember> (*members)();
  ArchiveResult result;
  std::set<std::string> extracted;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class UpzArchiveLimits : public UpzArchive, public testing::WithParamInterface<LimitCase> {};

// Order archives hold a few members of a few hundred KB.  More than 10000 members is
// refused before anything is written; members that expand beyond 256 MiB together are
// refused as the decoding passes the limit, and what the extraction wrote is removed.
TEST_P(UpzArchiveLimits, AreCountedWhileExtracting) {
  const fs::path archive = Archive(BuildUpz(GetParam().members()));
  EXPECT_EQ(Extract(archive), GetParam().result);
  EXPECT_EQ(Extracted(), GetParam().extracted);
  for (const std::string& name : Extracted()) fs::remove(out_ / name);
}

std::vector<UpzMember> Copies(std::size_t count, const UpzMember& member) { return std::vector<UpzMember>(count, member); }

INSTANTIATE_TEST_SUITE_P(
    Limits, UpzArchiveLimits,
    testing::Values(
        LimitCase{"TenThousandMembers", [] { return Copies(10000, {"same.txt", {}}); }, ArchiveResult::kNoError,
                  {"same.txt"}},
        LimitCase{"MoreThanTenThousandMembers", [] { return Copies(10001, {"same.txt", {}}); },
                  ArchiveResult::kTooManyMembers, {}},
        LimitCase{"ExpandsToTheLimit", [] { return std::vector<UpzMember>{{"big.txt", ImplodedRun(256 * kMiB)}}; },
                  ArchiveResult::kNoError, {"big.txt"}},
        LimitCase{"ExpandsPastTheLimit",
                  [] {
                    return std::vector<UpzMember>{{"first.txt", Compressed("written, then taken back")},
                                                  {"big.txt", ImplodedRun(256 * kMiB + 1)},
                                                  {"after.txt", Compressed("never reached")}};
                  },
                  ArchiveResult::kTooLarge, {}},
        LimitCase{"MembersTogetherPastTheLimit",
                  [] {
                    return std::vector<UpzMember>{{"a.txt", ImplodedRun(200 * kMiB)}, {"b.txt", ImplodedRun(57 * kMiB)}};
                  },
                  ArchiveResult::kTooLarge, {}},
        LimitCase{"OneNameOverAndOver", [] { return Copies(3, {"same.txt", ImplodedRun(100 * kMiB)}); },
                  ArchiveResult::kTooLarge, {}}),
    [](const testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST_F(UpzArchive, DirectoryOfMoreThanTenThousandMembersIsNotRead) {
  std::vector<UpzEntry> entries;
  EXPECT_EQ(ReadArchiveDirectory(Archive(BuildUpz(Copies(10001, {"a", {}}))), entries),
            ArchiveResult::kTooManyMembers);
  EXPECT_TRUE(entries.empty());
  EXPECT_EQ(ReadArchiveDirectory(Archive(BuildUpz(Copies(10000, {"a", {}}))), entries), ArchiveResult::kNoError);
  EXPECT_EQ(entries.size(), 10000u);
}

TEST_F(UpzArchive, HandBuiltMemberInAsciiMode) {
  const Bytes stream = ImplodeWriter(1, 4).Literals({'O', 'K'}).Match(6, 2).End().Bytes();
  EXPECT_EQ(Extract(Archive(BuildUpz({{"ascii.txt", stream}}))), ArchiveResult::kNoError);
  EXPECT_EQ(Text("ascii.txt"), "OKOKOKOK");
}

TEST(MemberFileName, KeepsTheLastComponentOnly) {
  const std::pair<const char*, const char*> rows[] = {
      {"LTCUNIT.DAT", "LTCUNIT.DAT"}, {"../../x", "x"}, {"/etc/x", "x"},   {"..\\x", "x"},
      {"c:\\dir\\f.dat", "f.dat"},    {".", ""},        {"..", ""},         {"a/..", ""},
      {"dir/", ""},                   {"", ""},         {"...", "..."},     {"a b", "a b"},
  };
  for (const auto& [stored, name] : rows) EXPECT_EQ(MemberFileName(stored), name) << stored;
}

}  // namespace
