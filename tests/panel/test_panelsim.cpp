// The panel simulator, run as its own process on a pseudo-terminal, talked to by the panel
// link through a raw-termios port on the slave; and its command line, read in-process.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "files/profile.h"
#include "panel/pacing.h"
#include "panel/panellink.h"
#include "panel/transfers.h"
#include "tests/panel/simprocess.h"
#include "tests/panel/test_panellink_support.h"
#include "tools/panelsim/panelsim.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Every wait in this file gives up after this long, so a panel that never answers fails the
// test instead of hanging it.
constexpr auto kWatchdog = kSimWatchdog;

// The program's side of the line, as small as a port gets: the slave device in raw mode,
// 19200 8O1, non-blocking.
class TermiosPort : public TPanelPort {
 public:
  ~TermiosPort() override { Close(); }
  bool Open(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return false;
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CS8 | PARENB | PARODD | CLOCAL | CREAD;
    cfsetispeed(&tio, B19200);
    cfsetospeed(&tio, B19200);
    tcsetattr(fd_, TCSANOW, &tio);
    return true;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  std::int32_t Write(const char* buffer, unsigned long count) override {
    if (fd_ < 0) return -1;
    unsigned long done = 0;
    while (done < count) {
      const ssize_t n = write(fd_, buffer + done, count - done);
      if (n > 0) {
        done += static_cast<unsigned long>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 100);
      } else {
        break;
      }
    }
    return static_cast<std::int32_t>(done);
  }
  std::int32_t InQueCount() override {
    int n = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &n) != 0) return -1;
    return n;
  }
  std::int32_t Read(char* buffer, unsigned long count) override {
    if (fd_ < 0) return -1;
    const ssize_t n = read(fd_, buffer, count);
    return n < 0 ? 0 : static_cast<std::int32_t>(n);
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

class PanelSimTest : public testing::Test {
 protected:
  void SetUp() override { SetSleepHook([](int) {}); }  // the simulator needs no pacing
  void TearDown() override { SetSleepHook(nullptr); }

  // Starts the simulator and opens the device it names.
  void Start(const std::vector<std::string>& args) {
    sim.emplace(args);
    ASSERT_GT(sim->pid(), 0);
    const auto device = sim->ReadLine();
    ASSERT_TRUE(device) << "the simulator printed no device";
    device_ = *device;
    ASSERT_TRUE(port.Open(device_)) << device_ << ": " << std::strerror(errno);
    link.SetPort(&port);
    link.SetOwner(&owner);
  }

  // Reads replies as the program does, until `done` holds or the watchdog fires.
  bool ReadUntil(const std::function<bool()>& done) {
    const auto deadline = Clock::now() + kWatchdog;
    while (!done()) {
      if (Clock::now() > deadline) return false;
      pollfd p{port.fd(), POLLIN, 0};
      poll(&p, 1, 50);
      for (int guard = 0; guard < 1000 && port.InQueCount() > 0; ++guard) {
        while (link.ReadPass()) {
          ++frames_;
          link.ProcessFrame();
        }
      }
    }
    return true;
  }

  void QueryLengths() {
    link.BeginTransfer(TTransferKind::Lengths, AllSlots());
    for (int slot = 1; slot <= kSlotCount; ++slot) {
      link.BuildReadRequest(kFieldObjectType, static_cast<std::uint8_t>(slot), kLengthProperty);
      link.SendFrame();
    }
    ASSERT_TRUE(ReadUntil([&] { return link.LengthsKnown(); }));
  }
  void GetData() {
    link.BuildUnitFrame(kEnglishUnits);
    link.SendFrame();
    link.BeginTransfer(TTransferKind::Values, AllSlots());
    for (int slot = 1; slot <= kSlotCount; ++slot) {
      link.BuildReadRequest(kFieldObjectType, static_cast<std::uint8_t>(slot), kValueProperty);
      link.SendFrame();
    }
  }
  void SendData(int first = 1) {
    link.BuildUnitFrame(kMetricUnits);
    link.SendFrame();
    TSlotSet asked;
    for (int slot = first; slot <= kSlotCount; ++slot) asked.set(static_cast<std::size_t>(slot));
    link.BeginTransfer(TTransferKind::Writes, asked);
    for (int slot = first; slot <= kSlotCount; ++slot) {
      ASSERT_TRUE(link.BuildWriteRequest(kFieldObjectType, static_cast<std::uint8_t>(slot)));
      link.SendFrame();
    }
  }

  std::optional<SimProcess> sim;
  std::string device_;
  int frames_ = 0;  // complete frames read, good or bad
  TermiosPort port;
  UnitDataRecord record;
  TPanelLink link{record};
  RecordingOwner owner;
};

TEST_F(PanelSimTest, TheLengthQueryFillsTheTable) {
  Start({});
  QueryLengths();
  EXPECT_EQ(link.FieldLength(1), 11);
  EXPECT_EQ(link.FieldLength(2), 30);
  EXPECT_EQ(link.FieldLength(3), 30);
  EXPECT_EQ(link.FieldLength(4), 20);
  for (int slot = 5; slot <= kSlotCount; ++slot) EXPECT_EQ(link.FieldLength(slot), 16) << "slot " << slot;
  EXPECT_EQ(owner.Without("arrived"), std::vector<std::string>{});
}

TEST_F(PanelSimTest, TheLengthTableCanBeSet) {
  Start({"--lengths", "all=8,2=24,16=2,41=5"});
  QueryLengths();
  EXPECT_EQ(link.FieldLength(1), 8);
  EXPECT_EQ(link.FieldLength(2), 24);
  EXPECT_EQ(link.FieldLength(16), 2);
  EXPECT_EQ(link.FieldLength(41), 5);
}

TEST_F(PanelSimTest, GetDataReadsTheFortyOneStoredValues) {
  Start({});
  GetData();
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all received") == 1; }));
  EXPECT_STREQ(record.CommissionDate(), "07 DEC 1999");
  EXPECT_EQ(record.PackedCommissionDate(), 99u | 12u << 8 | 7u << 16);
  EXPECT_STREQ(record.JobName(), "Harbour View Offices");
  EXPECT_STREQ(record.Tons(), "500");
  EXPECT_STREQ(record.EvTubeNo(), "T-180");
  EXPECT_EQ(owner.Count("arrived"), 41);
}

TEST_F(PanelSimTest, SendDataWritesWhatReadsBack) {
  Start({"--log"});
  QueryLengths();
  for (int slot = 2; slot <= kSlotCount; ++slot) record.SetSlot(slot, "S" + std::to_string(slot));
  record.SetCommissionDate("03 FEB 2003");
  record.SetJobName("New Job");
  record.SetPower("480 volts, three phase");  // longer than the panel's 16
  SendData();
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all written") == 1; }));
  EXPECT_EQ(owner.Without("arrived"), std::vector<std::string>{"all written"});

  record.ClearRecord();
  record.SetCommissionDate("");
  owner.events.clear();
  GetData();
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all received") == 1; }));
  EXPECT_STREQ(record.CommissionDate(), "03 FEB 2003");
  EXPECT_EQ(std::string(record.JobName()), "New Job" + std::string(22, ' '));  // 30 wide, 29 kept
  EXPECT_EQ(std::string(record.Power()), "480 volts, three");
  EXPECT_EQ(std::string(record.Tons()), "S9" + std::string(14, ' '));

  // The log has one line for each request: 41 lengths, the unit command, 41 writes, ...
  const auto lines = sim->ReadLines(41 + 1 + 41 + 1 + 41);
  ASSERT_EQ(lines.size(), 125u);
  EXPECT_EQ(lines[0], "read slot 1 length -> 11");
  EXPECT_EQ(lines[41], "unit-system Metric -> acknowledged");
  EXPECT_EQ(lines[42], "write slot 1 date 03 FEB 2003 -> accepted");
  EXPECT_EQ(lines[43], "write slot 2 \"New Job" + std::string(23, ' ') + "\" -> accepted");
  EXPECT_EQ(lines[83], "unit-system English -> acknowledged");
  EXPECT_EQ(lines[84], "read slot 1 value -> \"03 FEB 2003\"");
}

TEST_F(PanelSimTest, ARejectedSlotIsReportedAndNotCounted) {
  Start({"--reject", "5:132"});
  SendData(2);  // a blank date: slots 2..41
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("rejected 5 132") == 1; }));
  EXPECT_EQ(owner.Without("arrived"), std::vector<std::string>{"rejected 5 132"});
  EXPECT_EQ(link.State(), TTransferState::Rejected);
  EXPECT_TRUE(link.AnsweredSlots().test(4));  // written before it
  EXPECT_EQ(SlotNumbers(link.RefusedSlots()), std::vector<int>{5});
  EXPECT_EQ(WriteErrorMessage(5, 132), "Sales Order Slot #5 (Varn Order Number): \n\nPanel in Local Mode");
}

