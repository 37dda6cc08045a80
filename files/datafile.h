#pragma once

// Data files (.dat): one chiller's order and nameplate data as a profile file of six
// sections and 41 keys.  ReadDataFile fills the unit data record from a file, WriteDataFile
// stores the record into one.  The commissioning date, the model prefix and the two serial
// numbers are never in a data file: reading leaves them as they were.
//
// Values are the members' texts, unchanged, except for two composite keys: the nozzle
// arrangement "Nozzle(In-Out)" joins in and out with a '-', and "Power(volts/ph/hz)" joins
// power, phases and frequency with '/'; each part is written without the spaces that pad
// it at its end (the panel pads its values to its lengths, and padded parts would not fit
// the key's read width).  The reader keeps at most read width - 1 characters
// of each value (so "Nozzle(In-Out)" shows at most 3 characters and the power triple 19),
// splits the composites, and derives the starter type from the starter text when the file
// gives none.

#include <array>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

#include "files/profile.h"
#include "model/unitdatarecord.h"

// One key of a data file, in the order WriteDataFile writes them.
struct DataFileKey {
  enum class Kind : unsigned char {
    Plain,      // one member, the value unchanged
    Nozzle,     // first = in, second = out, joined by '-'
    Power,      // Power, Phases, Frequency, joined by '/'
    WriteOnly,  // "Model Information"/"Motor": written, never read
  };
  std::string_view section;
  std::string_view key;
  Kind kind;
  UnitMember first;   // the member (Plain, WriteOnly), the in member (Nozzle)
  UnitMember second;  // the out member (Nozzle); unused otherwise
  std::size_t width;  // the read buffer's size, terminator included; 0 for WriteOnly
};

inline constexpr std::size_t kDataFileKeyCount = 41;
// Every key, in write order.
extern const std::array<DataFileKey, kDataFileKeyCount> kDataFileKeys;
// The order in which ReadDataFile reads them: indexes into kDataFileKeys.  It differs
// from the write order only in "Nameplate Information" ("StarterType" before "Starter")
// and in skipping "Model Information"/"Motor".
extern const std::array<std::size_t, kDataFileKeyCount - 1> kDataFileReadOrder;

// The composite splits, on a value as read (already cut to its read width).
struct NozzleParts {
  std::string_view in, out;
};
NozzleParts SplitNozzle(std::string_view value);
struct PowerParts {
  std::string_view power, phases, frequency;
};
PowerParts SplitPower(std::string_view value);
// The starter type for a "Starter" text: "None", "SSS", "VSD", or "EM" for any other text.
std::string_view StarterTypeFor(std::string_view starter);

// Fills `record` from a data file already in memory.  Every listed member is overwritten,
// with the empty text where the file lacks its key.
void ReadDataFile(UnitDataRecord& record, const ProfileDocument& file);
// Stores the record's 41 keys into a data file in memory, keeping everything else in it.
void WriteDataFile(const UnitDataRecord& record, ProfileDocument& file);

// Reads the data file at `path` into `record`.  A path that names no file reads as a file
// without keys: every listed member becomes empty and the starter type "EM".  A file that
// exists but cannot be read (no permission, a folder) fails with the reason, and the record
// is left as it was.
FileStatus ReadDataFile(UnitDataRecord& record, const std::filesystem::path& path);

// Writes the record into the data file at `path`, creating it if needed.  An existing file
// is updated key by key and keeps everything else it holds; it is read once, changed in
// memory and saved once (UpdateProfile: under the file's lock, flushed to the disk).  On
// failure (the file cannot be read or written) the file keeps its previous content and the
// reason is returned.
FileStatus WriteDataFile(const UnitDataRecord& record, const std::filesystem::path& path);
