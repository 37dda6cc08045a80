#pragma once

// The shared in-memory panel port (tests/panel/memoryport.h), with what window tests add.

#include "app/mainwindow.h"
#include "panel/comm.h"
#include "panel/panellink.h"
#include "tests/panel/memoryport.h"
#include "tests/panel/test_panellink_support.h"

// The panel answers a length query with `length` for all 41 fields, and the window reads the
// replies from `port` (which must be its link's port): the lengths are then known.
inline void AnswerLengthQuery(TfrmMain& window, MemoryPort& port, int length) {
  window.Link().BeginTransfer(TTransferKind::Lengths, AllSlots());
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) port.Feed(LengthReply(slot, length));
  window.CommPortRxChar(window.CommPort, 0);
}
