#pragma once

// A transparent caption drawn twice: first in the window-text colour (black), then 1 pixel
// to the left and 2 pixels higher in the shadow colour (white for field captions, yellow for
// headings and column titles), which reads as a drop shadow over the tiled backgrounds.  It is
// a label to the toolkit, so that a field can be linked to its caption (setBuddy) and a
// screen reader finds the caption of the field.

#include <QColor>
#include <QLabel>

class TShadowLabel : public QLabel {
  Q_OBJECT
 public:
  TShadowLabel(const QString& caption, QColor shadow, const QFont& font, Qt::Alignment alignment,
               QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  QColor ShadowColor() const { return shadow_; }
  Qt::Alignment Alignment() const { return alignment_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  QColor shadow_;
  Qt::Alignment alignment_;
};
