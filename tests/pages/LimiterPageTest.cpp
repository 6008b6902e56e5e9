// The LIMIT page: one channel's record per edit, formats at the ends, RESET.
#include <gtest/gtest.h>
#include <QPushButton>
#include <QSignalSpy>

#include "CLimiterPage.h"
#include "CTextLabel.h"
#include "CValueStepper.h"
#include "PageTestSupport.h"

namespace quorvell {
namespace {

using LimiterPageTest = test::PageTest<CLimiterPage>;

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
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).value<Record>(), (Record{RecordKind::Limiter, c.channel, 0}));
    }
    EXPECT_EQ(page->Label(1009)->Text(), "Release");
}

TEST_F(LimiterPageTest, ResetCancelKeepsAndOkLoadsTheChannelDefaults) {
    params.channels[0].limiter = {5, 50, 60, {}, 300};
    params.channels[1].limiter = {7, 70, 80, {}, 400};
    page->RefreshFromModel();
    QSignalSpy spy(page.get(), &CLimiterPage::channelReset);

    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    QTest::mouseClick(page->ResetButton(0), Qt::LeftButton);
    EXPECT_EQ(params.channels[0].limiter.threshold, 5);
    EXPECT_EQ(spy.count(), 0);

    QTest::mouseClick(page->ResetButton(0), Qt::LeftButton);
    const LimiterSettings& lim = params.channels[0].limiter;
    EXPECT_EQ(lim.attack, 1);
    EXPECT_EQ(lim.release, 1);
    EXPECT_EQ(lim.ratio, 10);
    EXPECT_EQ(lim.threshold, 30);
    EXPECT_EQ(page->Stepper(1081)->Text(), "-30dB");
    EXPECT_EQ(page->Stepper(1082)->Text(), "1:1.0");
    EXPECT_EQ(params.channels[1].limiter.threshold, 7);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, "If do you reset limiter data? ");
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
}

}  // namespace
}  // namespace quorvell
