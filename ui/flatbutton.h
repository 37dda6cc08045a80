#pragma once

// The flat buttons of the program's windows: raised only under the mouse, with a hand cursor
// and their hint as a tooltip.  With a glyph name the button shows that two-state glyph
// (see Glyph()) beside its bold caption.  The caption is the button's accessible name (the
// hint, for a button without a caption).

#include <QString>

class QToolButton;
class QWidget;

QToolButton* NewFlatButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                           const char* glyph = nullptr);
