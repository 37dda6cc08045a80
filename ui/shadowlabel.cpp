#include "ui/shadowlabel.h"

#include <QPainter>

TShadowLabel::TShadowLabel(const QString& caption, QColor shadow, const QFont& font, Qt::Alignment alignment,
                           QWidget* parent)
    : QLabel(caption, parent), caption_(caption), shadow_(shadow), alignment_(alignment) {
  setFont(font);
  setAttribute(Qt::WA_TranslucentBackground);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAccessibleName(caption);
}

QSize TShadowLabel::sizeHint() const {
  const QFontMetrics metrics(font());
  return {metrics.horizontalAdvance(caption_) + 2, metrics.height() + 2};
}

void TShadowLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  // Room for the shadow, which stands 1 pixel left of and 2 pixels above the caption.
  const QRect area = rect().adjusted(1, 2, 0, 0);
  painter.setPen(Qt::black);
  painter.drawText(area, static_cast<int>(alignment_ | Qt::TextSingleLine), caption_);
  painter.setPen(shadow_);
  painter.drawText(area.translated(-1, -2), static_cast<int>(alignment_ | Qt::TextSingleLine), caption_);
}
