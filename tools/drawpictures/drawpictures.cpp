// drawpictures: paints every picture of the program and writes them as PNG files, and the
// program's icon also as an SVG file.
//
//   drawpictures OUTPUT_FOLDER           every picture as NAME.png, and NAME@2x.png at twice
//                                        the pixel density for screens scaled by 2; the icon
//                                        also as icon.svg
//   drawpictures OUTPUT_FOLDER SCALE     the pictures at that scale only (1 gives NAME.png,
//                                        any other NAME@<SCALE>x.png: 3, 1.5, ...)
//
// A picture drawn at scale S has S times as many pixels each way and the same size on the
// screen: the shapes are drawn with the painter scaled, and the tiles' grain, rows and
// specks are computed per pixel, so they come out finer, not blown up.  The window icon is
// drawn at the sizes it is shipped in, not scaled.
//
// The pictures are this program's own artwork, drawn here with QPainter from shapes and a
// small deterministic noise, so running it twice gives the same files.  The results are kept
// in resources/pictures/ and compiled into the program; run this (the `drawpictures_run`
// target does it) only after changing a picture.
//
// The tiles lie behind black captions with a white or yellow shadow: they stay mid-to-light
// and low in contrast, and every tile wraps seamlessly in both directions.

#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QList>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRegularExpression>
#include <QSvgGenerator>
#include <QtMath>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>

namespace {

// The scale the scalable pictures are being drawn at.
double g_scale = 1;

// A length of `logical` pixels at the scale being drawn.
int Scaled(int logical) { return static_cast<int>(std::lround(logical * g_scale)); }

// ---- noise -------------------------------------------------------------------------

// A reproducible pseudo-random value in [-1, 1] for an integer lattice point.
double Hash(int x, int y, int seed) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u +
                    static_cast<std::uint32_t>(seed) * 2246822519u;
  h = (h ^ (h >> 13)) * 1274126177u;
  h ^= h >> 16;
  return (h & 0xffffu) / 32767.5 - 1.0;
}

// Smooth 1-D value noise along x, periodic in `period` (a multiple of `spacing`).
double PeriodicNoise(double x, int spacing, int period, int row, int seed) {
  const int cells = period / spacing;
  const double t = x / spacing;
  const int i = static_cast<int>(std::floor(t));
  const double f = t - i;
  const double a = Hash(((i % cells) + cells) % cells, row, seed);
  const double b = Hash((((i + 1) % cells) + cells) % cells, row, seed);
  const double s = f * f * (3 - 2 * f);
  return a + (b - a) * s;
}

int Clamp(double v) { return v < 0 ? 0 : v > 255 ? 255 : static_cast<int>(std::lround(v)); }

QColor Shade(const QColor& base, double delta) {
  return QColor(Clamp(base.red() + delta), Clamp(base.green() + delta), Clamp(base.blue() + delta * 1.1));
}

// Brushed metal: every row has its own faint brightness and a slow grain along it that
// wraps after `width` pixels; rows are independent, so the tile wraps vertically too.
double BrushedGrain(int x, int y, int width, int seed) {
  const double row = 2.6 * Hash(0, y, seed) + 1.2 * Hash(0, y / 2, seed + 1);
  const double grain = 2.2 * PeriodicNoise(x, width / 4, width, y, seed + 2) +
                       1.4 * PeriodicNoise(x, width / 16 > 0 ? width / 16 : 1, width, y, seed + 3);
  const double speck = 0.8 * Hash(x, y, seed + 4);
  return row + grain + speck;
}

// ---- tiles -------------------------------------------------------------------------

// The common tile: light blue-grey brushed metal with a faint diagonal sheen.
QImage Tile128() {
  const int n = Scaled(128);
  QImage image(n, n, QImage::Format_RGB32);
  const QColor base(182, 191, 204);
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      const double sheen = 2.5 * std::sin(2 * M_PI * (x + y) / n);
      image.setPixelColor(x, y, Shade(base, BrushedGrain(x, y, n, 11) + sheen));
    }
  image.setDevicePixelRatio(g_scale);
  return image;
}

