// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the skins, button images, background tile and program icon from their sizes and colours.
#include "SkinImages.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QPolygonF>
#include <cmath>

namespace quorvell {
namespace {

const QColor kFrame(10, 11, 12);
const QColor kSlate(39, 44, 46);
const QColor kLightField(153, 164, 174);
const QColor kDisabledField(71, 81, 91);
const QColor kFaintArrow(96, 106, 114);
const QColor kPaleArrow(214, 219, 224);
const QColor kCyan(0, 200, 220);
const QColor kDarkButton(22, 27, 36);

enum class Arrow { Hidden, Faint, Pale, Black };

// Field inside a 1-pixel frame, the look shared by the stepper and drop-down bars.
void DrawBar(QPainter& p, QSizeF size, const QColor& field) {
    p.fillRect(QRectF(QPointF(0, 0), size), kFrame);
    p.fillRect(QRectF(1, 1, size.width() - 2, size.height() - 2), field);
}

QColor ArrowColour(Arrow a) {
    switch (a) {
        case Arrow::Faint:
            return kFaintArrow;
        case Arrow::Pale:
            return kPaleArrow;
        case Arrow::Black:
            return Qt::black;
        case Arrow::Hidden:
            break;
    }
    return Qt::transparent;
}

void DrawTriangle(QPainter& p, const QPolygonF& tri, Arrow a) {
    if (a == Arrow::Hidden) {
        return;
    }
    p.setPen(Qt::NoPen);
    p.setBrush(ArrowColour(a));
    p.drawPolygon(tri);
}

// 90 x 20 stepper bar: decrease arrow centred in x 0..16, increase arrow in x 73..90.
void DrawStepper(QPainter& p, const QColor& field, Arrow left, Arrow right) {
    DrawBar(p, QSizeF(90, 20), field);
    DrawTriangle(p, QPolygonF({QPointF(5, 10), QPointF(11, 5), QPointF(11, 15)}), left);
    DrawTriangle(p, QPolygonF({QPointF(85, 10), QPointF(79, 5), QPointF(79, 15)}), right);
}

// 90 x 20 drop-down bar with a down-pointing arrow at its right end.
void DrawDropDown(QPainter& p, const QColor& field, Arrow arrow) {
    DrawBar(p, QSizeF(90, 20), field);
    DrawTriangle(p, QPolygonF({QPointF(75, 8), QPointF(85, 8), QPointF(80, 14)}), arrow);
}

void DrawRoundedButton(QPainter& p, QSizeF size, bool solid) {
    const qreal radius = 6;
    const QRectF r(QPointF(1, 1), size - QSizeF(2, 2));
    p.setPen(QPen(kCyan, 2));
    p.setBrush(solid ? kCyan : kDarkButton);
    p.drawRoundedRect(r, radius, radius);
}

// 32 x 32 units: a dark rounded tile with a cyan response curve over three level bars.
void DrawProgramIcon(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(kSlate);
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(kLightField);
    const qreal bars[] = {14, 20, 10};
    for (int i = 0; i < 3; ++i) {
        p.drawRoundedRect(QRectF(7 + i * 7, 27 - bars[i], 4, bars[i]), 1, 1);
    }
    QPainterPath curve;
    curve.moveTo(4, 19);
    curve.cubicTo(10, 19, 11, 8, 16, 8);
    curve.cubicTo(21, 8, 22, 15, 28, 15);
    p.setPen(QPen(kCyan, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(curve);
}

}  // namespace

QSize SkinImageSize(int id) {
    switch (id) {
        case kProgramIcon:
            return {32, 32};
        case kButtonDarkWide:
        case kButtonCyanWide:
            return {100, 28};
        case kButtonCyanSmall:
        case kButtonDarkSmall:
            return {38, 28};
        case kStepperDecreaseLit:
        case kStepperMiddleLit:
        case kStepperIncreaseLit:
        case kStepperDisabled:
        case kStepperNormal:
        case kDropDownNormal:
        case kDropDownHover:
            return {90, 20};
        case kDialogBackground:
            return {64, 64};
        default:
            return {};
    }
}

QImage RenderSkinImage(int id, qreal dpr) {
    const QSize logical = SkinImageSize(id);
    if (logical.isEmpty() || !(dpr > 0) || !std::isfinite(dpr)) {
        return {};
    }
    const QSize device(static_cast<int>(std::ceil(logical.width() * dpr)),
                       static_cast<int>(std::ceil(logical.height() * dpr)));
    QImage image(device, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    switch (id) {
        case kProgramIcon:
            DrawProgramIcon(p);
            break;
        case kButtonDarkWide:
        case kButtonDarkSmall:
            DrawRoundedButton(p, logical, false);
            break;
        case kButtonCyanWide:
        case kButtonCyanSmall:
            DrawRoundedButton(p, logical, true);
            break;
        case kStepperNormal:
            DrawStepper(p, kSlate, Arrow::Faint, Arrow::Faint);
            break;
        case kStepperDecreaseLit:
            DrawStepper(p, kLightField, Arrow::Black, Arrow::Pale);
            break;
        case kStepperMiddleLit:
            DrawStepper(p, kLightField, Arrow::Black, Arrow::Black);
            break;
        case kStepperIncreaseLit:
            DrawStepper(p, kLightField, Arrow::Pale, Arrow::Black);
            break;
        case kStepperDisabled:
            DrawStepper(p, kDisabledField, Arrow::Hidden, Arrow::Hidden);
            break;
        case kDropDownNormal:
            DrawDropDown(p, kSlate, Arrow::Pale);
            break;
        case kDropDownHover:
            DrawDropDown(p, kLightField, Arrow::Black);
            break;
        case kDialogBackground:
            p.fillRect(QRect(QPoint(0, 0), logical), Qt::black);
            break;
        default:
            break;
    }
    return image;
}

QPixmap SkinImage(int id, qreal dpr) {
    if (SkinImageSize(id).isEmpty()) {
        return {};
    }
    const QString key = QStringLiteral("quorvell-skin-%1@%2").arg(id).arg(dpr);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap::fromImage(RenderSkinImage(id, dpr));
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        // Each size is a separate 1x entry, drawn for that size rather than scaled.
        QImage image = RenderSkinImage(kProgramIcon, size / 32.0);
        image.setDevicePixelRatio(1.0);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

}  // namespace quorvell
