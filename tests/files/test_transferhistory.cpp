// The transfer history: lines written and read back exactly, damaged lines skipped, the lock
// between two programs, the rollover, and a full or closed disk reported before anything is
// lost.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "files/transferhistory.h"
#include "tests/files/filetestsupport.h"

namespace {

namespace fs = std::filesystem;

// An entry of every kind of value: padding, the code page's own characters, an undefined
// byte, control characters, quotes and backslashes.
TransferEntry SampleEntry(std::string_view job = "Pier 9 Chiller") {
  TransferEntry entry;
  entry.id = NewTransferId();
  entry.time = HistoryTimeNow();
  entry.operation = transfer::kSend;
  entry.source = transfer::kFromTool;
  entry.user = "tech";
  entry.host = "station4";
  entry.program = "1.0.8";
  entry.port = "COM1";
  entry.device = "/dev/ttyUSB0";
  entry.units = "english";
  entry.result = transfer::kOk;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    entry.found.Set(slot, "old " + std::to_string(slot) + "        ");
    entry.written.Set(slot, "new " + std::to_string(slot) + "        ");
    entry.readBack.Set(slot, "new " + std::to_string(slot) + "        ");
  }
  entry.written.Set(2, std::string(job) + "      ");
  entry.readBack.Set(2, std::string(job) + "      ");
  entry.written.Set(6, "PS-1001         ");
  entry.readBack.Set(6, "PS-1001         ");
  entry.written.Set(9, "\x80 \x93quoted\x94 \"\\ tab\there\x81\x9d\x7f\x01");
  entry.readBack.Clear(40);
  entry.missing = {40};
  return entry;
}

bool SameEntry(const TransferEntry& a, const TransferEntry& b) { return EncodeTransferLine(a) == EncodeTransferLine(b); }

TEST(TransferLine, KeepsEveryValueExactly) {
  const TransferEntry entry = SampleEntry();
  const std::string line = EncodeTransferLine(entry);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  const std::optional<TransferEntry> back = DecodeTransferLine(line);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->found, entry.found);
  EXPECT_EQ(back->written, entry.written);
  EXPECT_EQ(back->readBack, entry.readBack);
  EXPECT_EQ(back->missing, entry.missing);
  EXPECT_TRUE(SameEntry(*back, entry));
  // Every key, in its order, and the values in UTF-8 with control characters escaped.
  std::size_t at = 0;
  for (const char* key : {"\"v\":1", "\"id\"", "\"time\"", "\"operation\":\"send\"", "\"source\":\"tool\"", "\"user\"",
                          "\"host\"", "\"program\"", "\"port\"", "\"device\"", "\"units\"", "\"result\":\"ok\"",
                          "\"found\"", "\"written\"", "\"read_back\"", "\"values\":{}", "\"missing\":[40]"}) {
    const std::size_t found = line.find(key, at);
    ASSERT_NE(found, std::string::npos) << key << " in " << line;
    at = found;
  }
  EXPECT_NE(line.find("\"Tons\":\"\u20ac \u201cquoted\u201d \\\"\\\\ tab\\u0009here\\u0081\\u009d\\u007f\\u0001\""),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("\"PanelSerialNumber\":\"PS-1001         \""), std::string::npos);
}

