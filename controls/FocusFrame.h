// SPDX-License-Identifier: GPL-3.0-or-later
// The focus frame every skinned control draws while keyboard focus is on it.
#pragma once

#include <QColor>
#include <QRect>
#include <Qt>

class QPainter;

namespace quorvell {

// Whether the frame shows after focus arrives for `reason`, given whether it showed before.
// Focus from the keyboard (Tab, Backtab, a shortcut) shows it; a click or a program's choice
// does not (the first key pressed afterwards does); focus coming back with its window (after a
// modal box or a pop-up) keeps what it was.
bool FocusShownAfter(bool shownBefore, Qt::FocusReason reason);

// A 1-pixel line in `inner` (by default the skin's cyan) just inside a dark 1-pixel line on the
// edge of `area`. Buttons pass their caption colour, which always stands out on their image.
void PaintFocusFrame(QPainter& painter, const QRect& area,
                     const QColor& inner = QColor(0, 255, 255));

}  // namespace quorvell
