// SPDX-License-Identifier: GPL-3.0-or-later
// The EQ page's import and copy in the running panel: what reaches the processor.
#include <QFile>
#include <QPushButton>

#include "EqPageTable.h"
#include "PanelFixture.h"

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

}  // namespace
}  // namespace quorvell
