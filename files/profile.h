#pragma once

// Profile files: sectioned key=value text files as the Windows machines in the field read
// and write them.  Data files come from those machines and go back to them, so reading and
// writing follow the behaviour of the Windows profile-string functions exactly:
//
//   - Lines end with CRLF, LF or a lone CR, mixed freely; the last line may lack an end.
//   - Blanks are space, tab and vertical tab.  A line whose first non-blank is '[' starts a
//     section; its name runs to the first ']' (or the line's end) and is trimmed, the rest
//     of the line is ignored.  A line whose first non-blank is ';' is a comment.  Any other
//     line with a '=' is a key line: the key is the text before the first '=', trimmed, the
//     value everything after it, trimmed at both ends ("a=b=c" gives "b=c").  There are no
//     inline comments, and lines before the first section are never read.
//   - Section and key names compare without regard to (ASCII) letter case.  Only the first
//     section of a name is searched and the first matching key in it wins; writes go to the
//     same place.
//   - A value of two or more characters that starts and ends with the same quote (" or ')
//     loses that one pair.  "k=" and "k=\"\"" read as the empty text, not the default.
//   - A read into a buffer of `width` bytes keeps at most width - 1 characters.  A missing
//     file, section or key gives the default (whose trailing blanks are dropped).
//   - Writing an existing key replaces its value in place, keeping the key's spelling and
//     the blanks around the value; a key on a last line without a line end gets CRLF after
//     its new value.  A missing key goes right after the last key line of its section
//     (comments and blank lines that trail the section stay below it), or right after the
//     section line when the section has no key yet.  A missing section is appended at the
//     end of the file, with no blank line before it.  New lines end in CRLF (unless the
//     document is told otherwise); every other byte of the file is kept as it was.
//   - Section and key names that a caller passes lose their surrounding spaces (spaces
//     only, not tabs) before they are compared and before they are written.
//   - A line break never enters the file through a write: CR and LF in a value (or in a
//     name) are written as blanks, so that a value from outside cannot add lines, keys or
//     sections.
//   - A UTF-8 byte-order mark at the start is skipped on reading and kept on writing.
//
// The program's settings file is read and written by the same layer with two choices of its
// own: its values keep their quotes (Quotes::Keep) and its new lines end as the file's own
// lines do (SetNewLineEnd).
//
// ProfileDocument holds one file's bytes and nothing per line, so that a file costs its
// size in memory whatever its shape.  Finding keys is one pass over the bytes, and so is
// writing them: FindAll and WriteAll serve many keys in one pass (a data file's 41 keys),
// Find and Write one.  LoadProfile/SaveProfile move a document between memory and disk;
// UpdateProfile reads, changes and saves a file under an advisory lock, and
// GetProfileString/WriteProfileString are the one-shot forms on top.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/savefile.h"

// One key of a file, as a caller names it.
struct ProfileKey {
  std::string_view section;
  std::string_view key;
};

// One value to write.
struct ProfileEntry {
  std::string_view section;
  std::string_view key;
  std::string_view value;
};

class ProfileDocument {
 public:
  // An empty document: what a file that does not exist reads as.
  ProfileDocument() = default;
  // The document of a file with these bytes.
  explicit ProfileDocument(std::string bytes) : bytes_(std::move(bytes)) {}

  // Whether a value loses its one pair of matching quotes when read.
  enum class Quotes { Strip, Keep };

  // The value of `key` in the first section named `section`, whole (trimmed, and without
  // its quote pair unless `quotes` keeps it); nothing when the section or the key is
  // missing.  The view lasts until the next write.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key,
                                       Quotes quotes = Quotes::Strip) const;
  // What Find gives for each of `keys`, in one pass over the file.
  std::vector<std::optional<std::string_view>> FindAll(std::span<const ProfileKey> keys,
                                                       Quotes quotes = Quotes::Strip) const;
  // What a read into a buffer of `width` bytes gives: the value cut to width - 1
  // characters, or the default (trailing blanks dropped, cut the same way) when the
  // section or the key is missing.  A width of 0 gives the empty text.
  std::string Read(std::string_view section, std::string_view key, std::string_view defaultValue,
                   std::size_t width) const;

  // Sets `key` in `section` to `value`, adding the key, the section or both as needed.
  void Write(std::string_view section, std::string_view key, std::string_view value);
  // The same as writing each entry in turn, in one pass over the file.
  void WriteAll(std::span<const ProfileEntry> entries);
  // The end of the lines that writes add: "\r\n" (the default) or "\n".
  void SetNewLineEnd(std::string_view end) { new_line_end_ = end; }

  // The file's bytes as they are now.
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::string new_line_end_ = "\r\n";
};

// The largest file that is read as a profile file; a larger one is refused as no data file,
// and a save that would make one is refused.
inline constexpr std::size_t kMaxProfileFileSize = kMaxFileSize;

// Reads the file at `path` into `document` (ReadWholeFile in files/savefile.h, which puts
// back what a save that did not end left, and tells so in the notice).  A path that names
// no file (nothing there, or a folder on the way that does not exist) reads as an empty
// document.  A file that exists but cannot be read (no permission, a folder, not a regular
// file, too large) fails, and `document` is left as it was.  `exists`, when given, tells
// whether a file was there.
FileStatus LoadProfile(const std::filesystem::path& path, ProfileDocument& document, bool* exists = nullptr);

// Writes `document` to `path` as a durable save (SaveWholeFile in files/savefile.h): the
// old file or the new one survives any failure; owner, group, mode, attributes, hard links
// and symbolic links are kept.
FileStatus SaveProfile(const std::filesystem::path& path, const ProfileDocument& document);

// Reads the file at `path` (a missing one reads as empty), lets `change` change it, and
// saves it as SaveProfile does, holding the file's advisory lock from before the read
// until after the save: two programs that update one file at the same time each see the
// other's change.  A save waits up to 10 seconds for another to end.
FileStatus UpdateProfile(const std::filesystem::path& path, const std::function<void(ProfileDocument&)>& change);

// One-shot read: the value of `key` in `section` of the file at `path`, as a read into a
// buffer of `width` bytes gives it.  A missing file gives the default; `status`, when
// given, receives the outcome of reading the file (a file that cannot be read also gives
// the default).
std::string GetProfileString(std::string_view section, std::string_view key, std::string_view defaultValue,
                             std::size_t width, const std::filesystem::path& path, FileStatus* status = nullptr);

// One-shot write: UpdateProfile setting the key (a missing file is created).
FileStatus WriteProfileString(std::string_view section, std::string_view key, std::string_view value,
                              const std::filesystem::path& path);
