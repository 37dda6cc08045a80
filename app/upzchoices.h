#pragma once

// TfrmUpzChoices ("Select File"): offers the order archives whose names come near a sales
// order number, in the file list flbUpzChoices.  The sales order dialog fills the list,
// selects its first file and shows this dialog modally; afterwards the list's selection is
// the answer.  Ok (or Enter) keeps the selection, Cancel (or Escape) clears it, and the close
// box keeps it.

#include <QDialog>
#include <QListWidget>
#include <QString>

class QToolButton;
class TWallpaper;

// A list of the plain files of one folder whose names match a wildcard mask, sorted by name
// without regard to letter case; one file at most is selected.
class TFileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TFileListBox(QWidget* parent = nullptr);

  // The folder listed, as an absolute path; empty until one is set.  Setting it makes it
  // the process's current directory (when it exists), then lists it.  A folder that does
  // not exist or cannot be read lists nothing.
  QString Directory() const { return directory_; }
  void SetDirectory(const QString& folder);
  // The names listed: '*' stands for any run of characters, '?' for any one; letter case
  // does not matter.  "*" at first.  Setting it lists the folder again.
  QString Mask() const { return mask_; }
  void SetMask(const QString& mask);

  // Sets the folder (which becomes the current directory) and the mask, and lists once.
  void Fill(const QString& folder, const QString& mask);
  // Lists the folder again; nothing is selected afterwards.
  void Refresh();

  // The selected file's position in the list, or -1 when none is selected.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The selected file's full path (folder and name); empty when none is selected.
  QString FileName() const;

 private:
  QString directory_;
  QString mask_ = QStringLiteral("*");
};

class TfrmUpzChoices : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmUpzChoices(QWidget* parent = nullptr);

  // Ends the modal show with the selection unchanged.
  void cmdOkClick();
  // Clears the selection and ends the modal show.
  void cmdCancelClick();

  TWallpaper* wpBackground = nullptr;
  TFileListBox* flbUpzChoices = nullptr;
  QToolButton* cmdCancel = nullptr;
  QToolButton* cmdOk = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
};

extern TfrmUpzChoices* frmUpzChoices;

