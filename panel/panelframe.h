#pragma once

// The panel's frame codec: the framing bytes, the 16-bit checksum and its check, DLE escaping
// and un-escaping, and the receiver that reassembles frames from single bytes.  The program's
// panel link and the panel simulator both build and take apart their frames here.
//
// A frame on the wire:
//
//   STX | code OR 0x80 | slot OR 0x80 | payload, escaped | checksum low | checksum high | ETX
//
// A payload byte equal to STX, ETX or DLE travels as DLE followed by the byte OR 0x80; every
// other byte travels as it is.  The header and checksum bytes always carry the top bit, so
// they can never be taken for STX, ETX or DLE, and the only ETX of a frame is its last byte.
//
// Nothing here allocates; every function works on buffers that the caller provides and never
// writes past the capacity it is given.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

inline constexpr std::uint8_t kStx = 0x02;     // first byte of every frame
inline constexpr std::uint8_t kEtx = 0x03;     // last byte of every frame
inline constexpr std::uint8_t kDle = 0x10;     // escape byte inside the payload
inline constexpr std::uint8_t kTopBit = 0x80;  // set on the header and checksum bytes

// Command codes of the requests and kinds of the replies (header byte 1 without its top bit).
inline constexpr std::uint8_t kUnitSystemCommand = 0;
inline constexpr std::uint8_t kReadRequestCommand = 2;
inline constexpr std::uint8_t kWriteRequestCommand = 4;
inline constexpr std::uint8_t kAcknowledgementReply = 1;
inline constexpr std::uint8_t kReadReply = 3;
inline constexpr std::uint8_t kWriteReply = 5;

// Data types of write requests and read replies.
inline constexpr std::uint8_t kByteData = 0;      // one byte: the length of the field's text
inline constexpr std::uint8_t kTextData = 7;      // length byte L, then exactly L characters
inline constexpr std::uint8_t kIntegerData = 32;  // four bytes, least significant first

// The object type of the record's fields, and the properties the program reads.
inline constexpr std::uint8_t kFieldObjectType = 10;
inline constexpr std::uint8_t kValueProperty = 0;
inline constexpr std::uint8_t kLengthProperty = 3;

// Unit bytes of the unit-system command.
inline constexpr std::uint8_t kEnglishUnits = 0;
inline constexpr std::uint8_t kMetricUnits = 1;

// Write statuses a panel answers with when it refuses a write.
inline constexpr std::uint8_t kUnknownObjectTypeStatus = 128;
inline constexpr std::uint8_t kUnknownObjectStatus = 129;
inline constexpr std::uint8_t kUnknownPropertyStatus = 130;
inline constexpr std::uint8_t kUnknownIndexStatus = 131;
inline constexpr std::uint8_t kIllegalDataTypeStatus = 133;

// Size of the transmit and receive buffers: the longest frame, from STX to ETX, that the link
// sends or takes.  The longest legal reply, a text of 255 characters, is 262 bytes before
// escaping (STX, kind, slot, data type, length, the text, two checksum bytes and ETX).
inline constexpr std::size_t kFrameBufferSize = 300;
// The most bytes a received frame may have once un-escaped (STX, kind, slot, payload and the
// two checksum bytes; the ETX is not counted): as many as the receive buffer holds.
inline constexpr std::size_t kMaxDecodedFrame = kFrameBufferSize;
// Bytes of a frame around its payload once un-escaped: STX, kind, slot, checksum low, high.
inline constexpr std::size_t kDecodedOverhead = 5;

// The checksum of `bytes` as it is sent: for each byte, XOR it into the low half of a 16-bit
// value and then swap the value's two halves; at the end set both top bits (OR 0x8080).
// Over STX through the last escaped payload byte this gives the two bytes that follow the
// payload, low byte first.
std::uint16_t FrameChecksum(std::span<const std::uint8_t> bytes);

// The check of a received frame: `frame` starts at its STX and may or may not hold its ETX.
// Runs the checksum (without the final OR) over the bytes up to, not including, the first
// ETX, the two checksum bytes included; true when the seven low bits of both halves cancel
// out.  A change of a top bit alone therefore passes; a change in any of a byte's seven low
// bits fails.
bool FrameChecksumHolds(std::span<const std::uint8_t> frame);

