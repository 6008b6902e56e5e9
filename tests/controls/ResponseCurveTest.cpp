// SPDX-License-Identifier: GPL-3.0-or-later
// The response curve widget: what it shows and the edits its markers propose.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "CResponseCurve.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

struct CurveFixture : ::testing::Test {
    void SetUp() override {
        ResetDeviceParameters(params);
        params.channels[0].bands[4] = {1000, 240, 20, {}, 1};  // +6 dB at 1 kHz
        curve = std::make_unique<CResponseCurve>(params);
        curve->resize(400, 220);
        curve->show();
        curve->Refresh();
    }
    DeviceParameters params{};
    std::unique_ptr<CResponseCurve> curve;
};

// A marker sits at its band's frequency and gain on a 20 Hz to 20 kHz plot, is hit near
// it, and the hover text names the levels there.
TEST_F(CurveFixture, PlotSpansTheAudioBandAndMarkersSitOnTheirSettings) {
    EXPECT_DOUBLE_EQ(curve->XForHz(20), curve->PlotRect().left());
    EXPECT_DOUBLE_EQ(curve->XForHz(20000), curve->PlotRect().right());
    const QPointF m = curve->MarkerPosition(4);
    EXPECT_NEAR(curve->HzForX(m.x()), 1000, 1e-6);
    EXPECT_NEAR(curve->DbForY(m.y()), 6.0, 1e-9);
    EXPECT_EQ(curve->MarkerAt(m + QPointF(3, -3)), 4);
    EXPECT_FALSE(curve->MarkerAt(QPointF(curve->XForHz(5000), curve->YForDb(-20))));
    EXPECT_TRUE(curve->HoverText(m).startsWith("1000 Hz   CH1 6.0 dB   CH2 0.0 dB"))
        << curve->HoverText(m).toStdString();
}

TEST_F(CurveFixture, DraggingAMarkerProposesFrequencyAndGainThenAFinalValue) {
    QSignalSpy spy(curve.get(), &CResponseCurve::bandEdited);
    const QPoint from = curve->MarkerPosition(4).toPoint();
    const QPoint to(qRound(curve->XForHz(2000)), qRound(curve->YForDb(-3)));
    QTest::mousePress(curve.get(), Qt::LeftButton, {}, from);
    QTest::mouseMove(curve.get(), to);
    ASSERT_GE(spy.count(), 1);
    const auto moved = spy.last();
    EXPECT_EQ(moved[0].toInt(), 0);
    EXPECT_EQ(moved[1].toInt(), 4);
    EXPECT_NEAR(moved[2].toInt(), 2000, 15);  // one pixel is about 1.8 % of frequency
    EXPECT_NEAR(moved[3].toInt(), 150, 3);    // -3 dB
    EXPECT_EQ(moved[4].toInt(), 20);          // Q unchanged
    EXPECT_FALSE(moved[5].toBool());
    QTest::mouseRelease(curve.get(), Qt::LeftButton, {}, to);
    EXPECT_TRUE(spy.last()[5].toBool());
}

TEST_F(CurveFixture, LegendChoosesTheEditedChannel) {
    params.channels[1].bands[4] = {300, 100, 20, {}, 1};
    const QRectF plot = curve->PlotRect();
    QTest::mouseClick(curve.get(), Qt::LeftButton, {},
                      QPoint(int(plot.left()) + 45, int(plot.top()) + 6));
    EXPECT_EQ(curve->ActiveChannel(), 1);
    EXPECT_NEAR(curve->HzForX(curve->MarkerPosition(4).x()), 300, 1e-6);
}

}  // namespace
}  // namespace quorvell
