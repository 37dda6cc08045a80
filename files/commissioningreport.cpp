#include "files/commissioningreport.h"

#include <hpdf.h>

#include <QCryptographicHash>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "model/cp1252.h"

const char* const kAsLeftHashDefinition =
    "SHA-256 of the 41 values as left in the panel: for each slot 1 to 41 in order, the member's name (as in the "
    "history), a colon, the length in bytes of the value in UTF-8 (decimal), a colon, the value in UTF-8 exactly as "
    "recorded, the panel's padding included (empty when the slot has none), and a line feed. The as-left value of a "
    "slot is the first the history's entry holds of \"read_back\", \"written\", \"values\" and \"found\".";

namespace {

const char* MemberName(int slot) {
  const std::optional<UnitMember> member = SlotMember(slot);
  return member ? MemberInfo(*member).name : "";
}

// A record text for a standard font: code page 1252 is the fonts' WinAnsi encoding; control
// characters and the five bytes the code page leaves undefined have no glyph and print as a
// middle dot.
std::string Printable(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) c = '\xB7';
  }
  return out;
}

std::string ResultText(const TransferEntry& entry) {
  const std::string_view result = entry.result;
  const std::size_t missing = entry.missing.size();
  if (result == transfer::kOk) return "Completed";
  if (result == transfer::kPartial)
    return "Incomplete: " + std::to_string(missing) + " of the 41 slots did not answer";
  if (result == transfer::kRejected) return "The panel refused a write";
  if (result == transfer::kTimeout) return "No reply from the panel";
  if (result == transfer::kDiffers)
    return entry.operation == transfer::kVerify ? "The panel differs from the values checked"
                                                : "Values read back differ from what was written";
  if (result == transfer::kInterrupted) return "Interrupted before it ended";
  if (result == transfer::kPortFailed) return "The port could not be opened";
  return std::string(result);
}

std::string SlotLabels(const std::vector<int>& numbers) {
  std::string list;
  for (const int slot : numbers) list += (list.empty() ? "" : ", ") + std::string(SlotDescription(slot));
  return list;
}

std::string ReadBackText(const TransferEntry& entry) {
  if (entry.operation != transfer::kSend && entry.operation != transfer::kRestore) return "Nothing was written";
  const int written = entry.written.Count();
  const int read = entry.readBack.Count();
  if (written == 0) return "Nothing was written";
  if (read == 0) return "Not read back";
  if (!entry.differs.empty())
    return std::to_string(entry.differs.size()) + " of " + std::to_string(written) +
           " values read back differently: " + SlotLabels(entry.differs);
  std::vector<int> unanswered;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot)
    if (entry.written[slot] && !entry.readBack[slot]) unanswered.push_back(slot);
  if (!unanswered.empty())
    return std::to_string(written - static_cast<int>(unanswered.size())) + " of " + std::to_string(written) +
           " values read back as written; no reply for " + SlotLabels(unanswered);
  return "All " + std::to_string(written) + " values written read back as written";
}

// ---- the page ----

constexpr HPDF_REAL kLeft = 42;
constexpr HPDF_REAL kRight = 553;
constexpr HPDF_REAL kTop = 800;
constexpr HPDF_REAL kBottom = 40;

struct Failure {
  HPDF_STATUS error = 0;
  HPDF_STATUS detail = 0;
};

void OnError(HPDF_STATUS error, HPDF_STATUS detail, void* data) {
  auto* failure = static_cast<Failure*>(data);
  if (failure->error == 0) *failure = {error, detail};
}

class Writer {
 public:
  explicit Writer(HPDF_Doc pdf) : pdf_(pdf) {
    regular_ = HPDF_GetFont(pdf, "Helvetica", "WinAnsiEncoding");
    bold_ = HPDF_GetFont(pdf, "Helvetica-Bold", "WinAnsiEncoding");
    oblique_ = HPDF_GetFont(pdf, "Helvetica-Oblique", "WinAnsiEncoding");
    mono_ = HPDF_GetFont(pdf, "Courier", "WinAnsiEncoding");
    NewPage();
  }

