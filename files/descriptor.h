#pragma once

// The owner of one open file descriptor: closes it when it goes out of scope, moves but never
// copies.  Plain C++ on the system's headers alone, so that the file layer (saves, archives,
// the transfer history) and the serial port's backend share it without taking anything else
// from each other.

#include <unistd.h>

#include <utility>

class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.fd_, -1));
    return *this;
  }
  ~Descriptor() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Gives up ownership: the caller closes the descriptor.
  int release() { return std::exchange(fd_, -1); }
  // Closes the one held (if any) and holds `fd` instead.
  void Reset(int fd = -1) {
    // Never retried on EINTR: the descriptor is gone after it too.
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and tells whether that went well: a late write error (a full disk on a network
  // file system) may show only here.  True when nothing was held.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;
};
