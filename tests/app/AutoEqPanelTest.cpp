// SPDX-License-Identifier: GPL-3.0-or-later
// The AUTO EQ dialog in the running panel.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <cmath>

#include "CAutoEqDialog.h"
#include "CAutoEqPlot.h"
#include "PanelFixture.h"
#include "ResponseCurve.h"

namespace quorvell {
namespace {

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

    if (const QString out = qEnvironmentVariable("QUORVELL_SCREENSHOTS"); !out.isEmpty()) {
        dialog->grab().save(out + "/auto-eq.png", "PNG");
    }

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
