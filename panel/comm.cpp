#include "panel/comm.h"

#include <unistd.h>

#include <QMetaObject>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>

#include "panel/portname.h"

std::uint32_t BaudRateValue(TBaudRate rate) {
  static constexpr std::uint32_t kRates[] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                             19200, 38400, 56000, 57600, 115200, 128000, 256000};
  return kRates[rate];
}

std::uint32_t EventMaskBit(TCommEventType type) {
  static constexpr std::uint32_t kBits[] = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                            EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};
  return kBits[type];
}

std::uint32_t EventMask(TCommEventTypes events) {
  std::uint32_t mask = 0;
  for (int t = evBreak; t <= evTxEmpty; ++t)
    if (events.Contains(static_cast<TCommEventType>(t))) mask |= EventMaskBit(static_cast<TCommEventType>(t));
  return mask;
}

namespace {
std::string FormatError(const char* format, int code) {
  char text[160];
  std::snprintf(text, sizeof text, format, code);
  return text;
}
}  // namespace

ECommError::ECommError(const char* format, int code) : std::runtime_error(FormatError(format, code)), code_(code) {}

// ---- TCommEventChars -------------------------------------------------------------------

TCommEventChars::TCommEventChars(TThreadComm* owner) : owner_(owner) {}

char TCommEventChars::Char(int index) const { return index >= 1 && index <= 5 ? chars_[index - 1] : 0; }

void TCommEventChars::SetChar(int index, char value) {
  if (index < 1 || index > 5) return;
  chars_[index - 1] = value;
  if (owner_) owner_->UpdateDataControlBlock();
}

void TCommEventChars::Assign(const TCommEventChars& source) {
  std::copy(std::begin(source.chars_), std::end(source.chars_), std::begin(chars_));
}

// ---- TCommEventThread ------------------------------------------------------------------
//
// The hand-off: the event thread posts the delivery step to the receiver's thread and waits
// until that step reports it has run, or until Stop() sets `closing`.  The state lives in a
// shared block that the posted step holds on to, so a step that runs late (or a handler that
// closes the port and so destroys this thread object) never touches freed memory; a step
// that finds `closing` set, or a newer sequence number, does nothing.

struct TCommEventThread::HandOff {
  std::mutex mutex;
  std::condition_variable done;
  bool closing = false;
  std::uint64_t sequence = 0;  // of the event posted last
  std::uint64_t handled = 0;   // of the event delivered last
  std::uint32_t status = 0;
  TCommEventThread* thread = nullptr;  // valid while closing is false
  std::atomic<int> tid{0};

  static void Deliver(const std::shared_ptr<HandOff>& self, std::uint64_t sequence);
};

void TCommEventThread::HandOff::Deliver(const std::shared_ptr<HandOff>& self, std::uint64_t sequence) {
  TCommEventThread* thread;
  std::uint32_t status;
  {
    std::lock_guard lock(self->mutex);
    if (self->closing || sequence != self->sequence) return;
    thread = self->thread;
    status = self->status;
  }
  // Whatever the handler does (it may close the port, which destroys the thread object, or
  // raise), the event thread is released when the step ends.
  struct Release {
    HandOff& h;
    std::uint64_t sequence;
    ~Release() {
      {
        std::lock_guard lock(h.mutex);
        h.handled = sequence;
      }
      h.done.notify_all();
    }
  } release{*self, sequence};
  // A copy: a handler that closes the port destroys the thread object and its OnEvent.
  const THandler handler = thread->OnEvent;
  if (handler) handler(thread, status);
}

TCommEventThread::TCommEventThread(std::shared_ptr<TCommDevice> device, std::uint32_t suspendTime,
                                   TCommEventTypes events, QObject* receiver)
    : device_(std::move(device)),
      suspend_time_(suspendTime),
      mask_(EventMask(events)),
      receiver_(receiver),
      hand_off_(std::make_shared<HandOff>()) {
  hand_off_->thread = this;
  device_->SetCommMask(mask_);
}

TCommEventThread::~TCommEventThread() { Stop(); }

void TCommEventThread::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Execute(); });
}

void TCommEventThread::Stop() {
  {
    std::lock_guard lock(hand_off_->mutex);
    hand_off_->closing = true;
  }
  hand_off_->done.notify_all();
  device_->CancelWait();
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id())
      thread_.detach();
    else
      thread_.join();
  }
}

int TCommEventThread::ThreadId() const { return hand_off_->tid.load(); }

