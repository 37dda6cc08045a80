#include "settings/wall.h"

#include <QPainter>

TWallpaper::TWallpaper(QWidget* parent) : QFrame(parent), color_(palette().color(QPalette::Window)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TWallpaper::SetWallpaper(const QPixmap& picture) {
  wallpaper_ = picture;
  WallpaperChanged();
}

void TWallpaper::WallpaperChanged() { update(); }

void TWallpaper::SetBorderWidth(int width) { border_width_ = width; update(); }
void TWallpaper::SetBevelOuter(TBevel bevel) { bevel_outer_ = bevel; update(); }
void TWallpaper::SetBevelInner(TBevel bevel) { bevel_inner_ = bevel; update(); }
void TWallpaper::SetBevelWidth(int width) { bevel_width_ = width; update(); }
void TWallpaper::SetColor(const QColor& color) { color_ = color; update(); }
void TWallpaper::SetCaption(const QString& caption) { caption_ = caption; update(); }

int TWallpaper::Inset() const {
  int inset = border_width_;
  if (bevel_outer_ != TBevel::None) inset += bevel_width_;
  if (bevel_inner_ != TBevel::None) inset += bevel_width_;
  return inset;
}

void TWallpaper::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter);
}

// For now a plain panel: its colour and its caption.
void TWallpaper::Paint(QPainter& painter) {
  painter.fillRect(rect(), color_);
  if (!caption_.isEmpty()) painter.drawText(rect(), Qt::AlignCenter, caption_);
}