TEST(TransferLine, RefusesWhatIsNoEntry) {
  const std::string good = EncodeTransferLine(SampleEntry());
  struct Row {
    const char* what;
    std::string line;
  };
  const Row rows[] = {
      {"cut short", good.substr(0, good.size() / 2)},
      {"not JSON", "hello"},
      {"an array", "[1,2]"},
      {"another version", "{\"v\":2,\"id\":\"a\",\"operation\":\"get\"}"},
      {"no version", "{\"id\":\"a\",\"operation\":\"get\"}"},
      {"no id", "{\"v\":1,\"operation\":\"get\"}"},
      {"no operation", "{\"v\":1,\"id\":\"a\"}"},
      {"a bad escape", "{\"v\":1,\"id\":\"a\\q\",\"operation\":\"get\"}"},
      {"a lone surrogate", "{\"v\":1,\"id\":\"a\",\"operation\":\"get\",\"values\":{\"Tons\":\"\\ud800\"}}"},
      {"a character the code page lacks", "{\"v\":1,\"id\":\"a\",\"operation\":\"get\",\"values\":{\"Tons\":\"\u03a9\"}}"},
      {"a value that is no text", "{\"v\":1,\"id\":\"a\",\"operation\":\"get\",\"values\":{\"Tons\":12}}"},
      {"trailing bytes", "{\"v\":1,\"id\":\"a\",\"operation\":\"get\"} x"},
      {"a raw line break in a string", "{\"v\":1,\"id\":\"a\n\",\"operation\":\"get\"}"},
      {"nested too deep", "{\"v\":1,\"id\":\"a\",\"operation\":\"get\",\"x\":" + std::string(100, '[') +
                              std::string(100, ']') + "}"},
  };
  for (const Row& row : rows) EXPECT_FALSE(DecodeTransferLine(row.line)) << row.what;
  // Keys the program does not know, and members the record does not have, are passed over.
  const std::optional<TransferEntry> extra = DecodeTransferLine(
      "{\"v\":1,\"id\":\"a\",\"operation\":\"get\",\"later\":{\"x\":[1,2.5e3,true,null]},\"values\":{\"Tons\":\"5\","
      "\"NoSuchMember\":\"x\"}}");
  ASSERT_TRUE(extra);
  EXPECT_EQ(extra->values[9], "5");
  EXPECT_EQ(extra->values.Count(), 1);
}

class HistoryFiles : public ::testing::Test {
 protected:
  TempFolder folder;
  TransferHistory history{folder.path() / "state" / "quellso"};
};

