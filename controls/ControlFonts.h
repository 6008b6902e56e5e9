// SPDX-License-Identifier: GPL-3.0-or-later
// Fonts of the controls: the preferred family where installed, else the platform sans-serif.
#pragma once

#include <QFont>
#include <QString>

namespace quorvell {

inline constexpr const char* kCaptionFamily = "Arial Unicode MS";
inline constexpr const char* kDropDownFamily = "Arial";

// `family` if installed (or a metric-compatible substitute), else the platform's sans-serif.
// `cellHeight` is the font height of the described controls: ascent + descent in pixels, so
// the em size is somewhat smaller.
QFont PixelFont(const QString& family, int cellHeight, bool bold = false);
// The same with the size in points.
QFont PointFont(const QString& family, int pointSize, bool bold = false);

// `font` made smaller, down to 9 pixels, until `text` fits `width`. The drop-down entries
// differ at their ends ("Butterworth 1", "Butterworth 2"), so clipping or eliding them at the
// original size would hide the difference where the preferred narrow family is missing.
QFont FittingFont(QFont font, const QString& text, int width);

}  // namespace quorvell
