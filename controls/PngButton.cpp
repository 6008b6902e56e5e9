// SPDX-License-Identifier: GPL-3.0-or-later
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
        const CaptionLayout layout = LayoutCaption();
        painter.setFont(layout.font);
        painter.setPen(ShownCaptionColor());
        const int lineHeight = QFontMetrics(layout.font).height();
        QRect line(drawn.left(), drawn.center().y() + 1 - lineHeight * layout.lines.size() / 2,
                   drawn.width(), lineHeight);
        for (const QString& text : layout.lines) {
            painter.drawText(line, Qt::AlignCenter | Qt::TextSingleLine, text);
            line.translate(0, lineHeight);
        }
    }
    if (ShowsFocus()) {
        PaintFocusFrame(painter, drawn, ShownCaptionColor());
    }
}

PngButton::CaptionLayout PngButton::LayoutCaption() const {
    const QString caption = text().left(255);
    QFont font = PointFont(QString::fromLatin1(kCaptionFamily), captionSize);
    const int width = DrawnSize().width() - 4;  // clear of the image's rim
    const auto fits = [&](const QString& line) {
        return QFontMetrics(font).horizontalAdvance(line) <= width;
    };
    const qsizetype cut = captionBreak.isNull() ? -1 : caption.indexOf(captionBreak);
    if (cut < 0 || fits(caption)) {
        return {font, {caption}};
    }
    const QString head = caption.left(cut + 1);
    QString tail = caption.mid(cut + 1);
    constexpr int kSmallestPixels = 9;
    constexpr int kSmallestHeadPixels = 6;  // the head (the ID) is never cut
    font.setPixelSize(QFontInfo(font).pixelSize());
    const int maxHeight = DrawnSize().height() / 2;
    while (font.pixelSize() > kSmallestPixels &&
           (!fits(head) || !fits(tail) || QFontMetrics(font).height() > maxHeight)) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    while (font.pixelSize() > kSmallestHeadPixels && !fits(head)) {
        font.setPixelSize(font.pixelSize() - 1);
    }
    if (!fits(tail)) {
        tail = QFontMetrics(font).elidedText(tail, Qt::ElideRight, width);
    }
    return {font, {head, tail}};
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