TEST_F(HistoryFiles, AppendsLinesAndReadsThemBack) {
  const TransferEntry first = SampleEntry("First");
  const TransferEntry second = SampleEntry("Second");
  ASSERT_TRUE(history.Append(first));
  ASSERT_TRUE(history.Append(second));
  EXPECT_EQ(fs::status(history.Folder()).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::status(history.FilePath()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  const std::string bytes = ReadBytes(history.FilePath());
  EXPECT_EQ(bytes, EncodeTransferLine(first) + "\n" + EncodeTransferLine(second) + "\n");
  const HistoryReading reading = history.Read();
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_TRUE(SameEntry(reading.entries[0], first));
  EXPECT_TRUE(SameEntry(reading.entries[1], second));
  EXPECT_EQ(reading.damaged, 0);
  EXPECT_TRUE(reading.status);
}

// A send records its as-found values before writing; its end replaces that line when read,
// and one that never ends stays as interrupted.
TEST_F(HistoryFiles, ASendIsRecordedBeforeItWritesAndAgainWhenItEnds) {
  TransferRecorder ended(history, transfer::kSend, transfer::kFromWindow, {"COM1", "/dev/ttyS0"}, "metric");
  ended.Entry().found.Set(2, "Before");
  ASSERT_TRUE(ended.RecordBeforeWriting());
  TransferRecorder killed(history, transfer::kSend, transfer::kFromTool, {"/dev/ttyUSB0", "/dev/ttyUSB0"}, "english");
  killed.Entry().found.Set(2, "Kept");
  ASSERT_TRUE(killed.RecordBeforeWriting());
  ended.Entry().written.Set(2, "After");
  ASSERT_TRUE(ended.Finish(transfer::kOk));

  const HistoryReading reading = history.Read();
  ASSERT_EQ(reading.entries.size(), 2u);
  const TransferEntry& a = reading.entries[0];
  EXPECT_EQ(a.id, ended.Entry().id);
  EXPECT_EQ(a.result, "ok");
  EXPECT_EQ(a.found[2], "Before");
  EXPECT_EQ(a.written[2], "After");
  EXPECT_EQ(a.source, "window");
  EXPECT_EQ(a.units, "metric");
  EXPECT_EQ(a.port, "COM1");
  EXPECT_EQ(a.device, "/dev/ttyS0");
  EXPECT_FALSE(a.user.empty());
  EXPECT_FALSE(a.host.empty());
  EXPECT_EQ(a.program, "1.0.8");
  EXPECT_EQ(a.time.size(), 24u);
  EXPECT_EQ(a.time.back(), 'Z');
  EXPECT_EQ(reading.entries[1].result, "interrupted");
  EXPECT_EQ(reading.entries[1].found[2], "Kept");
}

TEST_F(HistoryFiles, SkipsDamagedLinesAndNeverGluesANewLineToACutOne) {
  ASSERT_TRUE(history.Append(SampleEntry("One")));
  const std::string cut = EncodeTransferLine(SampleEntry("Cut"));
  {
    std::ofstream out(history.FilePath(), std::ios::binary | std::ios::app);
    out << "garbage\n\n   \n{\"v\":1}\r\n" << cut.substr(0, 200);  // a line cut short, no line end
  }
  ASSERT_TRUE(history.Append(SampleEntry("Two")));
  const HistoryReading reading = history.Read();
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.entries[0].Shown(2), "One");
  EXPECT_EQ(reading.entries[1].Shown(2), "Two");
  EXPECT_EQ(reading.damaged, 3);
}

TEST_F(HistoryFiles, TwoProgramsAppendingAtOnceLoseNoLine) {
  constexpr int kEach = 150;
  EXPECT_TRUE(InTwoProcessesAtOnce([&](const std::string& who) {
    int failed = 0;
    for (int i = 0; i < kEach; ++i) failed += !history.Append(SampleEntry(who + std::to_string(i)));
    return failed == 0 ? 0 : 1;
  }));
  const HistoryReading reading = history.Read();
  EXPECT_EQ(reading.damaged, 0);
  ASSERT_EQ(reading.entries.size(), 2u * kEach);
  int a = 0;
  for (const TransferEntry& entry : reading.entries) a += entry.Shown(2).starts_with("a");
  EXPECT_EQ(a, kEach);
}

// Past 16 MiB the file becomes transfers.1.jsonl; the one before that is all that goes.
TEST_F(HistoryFiles, RollsOverKeepingOnePreviousFile) {
  auto fillTo = [&](std::size_t size) {
    std::ofstream out(history.FilePath(), std::ios::binary | std::ios::app);
    const std::size_t now = fs::file_size(history.FilePath());
    out << std::string(size - now, '\n');
  };
  ASSERT_TRUE(history.Append(SampleEntry("A")));
  fillTo(kHistoryRolloverSize - 100);
  ASSERT_TRUE(history.Append(SampleEntry("B")));  // does not fit: A's file becomes the previous one
  EXPECT_EQ(fs::file_size(history.PreviousFilePath()), kHistoryRolloverSize - 100);
  HistoryReading reading = history.Read();
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.entries[0].Shown(2), "A");
  EXPECT_EQ(reading.entries[1].Shown(2), "B");

  fillTo(kHistoryRolloverSize - 100);
  ASSERT_TRUE(history.Append(SampleEntry("C")));
  reading = history.Read();
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.entries[0].Shown(2), "B");
  EXPECT_EQ(reading.entries[1].Shown(2), "C");
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"state"});
  std::vector<std::string> names;
  for (const auto& file : fs::directory_iterator(history.Folder())) names.push_back(file.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"transfers.1.jsonl", "transfers.jsonl", "transfers.lock"}));
}

