#pragma once

// The program's pictures, compiled into it as resources under ":/pictures/".
//
//   tile128          the common 128 x 128 background tile (dialogs, the toolbar strip)
//   tile150x34       the 150 x 34 tile behind the main window's fields
//   tile96           the 96 x 96 tile of the default-length warning
//   open_data, open_archive, save, preferences     toolbar button faces
//   glyph_ok, glyph_cancel, glyph_yes, glyph_no, glyph_folder   two-state button glyphs
//   icon, icon256    the window icon, 48 x 48 and 256 x 256
//   product, logo    the About box's pictures

#include <QIcon>
#include <QPixmap>

// The picture of that name; a null pixmap when there is none.  On a screen scaled by more
// than 1 it is the one drawn at twice the density (NAME@2x, device pixel ratio 2), where
// there is one: measure it with deviceIndependentSize(), not size().
QPixmap Picture(const char* name);
// A two-state button glyph: the picture holds the normal and the disabled image side by
// side; the icon shows the first normally and the second when the button is disabled.
QIcon Glyph(const char* name);
// The program's icon, at both its sizes: every window shows it.
QIcon ProgramIcon();
