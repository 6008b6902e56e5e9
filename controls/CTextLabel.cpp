// SPDX-License-Identifier: GPL-3.0-or-later
// Caption label over its parent's painting.
#include "CTextLabel.h"

#include <QPainter>

#include "ControlAccessible.h"
#include "ControlFonts.h"

namespace quorvell {

CTextLabel::CTextLabel(QWidget* parent) : QWidget(parent) {
    InstallControlAccessibility();
}

void CTextLabel::SetText(const QString& caption) {
    text = caption;
    setToolTip(text);
    update();
}

// A copy of the parent's pixels would be painted at another origin and lose a row of a
// 3-pixel frame line; letting Qt paint the parent beneath shows exactly what it shows.
void CTextLabel::SetTransparent(bool on) {
    transparent = on;
    setAttribute(Qt::WA_OpaquePaintEvent, !on);
    update();
}

void CTextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!transparent) {
        painter.fillRect(rect(), QColor(128, 128, 128));
    }
    if (text.isEmpty()) {
        return;
    }
    static constexpr Qt::Alignment kHorizontal[] = {Qt::AlignLeft, Qt::AlignHCenter,
                                                    Qt::AlignRight};
    static constexpr Qt::Alignment kVertical[] = {Qt::AlignTop, Qt::AlignVCenter, Qt::AlignBottom};
    const int a = alignment < 0 || alignment > 2 ? 1 : alignment;
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(PointFont(QString::fromLatin1(kCaptionFamily), fontSize, true));
    painter.setPen(textColor);
    painter.drawText(rect(), static_cast<int>(kHorizontal[a] | kVertical[a]) | Qt::TextSingleLine,
                     text.left(kMaxDrawnChars));
}

}  // namespace quorvell