  HPDF_Font regular_, bold_, oblique_, mono_;
  HPDF_REAL y = kTop;

  void NewPage() {
    page_ = HPDF_AddPage(pdf_);
    HPDF_Page_SetSize(page_, HPDF_PAGE_SIZE_A4, HPDF_PAGE_PORTRAIT);
    y = kTop;
  }
  // Starts a new page when fewer than `height` points are left above the bottom margin.
  void Room(HPDF_REAL height) {
    if (y - height < kBottom) NewPage();
  }

  // `text` cut into lines that fit `width` in `font` at `size`: after a blank, a slash, a
  // hyphen or an underscore where one is near the end of the line.
  std::vector<std::string> Lines(HPDF_Font font, HPDF_REAL size, std::string_view text, HPDF_REAL width) const {
    std::vector<std::string> lines;
    while (!text.empty()) {
      const std::string rest(text);
      HPDF_UINT fits = HPDF_Font_MeasureText(font, reinterpret_cast<const HPDF_BYTE*>(rest.data()),
                                             static_cast<HPDF_UINT>(rest.size()), width, size, 0, 0, HPDF_FALSE,
                                             nullptr);
      if (fits == 0) fits = 1;
      if (fits < rest.size()) {
        const std::size_t after = rest.find_last_of(" /-_", fits - 1);
        if (after != std::string::npos && after + 1 > fits / 2) fits = static_cast<HPDF_UINT>(after + 1);
      }
      lines.push_back(rest.substr(0, fits));
      text.remove_prefix(fits);
    }
    if (lines.empty()) lines.emplace_back();
    return lines;
  }

  void Text(HPDF_Font font, HPDF_REAL size, HPDF_REAL x, HPDF_REAL at, std::string_view text) {
    const std::string s(text);
    HPDF_Page_BeginText(page_);
    HPDF_Page_SetFontAndSize(page_, font, size);
    HPDF_Page_TextOut(page_, x, at, s.c_str());
    HPDF_Page_EndText(page_);
  }

  // A paragraph from the left margin to the right, moving down.
  void Paragraph(HPDF_Font font, HPDF_REAL size, std::string_view text, HPDF_REAL leading) {
    for (const std::string& line : Lines(font, size, text, kRight - kLeft)) {
      Room(leading);
      y -= leading;
      Text(font, size, kLeft, y, line);
    }
  }

  // "Label:  value" rows in a column from `x`, `width` wide; returns the lowest line's y.
  HPDF_REAL Pairs(HPDF_REAL x, HPDF_REAL width, HPDF_REAL top, const std::vector<std::pair<std::string, std::string>>& pairs) {
    constexpr HPDF_REAL kSize = 9, kLeading = 12, kLabelWidth = 76;
    HPDF_REAL at = top;
    for (const auto& [label, value] : pairs) {
      at -= kLeading;
      Text(bold_, kSize, x, at, label);
      bool first = true;
      for (const std::string& line : Lines(regular_, kSize, value, width - kLabelWidth)) {
        if (!first) at -= kLeading;
        first = false;
        Text(regular_, kSize, x + kLabelWidth, at, line);
      }
    }
    return at;
  }

  void Rule(HPDF_REAL at, HPDF_REAL width = 0.5f) {
    HPDF_Page_SetLineWidth(page_, width);
    HPDF_Page_MoveTo(page_, kLeft, at);
    HPDF_Page_LineTo(page_, kRight, at);
    HPDF_Page_Stroke(page_);
  }

  void Shade(HPDF_REAL bottom, HPDF_REAL height) {
    HPDF_Page_SetRGBFill(page_, 0.93f, 0.93f, 0.93f);
    HPDF_Page_Rectangle(page_, kLeft, bottom, kRight - kLeft, height);
    HPDF_Page_Fill(page_);
    HPDF_Page_SetRGBFill(page_, 0, 0, 0);
  }

 private:
  HPDF_Doc pdf_;
  HPDF_Page page_ = nullptr;
};

