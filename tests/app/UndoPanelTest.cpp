// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, redo and A/B in the running panel, driven by real input, against the simulator:
// what each step puts on the wire.
#include <QPushButton>

#include "CMenuEx.h"
#include "CPresetBank.h"
#include "PanelFixture.h"
#include "PanelUndo.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kEqBand = 1;
// CH1 Band 3 gain (stepper 1032): corner (80, 110) on the page, (80, 220) in the window.
constexpr QPoint kGainIncrease(80 + 80, 220 + 10);

class UndoPanelTest : public test::PanelFixture {
public:
    void StartLinked(quint16 port, const std::function<void(DeviceParameters&)>& prepare = {}) {
        PanelFixture::StartLinked("127.0.25.1", "127.0.25.2", port, true, prepare);
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
        AwaitDrained();  // the gesture's own frames are not counted after the mark
        ASSERT_EQ(window->Undo()->UndoButton()->isEnabled(), !c.undoSends.empty());
        EXPECT_EQ(window->Undo()->UndoButton()->toolTip().startsWith("CH1 Band 3 gain "),
                  !c.undoSends.empty());
        AwaitDrained();
        const std::size_t mark = processor->Log().size();
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
    AwaitDrained();
    const std::size_t mark = processor->Log().size();
    Key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    Key(Qt::Key_Y, Qt::ControlModifier);
    Key(Qt::Key_Y, Qt::ControlModifier);  // nothing left to redo
    EXPECT_EQ(BandGains(mark, 2), (std::vector<int>{181, 182}));
    EXPECT_FALSE(window->Undo()->RedoButton()->isEnabled());
    EXPECT_EQ(Gain3()->Text(), "G:0.2");
}

// A/B by key, button or undo sends only what differs between the two memories.
TEST_F(UndoPanelTest, CompareSwitchSendsOnlyTheBandThatDiffersEachWay) {
    StartLinked(42504);
    QPushButton* ab = window->Undo()->CompareButton();
    AwaitDrained();
    std::size_t mark = processor->Log().size();
    Key(Qt::Key_F2);  // the first switch copies the settings into B
    EXPECT_EQ(ab->text(), "A/B: B");
    test::ClickAt(window, kGainIncrease);  // B differs in one band
    EXPECT_EQ(BandGains(mark, 1), std::vector<int>{181});

    const auto expectSwitch = [&](const std::function<void()>& press, int gain, const char* shown) {
        AwaitDrained();
        mark = processor->Log().size();
        press();
        EXPECT_EQ(BandGains(mark, 1), std::vector<int>{gain});
        EXPECT_EQ(CommandsSince(*processor, mark), 1u);
        EXPECT_EQ(ab->text(), shown);
    };
    expectSwitch([&] { Key(Qt::Key_F2); }, 180, "A/B: A");
    expectSwitch([&] { QTest::mouseClick(ab, Qt::LeftButton); }, 181, "A/B: B");
    expectSwitch([&] { Key(Qt::Key_Z, Qt::ControlModifier); }, 180,
                 "A/B: A");  // undo switches back
}

// An EQ RESET is one step; its undo sends the nine records back as they were.
TEST_F(UndoPanelTest, UndoOfResetRestoresAndSendsTheNineRecords) {
    ChannelParameters held;
    StartLinked(42505, [&](DeviceParameters& p) {
        for (int b = 1; b <= kBandCount; ++b) {
            p.channels[0].bands[b].gain = 180 + 10 * b;
        }
        p.channels[0].hipass.freq = 60;
        p.channels[0].lopass.freq = 15000;
        held = p.channels[0];
    });
    AwaitDrained();
    std::size_t mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->ResetButton(0), Qt::LeftButton);
    ASSERT_EQ(AwaitLogged(*processor, mark, 9), 9u);
    EXPECT_EQ(window->Undo()->UndoButton()->toolTip(), "CH1 EQ RESET");

    AwaitDrained();

    mark = processor->Log().size();
    QTest::mouseClick(window->Undo()->UndoButton(), Qt::LeftButton);
    ASSERT_EQ(AwaitLogged(*processor, mark, 9), 9u);  // exactly the nine records checked below
    const ChannelParameters& now = processor->Settings().channels[0];
    for (int b = 1; b <= kBandCount; ++b) {
        EXPECT_EQ(now.bands[b].gain, held.bands[b].gain);
    }
    EXPECT_EQ(std::tie(now.hipass.freq, now.lopass.freq),
              std::tie(held.hipass.freq, held.lopass.freq));
    EXPECT_EQ(window->EqPage()->Stepper(1051)->Text(), "60Hz");
}

// A recall's undo sends only the record the recall changed.
TEST_F(UndoPanelTest, RecallIsOneStepWhoseUndoSendsWhatItChanged) {
    StartLinked(42508);
    CSystemPage* page = window->SystemPage();
    ClickSystemButton(1002);
    QTest::mouseClick(page->Bank()->SaveButton(), Qt::LeftButton);  // G:0.0
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    test::ClickAt(window, kGainIncrease);
    test::ClickAt(window, kGainIncrease);
    ClickSystemButton(1002);
    page->Bank()->SetMenuHook([](QPoint) { return std::optional<int>(kCmdRecall); });
    AwaitDrained();
    std::size_t mark = processor->Log().size();
    QTest::mouseClick(page->Bank()->Slot(0), Qt::LeftButton);
    ASSERT_EQ(AwaitLogged(*processor, mark, 25), 25u);
    EXPECT_EQ(window->Undo()->UndoButton()->toolTip(), "Preset recall");
    AwaitDrained();
    mark = processor->Log().size();
    Key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(BandGains(mark, 1), std::vector<int>{182});
    EXPECT_EQ(CommandsSince(*processor, mark), 1u);
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
