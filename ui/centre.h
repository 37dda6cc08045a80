#pragma once

// Centring a window on the screen: its frame, title bar and borders included, in the middle
// of the screen's available area.
//
// On X11 the frame's size is known only once the window manager has put its frame around the
// window, which happens after the window is first shown.  Until then the frame is taken to be
// as large as the last one seen around a window of this program, and the window is centred
// once more as soon as its own frame is known; later shows are exact at once.

class QWidget;

// Call before the window is shown, or from its showEvent (which runs before it appears).
void CentreOnScreen(QWidget* window);
