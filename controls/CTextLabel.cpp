// Caption label over a snapshot of the parent's pixels.
#include "CTextLabel.h"

#include <QPainter>

#include "ControlAccessible.h"
#include "ControlFonts.h"

namespace quorvell {

CTextLabel::CTextLabel(QWidget* parent) : QWidget(parent) {
    InstallControlAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CTextLabel::SetText(const QString& caption) {
    text = caption;
    setToolTip(text);
    update();
}

void CTextLabel::SetTransparent(bool on) {
    transparent = on;
    snapshot = QPixmap();
    update();
}

// The parent's own painting (its background, not its other children) under the label, at
// this moment; kept until SetTransparent drops it.
void CTextLabel::TakeSnapshot() {
    const qreal dpr = devicePixelRatioF();
    snapshot = QPixmap(size() * dpr);
    snapshot.setDevicePixelRatio(dpr);
    snapshot.fill(palette().color(QPalette::Window));
    QWidget* owner = parentWidget();
    if (owner == nullptr) {
        return;
    }
    owner->render(&snapshot, QPoint(), QRegion(geometry()), QWidget::DrawWindowBackground);
}

void CTextLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (transparent) {
        if (snapshot.isNull()) {
            TakeSnapshot();
        }
        painter.drawPixmap(0, 0, snapshot);
    } else {
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
