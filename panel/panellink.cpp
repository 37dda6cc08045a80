#include "panel/panellink.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "panel/pacing.h"

TPanelLink PanelLink(UnitRecord);

namespace {

constexpr int kPacingBetweenLengthRequestsMs = 20;

constexpr const char* kStatusTexts[] = {
    "Unknown Object Type",                 // 128
    "Unknown Object",                      // 129
    "Unknown Property",                    // 130
    "Unknown Index",                       // 131
    "Panel in Local Mode",                 // 132
    "Illegal Data Type",                   // 133
    "Programmed value above valid range",  // 134
    "Programmed value below valid range",  // 135
};
constexpr int kFirstStatus = 128;

bool IsSlot(int slot) { return slot >= kFirstSlot && slot <= kLastSlot; }

}  // namespace

TPanelLink::TPanelLink(UnitDataRecord& record) : record_(record) {}

// ---- building ----

void TPanelLink::BuildFrame(std::uint8_t code, std::uint8_t slot, std::size_t payloadLength) {
  outgoing_.code = code;
  outgoing_.slot = slot;
  outgoing_.length = payloadLength;
  transmit_length_ = EncodeFrame(code, slot, std::span<const std::uint8_t>(outgoing_.payload.data(), payloadLength),
                                 transmit_, &outgoing_.checksum);
}

void TPanelLink::BuildUnitFrame(std::uint8_t unit) {
  outgoing_.payload[0] = unit;
  BuildFrame(kUnitSystemCommand, 0, 1);
}

void TPanelLink::BuildReadRequest(std::uint8_t objectType, std::uint8_t slot, std::uint8_t property) {
  outgoing_.payload[0] = objectType;
  outgoing_.payload[1] = slot;
  outgoing_.payload[2] = property;
  outgoing_.payload[3] = 0;  // index
  BuildFrame(kReadRequestCommand, slot, 4);
}

bool TPanelLink::BuildWriteRequest(std::uint8_t objectType, std::uint8_t slot) {
  auto& p = outgoing_.payload;
  p[0] = objectType;
  p[1] = slot;
  p[2] = kValueProperty;
  p[3] = 0;  // index
  std::size_t length = 4;
  if (slot == kFirstSlot) {
    // The date travels as the packed 32-bit value, its bytes in their stored order.
    p[length++] = kIntegerData;
    for (const std::uint8_t b : record_.PackedCommissionDateBytes()) p[length++] = b;
  } else {
    // A text travels in exactly the width the panel reported for it.
    const std::uint8_t width = FieldLength(slot);
    p[length++] = kTextData;
    p[length++] = width;
    SetInWidth(record_.SlotText(slot), std::span<std::uint8_t>(p.data() + length, width));
    length += width;
  }
  BuildFrame(kWriteRequestCommand, slot, length);
  return transmit_length_ != 0;
}

void TPanelLink::SendFrame() {
  if (port_ == nullptr || transmit_length_ == 0) return;
  port_->Write(reinterpret_cast<const char*>(transmit_.data()), static_cast<unsigned long>(transmit_length_));
}

// ---- receiving ----

bool TPanelLink::ReadPass() {
  std::int32_t read = 0;
  return ReadPass(read);
}

bool TPanelLink::ReadPass(std::int32_t& read) {
  read = 0;
  if (port_ == nullptr) return false;
  const std::int32_t waiting = port_->InQueCount();
  while (read < waiting) {
    char byte = 0;
    if (port_->Read(&byte, 1) != 1) break;
    ++read;
    const TFrameReceiver::Step step = receiver_.Take(static_cast<std::uint8_t>(byte));
    if (step == TFrameReceiver::Step::Completed) return true;
    // A byte discarded right after a complete frame ends the pass as well; the bytes still
    // waiting are read by the next pass.
    if (receiver_.Latched()) break;
  }
  return false;
}

int TPanelLink::ReadReplies() {
  if (port_ == nullptr) return 0;
  int frames = 0;
  for (std::int32_t left = port_->InQueCount(); left > 0;) {
    std::int32_t read = 0;
    if (ReadPass(read)) {
      ProcessFrame();
      ++frames;
    }
    if (read == 0) break;
    left -= read;
  }
  return frames;
}

