// Fuzz target for the data file reader and writer.  The input is a file's bytes and then
// the record's text members in member order, all separated by zero bytes.  Reading any file
// must work; writing the record must change the file exactly as writing its 41 keys one at a
// time by the plain model of the profile rules does (every other byte kept); each plain key
// must read back as the value written (on one line, trimmed, one quote pair off, cut to its
// read width); and reading a written file twice must give the same record.  (Writing what
// was read need not give it back: a read drops a quote pair and the blanks that a cut
// leaves at a value's end.)

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/datafile.h"
#include "tests/fuzz/profilemodel.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_datafile: %s\n", what);
    std::abort();
  }
}

bool Same(const UnitDataRecord& a, const UnitDataRecord& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A part of a composite key without the spaces at its end.
std::string Part(const char* text) {
  std::string part(text);
  part.erase(part.find_last_not_of(' ') + 1);
  return part;
}

std::string KeyValue(const UnitDataRecord& record, const DataFileKey& key) {
  switch (key.kind) {
    case DataFileKey::Kind::Nozzle:
      return Part(record.Text(key.first)) + "-" + Part(record.Text(key.second));
    case DataFileKey::Kind::Power:
      return Part(record.Power()) + "/" + Part(record.Phases()) + "/" + Part(record.Frequency());
    default:
      return record.Text(key.first);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = profilemodel::Parts(data, size);
  const std::string original(parts[0]);

  UnitDataRecord fromOriginal{};
  ReadDataFile(fromOriginal, ProfileDocument(original));

  UnitDataRecord record{};
  for (std::size_t i = 0; i < kUnitMembers.size() && i + 1 < parts.size(); ++i)
    record.StoreText(kUnitMembers[i].member, parts[i + 1]);

  ProfileDocument written(original);
  WriteDataFile(record, written);
  profilemodel::Model model(original);
  for (const DataFileKey& key : kDataFileKeys) model.Write(key.section, key.key, KeyValue(record, key));
  Check(written.Bytes() == model.Bytes(), "the written file differs from writing its keys one at a time");

  for (const DataFileKey& key : kDataFileKeys) {
    if (key.kind != DataFileKey::Kind::Plain) continue;
    const std::string expected =
        profilemodel::ValueAsRead(profilemodel::OneLine(record.Text(key.first))).substr(0, key.width - 1);
    Check(written.Read(key.section, key.key, "", key.width) == expected, "a written value does not read back");
  }

  UnitDataRecord first{}, second{};
  ReadDataFile(first, written);
  ReadDataFile(second, ProfileDocument(written.Bytes()));
  Check(Same(first, second), "reading the same file twice gives two records");
  return 0;
}
