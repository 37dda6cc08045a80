#include "panel/transfers.h"

#include <atomic>

#include "model/unitdatarecord.h"
#include "panel/comm.h"
#include "panel/pacing.h"
#include "panel/panellink.h"

namespace {

std::atomic<int> g_stop{0};
static_assert(std::atomic<int>::is_always_lock_free);

void SendUnitCommand(TPanelLink& link, std::uint8_t unit) {
  link.BuildUnitFrame(unit);
  link.SendFrame();
  Sleep(kAfterUnitCommandMs);
}

}  // namespace

void SetPanelLine(TThreadComm& port) {
  port.SetReadBufSize(1024);
  port.SetWriteBufSize(1024);
  port.SetMonitorEvents({evRxChar});
  port.SetBaudRate(br19200);
  port.SetParity(paOdd);
  port.SetFlowControl(fcNone);
}

void RequestTransferStop(int reason) { g_stop.store(reason); }

int TransferStopRequested() { return g_stop.load(); }

bool IsBlankDate(std::string_view date) { return date.find_first_not_of(' ') == std::string_view::npos; }

void SendLengthRequests(TPanelLink& link, const TSlotSet& asked) {
  link.BeginTransfer(TTransferKind::Lengths, asked);
  for (const int slot : SlotNumbers(asked)) {
    if (TransferStopRequested() != 0) return;
    link.BuildReadRequest(kFieldObjectType, static_cast<std::uint8_t>(slot), kLengthProperty);
    link.SendFrame();
    Sleep(kBetweenLengthRequestsMs);
  }
}

void SendReadRequests(TPanelLink& link, std::uint8_t unit, const TSlotSet& asked, TSlotValues* into) {
  SendUnitCommand(link, unit);
  link.BeginTransfer(TTransferKind::Values, asked, into);
  for (const int slot : SlotNumbers(asked)) {
    if (TransferStopRequested() != 0) return;
    link.BuildReadRequest(kFieldObjectType, static_cast<std::uint8_t>(slot), kValueProperty);
    link.SendFrame();
    Sleep(kBetweenDataFramesMs);
  }
}

int FirstWrittenSlot(const UnitDataRecord& record) {
  return IsBlankDate(record.CommissionDate()) ? kFirstSlot + 1 : kFirstSlot;
}

TSlotSet WrittenSlots(const UnitDataRecord& record) {
  TSlotSet asked = AllSlots();
  if (FirstWrittenSlot(record) != kFirstSlot) asked.reset(kFirstSlot);
  return asked;
}

int SendWriteRequests(TPanelLink& link, std::uint8_t unit) {
  return SendWriteRequests(link, unit, WrittenSlots(link.Record()));
}

int SendWriteRequests(TPanelLink& link, std::uint8_t unit, const TSlotSet& asked) {
  SendUnitCommand(link, unit);
  link.BeginTransfer(TTransferKind::Writes, asked);
  int unsent = 0;
  for (const int slot : SlotNumbers(asked)) {
    if (TransferStopRequested() != 0) break;
    if (link.BuildWriteRequest(kFieldObjectType, static_cast<std::uint8_t>(slot)))
      link.SendFrame();
    else if (unsent == 0)
      unsent = slot;
    Sleep(kBetweenDataFramesMs);
  }
  return unsent;
}

int FirstUnframableSlot(TPanelLink& link) {
  for (int slot = FirstWrittenSlot(link.Record()); slot <= kLastSlot; ++slot)
    if (!link.BuildWriteRequest(kFieldObjectType, static_cast<std::uint8_t>(slot))) return slot;
  return 0;
}

std::string UnframableSlotText(int slot) {
  return SlotName(slot) +
         " was not sent: its text holds too many control characters to fit in one frame to the panel.";
}
