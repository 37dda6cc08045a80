// Fuzz target for the receive path: the frame receiver, the link's read passes and the
// processing of each frame, fed through an in-memory port in random splits, as the serial
// port delivers bytes.  Two streams come from each input:
//
//   1. the input itself, as whatever a line may deliver: nothing is read or written out of
//      bounds, every byte waiting is read by the handler's ReadReplies, and the outcome (the
//      link's outcomes in order, the record, the length table, the counter) is the same
//      however the stream is split and whichever way the handler reads it;
//   2. well-formed replies built from the input with noise around them that holds no STX
//      (CRs, ETX, DLE, anything else): the outcome is exactly as if the replies had come
//      alone, in one piece, and the owner hears of each slot answered (and of a refusal)
//      exactly once, never of more slots than were asked.
//
// The first input byte chooses the transfer the replies arrive in (none, a length query,
// Get Data or Send Data) and whether it asks every slot or only the odd ones.
//
// Each chunk is read either with ReadReplies (what the window's handler runs) or with the
// plain loop of read passes repeated while bytes wait (what the serial port's repeated
// announcements give a handler that stops early).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "model/unitdatarecord.h"
#include "panel/panelframe.h"
#include "panel/panellink.h"
#include "tests/panel/memoryport.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

// The transfer the replies arrive in.
struct Transfer {
  TTransferKind kind = TTransferKind::None;
  TSlotSet asked;
};

// The outcomes, in order, one number each.
class Outcomes : public TPanelLinkOwner {
 public:
  void ReplyArrived() override { events.push_back(1); }
  void AllDataReceived() override { events.push_back(2); }
  void AllDataWritten() override { events.push_back(3); }
  void WriteRejected(int slot, int status) override {
    events.push_back(4u << 24 | static_cast<std::uint32_t>(slot & 0xFF) << 8 | static_cast<std::uint32_t>(status & 0xFF));
  }
  int Arrived() const {
    int n = 0;
    for (const std::uint32_t e : events) n += e == 1;
    return n;
  }
  std::vector<std::uint32_t> events;
};

// What a run leaves behind.
struct Result {
  std::vector<std::uint32_t> events;
  std::vector<std::string> texts;  // slots 1..41
  Bytes lengths;                   // slots 1..41
  std::int32_t count = 0;
  bool lengthsKnown = false;
  TTransferState state = TTransferState::Idle;
  TSlotSet answered;
  bool operator==(const Result&) const = default;
};

// A small generator for the splits, seeded from the input.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed | 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 16);
  }

 private:
  std::uint64_t state_;
};

std::uint64_t Hash(const std::uint8_t* data, std::size_t size) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ull;
  return h;
}

// Feeds `stream` to a fresh link in chunks: all at once when `random` is null, otherwise
// in random sizes, each chunk read as the handler does before the next arrives.
Result Run(const Bytes& stream, const Transfer& transfer, Random* random) {
  UnitDataRecord record{};
  TPanelLink link(record);
  MemoryPort port;
  Outcomes outcomes;
  link.SetPort(&port);
  link.SetOwner(&outcomes);
  if (transfer.kind != TTransferKind::None) link.BeginTransfer(transfer.kind, transfer.asked);
  for (std::size_t at = 0; at < stream.size();) {
    std::size_t n = stream.size() - at;
    bool plainPasses = false;
    if (random) {
      const std::uint32_t r = random->Next();
      if (r % 16 != 0) n = std::min<std::size_t>(n, 1 + (r >> 4) % 64);
      plainPasses = (r >> 12) & 1;
    }
    port.input.insert(port.input.end(), stream.begin() + static_cast<long>(at),
                      stream.begin() + static_cast<long>(at + n));
    at += n;
    if (plainPasses) {
      // Each announcement runs the loop of passes; the port announces again while a pass
      // left bytes after reading some, so every byte is read in the end.
      while (!port.input.empty()) {
        const std::size_t before = port.input.size();
        while (link.ReadPass()) link.ProcessFrame();
        Check(port.input.size() < before);  // every pass reads a byte: no spinning
      }
    } else {
      link.ReadReplies();
    }
    Check(port.input.empty());  // nothing is left for traffic that may not come
    Check(link.Receiver().ReceiveIndex() >= 0 &&
          link.Receiver().ReceiveIndex() < static_cast<int>(kFrameBufferSize));
  }
  Result result;
  result.events = outcomes.events;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    const char* text = record.SlotText(slot);
    const std::size_t capacity = MemberInfo(*SlotMember(slot)).capacity;
    Check(std::strlen(text) <= capacity);
    result.texts.emplace_back(text);
    result.lengths.push_back(link.FieldLength(slot));
  }
  result.count = link.ReplyCount();
  result.lengthsKnown = link.LengthsKnown();
  result.state = link.State();
  result.answered = link.AnsweredSlots();
  Check((result.answered & ~transfer.asked).none());
  return result;
}

