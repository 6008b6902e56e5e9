// SPDX-License-Identifier: GPL-3.0-or-later
// Every control kind, every way a gesture can be cut off (a modal window, hiding, disabling,
// a button-up the control never saw): nothing stays pressed, hovering or repeating, and
// resting the pointer on the control afterwards changes nothing.
#include <gtest/gtest.h>

#include <QDialog>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QStyleHints>
#include <functional>

#include "CDropDown.h"
#include "CResponseCurve.h"
#include "CValueStepper.h"
#include "DeviceParameters.h"
#include "DisplayFormats.h"
#include "PngButton.h"
#include "PressSwallower.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

enum class Cut { Modal, Hide, Disable, LostRelease };

// Sends a move with `held` buttons down; with none, as the window system does after a release
// elsewhere.
void Move(QWidget* w, QPoint at, Qt::MouseButtons held) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::NoButton,
                     held, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void Interrupt(Cut cut, QWidget& host, QWidget* control, QPoint at) {
    switch (cut) {
        case Cut::Modal: {
            QDialog box(&host);
            box.setWindowModality(Qt::ApplicationModal);
            box.show();
            test::Drain();
            box.hide();
            break;
        }
        case Cut::Hide:
            control->hide();
            test::Drain();
            control->show();
            break;
        case Cut::Disable:
            control->setEnabled(false);
            control->setEnabled(true);
            break;
        case Cut::LostRelease:
            Move(control, at, Qt::NoButton);
            break;
    }
    test::Drain();
}

// A gesture is a press at the hot spot, then `follow`; the pointer rests at the hot spot after.
struct Kind {
    const char* name;
    std::function<QWidget*(QWidget& host)> make;
    std::function<QPoint(QWidget*)> hotSpot;
    std::function<void(QWidget*, QPoint)> follow;
    std::function<bool(QWidget*)> held;
    QMetaMethod edited;  // the control's edit notification
};

TEST(InterruptedGesture, EveryControlKindLetsGoAndRestingSendsNothing) {
    DeviceParameters params{};
    ResetDeviceParameters(params);
    const Kind kinds[] = {
        {"stepper",
         [](QWidget& host) {
             auto* s = new CValueStepper(1031, &host);
             test::SetUpStepper(*s, static_cast<int>(StepperKind::Frequency), 20, 20000, 1000);
             s->SetTimings(1, 1, 1);
             return s;
         },
         [](QWidget*) { return QPoint(81, 10); },
         [](QWidget* w, QPoint) {
             test::WaitFor([w] { return static_cast<CValueStepper*>(w)->IsRepeating(); });
         },
         [](QWidget* w) {
             auto* s = static_cast<CValueStepper*>(w);
             return s->IsHeld() || s->IsRepeating();
         },
         QMetaMethod::fromSignal(&CValueStepper::valueChanged)},
        {"drop-down",
         [](QWidget& host) {
             auto* d = new CDropDown(&host);
             test::SetUpDropDown(*d, {"Butterworth 1", "Butterworth 2", "Linkwitz 2"});
             return d;
         },
         [](QWidget*) { return QPoint(40, 10); },
         [](QWidget* w, QPoint at) { QTest::mouseRelease(w, Qt::LeftButton, {}, at); },
         [](QWidget* w) { return static_cast<CDropDown*>(w)->IsPopupShowing(); },
         QMetaMethod::fromSignal(&CDropDown::selectionChanged)},
        {"button",
         [](QWidget& host) {
             auto* b = new PngButton(QStringLiteral("PHASE"), &host);
             b->resize(80, 24);
             b->SetImages(kButtonCyanWide, kButtonDarkWide);
             return b;
         },
         [](QWidget*) { return QPoint(40, 12); }, [](QWidget*, QPoint) {},
         [](QWidget* w) { return static_cast<PngButton*>(w)->isDown(); },
         QMetaMethod::fromSignal(&PngButton::clicked)},
        {"response curve",
         [&params](QWidget& host) {
             auto* c = new CResponseCurve(params, &host);
             c->resize(400, 220);
             c->Refresh();
             return c;
         },
         [](QWidget* w) { return static_cast<CResponseCurve*>(w)->MarkerPosition(4).toPoint(); },
         [](QWidget* w, QPoint at) { Move(w, at + QPoint(10, 5), Qt::LeftButton); },
         [](QWidget* w) { return static_cast<CResponseCurve*>(w)->IsDragging(); },
         QMetaMethod::fromSignal(&CResponseCurve::bandEdited)},
    };
    for (const Kind& kind : kinds) {
        for (const Cut cut : {Cut::Modal, Cut::Hide, Cut::Disable, Cut::LostRelease}) {
            if (cut == Cut::LostRelease && std::string(kind.name) == "drop-down") {
                continue;  // an open list is not a held button
            }
            SCOPED_TRACE(std::string(kind.name) + " cut " + std::to_string(static_cast<int>(cut)));
            QWidget host;
            host.resize(500, 300);
            QWidget* control = kind.make(host);
            control->move(10, 10);
            host.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
            const QPoint at = kind.hotSpot(control);
            QTest::mouseMove(control, at);
            QTest::mousePress(control, Qt::LeftButton, {}, at);
            kind.follow(control, at);
            ASSERT_TRUE(kind.held(control));
            Interrupt(cut, host, control, at);
            EXPECT_FALSE(kind.held(control));
            QSignalSpy edits(control, kind.edited);
            for (int i = 0; i < 5; ++i) {
                Move(control, at + QPoint(i % 2, 0), Qt::NoButton);
                QTest::qWait(10);
            }
            test::Drain();
            EXPECT_EQ(edits.count(), 0);
            QTest::mouseRelease(control, Qt::LeftButton, {}, at);  // QTest's button state
        }
    }
}

// After a click closes a list or a box, the rest of the double-click at that place is
// dropped for the double-click interval; elsewhere, and afterwards, clicks act.
TEST(InterruptedGesture, PressesRightAfterAClosingClickAreDroppedOnlyThereAndThen) {
    QWidget host;
    host.resize(300, 100);
    PngButton below(QStringLiteral("LEVEL"), &host);
    below.setGeometry(10, 10, 80, 24);
    PngButton beside(QStringLiteral("OTHER"), &host);
    beside.setGeometry(150, 10, 80, 24);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    QSignalSpy belowClicks(&below, &PngButton::clicked);
    QSignalSpy besideClicks(&beside, &PngButton::clicked);
    const QPoint at(40, 12);

    PressSwallower::Arm(below.mapToGlobal(at));
    QTest::mouseClick(&below, Qt::LeftButton, {}, at);
    QTest::mouseClick(&beside, Qt::LeftButton, {}, at);
    EXPECT_EQ(belowClicks.count(), 0);
    EXPECT_EQ(besideClicks.count(), 1);
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    QTest::mouseClick(&below, Qt::LeftButton, {}, at);
    EXPECT_EQ(belowClicks.count(), 1);
}

}  // namespace
}  // namespace quorvell
