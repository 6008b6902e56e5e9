// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-cli's connected commands run as a separate process against the simulator: their
// output and exit statuses.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

TEST(Cli, SetSendsOneCommandPerChangedRecord) {
    constexpr quint16 kPort = 41502;
    auto sim = StartSim(SimIp(2), kPort);
    const CliRun r =
        RunCli(kPort, {"set", "ch1.band3.gain=6", "ch1.band3.q=4.5", "main.level=0", "-v"});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(sim->Settings().channels[0].bands[3].gain, 240);
    EXPECT_EQ(sim->Settings().channels[0].bands[3].q, 45);
    EXPECT_EQ(CountCode(*sim, CommandCode::EqBand), 1) << "two edits of one band, one frame";
    EXPECT_EQ(CountCode(*sim, CommandCode::Level), 1);
    // The two commands and the read that confirms them.
    EXPECT_EQ(r.out.count(QStringLiteral("AA 55")), 3) << r.out.toStdString();
}

// Exit statuses scripts rely on; nothing is sent when the arguments are wrong.
TEST(Cli, ExitStatuses) {
    constexpr quint16 kPort = 41505;
    auto sim = StartSim(SimIp(2), kPort, With([](auto& o) { o.noAnswer = true; }));

    for (const char* bad :
         {"set ch1.band3.gain=99", "set ch3.level=0", "name ELEVENBYTES", "show --retry 0",
          "set ch1.hipass.type=2.4", "set ch2.phase=0.4", "discover --interface 127.0.21.5"}) {
        const CliRun r = RunCli(kPort, Words(bad));
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_EQ(r.err.trimmed().count('\n'), 0) << "one line: " << r.err.toStdString();
    }
    EXPECT_TRUE(sim->Log().empty()) << "bad arguments send nothing";
    // Offline frames carry the global --port as their reply port (41505 is A2 21).
    for (const char* name : {"connect", "discover"}) {
        EXPECT_TRUE(RunCli(kPort, {"frame", name, "127.0.0.1"}).out.contains("A2 21 7F 00 00 01"))
            << name;
    }

    // A device address of this computer echoes the CLI's own requests: never an answer,
    // and the trace says why each echo was ignored.
    const CliRun echo = RunCli(std::nullopt, {"--port", "42105", "--device", "127.0.0.1", "--trace",
                                              "show", "--retry", "1"});
    EXPECT_EQ(echo.exitCode, 3) << echo.out.toStdString();
    EXPECT_TRUE(echo.err.contains(kTextCannotConnect));
    EXPECT_EQ(echo.err.count("| ignored: own datagram"), 3) << echo.err.toStdString();

    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress(QString(kLinkIp)), kPort));
    const CliRun bindRun = RunCli(kPort, {"show"});
    EXPECT_EQ(bindRun.exitCode, 4);
    EXPECT_TRUE(bindRun.err.contains("41505")) << bindRun.err.toStdString();
}

// Three processors named by --device (repeated and as a list): each line carries its
// address, one processor that keeps nothing makes the run exit 5 naming it while the others
// take the change, --json gives one object each, and --diff shows only what differs. A search
// finds the three.
TEST(Cli, SeveralDevicesRunInTurn) {
    constexpr quint16 kPort = 42960;
    const QString link = "127.0.46.1", ips[] = {"127.0.46.2", "127.0.46.3", "127.0.46.4"};
    std::unique_ptr<sim::SimProcessor> sims[3];
    for (int i = 0; i < 3; ++i) {
        sims[i] = StartSim(ips[i], kPort);
    }
    sim::SimProcessor& stale = *sims[1];
    QObject::connect(&stale, &sim::SimProcessor::datagramLogged, &stale,
                     [&] { stale.MutableSettings().channels[0].bands[1].gain = 180; });
    const auto run = [&](const QStringList& args) {
        return RunCli(std::nullopt,
                      QStringList{"--bind", link, "--port", QString::number(kPort), "--device",
                                  ips[0] + "," + ips[1], "--device", ips[2]} +
                          args);
    };

    const CliRun set = run({"set", "--raw", "--retry", "1", "ch1.band1.gain=200"});
    EXPECT_EQ(set.exitCode, 5) << set.err.toStdString();
    EXPECT_TRUE(set.err.startsWith(ips[1] + ": ") && set.err.contains("not confirmed") &&
                set.err.contains("ch1.band1"))
        << set.err.toStdString();
    EXPECT_EQ(set.err.count('\n'), 1) << set.err.toStdString();
    EXPECT_EQ(sims[0]->Settings().channels[0].bands[1].gain, 200);
    EXPECT_EQ(sims[2]->Settings().channels[0].bands[1].gain, 200);

    const CliRun show = run({"show"});
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
    for (const QString& line : show.out.trimmed().split('\n')) {
        EXPECT_TRUE(line.startsWith(ips[0] + ": ") || line.startsWith(ips[1] + ": ") ||
                    line.startsWith(ips[2] + ": "))
            << line.toStdString();
    }
    const QJsonArray json = QJsonDocument::fromJson(run({"show", "--json"}).out.toUtf8()).array();
    ASSERT_EQ(json.size(), 3);
    EXPECT_EQ(json[2]["address"].toString(), ips[2]);
    EXPECT_EQ(json[2]["result"]["channels"][0]["bands"][0]["gain"].toInt(), 200);

    const CliRun diff = run({"show", "--diff"});
    ASSERT_EQ(diff.exitCode, 0) << diff.err.toStdString();
    const QStringList rows = diff.out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 2) << diff.out.toStdString();
    EXPECT_EQ(rows[0].simplified(),
              "PARAM " + QStringList(std::begin(ips), std::end(ips)).join(' '));
    EXPECT_TRUE(rows[1].startsWith("ch1.band1.gain")) << rows[1].toStdString();

    // Discovery over the bound address's /24 names no processor and lists each one once.
    const CliRun found = RunCli(std::nullopt, {"--bind", link, "--port", QString::number(kPort),
                                               "discover", "--wait", "0", "--json"});
    const QJsonArray list = QJsonDocument::fromJson(found.out.toUtf8()).array();
    ASSERT_EQ(list.size(), 3) << found.out.toStdString() << found.err.toStdString();
    EXPECT_EQ(list[0]["ip"].toString(), ips[0]);
    EXPECT_EQ(list[1]["name"].toString(), "QV-SIM");
    EXPECT_EQ(list[2]["port"].toInt(), kPort);

    // Commands that name no processor, and a diff of one, refuse before anything is sent.
    const std::size_t sent = sims[0]->Log().size();
    EXPECT_EQ(run({"discover"}).exitCode, 2);
    EXPECT_EQ(RunCli(kPort, {"show", "--diff"}, link, ips[0]).exitCode, 2);
    EXPECT_EQ(sims[0]->Log().size(), sent);
}

