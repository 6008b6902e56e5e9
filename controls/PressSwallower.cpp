// SPDX-License-Identifier: GPL-3.0-or-later
// Drops the presses of a double-click that follow a choice closing its pop-up.
#include "PressSwallower.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QStyleHints>
#include <QTimer>
#include <algorithm>

namespace quorvell {

PressSwallower::PressSwallower(QPoint globalPos)
    : QObject(QCoreApplication::instance()), at(globalPos) {
    QCoreApplication::instance()->installEventFilter(this);
    // The window ends with the interval, or with the button-up of a swallowed press if later.
    interval.setSingleShot(true);
    interval.setInterval(QGuiApplication::styleHints()->mouseDoubleClickInterval());
    connect(&interval, &QTimer::timeout, this, [this] {
        expired = true;
        EndIfIdle();
    });
    interval.start();
}

void PressSwallower::EndIfIdle() {
    if (expired && !swallowing) {
        QCoreApplication::instance()->removeEventFilter(this);
        deleteLater();
    }
}

void PressSwallower::Arm(QPoint globalPos) {
    if (QCoreApplication::instance() != nullptr) {
        new PressSwallower(globalPos);  // parented to the application object
    }
}

bool PressSwallower::Near(QPoint p) const {
    const int distance = std::max(QGuiApplication::styleHints()->mouseDoubleClickDistance(), 5);
    return (p - at).manhattanLength() <= distance;
}

bool PressSwallower::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!expired && Near(mouse->globalPosition().toPoint())) {
                swallowing = true;
                interval.start();  // a further click of the same gesture is swallowed too
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease:
            if (swallowing) {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->buttons() == Qt::NoButton) {
                    swallowing = false;
                    EndIfIdle();
                }
                return true;
            }
            break;
        default:
            break;
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace quorvell
