#pragma once

// The standard streams of a program run from a shell or a script.
//
// Output that cannot be written (a full disk, `> /dev/full`, standard output closed with
// `>&-`) must not pass for success: a script would keep an empty file and believe it.
// StandardOutput is std::cout's buffer for the whole run; it remembers the first write that
// failed, and Finish turns that into a message on standard error and a failure status.

#include <array>
#include <cstddef>
#include <streambuf>
#include <string>
#include <string_view>

// Opens /dev/null for reading on each of the descriptors 0, 1 and 2 that is closed.  A
// closed one would be handed to the next file the program opens, and what the program
// prints would land in that file (a data file, the serial port).  Writing to such a stream
// still fails as it does on a closed one (EBADF).  Call it first thing in main().
void KeepStandardStreamsOpen();

class StandardOutput final : public std::streambuf {
 public:
  // Takes over std::cout's buffer until destroyed; `program` names the program in the
  // message of Finish.
  explicit StandardOutput(std::string_view program);
  ~StandardOutput() override;
  StandardOutput(const StandardOutput&) = delete;
  StandardOutput& operator=(const StandardOutput&) = delete;

  // Writes what is still buffered.  Returns `status`, unless something written to standard
  // output did not reach it: then says so on standard error ("PROGRAM: cannot write
  // standard output: REASON") and returns `failedStatus` when `status` is 0 (a failure the
  // program already reports keeps its own status).
  int Finish(int status, int failedStatus);

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* data, std::streamsize size) override;
  int sync() override;

 private:
  // Writes the buffer out; false once a write has failed.
  bool Drain();
  void Write(const char* data, std::size_t size);

  std::string program_;
  std::streambuf* previous_;
  std::array<char, 65536> buffer_{};
  int error_ = 0;  // errno of the first failed write
};
