#pragma once

// Centring a window on the screen: its frame, title bar and borders included, in the middle
// of the screen's available area.
//
// On X11 the frame's size is known only once the window manager has put its frame around the
// window, after the window is first shown, and a position given before that counts as the
// frame's only if it was given before the window was created.  So the window is placed as it
// is made, placed again as it is shown (taking the frame to be as large as the last one seen
// around a window of this program), and once more as soon as its own frame is known; later
// shows are exact at once.

class QWidget;

enum class TCentred { AtFirstShow, AtEveryShow };

// Call in the window's constructor, once its size is fixed.
void KeepCentred(QWidget* window, TCentred when);
