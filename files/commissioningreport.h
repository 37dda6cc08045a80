#pragma once

// The commissioning report: one transfer of the history (files/transferhistory.h) as a PDF
// for the job file.  The unit's identity (job name and location, model number, order number,
// panel and chiller serial numbers, commissioning date), the 41 values as left in the panel
// with the as-found value beside each that changed, the read-back result, the time, user,
// computer, port and program version, and the SHA-256 of the 41 as-left values, so that a
// printed report can be matched to the history.  One page for a typical unit (a value too
// long for its column goes on over more lines, and a page that is full goes on on the next).
//
// Written with libharu: the standard PDF fonts (Helvetica, Courier) with their WinAnsi
// encoding, which is Windows code page 1252, the code page of the record's texts, so every
// character of a value is printed as itself and the text can be searched and copied.  The
// window and quellso-tool share this writer; it needs no display.

#include <filesystem>
#include <string>

#include "files/profile.h"
#include "files/transferhistory.h"

// How the hash is computed, as the report prints it.
extern const char* const kAsLeftHashDefinition;

// The text the hash is computed over: for each slot 1 to 41 in order, the member's name, a
// colon, the length in bytes of its as-left value in UTF-8 (decimal), a colon, that value in
// UTF-8 exactly as recorded (padding included; empty when the slot has none), a line feed.
std::string AsLeftHashText(const TransferEntry& entry);
// The SHA-256 of AsLeftHashText, as 64 lower-case hexadecimal digits.
std::string AsLeftHash(const TransferEntry& entry);

struct ReportOptions {
  // A line printed under the transfer's details (code page 1252), such as where the window's
  // values differ from the report's; empty for none.
  std::string note;
};

// The report's PDF; an empty text when libharu fails (`reason` then says why).
std::string CommissioningReportPdf(const TransferEntry& entry, const ReportOptions& options, std::string& reason);

// Writes the report to `path` as a data file is saved: a complete new file that replaces the
// old one, or nothing.
FileStatus WriteCommissioningReport(const TransferEntry& entry, const std::filesystem::path& path,
                                    const ReportOptions& options = {});
