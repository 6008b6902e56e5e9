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
    struct Case {
        int id;
        int channel;
        std::int32_t LimiterSettings::*field;
    };
    const Case cases[] = {
        {1081, 0, &LimiterSettings::threshold}, {1082, 0, &LimiterSettings::ratio},
        {1083, 0, &LimiterSettings::attack},    {1084, 0, &LimiterSettings::release},
        {1085, 1, &LimiterSettings::threshold}, {1086, 1, &LimiterSettings::ratio},
        {1087, 1, &LimiterSettings::attack},    {1088, 1, &LimiterSettings::release},
    };
    for (const Case& c : cases) {
        CValueStepper* s = page->Stepper(c.id);
        ASSERT_NE(s, nullptr);
        QSignalSpy spy(page.get(), &CLimiterPage::recordEdited);
        const std::int32_t before = params.channels[c.channel].limiter.*c.field;
        test::ClickArrow(s, true);
        EXPECT_EQ(params.channels[c.channel].limiter.*c.field, before + 1) << c.id;
        EXPECT_EQ(test::Edits(spy), (std::vector<Record>{{RecordKind::Limiter, c.channel, 0}}))
            << c.id;
    }
}

}  // namespace
}  // namespace quorvell
