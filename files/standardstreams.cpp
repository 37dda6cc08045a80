#include "files/standardstreams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

void KeepStandardStreamsOpen() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free number: this one.
    const int opened = ::open("/dev/null", O_RDONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

StandardOutput::StandardOutput(std::string_view program) : program_(program), previous_(std::cout.rdbuf()) {
  setp(buffer_.data(), buffer_.data() + buffer_.size());
  std::cout.rdbuf(this);
}

StandardOutput::~StandardOutput() {
  Drain();
  std::cout.rdbuf(previous_);
}

void StandardOutput::Write(const char* data, std::size_t size) {
  while (size > 0 && error_ == 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, size);
    if (n < 0) {
      if (errno != EINTR) error_ = errno;
      continue;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
}

bool StandardOutput::Drain() {
  Write(pbase(), static_cast<std::size_t>(pptr() - pbase()));
  setp(buffer_.data(), buffer_.data() + buffer_.size());  // what failed is dropped
  return error_ == 0;
}

StandardOutput::int_type StandardOutput::overflow(int_type c) {
  if (!Drain()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize StandardOutput::xsputn(const char* data, std::streamsize size) {
  const auto count = static_cast<std::size_t>(size);
  if (count <= static_cast<std::size_t>(epptr() - pptr())) {
    std::memcpy(pptr(), data, count);
    pbump(static_cast<int>(count));
  } else {
    // Larger than the room left (a decoded member): straight through after what waits.
    if (Drain()) Write(data, count);
  }
  return error_ == 0 ? size : 0;
}

int StandardOutput::sync() { return Drain() ? 0 : -1; }

int StandardOutput::Finish(int status, int failedStatus) {
  std::cout.flush();
  if (Drain()) return status;
  std::cerr << program_ << ": cannot write standard output: " << std::strerror(error_) << "\n";
  return status == 0 ? failedStatus : status;
}
