// The main window's file and editing commands: open, save, save as and close of a data
// file, Clear Screen, Edit Data, Release Notes, Exit, and the commands that show a dialog.

#include <QAction>
#include <filesystem>
#include <system_error>

#include "app/mainwindow.h"
#include "app/salesorderentry.h"
#include "files/datafile.h"
#include "files/localpath.h"
#include "settings/chillerinfo.h"
#include "settings/preferences.h"
#include "ui/edits.h"
#include "ui/messagebox.h"
#include "ui/shellopen.h"
#include "ui/wall.h"

namespace {

// Collects the window and writes the record to `path`.  A save that fails is reported, the
// file keeps its previous content, and the record is put back as it was before the collect:
// a failed save changes nothing.
bool SaveDataFileTo(TfrmMain& window, const QString& path) {
  const UnitDataRecord before = window.Record();
  window.CollectRecord();
  const FileStatus status = WriteDataFile(window.Record(), LocalPath(path));
  if (status) {
    if (!status.notice.empty()) MessageBox(&window, QString::fromStdString(status.notice), QStringLiteral("Warning"));
    return true;
  }
  window.Record() = before;
  MessageBox(&window,
             QStringLiteral("Could not save the data file\n%1\n\n%2\n\nThe data are still on the screen, and a file "
                            "already there keeps its previous content. Save the data to another file with "
                            "Save Data File As.")
                 .arg(path, ReasonSentence(status)),
             QStringLiteral("Error"));
  return false;
}

}  // namespace

// Open Data File.  A file that cannot be read is reported and changes nothing: record,
// window, current path and title stay as they were.  A path that names no file reads as a
// file without keys.
void TfrmMain::mnuOpenDataFileClck() {
  ApplyPanelLengths();
  if (!OpenDlg.Execute(this)) return;
  OpenDataFile(OpenDlg.FileName());
}

void TfrmMain::OpenDataFile(const QString& path) {
  const FileStatus status = ReadDataFile(record_, LocalPath(path));
  if (!status) {
    MessageBox(this,
               QStringLiteral("Could not read the data file\n%1\n\n%2\n\nNothing was changed. "
                              "Choose a data file that you may read.")
                   .arg(path, ReasonSentence(status)),
               QStringLiteral("Error"));
    return;
  }
  current_data_file_ = path;
  ShowRecord();
  UpdateTitle(true);
  // What the file layer did with a save that had not ended (put back, or kept beside it).
  if (!status.notice.empty()) MessageBox(this, QString::fromStdString(status.notice), QStringLiteral("Warning"));
}

// The file counts as chosen in the dialog of its command: the dialog opens in its folder
// next time, and Release Notes looks beside it.  Unlike a name typed into the dialog (which
// may name a new file to save to), a file named on the command line that does not exist is
// a mistake, and is reported.
void TfrmMain::OpenFileArgument(const QString& path) {
  ApplyPanelLengths();
  if (path.endsWith(QStringLiteral(".upz"), Qt::CaseInsensitive)) {
    OpenEncryptedDlg.Choose(path);
    OpenUpzFile(path);
    return;
  }
  OpenDlg.Choose(path);
  std::error_code error;  // a file that cannot be looked at is read, and its reason told
  if (!std::filesystem::exists(LocalPath(path), error) && !error) {
    MessageBox(this,
               QStringLiteral("Could not read the data file\n%1\n\nThere is no such file.\n\nNothing was "
                              "changed. Check the file's name, or choose the file with File > Open Data File.")
                   .arg(path),
               QStringLiteral("Error"));
    return;
  }
  OpenDataFile(path);
}

void TfrmMain::mnuSaveDataFileClick() {
  if (current_data_file_.isEmpty()) {
    mnuSaveDataFileAsClick();
    return;
  }
  SaveDataFileTo(*this, current_data_file_);  // the title is not touched
}

// Save Data File As.  The chosen file becomes the current one only once it is saved.
void TfrmMain::mnuSaveDataFileAsClick() {
  if (!SaveDlg.Execute(this)) return;
  const QString path = SaveDlg.FileName();
  if (!SaveDataFileTo(*this, path)) return;
  current_data_file_ = path;
  UpdateTitle(true);
}

void TfrmMain::mnuCloseClick() {
  current_data_file_.clear();
  mnuClearScreenClick();
  UpdateTitle(false);
}

// Empties the record's window members and the window.  Title, current path, editing state
// and the members ClearRecord keeps (model parts, starter, packed date) stay as they were.
void TfrmMain::mnuClearScreenClick() {
  record_.ClearRecord();
  ShowRecord();
}

// Edit Data.  The item is a checkable action, which the toolkit toggles when it is
// triggered (menu or Ctrl+E), before this handler runs: the check mark is the new state.
void TfrmMain::mnuEditDataClick() {
  const bool editing = mnuEditData->isChecked();
  DefaultLengthWarningStep();
  ApplyPanelLengths();
  // Exactly the plain edits: the masked edits (date, chiller serial number) are left alone.
  for (QObject* child : wpBackground->children()) {
    if (child->metaObject() == &TEdit::staticMetaObject) static_cast<TEdit*>(child)->SetReadOnly(!editing);
  }
  // The fields typed in from the start (date and serial numbers) stay editable.
  for (std::size_t i = 0; i < kMainFieldCount; ++i)
    if (kMainFields[i].typed) edits_[i]->SetReadOnly(false);
}

void TfrmMain::mnuReleaseNotesClick() {
  const QString path = ReleaseNotesPath();
  if (!path.isEmpty()) ShellOpen(path);
}

void TfrmMain::mnuExitClick() { close(); }

void TfrmMain::mnuPreferencesClick() {
  if (frmPreferences) frmPreferences->exec();
}

void TfrmMain::mnuAboutClick() {
  if (frmAbout) frmAbout->exec();
}

void TfrmMain::cmdSalesOrderClick() {
  if (frmSalesOrderEntry) frmSalesOrderEntry->exec();
}
