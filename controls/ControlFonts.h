// Fonts of the controls: the preferred family where installed, else the platform sans-serif.
#pragma once

#include <QFont>
#include <QString>

namespace quorvell {

inline constexpr const char* kCaptionFamily = "Arial Unicode MS";
inline constexpr const char* kDropDownFamily = "Arial";

// `family` if installed, else the platform's sans-serif; size in pixels.
QFont PixelFont(const QString& family, int pixelSize, bool bold = false);
// The same with the size in points.
QFont PointFont(const QString& family, int pointSize, bool bold = false);

}  // namespace quorvell