// A processor that answers a connect with the reset state (frame 8) links the CLI too.
TEST(Cli, AConnectAnsweredWithTheResetStateEndsTheWait) {
    constexpr quint16 kPort = 42120;
    QUdpSocket processor;
    ASSERT_TRUE(processor.bind(QHostAddress("127.0.21.2"), kPort));
    DeviceParameters state{};
    ResetDeviceParameters(state);
    state.channels[0].bands[2].gain = 222;
    QObject::connect(&processor, &QUdpSocket::readyRead, [&] {
        while (processor.hasPendingDatagrams()) {
            const QNetworkDatagram d = processor.receiveDatagram();
            if (d.data().size() > 3 && d.data()[3] == char(CommandCode::Connect)) {
                processor.writeDatagram(ToBytes(BuildResetState(state)), d.senderAddress(),
                                        static_cast<quint16>(d.senderPort()));
            }
        }
    });
    const CliRun r = RunCli(kPort, {"show", "--json"}, "127.0.21.1", "127.0.21.2");
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject json = QJsonDocument::fromJson(r.out.toUtf8()).object();
    EXPECT_EQ(json["channels"][0]["bands"][1]["gain"].toInt(), 222);
}

// Connect-and-exit, two at a time, as scripts run it: every run ends with its own status,
// never with a signal. Bound runs link to a simulator and exit 0; unbound runs on a port held
// elsewhere exit 4 at once, the path that once left a background lookup running at exit.
TEST(Cli, ConnectAndExitRepeatedlySideBySide) {
    const auto first = StartSim("127.0.21.2", 42140), second = StartSim("127.0.21.2", 42141);
    QUdpSocket holder;  // holds 42142 so that an unbound run cannot bind it
    ASSERT_TRUE(holder.bind(QHostAddress("127.0.21.9"), 42142, QUdpSocket::DontShareAddress));
    const QStringList runs[] = {
        {"--bind", "127.0.21.1", "--device", "127.0.21.2", "--port", "42140", "show"},
        {"--bind", "127.0.21.1", "--device", "127.0.21.2", "--port", "42141", "show"},
        {"--device", "127.0.21.2", "--port", "42142", "show"},
    };
    constexpr int kRounds = 15;
    for (int round = 0; round < kRounds; ++round) {
        const QStringList& second = runs[1 + round % 2];
        std::vector<std::unique_ptr<QProcess>> started;
        for (const QStringList* args : {&runs[0], &second}) {
            started.push_back(std::make_unique<QProcess>());
            started.back()->start(QStringLiteral(QUORVELL_CLI_PATH), *args);
        }
        for (std::size_t i = 0; i < started.size(); ++i) {
            QProcess& p = *started[i];
            ASSERT_TRUE(WaitFor([&] { return p.state() == QProcess::NotRunning; }, 20000));
            EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << "round " << round;
            const bool unbound = i == 1 && round % 2 == 1;
            EXPECT_EQ(p.exitCode(), unbound ? 4 : 0) << p.readAllStandardError().toStdString();
        }
    }
}

}  // namespace
}  // namespace quorvell::test
