#pragma once

// A drop-down list that a screen reader announces by its caption, with the entry chosen as
// its value: "Default Communications Port, combo box, Communications Port 2 (COM2)".  The
// toolkit's own list is named on Linux by the entry chosen, which tells a blind user the
// value but not what it is for.  The caption is the list's accessible name, or else the
// text of the label linked to it (QLabel::setBuddy).

#include <QComboBox>

class TComboBox : public QComboBox {
  Q_OBJECT
 public:
  explicit TComboBox(QWidget* parent = nullptr);
};
