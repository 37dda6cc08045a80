#include "ui/wall.h"

#include "ui/palette.h"
#include "ui/pictures.h"

#include <QEvent>
#include <QLayout>
#include <QPaintEvent>
#include <QPainter>

namespace {

// Saves the painter's state and restores it when it goes out of scope, also when a drawing
// step throws.
class SavedPainterState {
 public:
  explicit SavedPainterState(QPainter& painter) : painter_(painter) { painter_.save(); }
  ~SavedPainterState() { painter_.restore(); }
  SavedPainterState(const SavedPainterState&) = delete;
  SavedPainterState& operator=(const SavedPainterState&) = delete;

 private:
  QPainter& painter_;
};

// The parents whose panels AlignPanels() is placing right now, so that the resize events it
// causes do not start it again for the same parent (a panel's own aligned children are
// placed as it is resized).
QList<const QWidget*> parentsBeingAligned;

class AligningParent {
 public:
  explicit AligningParent(const QWidget* parent) { parentsBeingAligned.append(parent); }
  ~AligningParent() { parentsBeingAligned.removeLast(); }
  AligningParent(const AligningParent&) = delete;
  AligningParent& operator=(const AligningParent&) = delete;
};

bool InParentLayout(const QWidget* panel, const QWidget* parent) {
  const QLayout* layout = parent->layout();
  return layout && layout->indexOf(const_cast<QWidget*>(panel)) >= 0;
}

}  // namespace

TWallpaper::TWallpaper(QWidget* parent) : QFrame(parent) {
  // The panel and every control drawn over its tiles keep the designed colours.
  setPalette(DesignedPalette());
  color_ = palette().color(QPalette::Window);
  setAttribute(Qt::WA_OpaquePaintEvent);
  WatchParent(parent);
  SetParentShowHint(false);
  SetShowHint(true);
  SetAlign(TAlign::Top);
}

TWallpaper::~TWallpaper() = default;

void TWallpaper::SetWallpaper(const QPixmap& picture) {
  wallpaper_ = picture;
  WallpaperChanged();
}

// Any change of the picture repaints the whole panel.
void TWallpaper::WallpaperChanged() { update(); }

void TWallpaper::SetBorderWidth(int width) {
  border_width_ = width < 0 ? 0 : width;
  update();
}
void TWallpaper::SetBevelOuter(TBevel bevel) {
  bevel_outer_ = bevel;
  update();
}
void TWallpaper::SetBevelInner(TBevel bevel) {
  bevel_inner_ = bevel;
  update();
}
void TWallpaper::SetBevelWidth(int width) {
  bevel_width_ = width < 1 ? 1 : width;
  update();
}
void TWallpaper::SetColor(const QColor& color) {
  color_ = color;
  update();
}
void TWallpaper::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void TWallpaper::SetBorderStyle(TBorderStyle style) {
  border_style_ = style;
  if (style == TBorderStyle::Single) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
  } else {
    setFrameStyle(QFrame::NoFrame);
  }
  update();
}

void TWallpaper::SetAlign(TAlign align) {
  align_ = align;
  if (parentWidget()) AlignPanels(parentWidget());
}

int TWallpaper::Inset() const {
  int inset = border_width_;
  if (bevel_outer_ != TBevel::None) inset += bevel_width_;
  if (bevel_inner_ != TBevel::None) inset += bevel_width_;
  return inset;
}

QRect TWallpaper::InnerRect() const {
  const int inset = Inset();
  return ClientRect().adjusted(inset, inset, -inset, -inset);
}

void TWallpaper::WatchParent(QWidget* parent) {
  if (watched_parent_ == parent) return;
  if (watched_parent_) watched_parent_->removeEventFilter(this);
  watched_parent_ = parent;
  if (watched_parent_) watched_parent_->installEventFilter(this);
}

bool TWallpaper::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::ParentChange:
      WatchParent(parentWidget());
      if (parentWidget() && align_ != TAlign::None) AlignPanels(parentWidget());
      break;
    case QEvent::Resize:
    case QEvent::ShowToParent:
    case QEvent::HideToParent:
      // A panel that grows, shrinks, appears or goes moves the aligned panels after it.
      if (align_ != TAlign::None && parentWidget()) AlignPanels(parentWidget());
      break;
    case QEvent::ToolTip:
      if (!show_hint_) {
        event->ignore();
        return true;
      }
      break;
    default:
      break;
  }
  return QFrame::event(event);
}

bool TWallpaper::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watched_parent_ && event->type() == QEvent::Resize && align_ != TAlign::None)
    AlignPanels(watched_parent_);
  return QFrame::eventFilter(watched, event);
}

void TWallpaper::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  drawFrame(&painter);
  Paint(painter, event->rect());
}

