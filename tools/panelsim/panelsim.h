#pragma once

// The panel simulator's answering logic: it takes the bytes that the program sends, finds
// the request frames among them and answers each as a chiller panel would, with the faults
// that its options ask for.  It knows nothing of devices; main.cpp moves the bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "panel/panelframe.h"

inline constexpr int kSimSlots = 41;

struct TSimOptions {
  std::string device;               // a serial device to answer on; empty: a new pseudo-terminal
  std::array<int, kSimSlots + 1> lengths{};  // reported length of slots 1..41 ([0] unused)
  std::array<int, kSimSlots + 1> rejects{};  // write status to answer for a slot; 0: accept
  bool silent = false;              // answer nothing
  long answerFirst = -1;            // answer only the first N requests; -1: all
  long dropEvery = 0;               // leave out every Nth reply; 0: none
  long corruptEvery = 0;            // spoil the checksum of every Nth reply; 0: none
  int noise = 0;                    // bytes of noise before each reply
  int delayMs = 0;                  // wait before each reply
  bool log = false;                 // print each request understood

  TSimOptions();
};

// The default length table: 11 for the date, 30 for job name and location, 20 for the model
// number and 16 for the rest.
std::array<int, kSimSlots + 1> DefaultSimLengths();

// Reads the command line into `options`.  Returns an error text for the user, or "" when all
// is well; `help` is set when --help was given.
std::string ParseSimOptions(int argc, const char* const* argv, TSimOptions& options, bool& help);

// The --help text.
const char* SimUsage();

// "DD MMM YYYY" from the four bytes of a packed date (year - 1900, month, day, unused); a
// month outside 1..12 shows as "???".
std::string DateFromPacked(const std::uint8_t* bytes);

class TPanelSimulator {
 public:
  explicit TPanelSimulator(const TSimOptions& options);

  // The outcome of one frame taken from the line.
  struct Answer {
    std::vector<std::uint8_t> bytes;  // to write to the line (noise, then the reply); may be empty
    std::string log;                  // one line for --log
    bool request = false;             // the frame was a request the simulator understood
  };

  // Takes one byte from the line; returns an answer each time a frame completes.
  std::optional<Answer> Take(std::uint8_t byte);

  // The stored value of slot 1..41 (slot 1: the date text).
  const std::string& Value(int slot) const { return values_[static_cast<std::size_t>(slot)]; }
  void SetValue(int slot, std::string value) { values_[static_cast<std::size_t>(slot)] = std::move(value); }

 private:
  Answer Handle(const TDecodedFrame& frame);
  void Reply(Answer& answer, std::uint8_t kind, std::uint8_t slot, const std::vector<std::uint8_t>& payload);
  std::uint8_t WriteStatus(const TDecodedFrame& frame, std::string& description);

  TSimOptions options_;
  TFrameReceiver receiver_;
  std::array<std::uint8_t, kFrameBufferSize> scratch_{};
  std::array<std::string, kSimSlots + 1> values_;
  long requests_ = 0;  // requests understood so far
  long replies_ = 0;   // replies made so far (before dropping)
  std::minstd_rand noise_random_{2003};
};
