#pragma once

// The three port operations the panel link needs: write a block, count the bytes waiting in
// the input queue, read bytes; and, before each transfer, making the port ready.  The serial
// port component is one implementation; tests may drive the link from any byte source and
// sink.

#include <cstdint>

class TPanelPort {
 public:
  virtual ~TPanelPort() = default;
  // Bytes written; -1 while the port is closed.
  virtual std::int32_t Write(const char* Buffer, unsigned long Count) = 0;
  // Bytes waiting in the input queue; -1 while the port is closed.
  virtual std::int32_t InQueCount() = 0;
  // Bytes read (at most Count); -1 while the port is closed.
  virtual std::int32_t Read(char* Buffer, unsigned long Count) = 0;
  // Before a transfer: true when frames can be sent now.  A serial port whose device has
  // gone (an adapter unplugged), or that is closed, opens its own device again first.  A
  // port in memory is always ready.
  virtual bool Ready() { return true; }
};
