#include "ui/centre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QPointer>
#include <QWidget>
#include <QWindow>

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

// Places its window on the shows asked for, and again once the window manager has framed it.
class Centring : public QObject {
 public:
  Centring(QWidget* window, TCentred when) : QObject(window), window_(window), when_(when) {
    window->installEventFilter(this);
    // Placed before the window exists, so that the positions given until its frame is known
    // count as the frame's.
    PlaceNow();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Show) {
      // Sent before the window appears.
      if (when_ == TCentred::AtEveryShow || !shown_) PlaceNow();
      shown_ = true;
    } else if (watched == watched_window_ && (event->type() == QEvent::Expose || event->type() == QEvent::Move ||
                                              event->type() == QEvent::Resize)) {
      const QMargins frame = FrameOf(window_);
      if (!frame.isNull()) {
        // Framed: the frame is known now, and positions given from now on are the frame's.
        lastFrame = frame;
        watched_window_->removeEventFilter(this);
        watched_window_ = nullptr;
        if (frame != assumed_) Place(window_, frame);
      }
    }
    return false;
  }

 private:
  void PlaceNow() {
    const QMargins known = FrameOf(window_);
    assumed_ = known.isNull() ? lastFrame : known;
    Place(window_, assumed_);
    // Until the frame is known, the window is watched for it; on a display without a window
    // manager that never happens, and the watch only ends with the window.
    if (known.isNull() && !watched_window_ && window_->windowHandle()) {
      watched_window_ = window_->windowHandle();
      watched_window_->installEventFilter(this);
    }
  }

  QWidget* window_;
  TCentred when_;
  bool shown_ = false;
  QMargins assumed_;
  QPointer<QWindow> watched_window_;
};

}  // namespace

void KeepCentred(QWidget* window, TCentred when) { new Centring(window, when); }
