#pragma once

// The serial port component (unit Comm).
//
//   TThreadComm      all the behaviour: one serial device, opened and closed by name, its line
//                    settings, reads and writes under a lock, and an event thread whose events
//                    fire the handlers on the user-interface thread
//   TComm            TThreadComm with its properties' declared defaults, as a window stores it
//   TCommEventThread the thread that waits for line events and hands each one over
//   TCommEventChars  the five special characters of the line settings
//
// The component shows no message.  It raises ECommError, whose text ends in "(Error: %d)" with
// the code, returns -1 from Read, Write and the queue counts while the port is closed, and
// raises nothing when a device cannot be opened: callers test Enabled() afterwards, and
// OpenFailureText() says why.
//
// Every call is made on the user-interface thread (the thread the component lives in), and
// every handler runs there.  The event thread waits, hands one event over and blocks until
// the handlers for it have returned; a handler may call any operation, Close and Open among
// them.  After Close returns no handler of that opening runs.

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "panel/commbackend.h"
#include "panel/panelport.h"
#include "panel/portcontrol.h"

enum TBaudRate {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200, br38400, br56000, br57600,
  br115200, br128000, br256000
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits { sb10, sb15, sb20 };
enum TDataBits { da4, da5, da6, da7, da8 };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommEventType { evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };
enum TCommOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };

// The rate in bits per second that a TBaudRate names.
std::uint32_t BaudRateValue(TBaudRate rate);

// A set of enumeration values.
template <typename E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr TSet& Include(E v) { bits_ |= Bit(v); return *this; }
  constexpr TSet& Exclude(E v) { bits_ &= ~Bit(v); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};
using TCommEventTypes = TSet<TCommEventType>;
using TCommOptions = TSet<TCommOption>;

// The event-mask bit of an event type, and the mask of a set (the sum of its members' bits;
// all nine give 0x01FF).
std::uint32_t EventMaskBit(TCommEventType type);
std::uint32_t EventMask(TCommEventTypes events);

