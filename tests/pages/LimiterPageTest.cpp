// SPDX-License-Identifier: GPL-3.0-or-later
// The LIMIT page: one channel's record per edit (its RESET: LinkedPanelTest).
#include <gtest/gtest.h>
#include <QPushButton>
#include <QSignalSpy>

#include "CLimiterPage.h"
#include "CValueStepper.h"
#include "PageTestSupport.h"

namespace quorvell {
namespace {

using LimiterPageTest = test::PageTest<CLimiterPage>;

// Each stepper writes its own field and names its own channel's limiter.
TEST_F(LimiterPageTest, EachStepperSendsItsOwnChannelsLimiter) {
    // Ids 1081..1084 are CH1's threshold, ratio, attack and release; 1085..1088 CH2's.
    std::int32_t LimiterSettings::*const fields[] = {
        &LimiterSettings::threshold, &LimiterSettings::ratio, &LimiterSettings::attack,
        &LimiterSettings::release};
    for (int id = 1081; id <= 1088; ++id) {
        const int channel = (id - 1081) / 4;
        std::int32_t LimiterSettings::*const field = fields[(id - 1081) % 4];
        CValueStepper* s = page->Stepper(id);
        ASSERT_NE(s, nullptr);
        QSignalSpy spy(page.get(), &CLimiterPage::recordEdited);
        const std::int32_t before = params.channels[channel].limiter.*field;
        test::ClickArrow(s, true);
        EXPECT_EQ(params.channels[channel].limiter.*field, before + 1) << id;
        EXPECT_EQ(test::Edits(spy), (std::vector<Record>{{RecordKind::Limiter, channel, 0}})) << id;
    }
}

}  // namespace
}  // namespace quorvell