// The table of the 41 values.
void ValueTable(Writer& w, const TransferEntry& entry, const SlotValues& left) {
  constexpr HPDF_REAL kSize = 8, kLeading = 10.2f;
  constexpr HPDF_REAL kSlotX = kLeft + 2, kFieldX = kLeft + 20, kLeftX = kLeft + 176, kFoundX = kLeft + 345;
  constexpr HPDF_REAL kValueWidth = 162;
  auto header = [&] {
    w.Room(3 * kLeading);
    w.y -= kLeading + 2;
    w.Text(w.bold_, kSize, kSlotX, w.y, "#");
    w.Text(w.bold_, kSize, kFieldX, w.y, "Field");
    w.Text(w.bold_, kSize, kLeftX, w.y, "As left in the panel");
    w.Text(w.bold_, kSize, kFoundX, w.y, "As found, where it changed");
    w.Rule(w.y - 3, 0.8f);
    w.y -= 3;
  };
  header();
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    const std::optional<std::string_view> value = left[slot];
    const std::optional<std::string_view> found = entry.found[slot];
    const bool changed = value && found && WithoutPadding(*found) != WithoutPadding(*value);
    const std::vector<std::string> leftLines =
        value ? w.Lines(w.mono_, kSize, Printable(WithoutPadding(*value)), kValueWidth) : std::vector<std::string>{""};
    const std::vector<std::string> foundLines =
        changed ? w.Lines(w.mono_, kSize, Printable(WithoutPadding(*found)), kValueWidth) : std::vector<std::string>{};
    const std::size_t rows = std::max(leftLines.size(), foundLines.size());
    const HPDF_REAL height = kLeading * static_cast<HPDF_REAL>(rows);
    if (w.y - height - 2 < kBottom) {
      w.NewPage();
      header();
    }
    if (slot % 2 == 0) w.Shade(w.y - height - 2.5f, height);
    const HPDF_REAL first = w.y - kLeading + 0.5f;
    w.Text(w.regular_, kSize, kSlotX, first, std::to_string(slot));
    w.Text(w.regular_, kSize, kFieldX, first, SlotDescription(slot));
    if (!value) w.Text(w.oblique_, kSize, kLeftX, first, "no value");
    for (std::size_t i = 0; i < leftLines.size() && value; ++i)
      w.Text(w.mono_, kSize, kLeftX, first - kLeading * static_cast<HPDF_REAL>(i), leftLines[i]);
    for (std::size_t i = 0; i < foundLines.size(); ++i)
      w.Text(w.mono_, kSize, kFoundX, first - kLeading * static_cast<HPDF_REAL>(i), foundLines[i]);
    w.y -= height;
  }
  w.Rule(w.y - 3, 0.8f);
  w.y -= 3;
}

}  // namespace

std::string AsLeftHashText(const TransferEntry& entry) {
  const SlotValues left = entry.AsLeft();
  std::string text;
  for (int slot = kFirstSlot; slot <= kLastSlot; ++slot) {
    const std::string value = Cp1252ToUtf8(left[slot].value_or(""));
    text += MemberName(slot);
    text += ':' + std::to_string(value.size()) + ':' + value + '\n';
  }
  return text;
}

