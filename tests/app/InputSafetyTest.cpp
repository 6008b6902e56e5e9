// SPDX-License-Identifier: GPL-3.0-or-later
// Operator input through the window system against a simulated processor: no frame that the
// operator did not make, whatever opens, closes or hides in the middle of a gesture.
#include <QAbstractEventDispatcher>
#include <QDialog>
#include <QTimer>
#include <QWindow>

#include "CDropDown.h"
#include "CDropListBox.h"
#include "CDropPopup.h"
#include "PanelFixture.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kHipass = 2;

// Mouse input as the window system delivers it (modal blocking and double-click detection
// included), with timestamps this test controls.
class Pointer {
public:
    Pointer() : time_(QTest::lastMouseTimestamp + 1000) {}
    ~Pointer() { QTest::lastMouseTimestamp = time_ + 1000; }

    void Send(QWidget* on, QPoint global, QEvent::Type type, Qt::MouseButtons held) {
        time_ += 20;
        QWindow* window = on->window()->windowHandle();
        const QPointF local = window->mapFromGlobal(QPointF(global));
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        qt_handleMouseEvent(window, local, QPointF(global), held, button, type, Qt::NoModifier,
                            time_);
        QCoreApplication::processEvents();
    }
    void Press(QWidget* on, QPoint at) { Send(on, at, QEvent::MouseButtonPress, Qt::LeftButton); }
    void Release(QWidget* on, QPoint at) { Send(on, at, QEvent::MouseButtonRelease, {}); }
    void Move(QWidget* on, QPoint at) { Send(on, at, QEvent::MouseMove, {}); }

private:
    int time_;
};

class InputSafetyTest : public test::PanelFixture {};

// Hold an arrow, let a modal window open (F1: the about box), release while it is open, close
// it and rest the pointer on the arrow: the processor hears nothing after the modal opened.
TEST_F(InputSafetyTest, HeldArrowThroughAModalBoxSendsNothingAfterwards) {
    StartLinked("127.0.23.1", "127.0.23.2", 42300, true);
    CValueStepper* gain = window->EqPage()->Stepper(1031);  // CH1 Band 2 gain
    const QPoint arrow = gain->mapToGlobal(gain->IncreaseRect().center());
    Pointer pointer;
    pointer.Move(window, arrow);
    pointer.Press(window, arrow);
    ASSERT_TRUE(gain->IsHeld());
    test::Pump(250);  // the hold repeats, as the operator means it to

    std::size_t mark = 0;
    bool sawModal = false;
    QTimer::singleShot(50, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        sawModal = modal != nullptr;
        test::Pump(150);
        mark = processor->Log().size();
        pointer.Release(window, arrow);  // blocked by the modal window: never seen
        test::Pump(150);
        if (modal != nullptr) {
            modal->close();
        }
    });
    QTest::keyClick(window, Qt::Key_F1);  // returns when the about box has closed
    ASSERT_TRUE(sawModal);
    EXPECT_FALSE(gain->IsHeld());
    EXPECT_FALSE(gain->IsRepeating());
    for (int i = 0; i < 6; ++i) {  // 0.6 s resting on the arrow, a small move now and then
        pointer.Move(window, arrow + QPoint(i % 2, 0));
        test::Pump(100);
    }
    EXPECT_EQ(CommandsSince(*processor, mark), 0u);
    EXPECT_FALSE(gain->IsRepeating());
}

// A triple-click on "Linkwitz 2" in CH1 HIPASS: the first press chooses and closes the list,
// the others land where the list was and must not act on the control beneath.
TEST_F(InputSafetyTest, TripleClickOnATypeEntrySendsExactlyOneHipass) {
    StartLinked("127.0.23.1", "127.0.23.2", 42301, true);
    CDropDown* hipass = window->EqPage()->TypeSelector(1095);
    QTest::mouseClick(hipass, Qt::LeftButton);
    ASSERT_TRUE(hipass->IsPopupShowing());
    CDropListBox* list = hipass->List();
    ASSERT_EQ(list->ItemText(3), "Linkwitz 2");
    // The lowest rows of "Linkwitz 2" lie over the CH1 level stepper's increase arrow.
    CValueStepper* level = window->EqPage()->Stepper(1080);
    const QPoint entry(level->mapToGlobal(level->IncreaseRect().center()).x(),
                       list->mapToGlobal(list->ItemRect(3).bottomLeft()).y() - 2);
    ASSERT_EQ(list->IndexAt(list->mapFromGlobal(entry)), 3);
    ASSERT_TRUE(level->IncreaseRect().contains(level->mapFromGlobal(entry)));
    const std::size_t mark = processor->Log().size();
    const int levelBefore = app->Parameters().channels[0].level;

    Pointer pointer;
    QWidget* popup = hipass->Popup();
    pointer.Move(popup, entry);
    pointer.Press(popup, entry);
    pointer.Release(window, entry);
    ASSERT_FALSE(hipass->IsPopupShowing());
    for (int click = 2; click <= 3; ++click) {  // the rest of a double- and a triple-click
        pointer.Press(window, entry);
        pointer.Release(window, entry);
    }

    ASSERT_EQ(AwaitLogged(*processor, mark, 1), 1u);
    EXPECT_EQ(processor->Log()[mark].decoded.code, kHipass);
    EXPECT_EQ(processor->Settings().channels[0].hipass.type, 3);
    EXPECT_EQ(app->Parameters().channels[0].level, levelBefore);
    EXPECT_EQ(hipass->Text(), "Linkwitz 2");
}

}  // namespace
}  // namespace quorvell
