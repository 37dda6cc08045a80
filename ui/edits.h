#pragma once

// Single-line edits of the kind the windows are built from.
//
//   TCustomEdit  the common part: a maximum length that limits typing only
//   TEdit        the plain edit
//   TMaskEdit    an edit with an optional edit mask; not a TEdit, so a class test that asks
//                for exactly the plain edit class tells the two apart
//
// MaxLength() is the most characters the user can type; 0 means no limit.  It never cuts a
// text that the program sets: SetText() shows the whole text, and the user can then only
// shorten it until it fits.
//
// Record texts are single bytes of Windows code page 1252 (model/cp1252.h): SetBytes() shows
// them and Bytes() gives them back, one character for each byte.  An edit that holds such a
// text refuses (SetCp1252Only) any character the code page cannot hold when it is typed,
// pasted or dropped, and says why in a tooltip; nothing is ever turned into another
// character behind the user's back.
//
// Keys pressed with Ctrl, Alt or Meta that one of the window's enabled commands (QAction)
// takes as its shortcut go to that command, even where the edit has a binding of its own
// for them (on X11 Ctrl+E, "move to the end of the line").

#include <QLineEdit>
#include <QString>
#include <string>
#include <string_view>

class QKeyEvent;

class TCustomEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TCustomEdit(QWidget* parent = nullptr);

  int MaxLength() const { return max_length_; }
  void SetMaxLength(int length);

  virtual QString Text() const { return text(); }
  virtual void SetText(const QString& text);

  bool ReadOnly() const { return isReadOnly(); }
  void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }

  // The text as bytes of code page 1252, and back.  Every byte shows as its one character.
  // A character that the code page cannot hold, which only a text set with SetText can
  // bring, is left out of Bytes().
  void SetBytes(std::string_view bytes);
  std::string Bytes() const;

  // Whether the user may enter only characters that code page 1252 can hold (off at first).
  bool Cp1252Only() const { return cp1252_only_; }
  void SetCp1252Only(bool only);

 protected:
  bool event(QEvent* event) override;

 private:
  void OnTextEdited(const QString& edited);
  void OnInputRejected();
  // Whether `key` is the shortcut of one of the window's enabled commands.
  bool IsWindowCommandKey(const QKeyEvent& key) const;

  int max_length_ = 0;
  QString last_text_;  // the text before the user's latest edit
  bool cp1252_only_ = false;
};

class TEdit : public TCustomEdit {
  Q_OBJECT
 public:
  explicit TEdit(QWidget* parent = nullptr) : TCustomEdit(parent) {}
};

// Edit masks are written as masks of the order-entry forms:
//
//   "!99\ >LLL<\ 0000;1;-"   optional day digits, a literal blank, three letters shown in
//                            upper case, a literal blank, four digits; blanks shown as '-'
//   "99999999-99;1;_"        eight optional digits, a literal '-', two optional digits
//
// Mask characters: 0 digit, 9 optional digit, L letter, l optional letter, A letter or digit,
// a optional letter or digit, C any character, c optional any character, # optional digit
// or sign, > upper case from here, < lower case from here, <> no case change, \ the next
// character is a literal, ! optional characters fill from the right.  Every other character
// is a literal.  After the first ';' comes the "keep literals" flag (always treated as 1),
// after the second the character that marks unfilled positions.
//
// Text() gives one character per position: the literals in place and every unfilled
// position as a blank.  With '!', the characters typed into a run of optional positions are
// moved to its right end, so a day typed as "7" reads as " 7".  An empty mask makes the
// edit behave as a plain edit (with MaxLength).
//
// The cursor never rests beyond the first unfilled position when the edit gets the focus or
// is clicked, so typing starts there: in the empty date field that is the first position,
// wherever the click landed.
class TMaskEdit : public TCustomEdit {
  Q_OBJECT
 public:
  explicit TMaskEdit(QWidget* parent = nullptr) : TCustomEdit(parent) {}

  QString EditMask() const { return edit_mask_; }
  void SetEditMask(const QString& mask);

  QString Text() const override;
  void SetText(const QString& text) override;

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // Moves the cursor back to the first unfilled position when it lies beyond it.
  void KeepCursorAtFirstUnfilled();

  struct Position {
    bool literal = false;
    bool optional = false;
    QChar literal_char;
  };

  QString edit_mask_;
  QList<Position> positions_;
  bool fill_from_right_ = false;
  QChar blank_ = ' ';
};