TEST_F(PanelSimTest, ASilentPanelAnswersNothing) {
  Start({"--silent", "--log"});
  GetData();
  const auto lines = sim->ReadLines(42);  // logged after each (absent) reply
  ASSERT_EQ(lines.size(), 42u);
  EXPECT_EQ(lines[1], "read slot 1 value -> \"07 DEC 1999\" (silent)");
  EXPECT_EQ(port.InQueCount(), 0);
  EXPECT_TRUE(owner.events.empty());
}

struct FaultCase {
  const char* name;
  std::vector<std::string> args;
  int counted;  // read replies counted out of 41
};

const FaultCase kFaultCases[] = {
    {"AnswerFirstTen", {"--answer-first", "10"}, 9},  // the unit command is the first
    {"DropEveryFifth", {"--drop-every", "5"}, 33},    // replies 5, 10, ... 40 of 42
    {"CorruptEveryFourth", {"--corrupt-every", "4"}, 31},
    {"CorruptAll", {"--corrupt-checksums"}, 0},
    {"NoiseBetweenFrames", {"--noise", "7"}, 41},
    {"Delayed", {"--delay", "1"}, 41},
    {"TrailingCrLf", {"--trailer", "crlf"}, 41},
    {"PacedWithATrailingCr", {"--paced", "--trailer", "0d"}, 41},
    {"StrayStxEveryTenth", {"--stray-stx", "10"}, 37},  // replies 10, 20, 30, 40 of 42 are lost
};

