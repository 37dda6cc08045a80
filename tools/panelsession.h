#pragma once

// One conversation of quellso-tool with a panel: the real serial port (TComm) on the line the
// panel needs, the panel link, and the transfers of panel/transfers.h that the main window
// runs too.  Where the window leaves the replies to its event handlers and a one-second
// timer, the session runs the event loop until the transfer is over: every asked slot
// answered, a write refused, no counted reply for a second (after the last frame, and after
// each counted reply), or a stop requested (RequestTransferStop: then the replies already due
// are collected for up to a second).  A transfer that ends with slots missing after at least
// one reply is asked again for those slots alone, up to Retries() times, and says so on
// standard error.
//
// Needs a QCoreApplication on the calling thread (no display).

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "model/unitdatarecord.h"
#include "panel/comm.h"
#include "panel/panellink.h"

class TPanelSession : public TPanelLinkOwner {
 public:
  TPanelSession();
  ~TPanelSession() override;
  TPanelSession(const TPanelSession&) = delete;
  TPanelSession& operator=(const TPanelSession&) = delete;

  // Opens the port named `name` (COM1..COM4 or a device path, resolved as the window
  // resolves it).  False with the window's reason line in `reason` when it does not open,
  // or with the serial port's error when it refuses the line settings.
  bool Open(const QString& name, std::string& reason);
  QString PortName() const { return port_.DeviceName(); }

  // Where the retries are announced, and whether the n/41 progress is drawn there; nothing
  // is said while `err` is null.
  void SetMessages(std::ostream* err, bool progress) {
    err_ = err;
    progress_ = progress;
  }
  // Times a transfer is asked again for its missing slots (default 2).
  void SetRetries(int retries) { retries_ = retries; }
  int Retries() const { return retries_; }

  enum class End { Complete, Rejected, TimedOut, Interrupted };
  struct Result {
    End end = End::TimedOut;
    int answered = 0;       // asked slots answered, over every attempt, of
    int expected = 0;       // the slots the transfer asked for (40 when a blank date is not written)
    int rejectedSlot = 0;   // End::Rejected: the slot the panel refused, and its status
    int rejectedStatus = 0;
    TSlotSet asked;
    TSlotSet answeredSlots;
    TSlotSet sent;            // slots whose request went out (all asked ones unless stopped)
    TSlotSet refused;         // slots whose write the panel refused
    std::vector<int> silent;  // the slots asked for that no reply named
  };

  // The length query (the link's lengths table), waited for.
  Result QueryLengths();
  // Get Data: the unit-system command and the value requests of `asked`, waited for; the
  // texts go into `into` (the record is not touched).
  Result ReadValues(std::uint8_t unit, TSlotValues& into, const TSlotSet& asked = AllSlots());
  // Send Data: the record's values of `asked`, waited for.  Nothing is written when a text
  // does not fit a frame: check FirstUnframableSlot (panel/transfers.h) first.
  Result WriteValues(std::uint8_t unit, const TSlotSet& asked);

  UnitDataRecord& Record() { return record_; }
  TPanelLink& Link() { return link_; }

  // ---- the link's outcomes ----
  void ReplyArrived() override;
  void AllDataReceived() override;
  void AllDataWritten() override;
  void WriteRejected(int slot, int status) override;

 private:
  enum class Kind { Lengths, Values, Writes };
  Result Run(Kind kind, std::uint8_t unit, const TSlotSet& asked, TSlotValues* into);
  // Runs the event loop from the last frame until the transfer is over.
  End Wait();
  void RxChar();
  void Finish(End end);
  void CheckStop();
  void DrawProgress(bool last);

  UnitDataRecord record_{};
  TPanelLink link_{record_};
  TComm port_;
  QTimer timeout_;
  QTimer stopWatch_;  // looks for a requested stop while the loop runs
  QEventLoop* loop_ = nullptr;
  std::optional<End> end_;
  bool draining_ = false;  // a stop was seen: the replies due are being collected
  bool rejected_ = false;  // a write was refused: the replies due are being collected
  int rejectedSlot_ = 0;
  int rejectedStatus_ = 0;
  int retries_ = 2;
  std::ostream* err_ = nullptr;
  bool progress_ = false;
  const char* doing_ = "";  // the progress line's word
};
