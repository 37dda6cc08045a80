#pragma once

// TPanelLink: the program's side of the panel protocol.  It builds request frames (the
// unit-system command, read requests, write requests) into its transmit buffer and writes
// them to the port on request; it reassembles reply frames from the bytes the port delivers,
// checks and decodes them, stores the values they carry in the unit data record or in its
// field-length table, counts them, and reports the outcome of each reply to its owner.
//
// Requests name their object by four bytes: object type (always 10), object number (the
// slot, 1..41), property (0 = the value, 3 = the length of a text value) and index (0).
//
// The link knows nothing of windows, timers or message boxes.  Of the port it uses three
// operations (TPanelPort: Write, InQueCount, Read); while the port is closed they return -1,
// a read pass reads nothing and a frame sent is lost without notice.  Everything runs on the
// user-interface thread; the link has no lock.  It works in its fixed buffers only and
// allocates nothing per frame, but for the text it keeps when a read goes into a TSlotValues.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/unitdatarecord.h"
#include "panel/panelframe.h"
#include "panel/panelport.h"

// Replies counted towards a complete transfer or length query.
inline constexpr std::int32_t kSlotCount = 41;

// A set of slots, 1..41: bit s stands for slot s (bit 0 is never set).
using TSlotSet = std::bitset<kSlotCount + 1>;
// Slots 1..41.
TSlotSet AllSlots();
// The slots of a set, ascending.
std::vector<int> SlotNumbers(const TSlotSet& asked);

// The texts of the 41 slots as a read brought them, kept apart from any record: what the
// panel held before a write (the as-found values) or after it (the read-back).  A slot that
// did not answer holds nothing; slot 1 holds the date as the panel spelled it.
class TSlotValues {
 public:
  // Slot 1..41; nothing for any other slot.
  const std::optional<std::string>& operator[](int slot) const;
  void Set(int slot, std::string_view text);
  void Clear() { texts_.fill(std::nullopt); }
  // The slots that hold a text.
  TSlotSet Answered() const;

 private:
  std::array<std::optional<std::string>, kSlotCount + 1> texts_{};
};

// What a transfer asks for, and so which replies it counts.
enum class TTransferKind : std::uint8_t {
  None,     // nothing asked: every reply is ignored
  Lengths,  // the length query: read replies of data type 0
  Values,   // Get Data, and the reads before and after a write: read replies of a value
            // (a text, or the four bytes of an integer)
  Writes,   // Send Data: write replies
};

// Where a transfer stands.
enum class TTransferState : std::uint8_t {
  Idle,       // none begun
  Running,    // slots asked, not every one answered yet
  Complete,   // every asked slot answered
  Rejected,   // the panel refused a write; the transfer ends there
  Abandoned,  // its owner gave up waiting (a time-out, an interruption): late replies are
              // ignored, and what was answered and what is missing stays known
};

// Bytes of a message record's payload.
inline constexpr std::size_t kMessagePayloadSize = 299;

// One message: the request last built, before escaping, or the reply last decoded, after
// un-escaping.
struct TPanelMessage {
  std::uint8_t start = kStx;  // STX, set at construction
  std::uint8_t code = 0;      // command code or reply kind, without the top bit
  std::uint8_t slot = 0;      // without the top bit
  std::array<std::uint8_t, kMessagePayloadSize> payload{};
  std::uint16_t checksum = 0;  // checksum of the frame last built from it (requests only)
  std::uint8_t end = kEtx;     // ETX, set at construction
  std::size_t length = 0;      // payload bytes in use; a reply's two checksum bytes follow them
};