class PanelSimFaultTest : public PanelSimTest, public testing::WithParamInterface<FaultCase> {};

TEST_P(PanelSimFaultTest, ReadsWhatTheFaultyPanelLetsThrough) {
  std::vector<std::string> args = GetParam().args;
  args.push_back("--log");
  Start(args);
  GetData();
  const auto lines = sim->ReadLines(42);
  ASSERT_EQ(lines.size(), 42u);
  // The log says which replies went out; read until they all have arrived.
  int sent = 0;
  for (const auto& line : lines)
    sent += line.find(" (") == std::string::npos || line.find("(checksum spoilt)") != std::string::npos ||
            line.find("(stray STX before it)") != std::string::npos;
  ASSERT_TRUE(ReadUntil([&] { return frames_ == sent; })) << frames_ << " of " << sent << " frames";
  EXPECT_EQ(link.ReplyCount(), GetParam().counted);
  EXPECT_EQ(owner.Count("all received"), GetParam().counted == 41 ? 1 : 0);
}

// A panel that drops replies leaves its transfer with those slots missing; asking again for
// them alone, through the same sequence, completes it.
TEST_F(PanelSimTest, AskingAgainForTheMissingSlotsCompletesATransfer) {
  Start({"--drop-every", "7", "--log"});
  SendReadRequests(link, kEnglishUnits);
  ASSERT_EQ(sim->ReadLines(42).size(), 42u);
  ASSERT_TRUE(ReadUntil([&] { return link.ReplyCount() == 35; })) << link.ReplyCount();
  link.AbandonTransfer();
  // The unit command's acknowledgement is the first reply: replies 7, 14, ... 42 are lost.
  EXPECT_EQ(SlotNumbers(link.MissingSlots()), (std::vector<int>{6, 13, 20, 27, 34, 41}));
  EXPECT_STREQ(record.Tons(), "500");
  EXPECT_EQ(owner.Count("all received"), 0);

  // The panel goes on dropping every 7th reply: the last slot is lost again the second time.
  SendReadRequests(link, kEnglishUnits, link.MissingSlots());
  ASSERT_EQ(sim->ReadLines(7).size(), 7u);
  ASSERT_TRUE(ReadUntil([&] { return link.ReplyCount() == 40; })) << link.ReplyCount();
  link.AbandonTransfer();
  EXPECT_EQ(SlotNumbers(link.MissingSlots()), std::vector<int>{41});
  SendReadRequests(link, kEnglishUnits, link.MissingSlots());
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all received") == 1; })) << link.ReplyCount();
  EXPECT_STREQ(record.EvTubeNo(), "T-180");
  EXPECT_EQ(link.ReplyCount(), kSlotCount);
  EXPECT_EQ(owner.Count("arrived"), 41);
}

