#pragma once

// The device operations the serial port component is built on, one call per operation of a
// serial driver: open by name, line settings, queue sizes, time-outs, event mask and event
// wait, read, write, error and status query, purge, modem status and line functions.  The
// component's logic (panel/comm.cpp) reaches the device only through these; the Linux
// backend (panel/comm_posix.cpp) maps them onto termios, and tests can put a scripted
// device behind them.
//
// Every operation that can fail returns a system error code: 0 for success, otherwise the
// code (errno on Linux) that the component puts into its "(Error: %d)" messages.

#include <QString>
#include <cstdint>
#include <memory>

// Event-mask bits of the event wait.
constexpr std::uint32_t EV_RXCHAR = 0x0001;   // a character was received
constexpr std::uint32_t EV_RXFLAG = 0x0002;   // the event character was received
constexpr std::uint32_t EV_TXEMPTY = 0x0004;  // the output queue became empty
constexpr std::uint32_t EV_CTS = 0x0008;      // CTS changed
constexpr std::uint32_t EV_DSR = 0x0010;      // DSR changed
constexpr std::uint32_t EV_RLSD = 0x0020;     // carrier detect changed
constexpr std::uint32_t EV_BREAK = 0x0040;    // a break was received
constexpr std::uint32_t EV_ERR = 0x0080;      // a framing, overrun or parity error
constexpr std::uint32_t EV_RING = 0x0100;     // a ring indicator edge

// Purge flags.
constexpr std::uint32_t PURGE_TXABORT = 0x0001;
constexpr std::uint32_t PURGE_RXABORT = 0x0002;
constexpr std::uint32_t PURGE_TXCLEAR = 0x0004;
constexpr std::uint32_t PURGE_RXCLEAR = 0x0008;

// Modem status bits.
constexpr std::uint32_t MS_CTS_ON = 0x0010;
constexpr std::uint32_t MS_DSR_ON = 0x0020;
constexpr std::uint32_t MS_RING_ON = 0x0040;
constexpr std::uint32_t MS_RLSD_ON = 0x0080;

// Line functions.
constexpr int SETXOFF = 1;   // act as if XOFF was received: stop sending
constexpr int SETXON = 2;    // act as if XON was received: resume sending
constexpr int SETRTS = 3;
constexpr int CLRRTS = 4;
constexpr int SETDTR = 5;
constexpr int CLRDTR = 6;
constexpr int RESETDEV = 7;  // accepted, does nothing
constexpr int SETBREAK = 8;
constexpr int CLRBREAK = 9;

// Line-error flags reported by ClearCommError.
constexpr std::uint32_t CE_RXOVER = 0x0001;    // input buffer overflow
constexpr std::uint32_t CE_OVERRUN = 0x0002;   // hardware overrun
constexpr std::uint32_t CE_RXPARITY = 0x0004;  // parity error
constexpr std::uint32_t CE_FRAME = 0x0008;     // framing error
constexpr std::uint32_t CE_BREAK = 0x0010;     // break received

// Flow-control settings of the DCB.
constexpr std::uint8_t DTR_CONTROL_DISABLE = 0;
constexpr std::uint8_t DTR_CONTROL_ENABLE = 1;
constexpr std::uint8_t DTR_CONTROL_HANDSHAKE = 2;
constexpr std::uint8_t RTS_CONTROL_DISABLE = 0;
constexpr std::uint8_t RTS_CONTROL_ENABLE = 1;
constexpr std::uint8_t RTS_CONTROL_HANDSHAKE = 2;
constexpr std::uint8_t RTS_CONTROL_TOGGLE = 3;

// Parity codes and stop-bit codes of the DCB.
constexpr std::uint8_t NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
constexpr std::uint8_t ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;

// The line-settings record.
struct TDcb {
  std::uint32_t BaudRate = 9600;
  bool fBinary = true;
  bool fParity = false;           // check parity of received bytes
  bool fOutxCtsFlow = false;      // CTS stops our output
  bool fOutxDsrFlow = false;      // DSR stops our output
  std::uint8_t fDtrControl = DTR_CONTROL_ENABLE;
  bool fDsrSensitivity = false;   // drop bytes while DSR is low
  bool fTXContinueOnXoff = false;
  bool fOutX = false;             // XON/XOFF stops our output
  bool fInX = false;              // we send XON/XOFF when our input fills
  bool fErrorChar = false;        // replace bytes with parity errors by ErrorChar
  bool fNull = false;             // discard NUL bytes
  std::uint8_t fRtsControl = RTS_CONTROL_ENABLE;
  bool fAbortOnError = false;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = NOPARITY;
  std::uint8_t StopBits = ONESTOPBIT;
  char XonChar = 17;
  char XoffChar = 19;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
};

