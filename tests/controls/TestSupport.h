// Helpers shared by the control tests: waiting on the event loop, wheel events, pixels.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <functional>

namespace quorvell::test {

// Runs the event loop until `done` holds or `timeoutMs` passes; the result of `done`.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QTest::qWait(1);
    }
    return true;
}

// Delivers queued notifications.
inline void Drain() {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

inline void Wheel(QWidget& widget, int delta, QPoint pos = QPoint(10, 10)) {
    QWheelEvent event(QPointF(pos), QPointF(widget.mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&widget, &event);
}

// The widget as drawn at 1x, for pixel checks.
inline QImage Pixels(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace quorvell::test
