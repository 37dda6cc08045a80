#pragma once

// One conversation of quellso-tool with a panel: the real serial port (TComm) on the line the
// panel needs, the panel link, and the transfers of panel/transfers.h that the main window
// runs too.  Where the window leaves the replies to its event handlers and a one-second
// timer, the session runs the event loop until the transfer is over: 41 replies counted, a
// write refused, or no reply for a second (after the last frame, and after each reply).
//
// Needs a QCoreApplication on the calling thread (no display).

#include <QEventLoop>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
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

  enum class End { Complete, Rejected, TimedOut };
  struct Result {
    End end = End::TimedOut;
    int answered = 0;       // replies counted, of
    int expected = 0;       // the replies the transfer asked for (40 when a blank date is not written)
    int rejectedSlot = 0;   // End::Rejected: the slot the panel refused, and its status
    int rejectedStatus = 0;
    std::vector<int> silent;  // the slots asked for that no reply named
  };

  // The length query (the link's connection check), waited for.
  Result QueryLengths();
  // Get Data: the unit-system command and the 41 value requests, waited for.  Text(slot)
  // then holds each value as the panel sent it.
  Result ReadValues(std::uint8_t unit);
  // Send Data: the record's values, waited for.  Nothing is written when a text does not fit
  // a frame: check FirstUnframableSlot (panel/transfers.h) first.
  Result WriteValues(std::uint8_t unit);

  UnitDataRecord& Record() { return record_; }
  TPanelLink& Link() { return link_; }
  // The text of slot 1..41 as the last read transfer received it; nothing when no reply
  // brought one.
  const std::optional<std::string>& Text(int slot) const { return texts_[static_cast<std::size_t>(slot)]; }

  // ---- the link's outcomes ----
  void ReplyArrived() override;
  void AllDataReceived() override;
  void AllDataWritten() override;
  void WriteRejected(int slot, int status) override;
  void TextReceived(int slot, std::string_view text) override;

 private:
  // Prepares the outcome of a new transfer that asks for the slots from `first` to 41.
  void Begin(int first);
  // Runs the event loop from the last frame until the transfer is over.
  Result Wait();
  void RxChar();
  void Finish(End end);

  UnitDataRecord record_{};
  TPanelLink link_{record_};
  TComm port_;
  QTimer timeout_;
  QEventLoop* loop_ = nullptr;
  std::optional<End> end_;
  Result result_;
  int first_ = kFirstSlot;
  bool query_ = false;  // the transfer is a length query
  std::array<bool, kSlotCount + 1> named_{};
  std::array<std::optional<std::string>, kSlotCount + 1> texts_{};
};
