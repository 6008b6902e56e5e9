// SPDX-License-Identifier: GPL-3.0-or-later
// The quorvell-sim program: options, bind failure and shutdown by signal.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>  // kill(): POSIX signals, tested where they exist
#endif

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include "SimCommandLine.h"
#include "SimTestSupport.h"

namespace quorvell::sim {
namespace {

using test::Client;
using test::TestAddress;
using test::WaitFor;

QStringList Split(const char* args) {
    return QString::fromLatin1(args).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

TEST(SimCommandLine, ExpandsCountIntoConsecutiveAddressesAndNames) {
    QString error;
    const auto line = ParseSimCommandLine(
        Split("--address 127.0.0.254 --count 3 --name HALL --port 40000 --drop 0.25 --seed 5 "
              "--no-answer --log -"),
        &error);
    ASSERT_TRUE(line) << error.toStdString();
    ASSERT_EQ(line->processors.size(), 3u);
    const char* addresses[] = {"127.0.0.254", "127.0.0.255", "127.0.1.0"};
    const char* names[] = {"HALL", "HALL-2", "HALL-3"};
    for (int i = 0; i < 3; ++i) {
        const SimOptions& o = line->processors[i];
        EXPECT_EQ(o.address.toString(), addresses[i]);
        EXPECT_EQ(o.name, names[i]);
        EXPECT_EQ(o.port, 40000);
        EXPECT_EQ(o.dropFraction, 0.25);
        EXPECT_EQ(o.seed, 5u + i);
        EXPECT_TRUE(o.noAnswer);
    }
    EXPECT_EQ(line->logPath, QStringLiteral("-"));
}

TEST(SimCommandLine, RefusesBadValuesWithOneLineNamingTheOption) {
    QTemporaryFile shortState;
    ASSERT_TRUE(shortState.open() && shortState.resize(700));
    const QString shortFile = shortState.fileName();
    struct Case {
        QStringList args;
        QString error;
    } cases[] = {
        {Split("--name ELEVENBYTES"),
         "--name: \"ELEVENBYTES\" is 11 bytes; a device name holds at most 10 bytes"},
        {Split("--name NINEBYTES --count 2"),
         "--name: \"NINEBYTES-2\" is 11 bytes; a device name holds at most 10 bytes"},
        {Split("--address 127.0.0.300"), "--address: \"127.0.0.300\" is not one IPv4 address"},
        {Split("--address 0.0.0.0"), "--address: \"0.0.0.0\" is not one IPv4 address"},
        {Split("--count 0"), "--count: \"0\" is not a number from 1 to 256"},
        {Split("--port 70000"), "--port: \"70000\" is not a port from 1 to 65535"},
        {Split("--drop 1.5"), "--drop: \"1.5\" is not a fraction from 0 to 1"},
        {Split("--seed -1"), "--seed: \"-1\" is not a number from 0 to 4294967295"},
        {QStringList{"--state", shortFile},
         "--state " + shortFile + ": 700 bytes; a preset data file holds exactly 768"},
        {Split("--bogus"), "Unknown option 'bogus'."},
        {Split("extra"), "unexpected argument \"extra\""},
    };
    for (const auto& c : cases) {
        QString error;
        EXPECT_FALSE(ParseSimCommandLine(c.args, &error)) << c.args.join(' ').toStdString();
        EXPECT_EQ(error, c.error);
    }
}

TEST(SimProgram, AddressInUseGivesOneLineAndStatusOne) {
    SimOptions o;
    o.address = TestAddress(40);
    SimProcessor holder(o);
    QString error;
    ASSERT_TRUE(holder.Start(&error)) << error.toStdString();
    QProcess sim;
    sim.start(QStringLiteral(QUORVELL_SIM_PATH), {"--address", "127.0.10.40"});
    ASSERT_TRUE(sim.waitForFinished(20000));
    EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.exitCode(), 1);
    EXPECT_EQ(sim.readAllStandardError(), "127.0.10.40:39060: address in use\n");
}

#ifndef _WIN32
// Each run logs datagrams as JSON lines; SIGHUP is a reboot that starts the processors again
// from the --state file as it is then; SIGTERM and SIGINT end the program with status 0.
TEST(SimProgram, SighupRestartsFromTheStateFileAndSigtermOrSigintEndIt) {
    constexpr quint16 kPort = 42490;
    const QHostAddress simAddress(QStringLiteral("127.0.24.20"));
    QTemporaryDir dir;
    const QString path = dir.filePath("state.dat");
    const auto write = [&](int gain) {
        DeviceParameters p{};
        ResetDeviceParameters(p);
        p.channels[0].bands[1].gain = gain;
        const ParameterImage image = WriteParameterImage(p);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size()));
    };
    Client panel(QHostAddress(QStringLiteral("127.0.24.21")), kPort);
    const auto reportedGain = [&] {
        panel.Connect(simAddress, kPort);
        const auto answer = panel.Receive();
        DeviceParameters p{};
        return answer && ApplyFullState(p, test::Span(answer->data())) ? p.channels[0].bands[1].gain
                                                                       : -1;
    };
    for (const int signal : {SIGTERM, SIGINT}) {
        write(111);
        QProcess sim;
        sim.start(QStringLiteral(QUORVELL_SIM_PATH),
                  {"--address", simAddress.toString(), "--port", QString::number(kPort), "--state",
                   path, "--log", "-"});
        ASSERT_TRUE(sim.waitForStarted(20000));
        ASSERT_TRUE(WaitFor([&] { return sim.readAllStandardError().contains("listening"); }));
        EXPECT_EQ(reportedGain(), 111);
        ASSERT_TRUE(WaitFor([&] { return sim.canReadLine(); }));
        EXPECT_TRUE(sim.readLine().startsWith("{\"time\":"));
        write(222);
        ::kill(static_cast<pid_t>(sim.processId()), SIGHUP);
        ASSERT_TRUE(WaitFor([&] { return sim.readAllStandardError().contains("restarted"); }));
        EXPECT_EQ(reportedGain(), 222);
        ::kill(static_cast<pid_t>(sim.processId()), signal);
        ASSERT_TRUE(sim.waitForFinished(20000));
        EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(sim.exitCode(), 0);
    }
}
#endif

}  // namespace
}  // namespace quorvell::sim
