// SPDX-License-Identifier: GPL-3.0-or-later
// The panel at its edges, against the simulator: held keys and closing during a sequence.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "CAboutDialog.h"
#include "CDropDown.h"
#include "PanelFixture.h"
#include "PanelUndo.h"

namespace quorvell {
namespace {

class PanelEdgesTest : public test::PanelFixture {
protected:
    // Linked with CH1 away from its defaults, so that an EQ RESET changes nine records.
    void StartLinked(const QString& panelIp, const QString& simIp, quint16 port) {
        PanelFixture::StartLinked(panelIp, simIp, port, true, [](DeviceParameters& p) {
            for (int b = 1; b <= kBandCount; ++b) {
                p.channels[0].bands[b].gain = 180 + 10 * b;
            }
            p.channels[0].hipass.freq = 60;
            p.channels[0].lopass.freq = 15000;
        });
    }

    // Confirms CH1's EQ RESET; returns once the sequence is queued.
    void ResetChannel1() {
        boxes.answers = {MessageAnswer::Ok};
        QTest::mouseClick(window->EqPage()->ResetButton(0), Qt::LeftButton);
        ASSERT_TRUE(app->Link().pacedRunning());
    }

    // A key held down through the window system: one press, `repeats` auto-repeated ones,
    // then the release.
    void HoldKey(Qt::Key key, int repeats) {
        QWindow* w = window->windowHandle();
        qt_handleKeyEvent(w, QEvent::KeyPress, key, Qt::NoModifier);
        for (int i = 0; i < repeats; ++i) {
            qt_handleKeyEvent(w, QEvent::KeyRelease, key, Qt::NoModifier, {}, true);
            qt_handleKeyEvent(w, QEvent::KeyPress, key, Qt::NoModifier, {}, true);
            QCoreApplication::processEvents();
        }
        qt_handleKeyEvent(w, QEvent::KeyRelease, key, Qt::NoModifier);
        QCoreApplication::processEvents();
    }
};

// A held F2, the A/B button and the undo of a switch are one switch each and send only the
// records that differ; a burst of separate presses queues each record at most twice and
// leaves the processor with the last wanted memory.
TEST_F(PanelEdgesTest, HeldOrHammeredCompareKeySendsOnlyTheLastWantedState) {
    StartLinked("127.0.27.1", "127.0.27.2", 42701);
    QPushButton* ab = window->Undo()->CompareButton();
    std::size_t mark = Mark();
    HoldKey(Qt::Key_F2, 1);  // first switch: B is a copy of A, nothing to send
    ASSERT_EQ(ab->text(), "A/B: B");
    ResetChannel1();  // B now differs from A in nine records
    ASSERT_EQ(AwaitLogged(*processor, mark, 9), 9u);

    const std::pair<std::function<void()>, const char*> switches[] = {
        {[&] { HoldKey(Qt::Key_F2, 40); }, "A/B: A"},
        {[&] { QTest::mouseClick(ab, Qt::LeftButton); }, "A/B: B"},
        {[&] { QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier); }, "A/B: A"},
    };
    for (const auto& [press, shown] : switches) {
        mark = Mark();
        press();
        EXPECT_EQ(ab->text(), shown);
        EXPECT_EQ(AwaitLogged(*processor, mark, 9), 9u) << shown;
    }

    mark = Mark();
    for (int i = 0; i < 7; ++i) {  // A → B → … → B, faster than the sequence runs
        QTest::keyClick(window, Qt::Key_F2);
    }
    EXPECT_EQ(ab->text(), "A/B: B");
    ASSERT_TRUE(test::WaitFor([&] { return !app->Link().pacedRunning(); }));
    EXPECT_LE(CommandsSince(*processor, mark), 18u);
    for (int b = 1; b <= kBandCount; ++b) {
        EXPECT_EQ(processor->Settings().channels[0].bands[b].gain, 180) << "band " << b;
    }
}

// A held Return on a focused type list: the press opens it, the next press takes the entry;
// the repeats of either do nothing.
TEST_F(PanelEdgesTest, HeldReturnOnATypeListOpensOnceAndTakesOnce) {
    StartLinked("127.0.27.11", "127.0.27.12", 42704);
    CDropDown* hipass = window->EqPage()->TypeSelector(1095);
    hipass->setFocus(Qt::TabFocusReason);
    const std::size_t mark = processor->Log().size();
    HoldKey(Qt::Key_Return, 16);
    EXPECT_TRUE(hipass->IsPopupShowing());
    HoldKey(Qt::Key_Return, 16);
    EXPECT_FALSE(hipass->IsPopupShowing());
    EXPECT_EQ(AwaitLogged(*processor, mark, 1), 1u);
}

// A close during a sequence lets it finish with the window showing so; a second close ends
// at once and counts what was not sent.
TEST_F(PanelEdgesTest, CloseDuringASequenceFinishesItUnlessAskedTwice) {
    const struct {
        const char* sim;
        quint16 port;
        bool twice;
    } cases[] = {{"127.0.27.4", 42702, false}, {"127.0.27.6", 42703, true}};
    for (const auto& c : cases) {
        StartLinked("127.0.27.9", QString::fromLatin1(c.sim), c.port);
        const std::size_t mark = processor->Log().size();
        ResetChannel1();
        window->close();
        ASSERT_TRUE(window->isVisible());
        EXPECT_TRUE(window->Finishing());
        EXPECT_EQ(window->SyncIndicator()->text(), "FINISHING…");
        if (c.twice) {
            window->close();
        }
        ASSERT_TRUE(test::WaitFor([&] { return !window->isVisible(); },
                                  CMainDialog::kFinishBoundMs + 3000));
        // Every frame is either at the processor or counted as not sent.
        const int expected = 9 - window->UnsentAtClose();
        ASSERT_TRUE(test::WaitFor(
            [&] { return CommandsSince(*processor, mark) == static_cast<std::size_t>(expected); }));
        const std::size_t sent = CommandsSince(*processor, mark);
        if (c.twice) {
            EXPECT_LT(sent, 9u);
            EXPECT_EQ(window->UnsentAtClose(), static_cast<int>(9 - sent));
        } else {
            EXPECT_EQ(sent, 9u);
            EXPECT_EQ(window->UnsentAtClose(), 0);
        }
        EXPECT_FALSE(app->Link().receiveRunning());
        TearDown();
    }
}

// A data path far longer than the window is wide keeps the about box inside the window, and
// the whole path is still there to read and copy.
TEST(AboutBox, ALongDataPathKeepsTheBoxAsWideAsTheWindow) {
    QWidget window;
    window.resize(480, 300);
    const QString path = "/home/operator/" + QString("very-long-folder-name/").repeated(20);
    CAboutDialog about(path, &window);
    about.show();
    EXPECT_LE(about.width(), window.width());
    auto* field = about.findChild<QLineEdit*>("dataPath");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(), path);
}

}  // namespace
}  // namespace quorvell
