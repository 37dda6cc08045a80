#include "panel/portlist.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

int ComPortNumber(const QString& name) {
  if (name.size() < 4 || name.size() > 6 || name.left(3).compare("COM", Qt::CaseInsensitive) != 0) return 0;
  int number = 0;
  for (QChar c : name.mid(3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c.unicode() - '0');  // at most three digits: no overflow
  }
  return number >= 1 && number <= 255 ? number : 0;
}

QList<TSerialAdapter> SerialAdaptersPresent(const QString& root) {
  QString base = root;
  while (base.endsWith('/')) base.chop(1);
  QList<TSerialAdapter> found;
  QSet<QString> linked;  // the devices a by-id link leads to
  const QDir byId(base + "/dev/serial/by-id");
  for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString device = link.canonicalFilePath();
    if (device.isEmpty()) continue;  // a link left behind by an adapter that is gone
    linked.insert(device);
    found.append({link.absoluteFilePath(), link.fileName(), QFileInfo(device).fileName()});
  }
  const QDir dev(base + "/dev");
  for (const QFileInfo& tty : dev.entryInfoList({"ttyUSB*", "ttyACM*"}, QDir::System | QDir::Files, QDir::Name))
    if (!linked.contains(tty.canonicalFilePath())) found.append({tty.absoluteFilePath(), tty.fileName(), tty.fileName()});
  return found;
}

QStringList SerialAdapterPaths(const QString& root) {
  QStringList paths;
  for (const TSerialAdapter& adapter : SerialAdaptersPresent(root)) paths << adapter.path;
  return paths;
}

bool StandsFor(const QString& name, const TPortChoice& choice) {
  if (name == choice.name) return true;
  const int n = ComPortNumber(name);
  return n >= 1 && n <= 4 && n == ComPortNumber(choice.name);
}

int FindPortChoice(const QList<TPortChoice>& choices, const QString& name) {
  for (qsizetype i = 0; i < choices.size(); ++i)
    if (name == choices[i].name) return static_cast<int>(i);
  for (qsizetype i = 0; i < choices.size(); ++i)
    if (StandsFor(name, choices[i])) return static_cast<int>(i);
  return -1;
}

QList<TPortChoice> PortChoices(const QList<TSerialAdapter>& adapters, const QStringList& names) {
  QList<TPortChoice> choices;
  for (int n = 1; n <= 4; ++n)
    choices.append({QStringLiteral("Communications Port %1 (COM%1)").arg(n), QStringLiteral("COM%1").arg(n)});
  for (const TSerialAdapter& adapter : adapters)
    choices.append({adapter.name == adapter.device ? adapter.path : adapter.name + " (" + adapter.device + ")",
                    adapter.path});
  for (const QString& name : names) {
    const int at = FindPortChoice(choices, name);
    if (at >= 0) {
      choices[at].name = name;
      continue;
    }
    QString text = name.isEmpty() ? QStringLiteral("(none)") : name;
    if (name.startsWith('/') && !QFileInfo::exists(name)) text += " (not connected)";
    choices.append({text, name});
  }
  return choices;
}
