#pragma once

// A root folder of fake device nodes and by-id links, laid out as udev does it
// (dev/ttyUSB0, dev/serial/by-id/usb-...-port0 -> ../../ttyUSB0), for the port list's seam.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

class DeviceTree {
 public:
  DeviceTree() { QDir(dir_.path()).mkpath("dev/serial/by-id"); }
  QString Root() const { return dir_.path(); }
  QString Path(const QString& relative) const { return dir_.filePath(relative); }
  // A device node (a plain file stands in for it).
  void Device(const QString& name) {
    QFile node(Path("dev/" + name));
    ASSERT_TRUE(node.open(QIODevice::WriteOnly));
  }
  // A by-id link to dev/<device>, relative as udev makes them.
  void Link(const QString& name, const QString& device) {
    ASSERT_EQ(::symlink(("../../" + device).toLocal8Bit().constData(),
                        Path("dev/serial/by-id/" + name).toLocal8Bit().constData()),
              0);
  }
  // The adapter unplugged: its node and its link go.
  void Unplug(const QString& link, const QString& device) {
    QFile::remove(Path("dev/serial/by-id/" + link));
    QFile::remove(Path("dev/" + device));
  }

 private:
  QTemporaryDir dir_;
};
