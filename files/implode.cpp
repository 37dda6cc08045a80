// The implode decoder.
//
// Format notes.  Bits are taken from each byte starting with the least significant one, and
// every code below is written in that order: bit 0 of a code value is the first bit of the
// stream.  The codes are fixed Shannon-Fano codes; each table is a complete prefix code.
//
//   token     := 0 literal | 1 length distance
//   literal   := 8 plain bits (binary mode) | literal code, 4 to 13 bits (ASCII mode)
//   length    := length code i (2 to 7 bits), then kExtraBits[i] bits e; value = base[i] + e.
//                Value 517 is the end code; otherwise the match is value + 2 bytes long.
//   distance  := distance code h (2 to 8 bits), then the low part: 2 bits for a match of
//                2 bytes, else k bits (k the dictionary code); distance = (h << bits) + low + 1.
//
// Decoding is table-driven, with tables built in the work area at every call.  After a
// token's flag bit, the next 7 bits index the length table, whose entry holds the code's
// bits, its extra bits and its base; the next 8 bits index the distance table and, in ASCII
// mode, the literal table.  A literal code longer than 8 bits starts with 4 zero bits and
// has at most 9 more: its first 8 bits index a marker in the literal table, and the 9 bits
// after the 4 zeros index the literal in the long literal table.  Both literal tables are
// read for every literal and the marker picks one, so the choice costs no branch.
//
// Input is held in a 64-bit bit buffer.  38 bits in hand are enough for any token (30 bits
// at most) plus the 8 bits of look-ahead that the format's end-of-input rule asks for, so
// a token decoded with 38 bits in hand needs no checks.  Below that, while at least 8 bytes
// are left in the input buffer, one word load tops the bit buffer up to 56 bits or more.
// Near the end of each input block the decoder refills byte by byte, asks the read
// callback for more only when fewer than 38 bits are in hand, and checks after each token
// that the token left 8 bits of real input.
//
// Bounds are checked once per token, not per byte: the bits in hand before it, and the
// output position below 8192 after it.  Every table entry comes from the format's constants
// (or is zero), so a match is at most 518 bytes long and reaches at most 4096 bytes back,
// which the history window before the output and the room after 8192 hold.

#include "files/implode.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

// ---- The format's constant code tables -------------------------------------------------

// Length codes by length index 0..15, the bits of each, the extra bits that follow and the
// base of the length value.
constexpr std::uint8_t kLengthCode[16] = {0x05, 0x03, 0x01, 0x06, 0x0A, 0x02, 0x0C, 0x14,
                                          0x04, 0x18, 0x08, 0x30, 0x10, 0x20, 0x40, 0x00};