// What the link reports about each reply it accepts.  The main window implements it and
// decides what the user sees.  The calls come from inside ProcessFrame, on the thread that
// called it.  An outcome may call back into the link, even run a nested read pass (a message
// box runs an event loop): AllDataReceived, AllDataWritten and WriteRejected are always the
// last thing ProcessFrame does with a reply.
class TPanelLinkOwner {
 public:
  virtual ~TPanelLinkOwner() = default;
  // A reply the running transfer counted (the first matching reply for a slot it asked), or
  // a refused write of such a slot; comes first, before any other outcome of the same reply.
  // ReplyCount() already includes it: an owner restarts its time-out here and shows the
  // progress.  Must not run an event loop.  Replies that are not counted (a slot not asked,
  // asked twice, the wrong kind, no transfer running) report nothing.
  virtual void ReplyArrived() = 0;
  // The last asked slot of a Values transfer answered.
  virtual void AllDataReceived() = 0;
  // The last asked slot of a Writes transfer acknowledged.
  virtual void AllDataWritten() = 0;
  // A write reply with a non-zero status for a slot the running Writes transfer asked and
  // that had not answered: the slot and the panel's status byte.  The transfer ends here
  // (state Rejected): its other slots are known as answered (written) or missing.
  virtual void WriteRejected(int slot, int status) = 0;
  // A counted read reply's text for slot 1..41, exactly as the panel sent it (the record
  // keeps it cut to the member's capacity), right after it was stored.  Must not run an
  // event loop.  Nothing by default.
  virtual void TextReceived(int slot, std::string_view text) {
    (void)slot;
    (void)text;
  }
};

class TPanelLink {
 public:
  // The link stores received values into `record` (kept by reference; the program passes its
  // one UnitRecord).  It starts with no port and no owner, every flag false, the counter 0
  // and every field length 0.
  explicit TPanelLink(UnitDataRecord& record);
  TPanelLink(const TPanelLink&) = delete;
  TPanelLink& operator=(const TPanelLink&) = delete;

  // The port that frames are written to and read from; nullptr (the start) behaves as a
  // closed port.  The main window sets it to its CommPort and clears it before the port goes.
  void SetPort(TPanelPort* port) { port_ = port; }
  TPanelPort* Port() const { return port_; }
  // Who hears the outcomes; nullptr (the start) drops them.
  void SetOwner(TPanelLinkOwner* owner) { owner_ = owner; }
  // The record the link sends from and stores into.
  UnitDataRecord& Record() const { return record_; }

  // ---- building and sending requests ----
  // Each builder fills the outgoing message and builds its frame into the transmit buffer,
  // replacing the frame there; build, then SendFrame, then build the next.

  // The unit-system command: code 0, slot 0, one payload byte `unit` (kEnglishUnits or
  // kMetricUnits).  Always fits.
  void BuildUnitFrame(std::uint8_t unit);
  // A read request: code 2, slot `slot`, payload objectType, slot, property, 0.  Callers pass
  // kFieldObjectType and kValueProperty or kLengthProperty.  Always fits.
  void BuildReadRequest(std::uint8_t objectType, std::uint8_t slot, std::uint8_t property);
  // A write request carrying the record's current value of the slot's member: code 4, slot
  // `slot`, payload objectType, slot, 0, 0 and then
  //   slot 1: data type 32 and the four bytes of the packed commissioning date in their
  //           stored order (year - 1900, month, day, fourth byte);
  //   slots 2..41 (and any other slot, which names no member and so carries an empty text):
  //           data type 7, L = FieldLength(slot), and the member's text set in exactly L
  //           characters, padded with spaces or cut to its first L; with no length reported
  //           (L = 0) the type, a zero length and no characters.
  // Returns false, leaving no frame to send, when the escaped frame would not fit the
  // 300-byte transmit buffer (only a reported length above 218 together with dozens of STX,
  // ETX or DLE characters in the text can do that); true otherwise.
  bool BuildWriteRequest(std::uint8_t objectType, std::uint8_t slot);
  // Writes the frame in the transmit buffer, from its STX to its ETX, with one Write call;
  // what Write returns is not looked at.  Writes nothing when no frame has been built (or the
  // last build failed) or there is no port.
  void SendFrame();

  // ---- receiving replies ----

  // ---- transfers ----
  // A transfer says which slots it asks and which reply kind it expects; only the first
  // matching reply for an asked slot counts, every other frame is ignored (IgnoredFrames).
  // The sequences of panel/transfers.h begin their transfers themselves.

