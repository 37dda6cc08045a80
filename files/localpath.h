#pragma once

// Between the windows' texts and the file layer: paths in the file system's encoding and
// back, and a failure's reason as a sentence of a message.

#include <QFile>
#include <QString>
#include <filesystem>

#include "files/profile.h"

inline std::filesystem::path LocalPath(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

inline QString DisplayPath(const std::filesystem::path& path) { return QFile::decodeName(path.c_str()); }

inline QString ReasonSentence(const FileStatus& status) {
  QString reason = QString::fromLocal8Bit(status.reason);
  if (!reason.endsWith('.')) reason += '.';
  return reason;
}