// The longest text a slot may have, 255 characters, written and read back whole (the reply
// is 262 bytes before escaping).
TEST_F(PanelSimTest, AValueOf255CharactersTravelsBothWays) {
  Start({"--lengths", "4=255"});
  QueryLengths();
  ASSERT_EQ(link.FieldLength(4), 255);
  record.SetModelNumber(std::string(69, 'M'));
  owner.events.clear();
  TSlotSet model;
  model.set(4);
  SendWriteRequests(link, kEnglishUnits, model);
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all written") == 1; }));
  TSlotValues read;
  SendReadRequests(link, kEnglishUnits, model, &read);
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all received") == 1; }));
  EXPECT_EQ(read[4], std::optional<std::string>(std::string(69, 'M') + std::string(186, ' ')));
  EXPECT_EQ(link.BadFrames(), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, PanelSimFaultTest, testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Once the line has been quiet for a while after a request: the flood first (once), then
// the idle noise after each later request.  The flood comes at the line's speed.
TEST_F(PanelSimTest, AQuietLineGetsItsFloodOnceAndThenIdleNoise) {
  Start({"--log", "--flood", "400", "--idle-noise", "9"});
  link.BuildReadRequest(kFieldObjectType, 2, kLengthProperty);
  link.SendFrame();
  EXPECT_EQ(sim->ReadLine(), "read slot 2 length -> 30");
  const auto flood = sim->ReadLine();
  ASSERT_TRUE(flood);
  long bytes = 0;
  ASSERT_EQ(std::sscanf(flood->c_str(), "flood: %ld random bytes in 400 ms", &bytes), 1) << *flood;
  EXPECT_GT(bytes, kSimLineBytesPerSecond * 400 / 1000 * 9 / 10);
  EXPECT_LE(bytes, kSimLineBytesPerSecond * 400 / 1000 + 1);
  ASSERT_TRUE(ReadUntil([&] { return port.InQueCount() == 0; }));  // whatever the flood left

  std::string noise;
  link.BuildReadRequest(kFieldObjectType, 3, kLengthProperty);
  link.SendFrame();
  EXPECT_EQ(sim->ReadLine(), "read slot 3 length -> 30");
  EXPECT_EQ(sim->ReadLine(), "idle noise: 9 bytes");
  const auto deadline = Clock::now() + kWatchdog;
  while (noise.size() < 8 + 9 && Clock::now() < deadline) {  // the reply (8 bytes), then the noise
    char byte = 0;
    if (port.Read(&byte, 1) == 1) noise += byte;
    else std::this_thread::sleep_for(1ms);
  }
  ASSERT_EQ(noise.size(), 17u);
  EXPECT_EQ(noise.substr(8).find(static_cast<char>(kStx)), std::string::npos);
}

TEST_F(PanelSimTest, SurvivesThePortClosedAndReopenedWithoutSpinning) {
  Start({});
  QueryLengths();
  port.Close();
  // No program holds the slave now: the simulator must wait, not spin on the hang-up.
  const long before = sim->CpuTicks();
  std::this_thread::sleep_for(500ms);
  const long used = sim->CpuTicks() - before;
  EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 5) << "ticks used while nobody held the port";
  ASSERT_TRUE(port.Open(device_));
  GetData();
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all received") == 1; }));
  EXPECT_STREQ(record.JobLocation(), "Portsmouth");
}

// A temporary folder for state files, removed with the test.
class StateDir {
 public:
  StateDir() {
    char pattern[] = "/tmp/quellso-sim-state-XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
  }
  ~StateDir() {
    if (!path_.empty()) std::filesystem::remove_all(path_);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(PanelSimTest, TheStateFileIsLoadedAtStartAndSavedAfterEachWrite) {
  StateDir dir;
  const std::string state = dir.File("panel.dat");
  {
    std::ofstream out(state, std::ios::binary);
    out << "[Job Information]\r\nJob Name=Plant 4\r\n[Panel Simulator]\r\nCommissioning Date=\"03 FEB 2003\"\r\n";
  }
  Start({"--state", state, "--log"});
  GetData();
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all received") == 1; }));
  EXPECT_STREQ(record.JobName(), "Plant 4");
  EXPECT_STREQ(record.CommissionDate(), "03 FEB 2003");
  EXPECT_STREQ(record.JobLocation(), "");              // the file names none
  EXPECT_STREQ(record.PanelSerialNumber(), "PNL-55821");  // a data file carries none: kept
  sim->ReadLines(42);

  QueryLengths();
  record.SetJobName("Plant 5");
  SendData(2);
  ASSERT_TRUE(ReadUntil([&] { return owner.Count("all written") == 1; }));
  sim->ReadLines(41 + 41);  // each line comes after its value was saved
  ProfileDocument saved(ReadFile(state));
  EXPECT_EQ(saved.Find("Job Information", "Job Name"), "Plant 5");
  EXPECT_EQ(saved.Find("Panel Simulator", "Slot 2"), "Plant 5" + std::string(23, ' '));
  EXPECT_EQ(saved.Find("Panel Simulator", "Commissioning Date"), "03 FEB 2003");
}

TEST(PanelSimState, AMissingFileIsCreatedAndAnUnreadableOneEndsTheSimulator) {
  StateDir dir;
  {
    SimProcess sim({"--state", dir.File("new.dat")});
    ASSERT_TRUE(sim.ReadLine());
    EXPECT_NE(ReadFile(dir.File("new.dat")).find("Job Name=Harbour View Offices\r\n"), std::string::npos);
  }
  SimProcess folder({"--state", dir.File("")});
  EXPECT_EQ(folder.ReadLine(), std::nullopt);  // no device named
  ASSERT_TRUE(folder.WaitForExit());
  EXPECT_EQ(WEXITSTATUS(folder.status()), 1);
}

struct StateCase {
  const char* name;
  int slot;
  std::string value;
  std::string loaded;  // what comes back
};

const StateCase kStateCases[] = {
    {"PaddedText", 9, "500             ", "500             "},
    {"PaddedNozzles", 26, "A               ", "A               "},
    {"PowerLongerThanTheCompositeKeeps", 16, "480 volts, three", "480 volts, three"},
    {"LongerThanADataFileKeeps", 2, std::string(40, 'J'), std::string(40, 'J')},
    {"EmptyMotorType", 13, "", ""},
    {"LeadingBlanks", 5, "  SO-1", "  SO-1"},
    {"Quotes", 3, "\"Dock\"", "\"Dock\""},
    {"LineBreaksBecomeBlanks", 8, "R-\r\n22", "R-  22"},
    {"Date", 1, "31 DEC 2155", "31 DEC 2155"},
    {"PanelSerialNumber", 6, "", ""},
    {"ChillerSerialNumber", 7, " CH 7 ", " CH 7 "},
};

class StateRoundTrip : public testing::TestWithParam<StateCase> {};

TEST_P(StateRoundTrip, EveryValueComesBackAsStored) {
  StateDir dir;
  const std::string state = dir.File("panel.dat");
  TPanelSimulator saved{TSimOptions{}};
  saved.SetValue(GetParam().slot, GetParam().value);
  ASSERT_EQ(saved.SaveState(state), "");
  // A second save over the first, as after the next write, keeps the file consistent.
  ASSERT_EQ(saved.SaveState(state), "");

  TSimOptions other;
  TPanelSimulator loaded{other};
  for (int slot = 1; slot <= kSimSlots; ++slot) loaded.SetValue(slot, "?");
  bool existed = false;
  ASSERT_EQ(loaded.LoadState(state, existed), "");
  EXPECT_TRUE(existed);
  const TPanelSimulator samples{TSimOptions{}};
  for (int slot = 1; slot <= kSimSlots; ++slot)
    EXPECT_EQ(loaded.Value(slot), slot == GetParam().slot ? GetParam().loaded : samples.Value(slot)) << "slot " << slot;
}

INSTANTIATE_TEST_SUITE_P(Values, StateRoundTrip, testing::ValuesIn(kStateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PanelSimState, AValueThatNoLongerNeedsItsOwnKeyIsNotLeftStale) {
  StateDir dir;
  const std::string state = dir.File("panel.dat");
  {
    std::ofstream out(state, std::ios::binary);
    out << "; kept\r\n[Design Load Conditions]\r\nTons=1\r\n";
  }
  TPanelSimulator panel{TSimOptions{}};
  panel.SetValue(9, "500   ");
  ASSERT_EQ(panel.SaveState(state), "");
  panel.SetValue(9, "700");
  ASSERT_EQ(panel.SaveState(state), "");
  const std::string bytes = ReadFile(state);
  EXPECT_EQ(bytes.rfind("; kept\r\n", 0), 0u);  // the rest of the file is kept
  TPanelSimulator loaded{TSimOptions{}};
  bool existed = false;
  ASSERT_EQ(loaded.LoadState(state, existed), "");
  EXPECT_EQ(loaded.Value(9), "700");
}

TEST(PanelSimState, AStateFileThatCannotBeReadIsReported) {
  StateDir dir;
  TPanelSimulator panel{TSimOptions{}};
  bool existed = true;
  const std::string error = panel.LoadState(dir.File(""), existed);
  EXPECT_EQ(error.rfind("cannot read the state file ", 0), 0u) << error;
  EXPECT_NE(panel.SaveState(dir.File("")), "");
  EXPECT_EQ(panel.LoadState(dir.File("absent.dat"), existed), "");
  EXPECT_FALSE(existed);
  EXPECT_EQ(panel.Value(2), "Harbour View Offices");  // nothing changed
}

TEST_F(PanelSimTest, EndsCleanlyOnSigint) {
  Start({});
  kill(sim->pid(), SIGINT);
  ASSERT_TRUE(sim->WaitForExit());
  EXPECT_TRUE(WIFEXITED(sim->status()));
  EXPECT_EQ(WEXITSTATUS(sim->status()), 0);
}

TEST(PanelSimCommandLine, HelpAndBadOptions) {
  {
    SimProcess help({"--help"});
    EXPECT_EQ(help.ReadLine(), "Usage: quellso-panel-sim [OPTION]...");
    ASSERT_TRUE(help.WaitForExit());
    EXPECT_EQ(WEXITSTATUS(help.status()), 0);
  }
  {
    SimProcess bad({"--noise", "lots"});
    EXPECT_EQ(bad.ReadLine(), std::nullopt);  // nothing on standard output
    ASSERT_TRUE(bad.WaitForExit());
    EXPECT_EQ(WEXITSTATUS(bad.status()), 2);
  }
  {
    SimProcess missing({"--device", "/nonexistent/ttyX"});
    ASSERT_TRUE(missing.WaitForExit());
    EXPECT_EQ(WEXITSTATUS(missing.status()), 1);
  }
}

struct OptionCase {
  const char* name;
  std::vector<std::string> args;
  const char* error;  // "" when the line is good
};

const OptionCase kOptionCases[] = {
    {"Nothing", {}, ""},
    {"EveryOption", {"--log", "--silent", "--answer-first=3", "--drop-every", "2", "--corrupt-every", "5", "--noise", "4",
                     "--delay", "10", "--reject", "5:132", "--reject=7:128", "--lengths", "1,2,3", "--device", "/dev/ttyS0"},
     ""},
    {"UnknownOption", {"--loud"}, "unknown option \"--loud\""},
    {"MissingValue", {"--delay"}, "--delay needs a number from 0 to 600000"},
    {"NegativeNumber", {"--noise", "-1"}, "--noise needs a number from 0 to 10000"},
    {"HugeNumber", {"--answer-first", "99999999999999999999"}, "--answer-first needs a number from 0 to 100000000"},
    {"DropEveryZero", {"--drop-every", "0"}, "--drop-every needs a number from 1 to 100000000"},
    {"RejectWithoutStatus", {"--reject", "5"}, "--reject needs SLOT:STATUS, a slot 1..41 and a status 1..255"},
    {"RejectSlotZero", {"--reject", "0:132"}, "--reject needs SLOT:STATUS, a slot 1..41 and a status 1..255"},
    {"RejectStatusZero", {"--reject", "5:0"}, "--reject needs SLOT:STATUS, a slot 1..41 and a status 1..255"},
    {"LengthTooLong", {"--lengths", "2=256"}, "--lengths: a length must be a number from 0 to 255: \"2=256\""},
    {"LengthSlotOutside", {"--lengths", "42=5"}, "--lengths: a slot must be a number from 1 to 41: \"42=5\""},
    {"TooManyLengths", {"--lengths", "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1"},
     "--lengths: more than 41 lengths given"},
    {"FlagWithValue", {"--log=yes"}, "--log takes no value"},
    {"StateWithoutAPath", {"--state"}, "--state needs a file path"},
    {"LineFaults", {"--trailer", "crlf", "--paced", "--stray-stx", "3", "--idle-noise=40", "--flood", "10000"}, ""},
    {"TrailerOfHex", {"--trailer", "0D0a03"}, ""},
    {"TrailerUnknown", {"--trailer", "tab"}, "--trailer needs cr, lf, crlf or 1 to 16 hexadecimal byte values (0d0a)"},
    {"TrailerOddDigits", {"--trailer", "0d0"}, "--trailer needs cr, lf, crlf or 1 to 16 hexadecimal byte values (0d0a)"},
    {"TrailerTooLong", {"--trailer", std::string(34, '0')},
     "--trailer needs cr, lf, crlf or 1 to 16 hexadecimal byte values (0d0a)"},
    {"PacedWithValue", {"--paced=1"}, "--paced takes no value"},
    {"IdleNoiseZero", {"--idle-noise", "0"}, "--idle-noise needs a number from 1 to 10000"},
    {"FloodTooLong", {"--flood", "600001"}, "--flood needs a number from 1 to 600000"},
    {"StrayStxZero", {"--stray-stx", "0"}, "--stray-stx needs a number from 1 to 100000000"},
};

class SimOptionTest : public testing::TestWithParam<OptionCase> {};

TEST_P(SimOptionTest, ParsesOrExplains) {
  std::vector<const char*> argv{"quellso-panel-sim"};
  for (const auto& a : GetParam().args) argv.push_back(a.c_str());
  TSimOptions options;
  bool help = true;
  EXPECT_EQ(ParseSimOptions(static_cast<int>(argv.size()), argv.data(), options, help), GetParam().error);
  EXPECT_FALSE(help);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, SimOptionTest, testing::ValuesIn(kOptionCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimOptions, ValuesLandWhereTheySay) {
  const char* argv[] = {"sim", "--answer-first=3", "--reject", "7:128", "--lengths", "1,2,3,9=40", "--delay", "10"};
  TSimOptions options;
  bool help = false;
  ASSERT_EQ(ParseSimOptions(8, argv, options, help), "");
  EXPECT_EQ(options.answerFirst, 3);
  EXPECT_EQ(options.rejects[7], 128);
  EXPECT_EQ(options.rejects[5], 0);
  EXPECT_EQ(options.lengths[1], 1);
  EXPECT_EQ(options.lengths[3], 3);
  EXPECT_EQ(options.lengths[4], 20);  // untouched default
  EXPECT_EQ(options.lengths[9], 40);
  EXPECT_EQ(options.delayMs, 10);

  const char* faults[] = {"sim", "--trailer", "crlf", "--paced", "--stray-stx", "4", "--idle-noise", "6", "--flood", "250"};
  TSimOptions line;
  ASSERT_EQ(ParseSimOptions(10, faults, line, help), "");
  EXPECT_EQ(line.trailer, (std::vector<std::uint8_t>{'\r', '\n'}));
  EXPECT_TRUE(line.paced);
  EXPECT_EQ(line.strayStxEvery, 4);
  EXPECT_EQ(line.idleNoise, 6);
  EXPECT_EQ(line.floodMs, 250);
  const char* hex[] = {"sim", "--trailer=0D0a"};
  ASSERT_EQ(ParseSimOptions(2, hex, line, help), "");
  EXPECT_EQ(line.trailer, (std::vector<std::uint8_t>{0x0D, 0x0A}));
}

TEST(SimOptions, DatesFromPackedBytes) {
  const std::uint8_t feb2003[] = {103, 2, 3, 0};
  EXPECT_EQ(DateFromPacked(feb2003), "03 FEB 2003");
  const std::uint8_t wrapped[] = {255, 12, 31, 0};
  EXPECT_EQ(DateFromPacked(wrapped), "31 DEC 2155");
  const std::uint8_t bad_month[] = {99, 13, 200, 0};
  EXPECT_EQ(DateFromPacked(bad_month), "200 ??? 1999");
}

}  // namespace
