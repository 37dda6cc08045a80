#include "ui/pictures.h"

QPixmap Picture(const char* name) { return QPixmap(QStringLiteral(":/pictures/%1.png").arg(QLatin1String(name))); }

QIcon Glyph(const char* name) {
  const QPixmap strip = Picture(name);
  if (strip.isNull()) return {};
  const int half = strip.width() / 2;
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