// Behind the main window's fields: the same metal a shade softer, with a gentle band that
// repeats every 34 pixels.
QImage Tile150x34() {
  const int w = Scaled(150), h = Scaled(34);
  QImage image(w, h, QImage::Format_RGB32);
  const QColor base(186, 195, 207);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double band = 2.0 * std::cos(2 * M_PI * y / h);
      image.setPixelColor(x, y, Shade(base, 0.8 * BrushedGrain(x, y, w, 23) + band));
    }
  image.setDevicePixelRatio(g_scale);
  return image;
}

// The warning dialog's tile: a warm light-grey tread plate, its raised diamonds barely
// lighter than the plate.
QImage Tile96() {
  const int pixels = Scaled(96);
  QImage image(pixels, pixels, QImage::Format_RGB32);
  const QColor plate(200, 196, 188);
  for (int y = 0; y < pixels; ++y)
    for (int x = 0; x < pixels; ++x) image.setPixelColor(x, y, Shade(plate, 0.7 * BrushedGrain(x, y, pixels, 37)));

  // The diamonds in the tile's own size: the painter scales them to its pixels.
  image.setDevicePixelRatio(g_scale);
  const int n = 96;
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const int step = 24;
  // Diamonds alternate in direction, as on a tread plate; each is drawn at the tile's
  // neighbouring offsets too, so the ones on the edges wrap.
  for (int gy = 0; gy < n / step; ++gy)
    for (int gx = 0; gx < n / step; ++gx) {
      const QPointF c(gx * step + step / 2.0, gy * step + step / 2.0);
      const bool rising = (gx + gy) % 2 == 0;
      for (int dy = -n; dy <= n; dy += n)
        for (int dx = -n; dx <= n; dx += n) {
          p.save();
          p.translate(c + QPointF(dx, dy));
          p.rotate(rising ? -45 : 45);
          const QRectF bar(-8, -2.2, 16, 4.4);
          p.setPen(Qt::NoPen);
          p.setBrush(QColor(150, 144, 134, 70));  // shadow below and right
          p.drawRoundedRect(bar.translated(0.9, 0.9), 2, 2);
          p.setBrush(QColor(255, 255, 250, 90));  // light above and left
          p.drawRoundedRect(bar.translated(-0.6, -0.6), 2, 2);
          p.setBrush(QColor(206, 202, 194));
          p.drawRoundedRect(bar, 2, 2);
          p.restore();
        }
    }
  return image;
}

// ---- small pictures -----------------------------------------------------------------