bool TPanelLink::ProcessFrame() {
  const std::optional<TDecodedFrame> frame = DecodeFrame(receiver_.CompleteFrame(), decoded_);
  if (!frame) return false;
  // The decoded reply keeps the frame's two checksum bytes right after its payload, as they
  // came (at most 256 - 3 bytes, well inside the record's payload).
  reply_.start = decoded_[0];
  reply_.code = frame->kind;
  reply_.slot = frame->slot;
  reply_.length = frame->payload.size();
  std::copy_n(frame->payload.data(), frame->payload.size() + 2, reply_.payload.begin());

  switch (reply_.code) {
    case kAcknowledgementReply:
      return true;
    case kReadReply:
      if (reply_.length == 0) return false;  // no data type: malformed
      ProcessReadReply();
      return true;
    case kWriteReply:
      if (reply_.length == 0) return false;  // no status: malformed
      ProcessWriteReply();
      return true;
    default:
      return false;
  }
}

// The owner may run a nested read pass from inside an outcome (a message box runs an event
// loop), which overwrites the decoded reply: every outcome that can do so comes last.

void TPanelLink::ProcessReadReply() {
  if (owner_ != nullptr) owner_->ReplyArrived();
  const int slot = reply_.slot;
  const std::uint8_t type = reply_.payload[0];
  const std::size_t value_bytes = reply_.length - 1;
  if (IsSlot(slot)) {
    if (type == kByteData && value_bytes >= 1) {
      lengths_[static_cast<std::size_t>(slot)] = reply_.payload[1];
    } else if (type == kTextData && value_bytes >= 1 && value_bytes - 1 >= reply_.payload[1]) {
      const auto* text = reinterpret_cast<const char*>(reply_.payload.data() + 2);
      record_.SetSlot(slot, std::string_view(text, reply_.payload[1]));
      if (owner_ != nullptr) owner_->TextReceived(slot, std::string_view(text, reply_.payload[1]));
    }
    // An integer reply (four bytes, least significant first) maps to no member: it is
    // counted and stored nowhere, like a reply of any other data type.
  }
  CountReply();
  if (reply_count_ == kSlotCount) {
    if (connecting_) {
      lengths_known_ = true;
    } else if (owner_ != nullptr) {
      owner_->AllDataReceived();
    }
  }
}

void TPanelLink::ProcessWriteReply() {
  if (owner_ != nullptr) owner_->ReplyArrived();
  const std::uint8_t status = reply_.payload[0];
  if (status != 0) {
    if (owner_ != nullptr) owner_->WriteRejected(reply_.slot, status);
    return;
  }
  CountReply();
  if (reply_count_ == kSlotCount && owner_ != nullptr) owner_->AllDataWritten();
}

void TPanelLink::CountReply() {
  if (reply_count_ < std::numeric_limits<std::int32_t>::max()) ++reply_count_;
}

// ---- lengths and the length query ----

std::uint8_t TPanelLink::FieldLength(int slot) const {
  return IsSlot(slot) ? lengths_[static_cast<std::size_t>(slot)] : 0;
}

bool TPanelLink::ConnectionCheck() {
  SetReplyCount(0);
  SetConnecting(true);
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    BuildReadRequest(kFieldObjectType, static_cast<std::uint8_t>(slot), kLengthProperty);
    SendFrame();
    Sleep(kPacingBetweenLengthRequestsMs);
  }
  return true;
}

// ---- texts ----

const char* WriteStatusText(int status) {
  const int i = status - kFirstStatus;
  if (i < 0 || i >= static_cast<int>(std::size(kStatusTexts))) return nullptr;
  return kStatusTexts[i];
}


std::string WriteStatusDescription(int status) {
  if (const char* text = WriteStatusText(status)) return text;
  return "Unknown Error Code " + std::to_string(status);
}

std::string SlotName(int slot) {
  return "Sales Order Slot #" + std::to_string(slot) + " (" + (IsSlot(slot) ? SlotDescription(slot) : "Unknown Slot") +
         ")";
}

std::string WriteErrorMessage(int slot, int status) { return SlotName(slot) + ": \n\n" + WriteStatusDescription(status); }

// ---- texts in the panel's widths ----

void SetInWidth(std::string_view text, std::span<std::uint8_t> out) {
  const std::size_t kept = std::min(text.size(), out.size());
  if (kept > 0) std::memcpy(out.data(), text.data(), kept);
  std::memset(out.data() + kept, ' ', out.size() - kept);
}

std::string TextInWidth(std::string_view text, std::size_t width) {
  std::string out(width, ' ');
  SetInWidth(text, std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out.data()), width));
  return out;
}
