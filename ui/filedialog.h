#pragma once

// A standard file dialog with a title, a filter of description|pattern pairs and a default
// extension, shown by Execute().  Every file dialog member of the program (OpenDlg, SaveDlg,
// OpenEncryptedDlg, PathDlg) is one of these, so that tests can pre-answer them.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

class TFileDialog {
 public:
  enum class Kind { Open, Save };

  // filter: pairs of description and pattern separated by '|', e.g.
  // "Data Files (*.dat)|*.dat|All Files (*.*)|*.*".
  TFileDialog(Kind kind, QString title, QString filter, QString defaultExt);

  // Shows the dialog modally.  True when the user chose a file; FileName() then gives its
  // full path (with the default extension added when the typed name has none).  The chosen
  // file need not exist.  A save dialog does not ask before overwriting.  The folder of the
  // chosen file, when it exists, becomes the process's current directory, so that a relative
  // name ("Readme.txt" of Help > Release Notes) is looked for beside the files chosen last.
  bool Execute(QWidget* owner = nullptr);
  QString FileName() const { return file_name_; }
  // Takes `path` as chosen in the dialog, without showing it (a file named on the command
  // line): FileName() gives it, and the current directory moves to its folder.
  void Choose(const QString& path) { Chosen(path); }

  Kind kind() const { return kind_; }
  QString Title() const { return title_; }
  QString Filter() const { return filter_; }
  QString DefaultExt() const { return default_ext_; }
  // The filter in Qt's notation ("Data Files (*.dat *.DAT);;All Files (*)").
  QString QtFilter() const;

  // Test seam: while a hook is set, Execute() asks it instead of showing a dialog.  The hook
  // returns the chosen path, or nothing for Cancel; a chosen path moves the current directory
  // as a choice in the dialog does.
  using Hook = std::function<std::optional<QString>(const TFileDialog&)>;
  static void SetHook(Hook hook);

 private:
  // Takes `path` as the answer; always true.
  bool Chosen(const QString& path);

  Kind kind_;
  QString title_;
  QString filter_;
  QString default_ext_;
  QString file_name_;
};
