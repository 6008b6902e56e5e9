// Image button: off/on image stretched to the drawn size with a centred caption.
#include "PngButton.h"

#include <QMouseEvent>
#include <QPainter>

#include "ControlFonts.h"
#include "SkinImages.h"

namespace quorvell {

PngButton::PngButton(QWidget* parent) : QAbstractButton(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
}

PngButton::PngButton(const QString& caption, QWidget* parent) : PngButton(parent) {
    setText(caption);
}

void PngButton::SetImages(int offId, int onId) {
    offImage = offId;
    onImage = onId;
    const QSize natural = SkinImageSize(offId);
    switch (sizeMode) {
        case 1:
            drawnSize = natural;
            break;
        case 2:
            drawnSize = QSize(natural.width() / 2, natural.height() / 2);
            break;
        default:
            drawnSize = size();
            break;
    }
    setGeometry(QRect(pos(), drawnSize));
    update();
}

QSize PngButton::sizeHint() const {
    return drawnSize.isEmpty() ? QSize(100, 28) : drawnSize;
}

void PngButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QRect drawn(QPoint(0, 0), DrawnSize());
    const QPixmap image = SkinImage(ShownImage(), devicePixelRatioF());
    if (!image.isNull()) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(drawn, image);
    }
    if (showCaption && !text().isEmpty()) {
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setFont(PointFont(QString::fromLatin1(kCaptionFamily), captionSize));
        painter.setPen(ShownCaptionColor());
        painter.drawText(drawn, Qt::AlignCenter | Qt::TextSingleLine, text().left(255));
    }
}

void PngButton::enterEvent(QEnterEvent* event) {
    update();
    QAbstractButton::enterEvent(event);
}

void PngButton::leaveEvent(QEvent* event) {
    update();
    QAbstractButton::leaveEvent(event);
}

// A double click counts as a second press, so two quick clicks give two clicks.
void PngButton::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

}  // namespace quorvell
