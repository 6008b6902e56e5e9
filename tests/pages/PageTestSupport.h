// SPDX-License-Identifier: GPL-3.0-or-later
// Input helpers shared by the page tests: real mouse and wheel events.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <memory>
#include <optional>
#include <vector>

#include "CEqPage.h"  // declares Record as a meta-type
#include "CValueStepper.h"

namespace quorvell::test {

// A shown page of type P over the start-up defaults, with scripted message boxes.
template <typename P>
class PageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetDeviceParameters(params);
        page = std::make_unique<P>(params, boxes);
        page->ShowPage();
    }

    DeviceParameters params{};
    ScriptedMessageBoxes boxes;
    std::unique_ptr<P> page;
};

// Lets queued notifications (stepper, drop-down) reach the page.
inline void Settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
}

// Moves the pointer over an arrow of `stepper` and clicks it once.
inline void ClickArrow(CValueStepper* stepper, bool increase) {
    const QPoint at = (increase ? stepper->IncreaseRect() : stepper->DecreaseRect()).center();
    QTest::mouseMove(stepper, at);
    QMouseEvent move(QEvent::MouseMove, at, stepper->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(stepper, &move);
    QTest::mousePress(stepper, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(stepper, Qt::LeftButton, Qt::NoModifier, at);
    Settle();
}

// Wheel notches over `widget` (its centre unless `at`): negative `notches` turn towards the
// operator.
inline void Wheel(QWidget* widget, int notches, std::optional<QPoint> point = std::nullopt) {
    const QPoint at = point.value_or(widget->rect().center());
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
    Settle();
}

// The records a page's recordEdited signal named, in order.
inline std::vector<Record> Edits(const QSignalSpy& spy) {
    std::vector<Record> out;
    for (const QList<QVariant>& args : spy) {
        out.push_back(args.at(0).value<Record>());
    }
    return out;
}

}  // namespace quorvell::test