QImage Transparent(int w, int h) {
  QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A transparent picture of w x h pixels on the screen, at the scale being drawn: painting on
// it takes the coordinates of its size on the screen.
QImage Canvas(int w, int h) {
  QImage image = Transparent(Scaled(w), Scaled(h));
  image.setDevicePixelRatio(g_scale);
  return image;
}

void Prepare(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
}

// A folder: back flap with its tab, then the front, open (tilted) or closed.
void DrawFolder(QPainter& p, const QRectF& r, bool open) {
  const QColor edge(138, 96, 18);
  QPainterPath back;
  back.moveTo(r.left(), r.top() + r.height() * 0.18);
  back.lineTo(r.left() + r.width() * 0.38, r.top() + r.height() * 0.18);
  back.lineTo(r.left() + r.width() * 0.46, r.top() + r.height() * 0.30);
  back.lineTo(r.right(), r.top() + r.height() * 0.30);
  back.lineTo(r.right(), r.bottom());
  back.lineTo(r.left(), r.bottom());
  back.closeSubpath();
  p.setPen(QPen(edge, 1));
  p.setBrush(QColor(222, 170, 62));
  p.drawPath(back);

  QPainterPath front;
  if (open) {
    front.moveTo(r.left() + r.width() * 0.16, r.top() + r.height() * 0.48);
    front.lineTo(r.right() + r.width() * 0.04, r.top() + r.height() * 0.48);
    front.lineTo(r.right() - r.width() * 0.10, r.bottom());
    front.lineTo(r.left(), r.bottom());
  } else {
    front.moveTo(r.left(), r.top() + r.height() * 0.42);
    front.lineTo(r.right(), r.top() + r.height() * 0.42);
    front.lineTo(r.right(), r.bottom());
    front.lineTo(r.left(), r.bottom());
  }
  front.closeSubpath();
  QLinearGradient shine(r.topLeft(), r.bottomLeft());
  shine.setColorAt(0, QColor(255, 224, 120));
  shine.setColorAt(1, QColor(236, 178, 52));
  p.setBrush(shine);
  p.drawPath(front);
}

// A sheet of paper with a folded corner and a few lines of text.
void DrawPage(QPainter& p, const QRectF& r) {
  const qreal fold = r.width() * 0.32;
  QPainterPath page;
  page.moveTo(r.topLeft());
  page.lineTo(r.right() - fold, r.top());
  page.lineTo(r.right(), r.top() + fold);
  page.lineTo(r.bottomRight());
  page.lineTo(r.bottomLeft());
  page.closeSubpath();
  p.setPen(QPen(QColor(90, 100, 116), 1));
  p.setBrush(QColor(252, 252, 248));
  p.drawPath(page);
  p.setBrush(QColor(210, 216, 226));
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  corner.closeSubpath();
  p.drawPath(corner);
  p.setPen(QPen(QColor(70, 110, 170), 1));
  for (qreal y = r.top() + fold + 1.5; y < r.bottom() - 1; y += 2.5)
    p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
}

QImage OpenData() {
  QImage image = Canvas(20, 20);
  QPainter p(&image);
  Prepare(p);
  DrawFolder(p, QRectF(1.5, 4.5, 16, 13), false);
  DrawPage(p, QRectF(6.5, 1.5, 9, 11));
  // The folder's front over the page's lower part: the page stands in the open folder.
  QPainterPath front;
  front.moveTo(3.5, 10.5);
  front.lineTo(19.5, 10.5);
  front.lineTo(17.5, 17.5);
  front.lineTo(1.5, 17.5);
  front.closeSubpath();
  QLinearGradient shine(0, 10, 0, 18);
  shine.setColorAt(0, QColor(255, 224, 120));
  shine.setColorAt(1, QColor(236, 178, 52));
  p.setPen(QPen(QColor(138, 96, 18), 1));
  p.setBrush(shine);
  p.drawPath(front);
  return image;
}

// A padlock, for the encrypted archive.
void DrawLock(QPainter& p, const QRectF& body) {
  p.setPen(QPen(QColor(70, 74, 84), 1.6));
  p.setBrush(Qt::NoBrush);
  const qreal w = body.width();
  p.drawArc(QRectF(body.left() + w * 0.2, body.top() - w * 0.55, w * 0.6, w * 1.0), 0, 180 * 16);
  p.drawLine(QPointF(body.left() + w * 0.2, body.top() - w * 0.05), QPointF(body.left() + w * 0.2, body.top()));
  p.drawLine(QPointF(body.right() - w * 0.2, body.top() - w * 0.05), QPointF(body.right() - w * 0.2, body.top()));
  QLinearGradient brass(body.topLeft(), body.bottomLeft());
  brass.setColorAt(0, QColor(252, 214, 96));
  brass.setColorAt(1, QColor(196, 140, 30));
  p.setPen(QPen(QColor(120, 84, 14), 1));
  p.setBrush(brass);
  p.drawRoundedRect(body, 1.2, 1.2);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(70, 50, 10));
  p.drawEllipse(QPointF(body.center().x(), body.center().y() - 0.5), 1.0, 1.0);
}

QImage OpenArchive() {
  QImage image = Canvas(20, 20);
  QPainter p(&image);
  Prepare(p);
  // A bound bundle of pages: the archive.
  for (int i = 2; i >= 0; --i) {
    const QRectF sheet(1.5 + i * 1.5, 2.5 + i * 1.5, 12, 14);
    p.setPen(QPen(QColor(90, 100, 116), 1));
    p.setBrush(i == 0 ? QColor(252, 252, 248) : QColor(226, 230, 236));
    p.drawRect(sheet);
  }
  p.setPen(QPen(QColor(70, 110, 170), 1));
  for (qreal y = 8.5; y < 18; y += 2.5) p.drawLine(QPointF(6, y), QPointF(13.5, y));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 110, 180));
  p.drawRect(QRectF(4.5, 5.5, 2, 12));  // the binding strap
  DrawLock(p, QRectF(11.5, 11.5, 7.5, 6.5));
  return image;
}

