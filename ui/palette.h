#pragma once

// The colours the program's windows are designed in: dark text on light grey controls, which
// reads well over the light tiled pictures.  Every window drawn over pictures keeps these
// whatever the desktop's colour scheme: the tiled panel (TWallpaper) gives them to every
// control on it, so a dark desktop theme cannot put light text on the light tiles.  Windows
// without pictures (message boxes, file dialogs) follow the desktop.

#include <QPalette>

QPalette DesignedPalette();
