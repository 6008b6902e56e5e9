// SPDX-License-Identifier: GPL-3.0-or-later
// Two processors linked from one panel: chosen together in the search list, shown in the
// processor row, switched between, edited as a group, and let go when the window closes.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

#include "CValueStepper.h"
#include "PanelFixture.h"
#include "PanelUndo.h"
#include "ProcessorEditor.h"
#include "ProcessorRack.h"
#include "ProcessorRow.h"

namespace quorvell {
namespace {

class RackPanelTest : public test::PanelFixture {};

TEST_F(RackPanelTest, TwoProcessorsLinkSwitchAndCloseTogether) {
    constexpr quint16 kPort = 42480;
    sim::SimProcessor& a = AddProcessor("127.0.48.2", kPort, "LEFT");
    sim::SimProcessor& b = AddProcessor("127.0.48.3", kPort, "RIGHT");
    b.MutableSettings().channels[0].bands[3].gain = 100;
    StartPanel("127.0.48.1", kPort, "127.0.48.2");
    EXPECT_FALSE(window->Processors()->isVisible()) << "one processor: no row";

    // Search, then Ctrl+click both rows and Connect: one search on the endpoint, two links.
    ClickSystemButton(1083);
    QTableWidget* list = window->SystemPage()->DeviceList();
    ASSERT_TRUE(test::WaitFor([&] { return list->rowCount() == 2; }));
    for (int row = 0; row < 2; ++row) {
        const QRect cell = list->visualItemRect(list->item(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton,
                          row == 0 ? Qt::NoModifier : Qt::ControlModifier, cell.center());
    }
    ASSERT_EQ(window->SystemPage()->ChosenDevices().size(), 2);
    QTest::mouseClick(window->SystemPage()->Button(1084), Qt::LeftButton);
    ProcessorEditor* second = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
        second = app->Rack().Find("127.0.48.3");
        return app->Link().linkUp() && second && second->Link().linkUp();
    }));
    EXPECT_EQ(app->Rack().size(), 2);

    ProcessorRow* row = window->Processors();
    ASSERT_TRUE(test::WaitFor([&] { return row->isVisible() && row->count() == 2; }));

    EXPECT_TRUE(row->tabText(0).contains("127.0.48.2"));
    EXPECT_TRUE(row->tabText(1).contains("RIGHT  127.0.48.3"));
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    CValueStepper* gain = window->EqPage()->Stepper(1032);
    EXPECT_EQ(gain->GetValue(), a.Settings().channels[0].bands[3].gain);
    QTest::mouseClick(row, Qt::LeftButton, Qt::NoModifier, row->tabRect(1).center());
    EXPECT_EQ(&window->Current(), second);
    EXPECT_EQ(gain->GetValue(), 100) << "the pages show the second processor at once";
    test::GrabIfAsked(window, "processor-row.png");

    // Group both (the rows are still chosen) and make the group active: the gain differs.
    ClickSystemButton(1001);
    QTest::keyClicks(window->SystemPage()->GroupName(), "PAIR");
    QTest::mouseClick(window->SystemPage()->GroupButton(), Qt::LeftButton);
    window->SystemPage()->GroupChooser()->setFocus();
    QTest::keyClick(window->SystemPage()->GroupChooser(), Qt::Key_Down);
    ASSERT_EQ(window->ActiveGroup(), "PAIR");
    EXPECT_EQ(window->Groups().value("PAIR"), (QStringList{"127.0.48.2", "127.0.48.3"}));
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    ASSERT_TRUE(window->MarkerOf(gain) && window->MarkerOf(gain)->isVisible());
    EXPECT_TRUE(window->MarkerOf(gain)->toolTip().contains("127.0.48.2"));
    test::GrabIfAsked(window, "group-edit.png");

    // One click on the shown processor's gain reaches both, byte for byte; one UNDO undoes
    // it on both, each back to its own value.
    const std::size_t markA = a.Log().size();
    const std::size_t markB = b.Log().size();
    QTest::mouseClick(gain, Qt::LeftButton, Qt::NoModifier, QPoint(gain->width() - 8, 10));
    ASSERT_EQ(AwaitLogged(a, markA, 1), 1u);
    ASSERT_EQ(AwaitLogged(b, markB, 1), 1u);
    const auto bandFrame = [](const sim::SimProcessor& p, std::size_t mark) {
        const auto frames = Received(p, 1, mark);
        return frames.empty() ? QByteArray() : frames.back()->bytes;
    };
    EXPECT_EQ(bandFrame(a, markA), bandFrame(b, markB));
    EXPECT_EQ(a.Settings().channels[0].bands[3].gain, b.Settings().channels[0].bands[3].gain);
    EXPECT_FALSE(window->MarkerOf(gain)->isVisible());
    QTest::mouseClick(window->Undo()->UndoButton(), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] {
        return a.Settings().channels[0].bands[3].gain == 180 &&
               b.Settings().channels[0].bands[3].gain == 100;
    }));
    EXPECT_FALSE(window->Undo()->UndoButton()->isEnabled()) << "one step for the group";

    // Closing the window lets both processors go.
    window->close();
    ASSERT_TRUE(test::WaitFor([&] { return !window->isVisible(); }));
    EXPECT_FALSE(app->Link().receiveRunning());
    EXPECT_FALSE(second->Link().receiveRunning());
    EXPECT_FALSE(app->Rack().Endpoint().bound());
}

}  // namespace
}  // namespace quorvell
