// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the screenshots of the documentation when QUORVELL_SCREENSHOTS names a directory:
// the three pages and the four system sub-pages of a panel linked to a simulated processor.
#include <QDir>
#include <QTableWidget>
#include <QTimer>

#include "CDropDown.h"
#include "CPresetBank.h"
#include "PanelFixture.h"

namespace quorvell {
namespace {

class ScreenshotTest : public test::PanelFixture {};

TEST_F(ScreenshotTest, WritesThePagesAndSubPages) {
    const QString out = qEnvironmentVariable("QUORVELL_SCREENSHOTS");
    if (out.isEmpty()) {
        GTEST_SKIP() << "set QUORVELL_SCREENSHOTS to a directory to write the screenshots";
    }
    QDir().mkpath(out);
    constexpr quint16 kPort = 39450;
    AddProcessor("127.0.42.2", kPort, "STAGE-L");
    AddProcessor("127.0.42.3", kPort, "STAGE-R");
    AddProcessor("127.0.42.9", kPort, "MONITOR");
    StartPanel("127.0.42.1", kPort, "127.0.42.2");
    CSystemPage* page = window->SystemPage();
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    QTest::mouseClick(page->Button(1083), Qt::LeftButton);
    ASSERT_TRUE(test::WaitFor(
        [&] { return !app->Link().sweepRunning() && page->DeviceList()->rowCount() == 3; }));
    ConnectThroughSystemPage();
    DeviceParameters& p = app->Parameters();
    p.channels[0].hipass.type = 4;
    p.channels[0].hipass.q = 7;
    p.channels[1].phase = 1;
    // Something for the response curve to show: a boost, a cut and a Linkwitz high-pass.
    p.channels[0].bands[2] = {120, 240, 14, {}, 1};
    p.channels[0].bands[5] = {3000, 130, 30, {}, 1};
    p.channels[1].hipass = {80, 3, 0};
    p.channels[1].bands[6] = {9000, 220, 7, {}, 1};
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(page->Bank()->SaveButton(), Qt::LeftButton);
    }
    const auto save = [&](const char* name) {
        QCoreApplication::processEvents();
        ASSERT_TRUE(window->grab().save(QDir(out).filePath(name), "PNG"));
    };
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    save("main.png");
    // The focus frame as a keyboard user sees it.
    window->EqPage()->Stepper(1031)->setFocus(Qt::TabFocusReason);
    save("main-focus.png");
    // Return on the focused stepper opens its value dialog.
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        QCoreApplication::processEvents();
        EXPECT_TRUE(dialog->grab().save(QDir(out).filePath("value-dialog-keyboard.png"), "PNG"));
        dialog->close();
    });
    QTest::keyClick(window->EqPage()->Stepper(1031), Qt::Key_Return);
    window->setFocus(Qt::OtherFocusReason);
    window->EqPage()->OpenLargeCurve();
    QCoreApplication::processEvents();
    ASSERT_TRUE(window->EqPage()->LargeCurveWindow()->grab().save(
        QDir(out).filePath("curve-large.png"), "PNG"));
    window->EqPage()->LargeCurveWindow()->close();
    QTest::mouseClick(window->PageButton(2), Qt::LeftButton);
    save("limit.png");
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    save("system-connect.png");
    page->DeviceList()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(page->DeviceList(), Qt::Key_Down);
    save("system-search-focus.png");
    const char* subPages[] = {"system-preset.png", "system-set.png", "system-help.png"};
    for (int k = 1; k <= 3; ++k) {
        QTest::mouseClick(page->Button(1001 + k), Qt::LeftButton);
        save(subPages[k - 1]);
    }
}

}  // namespace
}  // namespace quorvell
