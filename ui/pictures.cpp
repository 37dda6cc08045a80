#include "ui/pictures.h"

#include <QGuiApplication>

// On a screen scaled by more than 1 (QT_SCALE_FACTOR=2, a desktop at 200 %) the picture
// drawn at twice the density, where there is one: it has the same size on the screen and
// twice the pixels each way.
QPixmap Picture(const char* name) {
  if (qGuiApp && qGuiApp->devicePixelRatio() > 1) {
    QPixmap dense(QStringLiteral(":/pictures/%1@2x.png").arg(QLatin1String(name)));
    if (!dense.isNull()) {
      dense.setDevicePixelRatio(2);
      return dense;
    }
  }
  return QPixmap(QStringLiteral(":/pictures/%1.png").arg(QLatin1String(name)));
}

QIcon Glyph(const char* name) {
  const QPixmap strip = Picture(name);
  if (strip.isNull()) return {};
  const int half = strip.width() / 2;  // in pixels, as copy() takes them
  QIcon icon;
  icon.addPixmap(strip.copy(0, 0, half, strip.height()), QIcon::Normal);
  icon.addPixmap(strip.copy(half, 0, strip.width() - half, strip.height()), QIcon::Disabled);
  return icon;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const char* name : {"icon", "icon256"}) {
    const QPixmap picture = Picture(name);
    if (!picture.isNull()) icon.addPixmap(picture);
  }
  return icon;
}
