// Reading and writing a typical data file: every one of the 41 keys filled, as a file
// saved on a Windows machine (CRLF) with a comment and a section of its own.
// Targets: ReadDataFile under 1 ms, WriteDataFile under 5 ms.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "files/datafile.h"

namespace {

UnitDataRecord TypicalRecord() {
  UnitDataRecord record{};
  record.SetModelNumber("YKCBCBS3-CKHS");
  record.StoreText(UnitMember::Starter, "Solid State Starter");
  int n = 0;
  for (const UnitMemberInfo& info : kUnitMembers)
    if (info.slot > 1 && info.member != UnitMember::ModelNumber)
      record.SetSlot(info.slot, std::to_string(100 + ++n) + ".5");
  record.SetEvNozzleIn("2");
  record.SetEvNozzleOut("3");
  record.SetPower("460");
  record.SetPhases("3");
  record.SetFrequency("60");
  return record;
}

class Folder {
 public:
  Folder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quellso-bench-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~Folder() { std::filesystem::remove_all(path_); }
  std::filesystem::path File() const { return path_ / "unit.dat"; }

 private:
  std::filesystem::path path_;
};

// The typical file: a comment, a section the program does not know, and the 41 keys.
std::filesystem::path TypicalFile(const Folder& folder) {
  ProfileDocument file("; Unit data, saved at the factory\r\n[Order]\r\nNumber=4711-0815\r\n\r\n");
  WriteDataFile(TypicalRecord(), file);
  SaveProfile(folder.File(), file);
  return folder.File();
}

void BM_ReadDataFile(benchmark::State& state) {
  const Folder folder;
  const auto path = TypicalFile(folder);
  UnitDataRecord record{};
  for (auto _ : state) {
    const FileStatus status = ReadDataFile(record, path);
    benchmark::DoNotOptimize(status.ok);
  }
}
BENCHMARK(BM_ReadDataFile)->Unit(benchmark::kMicrosecond);

void BM_WriteDataFile(benchmark::State& state) {
  const Folder folder;
  const auto path = TypicalFile(folder);
  UnitDataRecord record = TypicalRecord();
  int i = 0;
  for (auto _ : state) {
    record.SetJobName("Job " + std::to_string(++i));  // a real change each time
    const FileStatus status = WriteDataFile(record, path);
    benchmark::DoNotOptimize(status.ok);
  }
}
BENCHMARK(BM_WriteDataFile)->Unit(benchmark::kMicrosecond);

// The parts without the disk: parsing plus the 40 reads, and the 41 writes in memory.
void BM_ReadDataFileInMemory(benchmark::State& state) {
  ProfileDocument typical;
  WriteDataFile(TypicalRecord(), typical);
  const std::string bytes = typical.Bytes();
  UnitDataRecord record{};
  for (auto _ : state) {
    ReadDataFile(record, ProfileDocument(bytes));
    benchmark::DoNotOptimize(record.JobName());
  }
}
BENCHMARK(BM_ReadDataFileInMemory)->Unit(benchmark::kMicrosecond);

void BM_WriteDataFileInMemory(benchmark::State& state) {
  ProfileDocument typical;
  WriteDataFile(TypicalRecord(), typical);
  const std::string bytes = typical.Bytes();
  const UnitDataRecord record = TypicalRecord();
  for (auto _ : state) {
    ProfileDocument file(bytes);
    WriteDataFile(record, file);
    benchmark::DoNotOptimize(file.Bytes());
  }
}
BENCHMARK(BM_WriteDataFileInMemory)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
