#pragma once

// TWallpaper: a panel that repeats one picture over its inner area, like tiles, under its
// child controls.  It keeps a panel's colour, border, bevels and caption and paints the
// tiles over them; a picture with transparent parts shows the panel's colour through them.
//
// The panel has the designed colours (ui/palette.h), and so has every control on it, whatever
// the desktop's colour scheme.
//
// Align places the panel against its parent's edges and keeps it there when the parent is
// resized, the way panels stack in a form: top and bottom panels take the parent's whole
// width, left and right ones the height left between them, and a client panel fills what
// remains.  Panels of one parent are placed in the order they were created, within the
// parent's client area (inside the bevels when the parent is itself a panel).  A panel that
// sits in its parent's layout is left to that layout.

#include <QColor>
#include <QFrame>
#include <QPixmap>
#include <QPointer>

class TWallpaper;

// The usual background of a dialog: a wallpaper panel without an outer bevel that fills
// `dialog` and tiles the picture of that name (see Picture()).
TWallpaper* NewDialogBackground(QWidget* dialog, const char* objectName, const char* picture);

class TWallpaper : public QFrame {
  Q_OBJECT
 public:
  enum class TBevel { None, Lowered, Raised, Space };
  enum class TAlign { None, Top, Bottom, Left, Right, Client };
  enum class TBorderStyle { None, Single };

  // A panel aligned to the top of its parent, with a raised bevel 1 pixel wide, showing
  // its own hint (ShowHint true, ParentShowHint false).
  explicit TWallpaper(QWidget* parent = nullptr);
  ~TWallpaper() override;

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
  // A single line around the panel, outside its client area.
  TBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(TBorderStyle style);
  QColor Color() const { return color_; }
  void SetColor(const QColor& color);
  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);
  // With ShowHint false the panel shows no tooltip of its own.
  bool ShowHint() const { return show_hint_; }
  void SetShowHint(bool show) { show_hint_ = show; }
  bool ParentShowHint() const { return parent_show_hint_; }
  void SetParentShowHint(bool parentShowHint) { parent_show_hint_ = parentShowHint; }

  // The border plus the bevels' widths: how far the tiles stand inside the client edge.
  int Inset() const;
  // The panel's client rectangle: the whole panel, less the single-line border if any.
  QRect ClientRect() const { return contentsRect(); }
  // The client rectangle shrunk by the inset on every side: where the tiles go, and where
  // the panel's own aligned panels are placed.
  QRect InnerRect() const;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

  // Paints the panel (colour, bevels, caption), then the tiles over its inner rectangle.
  // Only tiles that meet `exposed` are drawn; an empty `exposed` means the whole panel.
  void Paint(QPainter& painter, const QRect& exposed = {});
  // Draws one tile with its top-left corner at `topLeft`; the painter is already clipped to
  // the inner rectangle.
  virtual void DrawTile(QPainter& painter, const QPoint& topLeft);

 private:
  void WallpaperChanged();
  void PaintPanel(QPainter& painter);
  void WatchParent(QWidget* parent);

  QPixmap wallpaper_;
  int border_width_ = 0;
  TBevel bevel_outer_ = TBevel::Raised;
  TBevel bevel_inner_ = TBevel::None;
  int bevel_width_ = 1;
  TBorderStyle border_style_ = TBorderStyle::None;
  QColor color_;
  QString caption_;
  TAlign align_ = TAlign::None;
  bool show_hint_ = true;
  bool parent_show_hint_ = false;
  QPointer<QWidget> watched_parent_;
};

// Places the aligned panels among parent's children (see TWallpaper::Align).
void AlignPanels(QWidget* parent);
