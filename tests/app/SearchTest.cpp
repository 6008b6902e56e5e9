// SPDX-License-Identifier: GPL-3.0-or-later
// Search on the CONNECT sub-page: three processors on the bound /24, found without freezing the
// window; a row picks the target.
#include <QLineEdit>
#include <QProgressBar>
#include <QSettings>
#include <QTableWidget>

#include "PanelFixture.h"

namespace quorvell {
namespace {

class SearchTest : public test::PanelFixture {};

// The sweep lists each processor once without freezing the window; a picked row is stored as
// "hostip" and is what the next Connect reaches, while the live link stays where it is.
TEST_F(SearchTest, ListsEveryProcessorOnceAndAPickedRowBecomesHostIp) {
    constexpr quint16 kPort = 39430;
    AddProcessor("127.0.41.3", kPort, "LEFT");
    AddProcessor("127.0.41.77", kPort, "RIGHT");
    AddProcessor("127.0.41.254", kPort, "SUB");
    StartPanel("127.0.41.1", kPort, "127.0.41.3");
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    CSystemPage* page = window->SystemPage();
    page->AddDevice("127.0.41.99", kPort, "STALE");  // emptied by the search

    QTableWidget* list = page->DeviceList();
    std::size_t hosts = 0;
    QObject::connect(&app->Link(), &DeviceLink::searchProgress, [&hosts] { ++hosts; });
    test::StallMeter meter([&hosts] { return hosts; });
    meter.Measure([&] { QTest::mouseClick(page->Button(1083), Qt::LeftButton); },
                  [&] { return !app->Link().sweepRunning() && list->rowCount() >= 3; });
    EXPECT_LE(meter.MostPerTurn(), 2u) << "the sweep addressed many hosts in one turn";
    EXPECT_GE(hosts, 253u);
    ASSERT_EQ(list->rowCount(), 3);
    QStringList rows;
    for (int r = 0; r < 3; ++r) {
        rows << list->item(r, 0)->text() + " " + list->item(r, 1)->text() + " " +
                    list->item(r, 2)->text();
    }
    rows.sort();
    EXPECT_EQ(rows, (QStringList{"127.0.41.254 39430 SUB", "127.0.41.3 39430 LEFT",
                                 "127.0.41.77 39430 RIGHT"}));
    EXPECT_FALSE(page->Progress()->isVisibleTo(page));
    EXPECT_TRUE(boxes.shown.empty());

    // Linked with LEFT, click the row of RIGHT: the field and "hostip" follow it, the link
    // does not: an edit still reaches LEFT only, and RIGHT's values are not adopted.
    ConnectThroughSystemPage();
    sim::SimProcessor& left = *processors[0];
    sim::SimProcessor& rightProcessor = *processors[1];
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    const QList<QTableWidgetItem*> right = list->findItems("RIGHT", Qt::MatchExactly);
    ASSERT_EQ(right.size(), 1);
    const QRect cell = list->visualItemRect(list->item(right[0]->row(), 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    EXPECT_EQ(app->Link().deviceAddress(), "127.0.41.3");
    EXPECT_EQ(page->AddressField()->text(), "127.0.41.77");
    QSettings settings("Quorvell", "Quorvell");
    EXPECT_EQ(settings.value("U_FONT_SECTION/hostip").toString(), "127.0.41.77");
    const std::size_t leftMark = left.Log().size();
    const std::size_t rightMark = rightProcessor.Log().size();
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    test::ClickAt(window, test::kGainIncrease);
    EXPECT_EQ(AwaitLogged(left, leftMark, 1), 1u);
    EXPECT_EQ(rightProcessor.Log().size(), rightMark);
    EXPECT_EQ(QString::fromUtf8(DeviceNameText(app->Parameters())), "LEFT");

    // Disconnect; the next connect goes to the picked processor.
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    QTest::mouseClick(page->Button(1084), Qt::LeftButton);
    ASSERT_FALSE(app->Link().linkUp());
    QTest::mouseClick(page->Button(1084), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return app->Link().linkUp(); }));
    EXPECT_EQ(QString::fromUtf8(DeviceNameText(app->Parameters())), "RIGHT");
    settings.remove("U_FONT_SECTION/hostip");
}

}  // namespace
}  // namespace quorvell
