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
    for (int y = area.top(); y <= area.bottom(); y += step.height()) {
        for (int x = area.left(); x <= area.right(); x += step.width()) {
            painter.drawPixmap(QPoint(x, y), tile);
        }
    }
}

CTiledDialog::CTiledDialog(QWidget* parent) : QDialog(parent) {}

bool CTiledDialog::SetBackground(int id) {
    background = QPixmap();
    if (id == 0) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        update();
        return true;
    }
    const QPixmap tile = SkinImage(id, devicePixelRatioF());
    SetBackground(tile);
    return !tile.isNull();
}

void CTiledDialog::SetBackground(const QPixmap& tile) {
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
    PaintTiled(painter, rect(), background);
}

}  // namespace quorvell
