// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, redo and A/B in the running panel, driven by real input, against the simulator:
// what each step puts on the wire.
#include <QPushButton>

#include "PanelFixture.h"
#include "PanelUndo.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kEqBand = 1;
using test::kGainIncrease;

class UndoPanelTest : public test::PanelFixture {
public:
    void StartLinked(quint16 port) {
        PanelFixture::StartLinked("127.0.25.1", "127.0.25.2", port, true);
    }

    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(window, key, modifiers);
        QCoreApplication::processEvents();
    }

    // The gains of CH1 band frames the processor logged from `mark` on, once `count` frames
    // arrived (and everything sent by then, so that a surplus would show).
    std::vector<int> BandGains(std::size_t mark, std::size_t count, int band = 3) {
        AwaitLogged(*processor, mark, count);
        std::vector<int> gains;
        for (const sim::LogEntry* e : Received(*processor, kEqBand, mark)) {
            EXPECT_EQ(e->decoded.Field("band"), band);
            gains.push_back(static_cast<int>(e->decoded.Field("gain").value_or(-1)));
        }
        return gains;
    }

    CValueStepper* Gain3() const { return window->EqPage()->Stepper(1032); }
};

// Wheel notches on CH1 Band 3 gain, 30 ms apart: 1 up, -1 down, 0 a pause that ends the burst.
void WheelGain(CMainDialog* w, const std::vector<int>& notches) {
    QWidget* stepper = w->EqPage()->Stepper(1032);
    for (int notch : notches) {
        QWheelEvent wheel(QPointF(45, 10), stepper->mapToGlobal(QPointF(45, 10)), {},
                          {0, 120 * notch}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        if (notch != 0) {
            QApplication::sendEvent(stepper, &wheel);
        }
        test::Pump(notch != 0 ? 30 : PanelUndo::kWheelBurstMs + 200);
    }
}

// Clicks, a held arrow, wheel bursts and curve drags are one step each; each undo sends one
// frame.
TEST_F(UndoPanelTest, GesturesUndoAsOneStepEachWithOneFrameEach) {
    const struct {
        const char* name;
        quint16 port;
        int clicks;                  // quick clicks on the increase arrow
        int holdMs;                  // or the arrow held this long
        std::vector<int> notches;    // or these wheel notches
        int drags;                   // or this many upward drags of the band's curve marker
        std::vector<int> undoSends;  // gains sent by the undos, one Ctrl+Z per entry
    } cases[] = {
        {"three clicks, handled after the last one", 42500, 3, 0, {}, 0, {182, 181, 180}},
        {"arrow held for 0.6 s", 42501, 0, 600, {}, 0, {180}},
        {"wheel burst, a pause, another burst", 42502, 0, 0, {1, 1, 1, 0, 1, 1, 1}, 0, {183, 180}},
        {"wheel burst that ends where it began", 42509, 0, 0, {1, 1, -1, -1}, 0, {}},
        {"two curve drags of 15 pixels", 42507, 0, 0, {}, 2, {253, 180}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartLinked(c.port);
        EXPECT_FALSE(window->Undo()->UndoButton()->isEnabled());  // a connect is no step
        QWidget* stepper = Gain3();
        const QPoint at = stepper->mapFrom(window, kGainIncrease);
        QTest::mouseMove(stepper, at);
        for (int i = 0; i < c.clicks; ++i) {
            QTest::mouseClick(stepper, Qt::LeftButton, Qt::NoModifier, at);
        }
        if (c.holdMs > 0) {
            QTest::mousePress(stepper, Qt::LeftButton, Qt::NoModifier, at);
            test::Pump(c.holdMs);
            QTest::mouseRelease(stepper, Qt::LeftButton, Qt::NoModifier, at);
        }
        WheelGain(window, c.notches);
        CResponseCurve* curve = window->EqPage()->Curve();
        for (int i = 0; i < c.drags; ++i) {
            const QPoint from = curve->MarkerPosition(3).toPoint();
            QTest::mousePress(curve, Qt::LeftButton, {}, from);
            for (int dy = 1; dy <= 15; ++dy) {
                QTest::mouseMove(curve, from - QPoint(0, dy));
                test::Pump(5);
            }
            QTest::mouseRelease(curve, Qt::LeftButton, {}, from - QPoint(0, 15));
        }
        const std::size_t mark = Mark();  // the gesture's own frames are not counted
        ASSERT_EQ(window->Undo()->UndoButton()->isEnabled(), !c.undoSends.empty());
        EXPECT_EQ(window->Undo()->UndoButton()->toolTip().startsWith("CH1 Band 3 gain "),
                  !c.undoSends.empty());
        for (std::size_t i = 0; i < c.undoSends.size(); ++i) {
            Key(Qt::Key_Z, Qt::ControlModifier);
        }
        EXPECT_EQ(BandGains(mark, c.undoSends.size()), c.undoSends);
        // Read-backs the panel sends on its own (CmdConnect) may come at any time: not counted.
        EXPECT_EQ(CommandsSince(*processor, mark), c.undoSends.size());
        EXPECT_EQ(Gain3()->Text(), "G:0.0");
        EXPECT_FALSE(window->Undo()->UndoButton()->isEnabled());
        TearDown();
    }
}

// Ctrl+Shift+Z and Ctrl+Y redo in order and stop when nothing is left.
TEST_F(UndoPanelTest, RedoKeysReapplyTheUndoneStepsInOrder) {
    StartLinked(42503);
    for (int i = 0; i < 2; ++i) {
        test::ClickAt(window, kGainIncrease);
    }
    Key(Qt::Key_Z, Qt::ControlModifier);
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window->Undo()->RedoButton()->toolTip(), "CH1 Band 3 gain 0.0 → 0.1 dB");
    const std::size_t mark = Mark();
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_Y, Qt::ControlModifier);
    Key(Qt::Key_Y, Qt::ControlModifier);  // nothing left to redo
    EXPECT_EQ(BandGains(mark, 2), (std::vector<int>{181, 182}));
    EXPECT_FALSE(window->Undo()->RedoButton()->isEnabled());
    EXPECT_EQ(Gain3()->Text(), "G:0.2");
}

// Steps and A/B memories of one processor are never applied to another.
TEST_F(UndoPanelTest, ConnectingToAnotherProcessorClearsStepsAndMemories) {
    StartLinked(42506);
    AddProcessor("127.0.25.3", 42506);
    test::ClickAt(window, kGainIncrease);
    Key(Qt::Key_F2);
    ASSERT_EQ(app->UndoStack().count(), 2);
    ClickSystemButton(1084);  // disconnect
    app->Link().setDeviceAddress("127.0.25.3");
    ClickSystemButton(1084);
    ASSERT_TRUE(test::WaitFor([&] { return app->Link().linkUp(); }));
    EXPECT_EQ(app->UndoStack().count(), 0);
    EXPECT_EQ(window->Undo()->CompareButton()->text(), "A/B: A");
    EXPECT_FALSE(window->Undo()->UndoButton()->isEnabled());
}

}  // namespace
}  // namespace quorvell
