// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the first page, the status text, the device address from the settings, the keys
// that must not close the window.
#include <QSettings>

#include "PanelFixture.h"

namespace quorvell {
namespace {

class StartupTest : public test::PanelFixture {};

// The panel opens on MAIN with the link down; the page buttons switch pages; Enter and Escape
// close nothing; without a link, close is immediate.
TEST_F(StartupTest, OpensOnTheEqPageWithMainSelectedAndLinkDown) {
    StartPanel("127.0.40.1", 39401, "127.0.40.2");
    EXPECT_EQ(window->CurrentPage(), 1);
    EXPECT_TRUE(window->PageButton(1)->on);
    EXPECT_EQ(window->StatusButton()->text(), "Disconnect");
    EXPECT_EQ(window->EqPage()->Stepper(1044)->Text(), "50Hz");  // the start-up defaults
    EXPECT_TRUE(boxes.shown.empty());

    QTest::mouseClick(window->PageButton(2), Qt::LeftButton);
    EXPECT_TRUE(window->LimiterPage()->isVisible());
    EXPECT_FALSE(window->EqPage()->isVisible());
    QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
    EXPECT_TRUE(window->SystemPage()->isVisible());
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(window, key);
        QTest::keyClick(window->SystemPage(), key);
    }
    EXPECT_TRUE(window->SystemPage()->isVisible());
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(window->isVisible());
}

// "hostip" (missing, empty or set) picks the device unless --device overrides it.
TEST_F(StartupTest, DeviceAddressComesFromHostIpUnlessGivenOnTheCommandLine) {
    struct Case {
        std::optional<QString> stored;
        QString expected;
    };
    const Case cases[] = {
        {std::nullopt, "192.168.0.106"},
        {QString(""), "192.168.1.106"},
        {QString("10.20.30.40"), "10.20.30.40"},
    };
    QSettings settings("Quorvell", "Quorvell");
    for (const Case& c : cases) {
        if (c.stored) {
            settings.setValue("U_FONT_SECTION/hostip", *c.stored);
        } else {
            settings.remove("U_FONT_SECTION/hostip");
        }
        PanelOptions options;
        options.dataDir = dataDir.path().toStdString();
        CPanelApp panel(options, &boxes, dataDir.path());
        panel.InitInstance();
        EXPECT_EQ(panel.Link().deviceAddress(), c.expected);
    }
    StartPanel("127.0.40.1", 39402, "127.0.40.2");
    EXPECT_EQ(app->Link().deviceAddress(), "127.0.40.2");
    settings.remove("U_FONT_SECTION/hostip");
}

}  // namespace
}  // namespace quorvell