  // Begins a transfer of `kind` for the slots of `asked` (only 1..41 are taken): every slot
  // unanswered, ReplyCount() = the slots of 1..41 not asked (so it reaches 41 when the last
  // asked slot answers), state Running.  A Values transfer stores each text into `into`
  // when given, and leaves the record alone; otherwise into the record.  `into` must
  // outlive the transfer or the next BeginTransfer.  Any kind with no slot asked is Complete
  // at once and reports nothing.
  void BeginTransfer(TTransferKind kind, const TSlotSet& asked, TSlotValues* into = nullptr);
  // The owner stops waiting: a running transfer becomes Abandoned, and replies that still
  // come are ignored.  Nothing changes in any other state.
  void AbandonTransfer();
  TTransferKind Transfer() const { return kind_; }
  TTransferState State() const { return state_; }
  const TSlotSet& AskedSlots() const { return asked_; }
  const TSlotSet& AnsweredSlots() const { return answered_; }
  // The asked slots whose request SendFrame has written during this transfer.
  const TSlotSet& SentSlots() const { return sent_; }
  // The slots a Writes transfer's panel refused.
  const TSlotSet& RefusedSlots() const { return refused_; }
  // Asked and not answered: the slots a transfer of only the missing ones would ask.
  TSlotSet MissingSlots() const { return asked_ & ~answered_; }
  // Frames that passed the check and were not counted or acted upon (wrong kind, a slot not
  // asked or already answered, a malformed value, no transfer running), since construction.
  std::int64_t IgnoredFrames() const { return ignored_frames_; }
  // Frames that failed the check or were too short or too long, since construction.
  std::int64_t BadFrames() const { return bad_frames_; }

  // One read pass: takes as many bytes as InQueCount() reported at its start (none while the
  // port is closed, -1), one Read of one byte at a time, through the receiver (TFrameReceiver
  // in panelframe.h).  The pass stops early right after the ETX that completes a frame, and
  // also after a byte discarded while the completion latch is still set (a byte right after a
  // frame), or when a Read delivers no byte.  True when it stopped on a completed frame: call
  // ProcessFrame, then ReadPass again until it returns false.  Bytes left waiting are read by
  // the next pass.
  bool ReadPass();
  // What the port's character-received handler runs: read passes, each one that completes a
  // frame followed by ProcessFrame, until every byte that was waiting when it began has been
  // read.  A pass that ends on a byte discarded after a frame is simply followed by the next
  // pass, so stray bytes on the line (a CR or CR LF after each reply, noise between replies
  // or on the idle line) never leave bytes waiting for traffic that may not come.  Bytes that
  // arrive meanwhile are left to the next character-received event, so a flood cannot keep
  // it from returning.  Ends early when a pass reads no byte (the port closed, or a read
  // failed).  Every pass reads at least one byte, so it cannot spin.  Returns the frames
  // that ProcessFrame processed (counted, or a refused write acted upon): frames that failed
  // the check or were ignored do not count, so an owner refreshes only when something came.
  int ReadReplies();
  // Checks, decodes and dispatches the frame that the last ReadPass completed.  A frame that
  // fails the check, is too short to hold its header and checksum, or is longer than
  // kMaxDecodedFrame bytes once un-escaped is dropped (BadFrames).  A frame that passed is
  // processed only when it is the first matching reply for a slot the running transfer asked:
  //   Lengths, a read reply of data type 0 with its length byte: the slot's field length.
  //   Values, a read reply of data type 7 with its L characters (stored through the slot's
  //     setter, slot 1 the date text, or into the transfer's TSlotValues), or of data type 32
  //     with its four bytes (stored nowhere: no member holds it).
  //   Writes, a write reply: status 0 counts; a non-zero status ends the transfer, Rejected,
  //     and reports WriteRejected(slot, status).  The replies that follow a refusal for the
  //     other asked slots (the frames already sent) are still taken, silently: an
  //     acknowledgement marks its slot answered (written), a refusal adds it to RefusedSlots.
  // A counted reply marks its slot answered, adds one to ReplyCount, reports ReplyArrived
  // (and TextReceived for a text), and when it was the last missing slot completes the
  // transfer: a length query then sets LengthsKnown when all 41 lengths are in, Values
  // reports AllDataReceived, Writes AllDataWritten.  Every other frame is ignored
  // (IgnoredFrames) and changes nothing.  True when the frame was processed.
    bool ProcessFrame();

