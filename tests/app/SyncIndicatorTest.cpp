// SPDX-License-Identifier: GPL-3.0-or-later
// The indicator beside the status button: a value changed on the processor by someone else is
// shown where it is (no page switch) and named in the tooltip; a processor that stops
// answering is reported as LINK LOST.
#include <QComboBox>
#include <QLabel>

#include "CLimiterPage.h"
#include "CSystemPage.h"
#include "PanelFixture.h"
#include "ReadBack.h"

namespace quorvell {
namespace {

class SyncIndicatorTest : public test::PanelFixture {};

TEST_F(SyncIndicatorTest, AdoptedValuesAndLinkLossAreShown) {
    sim::SimProcessor& processor = AddProcessor("127.0.24.12", 42470);
    StartPanel("127.0.24.11", 42470, "127.0.24.12");
    EXPECT_EQ(window->SyncIndicator()->text(), "");
    ConnectThroughSystemPage();
    EXPECT_EQ(window->SyncIndicator()->text(), "IN SYNC");

    window->SwitchPage(2);
    processor.MutableSettings().channels[1].limiter.threshold = 30;
    app->Sync().RequestRead();
    ASSERT_TRUE(
        test::WaitFor([&] { return window->LimiterPage()->Stepper(1085)->Text() == "-30dB"; }));
    EXPECT_EQ(window->CurrentPage(), 2);
    EXPECT_EQ(window->SyncIndicator()->text(), "IN SYNC");
    EXPECT_EQ(window->SyncIndicator()->toolTip(), "Taken from the processor: ch2.limiter");

    // SET: the read-back period (default 5 s), changed by the operator.
    ClickSystemButton(1003);
    QComboBox* poll = window->SystemPage()->PollChooser();
    ASSERT_TRUE(poll->isVisible());
    EXPECT_EQ(poll->currentText(), "every 5 s");
    poll->setFocus();
    QTest::keyClick(poll, Qt::Key_Down);
    EXPECT_EQ(app->Sync().Options().pollMs, 10000);

    processor.Stop();
    app->Sync().RequestRead();
    ASSERT_TRUE(
        test::WaitFor([&] { return window->SyncIndicator()->text() == "LINK LOST"; }, 6000));
    EXPECT_EQ(window->StatusButton()->text(), "Connect");  // the status button keeps its text

    // The period chosen is the next session's, unless --poll says otherwise.
    app.reset();
    StartPanel("127.0.24.11", 42470, "127.0.24.12");
    ClickSystemButton(1003);
    EXPECT_EQ(window->SystemPage()->PollChooser()->currentText(), "every 10 s");
}

}  // namespace
}  // namespace quorvell
