// SPDX-License-Identifier: GPL-3.0-or-later
// Tiled dialog background.
#include "CTiledDialog.h"

#include <QPainter>

#include "SkinImages.h"

namespace quorvell {

void PaintTiled(QPainter& painter, const QRect& area, const QPixmap& tile) {
    if (area.width() < 1 || area.height() < 1 || tile.isNull()) {
        return;
    }
    const QSize step = tile.deviceIndependentSize().toSize();
    if (step.width() < 1 || step.height() < 1) {
        return;
    }
    // Tiles at the right and bottom edges are clipped to the area.
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    for (int y = area.top(); y <= area.bottom(); y += step.height()) {
        for (int x = area.left(); x <= area.right(); x += step.width()) {
            painter.drawPixmap(QPoint(x, y), tile);
        }
    }
    painter.restore();
}

CTiledDialog::CTiledDialog(QWidget* parent) : QDialog(parent) {}

bool CTiledDialog::SetBackground(int id) {
    background = QPixmap();
    backgroundId = 0;
    if (id == 0) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        update();
        return true;
    }
    const QPixmap tile = SkinImage(id, devicePixelRatioF());
    SetBackground(tile);
    backgroundId = tile.isNull() ? 0 : id;
    return !tile.isNull();
}

void CTiledDialog::SetBackground(const QPixmap& tile) {
    backgroundId = 0;
    background = tile;
    setAttribute(Qt::WA_OpaquePaintEvent, !background.isNull());
    update();
}

void CTiledDialog::paintEvent(QPaintEvent* event) {
    if (background.isNull()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    if (backgroundId != 0) {
        // Follows the screen's pixel ratio, which may change after SetBackground.
        background = SkinImage(backgroundId, painter.device()->devicePixelRatioF());
    }
    PaintTiled(painter, rect(), background);
}

}  // namespace quorvell