// Every error the component raises: what() is the message with the code in decimal.
class ECommError : public std::runtime_error {
 public:
  ECommError(const char* format, int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// The messages, each with its "%d" for the code.
inline constexpr const char* kPortAlreadyAssigned = "Port already assigned (open) (Error: %d)";
inline constexpr const char* kErrorInitBuffers = "Error initializing Read/Write Buffers (Error: %d)";
inline constexpr const char* kErrorUpdatingDcb = "Error updating DataControlBlock (Error: %d)";
inline constexpr const char* kErrorUpdatingTimeouts = "Error updating CommTimeouts (Error: %d)";
inline constexpr const char* kEscapeFailure = "EscapeCommFunction failure (Error: %d)";
inline constexpr const char* kPortNotOpen = "Port not open (Error: %d)";

class TThreadComm;

// The five special characters.  Index 1 XOnChar (17), 2 XOffChar (19), 3 ErrorChar,
// 4 EofChar, 5 EvtChar (0 each).  Assigning one stores it and, when the owner is set,
// applies the line settings again at once (without the owner's lock), changed or not.
class TCommEventChars {
 public:
  explicit TCommEventChars(TThreadComm* owner);

  char Char(int index) const;
  void SetChar(int index, char value);

  char XOnChar() const { return Char(1); }
  char XOffChar() const { return Char(2); }
  char ErrorChar() const { return Char(3); }
  char EofChar() const { return Char(4); }
  char EvtChar() const { return Char(5); }
  void SetXOnChar(char c) { SetChar(1, c); }
  void SetXOffChar(char c) { SetChar(2, c); }
  void SetErrorChar(char c) { SetChar(3, c); }
  void SetEofChar(char c) { SetChar(4, c); }
  void SetEvtChar(char c) { SetChar(5, c); }

  // Copies the five characters; applies nothing.
  void Assign(const TCommEventChars& source);

  TThreadComm* Owner() const { return owner_; }

 private:
  TThreadComm* owner_;
  char chars_[5] = {17, 19, 0, 0, 0};
};

// The event thread of one opening.  It waits for the device's events (the mask of the event
// types it was given) and hands each one to the thread its handler lives on, waiting there
// until the handler has returned.  Stop() ends a pending wait and a pending hand-off and
// joins the thread; a hand-off still queued for the user-interface thread is then dropped.
class TCommEventThread : public QObject {
  Q_OBJECT
 public:
  using THandler = std::function<void(QObject* Sender, unsigned long Status)>;

  // Sets the device's event mask to the events' mask.  The thread does not run until
  // Start().  Handed-over events run on the receiver's thread.
  TCommEventThread(std::shared_ptr<TCommDevice> device, std::uint32_t suspendTime, TCommEventTypes events,
                   QObject* receiver);
  ~TCommEventThread() override;

  // The delivery step calls it with Sender = this thread and Status = the event mask.
  THandler OnEvent;

  void Start();
  void Stop();

  std::uint32_t SuspendTime() const { return suspend_time_; }
  std::uint32_t Mask() const { return mask_; }
  // The thread's id while it runs (for tests that measure it).
  std::thread::native_handle_type NativeHandle() { return thread_.native_handle(); }
  // Linux thread id of the running thread; 0 before it started.
  int ThreadId() const;

 private:
  struct HandOff;
  void Execute();
  bool Synchronize(std::uint32_t status);

  std::shared_ptr<TCommDevice> device_;
  std::uint32_t suspend_time_;
  std::uint32_t mask_;
  QObject* receiver_;
  std::shared_ptr<HandOff> hand_off_;
  std::thread thread_;
};

class TThreadComm : public QObject, public TPanelPort, public TPortControl {
  Q_OBJECT
 public:
  // The device stays closed.  The backend opens devices by name; the Linux one by default.
  explicit TThreadComm(QObject* Owner = nullptr, std::shared_ptr<TCommBackend> backend = PosixCommBackend());
  // Closes the port.
  ~TThreadComm() override;

  int Tag = 0;

  // ---- the port ----
  // True while the device is open.
  bool Enabled() const override { return open_; }
  // Opens the device named by DeviceName, applies time-outs, line settings and queue sizes,
  // and starts the event thread.  A device that cannot be opened leaves the port closed
  // and raises nothing.  Raises "Port already assigned (open)" (-1) when open; the
  // time-out and line-setting errors at once (the device then stays open without a
  // thread); the queue-size error at the end (the port then works).
  void Open() override;
  // Stops the event thread and closes the device; nothing when closed.  Safe from inside a
  // handler: the rest of that event's handlers are then skipped.
  void Close() override;
  // Bytes written, within the write time-out; -1 when closed.
  std::int32_t Write(const char* Buffer, unsigned long Count) override;
  // Bytes read: those waiting at once, else whatever arrives within 1000 ms of waiting for
  // the first byte (0 when nothing does); -1 when closed.  Count 0 reads nothing.
  std::int32_t Read(char* Buffer, unsigned long Count) override;
  // Bytes waiting in the input queue, or in the output queue; -1 when closed.
  std::int32_t InQueCount() override;
  std::int32_t OutQueCount();
  // Discard the input queue, or the output queue; nothing when closed.
  void PurgeIn();
  void PurgeOut();
  // Raises "Port already assigned (open)" (-1) when open.
  void CheckOpen();
  // Before a transfer: a port whose device has gone (an adapter unplugged; a query that
  // fails now counts too) or that is closed is closed and opened again on the same
  // DeviceName, never on another device.  True when it is open on a live device; false
  // leaves OpenFailureText saying why.  Raises what Open raises.
  bool Ready() override;

  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }

  virtual void CreateHandle();
  void DestroyHandle();
  // Applies the line settings when open (no lock); raises "Error updating
  // DataControlBlock" with the system code when the device refuses them.
  void UpdateDataControlBlock();
  void UpdateDataControlBlockLock();
  // Applies the fixed time-outs; raises "Error updating CommTimeouts" on failure.
  void UpdateCommTimeouts();
  // One line function (SETDTR ...); raises "EscapeCommFunction failure" when the device
  // refuses it, "Port not open" (-1) when closed.
  void EscapeComm(int Function);
  void SetDTRState(bool State);
  void SetRTSState(bool State);
  void SetBREAKState(bool State);
  void SetXONState(bool State);
  // Modem input 1 CTS, 2 DSR, 3 RING, 4 RLSD; false for other indexes, when closed, and on a
  // device without modem lines.
  bool GetModemState(int Index);
  // Status flag 2 DSR hold, 3 RLSD hold, 4 XOFF hold, 5 XOFF sent, any other CTS hold.
  bool GetComState(int Index);
  // Dispatches one event's bits to the handlers, in a fixed order (see comm.cpp).
  void HandleCommEvent(QObject* Sender, unsigned long Status);

  // ---- properties ----
  QString DeviceName() const override { return device_name_; }
  // Ignored while open.
  void SetDeviceName(const QString& Value) override;
  std::int32_t ReadTimeout() const { return read_timeout_; }
  void SetReadTimeout(std::int32_t Value) { read_timeout_ = Value; }
  std::int32_t WriteTimeout() const { return write_timeout_; }
  void SetWriteTimeout(std::int32_t Value) { write_timeout_ = Value; }
  std::uint16_t ReadBufSize() const { return read_buf_size_; }
  void SetReadBufSize(std::uint16_t Value);      // ignored while open
  std::uint16_t WriteBufSize() const { return write_buf_size_; }
  void SetWriteBufSize(std::uint16_t Value);     // ignored while open
  std::uint32_t SuspendTime() const { return suspend_time_; }
  void SetSuspendTime(std::uint32_t Value);      // ignored while open
  TCommEventTypes MonitorEvents() const { return monitor_events_; }
  void SetMonitorEvents(TCommEventTypes Value);  // ignored while open
  // These apply the line settings again at once while open.
  TBaudRate BaudRate() const { return baud_rate_; }
  void SetBaudRate(TBaudRate Value);
  TParity Parity() const { return parity_; }
  void SetParity(TParity Value);
  TStopBits StopBits() const { return stop_bits_; }
  void SetStopBits(TStopBits Value);
  TDataBits DataBits() const { return data_bits_; }
  void SetDataBits(TDataBits Value);
  TCommOptions Options() const { return options_; }
  void SetOptions(TCommOptions Value);
  // Stored only: every flow-control setting of the line stays as the device reports it.
  TFlowControl FlowControl() const { return flow_control_; }
  void SetFlowControl(TFlowControl Value);
  TCommEventChars* EventChars() const { return event_chars_.get(); }

  // ---- handlers (Sender is this component) ----
  // OnRxChar fires when bytes arrive, with the count waiting, and again at once while bytes
  // are left waiting after the handler read some of them; bytes a handler leaves wholly
  // unread are announced again only when more arrive.
  std::function<void(QObject* Sender)> OnBreak, OnCts, OnDsr, OnRing, OnRlsd;
  std::function<void(QObject* Sender, std::int32_t Errors)> OnError;
  std::function<void(QObject* Sender, std::uint32_t Count)> OnRxChar;
  std::function<void(QObject* Sender)> OnRxFlag, OnTxEmpty;
  std::function<void(QObject* Sender, std::uint32_t Status, TComStat ComStat)> OnComStatEvent;

  // ---- what the last Open found ----
  // Why the last Open left the port closed (Reason::None when it opened), with the device
  // path the name resolved to.
  const TOpenFailure& LastOpenFailure() const { return failure_; }
  // One line with the reason and what to do; empty when the last Open worked.
  QString OpenFailureText() const override;
  // True once the open device has hung up (adapter unplugged); Close still works.
  bool DeviceLost() const;
  // The line settings as last applied.
  const TDcb& Dcb() const { return dcb_; }
  // The current event thread, or nullptr when closed.
  TCommEventThread* EventThread() const { return event_thread_.get(); }

 private:
  void ApplyLineSetting();

  std::shared_ptr<TCommBackend> backend_;
  std::shared_ptr<TCommDevice> device_;  // the handle: null while closed
  bool open_ = false;
  std::uint64_t opening_ = 0;             // counts openings, so a dispatch sees a Close
  TDcb dcb_;
  std::recursive_mutex lock_;
  std::unique_ptr<TCommEventThread> event_thread_;
  std::unique_ptr<TCommEventChars> event_chars_;
  TOpenFailure failure_;

  QString device_name_ = QStringLiteral("Com2");
  std::int32_t read_timeout_ = 1000;
  std::int32_t write_timeout_ = 1000;
  std::uint16_t read_buf_size_ = 4096;
  std::uint16_t write_buf_size_ = 2048;
  std::uint32_t suspend_time_ = 5;
  TCommEventTypes monitor_events_{evBreak, evCts,    evDsr,    evError,  evRing,
                                  evRlsd,  evRxChar, evRxFlag, evTxEmpty};
  TBaudRate baud_rate_ = br9600;
  TParity parity_ = paNone;
  TStopBits stop_bits_ = sb10;
  TDataBits data_bits_ = da8;
  TCommOptions options_{};
  TFlowControl flow_control_ = fcDefault;
};

// The component as a window stores it: the same behaviour, and the declared default of each
// property, which a stored description leaves out.
class TComm : public TThreadComm {
  Q_OBJECT
 public:
  explicit TComm(QObject* Owner = nullptr, std::shared_ptr<TCommBackend> backend = PosixCommBackend())
      : TThreadComm(Owner, std::move(backend)) {}

  // The properties, in their declared order, whose value a stored description would write
  // out: those that differ from their declared default, and those without one (DeviceName,
  // EventChars).
  QStringList StoredProperties() const;
};