// True for the bytes that must be escaped inside a payload: STX, ETX and DLE.
constexpr bool NeedsEscape(std::uint8_t byte) { return byte == kStx || byte == kEtx || byte == kDle; }

// Builds a whole frame into `out`: STX, code OR 0x80, slot OR 0x80, the payload escaped, the
// checksum low and high byte, ETX.  Returns the frame's length, from STX to ETX, or 0 when it
// would not fit into `out`; `out` is then left with no frame (its first byte is 0).  When
// `checksum` is given it receives the checksum written into the frame.
std::size_t EncodeFrame(std::uint8_t code, std::uint8_t slot, std::span<const std::uint8_t> payload,
                        std::span<std::uint8_t> out, std::uint16_t* checksum = nullptr);

// Un-escapes a received frame into `out`, from its STX up to, not including, its first ETX (or
// the end of `frame` when it has none): DLE followed by x gives x AND 0x7F, any other byte
// stands for itself.  A DLE with nothing after it before the end stands for nothing.  Returns
// the number of bytes written, or nothing when the un-escaped frame is longer than `out`; then
// `out` holds its first out.size() bytes and no more.
std::optional<std::size_t> UnescapeFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> out);

// A received frame taken apart: what UnescapeFrame gave, split into its fields.  `payload`
// points into the caller's decode buffer and excludes the two checksum bytes.
struct TDecodedFrame {
  std::uint8_t kind = 0;  // header byte 1 AND 0x7F: a reply kind or a command code
  std::uint8_t slot = 0;  // header byte 2 AND 0x7F
  std::span<const std::uint8_t> payload;
};

// Checks, un-escapes into `scratch` and splits a received frame.  Nothing when the check
// fails, when the frame is longer than `scratch` once un-escaped, or when it is too short to
// hold STX, the two header bytes and the two checksum bytes.
std::optional<TDecodedFrame> DecodeFrame(std::span<const std::uint8_t> frame, std::span<std::uint8_t> scratch);

// The receiver: reassembles frames from bytes taken one at a time into a fixed buffer whose
// position 0 holds the STX of the frame being received.
//
// States, with the completion latch beside them:
//
//   Hunting, STX          -> InFrame   index 0, STX stored at 0, latch cleared
//   Hunting, other byte   -> Hunting   stored at 0 and so discarded (the latch stays as it is)
//   InFrame, ETX          -> Hunting   ETX appended, latch set: a complete frame stands in the
//                                      buffer until the next STX
//   InFrame, other byte   -> InFrame   appended (an STX inside a frame is data)
//   InFrame, byte that no longer fits (the frame has reached kFrameBufferSize bytes without
//            an ETX)      -> the frame is discarded and the byte is taken as in Hunting
//
// The buffer is never written past its end, whatever the line delivers.
class TFrameReceiver {
 public:
  enum class State : std::uint8_t {
    Hunting,  // waiting for an STX; bytes between frames are discarded
    InFrame,  // an STX has arrived and the ETX that ends its frame has not
  };

  // What Take() did with the byte.
  enum class Step : std::uint8_t {
    Discarded,      // a byte outside any frame
    Started,        // an STX that began a frame
    Appended,       // a byte added to the frame being received
    Completed,      // the ETX that completed a frame
    Overflowed,     // the frame ran past the buffer and was discarded; the byte was then
                    // taken as in Hunting (state() tells whether it began a new frame)
  };

  // Takes one byte through the state table above.
  Step Take(std::uint8_t byte);

  State state() const { return state_; }
  // Set by the ETX that completes a frame, cleared by the next STX.
  bool Latched() const { return latched_; }
  // Position of the last byte stored.
  int ReceiveIndex() const { return index_; }
  // The complete frame from its STX to its ETX, while the latch is set and its STX has not
  // been overwritten by a discarded byte; empty otherwise.
  std::span<const std::uint8_t> CompleteFrame() const;
  // The whole buffer, for tests and for the fixed-size walks that need it.
  const std::array<std::uint8_t, kFrameBufferSize>& Buffer() const { return buffer_; }
  // Back to the start: hunting, latch clear, buffer cleared.
  void Reset();

 private:
  std::array<std::uint8_t, kFrameBufferSize> buffer_{};
  State state_ = State::Hunting;
  bool latched_ = false;
  int index_ = 0;
  int frame_length_ = 0;  // length of the last completed frame, from STX to ETX
};
