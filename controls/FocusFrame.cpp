// SPDX-License-Identifier: GPL-3.0-or-later
// Focus frame of the skinned controls.
#include "FocusFrame.h"

#include <QPainter>

namespace quorvell {

bool FocusShownAfter(bool shownBefore, Qt::FocusReason reason) {
    switch (reason) {
        case Qt::TabFocusReason:
        case Qt::BacktabFocusReason:
        case Qt::ShortcutFocusReason:
            return true;
        case Qt::ActiveWindowFocusReason:
        case Qt::PopupFocusReason:
        case Qt::MenuBarFocusReason:
            return shownBefore;
        default:
            return false;
    }
}

void PaintFocusFrame(QPainter& painter, const QRect& area, const QColor& inner) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0, 0, 0), 1));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    painter.setPen(QPen(inner, 1));
    painter.drawRect(area.adjusted(1, 1, -2, -2));
    painter.restore();
}

}  // namespace quorvell