std::string AsLeftHash(const TransferEntry& entry) {
  const std::string text = AsLeftHashText(entry);
  return QCryptographicHash::hash(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
                                  QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

std::string CommissioningReportPdf(const TransferEntry& entry, const ReportOptions& options, std::string& reason) {
  Failure failure;
  const std::unique_ptr<std::remove_pointer_t<HPDF_Doc>, void (*)(HPDF_Doc)> pdf(HPDF_New(OnError, &failure),
                                                                                 HPDF_Free);
  if (!pdf) {
    reason = "the PDF library could not start (out of memory)";
    return {};
  }
  HPDF_SetCompressionMode(pdf.get(), HPDF_COMP_ALL);
  const SlotValues left = entry.AsLeft();
  auto value = [&](int slot) { return Printable(WithoutPadding(left[slot].value_or(""))); };
  const std::string title = "Commissioning Report";
  HPDF_SetInfoAttr(pdf.get(), HPDF_INFO_TITLE, title.c_str());
  HPDF_SetInfoAttr(pdf.get(), HPDF_INFO_CREATOR, ("quellso " + entry.program).c_str());

  Writer w(pdf.get());
  w.y -= 16;
  w.Text(w.bold_, 16, kLeft, w.y, title);
  const std::string job = value(2);
  if (!job.empty()) {
    HPDF_REAL width = HPDF_Font_TextWidth(w.bold_, reinterpret_cast<const HPDF_BYTE*>(job.data()),
                                          static_cast<HPDF_UINT>(job.size()))
                          .width *
                      12 / 1000;
    w.Text(w.bold_, 12, std::max(kLeft + 200, kRight - width), w.y, job);
  }
  w.y -= 6;
  w.Rule(w.y, 1);

  // The unit on the left, the transfer on the right.
  const HPDF_REAL top = w.y;
  const HPDF_REAL unitBottom = w.Pairs(kLeft, 236, top,
                                       {{"Job Name", value(2)},
                                        {"Job Location", value(3)},
                                        {"Model Number", value(4)},
                                        {"Order Number", value(5)},
                                        {"Panel Serial", value(6)},
                                        {"Chiller Serial", value(7)},
                                        {"Commissioned", value(1)}});
  std::string port = entry.port;
  if (!entry.device.empty() && entry.device != entry.port) port += " (" + entry.device + ")";
  if (!entry.deviceById.empty()) port += ", " + entry.deviceById;
  std::string operation = OperationName(entry.operation);
  if (!entry.restoredFrom.empty()) operation += " of entry " + entry.restoredFrom;
  const HPDF_REAL transferBottom =
      w.Pairs(kLeft + 240, kRight - kLeft - 240, top,
              {{"Transfer", operation + ", " + (entry.units.empty() ? std::string("?") : entry.units) + " units"},
               {"Result", ResultText(entry)},
               {"Read-back", ReadBackText(entry)},
               {"Time", LocalTimeText(entry.time)},
               {"UTC", entry.time},
               {"User", Printable(entry.user) + " on " + Printable(entry.host)},
               {"Program",
                "quellso " + entry.program + " (" + (entry.source == transfer::kFromTool ? "quellso-tool" : "window") + ")"},
               {"History entry", entry.id}});
  // The port on a line of its own: a /dev/serial/by-id/ name is long.
  w.y = w.Pairs(kLeft, kRight - kLeft, std::min(unitBottom, transferBottom), {{"Port", Printable(port)}}) - 4;
  if (!options.note.empty()) w.Paragraph(w.oblique_, 9, Printable(options.note), 12);
  w.y -= 4;

  ValueTable(w, entry, left);

  w.Room(60);
  w.y -= 14;
  w.Text(w.bold_, 9, kLeft, w.y, "SHA-256 of the values as left:");
  w.Text(w.mono_, 8.5f, kLeft + 140, w.y, AsLeftHash(entry));
  w.y -= 2;
  w.Paragraph(w.regular_, 6.5f, kAsLeftHashDefinition, 8);

  if (failure.error == 0 && HPDF_SaveToStream(pdf.get()) == HPDF_OK && failure.error == 0) {
    std::string bytes(HPDF_GetStreamSize(pdf.get()), '\0');
    auto size = static_cast<HPDF_UINT32>(bytes.size());
    HPDF_ReadFromStream(pdf.get(), reinterpret_cast<HPDF_BYTE*>(bytes.data()), &size);
    // Reading the whole stream ends at its end, which the library reports as an error.
    if (size == bytes.size() && !bytes.empty() && (failure.error == 0 || failure.error == HPDF_STREAM_EOF))
      return bytes;
  }
  char text[96];
  std::snprintf(text, sizeof text, "the PDF library failed (error 0x%04X, detail %u)",
                static_cast<unsigned>(failure.error), static_cast<unsigned>(failure.detail));
  reason = text;
  return {};
}

FileStatus WriteCommissioningReport(const TransferEntry& entry, const std::filesystem::path& path,
                                    const ReportOptions& options) {
  std::string reason;
  std::string pdf = CommissioningReportPdf(entry, options, reason);
  if (pdf.empty()) return FileStatus::Failure(reason);
  return SaveProfile(path, ProfileDocument(std::move(pdf)));
}