constexpr std::uint8_t kLengthBits[16] = {3, 2, 3, 3, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 7, 7};
constexpr std::uint8_t kExtraBits[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
constexpr std::uint16_t kLengthBase[16] = {0,  1,  2,  3,  4,  5,   6,   7,
                                           8, 10, 14, 22, 38, 70, 134, 262};

// Distance codes by high part 0..63, and the bits of each.
constexpr std::uint8_t kDistanceCode[64] = {
    0x03, 0x0D, 0x05, 0x19, 0x09, 0x11, 0x01, 0x3E, 0x1E, 0x2E, 0x0E, 0x36, 0x16, 0x26, 0x06, 0x3A,
    0x1A, 0x2A, 0x0A, 0x32, 0x12, 0x22, 0x42, 0x02, 0x7C, 0x3C, 0x5C, 0x1C, 0x6C, 0x2C, 0x4C, 0x0C,
    0x74, 0x34, 0x54, 0x14, 0x64, 0x24, 0x44, 0x04, 0x78, 0x38, 0x58, 0x18, 0x68, 0x28, 0x48, 0x08,
    0xF0, 0x70, 0xB0, 0x30, 0xD0, 0x50, 0x90, 0x10, 0xE0, 0x60, 0xA0, 0x20, 0xC0, 0x40, 0x80, 0x00};
constexpr std::uint8_t kDistanceBits[64] = {
    2, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

// ASCII-mode literal codes by byte value, and the bits of each.
constexpr std::uint16_t kLiteralCode[256] = {
    0x0490, 0x0FE0, 0x07E0, 0x0BE0, 0x03E0, 0x0DE0, 0x05E0, 0x09E0, 0x01E0, 0x00B8, 0x0062, 0x0EE0,
    0x06E0, 0x0022, 0x0AE0, 0x02E0, 0x0CE0, 0x04E0, 0x08E0, 0x00E0, 0x0F60, 0x0760, 0x0B60, 0x0360,
    0x0D60, 0x0560, 0x1240, 0x0960, 0x0160, 0x0E60, 0x0660, 0x0A60, 0x000F, 0x0250, 0x0038, 0x0260,
    0x0050, 0x0C60, 0x0390, 0x00D8, 0x0042, 0x0002, 0x0058, 0x01B0, 0x007C, 0x0029, 0x003C, 0x0098,
    0x005C, 0x0009, 0x001C, 0x006C, 0x002C, 0x004C, 0x0018, 0x000C, 0x0074, 0x00E8, 0x0068, 0x0460,
    0x0090, 0x0034, 0x00B0, 0x0710, 0x0860, 0x0031, 0x0054, 0x0011, 0x0021, 0x0017, 0x0014, 0x00A8,
    0x0028, 0x0001, 0x0310, 0x0130, 0x003E, 0x0064, 0x001E, 0x002E, 0x0024, 0x0510, 0x000E, 0x0036,
    0x0016, 0x0044, 0x0030, 0x00C8, 0x01D0, 0x00D0, 0x0110, 0x0048, 0x0610, 0x0150, 0x0060, 0x0088,
    0x0FA0, 0x0007, 0x0026, 0x0006, 0x003A, 0x001B, 0x001A, 0x002A, 0x000A, 0x000B, 0x0210, 0x0004,
    0x0013, 0x0032, 0x0003, 0x001D, 0x0012, 0x0190, 0x000D, 0x0015, 0x0005, 0x0019, 0x0008, 0x0078,
    0x00F0, 0x0070, 0x0290, 0x0410, 0x0010, 0x07A0, 0x0BA0, 0x03A0, 0x0240, 0x1C40, 0x0C40, 0x1440,
    0x0440, 0x1840, 0x0840, 0x1040, 0x0040, 0x1F80, 0x0F80, 0x1780, 0x0780, 0x1B80, 0x0B80, 0x1380,
    0x0380, 0x1D80, 0x0D80, 0x1580, 0x0580, 0x1980, 0x0980, 0x1180, 0x0180, 0x1E80, 0x0E80, 0x1680,
    0x0680, 0x1A80, 0x0A80, 0x1280, 0x0280, 0x1C80, 0x0C80, 0x1480, 0x0480, 0x1880, 0x0880, 0x1080,
    0x0080, 0x1F00, 0x0F00, 0x1700, 0x0700, 0x1B00, 0x0B00, 0x1300, 0x0DA0, 0x05A0, 0x09A0, 0x01A0,
    0x0EA0, 0x06A0, 0x0AA0, 0x02A0, 0x0CA0, 0x04A0, 0x08A0, 0x00A0, 0x0F20, 0x0720, 0x0B20, 0x0320,
    0x0D20, 0x0520, 0x0920, 0x0120, 0x0E20, 0x0620, 0x0A20, 0x0220, 0x0C20, 0x0420, 0x0820, 0x0020,
    0x0FC0, 0x07C0, 0x0BC0, 0x03C0, 0x0DC0, 0x05C0, 0x09C0, 0x01C0, 0x0EC0, 0x06C0, 0x0AC0, 0x02C0,
    0x0CC0, 0x04C0, 0x08C0, 0x00C0, 0x0F40, 0x0740, 0x0B40, 0x0340, 0x0300, 0x0D40, 0x1D00, 0x0D00,
    0x1500, 0x0540, 0x0500, 0x1900, 0x0900, 0x0940, 0x1100, 0x0100, 0x1E00, 0x0E00, 0x0140, 0x1600,
    0x0600, 0x1A00, 0x0E40, 0x0640, 0x0A40, 0x0A00, 0x1200, 0x0200, 0x1C00, 0x0C00, 0x1400, 0x0400,
    0x1800, 0x0800, 0x1000, 0x0000};
constexpr std::uint8_t kLiteralBits[256] = {
    11, 12, 12, 12, 12, 12, 12, 12, 12,  8,  7, 12, 12,  7, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 12, 12, 12, 12, 12,
     4, 10,  8, 12, 10, 12, 10,  8,  7,  7,  8,  9,  7,  6,  7,  8,
     7,  6,  7,  7,  7,  7,  8,  7,  7,  8,  8, 12, 11,  7,  9, 11,
    12,  6,  7,  6,  6,  5,  7,  8,  8,  6, 11,  9,  6,  7,  6,  6,
     7, 11,  6,  6,  6,  7,  9,  8,  9,  9, 11,  8, 11,  9, 12,  8,
    12,  5,  6,  6,  6,  5,  6,  6,  6,  5, 11,  7,  5,  6,  5,  5,
     6, 10,  5,  5,  5,  5,  8,  7,  8,  8, 10, 11, 11, 12, 12, 12,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    13, 12, 13, 13, 13, 12, 13, 13, 13, 12, 13, 13, 13, 13, 12, 13,
    13, 13, 12, 12, 12, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13};

// ---- Sizes ------------------------------------------------------------------------------

constexpr unsigned kHistory = 4096;            // window kept in front of new output
constexpr unsigned kFlushAt = 2 * kHistory;    // output position that triggers a write
constexpr unsigned kMaxMatch = 518;            // longest match
constexpr unsigned kMaxDistance = (63u << 6 | 63u) + 1;  // high part 63, 6 low bits all set
constexpr unsigned kEndValue = 517;            // length value of the end code
constexpr unsigned kCopyChunk = 16;            // a match is copied in pieces of up to this size,
constexpr unsigned kCopySlack = kCopyChunk;    // so it may write 15 bytes past its end
constexpr unsigned kOutSize = kFlushAt + kMaxMatch + kCopySlack;
constexpr unsigned kInSize = kImplodeReadSize;
constexpr int kLookahead = 8;                  // bits a token must leave in hand
constexpr int kTokenReserve = 30 + kLookahead; // bits that any token plus look-ahead needs
static_assert(kMaxDistance <= kHistory, "a match never reaches before the output buffer");

// ---- Decode tables ----------------------------------------------------------------------

// Length table entry: code bits | extra bits << 3 | value base << 7.
constexpr unsigned kLengthIndexBits = 7;
constexpr unsigned kLengthCodeBitsMask = 7;
constexpr unsigned kLengthExtraShift = 3;
constexpr unsigned kLengthExtraMask = 15;
constexpr unsigned kLengthBaseShift = 7;

constexpr bool LengthEntriesFit() {
  for (unsigned i = 0; i < 16; ++i) {
    if (kLengthBits[i] > kLengthIndexBits || kExtraBits[i] > kLengthExtraMask ||
        kLengthBase[i] >= 1u << (16 - kLengthBaseShift))
      return false;
  }
  return kLengthBase[15] + (1u << kExtraBits[15]) - 1 == kEndValue;
}
static_assert(LengthEntriesFit(), "length table entries hold every length code");

// Value of a literal table entry that marks the first 8 bits of a longer code.  The byte
// 0xFF can stand for it because the literal 0xFF itself has a 13-bit code.
constexpr std::uint8_t kLongLiteral = 0xFF;
static_assert(kLiteralBits[kLongLiteral] > 8);

// The long literal table is indexed by the 9 bits after a long code's 4 leading zeros.
constexpr unsigned kLongSkip = 4;
constexpr unsigned kLongIndexBits = 9;

constexpr bool LongCodesFit() {
  for (unsigned v = 0; v < 256; ++v) {
    if (kLiteralBits[v] > 8 && ((kLiteralCode[v] & ((1u << kLongSkip) - 1)) != 0 ||
                                kLiteralBits[v] > kLongSkip + kLongIndexBits))
      return false;
  }
  return true;
}
static_assert(LongCodesFit(), "every long literal code is 4 zero bits and at most 9 more");

// All of the decoder's state.  It lives in the caller's work area; the decoding loop keeps
// working copies of the bit buffer and positions in locals and writes them back whenever
// it calls out.
struct State {
  ImplodeReadFn read;     // read callback
  ImplodeWriteFn write;   // write callback
  void* param;            // handed to both callbacks
  std::uint64_t bits;     // unread input, next bit lowest; above `bitCount` it may hold
                          // bits of bytes not yet taken from `in`, never anything else
  int bitCount;           // number of unread bits in `bits` that have been taken from `in`
  unsigned dictBits;      // k: low distance bits of a match longer than 2 bytes
  unsigned inPos;         // next byte of `in` to go into the bit buffer
  unsigned inEnd;         // number of valid bytes in `in`
  bool inputEnded;        // the read callback returned 0
  unsigned outPos;        // next free byte of `out`; never below kHistory
  // Indexed by the 7 bits after a match's flag bit (no length code is longer).
  std::uint16_t lengthTable[1u << kLengthIndexBits];
  // Indexed by the next 8 bits: high part | code bits << 8.
  std::uint16_t distanceTable[256];
  // Indexed by the 8 bits after a literal's flag bit (ASCII mode): the byte, or kLongLiteral.
  std::uint8_t literalTable[256];
  // Indexed by the 9 bits after a long literal code's 4 leading zeros: the byte.
  std::uint8_t longLiteralTable[1u << kLongIndexBits];
  unsigned char in[kInSize];         // compressed input
  unsigned char out[kOutSize];       // history window, then new output
};

// The state must fit the work area at any alignment of the area.
static_assert(sizeof(State) + alignof(State) - 1 <= kImplodeWorkAreaSize,
              "the decoder state does not fit the work area");

// Fills every entry of a table whose index starts with `code` (of `bits` bits).
template <typename T>
void Fill(T* table, unsigned size, unsigned code, unsigned bits, T value) {
  for (unsigned i = code; i < size; i += 1u << bits) table[i] = value;
}

// The tables start zeroed, so every entry is made from the format's constants or is zero
// (the literal 0, or a match of 2 bytes), and the bounds above hold for any entry.  The
// format's codes are complete: only long literal entries behind short codes stay zero, and
// the marker never picks them.
void BuildLengthTables(State& s) {
  std::memset(s.lengthTable, 0, sizeof s.lengthTable);
  std::memset(s.distanceTable, 0, sizeof s.distanceTable);
  for (unsigned i = 0; i < 16; ++i) {
    const unsigned entry = kLengthBits[i] | kExtraBits[i] << kLengthExtraShift |
                           kLengthBase[i] << kLengthBaseShift;
    Fill<std::uint16_t>(s.lengthTable, 1u << kLengthIndexBits, kLengthCode[i], kLengthBits[i],
                        static_cast<std::uint16_t>(entry));
  }
  for (unsigned h = 0; h < 64; ++h) {
    Fill<std::uint16_t>(s.distanceTable, 256, kDistanceCode[h], kDistanceBits[h],
                        static_cast<std::uint16_t>(h | kDistanceBits[h] << 8));
  }
}

void BuildLiteralTables(State& s) {
  std::memset(s.literalTable, 0, sizeof s.literalTable);
  std::memset(s.longLiteralTable, 0, sizeof s.longLiteralTable);
  for (unsigned v = 0; v < 256; ++v) {
    const unsigned code = kLiteralCode[v];
    const unsigned bits = kLiteralBits[v];
    const auto byte = static_cast<std::uint8_t>(v);
    if (bits <= 8) {
      Fill(s.literalTable, 256, code, bits, byte);
    } else {
      s.literalTable[code & 0xFF] = kLongLiteral;
      Fill(s.longLiteralTable, 1u << kLongIndexBits, code >> kLongSkip, bits - kLongSkip, byte);
    }
  }
}

// ---- Input ------------------------------------------------------------------------------

// Moves bytes from the input buffer into the bit buffer, one at a time, until it holds at
// least 56 bits; reads the next block when the buffer is used up and fewer than
// kTokenReserve bits are in hand.  Stops early for good once the input has ended.
[[gnu::noinline]] void RefillSlowly(State& s) {
  while (s.bitCount < 56) {
    if (s.inPos == s.inEnd) {
      if (s.inputEnded || s.bitCount >= kTokenReserve) return;
      std::size_t got = s.read(s.in, kInSize, s.param);
      if (got == 0) {
        s.inputEnded = true;
        return;
      }
      s.inPos = 0;
      s.inEnd = static_cast<unsigned>(got < kInSize ? got : kInSize);
    }
    s.bits |= static_cast<std::uint64_t>(s.in[s.inPos++]) << s.bitCount;
    s.bitCount += 8;
  }
}

std::uint64_t LoadLittleEndian64(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

// ---- Output -----------------------------------------------------------------------------

// Copies a match of `length` bytes from `distance` bytes back.  Source and destination may
// overlap: a distance of 1 repeats the last byte `length` times.  May write up to
// kCopySlack - 1 bytes past the end of the match; nothing reads them before they are
// overwritten.
inline void CopyMatch(unsigned char* dst, unsigned distance, unsigned length) {
  const unsigned char* src = dst - distance;
  unsigned char* const end = dst + length;
  if (distance >= kCopyChunk) {
    // Each piece reads only bytes written before it: they lie at least a piece back.
    do {
      std::memcpy(dst, src, kCopyChunk);
      dst += kCopyChunk;
      src += kCopyChunk;
    } while (dst < end);
    return;
  }
  if (distance == 1) {
    std::memset(dst, *src, length);
    return;
  }
  if (distance < 8) {
    // The output repeats with period `distance`: copy the first 8 bytes one at a time,
    // then copy words from a multiple of the period that is 8 or more back.
    const unsigned head = length < 8 ? length : 8;
    for (unsigned i = 0; i < head; ++i) dst[i] = src[i];
    dst += head;
    src = dst - distance * ((8 + distance - 1) / distance);
  }
  while (dst < end) {
    std::memcpy(dst, src, 8);
    dst += 8;
    src += 8;
  }
}

// Passes the 4096 bytes after the history window to the writer and slides the window;
// returns the new output position.
[[gnu::noinline]] unsigned Flush(State& s, unsigned outPos) {
  s.write(s.out + kHistory, kHistory, s.param);
  std::memmove(s.out, s.out + kHistory, outPos - kHistory);
  return outPos - kHistory;
}

// ---- Tokens -----------------------------------------------------------------------------

enum class Step { kNext, kEnd, kFail };

struct Bits {
  std::uint64_t buffer;
  int count;
  void Drop(unsigned n) {
    buffer >>= n;
    count -= static_cast<int>(n);
  }
};

// Decodes one token into out[outPos].  With kChecked the token is dropped (kFail) when it
// leaves fewer than 8 bits of real input in hand, except for an end code whose extra bits
// were the last input; without it the caller guarantees enough bits for any token.
template <bool kAscii, bool kChecked>
[[gnu::always_inline]] inline Step DecodeToken(const State& s, unsigned dictBits, Bits& b,
                                               unsigned char* out, unsigned& outPos) {
  const std::uint64_t x = b.buffer >> 1;  // the bits after the flag bit
  if ((b.buffer & 1) == 0) {
    unsigned byte;
    unsigned codeBits;
    if constexpr (!kAscii) {
      byte = static_cast<unsigned>(x) & 0xFF;
      codeBits = 8;
    } else {
      // In random data most literals have long codes, in no predictable order: both tables
      // are read, and the marker picks one with a mask (the compiler would make a
      // conditional a branch).
      const unsigned primary = s.literalTable[x & 0xFF];
      const unsigned secondary =
          s.longLiteralTable[(x >> kLongSkip) & ((1u << kLongIndexBits) - 1)];
      const unsigned pickLong = 0u - static_cast<unsigned>(primary == kLongLiteral);
      byte = (secondary & pickLong) | (primary & ~pickLong);
      codeBits = kLiteralBits[byte];
    }
    b.buffer = x >> codeBits;
    b.count -= static_cast<int>(1 + codeBits);
    if (kChecked && b.count < kLookahead) return Step::kFail;
    out[outPos++] = static_cast<unsigned char>(byte);
    return Step::kNext;
  }

  const unsigned lengthEntry = s.lengthTable[x & ((1u << kLengthIndexBits) - 1)];
  const unsigned lengthBits = lengthEntry & kLengthCodeBitsMask;
  b.buffer = x >> lengthBits;
  b.count -= static_cast<int>(1 + lengthBits);
  if (kChecked && b.count < kLookahead) return Step::kFail;
  const unsigned extraBits = lengthEntry >> kLengthExtraShift & kLengthExtraMask;
  const unsigned value = (lengthEntry >> kLengthBaseShift) +
                         (static_cast<unsigned>(b.buffer) & ((1u << extraBits) - 1));
  b.Drop(extraBits);
  // The end code counts even when its extra bits were the last bits of the input.
  if (value == kEndValue) return Step::kEnd;
  const unsigned length = value + 2;

  const unsigned distanceEntry = s.distanceTable[b.buffer & 0xFF];
  b.Drop(distanceEntry >> 8);
  const unsigned lowBits = length == 2 ? 2 : dictBits;
  const unsigned distance =
      ((distanceEntry & 63) << lowBits |
       (static_cast<unsigned>(b.buffer) & ((1u << lowBits) - 1))) + 1;
  b.Drop(lowBits);
  if (kChecked && b.count < kLookahead) return Step::kFail;
  CopyMatch(out + outPos, distance, length);
  outPos += length;
  return Step::kNext;
}

// Decodes tokens until the end code or until the input runs out; returns true for the end
// code.
template <bool kAscii>
bool DecodeTokens(State& s) {
  unsigned char* const out = s.out;
  const unsigned dictBits = s.dictBits;
  Bits b{s.bits, s.bitCount};
  unsigned inPos = s.inPos;
  unsigned inEnd = s.inEnd;
  unsigned outPos = s.outPos;
  Step step;
  for (;;) {
    if (b.count >= kTokenReserve) {
      step = DecodeToken<kAscii, false>(s, dictBits, b, out, outPos);
    } else if (inEnd - inPos >= 8) {
      // Top up to 56..63 bits with one word; the bytes beyond those counted land above
      // `count` and are loaded again, at the same place, by the next refill.
      b.buffer |= LoadLittleEndian64(s.in + inPos) << b.count;
      inPos += static_cast<unsigned>(63 - b.count) >> 3;
      b.count |= 56;
      step = DecodeToken<kAscii, false>(s, dictBits, b, out, outPos);
    } else {
      s.bits = b.buffer;
      s.bitCount = b.count;
      s.inPos = inPos;
      RefillSlowly(s);
      b = Bits{s.bits, s.bitCount};
      inPos = s.inPos;
      inEnd = s.inEnd;
      step = DecodeToken<kAscii, true>(s, dictBits, b, out, outPos);
    }
    if (step != Step::kNext) break;
    // A token writes at most kMaxMatch bytes (plus the copy's slack) from below kFlushAt.
    if (outPos >= kFlushAt) outPos = Flush(s, outPos);
  }
  s.bits = b.buffer;
  s.bitCount = b.count;
  s.inPos = inPos;
  s.outPos = outPos;
  return step == Step::kEnd;
}

}  // namespace

ExpandResult ExpandImploded(ImplodeReadFn read, ImplodeWriteFn write, void* workArea,
                            void* param) {
  void* aligned = workArea;
  std::size_t room = kImplodeWorkAreaSize;
  std::align(alignof(State), sizeof(State), aligned, room);
  State& s = *::new (aligned) State;
  s.read = read;
  s.write = write;
  s.param = param;

  std::size_t got = read(s.in, kInSize, param);
  if (got <= 4) return ExpandResult::kBadData;
  s.inEnd = static_cast<unsigned>(got < kInSize ? got : kInSize);

  const unsigned mode = s.in[0];
  const unsigned dictBits = s.in[1];
  if (dictBits < 4 || dictBits > 6) return ExpandResult::kBadDictionary;
  s.dictBits = dictBits;
  if (mode == 1) {
    BuildLiteralTables(s);
  } else if (mode != 0) {
    return ExpandResult::kBadLiteralMode;
  }
  BuildLengthTables(s);

  s.bits = s.in[2];
  s.bitCount = 8;
  s.inPos = 3;
  s.inputEnded = false;
  std::memset(s.out, 0, kHistory);
  s.outPos = kHistory;

  const bool ended = mode == 1 ? DecodeTokens<true>(s) : DecodeTokens<false>(s);
  write(s.out + kHistory, s.outPos - kHistory, param);
  return ended ? ExpandResult::kOk : ExpandResult::kAborted;
}
