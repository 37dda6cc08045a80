#include "files/datafile.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using K = DataFileKey::Kind;
using M = UnitMember;

constexpr std::string_view kModel = "Model Information";
constexpr std::string_view kDesign = "Design Load Conditions";
constexpr std::string_view kEvaporator = "Evaporator Information";
constexpr std::string_view kCondenser = "Condenser Information";
constexpr std::string_view kNameplate = "Nameplate Information";
constexpr std::string_view kJob = "Job Information";

// The 1-based characters first..last of text; empty when the range is empty.  A start
// below 1 counts as 1.
std::string_view Chars(std::string_view text, std::ptrdiff_t first, std::ptrdiff_t last) {
  first = std::max<std::ptrdiff_t>(first, 1);
  last = std::min<std::ptrdiff_t>(last, static_cast<std::ptrdiff_t>(text.size()));
  if (last < first) return {};
  return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
}

// A part of a composite key as it is written: without the blanks that pad it at its end.
// The panel pads every value with spaces to its length, and a padded part would push the
// parts after it past the key's read width.  Only spaces go: the panel pads with nothing
// else, and pads a value again when it is sent, so they carry nothing for it.
std::string_view WithoutPadding(std::string_view part) {
  while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
  return part;
}

// 1-based position of a character found by find/rfind, or 0.
std::ptrdiff_t Position(std::size_t found) {
  return found == std::string_view::npos ? 0 : static_cast<std::ptrdiff_t>(found) + 1;
}

}  // namespace

const std::array<DataFileKey, kDataFileKeyCount> kDataFileKeys = {{
    {kModel, "Model Number", K::Plain, M::ModelNumber, M::ModelNumber, 70},
    {kModel, "Cooler", K::Plain, M::Cooler, M::Cooler, 3},
    {kModel, "Condenser", K::Plain, M::Condenser, M::Condenser, 3},
    {kModel, "Compressor", K::Plain, M::Compressor, M::Compressor, 3},
    {kModel, "Motor", K::WriteOnly, M::MotorCode, M::MotorCode, 0},
    {kModel, "Revision Level", K::Plain, M::RevisionLevel, M::RevisionLevel, 2},
    {kModel, "Special Code", K::Plain, M::SpecialCode, M::SpecialCode, 2},
    {kModel, "Refrigerant", K::Plain, M::Refrigerant, M::Refrigerant, 30},
    {kDesign, "Tons", K::Plain, M::Tons, M::Tons, 30},
    {kDesign, "Gear Code", K::Plain, M::GearCode, M::GearCode, 30},
    {kDesign, "KW Input", K::Plain, M::KilowattsInput, M::KilowattsInput, 30},
    {kDesign, "Brine Percent", K::Plain, M::BrinePercent, M::BrinePercent, 30},
    {kEvaporator, "Passes", K::Plain, M::EvPasses, M::EvPasses, 30},
    {kEvaporator, "Design Working Pressure(psig)", K::Plain, M::EvDesignWorkingPressure, M::EvDesignWorkingPressure, 30},
    {kEvaporator, "Tube No", K::Plain, M::EvTubeNo, M::EvTubeNo, 30},
    {kEvaporator, "Nozzle(In-Out)", K::Nozzle, M::EvNozzleIn, M::EvNozzleOut, 4},
    {kEvaporator, "EWT(degF)", K::Plain, M::EvReturnTemp, M::EvReturnTemp, 30},
    {kEvaporator, "LWT(degF)", K::Plain, M::EvLeavingTemp, M::EvLeavingTemp, 30},
    {kEvaporator, "Fluid", K::Plain, M::EvapLiquidType, M::EvapLiquidType, 30},
    {kEvaporator, "Flow Rate(gpm)", K::Plain, M::EvGpm, M::EvGpm, 30},
    {kEvaporator, "Fouling Factor", K::Plain, M::EvFoulingFactor, M::EvFoulingFactor, 30},
    {kEvaporator, "Pressure Drop(ft)", K::Plain, M::EvPressureDrop, M::EvPressureDrop, 30},
    {kCondenser, "Passes", K::Plain, M::CdPasses, M::CdPasses, 30},
    {kCondenser, "Design Working Pressure(psig)", K::Plain, M::CdDesignWorkingPressure, M::CdDesignWorkingPressure, 30},
    {kCondenser, "Tube No", K::Plain, M::CdTubeNo, M::CdTubeNo, 30},
    {kCondenser, "Nozzle(In-Out)", K::Nozzle, M::CdNozzleIn, M::CdNozzleOut, 4},
    {kCondenser, "EWT(degF)", K::Plain, M::CdReturnTemp, M::CdReturnTemp, 30},
    {kCondenser, "LWT(degF)", K::Plain, M::CdLeavingTemp, M::CdLeavingTemp, 30},
    {kCondenser, "Flow Rate(gpm)", K::Plain, M::CdGpm, M::CdGpm, 30},
    {kCondenser, "Fouling Factor", K::Plain, M::CdFoulingFactor, M::CdFoulingFactor, 30},
    {kCondenser, "Pressure Drop(ft)", K::Plain, M::CdPressureDrop, M::CdPressureDrop, 30},
    {kNameplate, "Motor", K::Plain, M::MotorCode, M::MotorCode, 30},
    {kNameplate, "Power(volts/ph/hz)", K::Power, M::Power, M::Power, 20},
    {kNameplate, "Full Load Amps", K::Plain, M::FullLoadAmps, M::FullLoadAmps, 30},
    {kNameplate, "Locked Rotor Amps", K::Plain, M::LockedRotorAmps, M::LockedRotorAmps, 30},
    {kNameplate, "Inrush Amps", K::Plain, M::InrushAmps, M::InrushAmps, 30},
    {kNameplate, "Starter", K::Plain, M::Starter, M::Starter, 21},
    {kNameplate, "StarterType", K::Plain, M::MotorType, M::MotorType, 30},
    {kJob, "Contract-Order Number", K::Plain, M::VarnOrderNumber, M::VarnOrderNumber, 30},
    {kJob, "Job Name", K::Plain, M::JobName, M::JobName, 30},
    {kJob, "Job Location", K::Plain, M::JobLocation, M::JobLocation, 30},
}};