// Device status: hold flags and the two queue counts.
struct TComStat {
  bool fCtsHold = false;   // output waits for CTS
  bool fDsrHold = false;   // output waits for DSR
  bool fRlsdHold = false;  // output waits for carrier detect
  bool fXoffHold = false;  // output waits because XOFF was received
  bool fXoffSent = false;  // output waits because XOFF was sent
  bool fEof = false;
  bool fTxim = false;
  std::uint32_t cbInQue = 0;   // bytes received and not yet read
  std::uint32_t cbOutQue = 0;  // bytes written and not yet sent
};

// Read and write time-outs in milliseconds.  With ReadIntervalTimeout 0xFFFFFFFF and a
// constant above 0 (the component's setting), a read returns the bytes already waiting at
// once, and otherwise waits up to the constant for the first byte to arrive.
constexpr std::uint32_t MAXDWORD = 0xFFFFFFFFu;
struct TCommTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

// Outcome of a read or a write: the bytes moved, and the error that ended it (0 when none).
struct TIoResult {
  std::uint32_t count = 0;
  int error = 0;
};

// Why a device could not be opened, and where the name led.  Kept by the component so that
// the "Could not open" message can say what the system reported and what to do.
struct TOpenFailure {
  enum class Reason {
    None,              // the last open worked
    Absent,            // no such device
    InUse,             // another program holds it
    PermissionDenied,  // the account may not open it
    NotSerial,         // a file, a folder or a device that is no serial port
    NoHardware,        // a serial device node with no port behind it
    Other,             // any other system error
  };
  Reason reason = Reason::None;
  int error = 0;        // errno of the failing step
  QString name;         // the name as given (e.g. "COM1")
  QString path;         // the device path it resolved to
  QString group;        // PermissionDenied: the device's group
  QString user;         // PermissionDenied: this account's name
  bool groupListed = false;  // PermissionDenied: the account is in the group, but not this session
  QString holder;       // InUse: "name (PID n)" of the holding program, when it can be seen
};

// One opened device.  Destroying it closes the device (with a bounded wait for unsent
// output), releases the exclusive hold and closes every descriptor it owns.
//
// Threads: WaitCommEvent, CancelWait and Pause are called by the event thread and by Close
// while the rest runs on the user-interface thread; an implementation must allow a wait to
// run beside every other call.
class TCommDevice {
 public:
  virtual ~TCommDevice() = default;

  // True for a serial character device.
  virtual bool IsCharacterDevice() const = 0;

  virtual int SetupComm(std::uint32_t inQueue, std::uint32_t outQueue) = 0;
  virtual int GetCommState(TDcb& dcb) = 0;
  virtual int SetCommState(const TDcb& dcb) = 0;
  virtual int SetCommTimeouts(const TCommTimeouts& timeouts) = 0;
  virtual int SetCommMask(std::uint32_t mask) = 0;

  // Waits until an event of the mask happens, then gives its bits.  EV_RXCHAR comes when
  // bytes arrive, and again while bytes are waiting after some were read since it last came
  // (so a reader that stops early is asked again); bytes that nobody reads are not reported
  // again until more arrive, so a reader that takes nothing cannot make it spin.  Returns
  // ECANCELED once CancelWait has been called; an error when the device failed.  A device
  // that has gone (hung up, unplugged) gives its error once; later waits then only wait for
  // CancelWait, so a caller that loops costs no processor time.
  virtual int WaitCommEvent(std::uint32_t& mask) = 0;
  // Ends the current wait and every later one, from any thread.
  virtual void CancelWait() = 0;
  // Waits for milliseconds, or less when CancelWait is called; false when cancelled.
  virtual bool Pause(std::uint32_t milliseconds) = 0;

  // Writes within the write time-out; the count is what was written.
  virtual TIoResult Write(const char* buffer, std::uint32_t count) = 0;
  // Reads as the read time-outs say; the count is what was read.
  virtual TIoResult Read(char* buffer, std::uint32_t count) = 0;

  // Clears the error state; gives the line errors since the last call and the status.
  virtual int ClearCommError(std::uint32_t& errors, TComStat& stat) = 0;
  virtual int PurgeComm(std::uint32_t flags) = 0;
  // Modem status bits (MS_*); a device without modem lines reports them all off.
  virtual int GetCommModemStatus(std::uint32_t& status) = 0;
  virtual int EscapeCommFunction(int function) = 0;

  // True once the device has hung up (adapter unplugged, peer gone).
  virtual bool Lost() const = 0;
};

// Opens devices by name.
class TCommBackend {
 public:
  virtual ~TCommBackend() = default;
  // Opens the named device for exclusive reading and writing; nullptr when it cannot be
  // opened, with the reason in failure.
  virtual std::unique_ptr<TCommDevice> CreateFile(const QString& name, TOpenFailure& failure) = 0;
};

// The Linux backend (termios).
std::shared_ptr<TCommBackend> PosixCommBackend();