// The wait loop.  A wait that fails (other than by Stop) is followed by a pause of
// SuspendTime milliseconds (at least 1), so a device whose waits fail at once cannot make
// the thread spin.  A device that hangs up reports it once; its later waits only wait for
// Stop.  The loop ends only through Stop, so no closing purge is made here: Close decides
// what happens to the device.
void TCommEventThread::Execute() {
  hand_off_->tid = static_cast<int>(gettid());
  for (;;) {
    std::uint32_t status = 0;
    const int error = device_->WaitCommEvent(status);
    if (error == ECANCELED) break;
    if (error == 0) {
      if (!Synchronize(status)) break;
    } else if (!device_->Pause(std::max<std::uint32_t>(suspend_time_, 1))) {
      break;
    }
  }
}

bool TCommEventThread::Synchronize(std::uint32_t status) {
  const std::shared_ptr<HandOff> h = hand_off_;
  std::unique_lock lock(h->mutex);
  if (h->closing) return false;
  const std::uint64_t sequence = ++h->sequence;
  h->status = status;
  QMetaObject::invokeMethod(receiver_, [h, sequence] { HandOff::Deliver(h, sequence); }, Qt::QueuedConnection);
  h->done.wait(lock, [&] { return h->handled == sequence || h->closing; });
  return !h->closing;
}

// ---- TThreadComm -----------------------------------------------------------------------

TThreadComm::TThreadComm(QObject* Owner, std::shared_ptr<TCommBackend> backend)
    : QObject(Owner), backend_(std::move(backend)), event_chars_(std::make_unique<TCommEventChars>(this)) {}

TThreadComm::~TThreadComm() {
  Close();
  event_chars_.reset();
}

void TThreadComm::CreateHandle() {
  failure_ = {};
  failure_.name = device_name_;
  std::unique_ptr<TCommDevice> device = backend_->CreateFile(device_name_, failure_);
  if (!device) {
    if (failure_.reason == TOpenFailure::Reason::None) failure_.reason = TOpenFailure::Reason::Other;
    open_ = false;
    return;
  }
  device_ = std::move(device);
  open_ = true;
  if (!device_->IsCharacterDevice()) {
    failure_.reason = TOpenFailure::Reason::NotSerial;
    DestroyHandle();
    return;
  }
  device_->SetCommMask(EventMask({evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty}));
}

void TThreadComm::DestroyHandle() {
  device_.reset();
  open_ = false;
}

void TThreadComm::Open() {
  int code = 0;
  const char* message = nullptr;
  {
    std::lock_guard lock(lock_);
    if (open_) {
      code = -1;
      message = kPortAlreadyAssigned;
    } else {
      CreateHandle();
      if (open_) {
        ++opening_;
        UpdateCommTimeouts();
        UpdateDataControlBlock();
        if (const int error = device_->SetupComm(read_buf_size_, write_buf_size_)) {
          code = error;
          message = kErrorInitBuffers;
        }
        event_thread_ = std::make_unique<TCommEventThread>(device_, suspend_time_, monitor_events_, this);
        event_thread_->OnEvent = [this](QObject* Sender, unsigned long Status) { HandleCommEvent(Sender, Status); };
        event_thread_->Start();
      }
    }
  }
  if (code != 0) throw ECommError(message, code);
}

void TThreadComm::Close() {
  if (!open_) return;
  std::lock_guard lock(lock_);
  ++opening_;
  if (event_thread_) {
    event_thread_->OnEvent = nullptr;
    event_thread_->Stop();
    event_thread_.reset();
  }
  DestroyHandle();
}

namespace {
// Counts beyond what the 32-bit result can report are cut to it.
std::uint32_t ClampCount(unsigned long count) {
  return static_cast<std::uint32_t>(std::min<unsigned long>(count, INT32_MAX));
}
}  // namespace

std::int32_t TThreadComm::Write(const char* Buffer, unsigned long Count) {
  if (!open_) return -1;
  std::lock_guard lock(lock_);
  const TIoResult result = device_->Write(Buffer, ClampCount(Count));
  if (result.error != 0) {
    std::uint32_t errors = 0;
    TComStat stat;
    device_->ClearCommError(errors, stat);
  }
  return static_cast<std::int32_t>(result.count);
}

std::int32_t TThreadComm::Read(char* Buffer, unsigned long Count) {
  if (!open_) return -1;
  std::lock_guard lock(lock_);
  std::uint32_t errors = 0;
  TComStat stat;
  device_->ClearCommError(errors, stat);
  if (Count == 0) {
    device_->ClearCommError(errors, stat);
    return 0;
  }
  const TIoResult result = device_->Read(Buffer, ClampCount(Count));
  if (result.error != 0) device_->ClearCommError(errors, stat);
  return static_cast<std::int32_t>(result.count);
}

std::int32_t TThreadComm::InQueCount() {
  if (!open_) return -1;
  std::uint32_t errors = 0;
  TComStat stat;
  device_->ClearCommError(errors, stat);
  return static_cast<std::int32_t>(std::min<std::uint32_t>(stat.cbInQue, INT32_MAX));
}

