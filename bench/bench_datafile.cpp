// Reading and writing data files.
//
// A typical file: every one of the 41 keys filled, as a file saved on a Windows machine
// (CRLF) with a comment and a section of its own.  Targets: ReadDataFile under 1 ms,
// WriteDataFile under 5 ms plus the flush to the disk.
//
// Hostile files: 16 MiB (the largest file read as a data file) of one shape each.  Target:
// read and written in under 0.2 s each, with a peak of heap memory within twice the file's
// size plus 1 MiB.  Global operator new and delete are replaced in this executable to
// follow the heap: the counter peak_per_file_byte is the peak of heap bytes in use during
// one read or write, over the file's size, and a benchmark past the memory target fails.

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "files/datafile.h"

namespace {

// Heap bytes in use now and the peak since the last reset.  Each block carries its size in
// a header of its own.
std::atomic<long long> g_in_use{0};
std::atomic<long long> g_peak{0};
constexpr std::size_t kHeader = alignof(std::max_align_t);

void ResetPeak() { g_peak.store(g_in_use.load()); }

}  // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!block) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  const long long now = g_in_use.fetch_add(static_cast<long long>(size)) + static_cast<long long>(size);
  long long peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
  return block + kHeader;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* p) noexcept {
  if (!p) return;
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  g_in_use.fetch_sub(static_cast<long long>(*reinterpret_cast<std::size_t*>(block)));
  std::free(block);
}
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }

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

// ---- hostile files ----

constexpr std::size_t kHostileSize = kMaxProfileFileSize;

// `unit` repeated to fill 16 MiB, after `head`.
std::string Filled(const std::string& head, const std::string& unit) {
  std::string bytes = head;
  bytes.reserve(kHostileSize);
  while (bytes.size() + unit.size() <= kHostileSize) bytes += unit;
  return bytes;
}

std::string HostileFile(int shape) {
  switch (shape) {
    case 0: return Filled("", "\r\n");                                   // empty lines
    case 1: return Filled("[S]\r\n", "k=v\r\n");                         // key lines in another section
    case 2: return Filled("[Job Information]\r\n", "k=v\r\n");           // key lines in a section read
    case 3: return Filled("", "[a]\n");                                  // section lines
    case 4: return Filled("", "[Job Information]\n");                    // one section, again and again
    case 5: return Filled("[Job Information]\r\nJob Name=", "x");         // one long value
    case 6: return Filled("", "\n");                                     // LF only
    default: return Filled("[Job Information]\r\n", "=\n");              // empty keys
  }
}

const char* const kShapeNames[] = {"empty-lines", "kv-lines",  "kv-lines-read-section", "sections",
                                   "same-section", "long-value", "lf-lines",              "empty-keys"};

void CheckPeak(benchmark::State& state, long long peak, std::size_t size) {
  state.counters["peak_per_file_byte"] = static_cast<double>(peak) / static_cast<double>(size);
  if (peak > 2 * static_cast<long long>(size) + (1 << 20)) {
    state.SkipWithError("over the memory target");
  }
}

// ReadDataFile from the disk: load, find the 40 keys, fill the record.
void BM_ReadHostile(benchmark::State& state) {
  const Folder folder;
  const std::string bytes = HostileFile(static_cast<int>(state.range(0)));
  {
    ProfileDocument file(bytes);
    SaveProfile(folder.File(), file);
  }
  state.SetLabel(kShapeNames[state.range(0)]);
  long long peak = 0;
  UnitDataRecord record{};
  for (auto _ : state) {
    ResetPeak();
    const long long before = g_in_use.load();
    const FileStatus status = ReadDataFile(record, folder.File());
    if (!status) state.SkipWithError(status.reason.c_str());
    peak = std::max(peak, g_peak.load() - before);
  }
  CheckPeak(state, peak, bytes.size());
}
BENCHMARK(BM_ReadHostile)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseRealTime();

// WriteDataFile to the disk: load, write the 41 keys, save beside and rename (with the
// flushes to the disk).
void BM_WriteHostile(benchmark::State& state) {
  const Folder folder;
  const std::string bytes = HostileFile(static_cast<int>(state.range(0)));
  state.SetLabel(kShapeNames[state.range(0)]);
  const UnitDataRecord record = TypicalRecord();
  long long peak = 0;
  for (auto _ : state) {
    state.PauseTiming();
    {
      ProfileDocument file(bytes);
      SaveProfile(folder.File(), file);
    }
    state.ResumeTiming();
    ResetPeak();
    const long long before = g_in_use.load();
    const FileStatus status = WriteDataFile(record, folder.File());
    if (!status) state.SkipWithError(status.reason.c_str());
    peak = std::max(peak, g_peak.load() - before);
  }
  CheckPeak(state, peak, bytes.size());
}
BENCHMARK(BM_WriteHostile)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
