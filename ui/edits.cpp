#include "ui/edits.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QToolTip>
#include <QValidator>

#include "model/cp1252.h"

namespace {

// Refuses any text with a character that code page 1252 cannot hold, and keeps those
// characters for the edit's explanation.
class Cp1252Validator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int&) const override {
    refused.clear();
    for (const char32_t c : QStringView(input).toUcs4())
      if (!Cp1252CanHold(c) && !refused.contains(c)) refused.append(c);
    return refused.isEmpty() ? Acceptable : Invalid;
  }

  mutable QList<char32_t> refused;
};

}  // namespace

TCustomEdit::TCustomEdit(QWidget* parent) : QLineEdit(parent) {
  // textEdited comes before textChanged, so last_text_ still holds the text before a
  // user's edit when OnTextEdited runs.  It is taken from text(), not from the signal: a
  // textChanged that Qt emits after OnTextEdited has cut the edit carries the uncut text.
  connect(this, &QLineEdit::textChanged, this, [this] { last_text_ = text(); });
  connect(this, &QLineEdit::textEdited, this, &TCustomEdit::OnTextEdited);
  connect(this, &QLineEdit::inputRejected, this, &TCustomEdit::OnInputRejected);
}

void TCustomEdit::SetMaxLength(int length) { max_length_ = length < 0 ? 0 : length; }

void TCustomEdit::SetText(const QString& text) { setText(text); }

void TCustomEdit::SetBytes(std::string_view bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  // Every character of the code page lies in the Basic Multilingual Plane: one QChar each.
  for (const char b : bytes) text += QChar(static_cast<char16_t>(Cp1252ToCodePoint(static_cast<unsigned char>(b))));
  SetText(text);
}

std::string TCustomEdit::Bytes() const {
  const QString text = Text();
  std::string bytes;
  bytes.reserve(static_cast<std::size_t>(text.size()));
  for (const QChar c : text)
    if (const std::optional<unsigned char> b = CodePointToCp1252(c.unicode())) bytes += static_cast<char>(*b);
  return bytes;
}

void TCustomEdit::SetCp1252Only(bool only) {
  if (only == cp1252_only_) return;
  cp1252_only_ = only;
  const QValidator* previous = validator();
  setValidator(only ? new Cp1252Validator(this) : nullptr);
  delete previous;
}

// The user's edit was undone: when it was for characters that the code page cannot hold,
// the edit says so beside the cursor.
void TCustomEdit::OnInputRejected() {
  const auto* validator = dynamic_cast<const Cp1252Validator*>(this->validator());
  if (!validator || validator->refused.isEmpty()) return;
  QStringList quoted;
  for (const char32_t c : validator->refused) quoted << QStringLiteral("\u201C%1\u201D").arg(QString::fromUcs4(&c, 1));
  validator->refused.clear();
  QApplication::beep();
  QToolTip::showText(mapToGlobal(cursorRect().bottomLeft()),
                     quoted.join(", ") +
                         QStringLiteral(" cannot be entered here.\nData files and the panel hold only the Western "
                                        "European characters of Windows code page 1252."),
                     this);
}

bool TCustomEdit::IsWindowCommandKey(const QKeyEvent& key) const {
  if (!(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) return false;
  const QKeySequence pressed(QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
  for (const QAction* action : window()->findChildren<QAction*>())
    if (action->isEnabled() && action->shortcuts().contains(pressed)) return true;
  return false;
}

// Before a key reaches the edit, the toolkit asks it whether it wants the key for itself
// rather than as a shortcut.  A window command's key is left to the command.
bool TCustomEdit::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && IsWindowCommandKey(*static_cast<QKeyEvent*>(event))) {
    event->ignore();
    return true;
  }
  return QLineEdit::event(event);
}

// Runs after every change the user makes (typing, pasting, dropping, input methods).  When
// the change would make the text longer than MaxLength, the inserted part is cut to what
// still fits, as a limited edit does.  Deleting is always allowed.
void TCustomEdit::OnTextEdited(const QString& edited) {
  const QString before = last_text_;
  if (max_length_ <= 0 || !inputMask().isEmpty() || edited.size() <= max_length_ ||
      edited.size() <= before.size())
    return;

  // The edit replaced before[prefix, before.size() - suffix) by edited[prefix, edited.size() - suffix).
  qsizetype prefix = 0;
  while (prefix < before.size() && prefix < edited.size() && before[prefix] == edited[prefix]) ++prefix;
  qsizetype suffix = 0;
  while (suffix < before.size() - prefix && suffix < edited.size() - prefix &&
         before[before.size() - 1 - suffix] == edited[edited.size() - 1 - suffix])
    ++suffix;
  const QString inserted = edited.mid(prefix, edited.size() - prefix - suffix);
  const qsizetype kept = edited.size() - inserted.size();
  const qsizetype room = std::max<qsizetype>(0, max_length_ - kept);
  const QString result = edited.left(prefix) + inserted.left(room) + edited.right(suffix);
  setText(result);
  setCursorPosition(static_cast<int>(prefix + std::min(room, inserted.size())));
}

