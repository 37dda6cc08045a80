#include "ui/filedialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

namespace {
TFileDialog::Hook& TheHook() {
  static TFileDialog::Hook hook;
  return hook;
}

// "*.*" means every file on the systems the filters were written for; here many names have
// no dot, so it becomes "*".  Other patterns also match their upper-case spelling, since
// files arrive from systems that ignore letter case.
QString QtPatterns(const QString& patterns) {
  QStringList out;
  for (const QString& p : patterns.split(';', Qt::SkipEmptyParts)) {
    const QString pattern = p.trimmed();
    if (pattern == "*.*" || pattern == "*") {
      out << "*";
    } else {
      out << pattern;
      if (pattern.toUpper() != pattern) out << pattern.toUpper();
    }
  }
  return out.join(' ');
}
}  // namespace

TFileDialog::TFileDialog(Kind kind, QString title, QString filter, QString defaultExt)
    : kind_(kind), title_(std::move(title)), filter_(std::move(filter)), default_ext_(std::move(defaultExt)) {}

void TFileDialog::SetHook(Hook hook) { TheHook() = std::move(hook); }

QString TFileDialog::QtFilter() const {
  const QStringList parts = filter_.split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString description = parts[i];
    const qsizetype paren = description.indexOf('(');
    if (paren > 0) description = description.left(paren).trimmed();
    filters << QString("%1 (%2)").arg(description, QtPatterns(parts[i + 1]));
  }
  return filters.join(";;");
}

// The folder of the file chosen becomes the current directory.
bool TFileDialog::Chosen(const QString& path) {
  file_name_ = path;
  const QDir folder = QFileInfo(path).absoluteDir();
  if (folder.exists()) QDir::setCurrent(folder.absolutePath());
  return true;
}

bool TFileDialog::Execute(QWidget* owner) {
  if (TheHook()) {
    const std::optional<QString> answer = TheHook()(*this);
    if (!answer) return false;
    return Chosen(*answer);
  }

  QFileDialog dialog(owner, title_);
  dialog.setNameFilters(QtFilter().split(";;"));
  dialog.setAcceptMode(kind_ == Kind::Open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(default_ext_);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!file_name_.isEmpty()) dialog.setDirectory(QFileInfo(file_name_).absolutePath());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  return Chosen(QDir::cleanPath(dialog.selectedFiles().constFirst()));
}
