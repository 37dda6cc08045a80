#include "ui/shellopen.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace {
ShellOpenHook& Hook() {
  static ShellOpenHook hook;
  return hook;
}
}  // namespace

void SetShellOpenHook(ShellOpenHook hook) { Hook() = std::move(hook); }

void ShellOpen(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  if (Hook()) {
    Hook()(absolute);
    return;
  }
  (void)QDesktopServices::openUrl(QUrl::fromLocalFile(absolute));
}

QString ReleaseNotesPath() {
  const QFileInfo local(QDir::current(), QStringLiteral("Readme.txt"));
  if (local.isFile()) return local.absoluteFilePath();
  const QFileInfo installed(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/../share/quellso/Readme.txt"));
  if (installed.isFile()) return QDir::cleanPath(installed.absoluteFilePath());
  return {};
}
