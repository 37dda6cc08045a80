// The component's own rules, with a scripted device behind it: the device answers each
// operation from the script and records what it was asked, so the failures a real port
// rarely shows (a refused time-out, a refused queue size) and the exact calls can be
// checked.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "panel/comm.h"
#include "tests/panel/ptypair.h"
#include "tests/support/guitest.h"

namespace {

struct Script {
  // Errors to answer with (0: success).
  int setupComm = 0, setCommState = 0, setCommTimeouts = 0, escape = 0;
  bool characterDevice = true;
  bool openFails = false;
  std::uint32_t errors = 0;  // line errors ClearCommError reports
  TComStat stat;             // status ClearCommError reports

  // What the component did.
  std::vector<QString> opened;
  std::vector<std::uint32_t> masks;
  std::vector<TDcb> states;
  std::vector<TCommTimeouts> timeouts;
  std::vector<int> functions;
  std::vector<std::uint32_t> purges;
  int devicesAlive = 0;

  // Events for the wait, handed out one by one.
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::uint32_t> events;
  void Post(std::uint32_t mask) {
    {
      std::lock_guard lock(mutex);
      events.push_back(mask);
    }
    changed.notify_all();
  }
};

class ScriptDevice final : public TCommDevice {
 public:
  explicit ScriptDevice(Script& s) : s_(s) { ++s_.devicesAlive; }
  ~ScriptDevice() override { --s_.devicesAlive; }

  bool IsCharacterDevice() const override { return s_.characterDevice; }
  int SetupComm(std::uint32_t, std::uint32_t) override { return s_.setupComm; }
  int GetCommState(TDcb& dcb) override {
    dcb = dcb_;
    return 0;
  }
  int SetCommState(const TDcb& dcb) override {
    s_.states.push_back(dcb);
    if (s_.setCommState == 0) dcb_ = dcb;
    return s_.setCommState;
  }
  int SetCommTimeouts(const TCommTimeouts& t) override {
    s_.timeouts.push_back(t);
    return s_.setCommTimeouts;
  }
  int SetCommMask(std::uint32_t mask) override {
    s_.masks.push_back(mask);
    return 0;
  }
  int WaitCommEvent(std::uint32_t& mask) override {
    std::unique_lock lock(s_.mutex);
    s_.changed.wait(lock, [&] { return cancelled_ || !s_.events.empty(); });
    if (cancelled_) return ECANCELED;
    mask = s_.events.front();
    s_.events.pop_front();
    return 0;
  }
  void CancelWait() override {
    {
      std::lock_guard lock(s_.mutex);
      cancelled_ = true;
    }
    s_.changed.notify_all();
  }
  bool Pause(std::uint32_t) override { return !cancelled_; }
  TIoResult Write(const char*, std::uint32_t count) override { return {count, 0}; }
  TIoResult Read(char*, std::uint32_t) override { return {0, 0}; }
  int ClearCommError(std::uint32_t& errors, TComStat& stat) override {
    errors = s_.errors;
    stat = s_.stat;
    return 0;
  }
  int PurgeComm(std::uint32_t flags) override {
    s_.purges.push_back(flags);
    return 0;
  }
  int GetCommModemStatus(std::uint32_t& status) override {
    status = MS_CTS_ON | MS_RLSD_ON;
    return 0;
  }
  int EscapeCommFunction(int function) override {
    s_.functions.push_back(function);
    return s_.escape;
  }
  bool Lost() const override { return false; }

 private:
  Script& s_;
  TDcb dcb_;
  bool cancelled_ = false;  // guarded by s_.mutex
};

class ScriptBackend final : public TCommBackend {
 public:
  explicit ScriptBackend(Script& s) : s_(s) {}
  std::unique_ptr<TCommDevice> CreateFile(const QString& name, TOpenFailure& failure) override {
    s_.opened.push_back(name);
    if (s_.openFails) {
      failure.reason = TOpenFailure::Reason::Absent;
      failure.path = "/dev/nowhere";
      return nullptr;
    }
    return std::make_unique<ScriptDevice>(s_);
  }

 private:
  Script& s_;
};

class CommScript : public ::testing::Test {
 protected:
  Watchdog watchdog;
  Script script;
  TComm comm{nullptr, std::make_shared<ScriptBackend>(script)};

