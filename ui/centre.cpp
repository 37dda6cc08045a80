#include "ui/centre.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMargins>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Once framed, a window is watched this long for the window manager's last word on where it
// stands, and put right at most this many times.
constexpr int kSettleMs = 1000;
constexpr int kCorrections = 4;

// The frame around the last window seen framed.
QMargins lastFrame;

QMargins FrameOf(const QWidget* window) {
  const QRect frame = window->frameGeometry();
  const QRect client = window->geometry();
  return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
          frame.bottom() - client.bottom()};
}

// Where the frame's top-left corner goes when a frame of `margins` around the window is
// centred on its screen.
QPoint CentredFrame(const QWidget* window, const QMargins& margins) {
  QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  QRect frame(QPoint(0, 0), window->size().grownBy(margins));
  if (screen) frame.moveCenter(screen->availableGeometry().center());
  return frame.topLeft();
}

// Places its window on the shows asked for, and again once the window manager has framed it.
//
// How a position given before the window is framed is taken depends on the toolkit's state
// (the frame's corner, or the client area's when the window was created without a position),
// so once the frame is known the window is moved to where its frame should stand, and again
// by any difference the window manager leaves.
class Centring : public QObject {
 public:
  Centring(QWidget* window, TCentred when) : QObject(window), window_(window), when_(when) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&settle_, &QTimer::timeout, this, [this] { StopWatching(); });
    window->installEventFilter(this);
    PlaceNow();  // before the window exists
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Show) {
      // Sent before the window appears.
      if (when_ == TCentred::AtEveryShow || !shown_) PlaceNow();
      shown_ = true;
    } else if (watched == watched_window_ && (event->type() == QEvent::Expose || event->type() == QEvent::Move ||
                                              event->type() == QEvent::Resize)) {
      Settle();
    }
    return false;
  }

 private:
  void PlaceNow() {
    const QMargins known = FrameOf(window_);
    request_ = CentredFrame(window_, known.isNull() ? lastFrame : known);
    window_->move(request_);  // a window's position is that of its frame
    requested_framed_ = !known.isNull();
    corrections_ = kCorrections;
    // Watched until the frame stands where it should; on a display without a window manager
    // the frame never becomes known, and the watch only ends with the window.
    if (window_->windowHandle() && watched_window_ != window_->windowHandle()) {
      StopWatching();
      watched_window_ = window_->windowHandle();
      watched_window_->installEventFilter(this);
    }
  }

  void Settle() {
    const QMargins frame = FrameOf(window_);
    if (frame.isNull()) return;  // not framed yet
    lastFrame = frame;
    if (!settle_.isActive()) settle_.start();
    const QPoint target = CentredFrame(window_, frame);
    const QPoint actual = window_->frameGeometry().topLeft();
    if (actual == target || corrections_ == 0) return;
    --corrections_;
    // A position given once the window is framed is the frame's; one given before may have
    // been taken as the client area's.  After that, the difference the window manager left.
    request_ = requested_framed_ ? request_ + (target - actual) : target;
    requested_framed_ = true;
    window_->move(request_);
    settle_.start();
  }

  void StopWatching() {
    if (watched_window_) watched_window_->removeEventFilter(this);
    watched_window_ = nullptr;
  }

  QWidget* window_;
  TCentred when_;
  bool shown_ = false;
  QPoint request_;
  bool requested_framed_ = false;
  int corrections_ = 0;
  QPointer<QWindow> watched_window_;
  QTimer settle_;
};

}  // namespace

void KeepCentred(QWidget* window, TCentred when) { new Centring(window, when); }
