// SPDX-License-Identifier: GPL-3.0-or-later
// The MAIN page: bindings, refresh without echo, the type selector and PHASE, and the curve
// edits through the same path as the steppers.
#include <gtest/gtest.h>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>

#include "CDropDown.h"
#include "CDropPopup.h"
#include "CEqPage.h"
#include "CResponseCurve.h"
#include "CTextLabel.h"
#include "CValueStepper.h"
#include "EqPageTable.h"
#include "Frames.h"
#include "PageTestSupport.h"
#include "PngButton.h"

namespace quorvell {
namespace {

using EqPageTest = test::PageTest<CEqPage>;

// Each stepper writes its own field and names its own record, once.
TEST_F(EqPageTest, ArrowClickStoresTheValueAndNamesOneRecord) {
    // The crossover Q steppers are shown only for the type Variable.
    for (auto& ch : params.channels) {
        ch.hipass.type = ch.lopass.type = static_cast<int>(FilterType::Variable);
        ch.hipass.q = ch.lopass.q = 10;
    }
    page->RefreshFromModel();
    struct Case {
        int id;
        bool increase;
        std::function<std::int32_t()> field;
        Record record;
    };
    const Case cases[] = {
        {1032, true, [&] { return params.channels[0].bands[3].gain; }, {RecordKind::EqBand, 0, 3}},
        {1059, false, [&] { return params.channels[1].bands[7].freq; }, {RecordKind::EqBand, 1, 7}},
        {1093, true, [&] { return params.channels[1].hipass.q; }, {RecordKind::Hipass, 1, 0}},
        {1052, false, [&] { return params.channels[0].lopass.freq; }, {RecordKind::Lopass, 0, 0}},
        {1084, true, [&] { return params.mainLevel; }, {RecordKind::Level, 0, 0}},
        {1080, true, [&] { return params.channels[0].level; }, {RecordKind::Level, 1, 0}},
        {1081, true, [&] { return params.channels[1].level; }, {RecordKind::Level, 2, 0}},
    };
    for (const Case& c : cases) {
        QSignalSpy spy(page.get(), &CEqPage::recordEdited);
        const std::int32_t before = c.field();
        test::ClickArrow(page->Stepper(c.id), c.increase);
        EXPECT_EQ(c.field(), before + (c.increase ? 1 : -1)) << c.id;
        EXPECT_EQ(test::Edits(spy), std::vector<Record>{c.record}) << c.id;
    }
}

// A refresh shows the model (out-of-range values clamped) without writing or echoing it.
TEST_F(EqPageTest, RefreshShowsClampedValuesAndNeverNotifiesOrWrites) {
    params.channels[0].bands[1].gain = 999;  // outside the stepper's range
    params.channels[1].lopass.type = 4;
    params.channels[1].phase = 1;
    params.mainLevel = 17;
    QSignalSpy spy(page.get(), &CEqPage::recordEdited);
    const ParameterImage before = WriteParameterImage(params);
    page->RefreshFromModel();
    test::Settle();
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(WriteParameterImage(params), before);
    EXPECT_EQ(page->Stepper(1030)->GetValue(), 360);
    EXPECT_EQ(page->Stepper(1084)->Text(), "Vol:15.5");
    EXPECT_EQ(page->TypeSelector(1098)->Text(), "Variable");
    EXPECT_TRUE(page->Stepper(1094)->isVisibleTo(page.get()));
    EXPECT_FALSE(page->Stepper(1093)->isVisibleTo(page.get()));
    EXPECT_TRUE(page->PhaseButton(1)->on);
    EXPECT_FALSE(page->PhaseButton(0)->on);
}

// The Q stepper follows the type; the Q survives a type change.
TEST_F(EqPageTest, VariableTypeShowsItsQStepperAndOtherTypesHideItKeepingQ) {
    params.channels[0].hipass.type = 3;
    params.channels[0].hipass.q = 42;
    page->RefreshFromModel();
    CValueStepper* q = page->Stepper(1085);
    ASSERT_FALSE(q->isVisibleTo(page.get()));

    QSignalSpy spy(page.get(), &CEqPage::recordEdited);
    test::Wheel(page->TypeSelector(1095), -1);  // Linkwitz 2 -> Variable
    EXPECT_EQ(params.channels[0].hipass.type, 4);
    EXPECT_TRUE(q->isVisibleTo(page.get()));
    test::Wheel(page->TypeSelector(1095), +1);  // back to Linkwitz 2
    EXPECT_EQ(params.channels[0].hipass.type, 3);
    EXPECT_FALSE(q->isVisibleTo(page.get()));
    EXPECT_EQ(params.channels[0].hipass.q, 42);
    // At the end of the list a notch posts the unchanged index: stored and sent again.
    params.channels[0].hipass.type = 4;
    page->RefreshFromModel();
    test::Wheel(page->TypeSelector(1095), -1);
    EXPECT_EQ(params.channels[0].hipass.type, 4);
    const Record hipass{RecordKind::Hipass, 0, 0};
    EXPECT_EQ(test::Edits(spy), (std::vector<Record>{hipass, hipass, hipass}));
    EXPECT_EQ(params.channels[0].lopass.type, 0);
}

// PHASE toggles its own channel and names one record per click.
TEST_F(EqPageTest, PhaseClickedTwiceReturnsToNormalWithTwoRecords) {
    QSignalSpy spy(page.get(), &CEqPage::recordEdited);
    QTest::mouseClick(page->PhaseButton(1), Qt::LeftButton);
    EXPECT_EQ(params.channels[1].phase, 1);
    EXPECT_TRUE(page->PhaseButton(1)->on);
    QTest::mouseClick(page->PhaseButton(1), Qt::LeftButton);
    EXPECT_EQ(params.channels[1].phase, 0);
    EXPECT_FALSE(page->PhaseButton(1)->on);
    EXPECT_EQ(params.channels[0].phase, 0);
    const Record phase{RecordKind::Phase, 1, 0};
    EXPECT_EQ(test::Edits(spy), (std::vector<Record>{phase, phase}));
}

using EqToolsTest = test::PageTest<CEqPage>;

// A wheel notch on a marker is the Q stepper's step: same record, same frame.
TEST_F(EqToolsTest, WheelOnAMarkerSendsTheSameFrameAsTheQStepper) {
    DeviceParameters viaStepper = params;
    CEqPage other(viaStepper, boxes);
    other.ShowPage();
    test::ClickArrow(other.Stepper(eq::QId(0, 3)), true);

    QSignalSpy spy(page.get(), &CEqPage::recordEdited);
    CResponseCurve* curve = page->Curve();
    test::Wheel(curve, 1, curve->MarkerPosition(3).toPoint());
    ASSERT_EQ(test::Edits(spy), (std::vector<Record>{{RecordKind::EqBand, 0, 3}}));
    EXPECT_EQ(*BuildEqBand(params, 0, 3), *BuildEqBand(viaStepper, 0, 3));
    EXPECT_EQ(page->Stepper(eq::QId(0, 3))->GetValue(), 21);
}

// A drag sends at most every 20 ms, ends with its final value and sends nothing late.
TEST_F(EqToolsTest, DragIsCoalescedAndEndsWithTheFinalValue) {
    QSignalSpy spy(page.get(), &CEqPage::recordEdited);
    CResponseCurve* curve = page->Curve();
    const QPoint from = curve->MarkerPosition(5).toPoint();
    QTest::mousePress(curve, Qt::LeftButton, {}, from);
    // Many moves at once: the first is sent, the rest wait for the 20 ms interval.
    for (int dy = 1; dy <= 20; ++dy) {
        QTest::mouseMove(curve, from - QPoint(0, dy));
    }
    EXPECT_EQ(spy.count(), 1);
    const QPoint to = from - QPoint(0, 20);
    QTest::mouseRelease(curve, Qt::LeftButton, {}, to);
    EXPECT_EQ(spy.count(), 2);  // once more when the gesture ends
    EXPECT_EQ(test::Edits(spy).back(), (Record{RecordKind::EqBand, 0, 5}));
    const int gain = params.channels[0].bands[5].gain;
    EXPECT_GT(gain, 180);
    EXPECT_EQ(page->Stepper(eq::GainId(0, 5))->GetValue(), gain);
    EXPECT_EQ(params.channels[0].bands[5].freq, 3000);  // a vertical drag keeps the frequency
    EXPECT_FALSE(page->DragSendPending());  // nothing left to send after the gesture ended
}

// A double click opens the large curve, which edits the page's model.
TEST_F(EqToolsTest, DoubleClickOpensALargerCurveThatEditsTheSameModel) {
    QTest::mouseDClick(page->Curve(), Qt::LeftButton, {}, QPoint(200, 110));
    ASSERT_NE(page->LargeCurveWindow(), nullptr);
    EXPECT_TRUE(page->LargeCurveWindow()->isVisible());
    CResponseCurve* large = page->LargeCurve();
    QSignalSpy spy(page.get(), &CEqPage::recordEdited);
    test::Wheel(large, -1, large->MarkerPosition(1).toPoint());
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(page->Stepper(eq::QId(0, 1))->GetValue(), 19);
}

}  // namespace
}  // namespace quorvell