std::int32_t TThreadComm::OutQueCount() {
  if (!open_) return -1;
  std::uint32_t errors = 0;
  TComStat stat;
  device_->ClearCommError(errors, stat);
  return static_cast<std::int32_t>(std::min<std::uint32_t>(stat.cbOutQue, INT32_MAX));
}

void TThreadComm::PurgeIn() {
  if (open_) device_->PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR);
}

void TThreadComm::PurgeOut() {
  if (open_) device_->PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
}

void TThreadComm::CheckOpen() {
  if (open_) throw ECommError(kPortAlreadyAssigned, -1);
}

bool TThreadComm::Ready() {
  if (open_ && !DeviceLost()) {
    InQueCount();  // a device that has gone fails the query, which marks it lost
    if (!DeviceLost()) return true;
  }
  Close();
  Open();
  return open_ && !DeviceLost();
}

void TThreadComm::UpdateDataControlBlock() {
  if (!open_) return;
  device_->SetupComm(read_buf_size_, write_buf_size_);
  device_->GetCommState(dcb_);
  dcb_.BaudRate = BaudRateValue(baud_rate_);
  dcb_.Parity = static_cast<std::uint8_t>(parity_);
  dcb_.StopBits = static_cast<std::uint8_t>(stop_bits_);
  dcb_.ByteSize = static_cast<std::uint8_t>(data_bits_ + 4);
  dcb_.XonChar = event_chars_->XOnChar();
  dcb_.XoffChar = event_chars_->XOffChar();
  dcb_.ErrorChar = event_chars_->ErrorChar();
  dcb_.EofChar = event_chars_->EofChar();
  dcb_.EvtChar = event_chars_->EvtChar();
  dcb_.XonLim = 1024;
  dcb_.XoffLim = 1024;
  dcb_.fParity = options_.Contains(coParityCheck);
  dcb_.fDsrSensitivity = options_.Contains(coDsrSensitivity);
  dcb_.fTXContinueOnXoff = options_.Contains(coIgnoreXOff);
  dcb_.fErrorChar = options_.Contains(coErrorChar);
  dcb_.fNull = options_.Contains(coNullStrip);
  if (const int error = device_->SetCommState(dcb_)) throw ECommError(kErrorUpdatingDcb, error);
}

void TThreadComm::UpdateDataControlBlockLock() {
  std::lock_guard lock(lock_);
  UpdateDataControlBlock();
}

// Reads return what is waiting at once, else wait up to 1000 ms for the first byte.  Writes
// get 19200 / (position of the rate in the list) ms per byte; the slowest rate, position 0,
// gets the value of position 1.
void TThreadComm::UpdateCommTimeouts() {
  TCommTimeouts timeouts;
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 1000;
  timeouts.WriteTotalTimeoutMultiplier = 19200 / std::max(static_cast<std::uint32_t>(baud_rate_), 1u);
  timeouts.WriteTotalTimeoutConstant = 0;
  if (!device_) return;
  if (const int error = device_->SetCommTimeouts(timeouts)) throw ECommError(kErrorUpdatingTimeouts, error);
}

void TThreadComm::EscapeComm(int Function) {
  if (!open_) throw ECommError(kPortNotOpen, -1);
  int error;
  {
    std::lock_guard lock(lock_);
    error = device_->EscapeCommFunction(Function);
  }
  if (error != 0) throw ECommError(kEscapeFailure, error);
}

void TThreadComm::SetDTRState(bool State) { EscapeComm(State ? SETDTR : CLRDTR); }
void TThreadComm::SetRTSState(bool State) { EscapeComm(State ? SETRTS : CLRRTS); }
void TThreadComm::SetXONState(bool State) { EscapeComm(State ? SETXON : SETXOFF); }

