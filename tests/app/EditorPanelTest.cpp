// SPDX-License-Identifier: GPL-3.0-or-later
// An edit made while a paced sequence runs is what the processor ends with.
#include <QPushButton>

#include "PanelFixture.h"

namespace quorvell {
namespace {

class EditorPanelTest : public test::PanelFixture {};

// RESET CH1 sends nine frames 50 ms apart; Band 7's leaves about 300 ms after the click. An
// increase click on CH1 Band 7 gain right after the RESET must not be undone by it.
TEST_F(EditorPanelTest, GainClickRightAfterResetIsWhatTheProcessorKeeps) {
    StartLinked("127.0.29.1", "127.0.29.2", 42901, false,
                [](DeviceParameters& p) { p.channels[0].bands[7].gain = 200; });
    CValueStepper* gain7 = window->EqPage()->Stepper(1036);  // CH1 Band 7 gain
    ASSERT_EQ(gain7->Text(), "G:2.0");

    const std::size_t mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->ResetButton(0), Qt::LeftButton);
    ASSERT_EQ(test::ClickAt(window, gain7->mapTo(window, QPoint(80, 10))), gain7);
    EXPECT_EQ(gain7->Text(), "G:0.1");
    ASSERT_EQ(AwaitLogged(*processor, mark, 10), 10u);  // nine RESET frames and the click
    EXPECT_EQ(processor->Settings().channels[0].bands[7].gain, 181);
    EXPECT_EQ(app->Parameters().channels[0].bands[7].gain, 181);
}

}  // namespace
}  // namespace quorvell
