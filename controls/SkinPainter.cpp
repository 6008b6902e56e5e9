// SPDX-License-Identifier: GPL-3.0-or-later
// Skinned bar painting shared by the stepper and the drop-down.
#include "SkinPainter.h"

#include <QPainter>
#include <QWidget>

#include "SkinImages.h"

namespace quorvell {

void PaintSkin(QPainter& painter, const QWidget& widget, int id) {
    const QPixmap skin = id == 0 ? QPixmap() : SkinImage(id, painter.device()->devicePixelRatioF());
    if (skin.isNull()) {
        painter.fillRect(widget.rect(), widget.palette().color(QPalette::Button));
        return;
    }
    painter.drawPixmap(widget.rect(), skin);
}

}  // namespace quorvell
