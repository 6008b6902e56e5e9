// SPDX-License-Identifier: GPL-3.0-or-later
// Two processors linked from one panel: chosen together in the search list, shown in the
// processor row, switched between, edited as a group, and let go when the window closes.
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

    // Closing the window lets both processors go.
    window->close();
    ASSERT_TRUE(test::WaitFor([&] { return !window->isVisible(); }));
    EXPECT_FALSE(app->Link().receiveRunning());
    EXPECT_FALSE(second->Link().receiveRunning());
    EXPECT_FALSE(app->Rack().Endpoint().bound());
}

}  // namespace
}  // namespace quorvell
