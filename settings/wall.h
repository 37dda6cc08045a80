#pragma once

// TWallpaper: a panel that repeats one picture over its inner area, like tiles, under its
// child controls.  It keeps a panel's colour, border, bevels and caption and paints the
// tiles over them.

#include <QColor>
#include <QFrame>
#include <QPixmap>

class TWallpaper : public QFrame {
  Q_OBJECT
 public:
  enum class TBevel { None, Lowered, Raised, Space };

  explicit TWallpaper(QWidget* parent = nullptr);

  const QPixmap& Wallpaper() const { return wallpaper_; }
  // Copies the picture (the caller keeps its own) and repaints the panel.
  void SetWallpaper(const QPixmap& picture);

  int BorderWidth() const { return border_width_; }
  void SetBorderWidth(int width);
  TBevel BevelOuter() const { return bevel_outer_; }
  void SetBevelOuter(TBevel bevel);
  TBevel BevelInner() const { return bevel_inner_; }
  void SetBevelInner(TBevel bevel);
  int BevelWidth() const { return bevel_width_; }
  void SetBevelWidth(int width);
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);

  // The border plus the bevels' widths: how far the tiles stand inside the panel's edge.
  int Inset() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void Paint(QPainter& painter);

 private:
  void WallpaperChanged();

  QPixmap wallpaper_;
  int border_width_ = 0;
  TBevel bevel_outer_ = TBevel::Raised;
  TBevel bevel_inner_ = TBevel::None;
  int bevel_width_ = 1;
  QColor color_;
  QString caption_;
};
