// Image button: off/on image stretched to the drawn size with a centred caption.
#include "PngButton.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "ControlAccessible.h"
#include "ControlFonts.h"
#include "FocusFrame.h"
#include "SkinImages.h"

namespace quorvell {

PngButton::PngButton(QWidget* parent) : QAbstractButton(parent) {
    InstallControlAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);  // a move without the button tells of a button-up seen elsewhere
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
    if (ShowsFocus()) {
        PaintFocusFrame(painter, drawn, ShownCaptionColor());
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

void PngButton::mouseMoveEvent(QMouseEvent* event) {
    if (isDown() && !(event->buttons() & Qt::LeftButton)) {
        setDown(false);  // the button came up where this control could not see it
    }
    QAbstractButton::mouseMoveEvent(event);
}

void PngButton::focusInEvent(QFocusEvent* event) {
    focusShown = FocusShownAfter(focusShown, event->reason());
    update();
    QAbstractButton::focusInEvent(event);
}

void PngButton::keyPressEvent(QKeyEvent* event) {
    if (!focusShown) {
        focusShown = true;
        update();
    }
    QAbstractButton::keyPressEvent(event);
}

// A press whose button-up can no longer arrive (hidden, or a modal window took the pointer)
// leaves the button up without a click.
void PngButton::hideEvent(QHideEvent* event) {
    setDown(false);
    QAbstractButton::hideEvent(event);
}

bool PngButton::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked) {
        setDown(false);
    }
    return QAbstractButton::event(event);
}

}  // namespace quorvell