void TThreadComm::SetBREAKState(bool State) {
  EscapeComm(State ? SETBREAK : CLRBREAK);
  if (open_) {
    std::lock_guard lock(lock_);
    device_->PurgeComm(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  }
}

bool TThreadComm::GetModemState(int Index) {
  std::uint32_t bit = 0;
  switch (Index) {
    case 1: bit = MS_CTS_ON; break;
    case 2: bit = MS_DSR_ON; break;
    case 3: bit = MS_RING_ON; break;
    case 4: bit = MS_RLSD_ON; break;
    default: break;
  }
  if (!open_) return false;
  std::uint32_t status = 0;
  if (device_->GetCommModemStatus(status) != 0) return false;
  return (status & bit) != 0;
}

bool TThreadComm::GetComState(int Index) {
  if (!open_) return false;
  std::uint32_t errors = 0;
  TComStat stat;
  device_->ClearCommError(errors, stat);
  switch (Index) {
    case 2: return stat.fDsrHold;
    case 3: return stat.fRlsdHold;
    case 4: return stat.fXoffHold;
    case 5: return stat.fXoffSent;
    default: return stat.fCtsHold;
  }
}

// One event: the device's error state is cleared and read first; then each handler whose
// bit is set fires, in the order break, CTS, DSR, error, ring, carrier, received character
// (only while bytes wait, with their count), event character, output empty; last, whatever
// the bits, OnComStatEvent.  A handler that closes the port ends the dispatch: nothing of
// that opening runs after Close.
void TThreadComm::HandleCommEvent(QObject*, unsigned long Status) {
  if (!open_) return;
  std::uint32_t errors = 0;
  TComStat stat;
  device_->ClearCommError(errors, stat);
  const std::uint64_t opening = opening_;
  auto fire = [&](std::uint32_t bit, const std::function<void(QObject*)>& handler) {
    if ((Status & bit) && handler) handler(this);
    return opening_ == opening;
  };
  if (!fire(EV_BREAK, OnBreak) || !fire(EV_CTS, OnCts) || !fire(EV_DSR, OnDsr)) return;
  if ((Status & EV_ERR) && OnError) {
    OnError(this, static_cast<std::int32_t>(errors));
    if (opening_ != opening) return;
  }
  if (!fire(EV_RING, OnRing) || !fire(EV_RLSD, OnRlsd)) return;
  if ((Status & EV_RXCHAR) && stat.cbInQue > 0 && OnRxChar) {
    OnRxChar(this, stat.cbInQue);
    if (opening_ != opening) return;
  }
  if (!fire(EV_RXFLAG, OnRxFlag) || !fire(EV_TXEMPTY, OnTxEmpty)) return;
  if (OnComStatEvent) OnComStatEvent(this, static_cast<std::uint32_t>(Status), stat);
}

// ---- properties ------------------------------------------------------------------------

void TThreadComm::SetDeviceName(const QString& Value) {
  if (!open_ && Value != device_name_) device_name_ = Value;
}

void TThreadComm::SetReadBufSize(std::uint16_t Value) {
  if (!open_ && Value != read_buf_size_) read_buf_size_ = Value;
}

void TThreadComm::SetWriteBufSize(std::uint16_t Value) {
  if (!open_ && Value != write_buf_size_) write_buf_size_ = Value;
}

void TThreadComm::SetSuspendTime(std::uint32_t Value) {
  if (!open_ && Value != suspend_time_) suspend_time_ = Value;
}

void TThreadComm::SetMonitorEvents(TCommEventTypes Value) {
  if (!open_ && Value != monitor_events_) monitor_events_ = Value;
}

template <typename T>
static bool TakeWhenDifferent(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

void TThreadComm::SetBaudRate(TBaudRate Value) {
  if (TakeWhenDifferent(baud_rate_, Value)) UpdateDataControlBlockLock();
}
void TThreadComm::SetParity(TParity Value) {
  if (TakeWhenDifferent(parity_, Value)) UpdateDataControlBlockLock();
}
void TThreadComm::SetStopBits(TStopBits Value) {
  if (TakeWhenDifferent(stop_bits_, Value)) UpdateDataControlBlockLock();
}
void TThreadComm::SetDataBits(TDataBits Value) {
  if (TakeWhenDifferent(data_bits_, Value)) UpdateDataControlBlockLock();
}
void TThreadComm::SetOptions(TCommOptions Value) {
  if (TakeWhenDifferent(options_, Value)) UpdateDataControlBlockLock();
}
void TThreadComm::SetFlowControl(TFlowControl Value) {
  if (TakeWhenDifferent(flow_control_, Value)) UpdateDataControlBlockLock();
}

QString TThreadComm::OpenFailureText() const {
  if (failure_.reason == TOpenFailure::Reason::None) return {};
  const TPortDoctor doctor;
  return DescribeOpenFailure(failure_, SerialAdapterPaths(), &doctor);
}

bool TThreadComm::DeviceLost() const { return device_ && device_->Lost(); }

// ---- TComm -----------------------------------------------------------------------------

QStringList TComm::StoredProperties() const {
  QStringList stored{"DeviceName"};
  if (ReadTimeout() != 1000) stored << "ReadTimeout";
  if (WriteTimeout() != 1000) stored << "WriteTimeout";
  if (ReadBufSize() != 4096) stored << "ReadBufSize";
  if (WriteBufSize() != 2048) stored << "WriteBufSize";
  if (SuspendTime() != 5) stored << "SuspendTime";
  if (!MonitorEvents().Empty()) stored << "MonitorEvents";
  if (BaudRate() != br9600) stored << "BaudRate";
  if (Parity() != paNone) stored << "Parity";
  if (StopBits() != sb10) stored << "StopBits";
  if (DataBits() != da8) stored << "DataBits";
  stored << "EventChars";
  if (!Options().Empty()) stored << "Options";
  if (FlowControl() != fcDefault) stored << "FlowControl";
  return stored;
}
