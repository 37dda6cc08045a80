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
  int answerAs = 0;                 // name this slot in every read and write reply; 0: the asked one
  long corruptEvery = 0;            // spoil the checksum of every Nth reply; 0: none
  int noise = 0;                    // bytes of noise before each reply
  long strayStxEvery = 0;           // an STX ahead of the noise before every Nth reply; 0: none
  std::vector<std::uint8_t> trailer;  // bytes after each reply (a CR, a CR LF ...)
  int delayMs = 0;                  // wait before each reply
  bool paced = false;               // write at the line's speed instead of all at once
  int idleNoise = 0;                // noise bytes sent on the line after each quiet spell
  int floodMs = 0;                  // random bytes for this long after the first quiet spell
  bool log = false;                 // print each request understood
  std::string state;                // a data file to load the values from and save them to
  bool version = false;             // --version: print the version and end

  TSimOptions();
};

// A quiet spell: no request for this long after the last one.  --idle-noise and --flood act
// after it.
inline constexpr int kSimQuietMs = 300;

// The line's speed: 19200 bit/s, 11 bits a byte (start bit, 8 data bits, parity, stop bit).
inline constexpr int kSimLineBytesPerSecond = 19200 / 11;

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
    std::vector<std::uint8_t> bytes;  // to write to the line (a stray STX, noise, the reply, its
                                      // trailer); may be empty
    std::string log;                  // one line for --log
    bool request = false;             // the frame was a request the simulator understood
    bool stored = false;              // a write was accepted: a stored value changed
  };

  // Takes one byte from the line; returns an answer each time a frame completes.
  std::optional<Answer> Take(std::uint8_t byte);

  // Noise for the idle line (--idle-noise): that many bytes, never an STX, so that they can
  // never begin a frame.
  std::vector<std::uint8_t> IdleNoise();
  // The next byte of a flood (--flood): any value, STX, ETX and DLE included.
  std::uint8_t FloodByte() { return static_cast<std::uint8_t>(flood_random_() & 0xFF); }

  // The stored value of slot 1..41 (slot 1: the date text).
  const std::string& Value(int slot) const { return values_[static_cast<std::size_t>(slot)]; }
  void SetValue(int slot, std::string value) { values_[static_cast<std::size_t>(slot)] = std::move(value); }

  // --state FILE: the 41 values kept in a data file, which a trainee can open in the program
  // or read as text.  The data file's own keys carry the values with the blanks that pad
  // them to the panel's lengths removed.  What a data file cannot carry goes into the
  // section "Panel Simulator": "Commissioning Date", "Panel Serial Number" and "Chiller
  // Serial Number" always, and "Slot N" for any other slot whose value does not come back
  // from the data file keys exactly as stored (trailing blanks, texts longer than a data
  // file keeps, the nozzle and power composites).  These are written in quotes, so leading
  // and trailing blanks survive; line breaks in a value are written as blanks.
  //
  // Loads the values from the data file at `path`: the data file keys first, then the
  // simulator's section, whose keys win.  The date and the serial numbers keep their present
  // values when the file does not name them.  A file that does not exist changes nothing and
  // sets `existed` false.  Returns an error text for the user, or "".
  std::string LoadState(const std::string& path, bool& existed);
  // Saves the values into the data file at `path`, creating it or updating its keys (the
  // rest of the file is kept).  Returns an error text for the user, or "".
  std::string SaveState(const std::string& path) const;

 private:
  Answer Handle(const TDecodedFrame& frame);
  void Reply(Answer& answer, std::uint8_t kind, std::uint8_t slot, const std::vector<std::uint8_t>& payload);
  std::uint8_t WriteStatus(const TDecodedFrame& frame, std::string& description);
  void AppendNoise(std::vector<std::uint8_t>& bytes, int count);

  TSimOptions options_;
  TFrameReceiver receiver_;
  std::array<std::uint8_t, kFrameBufferSize> scratch_{};
  std::array<std::string, kSimSlots + 1> values_;
  long requests_ = 0;  // requests understood so far
  long replies_ = 0;   // replies made so far (before dropping)
  std::minstd_rand noise_random_{2003};
  std::minstd_rand flood_random_{1999};
};
