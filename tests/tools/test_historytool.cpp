// quellso-tool history and report as a script runs them: the built tool as a process, without
// a display, on a history in a state folder of the test's own (XDG_STATE_HOME).

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <fstream>
#include <sstream>

#include "files/commissioningreport.h"
#include "files/transferhistory.h"
#include "tests/files/filetestsupport.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class HistoryTool : public ::testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& args) const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    environment.insert("XDG_STATE_HOME", QString::fromStdString(state.path().string()));
    environment.insert("TZ", "UTC");
    QStringList arguments;
    for (const std::string& arg : args) arguments << QString::fromStdString(arg);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUELLSO_TOOL), arguments);
    if (!process.waitForFinished(60000)) {
      process.kill();
      process.waitForFinished();
      ADD_FAILURE() << "quellso-tool did not end";
      return {};
    }
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
  }

  // Records a transfer of a panel with these serial numbers and job name.
  TransferEntry Record(std::string_view operation, const std::string& panel, const std::string& chiller,
                       const std::string& job) {
    TransferRecorder recorder(history, operation, transfer::kFromTool, {"COM2", "/dev/ttyUSB1"}, "english");
    SlotValues& values = operation == transfer::kGet ? recorder.Entry().values : recorder.Entry().readBack;
    for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) values.Set(slot, "v" + std::to_string(slot) + "    ");
    values.Set(2, job + "      ");
    values.Set(6, panel + "    ");
    values.Set(7, chiller);
    if (operation != transfer::kGet) {
      recorder.Entry().written = values;
      recorder.Entry().found = values;
      recorder.Entry().found.Set(2, "Earlier");
    }
    EXPECT_TRUE(recorder.Finish(transfer::kOk));
    return recorder.Entry();
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempFolder state;
  TransferHistory history{state.path() / "quellso"};
};

TEST_F(HistoryTool, ListsEntriesAsLinesOrAsStoredAndFilters) {
  const TransferEntry a = Record(transfer::kGet, "PS-1", "CH-1", "Harbour\tTower");
  const TransferEntry b = Record(transfer::kSend, "PS-2", "CH-2", "Mill Street");
  const TransferEntry c = Record(transfer::kSend, "PS-1", "CH-1", "Harbour Tower");

  ToolRun run = Run({"history"});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], a.id + "\t" + LocalTimeText(a.time) + "\tget\tok\tPS-1\tCH-1\tHarbour\\tTower\tCOM2");
  EXPECT_TRUE(lines[2].starts_with(c.id + "\t")) << lines[2];

  run = Run({"history", "--serial", " ps-1 ", "--last", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].starts_with(c.id + "\t")) << lines[0];

  run = Run({"history", "--json", "--serial=CH-2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, EncodeTransferLine(b) + "\n");
  EXPECT_EQ(run.out, Lines(ReadBytes(history.FilePath()))[1] + "\n");
}

TEST_F(HistoryTool, SaysWhatItSkippedAndWhenNothingIsRecorded) {
  ToolRun run = Run({"history"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("no transfer is recorded in " + history.FilePath().string()), std::string::npos) << run.err;

  Record(transfer::kGet, "PS-1", "CH-1", "Job");
  {
    std::ofstream out(history.FilePath(), std::ios::binary | std::ios::app);
    out << "{\"v\":1,\"id\":\"cut\n";
  }
  run = Run({"history"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Lines(run.out).size(), 1u);
  EXPECT_NE(run.err.find("skipped 1 damaged line of the history"), std::string::npos) << run.err;
}

TEST_F(HistoryTool, WritesTheReportOfAnEntryOrOfTheLast) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
  const TransferEntry first = Record(transfer::kSend, "PS-1", "CH-1", "Harbour Tower");
  const TransferEntry second = Record(transfer::kSend, "PS-2", "CH-2", "Mill Street");
  auto pdfText = [](const fs::path& pdf) {
    QProcess process;
    process.start("pdftotext", {QString::fromStdString(pdf.string()), "-"});
    process.waitForFinished(30000);
    return process.readAllStandardOutput().toStdString();
  };
  TempFolder out;

  ToolRun run = Run({"report", "--entry", first.id.substr(0, 9), "--out", (out / "first.pdf").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("wrote the report of entry " + first.id), std::string::npos) << run.err;
  std::string text = pdfText(out / "first.pdf");
  EXPECT_NE(text.find("Harbour Tower"), std::string::npos) << text;
  EXPECT_NE(text.find(AsLeftHash(first)), std::string::npos);

  run = Run({"report", "--last", "--out", (out / "last.pdf").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(pdfText(out / "last.pdf").find("Mill Street"), std::string::npos);

  run = Run({"report", "--last", "--serial", "CH-1", "--out=" + (out / "serial.pdf").string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(pdfText(out / "serial.pdf").find("Harbour Tower"), std::string::npos);
  (void)second;
}

TEST_F(HistoryTool, RefusesWhatItCannotDo) {
  Record(transfer::kGet, "PS-1", "CH-1", "Job");
  TempFolder out;
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Row rows[] = {
      {{"report", "--out", (out / "r.pdf").string()}, 2, "report takes --entry ID or --last"},
      {{"report", "--last", "--entry", "x", "--out", (out / "r.pdf").string()}, 2, "report takes --entry ID or --last"},
      {{"report", "--last"}, 2, "report needs --out FILE.pdf"},
      {{"report", "--entry", "zzzz", "--out", (out / "r.pdf").string()}, 1, "no entry zzzz in the history"},
      {{"report", "--last", "--serial", "NOPE", "--out", (out / "r.pdf").string()}, 1,
       "no transfer of a panel or chiller with serial number NOPE"},
      {{"report", "--last", "--out", (out / "missing" / "r.pdf").string()}, 1, "cannot write"},
      {{"history", "--last", "0"}, 2, "--last takes a number of entries, 1 or more, not '0'"},
      {{"history", "--last"}, 2, "--last needs a value"},
      {{"history", "--json=yes"}, 2, "--json takes no value"},
      {{"history", "--port", "COM1"}, 2, "history does not take --port"},
  };
  for (const Row& row : rows) {
    const ToolRun run = Run(row.args);
    EXPECT_EQ(run.status, row.status) << row.says << "\n" << run.err;
    EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
  }
  EXPECT_FALSE(fs::exists(out / "r.pdf"));
}

}  // namespace
