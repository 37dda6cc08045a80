// The transfer history, its window and the commissioning report.
//
// Targets: recording adds under 5 ms to a transfer (a send records twice: its as-found
// values before writing, and its end), measured on the disk of the current folder, the flush
// to the disk included; the history window opens 10,000 entries (three gets to each send,
// both files full: 24 MiB) in under 300 ms, from reading the files to the first paint of the
// list (on the offscreen platform); a report under 500 ms.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QTableView>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/panelhistory.h"
#include "files/commissioningreport.h"
#include "files/transferhistory.h"

namespace {

namespace fs = std::filesystem;

// A folder beside the current one, on its disk (not a memory file system), removed at the end.
class BenchFolder {
 public:
  BenchFolder() {
    std::string name = (fs::current_path() / "bench-history-XXXXXX").string();
    path_ = ::mkdtemp(name.data()) ? fs::path(name) : fs::current_path();
  }
  ~BenchFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::string Padded(std::string text, std::size_t width) {
  text.resize(std::max(text.size(), width), ' ');
  return text;
}

// A transfer as a panel with the simulator's lengths gives it: values padded to 16 or 30.
TransferEntry Entry(std::string_view operation, int n) {
  TransferEntry entry;
  entry.id = "bench" + std::to_string(n);
  entry.time = HistoryTimeNow();
  entry.operation = operation;
  entry.source = transfer::kFromTool;
  entry.user = "technician";
  entry.host = "end-of-line-4";
  entry.program = "1.0.8";
  entry.port = "COM1";
  entry.device = "/dev/ttyUSB0";
  entry.deviceById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0";
  entry.units = "english";
  entry.result = transfer::kOk;
  SlotValues values;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    values.Set(slot, Padded("v" + std::to_string(slot * 31 + n % 97), slot <= 3 ? 30 : 16));
  values.Set(2, Padded("Job " + std::to_string(n), 30));
  values.Set(6, Padded("PS-" + std::to_string(100000 + n % 3000), 16));
  values.Set(7, Padded("CH-" + std::to_string(200000 + n % 3000), 16));
  if (operation == transfer::kGet) {
    entry.values = values;
  } else {
    entry.found = values;
    entry.found.Set(9, Padded("400", 16));
    entry.written = values;
    entry.readBack = values;
  }
  return entry;
}

void BM_RecordGet(benchmark::State& state) {
  BenchFolder folder;
  const TransferHistory history(folder.path() / "quellso");
  const TransferEntry entry = Entry(transfer::kGet, 1);
  for (auto _ : state) {
    TransferRecorder recorder(history, transfer::kGet, transfer::kFromWindow, {"COM1", "/dev/ttyUSB0"}, "english");
    recorder.Entry().values = entry.values;
    if (!recorder.Finish(transfer::kOk)) state.SkipWithError("cannot record");
  }
}
BENCHMARK(BM_RecordGet)->Unit(benchmark::kMillisecond);

// What a send adds: the as-found line before writing, and the line of its end.
void BM_RecordSend(benchmark::State& state) {
  BenchFolder folder;
  const TransferHistory history(folder.path() / "quellso");
  const TransferEntry entry = Entry(transfer::kSend, 1);
  for (auto _ : state) {
    TransferRecorder recorder(history, transfer::kSend, transfer::kFromWindow, {"COM1", "/dev/ttyUSB0"}, "english");
    recorder.Entry().found = entry.found;
    if (!recorder.RecordBeforeWriting()) state.SkipWithError("cannot record");
    recorder.Entry().written = entry.written;
    recorder.Entry().readBack = entry.readBack;
    if (!recorder.Finish(transfer::kOk)) state.SkipWithError("cannot record");
  }
}
BENCHMARK(BM_RecordSend)->Unit(benchmark::kMillisecond);

// Writes a history of `count` entries (three gets to each send) into both files.
void WriteHistory(const TransferHistory& history, int count) {
  fs::create_directories(history.Folder());
  std::ofstream previous(history.PreviousFilePath(), std::ios::binary | std::ios::trunc);
  std::ofstream current(history.FilePath(), std::ios::binary | std::ios::trunc);
  for (int n = 0; n < count; ++n)
    (n < count / 2 ? previous : current)
        << EncodeTransferLine(Entry(n % 4 == 3 ? transfer::kSend : transfer::kGet, n)) << '\n';
}

void BM_ReadHistory(benchmark::State& state) {
  BenchFolder folder;
  const TransferHistory history(folder.path() / "quellso");
  WriteHistory(history, static_cast<int>(state.range(0)));
  std::size_t bytes = fs::file_size(history.FilePath()) + fs::file_size(history.PreviousFilePath());
  for (auto _ : state) {
    const HistoryReading reading = history.Read();
    if (reading.entries.size() != static_cast<std::size_t>(state.range(0))) state.SkipWithError("entries lost");
    benchmark::DoNotOptimize(reading.entries.data());
  }
  state.counters["MiB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
}
BENCHMARK(BM_ReadHistory)->Arg(10000)->Unit(benchmark::kMillisecond);

// Tools > Panel History: the files read, the list made, the newest entry's values shown and
// the dialog painted.
void BM_HistoryWindow(benchmark::State& state) {
  BenchFolder folder;
  const TransferHistory history(folder.path() / "quellso");
  WriteHistory(history, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    TfrmPanelHistory dialog;
    dialog.Reload(history);
    dialog.show();
    dialog.lvEntries->viewport()->repaint();
    QApplication::processEvents();
    if (dialog.ListedCount() != state.range(0)) state.SkipWithError("entries lost");
    state.PauseTiming();
    dialog.hide();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_HistoryWindow)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Report(benchmark::State& state) {
  const TransferEntry entry = Entry(transfer::kSend, 7);
  for (auto _ : state) {
    std::string reason;
    const std::string pdf = CommissioningReportPdf(entry, {}, reason);
    if (pdf.empty()) state.SkipWithError(reason.c_str());
    benchmark::DoNotOptimize(pdf.data());
  }
}
BENCHMARK(BM_Report)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
