#pragma once

// The panel transfers without a window: what Get Data and Send Data send, in what order and
// pacing, and the rules they follow.  The main window and quellso-tool both run them; each
// then reads the replies through the link (TPanelLink::ReadReplies), which stores, counts
// and reports them, and decides itself what the user sees.
//
// The pacing blocks the calling thread on purpose (Sleep, panel/pacing.h): the panel needs
// half a second after the unit-system command and 10 ms after each data frame.  Replies
// wait in the port's input queue meanwhile and are read once the sender has returned.

#include <cstdint>
#include <string>
#include <string_view>

class TPanelLink;
class TThreadComm;
class UnitDataRecord;

// The serial line the panel needs, set on a closed port: 19200 bit/s, odd parity, 8 data
// bits, 1 stop bit, no flow control, 1024-byte queues, and received characters the only
// event monitored.
void SetPanelLine(TThreadComm& port);

inline constexpr int kAfterUnitCommandMs = 500;
inline constexpr int kBetweenDataFramesMs = 10;

// A commissioning date left blank: the window's date field gives its eleven blanks, and a
// text of blanks alone (or none) stands for the same.  A blank date is not written.
bool IsBlankDate(std::string_view date);

// Get Data's frames.  Ends a length query (Connecting cleared, so the replies count as
// values), then the unit-system command with `unit` (kEnglishUnits or kMetricUnits), 500 ms,
// the reply count set to 0, and a read request for the value of each slot 1..41, each
// followed by 10 ms.
void SendReadRequests(TPanelLink& link, std::uint8_t unit);

// The slot Send Data starts at for the record's values: 2 when the date is blank (it is not
// written, and its slot counts as done), else 1.
int FirstWrittenSlot(const UnitDataRecord& record);

// Send Data's frames: the values of the link's record, in the panel's lengths.  The unit-system command
// with `unit`, 500 ms, the reply count preset (1 with a blank date, else 0), then a write
// request for each slot from FirstWrittenSlot to 41, each followed by 10 ms.  A slot whose
// text cannot be put into one frame is not sent (its wait is kept, so the pacing does not
// change); the first such slot is returned, 0 when every frame went out.
int SendWriteRequests(TPanelLink& link, std::uint8_t unit);

// The first slot from FirstWrittenSlot on whose write request cannot be put into one frame,
// 0 when every one can: checked before anything is sent.  Builds each request (the link's
// transmit buffer then holds the last one) and sends nothing.
int FirstUnframableSlot(TPanelLink& link);

// "Sales Order Slot #4 (Model Number) was not sent: its text holds too many control
// characters to fit in one frame to the panel."
std::string UnframableSlotText(int slot);
