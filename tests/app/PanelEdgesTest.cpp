// SPDX-License-Identifier: GPL-3.0-or-later
// The panel at its edges, against the simulator: held keys, closing during a sequence, and
// operator input through the window system that must make no frame the operator did not,
// whatever opens, closes or hides in the middle of a gesture.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

#include "CAboutDialog.h"
#include "CDropDown.h"
#include "CDropListBox.h"
#include "CDropPopup.h"
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
