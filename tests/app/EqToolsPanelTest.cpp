// SPDX-License-Identifier: GPL-3.0-or-later
// The EQ page's import, copy and AUTO EQ dialog in the running panel: what reaches the
// processor.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

#include "CAutoEqDialog.h"
#include "CAutoEqPlot.h"
#include "EqPageTable.h"
#include "PanelFixture.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kEqBand = 1, kHipass = 2, kLopass = 3, kLimiter = 5;

class EqToolsPanelTest : public test::PanelFixture {};

// An unusable file changes and sends nothing and names its line; five filters send seven band
// frames for the chosen channel only, and the page shows them.
TEST_F(EqToolsPanelTest, ImportOfFiveFiltersSendsSevenBandFramesForThatChannelOnly) {
    StartLinked("127.0.44.1", "127.0.44.2", 39460);
    const QString path = dataDir.filePath("five.txt");
    CEqPage* page = window->EqPage();
    page->SetFileChooser([&] { return path; });
    const auto import = [&](const char* text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        QTest::mouseClick(page->ImportButton(1), Qt::LeftButton);
    };
    const std::size_t mark = processor->Log().size();
    import("Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 1\nFilter 2: ON LP Fc 90 Hz\n");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("line 2: filter type LP"), std::string::npos);
    EXPECT_EQ(page->Stepper(eq::GainId(1, 1))->GetValue(), 180);
    import(
        "Filter 1: ON PK Fc 40 Hz Gain -5 dB Q 5\nFilter 2: ON PK Fc 90 Hz Gain 2 dB Q 1\n"
        "Filter 3: ON PK Fc 700 Hz Gain -1.5 dB Q 2\nFilter 4: ON PK Fc 2000 Hz Gain 1 dB Q 3\n"
        "Filter 5: ON PK Fc 7000 Hz Gain -2.5 dB Q 1.4\n");
    EXPECT_EQ(AwaitLogged(*processor, mark, 7), 7u);
    EXPECT_EQ(Received(*processor, kEqBand, mark).size(), 7u);
    EXPECT_EQ(processor->Settings().channels[1].bands[5].freq, 7000);
    EXPECT_EQ(page->Stepper(eq::GainId(1, 1))->GetValue(), 130);
    EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 180);  // CH1 untouched
}

// Copy asks; Cancel changes nothing; OK sends the bands, crossovers and limiter of the target
// and the LIMIT page shows the copied limiter.
TEST_F(EqToolsPanelTest, CopySendsTheTargetsBandsCrossoversAndLimiterAndRefreshesTheLimiterPage) {
    StartLinked("127.0.44.1", "127.0.44.2", 39461, false,
                [](DeviceParameters& p) { p.channels[0].limiter.ratio = 80; });
    const std::size_t mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->CopyButton(0), Qt::LeftButton);
    EXPECT_EQ(app->Parameters().channels[1].limiter.ratio, 10);
    QTest::mouseClick(window->EqPage()->CopyButton(0), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return Received(*processor, kLimiter, mark).size() == 1; }));
    EXPECT_EQ(Received(*processor, kEqBand, mark).size(), 7u);
    EXPECT_EQ(Received(*processor, kHipass, mark).size(), 1u);
    EXPECT_EQ(Received(*processor, kLopass, mark).size(), 1u);
    EXPECT_EQ(processor->Settings().channels[1].limiter.ratio, 80);
    EXPECT_EQ(window->LimiterPage()->Stepper(1086)->Text(), "1:8.0");
}

class AutoEqPanelTest : public test::PanelFixture {};

// The fit runs while the window keeps handling events; Apply sends the fitted bands of the
// chosen channel only.
TEST_F(AutoEqPanelTest, FitRunsOffTheUiThreadAndApplySendsTheChannelsBands) {
    StartLinked("127.0.27.11", "127.0.27.12", 42701);

    // Room modes: a known EQ inverted.
    DeviceParameters modes{};
    ResetDeviceParameters(modes);
    modes.channels[0].bands[1] = {48, 260, 50, {}, 1};
    modes.channels[0].bands[2] = {130, 120, 40, {}, 1};
    const auto chain = ChannelChain(modes, 0);
    const QString path = dataDir.filePath("room.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    for (double hz : LogFrequencies(300, 20.0, 20000.0)) {
        f.write(QByteArray::number(hz) + ',' + QByteArray::number(ChainMagnitudeDb(chain, hz)) +
                '\n');
    }
    f.close();

    CEqPage* page = window->EqPage();
    QTest::mouseClick(page->AutoEqButton(), Qt::LeftButton);
    CAutoEqDialog* dialog = page->AutoEqWindow();
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    QTest::keyClick(dialog->ChannelBox(), Qt::Key_Down);  // CH2
    QTest::keyClick(dialog->HighHzBox(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(dialog->HighHzBox(), "300");
    QTest::keyClick(dialog->HighHzBox(), Qt::Key_Return);
    dialog->SetFileChooser([&] { return path; });
    QSignalSpy shown(dialog, &CAutoEqDialog::fitShown);
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    int turnsWhileFitting = 0;
    ASSERT_TRUE(test::WaitFor([&] {
        turnsWhileFitting += dialog->Fitting() ? 1 : 0;
        return shown.count() > 0 && !dialog->Fitting();
    }));
    EXPECT_GT(turnsWhileFitting, 0);  // the event loop ran while the fit did
    ASSERT_TRUE(dialog->Result()) << dialog->StatusLabel()->text().toStdString();
    EXPECT_LT(dialog->Result()->rmsAfterDb, 0.5);
    EXPECT_EQ(dialog->Plot()->Shown().hz.back(), 300.0);
    ASSERT_TRUE(dialog->ApplyButton()->isEnabled());
    EXPECT_EQ(dialog->StatusLabel()->textFormat(), Qt::PlainText);  // file text, never markup
    EXPECT_EQ(dialog->Plot()->Shown().passBand.size(), dialog->Plot()->Shown().hz.size());

    // A cleared file field leaves nothing to apply; the file chosen again is fitted again.
    dialog->FileEdit()->setFocus();
    QTest::keyClick(dialog->FileEdit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(dialog->FileEdit(), Qt::Key_Delete);
    EXPECT_FALSE(dialog->ApplyButton()->isEnabled());
    EXPECT_FALSE(dialog->Result());
    QTest::mouseClick(dialog->BrowseButton(), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return shown.count() > 1 && !dialog->Fitting(); }));
    ASSERT_TRUE(dialog->ApplyButton()->isEnabled());

    test::GrabIfAsked(dialog, "auto-eq.png");

    const auto bands = *dialog->Result()->bands;
    const std::size_t mark = processor->Log().size();
    QTest::mouseClick(dialog->ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(AwaitLogged(*processor, mark, 7), 7u);
    for (int b = 0; b < kBandCount; ++b) {
        const EqBand& sent = processor->Settings().channels[1].bands[b + 1];
        EXPECT_EQ(std::tie(sent.freq, sent.gain, sent.q),
                  std::tie(bands[b].freq, bands[b].gain, bands[b].q));
    }
    EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 180);  // CH1 untouched
}

}  // namespace
}  // namespace quorvell
