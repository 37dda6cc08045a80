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

#include <QLineEdit>
#include <QString>

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

 private:
  void OnTextEdited(const QString& edited);

  int max_length_ = 0;
  QString last_text_;  // the text before the user's latest edit
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
class TMaskEdit : public TCustomEdit {
  Q_OBJECT
 public:
  explicit TMaskEdit(QWidget* parent = nullptr) : TCustomEdit(parent) {}

  QString EditMask() const { return edit_mask_; }
  void SetEditMask(const QString& mask);

  QString Text() const override;
  void SetText(const QString& text) override;

 private:
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
