// The EQ page's import and copy in the running panel: what reaches the processor.
#include <QFile>
#include <QPushButton>

#include "EqPageTable.h"
#include "PanelFixture.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kEqBand = 1, kHipass = 2, kLopass = 3, kLimiter = 5;

class EqToolsPanelTest : public test::PanelFixture {};

TEST_F(EqToolsPanelTest, ImportOfFiveFiltersSendsSevenBandFramesForThatChannelOnly) {
    constexpr quint16 kPort = 39460;
    StartLinked("127.0.44.1", "127.0.44.2", kPort);
    const QString path = dataDir.filePath("five.txt");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "Filter 1: ON PK Fc 40 Hz Gain -5 dB Q 5\nFilter 2: ON PK Fc 90 Hz Gain 2 dB Q 1\n"
        "Filter 3: ON PK Fc 700 Hz Gain -1.5 dB Q 2\nFilter 4: ON PK Fc 2000 Hz Gain 1 dB Q 3\n"
        "Filter 5: ON PK Fc 7000 Hz Gain -2.5 dB Q 1.4\n");
    f.close();
    CEqPage* page = window->EqPage();
    page->SetFileChooser([&] { return path; });
    const std::size_t mark = processor->Log().size();
    QTest::mouseClick(page->ImportButton(1), Qt::LeftButton);
    EXPECT_EQ(AwaitLogged(*processor, mark, 7, 120), 7u);
    const auto frames = Received(*processor, kEqBand, mark);
    ASSERT_EQ(frames.size(), 7u);
    for (const sim::LogEntry* e : frames) {
        EXPECT_TRUE(e->decoded.valid) << e->decoded.reason;
        EXPECT_EQ(e->bytes[4], 1);
    }
    EXPECT_EQ(processor->Settings().channels[1].bands[5].freq, 7000);
    EXPECT_EQ(processor->Settings().channels[1].bands[6].gain, 180);
    EXPECT_EQ(page->Stepper(eq::GainId(1, 1))->GetValue(), 130);  // the page shows the import
    EXPECT_EQ(app->Parameters().channels[0].bands[1].gain, 180);  // CH1 untouched
}

TEST_F(EqToolsPanelTest, CopySendsTheTargetsBandsCrossoversAndLimiterAndRefreshesTheLimiterPage) {
    constexpr quint16 kPort = 39461;
    sim::SimProcessor& sim = AddProcessor("127.0.44.2", kPort);
    sim.MutableSettings().channels[0].limiter.ratio = 80;
    StartPanel("127.0.44.1", kPort, "127.0.44.2");
    ConnectThroughSystemPage();
    processor = &sim;
    const std::size_t mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->CopyButton(0), Qt::LeftButton);
    EXPECT_EQ(app->Parameters().channels[1].limiter.ratio, 10)
        << "a cancelled copy changes nothing";
    QTest::mouseClick(window->EqPage()->CopyButton(0), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor([&] { return Received(*processor, kLimiter, mark).size() == 1; }));
    EXPECT_EQ(Received(*processor, kEqBand, mark).size(), 7u);
    EXPECT_EQ(Received(*processor, kHipass, mark).size(), 1u);
    EXPECT_EQ(Received(*processor, kLopass, mark).size(), 1u);
    EXPECT_EQ(processor->Settings().channels[1].limiter.ratio, 80);
    EXPECT_EQ(window->LimiterPage()->Stepper(1086)->Text(), "1:8.0");
    for (std::size_t i = mark; i < processor->Log().size(); ++i) {
        EXPECT_TRUE(processor->Log()[i].decoded.valid) << processor->Log()[i].decoded.reason;
    }
}

}  // namespace
}  // namespace quorvell
