#pragma once

// The program's fonts.  The windows are laid out for the letter widths of Liberation Sans
// (metric-compatible with the common Windows sans-serif faces); the other families stand in
// where it is missing.

#include <QFont>

// A sans-serif font `pixelSize` pixels high: 11 for the windows' default text (8 point),
// 13 for group headings (10 point), 21 for the About box's product name.
QFont SansFont(int pixelSize, bool bold = false, bool italic = false);