  // The text of the ECommError that f raises ("" when none).
  template <typename F>
  static std::string ErrorOf(F f) {
    try {
      f();
    } catch (const ECommError& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(CommScript, InitialValues) {
  EXPECT_EQ(comm.DeviceName(), "Com2");
  EXPECT_EQ(comm.ReadTimeout(), 1000);
  EXPECT_EQ(comm.WriteTimeout(), 1000);
  EXPECT_EQ(comm.ReadBufSize(), 4096);
  EXPECT_EQ(comm.WriteBufSize(), 2048);
  EXPECT_EQ(comm.SuspendTime(), 5u);
  EXPECT_EQ(EventMask(comm.MonitorEvents()), 0x01FFu);
  EXPECT_EQ(comm.BaudRate(), br9600);
  EXPECT_EQ(comm.Parity(), paNone);
  EXPECT_EQ(comm.StopBits(), sb10);
  EXPECT_EQ(comm.DataBits(), da8);
  EXPECT_TRUE(comm.Options().Empty());
  EXPECT_EQ(comm.FlowControl(), fcDefault);
  const char chars[] = {17, 19, 0, 0, 0};
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(comm.EventChars()->Char(i), chars[i - 1]) << i;
  EXPECT_EQ(comm.EventChars()->Owner(), &comm);
  EXPECT_FALSE(comm.Enabled());
}

// A stored description leaves out what equals the declared default: the initial set of all
// nine events differs from the declared empty set, so it is written out.
TEST_F(CommScript, StoredPropertiesAreThoseOffTheirDeclaredDefault) {
  EXPECT_EQ(comm.StoredProperties(), QStringList({"DeviceName", "MonitorEvents", "EventChars"}));
  comm.SetDeviceName("COM1");
  comm.SetReadBufSize(1024);
  comm.SetWriteBufSize(1024);
  comm.SetMonitorEvents({evRxChar});
  comm.SetBaudRate(br19200);
  comm.SetParity(paOdd);
  comm.SetFlowControl(fcNone);
  EXPECT_EQ(comm.StoredProperties(), QStringList({"DeviceName", "ReadBufSize", "WriteBufSize", "MonitorEvents",
                                                  "BaudRate", "Parity", "EventChars", "FlowControl"}));
}

TEST_F(CommScript, OpenAppliesTimeoutsLineSettingsAndTheMonitoredMask) {
  comm.SetBaudRate(br19200);
  comm.SetParity(paOdd);
  comm.SetMonitorEvents({evRxChar, evTxEmpty});
  comm.Open();
  ASSERT_TRUE(comm.Enabled());
  EXPECT_EQ(script.masks, (std::vector<std::uint32_t>{0x01FF, EV_RXCHAR | EV_TXEMPTY}));
  ASSERT_EQ(script.timeouts.size(), 1u);
  EXPECT_EQ(script.timeouts[0].ReadIntervalTimeout, 0xFFFFFFFFu);
  EXPECT_EQ(script.timeouts[0].ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(script.timeouts[0].ReadTotalTimeoutConstant, 1000u);
  EXPECT_EQ(script.timeouts[0].WriteTotalTimeoutMultiplier, 2400u);
  EXPECT_EQ(script.timeouts[0].WriteTotalTimeoutConstant, 0u);
  ASSERT_EQ(script.states.size(), 1u);
  const TDcb& dcb = script.states[0];
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.Parity, ODDPARITY);
  EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
  EXPECT_EQ(dcb.ByteSize, 8);
  EXPECT_EQ(dcb.XonChar, 17);
  EXPECT_EQ(dcb.XoffChar, 19);
  EXPECT_EQ(dcb.XonLim, 1024);
  EXPECT_EQ(dcb.XoffLim, 1024);
  EXPECT_FALSE(dcb.fOutX);
  EXPECT_FALSE(dcb.fOutxCtsFlow);
  ASSERT_NE(comm.EventThread(), nullptr);
  EXPECT_EQ(comm.EventThread()->SuspendTime(), 5u);
}

// The write multiplier is 19200 divided by the rate's position in the list; the slowest
// rate, position 0, takes the value of position 1.
TEST_F(CommScript, WriteTimeoutMultiplierFollowsTheRatePosition) {
  const std::pair<TBaudRate, std::uint32_t> rows[] = {{br110, 19200}, {br300, 19200}, {br9600, 3200},
                                                      {br19200, 2400}, {br256000, 1371}};
  for (const auto& [rate, multiplier] : rows) {
    comm.SetBaudRate(rate);
    comm.Open();
    EXPECT_EQ(script.timeouts.back().WriteTotalTimeoutMultiplier, multiplier) << rate;
    EXPECT_EQ(script.states.back().BaudRate, BaudRateValue(rate));
    comm.Close();
  }
}

TEST_F(CommScript, OptionsSetTheirFlags) {
  comm.SetOptions({coParityCheck, coIgnoreXOff, coNullStrip});
  comm.Open();
  const TDcb& dcb = script.states.back();
  EXPECT_TRUE(dcb.fParity);
  EXPECT_FALSE(dcb.fDsrSensitivity);
  EXPECT_TRUE(dcb.fTXContinueOnXoff);
  EXPECT_FALSE(dcb.fErrorChar);
  EXPECT_TRUE(dcb.fNull);
}

TEST_F(CommScript, AssignmentsWhileOpen) {
  comm.SetDeviceName("COM3");
  comm.Open();
  const std::size_t applied = script.states.size();

  // Ignored while open.
  comm.SetDeviceName("COM4");
  comm.SetReadBufSize(10);
  comm.SetWriteBufSize(10);
  comm.SetSuspendTime(99);
  comm.SetMonitorEvents({evBreak});
  EXPECT_EQ(comm.DeviceName(), "COM3");
  EXPECT_EQ(comm.ReadBufSize(), 4096);
  EXPECT_EQ(comm.WriteBufSize(), 2048);
  EXPECT_EQ(comm.SuspendTime(), 5u);
  EXPECT_EQ(EventMask(comm.MonitorEvents()), 0x01FFu);

  // Line settings apply at once, and only when they change.
  comm.SetBaudRate(br9600);
  EXPECT_EQ(script.states.size(), applied);
  comm.SetBaudRate(br38400);
  ASSERT_EQ(script.states.size(), applied + 1);
  EXPECT_EQ(script.states.back().BaudRate, 38400u);
  comm.SetFlowControl(fcNone);
  ASSERT_EQ(script.states.size(), applied + 2);
  EXPECT_FALSE(script.states.back().fOutxCtsFlow);  // stored only
  // A special character applies them even when unchanged.
  comm.EventChars()->SetXOnChar(17);
  EXPECT_EQ(script.states.size(), applied + 3);
  comm.EventChars()->SetEvtChar('\r');
  EXPECT_EQ(script.states.back().EvtChar, '\r');

  // After a reopen the old name opens again.
  comm.Close();
  comm.Open();
  EXPECT_EQ(script.opened, (std::vector<QString>{"COM3", "COM3"}));
}

TEST_F(CommScript, AssignmentsWhileClosedWaitForOpen) {
  comm.SetBaudRate(br38400);
  comm.EventChars()->SetXOffChar(0x15);
  EXPECT_TRUE(script.states.empty());
  comm.Open();
  EXPECT_EQ(script.states.back().BaudRate, 38400u);
  EXPECT_EQ(script.states.back().XoffChar, 0x15);
}

TEST_F(CommScript, EventCharsAssignCopiesWithoutApplying) {
  TCommEventChars other(nullptr);
  other.SetXOnChar(1);
  other.SetEofChar(26);
  comm.Open();
  const std::size_t applied = script.states.size();
  comm.EventChars()->Assign(other);
  EXPECT_EQ(script.states.size(), applied);
  EXPECT_EQ(comm.EventChars()->XOnChar(), 1);
  EXPECT_EQ(comm.EventChars()->XOffChar(), 19);
  EXPECT_EQ(comm.EventChars()->EofChar(), 26);
}

TEST_F(CommScript, ADeviceThatIsNoCharacterDeviceLeavesThePortClosed) {
  script.characterDevice = false;
  comm.Open();
  EXPECT_FALSE(comm.Enabled());
  EXPECT_EQ(script.devicesAlive, 0);
  EXPECT_EQ(comm.LastOpenFailure().reason, TOpenFailure::Reason::NotSerial);
}

struct ErrorRow {
  const char* name;
  std::function<void(Script&)> arrange;
  std::function<void(TComm&)> act;
  const char* text;
  int code;
};

TEST_F(CommScript, EveryErrorText) {
  const ErrorRow rows[] = {
      {"OpenWhileOpen", [](Script&) {}, [](TComm& c) { c.Open(); c.Open(); },
       "Port already assigned (open) (Error: -1)", -1},
      {"CheckOpenWhileOpen", [](Script&) {}, [](TComm& c) { c.CheckOpen(); c.Open(); c.CheckOpen(); },
       "Port already assigned (open) (Error: -1)", -1},
      {"TimeoutsRefused", [](Script& s) { s.setCommTimeouts = 5; }, [](TComm& c) { c.Open(); },
       "Error updating CommTimeouts (Error: 5)", 5},
      {"LineSettingsRefused", [](Script& s) { s.setCommState = 87; }, [](TComm& c) { c.Open(); },
       "Error updating DataControlBlock (Error: 87)", 87},
      {"QueueSizesRefused", [](Script& s) { s.setupComm = 87; }, [](TComm& c) { c.Open(); },
       "Error initializing Read/Write Buffers (Error: 87)", 87},
      {"LineFunctionRefused", [](Script& s) { s.escape = 31; },
       [](TComm& c) {
         c.Open();
         c.SetRTSState(true);
       },
       "EscapeCommFunction failure (Error: 31)", 31},
      {"LineFunctionWhileClosed", [](Script&) {}, [](TComm& c) { c.SetDTRState(true); }, "Port not open (Error: -1)",
       -1},
  };
  for (const ErrorRow& row : rows) {
    Script script;
    row.arrange(script);
    TComm port(nullptr, std::make_shared<ScriptBackend>(script));
    std::string text;
    int code = 0;
    try {
      row.act(port);
    } catch (const ECommError& e) {
      text = e.what();
      code = e.Code();
    }
    EXPECT_EQ(text, row.text) << row.name;
    EXPECT_EQ(code, row.code) << row.name;
  }
}

TEST_F(CommScript, RefusedTimeoutsLeaveTheDeviceOpenWithoutAThread) {
  script.setCommTimeouts = 5;
  EXPECT_EQ(ErrorOf([&] { comm.Open(); }), "Error updating CommTimeouts (Error: 5)");
  EXPECT_TRUE(comm.Enabled());
  EXPECT_EQ(comm.EventThread(), nullptr);
  comm.Close();
  EXPECT_FALSE(comm.Enabled());
  EXPECT_EQ(script.devicesAlive, 0);
}

TEST_F(CommScript, RefusedQueueSizesStillLeaveAWorkingPort) {
  script.setupComm = 87;
  EXPECT_EQ(ErrorOf([&] { comm.Open(); }), "Error initializing Read/Write Buffers (Error: 87)");
  EXPECT_TRUE(comm.Enabled());
  EXPECT_NE(comm.EventThread(), nullptr);
  EXPECT_EQ(comm.Write("x", 1), 1);
}

TEST_F(CommScript, LineFunctionsPassTheirCodes) {
  comm.Open();
  comm.SetDTRState(true);
  comm.SetDTRState(false);
  comm.SetRTSState(true);
  comm.SetRTSState(false);
  comm.SetXONState(true);
  comm.SetXONState(false);
  comm.SetBREAKState(true);
  comm.SetBREAKState(false);
  EXPECT_EQ(script.functions, (std::vector<int>{5, 6, 3, 4, 2, 1, 8, 9}));
  EXPECT_EQ(script.purges, (std::vector<std::uint32_t>{15, 15}));  // after each break change
  comm.PurgeIn();
  comm.PurgeOut();
  EXPECT_EQ(script.purges.back(), 5u);
  EXPECT_EQ(script.purges[script.purges.size() - 2], 10u);
}

TEST_F(CommScript, ModemAndStatusIndexes) {
  script.stat.fCtsHold = true;
  script.stat.fXoffSent = true;
  comm.Open();
  const bool modem[] = {false, true, false, false, true, false};  // index 0..5: CTS and RLSD are on
  for (int i = 0; i <= 5; ++i) EXPECT_EQ(comm.GetModemState(i), modem[i]) << i;
  const bool status[] = {true, true, false, false, false, true, true};  // 0 and 6 read CTS hold
  for (int i = 0; i <= 6; ++i) EXPECT_EQ(comm.GetComState(i), status[i]) << i;
  comm.Close();
  EXPECT_FALSE(comm.GetModemState(1));
  EXPECT_FALSE(comm.GetComState(1));
}

// All handlers of one wake-up, in their fixed order, then the status handler.
TEST_F(CommScript, DispatchOrder) {
  std::vector<std::string> fired;
  auto plain = [&](const char* name) {
    return [&fired, name, this](QObject* sender) {
      EXPECT_EQ(sender, &comm);
      fired.push_back(name);
    };
  };
  comm.OnBreak = plain("break");
  comm.OnCts = plain("cts");
  comm.OnDsr = plain("dsr");
  comm.OnError = [&](QObject*, std::int32_t errors) { fired.push_back("error " + std::to_string(errors)); };
  comm.OnRing = plain("ring");
  comm.OnRlsd = plain("rlsd");
  comm.OnRxChar = [&](QObject*, std::uint32_t count) { fired.push_back("rxchar " + std::to_string(count)); };
  comm.OnRxFlag = plain("rxflag");
  comm.OnTxEmpty = plain("txempty");
  comm.OnComStatEvent = [&](QObject*, std::uint32_t status, TComStat stat) {
    fired.push_back("comstat " + std::to_string(status) + " " + std::to_string(stat.cbInQue));
  };
  script.errors = CE_FRAME;
  script.stat.cbInQue = 3;
  comm.Open();
  script.Post(0x01FF);
  ASSERT_TRUE(WaitUntil([&] { return fired.size() == 10; }));
  EXPECT_EQ(fired, (std::vector<std::string>{"break", "cts", "dsr", "error 8", "ring", "rlsd", "rxchar 3", "rxflag",
                                             "txempty", "comstat 511 3"}));
}

TEST_F(CommScript, ReceivedCharacterWithAnEmptyQueueFiresOnlyTheStatusHandler) {
  int rx = 0, status = 0;
  comm.OnRxChar = [&](QObject*, std::uint32_t) { ++rx; };
  comm.OnComStatEvent = [&](QObject*, std::uint32_t, TComStat) { ++status; };
  comm.Open();
  script.Post(EV_RXCHAR);
  ASSERT_TRUE(WaitUntil([&] { return status == 1; }));
  EXPECT_EQ(rx, 0);
}

// A handler that closes the port ends the dispatch: nothing of that opening runs after it.
TEST_F(CommScript, AHandlerThatClosesThePortEndsTheDispatch) {
  std::vector<std::string> fired;
  comm.OnCts = [&](QObject*) {
    fired.push_back("cts");
    comm.Close();
  };
  comm.OnRing = [&](QObject*) { fired.push_back("ring"); };
  comm.OnComStatEvent = [&](QObject*, std::uint32_t, TComStat) { fired.push_back("comstat"); };
  comm.Open();
  script.Post(EV_CTS | EV_RING);
  ASSERT_TRUE(WaitUntil([&] { return !comm.Enabled(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(fired, (std::vector<std::string>{"cts"}));
  EXPECT_EQ(script.devicesAlive, 0);
}

TEST_F(CommScript, ClosedPortOperations) {
  char buffer[4];
  EXPECT_EQ(comm.Read(buffer, 4), -1);
  EXPECT_EQ(comm.Write("ab", 2), -1);
  EXPECT_EQ(comm.InQueCount(), -1);
  EXPECT_EQ(comm.OutQueCount(), -1);
  EXPECT_EQ(static_cast<std::uint32_t>(comm.Read(buffer, 4)), 4294967295u);
  comm.PurgeIn();
  comm.PurgeOut();
  comm.Close();
  comm.Close();
  EXPECT_TRUE(script.purges.empty());
  EXPECT_EQ(comm.EventThread(), nullptr);
}

TEST_F(CommScript, ADeviceThatCannotOpenRaisesNothing) {
  script.openFails = true;
  comm.SetDeviceName("COM7");
  EXPECT_EQ(ErrorOf([&] { comm.Open(); }), "");
  EXPECT_FALSE(comm.Enabled());
  EXPECT_EQ(comm.LastOpenFailure().reason, TOpenFailure::Reason::Absent);
  EXPECT_EQ(comm.LastOpenFailure().name, "COM7");
  EXPECT_TRUE(comm.OpenFailureText().startsWith("COM7 (/dev/nowhere) does not exist."));
}

}  // namespace
