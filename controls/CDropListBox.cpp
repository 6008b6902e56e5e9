// SPDX-License-Identifier: GPL-3.0-or-later
// The drop-down's list: navy items with a teal selection, hover selection, click or key choice.
#include "CDropListBox.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "ControlFonts.h"

namespace quorvell {
namespace {

const QColor kNavy(27, 34, 50);
const QColor kTeal(13, 133, 138);

}  // namespace

CDropListBox::CDropListBox(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("list%1").arg(kControlId));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    scrollBar = new QScrollBar(Qt::Vertical, this);
    scrollBar->setSingleStep(kItemHeight);
    scrollBar->hide();
    connect(scrollBar, &QScrollBar::valueChanged, this, qOverload<>(&QWidget::update));
}

void CDropListBox::AddItem(const QString& text) {
    items.append(text);
    UpdateScrollBar();
    update();
}

QString CDropListBox::ItemText(int index) const {
    return index >= 0 && index < Count() ? items.at(index) : QString();
}

void CDropListBox::SetSelection(int index) {
    selection = index >= 0 && index < Count() ? index : -1;
    EnsureVisible(selection);
    update();
}

QRect CDropListBox::ItemRect(int index) const {
    const int w = width() - (scrollBar->isVisible() ? scrollBar->width() : 0);
    return QRect(0, index * kItemHeight - scrollBar->value(), w, kItemHeight);
}

int CDropListBox::IndexAt(QPoint pos) const {
    const int w = width() - (scrollBar->isVisible() ? scrollBar->width() : 0);
    if (pos.x() < 0 || pos.x() >= w || pos.y() < 0 || pos.y() >= height()) {
        return -1;
    }
    const int index = (pos.y() + scrollBar->value()) / kItemHeight;
    return index < Count() ? index : -1;
}

void CDropListBox::UpdateScrollBar() {
    const int content = Count() * kItemHeight;
    const bool needed = content > height() && height() > 0;
    scrollBar->setRange(0, needed ? content - height() : 0);
    scrollBar->setPageStep(std::max(height(), 1));
    const int w = scrollBar->sizeHint().width();
    scrollBar->setGeometry(width() - w, 0, w, height());
    scrollBar->setVisible(needed);
}

void CDropListBox::EnsureVisible(int index) {
    if (index < 0) {
        return;
    }
    const int top = index * kItemHeight;
    if (top < scrollBar->value()) {
        scrollBar->setValue(top);
    } else if (top + kItemHeight > scrollBar->value() + height()) {
        scrollBar->setValue(top + kItemHeight - height());
    }
}

void CDropListBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kNavy);
    painter.setFont(font());
    for (int i = 0; i < Count(); ++i) {
        const QRect item = ItemRect(i);
        if (item.bottom() < 0 || item.top() >= height()) {
            continue;
        }
        // One pixel larger on every side, so that neighbouring frames overlap.
        const QRect frame = item.adjusted(-1, -1, 1, 1);
        painter.setPen(kNavy);
        painter.setBrush(i == selection ? kTeal : kNavy);
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        const QRect textArea(QPoint(frame.left() + 4, frame.top()),
                             QPoint(frame.right() - 5, frame.bottom()));
        painter.setPen(Qt::white);
        painter.setFont(FittingFont(font(), items.at(i), textArea.width()));
        const QString shown =
            painter.fontMetrics().elidedText(items.at(i), Qt::ElideRight, textArea.width());
        painter.drawText(textArea, Qt::AlignCenter | Qt::TextSingleLine, shown);
    }
}

void CDropListBox::resizeEvent(QResizeEvent* event) {
    UpdateScrollBar();
    QWidget::resizeEvent(event);
}

void CDropListBox::mouseMoveEvent(QMouseEvent* event) {
    pointerInside = rect().contains(event->position().toPoint());
    const int index = IndexAt(event->position().toPoint());
    if (index >= 0 && index != selection) {
        SetSelection(index);  // a hover highlight, not a choice
    }
}

void CDropListBox::mousePressEvent(QMouseEvent* event) {
    pointerInside = true;
    const int index = IndexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || index < 0) {
        return;
    }
    SetSelection(index);
    emit entryClicked(index, event->globalPosition().toPoint());
}

void CDropListBox::keyPressEvent(QKeyEvent* event) {
    const int last = Count() - 1;
    const int page = std::max(height() / kItemHeight, 1);
    int index = selection;
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Left:
            index = std::max(selection - 1, 0);
            break;
        case Qt::Key_Down:
        case Qt::Key_Right:
            index = std::min(selection + 1, last);
            break;
        case Qt::Key_Home:
            index = 0;
            break;
        case Qt::Key_End:
            index = last;
            break;
        case Qt::Key_PageUp:
            index = std::max(selection - page, 0);
            break;
        case Qt::Key_PageDown:
            index = std::min(selection + page, last);
            break;
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            window()->hide();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            event->accept();
            if (selection >= 0 && !event->isAutoRepeat()) {  // one choice per press
                emit entryTaken(selection);
            }
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
    if (last < 0 || index == selection) {
        return;
    }
    SetSelection(index);
    if (!keyboardMode) {
        emit operatorChangedSelection(index, pointerInside);
    }
}

void CDropListBox::wheelEvent(QWheelEvent* event) {
    scrollBar->setValue(scrollBar->value() - event->angleDelta().y() / 120 * kItemHeight);
    event->accept();
}

void CDropListBox::leaveEvent(QEvent* event) {
    pointerInside = false;
    QWidget::leaveEvent(event);
}

}  // namespace quorvell