QImage Save() {
  QImage image = Canvas(20, 20);
  QPainter p(&image);
  Prepare(p);
  QPainterPath disk;
  disk.moveTo(2.5, 2.5);
  disk.lineTo(15.5, 2.5);
  disk.lineTo(17.5, 4.5);
  disk.lineTo(17.5, 17.5);
  disk.lineTo(2.5, 17.5);
  disk.closeSubpath();
  QLinearGradient body(0, 2, 0, 18);
  body.setColorAt(0, QColor(72, 116, 186));
  body.setColorAt(1, QColor(36, 70, 132));
  p.setPen(QPen(QColor(24, 44, 86), 1));
  p.setBrush(body);
  p.drawPath(disk);
  p.setPen(QPen(QColor(150, 156, 166), 1));
  p.setBrush(QColor(250, 250, 246));
  p.drawRect(QRectF(5.5, 2.5, 9, 6));  // label
  p.setPen(QPen(QColor(120, 140, 170), 0.8));
  p.drawLine(QPointF(7, 4.5), QPointF(13, 4.5));
  p.drawLine(QPointF(7, 6.5), QPointF(13, 6.5));
  p.setPen(QPen(QColor(90, 96, 106), 1));
  p.setBrush(QColor(196, 202, 212));
  p.drawRect(QRectF(6.5, 11.5, 8, 6));  // shutter
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 66, 78));
  p.drawRect(QRectF(11, 12.5, 2, 4));
  return image;
}

// A gear with `teeth` teeth around centre c.
QPainterPath Gear(QPointF c, qreal outer, qreal inner, qreal hole, int teeth) {
  QPainterPath path;
  const int steps = teeth * 4;
  for (int i = 0; i <= steps; ++i) {
    const qreal a = 2 * M_PI * i / steps;
    const qreal r = (i % 4 == 0 || i % 4 == 1) ? outer : inner;
    const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
    if (i == 0)
      path.moveTo(pt);
    else
      path.lineTo(pt);
  }
  path.closeSubpath();
  path.addEllipse(c, hole, hole);
  path.setFillRule(Qt::OddEvenFill);
  return path;
}

QImage Preferences() {
  QImage image = Canvas(20, 20);
  QPainter p(&image);
  Prepare(p);
  QRadialGradient metal(QPointF(8, 7), 10);
  metal.setColorAt(0, QColor(214, 222, 234));
  metal.setColorAt(1, QColor(98, 112, 134));
  p.setPen(QPen(QColor(48, 58, 76), 1));
  p.setBrush(metal);
  p.drawPath(Gear(QPointF(10, 10), 8.6, 6.4, 2.6, 8));
  // A small blue slider across the lower right: settings.
  p.setPen(QPen(QColor(30, 60, 120), 1.6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(12.5, 17.5), QPointF(18.5, 17.5));
  p.setPen(QPen(QColor(20, 40, 90), 1));
  p.setBrush(QColor(110, 160, 230));
  p.drawRoundedRect(QRectF(14, 15, 3, 5), 1, 1);
  return image;
}

// ---- two-state glyphs ----------------------------------------------------------------

// The normal face beside its disabled form: the face in pale greys, over a white copy of
// its outline set one pixel down and right, as a disabled button face is shown.
QImage TwoState(const QImage& face) {
  const int w = face.width(), h = face.height();  // in pixels
  const QImage source = face.convertToFormat(QImage::Format_ARGB32);
  QImage emboss(w, h, QImage::Format_ARGB32);
  QImage pale(w, h, QImage::Format_ARGB32);
  emboss.setDevicePixelRatio(face.devicePixelRatio());
  pale.setDevicePixelRatio(face.devicePixelRatio());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const QRgb px = source.pixel(x, y);
      const int a = qAlpha(px);
      const int grey = 104 + qGray(px) * 120 / 255;
      emboss.setPixel(x, y, qRgba(255, 255, 255, a * 200 / 255));
      pale.setPixel(x, y, qRgba(grey, grey, grey, a));
    }
  // Composed in the size on the screen: the emboss stands one screen pixel off.
  const QSizeF size = face.deviceIndependentSize();
  QImage strip = Canvas(2 * qRound(size.width()), qRound(size.height()));
  QPainter p(&strip);
  p.drawImage(QPointF(0, 0), face);
  p.drawImage(QPointF(size.width() + 1, 1), emboss);
  p.drawImage(QPointF(size.width(), 0), pale);
  return strip;
}