void TMaskEdit::SetEditMask(const QString& mask) {
  edit_mask_ = mask;
  positions_.clear();
  fill_from_right_ = false;
  blank_ = ' ';

  const QStringList parts = mask.split(';');
  const QString picture = parts.value(0);
  if (parts.size() >= 3 && !parts[2].isEmpty()) blank_ = parts[2][0];

  QString qt_mask;  // the same mask in Qt's input-mask notation
  for (qsizetype i = 0; i < picture.size(); ++i) {
    const QChar c = picture[i];
    auto add = [&](QChar qt, bool optional) {
      qt_mask += qt;
      positions_.append({false, optional, {}});
    };
    auto literal = [&](QChar l) {
      qt_mask += '\\';
      qt_mask += l;
      positions_.append({true, false, l});
    };
    switch (c.unicode()) {
      case '!': fill_from_right_ = true; break;
      case '>':
        if (i + 1 < picture.size() && picture[i + 1] == '<') {
          qt_mask += '!';
          ++i;
        } else {
          qt_mask += '>';
        }
        break;
      case '<': qt_mask += '<'; break;
      case '\\':
        if (i + 1 < picture.size()) literal(picture[++i]);
        break;
      case '0': add('9', false); break;
      case '9': add('0', true); break;
      case '#': add('#', true); break;
      case 'L': add('A', false); break;
      case 'l': add('a', true); break;
      case 'A': add('N', false); break;
      case 'a': add('n', true); break;
      case 'C': add('X', false); break;
      case 'c': add('x', true); break;
      default: literal(c); break;
    }
  }
  setInputMask(positions_.isEmpty() ? QString() : qt_mask + ';' + blank_);
}

QString TMaskEdit::Text() const {
  if (positions_.isEmpty()) return text();
  const QString shown = displayText();
  QString out(positions_.size(), ' ');
  for (qsizetype i = 0; i < positions_.size(); ++i) {
    if (positions_[i].literal) {
      out[i] = positions_[i].literal_char;
    } else if (i < shown.size() && shown[i] != blank_) {
      out[i] = shown[i];
    }
  }
  if (fill_from_right_) {
    for (qsizetype start = 0; start < positions_.size();) {
      if (positions_[start].literal || !positions_[start].optional) {
        ++start;
        continue;
      }
      qsizetype end = start;
      while (end < positions_.size() && !positions_[end].literal && positions_[end].optional) ++end;
      const QString run = out.mid(start, end - start);
      QString filled = run;
      filled.remove(' ');
      out.replace(start, end - start, filled.rightJustified(end - start, ' '));
      start = end;
    }
  }
  return out;
}

void TMaskEdit::focusInEvent(QFocusEvent* event) {
  TCustomEdit::focusInEvent(event);
  KeepCursorAtFirstUnfilled();
}

void TMaskEdit::mousePressEvent(QMouseEvent* event) {
  TCustomEdit::mousePressEvent(event);
  if (!hasSelectedText()) KeepCursorAtFirstUnfilled();
}

void TMaskEdit::KeepCursorAtFirstUnfilled() {
  if (positions_.isEmpty()) return;
  const QString shown = displayText();
  for (qsizetype i = 0; i < positions_.size() && i < shown.size(); ++i) {
    if (positions_[i].literal || shown[i] != blank_) continue;
    if (cursorPosition() > i) setCursorPosition(static_cast<int>(i));
    return;
  }
}

void TMaskEdit::SetText(const QString& text) {
  if (positions_.isEmpty()) {
    setText(text);
    return;
  }
  // One character per position: a blank at an input position leaves it unfilled.
  QString shown;
  for (qsizetype i = 0; i < positions_.size(); ++i) {
    if (positions_[i].literal) {
      shown += positions_[i].literal_char;
    } else {
      const QChar c = i < text.size() ? text[i] : QChar(' ');
      shown += c == ' ' ? blank_ : c;
    }
  }
  setText(shown);
}
