// SPDX-License-Identifier: GPL-3.0-or-later
// Drop-down bar: skinned, shows the committed entry, opens its pop-up, steps by wheel.
#include "CDropDown.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>

#include "CDropListBox.h"
#include "CDropPopup.h"
#include "ControlAccessible.h"
#include "ControlFonts.h"
#include "FocusFrame.h"
#include "PressSwallower.h"
#include "SkinImages.h"
#include "SkinPainter.h"

namespace quorvell {
namespace {

constexpr int kWheelNotch = 120;

}  // namespace

CDropDown::CDropDown(QWidget* parent) : QWidget(parent) {
    InstallControlAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    normalFont = PixelFont(QString::fromLatin1(kDropDownFamily), 14);
    hoverFont = normalFont;
    resize(90, 20);
}

CDropDown::~CDropDown() = default;

void CDropDown::SetImages(int normal, int hover) {
    normalImage = normal;
    hoverImage = hover;
    const QSize imageSize = SkinImageSize(normal);
    if (!imageSize.isEmpty()) {
        resize(imageSize);
    }
    update();
}

bool CDropDown::CreateList(int id) {
    barWidth = width();
    notificationId = id;
    if (popup != nullptr) {
        popup->deleteLater();
    }
    popup = new CDropPopup(this);
    return popup != nullptr && popup->List() != nullptr;
}

void CDropDown::AddItem(const QString& entry) {
    if (popup != nullptr) {
        popup->List()->AddItem(entry);
    }
}

int CDropDown::Count() const {
    return popup != nullptr ? popup->List()->Count() : 0;
}

CDropListBox* CDropDown::List() const {
    return popup != nullptr ? popup->List() : nullptr;
}

bool CDropDown::IsPopupShowing() const {
    return popup != nullptr && popup->isVisible();
}

void CDropDown::SetSelection(int index) {
    const int count = Count();
    if (count == 0) {
        return;
    }
    index = std::clamp(index, 0, count - 1);
    CDropListBox* list = popup->List();
    list->SetSelection(index);
    list->committedIndex = index;
    text = list->ItemText(index);
    repaint();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, text);
        QAccessible::updateAccessibility(&event);
    }
}

int CDropDown::GetSelection() const {
    return popup != nullptr ? popup->List()->Selection() : -1;
}

void CDropDown::PostSelection(int index) {
    QMetaObject::invokeMethod(
        this, [this, id = notificationId, index] { emit selectionChanged(id, index); },
        Qt::QueuedConnection);
}

void CDropDown::OpenPopup(bool byKeyboard) {
    if (popup == nullptr) {
        return;
    }
    popup->List()->keyboardMode = byKeyboard;
    const QPoint topLeft = mapToGlobal(QPoint(0, 0));
    const int bottom = topLeft.y() + height();  // first row below the bar
    const int n = Count();
    int h = kMaxListHeight;
    if (n > 0 && n * CDropListBox::kItemHeight < kMaxListHeight) {
        h = n * CDropListBox::kItemHeight;
    }
    // The pop-up overlaps the bar's bottom row.
    popupRect = QRect(topLeft.x(), bottom - 1, barWidth > 0 ? barWidth : width(), h + 1);
    popup->setGeometry(popupRect);
    popup->List()->SetSelection(popup->List()->committedIndex);
    popup->show();
    popup->List()->setFocus(Qt::PopupFocusReason);
}

// A choice from the pop-up: by the pointer it is taken; by a key with the pointer elsewhere
// the list returns to the committed entry and nothing is chosen.
void CDropDown::OnListChoice(int index, bool pointerInside) {
    if (popup == nullptr) {
        return;
    }
    if (pointerInside) {
        hover = true;
        Commit(index);
    } else {
        popup->hide();
    }
}

// A click takes the entry; the rest of a double-click must not act on what lies beneath.
void CDropDown::OnListClick(int index, QPoint globalPos) {
    PressSwallower::Arm(globalPos);
    OnListChoice(index, true);
}

void CDropDown::OnListTaken(int index) {
    if (popup != nullptr) {
        Commit(index);
    }
}