// Write order with "Model Information"/"Motor" (4) left out and "StarterType" (37) read
// before "Starter" (36).
const std::array<std::size_t, kDataFileKeyCount - 1> kDataFileReadOrder = {
    0,  1,  2,  3,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 37, 36, 38, 39, 40};

NozzleParts SplitNozzle(std::string_view value) {
  const std::ptrdiff_t p = Position(value.find('-'));
  const auto size = static_cast<std::ptrdiff_t>(value.size());
  return {Chars(value, 1, p - 1), Chars(value, p + 1, size)};
}

PowerParts SplitPower(std::string_view value) {
  const std::ptrdiff_t p1 = Position(value.find('/'));
  const std::ptrdiff_t p2 = Position(value.rfind('/'));
  const auto size = static_cast<std::ptrdiff_t>(value.size());
  return {Chars(value, 1, p1 - 1), Chars(value, p1 + 1, p2 - 1), Chars(value, p2 + 1, size)};
}

std::string_view StarterTypeFor(std::string_view starter) {
  if (starter == "None") return "None";
  if (starter == "Solid State Starter") return "SSS";
  if (starter == "Variable Speed Drive") return "VSD";
  return "EM";
}

void ReadDataFile(UnitDataRecord& record, const ProfileDocument& file) {
  // One pass over the file finds every key.  Each value goes straight into its member, as
  // into a buffer of the key's read width, so no setter's derived values are touched
  // (reading "Model Number" leaves the model prefix as it was).
  std::array<ProfileKey, kDataFileReadOrder.size()> wanted;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const DataFileKey& key = kDataFileKeys[kDataFileReadOrder[i]];
    wanted[i] = {key.section, key.key};
  }
  const std::vector<std::optional<std::string_view>> found = file.FindAll(wanted);
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const DataFileKey& key = kDataFileKeys[kDataFileReadOrder[i]];
    // A missing key reads as the empty default.
    const std::string_view value = found[i] ? found[i]->substr(0, key.width - 1) : std::string_view();
    switch (key.kind) {
      case K::Plain:
        record.StoreText(key.first, value);
        break;
      case K::Nozzle: {
        const NozzleParts parts = SplitNozzle(value);
        record.StoreText(key.first, parts.in);
        record.StoreText(key.second, parts.out);
        break;
      }
      case K::Power: {
        const PowerParts parts = SplitPower(value);
        record.StoreText(M::Power, parts.power);
        record.StoreText(M::Phases, parts.phases);
        record.StoreText(M::Frequency, parts.frequency);
        break;
      }
      case K::WriteOnly:
        break;
    }
  }
  if (record.MotorType()[0] == '\0') record.StoreText(M::MotorType, StarterTypeFor(record.Starter()));
}

void WriteDataFile(const UnitDataRecord& record, ProfileDocument& file) {
  // The 41 keys in one pass over the file.
  std::array<std::string, kDataFileKeyCount> values;
  std::array<ProfileEntry, kDataFileKeyCount> entries;
  for (std::size_t i = 0; i < kDataFileKeyCount; ++i) {
    const DataFileKey& key = kDataFileKeys[i];
    switch (key.kind) {
      case K::Plain:
      case K::WriteOnly:
        values[i] = record.Text(key.first);
        break;
      case K::Nozzle:
        values[i] = std::string(WithoutPadding(record.Text(key.first))) + "-" +
                    std::string(WithoutPadding(record.Text(key.second)));
        break;
      case K::Power:
        values[i] = std::string(WithoutPadding(record.Power())) + "/" + std::string(WithoutPadding(record.Phases())) +
                    "/" + std::string(WithoutPadding(record.Frequency()));
        break;
    }
    entries[i] = {key.section, key.key, values[i]};
  }
  file.WriteAll(entries);
}

FileStatus ReadDataFile(UnitDataRecord& record, const std::filesystem::path& path) {
  ProfileDocument file;
  FileStatus loaded = LoadProfile(path, file);
  if (loaded) ReadDataFile(record, file);
  return loaded;  // with its notice, if the read put back or kept an unfinished save's backup
}

FileStatus WriteDataFile(const UnitDataRecord& record, const std::filesystem::path& path) {
  return UpdateProfile(path, [&](ProfileDocument& file) { WriteDataFile(record, file); });
}
