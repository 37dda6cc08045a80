// Fuzz target for the transfer history's lines: a damaged or hostile line (cut short by a
// full disk, edited by hand, any bytes at all) must be refused or read, never crash, and a
// line that is read must write back as a line that reads as the same entry.  The input is
// also read as a whole history file, lines and all.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "files/transferhistory.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_history: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  if (const std::optional<TransferEntry> entry = DecodeTransferLine(line)) {
    const std::string again = EncodeTransferLine(*entry);
    Check(again.find('\n') == std::string::npos, "a written line holds a line break");
    const std::optional<TransferEntry> back = DecodeTransferLine(again);
    Check(back.has_value(), "a written line does not read back");
    Check(EncodeTransferLine(*back) == again, "a line reads back as another entry");
    Check(back->found == entry->found && back->written == entry->written && back->readBack == entry->readBack &&
              back->values == entry->values,
          "values change on the way through a line");
  }
  return 0;
}
