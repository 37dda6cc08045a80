// Fuzz target for the profile layer.  The input is a file's bytes and then (section, key,
// value) triples, all separated by zero bytes.  The triples are written into the file one
// pass for all of them (WriteAll), and one at a time (Write); both must give exactly what
// the plain model of the rules gives (tests/fuzz/profilemodel.h), so that every byte
// outside the written keys is kept; every written value must read back as a read gives it
// (on one line, trimmed, one quote pair off) where its names read back as themselves; and
// FindAll must agree with Find.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/profile.h"
#include "tests/fuzz/profilemodel.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "fuzz_profile: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts = profilemodel::Parts(data, size);
  const std::string original(parts[0]);
  std::vector<ProfileEntry> entries;
  for (std::size_t i = 1; i + 2 < parts.size(); i += 3) entries.push_back({parts[i], parts[i + 1], parts[i + 2]});

  ProfileDocument document(original);
  Check(document.Bytes() == original, "an untouched document changed");
  profilemodel::Model model(original);
  ProfileDocument oneByOne(original);
  for (const ProfileEntry& e : entries) {
    model.Write(e.section, e.key, e.value);
    oneByOne.Write(e.section, e.key, e.value);
  }
  document.WriteAll(entries);
  Check(oneByOne.Bytes() == model.Bytes(), "Write differs from the model");
  Check(document.Bytes() == model.Bytes(), "WriteAll differs from writing one at a time");

  std::vector<ProfileKey> keys;
  for (const ProfileEntry& e : entries) keys.push_back({e.section, e.key});
  keys.push_back({"S", "k"});
  const std::vector<std::optional<std::string_view>> found = document.FindAll(keys);
  Check(found.size() == keys.size(), "FindAll lost keys");
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::optional<std::string_view> one = document.Find(keys[i].section, keys[i].key);
    Check(found[i] == one, "FindAll differs from Find");
    const std::optional<std::string> modelled = model.Find(keys[i].section, keys[i].key);
    Check(one.has_value() == modelled.has_value() && (!one || *one == *modelled), "Find differs from the model");
  }
  // Where every name reads back as itself, the last value written to each key reads back.
  bool plain = true;
  for (const ProfileEntry& e : entries) {
    const std::string section = profilemodel::CallerName(e.section);
    const std::string key = profilemodel::CallerName(e.key);
    plain = plain && section.find(']') == std::string::npos && key.find('=') == std::string::npos &&
            profilemodel::Trim(section) == section && profilemodel::Trim(key) == key &&
            (key.empty() || (key.front() != '[' && key.front() != ';'));
  }
  for (std::size_t i = 0; plain && i < entries.size(); ++i) {
    bool last = true;
    for (std::size_t j = i + 1; j < entries.size(); ++j)
      last = last && !(profilemodel::SameName(profilemodel::CallerName(entries[j].section),
                                              profilemodel::CallerName(entries[i].section)) &&
                       profilemodel::SameName(profilemodel::CallerName(entries[j].key),
                                              profilemodel::CallerName(entries[i].key)));
    if (!last) continue;
    const std::optional<std::string_view> value = document.Find(entries[i].section, entries[i].key);
    Check(value && *value == profilemodel::ValueAsRead(profilemodel::OneLine(entries[i].value)),
          "a written value does not read back");
  }
  return 0;
}
