// Open-to-shown of an order archive: TfrmMain::OpenUpzFile from the call until ShowRecord
// has run (extraction of every member into the private temporary folder, reading and
// deleting the unit data file, filling the 41 fields).  Target: under 10 ms for a 300 KB
// archive.  The window is a real one on the offscreen platform.  Two hostile archives are
// opened too (OpenHostile).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/mainwindow.h"
#include "bench/implodeinputs.h"
#include "files/datafile.h"
#include "tests/files/implodewriter.h"
#include "tests/files/stormoracle.h"
#include "tests/files/upzbuilder.h"
#include "ui/edits.h"
#include "ui/messagebox.h"

namespace {

namespace fs = std::filesystem;

// A data file with every one of its keys filled.
std::string TypicalDataFile() {
  ProfileDocument file;
  int n = 0;
  for (const DataFileKey& key : kDataFileKeys) file.Write(key.section, key.key, std::to_string(100 + ++n) + ".5");
  file.Write("Job Information", "Job Name", "Harbour Tower");
  return file.Bytes();
}

// A scratch folder for the archive, which also holds the program's temporary folder
// (TMPDIR points into it while it lives).
class Scratch {
 public:
  Scratch() {
    const char* old = std::getenv("TMPDIR");
    if (old) saved_ = old;
    had_ = old != nullptr;
    std::string pattern = (fs::temp_directory_path() / "quellso-bench-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
    fs::create_directory(path_ / "tmp");
    ::setenv("TMPDIR", (path_ / "tmp").c_str(), 1);
  }
  ~Scratch() {
    if (had_)
      ::setenv("TMPDIR", saved_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
    fs::remove_all(path_);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
  std::string saved_;
  bool had_ = false;
};

int failures = 0;

// `extraBytes` of text-like data in a second member, beside the unit data file.  With
// `fresh`, the temporary folder is emptied before each open (an archive opened for the
// first time); otherwise the same archive is opened again and again.
void OpenToShown(benchmark::State& state, std::size_t extraBytes, bool fresh) {
  Scratch scratch;
  std::vector<UpzMember> members = {{"LTCUNIT.DAT", Compressed(TypicalDataFile()), {}, {}}};
  if (extraBytes > 0)
    members.push_back(
        {"drawing.txt", storm::Implode(BenchInput(InputKind::kText, extraBytes), storm::LiteralMode::kAscii, 4096), {}, {}});
  const fs::path archive = scratch.path() / "52n9c1jl.upz";
  WriteFile(archive, BuildUpz(members));
  state.counters["archive_bytes"] = static_cast<double>(fs::file_size(archive));

  UnitDataRecord record{};
  TfrmMain window(record);
  const QString path = QString::fromStdString(archive.string());
  for (auto _ : state) {
    window.OpenUpzFile(path);
    state.PauseTiming();
    if (failures > 0 || window.eJobName->Text() != "Harbour Tower") state.SkipWithError("the archive did not open");
    window.eJobName->SetText({});
    if (fresh)
      for (const fs::directory_entry& entry : fs::directory_iterator(scratch.path() / "tmp"))
        fs::remove_all(entry.path());
    state.ResumeTiming();
  }
}

// Hostile archives: a 120 KB archive whose unit data file is 16 MiB of empty lines (read
// within the data file targets), and a 12 MB one that expands to 2 GiB (refused at 256 MiB,
// with its message, and removed again).
void OpenHostile(benchmark::State& state, bool bomb) {
  Scratch scratch;
  std::vector<UpzMember> members;
  if (bomb) {
    members.push_back({"LTCUNIT.DAT", ImplodedRun(2048ull * 1024 * 1024, '\n'), {}, {}});
  } else {
    std::string lines;
    for (int i = 0; i < 8 * 1024 * 1024; ++i) lines += "\r\n";
    members.push_back({"LTCUNIT.DAT", Compressed(lines), {}, {}});
  }
  const fs::path archive = scratch.path() / "52n9c1jl.upz";
  WriteFile(archive, BuildUpz(members));
  state.counters["archive_bytes"] = static_cast<double>(fs::file_size(archive));
  UnitDataRecord record{};
  TfrmMain window(record);
  const QString path = QString::fromStdString(archive.string());
  for (auto _ : state) {
    failures = 0;
    window.OpenUpzFile(path);
    if (failures != (bomb ? 1 : 0)) state.SkipWithError("unexpected outcome");
  }
  failures = 0;
}

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  SetMessageBoxHook([](const MessageBoxCall&) {
    ++failures;
    return TModalResult::Ok;
  });
  benchmark::RegisterBenchmark("OpenUpzFile/300K/again", OpenToShown, std::size_t{1100000}, false)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("OpenUpzFile/300K/first", OpenToShown, std::size_t{1100000}, true)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("OpenUpzFile/unit-file-only", OpenToShown, std::size_t{0}, false)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("OpenUpzFile/16MiB-empty-lines", OpenHostile, false)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark("OpenUpzFile/2GiB-bomb-refused", OpenHostile, true)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