// Reads the input front to back; zeros once it runs out.
class Cursor {
 public:
  Cursor(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// Noise: any byte but STX.
void AppendNoise(Cursor& in, Bytes& out) {
  const int n = in.Byte() % 16;
  for (int i = 0; i < n; ++i) {
    const std::uint8_t b = in.Byte();
    out.push_back(b == kStx ? 0x0D : b);
  }
}

// One well-formed reply from the input; `accepted` counts those that report ReplyArrived.
Bytes MakeReply(Cursor& in, int& accepted) {
  const std::uint8_t choice = in.Byte();
  const std::uint8_t slot = in.Byte() % 48;  // some outside 1..41
  Bytes payload;
  std::uint8_t kind = kAcknowledgementReply;
  switch (choice % 5) {
    case 0:  // acknowledgement, with whatever payload
      for (int i = in.Byte() % 6; i > 0; --i) payload.push_back(in.Byte());
      break;
    case 1: {  // text
      kind = kReadReply;
      const std::uint8_t length = in.Byte() % 64;
      payload = {kTextData, length};
      for (int i = 0; i < length; ++i) payload.push_back(in.Byte());
      break;
    }
    case 2:  // a length
      kind = kReadReply;
      payload = {kByteData, in.Byte()};
      break;
    case 3:  // an integer, or a data type of no meaning
      kind = kReadReply;
      payload = {static_cast<std::uint8_t>(choice & 0x80 ? kIntegerData : in.Byte()), in.Byte(), in.Byte(),
                 in.Byte(), in.Byte()};
      break;
    default:  // a write status, mostly accepted
      kind = kWriteReply;
      payload = {static_cast<std::uint8_t>(choice & 0x80 ? in.Byte() : 0)};
      break;
  }
  std::uint8_t frame[kFrameBufferSize];
  const std::size_t n = EncodeFrame(kind, slot, payload, frame);
  Check(n != 0);  // these payloads always fit
  if (kind != kAcknowledgementReply) ++accepted;
  return Bytes(frame, frame + n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Random random(Hash(data, size));
  Transfer transfer;
  if (size > 0) {
    transfer.kind = static_cast<TTransferKind>(data[0] % 4);
    transfer.asked = AllSlots();
    if (data[0] & 4)
      for (int slot = kFirstSlot; slot <= kLastSlot; slot += 2) transfer.asked.reset(static_cast<std::size_t>(slot));
  }

  // 1. Whatever the line delivers.
  const Bytes line(data, data + size);
  const Result whole = Run(line, transfer, nullptr);
  Check(Run(line, transfer, &random) == whole);

  // 2. Well-formed replies with noise around them that holds no STX.
  Cursor in(data, size);
  Bytes replies, noisy;
  int accepted = 0;
  for (int i = 0; i < 64 && in.More(); ++i) {
    AppendNoise(in, noisy);
    const Bytes reply = MakeReply(in, accepted);
    replies.insert(replies.end(), reply.begin(), reply.end());
    noisy.insert(noisy.end(), reply.begin(), reply.end());
  }
  AppendNoise(in, noisy);
  const Result clean = Run(replies, transfer, nullptr);
  Outcomes counted;
  counted.events = clean.events;
  Check(counted.Arrived() <= accepted);
  Check(counted.Arrived() ==
        static_cast<int>(clean.answered.count()) + (clean.state == TTransferState::Rejected ? 1 : 0));
  Check(Run(noisy, transfer, &random) == clean);
  return 0;
}
