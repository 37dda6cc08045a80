#include "ui/centre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QWidget>

namespace {

// The frame around the last window seen framed.
QMargins lastFrame;

QMargins FrameOf(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect client = window->geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

// Moves the window so that a frame of `margins` around it is centred.
void Place(QWidget* window, const QMargins& margins) {
  QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame(QPoint(0, 0), window->size().grownBy(margins));
  frame.moveCenter(screen->availableGeometry().center());
  window->move(frame.topLeft());  // a window's position is that of its frame
}

// Centres the window again once its frame is known, then goes.
class FrameWatch : public QObject {
 public:
  FrameWatch(QWidget* window, const QMargins& assumed) : QObject(window), window_(window), assumed_(assumed) {
    setObjectName(QStringLiteral("quellso-frame-watch"));
    // Watched until its frame is known: on a display without a window manager that never
    // happens, and the watch only ends with the window.
    window->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
      const QMargins frame = FrameOf(window_);
      if (!frame.isNull()) {
        lastFrame = frame;
        window_->removeEventFilter(this);
        if (frame != assumed_) Place(window_, frame);
        deleteLater();
      }
    }
    return false;
  }

 private:
  QPointer<QWidget> window_;
  QMargins assumed_;
};

}  // namespace

void CentreOnScreen(QWidget* window) {
  const QMargins frame = FrameOf(window);
  if (!frame.isNull()) {
    lastFrame = frame;
    Place(window, frame);
    return;
  }
  Place(window, lastFrame);
  delete window->findChild<QObject*>(QStringLiteral("quellso-frame-watch"), Qt::FindDirectChildrenOnly);
  new FrameWatch(window, lastFrame);
}
