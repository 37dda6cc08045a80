#include "panel/panellink.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

TPanelLink PanelLink(UnitRecord);

namespace {

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

TSlotSet AllSlots() {
  TSlotSet all;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) all.set(static_cast<std::size_t>(slot));
  return all;
}

std::vector<int> SlotNumbers(const TSlotSet& asked) {
  std::vector<int> out;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (asked.test(static_cast<std::size_t>(slot))) out.push_back(slot);
  return out;
}

const std::optional<std::string>& TSlotValues::operator[](int slot) const {
  static const std::optional<std::string> kNone;
  return IsSlot(slot) ? texts_[static_cast<std::size_t>(slot)] : kNone;
}

void TSlotValues::Set(int slot, std::string_view text) {
  if (IsSlot(slot)) texts_[static_cast<std::size_t>(slot)] = std::string(text);
}

TSlotSet TSlotValues::Answered() const {
  TSlotSet out;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (texts_[static_cast<std::size_t>(slot)]) out.set(static_cast<std::size_t>(slot));
  return out;
}

TPanelLink::TPanelLink(UnitDataRecord& record) : record_(record) {}

// ---- transfers ----

void TPanelLink::BeginTransfer(TTransferKind kind, const TSlotSet& asked, TSlotValues* into) {
  kind_ = kind;
  asked_ = asked & AllSlots();
  answered_.reset();
  sent_.reset();
  refused_.reset();
  into_ = kind == TTransferKind::Values ? into : nullptr;
  reply_count_ = kSlotCount - static_cast<std::int32_t>(asked_.count());
  state_ = asked_.none() ? TTransferState::Complete : TTransferState::Running;
}

void TPanelLink::AbandonTransfer() {
  if (state_ == TTransferState::Running) state_ = TTransferState::Abandoned;
}

bool TPanelLink::Expecting(int slot) const {
  return state_ == TTransferState::Running && IsSlot(slot) && asked_.test(static_cast<std::size_t>(slot)) &&
         !answered_.test(static_cast<std::size_t>(slot));
}

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
  const bool request = outgoing_.code == kReadRequestCommand || outgoing_.code == kWriteRequestCommand;
  if (request && IsSlot(outgoing_.slot) && asked_.test(outgoing_.slot)) sent_.set(outgoing_.slot);
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
    if (ReadPass(read) && ProcessFrame()) ++frames;
    if (read == 0) break;
    left -= read;
  }
  return frames;
}

bool TPanelLink::ProcessFrame() {
  const std::optional<TDecodedFrame> frame = DecodeFrame(receiver_.CompleteFrame(), decoded_);
  if (!frame) {
    ++bad_frames_;
    return false;
  }
  // The decoded reply keeps the frame's two checksum bytes right after its payload, as they
  // came (at most kMaxDecodedFrame - 3 bytes, inside the record's payload).
  reply_.start = decoded_[0];
  reply_.code = frame->kind;
  reply_.slot = frame->slot;
  reply_.length = frame->payload.size();
  std::copy_n(frame->payload.data(), frame->payload.size() + 2, reply_.payload.begin());

  bool processed = false;
  if (reply_.code == kReadReply)
    processed = ProcessReadReply();
  else if (reply_.code == kWriteReply)
    processed = ProcessWriteReply();
  if (!processed) ++ignored_frames_;
  return processed;
}

// The owner may run a nested read pass from inside an outcome (a message box runs an event
// loop), which overwrites the decoded reply: every outcome that can do so comes last, and
// nothing of the reply is read after an outcome.

bool TPanelLink::ProcessReadReply() {
  const int slot = reply_.slot;
  if (reply_.length == 0 || !Expecting(slot)) return false;
  const std::uint8_t type = reply_.payload[0];
  const std::size_t value_bytes = reply_.length - 1;
  if (kind_ == TTransferKind::Lengths) {
    if (type != kByteData || value_bytes < 1) return false;
    lengths_[static_cast<std::size_t>(slot)] = reply_.payload[1];
    reported_lengths_.set(static_cast<std::size_t>(slot));
    CountReply(slot);
    return true;
  }
  if (kind_ != TTransferKind::Values) return false;
  if (type == kIntegerData && value_bytes >= 4) {
    // Four bytes, least significant first: no member holds them.
    CountReply(slot);
    return true;
  }
  if (type != kTextData || value_bytes < 1 || value_bytes - 1 < reply_.payload[1]) return false;
  const std::string_view text(reinterpret_cast<const char*>(reply_.payload.data() + 2), reply_.payload[1]);
  if (into_ != nullptr)
    into_->Set(slot, text);
  else
    record_.SetSlot(slot, text);
  answered_.set(static_cast<std::size_t>(slot));
  ++reply_count_;
  if (owner_ != nullptr) owner_->ReplyArrived();
  if (owner_ != nullptr) owner_->TextReceived(slot, text);
  Completed();
  return true;
}

bool TPanelLink::ProcessWriteReply() {
  const int slot = reply_.slot;
  if (reply_.length == 0 || kind_ != TTransferKind::Writes) return false;
  const std::uint8_t status = reply_.payload[0];
  if (state_ == TTransferState::Rejected) return AfterRefusal(slot, status);
  if (!Expecting(slot)) return false;
  if (status != 0) {
    state_ = TTransferState::Rejected;
    refused_.set(static_cast<std::size_t>(slot));
    if (owner_ != nullptr) owner_->ReplyArrived();
    if (owner_ != nullptr) owner_->WriteRejected(slot, status);
    return true;
  }
  CountReply(slot);
  return true;
}

bool TPanelLink::AfterRefusal(int slot, std::uint8_t status) {
  if (!IsSlot(slot) || !asked_.test(static_cast<std::size_t>(slot))) return false;
  const auto bit = static_cast<std::size_t>(slot);
  if (answered_.test(bit) || refused_.test(bit)) return false;
  if (status != 0) {
    refused_.set(bit);
  } else {
    answered_.set(bit);
    ++reply_count_;
  }
  return true;
}

void TPanelLink::CountReply(int slot) {
  answered_.set(static_cast<std::size_t>(slot));
  ++reply_count_;
  if (owner_ != nullptr) owner_->ReplyArrived();
  Completed();
}

void TPanelLink::Completed() {
  // An outcome may have begun another transfer meanwhile: only the one still running ends.
  if (state_ != TTransferState::Running || MissingSlots().any()) return;
  state_ = TTransferState::Complete;
  switch (kind_) {
    case TTransferKind::Lengths:
      if ((reported_lengths_ & AllSlots()) == AllSlots()) lengths_known_ = true;
      break;
    case TTransferKind::Values:
      if (owner_ != nullptr) owner_->AllDataReceived();
      break;
    case TTransferKind::Writes:
      if (owner_ != nullptr) owner_->AllDataWritten();
      break;
    case TTransferKind::None:
      break;
  }
}

// ---- lengths ----

std::uint8_t TPanelLink::FieldLength(int slot) const {
  return IsSlot(slot) ? lengths_[static_cast<std::size_t>(slot)] : 0;
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