void CDropDown::Commit(int index) {
    popup->List()->committedIndex = index;
    text = popup->List()->ItemText(index);
    popup->hide();
    setFocus(Qt::PopupFocusReason);  // keeps the focus frame as it was
    repaint();
    PostSelection(index);
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, text);
        QAccessible::updateAccessibility(&event);
    }
}

void CDropDown::DropTransientState() {
    if (IsPopupShowing()) {
        popup->hide();
    }
    if (hover) {
        hover = false;
        update();
    }
}

// However the pop-up closed, the list shows the committed entry again, so that a hover
// highlight never becomes the selection the wheel or the page reads.
void CDropDown::OnPopupHidden() {
    if (popup != nullptr && Count() > 0) {
        popup->List()->SetSelection(popup->List()->committedIndex);
    }
    update();
}

void CDropDown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintSkin(painter, *this, hover ? hoverImage : normalImage);
    if (text.isEmpty()) {
        if (ShowsFocus()) {
            PaintFocusFrame(painter, rect());
        }
        return;
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Narrowed by the arrow on the right.
    const QRect area = rect().adjusted(5, 0, -20, 0);
    painter.setFont(FittingFont(hover ? hoverFont : normalFont, text, area.width()));
    painter.setPen(hover ? hoverTextColor : normalTextColor);
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text);
    if (ShowsFocus()) {
        PaintFocusFrame(painter, rect());
    }
}

void CDropDown::mouseMoveEvent(QMouseEvent* event) {
    if (!hover && rect().contains(event->position().toPoint())) {
        hover = true;
        update();
    }
}

void CDropDown::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    hover = false;
    setFocus(Qt::MouseFocusReason);
    if (IsPopupShowing()) {
        popup->hide();
    } else {
        OpenPopup(false);
    }
    repaint();
}

void CDropDown::leaveEvent(QEvent* event) {
    hover = false;
    update();
    QWidget::leaveEvent(event);
}

void CDropDown::focusInEvent(QFocusEvent* event) {
    focusShown = FocusShownAfter(focusShown, event->reason());
    update();
    QWidget::focusInEvent(event);
}

void CDropDown::focusOutEvent(QFocusEvent* event) {
    hover = false;
    update();
    QWidget::focusOutEvent(event);
}

void CDropDown::hideEvent(QHideEvent* event) {
    DropTransientState();
    QWidget::hideEvent(event);
}

void CDropDown::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        DropTransientState();
    }
    QWidget::changeEvent(event);
}

// A modal window over the page: no hover look and no open list left behind it.
bool CDropDown::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked) {
        DropTransientState();
    }
    return QWidget::event(event);
}

void CDropDown::keyPressEvent(QKeyEvent* event) {
    if (!focusShown) {
        focusShown = true;
        update();
    }
    const int key = event->key();
    const bool altDown = key == Qt::Key_Down && (event->modifiers() & Qt::AltModifier);
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter ||
        key == Qt::Key_F4 || altDown) {
        event->accept();
        // A held key opens the list once: its repeats would otherwise take the entry, open
        // the list again and so on, one notification per repeat.
        if (!event->isAutoRepeat() && !IsPopupShowing()) {
            OpenPopup(true);
        }
        return;
    }
    if ((key == Qt::Key_Up || key == Qt::Key_Down) && Count() > 0) {
        event->accept();
        const int shown = GetSelection();
        const int index = std::clamp(shown + (key == Qt::Key_Down ? 1 : -1), 0, Count() - 1);
        if (index != shown) {
            SetSelection(index);
            PostSelection(index);
        }
        return;
    }
    QWidget::keyPressEvent(event);
}

void CDropDown::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (Count() == 0) {
        return;
    }
    // Partial notches carry over to the next message.
    wheelAccumulator =
        std::clamp(wheelAccumulator + event->angleDelta().y(), -kWheelNotch, kWheelNotch);
    int index = GetSelection();
    if (wheelAccumulator == -kWheelNotch) {
        index = std::min(index + 1, Count() - 1);
    } else if (wheelAccumulator == kWheelNotch) {
        index = std::max(index - 1, 0);
    } else {
        return;
    }
    wheelAccumulator = 0;
    SetSelection(index);
    PostSelection(index);
}

}  // namespace quorvell
