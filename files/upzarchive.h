#pragma once

// Order archives (.upz): several members, each compressed in the implode format, behind a
// 210-byte header and a directory of 21-byte entries.  All numbers are little-endian.
//
//   header   0   4  signature: "upl" and a zero byte
//            4   2  format version, unsigned; 2
//            6 200  header block, not interpreted here
//          206   4  entry count, signed
//   entry i at 210 + 21 * i:
//            0  13  member name, ended by a zero byte
//           13   4  data offset from the start of the archive, unsigned
//           17   4  stored size (compressed bytes), unsigned
//
// Archives arrive from outside and are untrusted: whatever they hold, extraction writes
// only plain files directly inside the destination folder.

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kUpzHeaderSize = 210;
inline constexpr std::size_t kUpzEntrySize = 21;
inline constexpr std::size_t kUpzNameSize = 13;

// A header as it lies in the file.  The caller of ExtractArchive passes an expected header
// (Expected()), against which the archive's signature and version are checked, and which
// receives the archive's header block.
struct UpzHeader {
  std::array<std::uint8_t, kUpzHeaderSize> bytes{};

  // All zero but the signature "upl" and version 2.
  static UpzHeader Expected();

  std::string_view Signature() const;  // the text up to the first zero byte
  std::uint16_t Version() const;
  std::int32_t EntryCount() const;
};

struct UpzEntry {
  std::string name;          // as stored, up to the first zero byte (at most 13 characters)
  std::uint32_t dataOffset;  // from the start of the archive
  std::uint32_t storedSize;  // compressed bytes
};

// Result codes of the archive functions.  The numbers are fixed: ArchiveErrorText maps
// them to their texts.
enum class ArchiveResult : int {
  kCantOpenDestination = 0,  // a member's output file cannot be created
  kCantOpenSource = 1,       // the archive cannot be opened (or is not a plain file)
  kWriteError = 2,           // writing a member's output file failed (disk full, ...)
  kReadError = 3,            // header or directory entry cut short, or a read failed
  kNoError = 4,              // success
  kNoMemory = 5,             // the decoder's work area cannot be allocated
  kUnknownFileType = 6,      // the signature differs (exact, case-sensitive)
  kInvalidContext = 7,       // never returned
  kCorrupted = 8,            // a member does not decode
  kFormatChanged = 9,        // the version differs
  kTooLarge = 10,            // the members expand beyond kMaxArchiveExpandedBytes in all
  kTooManyMembers = 11,      // the entry count is above kMaxArchiveMembers
};

// Order archives hold a few members of a few hundred KB.  An archive beyond these limits is
// refused: a crafted one could otherwise fill the disk (a few MB expand to gigabytes) or
// the folder (a hundred thousand members).
inline constexpr std::int32_t kMaxArchiveMembers = 10000;
inline constexpr std::uint64_t kMaxArchiveExpandedBytes = 256u * 1024u * 1024u;

// Notifications that ExtractArchive sends to a progress target: the entry count once
// before the first entry, and each entry's index (from 0) before that entry is read.
inline constexpr unsigned kArchiveBeginNotification = 10287;
inline constexpr unsigned kArchiveEntryNotification = 10288;

class ArchiveProgress {
 public:
  virtual void ArchiveNotification(unsigned notification, std::int32_t value) = 0;

 protected:
  ~ArchiveProgress() = default;
};

// What an extraction does with a file that is already in the destination folder under a
// member's name: replace it (kReplace), or leave it and fail (kKeep).  A file that the
// extraction itself created (an earlier member of the same name) is always replaced.
enum class ExistingFiles { kReplace, kKeep };

// Extracts the members of `archive` into `destinationFolder`.
//
// `expected` is checked against the archive's header: the signature as a zero-terminated
// text (kUnknownFileType), then the version (kFormatChanged); on success it receives the
// archive's header block (bytes 6 to 205).  `destinationFolder` gets a trailing '/' when
// it is not empty and lacks one; an empty folder means the current folder.  With a
// `memberName`, only the entries whose stored name equals it without regard to letter case
// are extracted.  `progress` may be null.
//
// Entries are processed in order, from 0 while below the entry count (a count of 0 or less
// processes none).  Each member is written to the destination folder under
// MemberFileName() of its name; a member whose file name is empty is skipped.  The output
// file is created, or a plain file of that name truncated (with kKeep only one that this
// call created; any other gives kCantOpenDestination); an existing link, folder or other
// non-plain file of that name is never written through (kCantOpenDestination).  A stored size of 0 gives an empty
// file; otherwise the decoder sees at most the stored size in bytes from the data offset.
// Later entries of the same name replace earlier ones.
//
// An entry count above kMaxArchiveMembers is refused before any member is written
// (kTooManyMembers).  The decoded bytes of all members are counted as they are decoded:
// the block that would take them beyond kMaxArchiveExpandedBytes is not written, decoding
// stops, and every file this call has created is removed again (kTooLarge); a file that was
// there before and was replaced stays.
//
// Returns kNoError when every entry was processed; otherwise the code of the first
// failure, after which nothing more is extracted.  But for the two limits, what was written
// before a failure stays, including the partial output of a member that did not decode.
// The archive and every output file are closed and the work area freed on every return.
ArchiveResult ExtractArchive(UpzHeader& expected, const std::filesystem::path& archive,
                             std::string& destinationFolder,
                             std::optional<std::string_view> memberName = std::nullopt,
                             ArchiveProgress* progress = nullptr,
                             ExistingFiles existing = ExistingFiles::kReplace);

// Reads the directory of `archive` into `entries` (cleared first), checking the header as
// ExtractArchive does.  Returns kNoError when every entry was read; kReadError when the
// header or the directory is cut short, with the entries before the cut; or
// kCantOpenSource, kUnknownFileType, kFormatChanged or kTooManyMembers with no entries.
ArchiveResult ReadArchiveDirectory(const std::filesystem::path& archive,
                                   std::vector<UpzEntry>& entries,
                                   const UpzHeader& expected = UpzHeader::Expected());

// The fixed text of a result code; "Unknown error code" for a number outside the table.
std::string_view ArchiveErrorText(int code);
inline std::string_view ArchiveErrorText(ArchiveResult result) {
  return ArchiveErrorText(static_cast<int>(result));
}

// The file name under which a member is extracted: the part of its stored name after the
// last '/' or '\'.  Empty when that part is empty, "." or "..": such a member is skipped.
std::string MemberFileName(std::string_view storedName);
