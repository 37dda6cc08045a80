#include "ui/flatbutton.h"

#include <QToolButton>

#include "ui/fonts.h"
#include "ui/pictures.h"

QToolButton* NewFlatButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                           const char* glyph) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setAutoRaise(true);
  button->setToolTip(hint);
  button->setCursor(Qt::PointingHandCursor);
  button->setFont(SansFont(11, true));
  button->setText(caption);
  // A screen reader announces the caption, or the hint of a button that shows only a picture.
  button->setAccessibleName(caption.isEmpty() ? hint : caption);
  if (glyph) {
    button->setIcon(Glyph(glyph));
    button->setIconSize(QSize(16, 16));
    button->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
  }
  return button;
}