// The panel itself: its colour, the outer bevel, the border (in the panel's colour), the
// inner bevel, and the caption centred in what is left.
void TWallpaper::PaintPanel(QPainter& painter) {
  SavedPainterState saved(painter);
  QRect area = ClientRect();
  painter.fillRect(area, color_);

  auto bevel = [&](TBevel kind) {
    if (kind == TBevel::None) return;
    QColor light = palette().color(QPalette::Light);
    QColor dark = palette().color(QPalette::Dark);
    if (kind == TBevel::Lowered) std::swap(light, dark);
    if (kind == TBevel::Space) light = dark = color_;
    for (int i = 0; i < bevel_width_ && !area.isEmpty(); ++i) {
      painter.fillRect(QRect(area.left(), area.top(), area.width() - 1, 1), light);
      painter.fillRect(QRect(area.left(), area.top(), 1, area.height() - 1), light);
      painter.fillRect(QRect(area.left(), area.bottom(), area.width(), 1), dark);
      painter.fillRect(QRect(area.right(), area.top(), 1, area.height()), dark);
      area.adjust(1, 1, -1, -1);
    }
  };
  bevel(bevel_outer_);
  area.adjust(border_width_, border_width_, -border_width_, -border_width_);
  bevel(bevel_inner_);

  if (!caption_.isEmpty() && !area.isEmpty()) {
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(area, Qt::AlignCenter, caption_);
  }
}

void TWallpaper::Paint(QPainter& painter, const QRect& exposed) {
  PaintPanel(painter);
  // The tile's size on the screen: a picture drawn at a higher pixel density has more pixels.
  const QSize tile = wallpaper_.deviceIndependentSize().toSize();
  const int w = tile.width();
  const int h = tile.height();
  if (wallpaper_.isNull() || w <= 0 || h <= 0) return;

  const QRect client = ClientRect();
  const int inset = Inset();
  const QRect inner = InnerRect();
  // A client area narrower or lower than twice the inset leaves no room for a tile.
  if (inner.isEmpty()) return;

  SavedPainterState saved(painter);
  painter.setClipRect(inner, Qt::IntersectClip);
  // One tile more than fits whole in each direction; the clip cuts the last ones off at the
  // inner rectangle's edge.
  const int columns = (client.width() - 2 * inset) / w;
  const int rows = (client.height() - 2 * inset) / h;
  for (int c = 0; c <= columns; ++c)
    for (int r = 0; r <= rows; ++r) {
      const QPoint topLeft(inner.left() + c * w, inner.top() + r * h);
      // Only the tiles a repaint uncovers are drawn; a full paint draws them all.
      if (!exposed.isEmpty() && !QRect(topLeft, QSize(w, h)).intersects(exposed)) continue;
      DrawTile(painter, topLeft);
    }
}

// Drawn as a picture, so transparent parts show the panel's colour painted beneath.
void TWallpaper::DrawTile(QPainter& painter, const QPoint& topLeft) { painter.drawPixmap(topLeft, wallpaper_); }

void AlignPanels(QWidget* parent) {
  if (!parent || parentsBeingAligned.contains(parent)) return;
  const AligningParent busy(parent);
  QList<TWallpaper*> panels;
  for (QObject* child : parent->children()) {
    auto* panel = qobject_cast<TWallpaper*>(child);
    if (panel && panel->Align() != TWallpaper::TAlign::None && !panel->isWindow() && panel->isVisibleTo(parent) &&
        !InParentLayout(panel, parent))
      panels.append(panel);
  }
  const auto* parentPanel = qobject_cast<const TWallpaper*>(parent);
  QRect free = parentPanel ? parentPanel->InnerRect() : parent->contentsRect();
  auto place = [&](TWallpaper::TAlign kind) {
    for (TWallpaper* panel : panels) {
      if (panel->Align() != kind) continue;
      switch (kind) {
        case TWallpaper::TAlign::Top:
          panel->setGeometry(free.left(), free.top(), qMax(0, free.width()), panel->height());
          free.setTop(free.top() + panel->height());
          break;
        case TWallpaper::TAlign::Bottom:
          panel->setGeometry(free.left(), free.bottom() + 1 - panel->height(), qMax(0, free.width()), panel->height());
          free.setBottom(free.bottom() - panel->height());
          break;
        case TWallpaper::TAlign::Left:
          panel->setGeometry(free.left(), free.top(), panel->width(), qMax(0, free.height()));
          free.setLeft(free.left() + panel->width());
          break;
        case TWallpaper::TAlign::Right:
          panel->setGeometry(free.right() + 1 - panel->width(), free.top(), panel->width(), qMax(0, free.height()));
          free.setRight(free.right() - panel->width());
          break;
        case TWallpaper::TAlign::Client:
          panel->setGeometry(free.left(), free.top(), qMax(0, free.width()), qMax(0, free.height()));
          break;
        case TWallpaper::TAlign::None:
          break;
      }
    }
  };
  place(TWallpaper::TAlign::Top);
  place(TWallpaper::TAlign::Bottom);
  place(TWallpaper::TAlign::Left);
  place(TWallpaper::TAlign::Right);
  place(TWallpaper::TAlign::Client);
}

TWallpaper* NewDialogBackground(QWidget* dialog, const char* objectName, const char* picture) {
  auto* background = new TWallpaper(dialog);
  background->setObjectName(objectName);
  background->SetBevelOuter(TWallpaper::TBevel::None);
  background->SetWallpaper(Picture(picture));
  background->SetAlign(TWallpaper::TAlign::Client);
  return background;
}
