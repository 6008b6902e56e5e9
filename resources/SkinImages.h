// SPDX-License-Identifier: GPL-3.0-or-later
// The program's images, drawn in code from their sizes and colours and kept by numeric id.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace quorvell {

// Image ids used by the controls and pages.
inline constexpr int kProgramIcon = 128;         // program icon
inline constexpr int kButtonDarkWide = 130;      // 100 x 28, dark with cyan border
inline constexpr int kButtonCyanWide = 131;      // 100 x 28, solid cyan
inline constexpr int kStepperDecreaseLit = 137;  // 90 x 20
inline constexpr int kStepperMiddleLit = 138;    // 90 x 20
inline constexpr int kStepperIncreaseLit = 139;  // 90 x 20
inline constexpr int kStepperDisabled = 140;     // 90 x 20
inline constexpr int kStepperNormal = 141;       // 90 x 20
inline constexpr int kDropDownNormal = 142;      // 90 x 20
inline constexpr int kDropDownHover = 143;       // 90 x 20
inline constexpr int kButtonCyanSmall = 144;     // 38 x 28, solid cyan
inline constexpr int kButtonDarkSmall = 145;     // 38 x 28, dark with cyan border
inline constexpr int kDialogBackground = 148;    // black tile

// Logical (device-independent) size of image `id`; an empty size for an unknown id.
QSize SkinImageSize(int id);

// Image `id` rendered for device pixel ratio `dpr` (1, 2, or anything in between), with that
// ratio set, so that it paints at its logical size. Cached per id and ratio in QPixmapCache.
// A null pixmap for an unknown id.
QPixmap SkinImage(int id, qreal dpr = 1.0);

// The same, as an image with alpha (uncached); what SkinImage caches.
QImage RenderSkinImage(int id, qreal dpr = 1.0);

// The program icon at the usual sizes (16 to 256 pixels), for windows and the desktop entry.
QIcon ProgramIcon();

}  // namespace quorvell
