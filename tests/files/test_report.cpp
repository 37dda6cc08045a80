// The commissioning report: its text, as pdftotext (poppler-utils) reads it out of the PDF,
// holds the unit's identity, the 41 values as left with the as-found value of each that
// changed, the transfer's details and the hash of the values; the hash follows its printed
// definition.

#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include "files/commissioningreport.h"
#include "tests/files/filetestsupport.h"

namespace {

namespace fs = std::filesystem;

// A send whose read-back lacks slot 40 (so its as-left value is the one written), with a
// euro sign in slot 9.
TransferEntry HashedEntry() {
  TransferEntry entry;
  entry.id = "0k3m9x7ab2";
  entry.operation = "send";
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    entry.found.Set(slot, "Found " + std::to_string(slot));
    entry.readBack.Set(slot, "Value " + std::to_string(slot));
  }
  entry.readBack.Set(9, "\x80 12");
  entry.readBack.Clear(40);
  entry.written.Set(40, "W40  ");
  return entry;
}

TEST(ReportHash, FollowsItsDefinition) {
  const TransferEntry entry = HashedEntry();
  const std::string text = AsLeftHashText(entry);
  EXPECT_TRUE(text.starts_with("CommissionDate:7:Value 1\nJobName:7:Value 2\n")) << text;
  EXPECT_NE(text.find("\nTons:6:\xE2\x82\xAC 12\n"), std::string::npos);
  EXPECT_NE(text.find("\nEvGpm:5:W40  \n"), std::string::npos);
  // Computed apart from the program, from the definition alone.
  EXPECT_EQ(AsLeftHash(entry), "743cbd054997364b28ef877a93eed8f4d0cf7f6ca77e5dd6c26ac3ce3ae680cf");
  TransferEntry changed = entry;
  changed.readBack.Set(3, "Value 3 ");  // the padding counts
  EXPECT_NE(AsLeftHash(changed), AsLeftHash(entry));
}

std::string PdfText(const fs::path& pdf) {
  QProcess process;
  process.start("pdftotext", {"-layout", QString::fromStdString(pdf.string()), "-"});
  if (!process.waitForFinished(30000)) return {};
  return process.readAllStandardOutput().toStdString();
}

// A realistic send: padded values, a few changed, the euro sign.
TransferEntry CommissioningEntry() {
  TransferEntry entry;
  entry.id = "0k3m9x7ab2";
  entry.time = "2025-03-04T10:11:12.345Z";
  entry.operation = "send";
  entry.source = "window";
  entry.user = "tech";
  entry.host = "station4";
  entry.program = "1.0.8";
  entry.port = "COM1";
  entry.device = "/dev/ttyUSB0";
  entry.deviceById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K1ABC-if00-port0";
  entry.units = "english";
  entry.result = "ok";
  UnitDataRecord record{};
  record.SetCommissionDate("07 DEC 2024");
  record.SetJobName("Harbour Tower");
  record.SetJobLocation("Pier 9, Halifax");
  record.SetModelNumber("QX9C8A7B-1D");
  record.SetVarnOrderNumber("98123456-02");
  record.SetPanelSerialNumber("PS-1001");
  record.SetChillerSerialNumber("CH-2002");
  record.SetRefrigerant("R-134a");
  record.SetTons("\x80 450");
  for (int slot = 10; slot <= kLastSlot; ++slot) record.SetSlot(slot, "v" + std::to_string(slot * 7));
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    const std::string text = record.SlotText(slot);
    const std::string padded = slot == 1 ? text : text + std::string(16 - std::min<std::size_t>(text.size(), 16), ' ');
    entry.written.Set(slot, padded);
    entry.readBack.Set(slot, padded);
    entry.found.Set(slot, padded);
  }
  entry.found.Set(2, "Old Tower        ");
  entry.found.Set(9, "400              ");
  return entry;
}

TEST(Report, ItsTextHoldsTheIdentityTheValuesAndTheHash) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
  TempFolder folder;
  const TransferEntry entry = CommissioningEntry();
  const fs::path pdf = folder / "report.pdf";
  const FileStatus status = WriteCommissioningReport(entry, pdf, {"The window's values differ in: Tons"});
  ASSERT_TRUE(status) << status.reason;
  EXPECT_TRUE(ReadBytes(pdf).starts_with("%PDF-"));
  const std::string text = PdfText(pdf);
  ASSERT_FALSE(text.empty());
  // One page.
  EXPECT_EQ(std::count(text.begin(), text.end(), '\f'), 1) << text;
  for (const char* expected :
       {"Commissioning Report", "Harbour Tower", "Pier 9, Halifax", "QX9C8A7B-1D", "98123456-02", "PS-1001", "CH-2002",
        "07 DEC 2024", "Send Data", "Completed", "All 41 values written read back as written", "2025-03-04",
        "10:11:12.345Z", "tech on station4", "COM1 (/dev/ttyUSB0)", "usb-FTDI_FT232R_USB_UART_A10K1ABC", "quellso 1.0.8",
        "0k3m9x7ab2", "The window's values differ in: Tons", "Old Tower", "\u20ac 450", "SHA-256"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
  for (int slot = 10; slot <= kLastSlot; ++slot) {
    const std::string row = std::string(SlotDescription(slot)) + " ";
    const std::size_t at = text.find(row);
    ASSERT_NE(at, std::string::npos) << row;
    const std::string value = "v" + std::to_string(slot * 7);
    EXPECT_NE(text.substr(at, text.find('\n', at) - at).find(value), std::string::npos) << value;
  }
  // The as-found value stands beside the changed field only.
  const std::size_t tons = text.find("Tons ");
  EXPECT_NE(text.substr(tons, text.find('\n', tons) - tons).find("400"), std::string::npos);
  EXPECT_EQ(text.find("Found"), std::string::npos);
  EXPECT_NE(text.find(AsLeftHash(entry)), std::string::npos) << text;
}

// A long value goes on over more lines, and a report of a panel's every value at its
// longest still ends with the hash.
TEST(Report, LongValuesWrapAndTheHashStillFollows) {
  if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "pdftotext (poppler-utils) is missing";
  TempFolder folder;
  TransferEntry entry = CommissioningEntry();
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) entry.readBack.Set(slot, std::string(255, 'A' + slot % 26));
  entry.found.Set(4, std::string(255, '!'));
  const fs::path pdf = folder / "long.pdf";
  ASSERT_TRUE(WriteCommissioningReport(entry, pdf));
  const std::string text = PdfText(pdf);
  EXPECT_GT(std::count(text.begin(), text.end(), '\f'), 1);
  EXPECT_NE(text.find(AsLeftHash(entry)), std::string::npos);
  EXPECT_NE(text.find("Evaporator Tube Number"), std::string::npos);
}

TEST(Report, AFileThatCannotBeWrittenIsReported) {
  TempFolder folder;
  const FileStatus status = WriteCommissioningReport(CommissioningEntry(), folder / "no-such-folder" / "r.pdf");
  EXPECT_FALSE(status);
  EXPECT_FALSE(status.reason.empty());
}

}  // namespace