// A disk that fills up during the write: the failure and its reason reach the caller, and
// no part of the line stays in the file.
TEST_F(HistoryFiles, AFullDiskIsReportedAndLeavesWholeLinesOnly) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  const fs::path mount = folder.path() / "small";
  fs::create_directory(mount);
  if (::mount("tmpfs", mount.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
  struct Unmount {
    fs::path path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mount};

  const TransferHistory small(mount / "quellso");
  ASSERT_TRUE(small.Append(SampleEntry("Kept")));
  const std::string before = ReadBytes(small.FilePath());
  {
    // Fill the disk but for less than a line.
    std::ofstream filler(mount / "filler", std::ios::binary);
    const std::string block(512, 'f');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  // Leave a page or two free, less than the line needs.
  fs::resize_file(mount / "filler", (fs::file_size(mount / "filler") / 4096 - 1) * 4096);
  TransferEntry lost = SampleEntry("Lost");
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) lost.found.Set(slot, std::string(200, 'x'));
  const FileStatus status = small.Append(lost);
  EXPECT_FALSE(status);
  EXPECT_EQ(status.reason, "No space left on device");
  EXPECT_EQ(ReadBytes(small.FilePath()), before);
  fs::remove(mount / "filler");
  ASSERT_TRUE(small.Append(SampleEntry("Later")));
  const HistoryReading reading = small.Read();
  EXPECT_EQ(reading.damaged, 0);
  ASSERT_EQ(reading.entries.size(), 2u);
  EXPECT_EQ(reading.entries[1].Shown(2), "Later");
}

TEST_F(HistoryFiles, AFolderThatCannotBeWrittenIsReported) {
  const fs::path closed = folder.path() / "closed";
  fs::create_directory(closed);
  fs::permissions(closed, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
  const int result = AsUnprivileged(folder.path(), [&] {
    const FileStatus status = TransferHistory(closed / "quellso").Append(SampleEntry());
    return !status && status.reason == "Permission denied" ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(fs::exists(closed / "quellso"));
}

TEST(HistoryFolder, FollowsXdgStateHome) {
  struct Row {
    const char* state;  // nullptr: unset
    const char* home;
    const char* expected;
  };
  const Row rows[] = {
      {"/var/state", "/home/t", "/var/state/quellso"},
      {"relative/state", "/home/t", "/home/t/.local/state/quellso"},  // relative paths are ignored
      {"", "/home/t", "/home/t/.local/state/quellso"},
      {nullptr, "/home/t", "/home/t/.local/state/quellso"},
  };
  const std::string savedState = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
  const bool hadState = std::getenv("XDG_STATE_HOME") != nullptr;
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  for (const Row& row : rows) {
    if (row.state)
      ::setenv("XDG_STATE_HOME", row.state, 1);
    else
      ::unsetenv("XDG_STATE_HOME");
    ::setenv("HOME", row.home, 1);
    EXPECT_EQ(HistoryFolder(), row.expected) << (row.state ? row.state : "(unset)");
  }
  ::setenv("HOME", savedHome.c_str(), 1);
  if (hadState)
    ::setenv("XDG_STATE_HOME", savedState.c_str(), 1);
  else
    ::unsetenv("XDG_STATE_HOME");
}

TEST(HistoryLookups, FindsEntriesByIdOrItsStartAndBySerialNumber) {
  std::vector<TransferEntry> entries(3);
  entries[0].id = "0abc000001";
  entries[1].id = "0abc000002";
  entries[2].id = "0xyz000003";
  entries[0].values.Set(6, "PS-1001         ");
  entries[1].found.Set(7, "  ch-77  ");
  bool ambiguous = false;
  EXPECT_EQ(FindTransfer(entries, "0abc000002"), &entries[1]);
  EXPECT_EQ(FindTransfer(entries, "0x"), &entries[2]);
  EXPECT_EQ(FindTransfer(entries, "0abc", &ambiguous), nullptr);
  EXPECT_TRUE(ambiguous);
  EXPECT_EQ(FindTransfer(entries, "zz", &ambiguous), nullptr);
  EXPECT_FALSE(ambiguous);
  EXPECT_EQ(FindTransfer(entries, ""), nullptr);
  EXPECT_TRUE(HasSerialNumber(entries[0], "ps-1001"));
  EXPECT_TRUE(HasSerialNumber(entries[1], "CH-77 "));
  EXPECT_FALSE(HasSerialNumber(entries[0], "PS-100"));
  EXPECT_FALSE(HasSerialNumber(entries[2], ""));
}

TEST(HistoryIds, AreShortDistinctAndTypeable) {
  std::set<std::string> ids;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = NewTransferId();
    ASSERT_EQ(id.size(), 12u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdefghjkmnpqrstvwxyz"), std::string::npos) << id;
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 2000u);
}

TEST(SerialById, NamesTheLinkThatLeadsToTheDevice) {
  TempFolder root;
  fs::create_directories(root / "dev/serial/by-id");
  WriteBytes(root / "dev/ttyUSB0", "");
  WriteBytes(root / "dev/ttyUSB1", "");
  fs::create_symlink("../../ttyUSB1", root / "dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
  EXPECT_EQ(SerialByIdName("/dev/ttyUSB1", root.path()), "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
  EXPECT_EQ(SerialByIdName("/dev/ttyUSB0", root.path()), "");
  EXPECT_EQ(SerialByIdName("/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0", root.path()),
            "/dev/serial/by-id/usb-FTDI_FT232R_A1-if00-port0");
  EXPECT_EQ(SerialByIdName("/dev/ttyS9", root.path()), "");
}

}  // namespace