  // ---- the length table, the flags and the counter ----

  // The length of the slot's text as the panel reported it; 0 = not reported, and for any
  // slot outside 1..41.
  std::uint8_t FieldLength(int slot) const;
  // Set once every slot 1..41 has reported its length; stays set for the rest of the run.
  bool LengthsKnown() const { return lengths_known_; }
  // The last transfer begun is a length query.
  bool Connecting() const { return kind_ == TTransferKind::Lengths; }
  // The slots of 1..41 accounted for by the transfer: not asked, or answered.
  std::int32_t ReplyCount() const { return reply_count_; }

  // ---- inspection, for the window's tests and the simulator's ----

  const TPanelMessage& OutgoingMessage() const { return outgoing_; }
  const TPanelMessage& DecodedReply() const { return reply_; }
  // The frame last built, from STX to ETX; empty when none stands to be sent.
  std::span<const std::uint8_t> TransmitFrame() const {
    return std::span<const std::uint8_t>(transmit_.data(), transmit_length_);
  }
  const TFrameReceiver& Receiver() const { return receiver_; }

 private:
  void BuildFrame(std::uint8_t code, std::uint8_t slot, std::size_t payloadLength);
  // ReadPass, counting the bytes it read.
  bool ReadPass(std::int32_t& read);
  bool ProcessReadReply();
  bool ProcessWriteReply();
  // A write reply after a refusal; true when it was taken.
  bool AfterRefusal(int slot, std::uint8_t status);
  // Marks the slot answered and reports it; completes the transfer when it was the last.
  void CountReply(int slot);
  // Ends the running transfer and reports it when no asked slot is missing.
  void Completed();
  // The running transfer asked `slot` and has not counted a reply for it.
  bool Expecting(int slot) const;

  UnitDataRecord& record_;
  TPanelPort* port_ = nullptr;
  TPanelLinkOwner* owner_ = nullptr;

  TPanelMessage outgoing_;  // the request last built, before escaping
  TPanelMessage reply_;     // the reply last decoded, after un-escaping
  std::array<std::uint8_t, kFrameBufferSize> transmit_{};  // the last frame built
  std::size_t transmit_length_ = 0;                        // 0: no frame to send
  TFrameReceiver receiver_;  // the receive buffer, the in-frame state and the latch
  std::array<std::uint8_t, kMaxDecodedFrame> decoded_{};  // a reply un-escaped, STX first
  bool lengths_known_ = false;
  std::array<std::uint8_t, kSlotCount + 1> lengths_{};  // indexed 1..41; [0] unused
  TSlotSet reported_lengths_;                           // the slots whose length came
  std::int32_t reply_count_ = 0;
  TTransferKind kind_ = TTransferKind::None;
  TTransferState state_ = TTransferState::Idle;
  TSlotSet asked_;
  TSlotSet answered_;
  TSlotSet sent_;
  TSlotSet refused_;
  TSlotValues* into_ = nullptr;
  std::int64_t ignored_frames_ = 0;
  std::int64_t bad_frames_ = 0;
};

// A text as a write request carries it: left-justified in exactly out.size() characters,
// padded with blanks when it is shorter, cut to its first out.size() when it is longer.
void SetInWidth(std::string_view text, std::span<std::uint8_t> out);
// The same as a text of `width` characters.
std::string TextInWidth(std::string_view text, std::size_t width);

// Texts of the write statuses 128..135; nullptr for any other status.
const char* WriteStatusText(int status);
// The text for a write status: its text from WriteStatusText, or "Unknown Error Code " and
// the status in decimal for a status outside 128..135.
std::string WriteStatusDescription(int status);
// "Sales Order Slot #", the slot in decimal, " (", its description, ")": how messages name a
// slot.  A slot outside 1..41 is described as "Unknown Slot".
std::string SlotName(int slot);
// The write-error message for a rejected slot: SlotName, ":", a space, two line breaks
// ("\n"), then WriteStatusDescription.
std::string WriteErrorMessage(int slot, int status);

// The program's one link, on the program's one record; constructed before the main window.
extern TPanelLink PanelLink;