QImage Face(const std::function<void(QPainter&)>& draw) {
  QImage image = Canvas(16, 16);
  QPainter p(&image);
  Prepare(p);
  draw(p);
  return image;
}

void Tick(QPainter& p, QColor colour, qreal width, QPointF a, QPointF b, QPointF c) {
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  QPainterPath path(a);
  path.lineTo(b);
  path.lineTo(c);
  p.drawPath(path);
}

void Cross(QPainter& p, QColor colour, qreal width, const QRectF& r) {
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(r.topLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomLeft());
}

QImage GlyphOk() {
  return TwoState(Face([](QPainter& p) {
    Tick(p, QColor(10, 70, 20), 3.6, {2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5});
    Tick(p, QColor(46, 168, 64), 2.2, {2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5});
  }));
}

QImage GlyphCancel() {
  return TwoState(Face([](QPainter& p) {
    Cross(p, QColor(110, 10, 10), 3.6, QRectF(3.5, 3.5, 9, 9));
    Cross(p, QColor(220, 46, 40), 2.2, QRectF(3.5, 3.5, 9, 9));
  }));
}

void Disc(QPainter& p, QColor light, QColor dark) {
  QRadialGradient g(QPointF(6, 5), 9);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  p.setPen(QPen(dark.darker(150), 1));
  p.setBrush(g);
  p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
}

QImage GlyphYes() {
  return TwoState(Face([](QPainter& p) {
    Disc(p, QColor(130, 220, 120), QColor(30, 130, 44));
    Tick(p, Qt::white, 2.0, {4.5, 8.0}, {7.0, 10.5}, {11.5, 5.0});
  }));
}

QImage GlyphNo() {
  return TwoState(Face([](QPainter& p) {
    Disc(p, QColor(250, 140, 120), QColor(170, 30, 24));
    Cross(p, Qt::white, 2.0, QRectF(5.5, 5.5, 5, 5));
  }));
}

QImage GlyphFolder() {
  return TwoState(Face([](QPainter& p) { DrawFolder(p, QRectF(1.5, 2.5, 13, 11), false); }));
}

// ---- the program's own marks ---------------------------------------------------------

// A six-armed frost star, each arm with two small branches.
void Snowflake(QPainter& p, QPointF c, qreal r, QColor colour, qreal width) {
  p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 6; ++i) {
    const qreal a = M_PI / 2 + i * M_PI / 3;
    const QPointF dir(std::cos(a), -std::sin(a));
    p.drawLine(c, c + dir * r);
    const QPointF fork = c + dir * (r * 0.58);
    for (int s = -1; s <= 1; s += 2) {
      const qreal b = a + s * M_PI / 4;
      p.drawLine(fork, fork + QPointF(std::cos(b), -std::sin(b)) * (r * 0.32));
    }
  }
}

