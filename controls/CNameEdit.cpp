// SPDX-License-Identifier: GPL-3.0-or-later
// Name field: refuses characters at the maximum length and swallows Enter.
#include "CNameEdit.h"

#include <QKeyEvent>

namespace quorvell {
namespace {

// A key press that inserts text (as opposed to editing and navigation keys).
bool InsertsText(const QKeyEvent& event) {
    const QString t = event.text();
    if (t.isEmpty()) {
        return false;
    }
    for (const QChar c : t) {
        if (!c.isPrint()) {
            return false;
        }
    }
    return true;
}

}  // namespace

CNameEdit::CNameEdit(QWidget* parent) : QLineEdit(parent) {
    SetMaximumLength(maximumLength);
}

void CNameEdit::SetMaximumLength(int n) {
    maximumLength = n;
    // Also bounds pasted text, which arrives without key presses. QLineEdit counts UTF-16
    // units, so a character outside the BMP takes two.
    setMaxLength(2 * n);
}

int CNameEdit::Characters(const QString& text) {
    return static_cast<int>(text.toUcs4().size());
}

void CNameEdit::SetFocusBackground(const QColor& colour) {
    focusBackground = colour;
}

void CNameEdit::SetBackground(const QColor& colour) {
    QPalette p = palette();
    p.setColor(QPalette::Base, colour);
    setPalette(p);
}

void CNameEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        emit enterPressed(notificationId);
        return;
    }
    if (InsertsText(*event) && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        if (Characters(text()) >= maximumLength) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
        emit characterAccepted(notificationId);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CNameEdit::focusInEvent(QFocusEvent* event) {
    SetBackground(focusBackground);
    QLineEdit::focusInEvent(event);
    emit focusGained(notificationId);
}

void CNameEdit::focusOutEvent(QFocusEvent* event) {
    SetBackground(focusBackground);
    QLineEdit::focusOutEvent(event);
}

}  // namespace quorvell
