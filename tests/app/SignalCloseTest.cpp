// SPDX-License-Identifier: GPL-3.0-or-later
// SIGTERM and SIGINT end the panel as a close of its window: the link stops, exit status 0.
#include <QProcess>
#include <csignal>

#include "PanelFixture.h"

namespace quorvell {
namespace {

#ifndef _WIN32  // kill(): POSIX signals, tested where they exist

class SignalCloseTest : public test::PanelFixture {};

// Each signal ends the real executable cleanly, with no journal left behind.
TEST_F(SignalCloseTest, TermAndIntCloseTheLinkedPanelWithStatusZero) {
    constexpr std::uint8_t kConnect = 7;
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
        ASSERT_TRUE(test::WaitFor([&] { return !Received(processor, kConnect).empty(); }));
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
