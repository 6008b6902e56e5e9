// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up and the end: the first page, the status text, the device address from the
// settings, the keys that must not close the window, and SIGTERM and SIGINT ending the panel
// as a close of its window (the link stops, exit status 0).
#include <QProcess>
#include <QSettings>
#include <csignal>

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

#ifndef _WIN32  // kill(): POSIX signals, tested where they exist

class SignalCloseTest : public test::PanelFixture {};

// Each signal ends the real executable cleanly, with no journal left behind.
TEST_F(SignalCloseTest, TermAndIntCloseTheLinkedPanelWithStatusZero) {
    const struct {
        int signal;
        const char* device;
        quint16 port;
    } cases[] = {{SIGTERM, "127.0.23.21", 42310}, {SIGINT, "127.0.23.22", 42311}};
    for (const auto& c : cases) {
        sim::SimProcessor& processor = AddProcessor(QString::fromLatin1(c.device), c.port);
        QProcess panel;  // offscreen too: the test's main set QT_QPA_PLATFORM
        panel.start(
            QStringLiteral(QUORVELL_PANEL_PATH),
            {QStringLiteral("--connect"), QStringLiteral("--bind=127.0.23.20"),
             QStringLiteral("--device=%1").arg(c.device), QStringLiteral("--port=%1").arg(c.port),
             QStringLiteral("--data-dir=%1").arg(dataDir.path())});
        ASSERT_TRUE(panel.waitForStarted());
        // Linked: the processor has been asked for its state.
        // The signals are blocked before the window starts, so one sent now waits for the
        // event loop rather than killing the process.
        ASSERT_TRUE(test::WaitFor([&] { return !Received(processor, kReadCode).empty(); }));
        ::kill(static_cast<pid_t>(panel.processId()), c.signal);
        ASSERT_TRUE(test::WaitFor([&] { return panel.state() == QProcess::NotRunning; }, 5000))
            << "signal " << c.signal;
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit) << "signal " << c.signal;
        EXPECT_EQ(panel.exitCode(), 0) << "signal " << c.signal;
        EXPECT_FALSE(QFile::exists(dataDir.filePath(QStringLiteral("Quorvel.mdb-journal"))));
    }
}

#endif

}  // namespace
}  // namespace quorvell
