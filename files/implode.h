#pragma once

// ExpandImploded: the decoder for the implode format in which order archives store their
// members.  It pulls compressed bytes through a read callback, pushes the decoded bytes
// through a write callback and keeps all of its state in a work area that the caller
// supplies, so it allocates nothing and knows nothing of files or archives.
//
// The stream: byte 0 is the literal mode (0 binary, 1 ASCII), byte 1 the dictionary size
// code (4, 5 or 6 for a window of 1024, 2048 or 4096 bytes), then a bit stream of tokens,
// first bit lowest in each byte.  A token is a literal byte or a match (a length of 2 to
// 518 bytes and a distance of 1 to 4096 bytes back in the output); a match of the largest
// length value (517) is the end code.

#include <cstddef>

// Size in bytes of the work area that ExpandImploded needs.  Any alignment will do.
inline constexpr std::size_t kImplodeWorkAreaSize = 12596;

// The read callback is always offered this much room, and the write callback gets blocks
// of exactly this size while decoding is in progress.
inline constexpr std::size_t kImplodeReadSize = 2048;
inline constexpr std::size_t kImplodeWriteSize = 4096;

// Read callback: store up to `size` bytes of the compressed stream at `buffer` and return
// how many were stored; 0 means the input is exhausted.  `size` is always kImplodeReadSize.
// A count above `size` is taken as `size`.  After it has returned 0 once, it is not called
// again.
using ImplodeReadFn = std::size_t (*)(unsigned char* buffer, std::size_t size, void* param);

// Write callback: consume the `size` decoded bytes at `buffer` (which is only valid during
// the call).  `size` is kImplodeWriteSize for every call but the last; the last call
// carries whatever remains, possibly 0 bytes.
using ImplodeWriteFn = void (*)(const unsigned char* buffer, std::size_t size, void* param);

enum class ExpandResult : unsigned {
  kOk = 0,              // the end code was decoded
  kBadDictionary = 1,   // byte 1 is not 4, 5 or 6 (tested first)
  kBadLiteralMode = 2,  // byte 0 is not 0 or 1
  kBadData = 3,         // the first read returned 4 bytes or fewer
  kAborted = 4,         // the input ran out before the end code
};

// Decodes one implode stream.
//
// `read` and `write` must not be null.  `workArea` points to kImplodeWorkAreaSize bytes of
// any alignment that the caller owns: it need not be initialised, the decoder uses all of
// it for its state and tables (rebuilt at every call), and the callbacks must not touch
// it.  `param` is handed unchanged to both callbacks.
//
// The first read must deliver at least 5 bytes: a first read of 4 bytes or fewer returns
// kBadData without calling `write`, even if more input would follow.  Then the dictionary
// code is checked (kBadDictionary), then the literal mode (kBadLiteralMode); neither calls
// `write`.  Otherwise decoding runs until the end code (kOk) or until the input runs out
// (kAborted), and the output decoded so far always reaches `write` before the call
// returns, in blocks of kImplodeWriteSize followed by one final block of 0 to 4095 bytes.
//
// A stream may stop right after the last bit of its end code.  Any other token needs 8
// more bits of input after it (the decoder keeps that many bits in hand); a token that
// cannot be completed that way is not output.  The decoder may ask for input a few bytes
// before it needs it; input after the end code is ignored.  A distance that reaches before
// the first output byte copies zeros.
ExpandResult ExpandImploded(ImplodeReadFn read, ImplodeWriteFn write, void* workArea,
                            void* param);
