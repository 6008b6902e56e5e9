// SPDX-License-Identifier: GPL-3.0-or-later
// The MAIN page's curve edits through the same path as the steppers.
#include <gtest/gtest.h>
#include <QDialog>
#include <QPushButton>
#include <QSignalSpy>

#include "CEqPage.h"
#include "CResponseCurve.h"
#include "CValueStepper.h"
#include "EqPageTable.h"
#include "Frames.h"
#include "PageTestSupport.h"

namespace quorvell {
namespace {

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

Q_DECLARE_METATYPE(quorvell::PacedSequence)
