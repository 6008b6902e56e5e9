// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the control tests: skinned controls, waiting on the event loop, wheel
// events, pixels, posted notifications.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <vector>

#include "CDropDown.h"
#include "CValueStepper.h"
#include "SkinImages.h"

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

// A stepper with the skin's images, its own partner, and `value` shown as `kind`.
inline void SetUpStepper(CValueStepper& s, int kind, int min, int max, int value) {
    s.SetImages(kStepperNormal, kStepperDecreaseLit, kStepperMiddleLit, kStepperIncreaseLit);
    s.kind = kind;
    s.SetRange(min, max);
    s.SetValue(value);
    s.partner = &s;
}

// A drop-down notifying as 1095 with `items`, the first one selected.
inline void SetUpDropDown(CDropDown& d, std::initializer_list<const char*> items) {
    d.SetImages(kDropDownNormal, kDropDownHover);
    EXPECT_TRUE(d.CreateList(1095));
    for (const char* item : items) {
        d.AddItem(QString::fromLatin1(item));
    }
    d.SetSelection(0);
}

// The values posted with a (control id, value) signal, each checked to carry `id`.
inline std::vector<int> Posted(const QSignalSpy& spy, int id) {
    std::vector<int> values;
    for (const QList<QVariant>& call : spy) {
        EXPECT_EQ(call.at(0).toInt(), id);
        values.push_back(call.at(1).toInt());
    }
    return values;
}

}  // namespace quorvell::test
