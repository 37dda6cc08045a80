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
// allocates nothing per frame.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "model/unitdatarecord.h"
#include "panel/panelframe.h"
#include "panel/panelport.h"

// Replies counted towards a complete transfer or length query.
inline constexpr std::int32_t kSlotCount = 41;

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
  // A read or write reply has been accepted (it passed the check and is well formed); comes
  // first, before any other outcome of the same reply.
  virtual void ReplyArrived() = 0;
  // The 41st read reply counted outside a length query.
  virtual void AllDataReceived() = 0;
  // The 41st accepted write reply counted.
  virtual void AllDataWritten() = 0;
  // A write reply with a non-zero status: `slot` as the reply names it (not checked against
  // 1..41) and the panel's status byte.  The reply is not counted.
  virtual void WriteRejected(int slot, int status) = 0;
  // A read reply's text for slot 1..41, exactly as the panel sent it (the record keeps it cut
  // to the member's capacity), right after it was stored.  Must not run an event loop.
  // Nothing by default.
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
  // failed).  Every pass reads at least one byte, so it cannot spin.  Returns the complete
  // frames it processed.
  int ReadReplies();
  // Checks, decodes and dispatches the frame that the last ReadPass completed.  A frame that
  // fails the check, is too short to hold its header and checksum, or is longer than 256 bytes
  // once un-escaped is dropped: nothing changes, nothing is reported, result false.
  // By kind:
  //   1 acknowledgement: nothing changes; true.
  //   3 read reply: ReplyArrived; by data type (the first payload byte): 0 sets the slot's
  //     field length to the next byte, 7 stores the L characters after the length byte L
  //     through the slot's setter (slot 1: the date text, which also derives the packed
  //     date), 32 is read and stored nowhere, any other type stores nothing; a slot outside
  //     1..41, or a value shorter than its type needs, stores nothing.  Then ReplyCount + 1,
  //     whatever was stored, and when it is now 41: with Connecting set, LengthsKnown is set;
  //     otherwise AllDataReceived.  True.
  //   5 write reply: ReplyArrived; a non-zero status (first payload byte) reports
  //     WriteRejected(slot, status) and is not counted; status 0 counts, and reaching 41
  //     reports AllDataWritten.  True.
  //   A read or write reply without any payload byte is malformed and dropped (false).
  //   Any other kind: ignored; false.
  // The count is compared for equality with 41: replies beyond the 41st report nothing more.
  bool ProcessFrame();

  // ---- the length table, the flags and the counter ----

  // The length of the slot's text as the panel reported it; 0 = not reported, and for any
  // slot outside 1..41.
  std::uint8_t FieldLength(int slot) const;
  // Set by the 41st read reply of a length query; stays set for the rest of the run.
  bool LengthsKnown() const { return lengths_known_; }
  // A length query is under way: set by ConnectionCheck, cleared by Get Data.  While set, the
  // 41st read reply sets LengthsKnown instead of reporting AllDataReceived.
  bool Connecting() const { return connecting_; }
  void SetConnecting(bool connecting) { connecting_ = connecting; }
  // Replies counted towards 41; preset by each transfer and by ConnectionCheck.
  std::int32_t ReplyCount() const { return reply_count_; }
  void SetReplyCount(std::int32_t count) { reply_count_ = count; }

  // The length query: SetReplyCount(0), SetConnecting(true), then for slots 1..41 a read
  // request for property 3, each sent and followed by Sleep(20).  Sends no unit-system
  // command and waits for no reply (the replies are processed later, by the receiving
  // side).  Returns true.
  bool ConnectionCheck();

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
  void ProcessReadReply();
  void ProcessWriteReply();
  void CountReply();

  UnitDataRecord& record_;
  TPanelPort* port_ = nullptr;
  TPanelLinkOwner* owner_ = nullptr;

  TPanelMessage outgoing_;  // the request last built, before escaping
  TPanelMessage reply_;     // the reply last decoded, after un-escaping
  std::array<std::uint8_t, kFrameBufferSize> transmit_{};  // the last frame built
  std::size_t transmit_length_ = 0;                        // 0: no frame to send
  TFrameReceiver receiver_;  // the receive buffer, the in-frame state and the latch
  std::array<std::uint8_t, kMaxDecodedFrame> decoded_{};  // a reply un-escaped, STX first
  bool connecting_ = false;
  bool lengths_known_ = false;
  std::array<std::uint8_t, kSlotCount + 1> lengths_{};  // indexed 1..41; [0] unused
  std::int32_t reply_count_ = 0;
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
