// The main window's side of order archives: Open Encrypted Data File, and OpenUpzFile,
// which the sales order lookup calls too.

#include <QApplication>
#include <system_error>

#include "app/mainwindow.h"
#include "files/datafile.h"
#include "files/localpath.h"
#include "files/tempfolder.h"
#include "files/upzunitfile.h"
#include "ui/messagebox.h"

namespace {

const QString kError = QStringLiteral("Error");

// The sales order lookup opens archives while its dialog is up: its messages belong over
// that dialog, not behind it.
QWidget* MessageOwner(QWidget* window) {
  QWidget* modal = QApplication::activeModalWidget();
  return modal ? modal : window;
}

}  // namespace

void TfrmMain::mnuOpenEncryptedDataFileClick() {
  ApplyPanelLengths();
  if (!OpenEncryptedDlg.Execute(this)) return;
  OpenUpzFile(OpenEncryptedDlg.FileName());
}

// Every member goes into the program's private temporary folder, where all but the unit
// data file stay; the unit data file is read into the record and deleted.
void TfrmMain::OpenUpzFile(const QString& path) {
  QWidget* owner = MessageOwner(this);
  const TempFolder temp = PrivateTempFolder();
  if (!temp.ok()) {
    MessageBox(owner,
               QStringLiteral("Could not open the order archive\n%1\n\n%2")
                   .arg(path, QString::fromLocal8Bit(temp.error)),
               kError);
    return;
  }

  const std::filesystem::path archive = LocalPath(path);
  const UnitFileExtraction extraction = ExtractUnitFile(archive, temp.path, this);
  if (extraction.result != ArchiveResult::kNoError) {
    MessageBox(owner, DecodeFileName(ArchiveFailureText(extraction.result, archive.native())),
               kError);
    return;
  }
  if (!extraction.unitFile) {
    MessageBox(owner, QStringLiteral("Unit Data File not present in .UPZ File"), kError);
    return;
  }

  const FileStatus status = ReadDataFile(record_, *extraction.unitFile);
  std::error_code ignored;
  std::filesystem::remove(*extraction.unitFile, ignored);
  if (!status) {
    MessageBox(owner,
               QStringLiteral("Could not read the unit data file of the order archive\n%1\n\n%2\n\n"
                              "Nothing was changed. Open the archive again; if this happens again, "
                              "check the temporary folder %3.")
                   .arg(path, ReasonSentence(status), DisplayPath(temp.path)),
               kError);
    return;
  }
  ShowRecord();
}

void TfrmMain::ArchiveNotification(unsigned, std::int32_t) {}
