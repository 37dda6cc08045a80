#include "files/upzarchive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_set>

#include "files/descriptor.h"
#include "files/implode.h"

namespace {

constexpr std::size_t kVersionOffset = 4;
constexpr std::size_t kBlockOffset = 6;
constexpr std::size_t kBlockSize = 200;
constexpr std::size_t kCountOffset = 206;
constexpr std::size_t kOffsetField = 13;
constexpr std::size_t kSizeField = 17;

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads up to `size` bytes at `offset`; returns the count (short only at the end of the
// file) or -1 on a read error.
long ReadAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, static_cast<char*>(buffer) + done, size - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long>(done);
}

bool WriteAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// An open archive whose header has been checked.
class ArchiveFile {
 public:
  // Opens `path` and checks its header against `expected`; kNoError when it is an archive.
  ArchiveResult Open(const std::filesystem::path& path, const UpzHeader& expected) {
    // O_NONBLOCK keeps a named pipe from blocking the open; only plain files are archives.
    fd_ = Descriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd_.get() < 0 || ::fstat(fd_.get(), &st) != 0 || !S_ISREG(st.st_mode))
      return ArchiveResult::kCantOpenSource;
    if (ReadAt(fd_.get(), header_.bytes.data(), kUpzHeaderSize, 0) !=
        static_cast<long>(kUpzHeaderSize))
      return ArchiveResult::kReadError;
    if (header_.Signature() != expected.Signature()) return ArchiveResult::kUnknownFileType;
    if (header_.Version() != expected.Version()) return ArchiveResult::kFormatChanged;
    return ArchiveResult::kNoError;
  }

  const UpzHeader& header() const { return header_; }
  int fd() const { return fd_.get(); }

  // Reads directory entry `index`; false when it is cut short or cannot be read.
  bool ReadEntry(std::int32_t index, UpzEntry& entry) const {
    std::uint8_t raw[kUpzEntrySize];
    const std::uint64_t offset =
        kUpzHeaderSize + static_cast<std::uint64_t>(kUpzEntrySize) * static_cast<std::uint64_t>(index);
    if (ReadAt(fd_.get(), raw, sizeof raw, offset) != static_cast<long>(sizeof raw)) return false;
    const char* name = reinterpret_cast<const char*>(raw);
    entry.name.assign(name, ::strnlen(name, kUpzNameSize));
    entry.dataOffset = Get32(raw + kOffsetField);
    entry.storedSize = Get32(raw + kSizeField);
    return true;
  }

 private:
  Descriptor fd_;
  UpzHeader header_;
};

// What the decoder's callbacks work on while one member is extracted.
struct Member {
  int archive;              // archive descriptor
  std::uint64_t offset;     // where the next read starts
  std::uint32_t remaining;  // bytes of the stored size not yet delivered
  bool readFailed;
  int output;               // output file descriptor
  bool writeFailed;
  std::uint64_t* expanded;  // decoded bytes of every member so far
  bool tooLarge;            // the next block would have passed kMaxArchiveExpandedBytes
};

// Delivers the member's bytes and never more than its stored size, however far the file
// goes on.
std::size_t ReadMember(unsigned char* buffer, std::size_t size, void* param) {
  Member& m = *static_cast<Member*>(param);
  if (m.tooLarge) return 0;  // ends the decoding
  const std::size_t want = size < m.remaining ? size : m.remaining;
  if (want == 0) return 0;
  const long got = ReadAt(m.archive, buffer, want, m.offset);
  if (got < 0) {
    m.readFailed = true;
    return 0;
  }
  m.offset += static_cast<std::uint64_t>(got);
  m.remaining -= static_cast<std::uint32_t>(got);
  return static_cast<std::size_t>(got);
}

// Writes decoded bytes, counting them against the limit: a block that would pass it is not
// written, and the decoding is brought to an end.
void WriteMember(const unsigned char* buffer, std::size_t size, void* param) {
  Member& m = *static_cast<Member*>(param);
  if (m.tooLarge || size > kMaxArchiveExpandedBytes - *m.expanded) {
    m.tooLarge = true;
    return;
  }
  *m.expanded += size;
  if (!m.writeFailed && !WriteAll(m.output, buffer, size)) m.writeFailed = true;
}

// The output files of one extraction: those it created, which are its own to truncate again
// (a later member of the same name) and to take back.
struct Outputs {
  ExistingFiles existing;
  std::unordered_set<std::string> created;
};

// Opens a member's output file: creates it, or truncates a plain file of that name when the
// extraction made it or may replace what was there.  Never follows a link and never writes
// into anything but a plain file (O_NONBLOCK: a named pipe without a reader fails at once
// instead of blocking).
Descriptor CreateOutput(const std::string& path, Outputs& outputs) {
  constexpr int kFlags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Descriptor fd(::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0666));
    if (fd.get() >= 0) {
      outputs.created.insert(path);
      return fd;
    }
    if (errno != EEXIST) return Descriptor();
    if (outputs.existing == ExistingFiles::kKeep && !outputs.created.contains(path)) return Descriptor();
    fd = Descriptor(::open(path.c_str(), kFlags | O_TRUNC));
    struct stat st {};
    if (fd.get() >= 0) return ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) ? std::move(fd) : Descriptor();
    if (errno != ENOENT) return Descriptor();
    // Removed in between: create it after all.
  }
  return Descriptor();
}

