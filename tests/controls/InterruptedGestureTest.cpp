// Every control kind, every way a gesture can be cut off (a modal window, hiding, disabling,
// a button-up the control never saw): nothing stays pressed, hovering or repeating, and
// resting the pointer on the control afterwards changes nothing.
#include <gtest/gtest.h>

#include <QDialog>
#include <QSignalSpy>
#include <QStyleHints>
#include <functional>
#include <memory>

#include "CDropDown.h"
#include "CResponseCurve.h"
#include "CValueStepper.h"
#include "DeviceParameters.h"
#include "DisplayFormats.h"
#include "PngButton.h"
#include "PressSwallower.h"
#include "SkinImages.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

enum class Cut { Modal, Hide, Disable, LostRelease };

// Sends a move with no button held, as the window system does after a release elsewhere.
void MoveWithoutButton(QWidget* w, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
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
            MoveWithoutButton(control, at);
            break;
    }
    test::Drain();
}

struct Kind {
    const char* name;
    std::function<QWidget*(QWidget& host)> make;
    QPoint hotSpot;  // where the gesture starts and the pointer rests afterwards
    std::function<void(QWidget*)> start;
    std::function<bool(QWidget*)> stuck;
    // Watches the control's edit notification.
    std::function<std::unique_ptr<QSignalSpy>(QWidget*)> watch;
};

TEST(InterruptedGesture, EveryControlKindLetsGoAndRestingSendsNothing) {
    DeviceParameters params{};
    ResetDeviceParameters(params);
    const Kind kinds[] = {
        {"stepper",
         [](QWidget& host) {
             auto* s = new CValueStepper(1031, &host);
             s->SetImages(kStepperNormal, kStepperDecreaseLit, kStepperMiddleLit,
                          kStepperIncreaseLit);
             s->kind = static_cast<int>(StepperKind::Frequency);
             s->SetRange(20, 20000);
             s->SetValue(1000);
             s->partner = s;
             s->SetTimings(1, 1, 1);
             return s;
         },
         QPoint(81, 10),
         [](QWidget* w) {
             QTest::mouseMove(w, QPoint(81, 10));
             QTest::mousePress(w, Qt::LeftButton, {}, QPoint(81, 10));
             test::WaitFor([w] { return static_cast<CValueStepper*>(w)->IsRepeating(); });
         },
         [](QWidget* w) {
             auto* s = static_cast<CValueStepper*>(w);
             return s->IsHeld() || s->IsRepeating();
         },
         [](QWidget* w) {
             return std::make_unique<QSignalSpy>(static_cast<CValueStepper*>(w),
                                                 &CValueStepper::valueChanged);
         }},
        {"drop-down",
         [](QWidget& host) {
             auto* d = new CDropDown(&host);
             d->SetImages(kDropDownNormal, kDropDownHover);
             d->CreateList(1095);
             for (const char* item : {"Butterworth 1", "Butterworth 2", "Linkwitz 2"}) {
                 d->AddItem(QString::fromLatin1(item));
             }
             d->SetSelection(0);
             return d;
         },
         QPoint(40, 10),
         [](QWidget* w) {
             QTest::mouseMove(w, QPoint(40, 10));
             QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(40, 10));
         },
         [](QWidget* w) { return static_cast<CDropDown*>(w)->IsPopupShowing(); },
         [](QWidget* w) {
             return std::make_unique<QSignalSpy>(static_cast<CDropDown*>(w),
                                                 &CDropDown::selectionChanged);
         }},
        {"button",
         [](QWidget& host) {
             auto* b = new PngButton(QStringLiteral("PHASE"), &host);
             b->resize(80, 24);
             b->SetImages(kButtonCyanWide, kButtonDarkWide);
             return b;
         },
         QPoint(40, 12),
         [](QWidget* w) { QTest::mousePress(w, Qt::LeftButton, {}, QPoint(40, 12)); },
         [](QWidget* w) { return static_cast<PngButton*>(w)->isDown(); },
         [](QWidget* w) {
             return std::make_unique<QSignalSpy>(static_cast<PngButton*>(w), &PngButton::clicked);
         }},
        {"response curve",
         [&params](QWidget& host) {
             auto* c = new CResponseCurve(params, &host);
             c->resize(400, 220);
             c->Refresh();
             return c;
         },
         QPoint(),  // the marker of band 4, found once the curve is laid out
         [](QWidget* w) {
             auto* c = static_cast<CResponseCurve*>(w);
             const QPoint m = c->MarkerPosition(4).toPoint();
             QTest::mousePress(w, Qt::LeftButton, {}, m);
             QMouseEvent drag(QEvent::MouseMove, QPointF(m + QPoint(10, 5)),
                              QPointF(w->mapToGlobal(m + QPoint(10, 5))), Qt::NoButton,
                              Qt::LeftButton, Qt::NoModifier);
             QApplication::sendEvent(w, &drag);
         },
         [](QWidget* w) { return static_cast<CResponseCurve*>(w)->IsDragging(); },
         [](QWidget* w) {
             return std::make_unique<QSignalSpy>(static_cast<CResponseCurve*>(w),
                                                 &CResponseCurve::bandEdited);
         }},
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
            kind.start(control);
            ASSERT_TRUE(kind.stuck(control));
            const QPoint rest =
                kind.hotSpot.isNull()
                    ? static_cast<CResponseCurve*>(control)->MarkerPosition(4).toPoint()
                    : kind.hotSpot;
            Interrupt(cut, host, control, rest);
            test::Drain();
            EXPECT_FALSE(kind.stuck(control));
            const std::unique_ptr<QSignalSpy> edits = kind.watch(control);
            for (int i = 0; i < 5; ++i) {
                MoveWithoutButton(control, rest + QPoint(i % 2, 0));
                QTest::qWait(10);
            }
            test::Drain();
            EXPECT_EQ(edits->count(), 0);
            QTest::mouseRelease(control, Qt::LeftButton, {}, rest);  // QTest's button state
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
