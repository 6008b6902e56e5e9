// SPDX-License-Identifier: GPL-3.0-or-later
// The drop-down's pop-up window: borderless, beneath the bar, filled by the list.
#include "CDropPopup.h"

#include <QMouseEvent>

#include "CDropDown.h"
#include "CDropListBox.h"

namespace quorvell {

CDropPopup::CDropPopup(CDropDown* owner)
    : QWidget(owner, Qt::Popup | Qt::FramelessWindowHint), owner(owner) {
    list = new CDropListBox(this);
    list->setFont(owner->normalFont);
    connect(list, &CDropListBox::operatorChangedSelection, owner, &CDropDown::OnListChoice);
    connect(list, &CDropListBox::entryClicked, owner, &CDropDown::OnListClick);
    connect(list, &CDropListBox::entryTaken, owner, &CDropDown::OnListTaken);
}

void CDropPopup::resizeEvent(QResizeEvent* event) {
    list->setGeometry(rect());
    QWidget::resizeEvent(event);
}

// A press outside the pop-up closes it. A press on the bar itself is not passed on, so a
// second click on the bar closes the list rather than reopening it.
void CDropPopup::mousePressEvent(QMouseEvent* event) {
    if (!rect().contains(event->position().toPoint())) {
        const QPoint onBar = owner->mapFromGlobal(event->globalPosition().toPoint());
        setAttribute(Qt::WA_NoMouseReplay, owner->rect().contains(onBar));
        event->accept();
        hide();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CDropPopup::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    owner->OnPopupHidden();
}

}  // namespace quorvell