// Extracts one member into `path`; `expanded` counts the decoded bytes of every member.
ArchiveResult ExtractMember(const ArchiveFile& archive, const UpzEntry& entry,
                            const std::string& path, unsigned char* workArea,
                            std::uint64_t& expanded, Outputs& outputs) {
  Descriptor output = CreateOutput(path, outputs);
  if (output.get() < 0) return ArchiveResult::kCantOpenDestination;
  if (entry.storedSize == 0) {
    return output.Close() ? ArchiveResult::kNoError : ArchiveResult::kWriteError;
  }
  Member member{archive.fd(), entry.dataOffset, entry.storedSize, false, output.get(), false, &expanded, false};
  const ExpandResult result = ExpandImploded(ReadMember, WriteMember, workArea, &member);
  if (!output.Close()) member.writeFailed = true;
  if (member.tooLarge) return ArchiveResult::kTooLarge;
  if (member.writeFailed) return ArchiveResult::kWriteError;
  if (result != ExpandResult::kOk)
    return member.readFailed ? ArchiveResult::kReadError : ArchiveResult::kCorrupted;
  return ArchiveResult::kNoError;
}

}  // namespace

UpzHeader UpzHeader::Expected() {
  UpzHeader header;
  header.bytes[0] = 'u';
  header.bytes[1] = 'p';
  header.bytes[2] = 'l';
  header.bytes[kVersionOffset] = 2;
  return header;
}

std::string_view UpzHeader::Signature() const {
  const char* text = reinterpret_cast<const char*>(bytes.data());
  return std::string_view(text, ::strnlen(text, bytes.size()));
}

std::uint16_t UpzHeader::Version() const {
  return static_cast<std::uint16_t>(bytes[kVersionOffset] | bytes[kVersionOffset + 1] << 8);
}

std::int32_t UpzHeader::EntryCount() const {
  return static_cast<std::int32_t>(Get32(bytes.data() + kCountOffset));
}

std::string MemberFileName(std::string_view storedName) {
  const std::size_t cut = storedName.find_last_of("/\\");
  std::string_view name = cut == std::string_view::npos ? storedName : storedName.substr(cut + 1);
  if (name.empty() || name == "." || name == "..") return {};
  return std::string(name);
}

ArchiveResult ExtractArchive(UpzHeader& expected, const std::filesystem::path& archive,
                             std::string& destinationFolder,
                             std::optional<std::string_view> memberName,
                             ArchiveProgress* progress, ExistingFiles existing) {
  std::unique_ptr<unsigned char[]> workArea(new (std::nothrow)
                                                unsigned char[kImplodeWorkAreaSize]);
  if (!workArea) return ArchiveResult::kNoMemory;
  if (!destinationFolder.empty() && destinationFolder.back() != '/') destinationFolder += '/';

  ArchiveFile file;
  if (ArchiveResult opened = file.Open(archive, expected); opened != ArchiveResult::kNoError)
    return opened;
  std::memcpy(expected.bytes.data() + kBlockOffset, file.header().bytes.data() + kBlockOffset,
              kBlockSize);

  const std::int32_t count = file.header().EntryCount();
  if (progress) progress->ArchiveNotification(kArchiveBeginNotification, count);
  if (count > kMaxArchiveMembers) return ArchiveResult::kTooManyMembers;
  std::uint64_t expanded = 0;
  Outputs outputs{existing, {}};
  UpzEntry entry;
  for (std::int32_t i = 0; i < count; ++i) {
    if (progress) progress->ArchiveNotification(kArchiveEntryNotification, i);
    if (!file.ReadEntry(i, entry)) return ArchiveResult::kReadError;
    if (memberName && !SameIgnoringCase(*memberName, entry.name)) continue;
    const std::string fileName = MemberFileName(entry.name);
    if (fileName.empty()) continue;
    const ArchiveResult extracted =
        ExtractMember(file, entry, destinationFolder + fileName, workArea.get(), expanded, outputs);
    if (extracted == ArchiveResult::kTooLarge) {
      // Only what this extraction created goes: a file that was there before stays.
      for (const std::string& path : outputs.created) ::unlink(path.c_str());
      return extracted;
    }
    if (extracted != ArchiveResult::kNoError) return extracted;
  }
  return ArchiveResult::kNoError;
}

ArchiveResult ReadArchiveDirectory(const std::filesystem::path& archive,
                                   std::vector<UpzEntry>& entries, const UpzHeader& expected) {
  entries.clear();
  ArchiveFile file;
  if (ArchiveResult opened = file.Open(archive, expected); opened != ArchiveResult::kNoError)
    return opened;
  const std::int32_t count = file.header().EntryCount();
  if (count > kMaxArchiveMembers) return ArchiveResult::kTooManyMembers;
  UpzEntry entry;
  for (std::int32_t i = 0; i < count; ++i) {
    if (!file.ReadEntry(i, entry)) return ArchiveResult::kReadError;
    entries.push_back(entry);
  }
  return ArchiveResult::kNoError;
}

static_assert(kMaxArchiveExpandedBytes == 256u * 1024u * 1024u && kMaxArchiveMembers == 10000,
              "the texts of kTooLarge and kTooManyMembers name the limits");

std::string_view ArchiveErrorText(int code) {
  switch (code) {
    case 0: return "Can't open destination file:";
    case 1: return "Can't open source file";
    case 2: return "Error writing to file";
    case 3: return "Error reading file";
    case 4: return "No Error";
    case 5: return "Not enough memory";
    case 6: return "Unknown file type";
    case 7: return "Invalid context";
    case 8: return "Archive file is corrupted";
    case 9: return "Archive format has changed since this was created";
    case 10: return "Archive expands to more than 256 MiB";
    case 11: return "Archive holds more than 10000 members";
    default: return "Unknown error code";
  }
}