// The program's icon, drawn in a 48-unit square: a blue control-panel face with a small
// display and a frost star, for the program that fills a chiller panel with its order data.
// Below 32 pixels the frame's inner light, the display's second line and the star's branches
// would blur into one another, so the small sizes get a plainer face with bolder strokes.
void DrawIcon(QPainter& p, bool small) {
  QLinearGradient body(0, 2, 0, 46);
  body.setColorAt(0, QColor(92, 146, 206));
  body.setColorAt(1, QColor(30, 64, 122));
  p.setPen(QPen(QColor(18, 38, 76), 1.5));
  p.setBrush(body);
  p.drawRoundedRect(QRectF(3, 3, 42, 42), 7, 7);
  if (small) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 52, 58));
    p.drawRoundedRect(QRectF(8, 7, 32, 14), 2, 2);
    p.setPen(QPen(QColor(120, 240, 180), 4.0, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(12, 14), QPointF(30, 14));
    // The star as three crossing bars.
    const QPointF centre(24, 33.5);
    p.setPen(QPen(QColor(236, 248, 255), 4.0, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
      const qreal a = M_PI / 2 + i * M_PI / 3;
      const QPointF arm = QPointF(std::cos(a), -std::sin(a)) * 11.0;
      p.drawLine(centre - arm, centre + arm);
    }
    return;
  }
  p.setPen(QPen(QColor(255, 255, 255, 70), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(4.5, 4.5, 39, 39), 6, 6);
  // The display.
  p.setPen(QPen(QColor(12, 28, 40), 1.2));
  p.setBrush(QColor(20, 52, 58));
  p.drawRoundedRect(QRectF(9, 8, 30, 13), 2, 2);
  p.setPen(QPen(QColor(120, 240, 180), 2.0, Qt::SolidLine, Qt::FlatCap));
  p.drawLine(QPointF(12, 12), QPointF(30, 12));
  p.drawLine(QPointF(12, 17), QPointF(24, 17));
  // The frost star below it.
  Snowflake(p, QPointF(24, 33), 9.5, QColor(14, 30, 64, 120), 3.6);
  Snowflake(p, QPointF(24, 33), 9.5, QColor(236, 248, 255), 2.0);
}

// The icon at `size` x `size` pixels.
QImage Icon(int size) {
  QImage image = Transparent(size, size);
  QPainter p(&image);
  Prepare(p);
  p.scale(size / 48.0, size / 48.0);
  DrawIcon(p, size < 32);
  return image;
}

// The icon as a scalable picture (SVG), from the same drawing as the large PNG sizes.
QByteArray IconSvg() {
  QBuffer buffer;
  QSvgGenerator svg;
  svg.setOutputDevice(&buffer);
  svg.setSize(QSize(48, 48));
  svg.setViewBox(QRectF(0, 0, 48, 48));
  svg.setTitle(QStringLiteral("quellso"));
  {
    QPainter p(&svg);
    Prepare(p);
    DrawIcon(p, false);
  }
  // The generator gives the size in millimetres; an icon is measured in pixels.
  QByteArray text = buffer.data();
  static const QRegularExpression size(QStringLiteral("<svg width=\"[^\"]*\" height=\"[^\"]*\""));
  return QString::fromUtf8(text).replace(size, QStringLiteral("<svg width=\"48\" height=\"48\"")).toUtf8();
}

// The product: a chiller on its frame, two shells side by side under a compressor, and
// its control panel.
QImage Product() {
  QImage image = Canvas(43, 43);
  QPainter p(&image);
  Prepare(p);
  auto shell = [&](const QRectF& r) {
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(120, 150, 190));
    g.setColorAt(0.35, QColor(214, 228, 244));
    g.setColorAt(1, QColor(52, 78, 118));
    p.setPen(QPen(QColor(30, 44, 70), 1));
    p.setBrush(g);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
  };
  // frame and feet
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 64, 72));
  p.drawRect(QRectF(3, 37, 37, 3));
  p.drawRect(QRectF(6, 33, 3, 5));
  p.drawRect(QRectF(34, 33, 3, 5));
  shell(QRectF(2.5, 25.5, 38, 10));  // evaporator
  shell(QRectF(4.5, 15.5, 34, 10));  // condenser
  // compressor on top
  QLinearGradient dome(6, 0, 26, 0);
  dome.setColorAt(0, QColor(70, 98, 140));
  dome.setColorAt(0.4, QColor(200, 216, 236));
  dome.setColorAt(1, QColor(50, 72, 108));
  p.setPen(QPen(QColor(30, 44, 70), 1));
  p.setBrush(dome);
  p.drawRoundedRect(QRectF(8.5, 4.5, 18, 11), 4, 4);
  p.drawRect(QRectF(12.5, 13.5, 4, 3));
  // control panel
  p.setBrush(QColor(238, 240, 236));
  p.drawRect(QRectF(29.5, 3.5, 11, 12));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(20, 52, 58));
  p.drawRect(QRectF(31, 5, 8, 4));
  p.setBrush(QColor(120, 240, 180));
  p.drawRect(QRectF(32, 6.5, 5, 1));
  p.setBrush(QColor(40, 150, 60));
  p.drawEllipse(QPointF(32.5, 12), 1, 1);
  p.setBrush(QColor(210, 40, 30));
  p.drawEllipse(QPointF(36.5, 12), 1, 1);
  return image;
}

