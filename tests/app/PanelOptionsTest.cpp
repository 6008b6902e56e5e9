// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's command line: accepted forms and refused values.
#include <gtest/gtest.h>

#include <QProcess>

#include "PanelOptions.h"

namespace quorvell {
namespace {

PanelOptionsResult Parse(std::initializer_list<std::string_view> args) {
    return ParsePanelOptions(std::span<const std::string_view>(args.begin(), args.size()));
}

TEST(PanelOptionsTest, AcceptsEveryOptionInBothForms) {
    const PanelOptionsResult r = Parse(
        {"--device", "127.0.0.2", "--bind=127.0.0.1", "--port", "40000", "--data-dir=/tmp/q",
         "--trace", "--connect", "--poll=0", "--http=127.0.0.1:8080", "--token-file", "/tmp/t"});
    ASSERT_TRUE(r.options) << r.error;
    EXPECT_EQ(r.options->device, "127.0.0.2");
    EXPECT_EQ(r.options->bind, "127.0.0.1");
    EXPECT_EQ(r.options->port, 40000);
    EXPECT_EQ(r.options->dataDir, "/tmp/q");
    EXPECT_TRUE(r.options->trace);
    EXPECT_TRUE(r.options->connect);
    EXPECT_EQ(r.options->pollSeconds, 0);
    EXPECT_EQ(r.options->http, "127.0.0.1:8080");
    EXPECT_EQ(r.options->tokenFile, "/tmp/t");
    EXPECT_EQ(Parse({}).options->port, 39060);
    EXPECT_EQ(Parse({}).options->pollSeconds, 5);
    EXPECT_FALSE(Parse({}).options->connect);
}

TEST(PanelOptionsTest, RefusesBadValuesWithAMessageNamingTheOption) {
    struct Case {
        std::initializer_list<std::string_view> args;
        const char* mentions;
    };
    const Case cases[] = {
        {{"--device", "300.1.1.1"}, "--device"},
        {{"--bind", "localhost"}, "--bind"},
        {{"--port", "0"}, "--port"},
        {{"--port", "65536"}, "--port"},
        {{"--port", "12ab"}, "--port"},
        {{"--port"}, "--port"},
        {{"--data-dir="}, "--data-dir"},
        {{"--poll", "-1"}, "--poll"},
        {{"--poll", "3601"}, "--poll"},
        {{"--colour"}, "--colour"},
        {{"--http", "127.0.0.1"}, "--http"},
        {{"--http", "localhost:8080"}, "--http"},
        {{"--http", "127.0.0.1:0"}, "--http"},
    };
    for (const Case& c : cases) {
        const PanelOptionsResult r = Parse(c.args);
        EXPECT_FALSE(r.options) << c.mentions;
        EXPECT_NE(r.error.find(c.mentions), std::string::npos) << r.error;
    }
}

TEST(PanelOptionsTest, QtsOwnOptionsAreLeftToQt) {
    const std::string_view args[] = {"-platform", "offscreen", "--style", "fusion", "-reverse",
                                     "--port",    "5",         "-name",   "x",      "--colour"};
    const std::vector<std::string_view> kept = WithoutQtOptions(args);
    EXPECT_EQ(kept, (std::vector<std::string_view>{"--port", "5", "--colour"}));
}

// Without any display the real program still reports a bad option and exits 2.
TEST(PanelOptionsTest, BadOptionsAreReportedWithoutADisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        env.remove(name);
    }
    const QStringList cases[] = {{"--bad-option"}, {"-platform", "xcb", "--port", "x"}};
    for (const QStringList& args : cases) {
        QProcess panel;
        panel.setProcessEnvironment(env);
        panel.start(QStringLiteral(QUORVELL_PANEL_PATH), args);
        ASSERT_TRUE(panel.waitForFinished(20000)) << args.join(' ').toStdString();
        const QString err = QString::fromUtf8(panel.readAllStandardError());
        EXPECT_EQ(panel.exitStatus(), QProcess::NormalExit) << err.toStdString();
        EXPECT_EQ(panel.exitCode(), 2) << err.toStdString();
        EXPECT_TRUE(err.startsWith("quorvell: ") && err.contains(args[args.size() == 1 ? 0 : 2]))
            << err.toStdString();
    }
}

}  // namespace
}  // namespace quorvell
