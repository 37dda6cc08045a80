#pragma once

// Between the windows' texts and the file layer: paths in the file system's encoding and
// back, and a failure's reason as a sentence of a message.
//
// File names on Linux are bytes, and most are UTF-8.  A name that is not (one made on a
// machine with another encoding) must still be opened: each byte that is not part of valid
// UTF-8 becomes the lone surrogate U+DC80..U+DCFF in the text and that byte again on the
// way back, so that every name survives the round trip through a window (a list, a path
// text) unchanged.  Such a byte shows as a replacement mark.

#include <QString>
#include <filesystem>
#include <string>
#include <string_view>

#include "files/profile.h"

// The text of a file name's bytes (or a path's): UTF-8, with the bytes outside it kept as
// U+DC80..U+DCFF.
QString DecodeFileName(std::string_view bytes);
// The bytes of a file name's text: DecodeFileName undone.
std::string EncodeFileName(const QString& text);

inline std::filesystem::path LocalPath(const QString& path) { return std::filesystem::path(EncodeFileName(path)); }

inline QString DisplayPath(const std::filesystem::path& path) { return DecodeFileName(path.native()); }

inline QString ReasonSentence(const FileStatus& status) {
  QString reason = QString::fromLocal8Bit(status.reason);
  if (!reason.endsWith('.')) reason += '.';
  return reason;
}
