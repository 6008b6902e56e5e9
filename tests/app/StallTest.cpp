// SPDX-License-Identifier: GPL-3.0-or-later
// The window never freezes: the longest gap between two turns of the event loop during
// connect, recall, EQ RESET, the undo and A/B switch of a channel, a save on a locked database
// and a flood of status frames. Prints the figures; what is asserted is that the paced frames
// leave one per turn (a blocking sequence sends them all in one), which a busy machine cannot
// upset.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "CMenuEx.h"
#include "CPresetBank.h"
#include "PanelFixture.h"
#include "PanelUndo.h"
#include "PresetDatabase.h"
#include "ReadBack.h"

namespace quorvell {
namespace {

class StallTest : public test::PanelFixture {};

// Paced sequences and the handshake never block the event loop.
TEST_F(StallTest, ConnectRecallResetAndUndoKeepTheWindowResponsive) {
    constexpr quint16 kPort = 39460;
    sim::SimProcessor& processor = AddProcessor("127.0.43.2", kPort);
    for (EqBand& band : processor.MutableSettings().channels[0].bands) {
        band.gain = 200;  // so that a RESET changes every band
    }
    StartPanel("127.0.43.1", kPort, "127.0.43.2");
    CSystemPage* page = window->SystemPage();
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    test::StallMeter meter([this] { return framesSent; });
    std::vector<std::size_t> perTurn;  // the most frames sent within one turn, per action
    const auto measure = [&](const std::function<void()>& action,
                             const std::function<bool()>& done) {
        const double ms = meter.Measure(action, done);
        perTurn.push_back(meter.MostPerTurn());
        return ms;
    };

    const double connect = measure([&] { QTest::mouseClick(page->Button(1084), Qt::LeftButton); },
                                   [&] { return app->Link().linkUp(); });
    ClickSystemButton(1002);
    QTest::mouseClick(page->Bank()->SaveButton(), Qt::LeftButton);
    page->Bank()->SetMenuHook([](QPoint) { return std::optional<int>(kCmdRecall); });
    std::size_t mark = processor.Log().size();
    const double recall = measure([&] { QTest::mouseClick(page->Bank()->Slot(0), Qt::LeftButton); },
                                  [&] { return processor.Log().size() >= mark + 25; });
    boxes.answers = {MessageAnswer::Ok};
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    mark = processor.Log().size();
    const double reset =
        measure([&] { QTest::mouseClick(window->EqPage()->ResetButton(0), Qt::LeftButton); },
                [&] { return processor.Log().size() >= mark + 9; });
    // Undo of the RESET, then an A/B switch between the reset and the restored channel.
    PanelUndo& undo = *window->Undo();
    const auto paced = [&] { return !app->Link().pacedRunning(); };
    const double undoReset =
        measure([&] { QTest::mouseClick(undo.UndoButton(), Qt::LeftButton); }, paced);
    QTest::mouseClick(undo.CompareButton(), Qt::LeftButton);  // B: a copy of A
    QTest::mouseClick(undo.RedoButton(), Qt::LeftButton);     // no redo left: nothing
    boxes.answers = {MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->ResetButton(0), Qt::LeftButton);
    test::WaitFor(paced);
    const double compare =
        measure([&] { QTest::mouseClick(undo.CompareButton(), Qt::LeftButton); }, paced);

    std::printf(
        "longest UI stall (ms): connect %.2f, recall %.2f, reset %.2f, undo of reset "
        "%.2f, A/B switch %.2f\n",
        connect, recall, reset, undoReset, compare);
    ASSERT_EQ(perTurn.size(), 5u);
    for (std::size_t frames : perTurn) {
        EXPECT_LE(frames, 2u);  // a blocking recall would send 25 at once, a RESET 9
    }
}

// A processor floods its state from its own address (10,000 frames in about a second, its CH1
// level changed early on): the link stays up and the screen ends showing the last state.
TEST_F(StallTest, AFloodOfStatesEndsWithTheScreenShowingTheLastOne) {
    StartLinked("127.0.47.1", "127.0.47.2", 39470);
    bool flooding = true;
    QObject::connect(processor, &sim::SimProcessor::floodEnded, [&] { flooding = false; });
    processor->SetFloodCount(10000);
    test::StallMeter meter;
    const double flood = meter.Measure(
        [&] {
            app->Sync().RequestRead();  // its answer starts the flood
            QTimer::singleShot(50, [&] { processor->MutableSettings().channels[0].level = 100; });
        },
        [&] { return !flooding; });
    std::printf("longest UI stall (ms): 10,000 status frames %.2f\n", flood);
    processor->SetFloodCount(0);
    app->Sync().RequestRead();
    EXPECT_TRUE(test::WaitFor([&] {
        return window->EqPage()->Stepper(1080)->GetValue() == 100 &&
               app->Sync().state() == SyncState::InSync;
    }));
    EXPECT_TRUE(app->Link().linkUp());
}

// Another program holds the preset database's write lock: Save gives up after the short
// busy timeout and says so, instead of holding the window for the CLI's 5 s.
TEST_F(StallTest, SaveWhileAnotherProgramHoldsTheLock) {
    StartPanel("127.0.22.1", 42204, "127.0.22.2");
    ClickSystemButton(1002);
    ScriptedMessageBoxes quiet;
    PresetDatabase other(dataDir.path(), quiet);
    ASSERT_TRUE(other.Begin());
    test::StallMeter meter;
    const double save = meter.Measure(
        [&] { QTest::mouseClick(window->SystemPage()->Bank()->SaveButton(), Qt::LeftButton); },
        [] { return true; });
    other.Rollback();
    std::printf("longest UI stall (ms): save on a locked database %.2f\n", save);
    ASSERT_FALSE(boxes.shown.empty());
    EXPECT_EQ(boxes.shown.back().text, kTextDatabaseBusy);
    EXPECT_LT(save, 2500.0);  // the panel waits 5 ms for the lock; a CLI would wait 5000 ms
}

}  // namespace
}  // namespace quorvell
