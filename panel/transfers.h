#pragma once

// The panel transfers without a window: what the length query, Get Data and Send Data send,
// in what order and pacing, and the rules they follow.  The main window and quellso-tool both
// run them; each begins its transfer on the link (the slots asked, the reply kind expected),
// then reads the replies through the link (TPanelLink::ReadReplies), which stores, counts
// and reports them, and decides itself what the user sees.  A transfer that ended with slots
// missing (TPanelLink::MissingSlots) is asked again for those slots alone by passing them to
// the same function.
//
// The pacing blocks the calling thread on purpose (Sleep, panel/pacing.h): the panel needs
// half a second after the unit-system command and 10 ms after each data frame.  Replies
// wait in the port's input queue meanwhile and are read once the sender has returned.

#include <cstdint>
#include <string>
#include <string_view>

#include "panel/panellink.h"

class TThreadComm;
class UnitDataRecord;

// The serial line the panel needs, set on a closed port: 19200 bit/s, odd parity, 8 data
// bits, 1 stop bit, no flow control, 1024-byte queues, and received characters the only
// event monitored.
void SetPanelLine(TThreadComm& port);

inline constexpr int kAfterUnitCommandMs = 500;
inline constexpr int kBetweenDataFramesMs = 10;
inline constexpr int kBetweenLengthRequestsMs = 20;

// A commissioning date left blank: the window's date field gives its eleven blanks, and a
// text of blanks alone (or none) stands for the same.  A blank date is not written.
bool IsBlankDate(std::string_view date);

// The length query: a Lengths transfer of `slots`, then a read request for the length
// (property 3) of each, each followed by 20 ms.  Sends no unit-system command and waits for
// no reply (the replies are processed later, by the receiving side).
void SendLengthRequests(TPanelLink& link, const TSlotSet& asked = AllSlots());

// Get Data's frames: the unit-system command with `unit` (kEnglishUnits or kMetricUnits),
// 500 ms, a Values transfer of `slots` (into `into` when given, else into the link's
// record), and a read request for the value of each, each followed by 10 ms.  The read
// before and the read after a write pass a TSlotValues, so the window's record is untouched.
void SendReadRequests(TPanelLink& link, std::uint8_t unit, const TSlotSet& asked = AllSlots(),
                      TSlotValues* into = nullptr);

// A request to stop a transfer, for a program that is told to end (a signal): each sequence
// checks it before every frame, finishes the frame in flight and sends nothing more.  Safe to
// set from a signal handler.  `reason` is any non-zero number (the signal); 0 clears it.
void RequestTransferStop(int reason);
// The reason given, 0 while none.
int TransferStopRequested();

// The slot Send Data starts at for the record's values: 2 when the date is blank (it is not
// written, and its slot counts as done), else 1.
int FirstWrittenSlot(const UnitDataRecord& record);

// The slots Send Data writes for the record: FirstWrittenSlot to 41.
TSlotSet WrittenSlots(const UnitDataRecord& record);

// Send Data's frames: the values of the link's record, in the panel's lengths.  The
// unit-system command with `unit`, 500 ms, a Writes transfer of `slots` (by default
// WrittenSlots of the record; a blank date is not asked, so it counts as done), then a write
// request for each, each followed by 10 ms.  A slot whose text cannot be put into one frame
// is not sent (its wait is kept, so the pacing does not change; it stays missing); the first
// such slot is returned, 0 when every frame went out.
int SendWriteRequests(TPanelLink& link, std::uint8_t unit);
int SendWriteRequests(TPanelLink& link, std::uint8_t unit, const TSlotSet& asked);

// The first slot from FirstWrittenSlot on whose write request cannot be put into one frame,
// 0 when every one can: checked before anything is sent.  Builds each request (the link's
// transmit buffer then holds the last one) and sends nothing.
int FirstUnframableSlot(TPanelLink& link);

// "Sales Order Slot #4 (Model Number) was not sent: its text holds too many control
// characters to fit in one frame to the panel."
std::string UnframableSlotText(int slot);