// The developers' mark: a ring with a wave running out of it, in deep blue and yellow.
QImage Logo() {
  QImage image = Canvas(37, 30);
  QPainter p(&image);
  Prepare(p);
  p.setPen(QPen(QColor(20, 46, 104), 4.2));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(4, 3, 21, 21));
  QPainterPath wave(QPointF(16, 18));
  wave.cubicTo(QPointF(21, 28), QPointF(27, 14), QPointF(34, 26));
  p.setPen(QPen(QColor(20, 46, 104), 4.2, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(wave);
  p.setPen(QPen(QColor(250, 204, 40), 1.8, Qt::SolidLine, Qt::RoundCap));
  p.drawPath(wave);
  p.setPen(QPen(QColor(120, 170, 236), 1.2));
  p.drawArc(QRectF(5.5, 4.5, 18, 18), 60 * 16, 90 * 16);
  return image;
}

// "tile128.png" at scale 1, "tile128@2x.png" at scale 2: the names the toolkit looks for.
QString FileName(const char* name, double scale) {
  if (scale == 1) return QStringLiteral("%1.png").arg(QLatin1String(name));
  return QStringLiteral("%1@%2x.png").arg(QLatin1String(name)).arg(scale);
}

bool WriteSvg(const QDir& folder, const char* name, const QByteArray& svg) {
  const QString path = folder.filePath(QStringLiteral("%1.svg").arg(QLatin1String(name)));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(svg) != svg.size() || !file.flush()) {
    std::fprintf(stderr, "drawpictures: could not write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s\n", qPrintable(path));
  return true;
}

bool Write(const QDir& folder, const QString& fileName, const QImage& image) {
  const QString path = folder.filePath(fileName);
  if (!image.save(path, "PNG", 9)) {
    std::fprintf(stderr, "drawpictures: could not write %s\n", qPrintable(path));
    return false;
  }
  std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QList<double> scales{1, 2};
  if (argc == 3) {
    bool number = false;
    const double scale = QString::fromLocal8Bit(argv[2]).toDouble(&number);
    if (!number || scale < 0.5 || scale > 8) {
      std::fprintf(stderr, "drawpictures: the scale must be a number from 0.5 to 8, not %s\n", argv[2]);
      return 2;
    }
    scales = {scale};
  } else if (argc != 2) {
    std::fprintf(stderr, "usage: drawpictures OUTPUT_FOLDER [SCALE]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "drawpictures: could not create %s\n", argv[1]);
    return 1;
  }
  // Drawn at every scale asked for.
  const struct {
    const char* name;
    QImage (*draw)();
  } scalable[] = {
      {"tile128", Tile128},         {"tile150x34", Tile150x34},   {"tile96", Tile96},
      {"open_data", OpenData},      {"open_archive", OpenArchive}, {"save", Save},
      {"preferences", Preferences}, {"glyph_ok", GlyphOk},         {"glyph_cancel", GlyphCancel},
      {"glyph_yes", GlyphYes},      {"glyph_no", GlyphNo},         {"glyph_folder", GlyphFolder},
      {"product", Product},         {"logo", Logo},
  };
  // The icon, drawn at the sizes a desktop's icon theme asks for, with the pictures of scale 1.
  const struct {
    const char* name;
    int size;
  } icons[] = {{"icon", 48},   {"icon256", 256}, {"icon16", 16}, {"icon22", 22},
               {"icon24", 24}, {"icon32", 32},   {"icon64", 64}, {"icon128", 128}};

  bool ok = true;
  for (const double scale : scales) {
    g_scale = scale;
    for (const auto& picture : scalable) ok = Write(folder, FileName(picture.name, scale), picture.draw()) && ok;
    if (scale != 1) continue;
    for (const auto& icon : icons) ok = Write(folder, FileName(icon.name, 1), Icon(icon.size)) && ok;
    ok = WriteSvg(folder, "icon", IconSvg()) && ok;
  }
  return ok ? 0 : 1;
}
