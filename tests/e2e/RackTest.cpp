// SPDX-License-Identifier: GPL-3.0-or-later
// A rack of processors over one endpoint: each edit reaches its own processor, and what a
// processor (or anyone else) sends lands only in the editor of the processor that sent it.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUdpSocket>

#include "LinkTestSupport.h"
#include "ProcessorRack.h"

namespace quorvell::test {
namespace {

constexpr quint16 kPort = 43110;
constexpr char kRackIp[] = "127.0.31.1";

QString RackSim(int host) {
    return QStringLiteral("127.0.31.%1").arg(host);
}

ReadBackOptions QuietSync() {
    ReadBackOptions o;
    o.pollMs = 0;  // reads only when the test asks
    return o;
}

TEST(Rack, EditsReachTheirOwnProcessorAndAnswersStayWithTheirSender) {
    auto simA = StartSim(RackSim(2), kPort);
    auto simB = StartSim(RackSim(3), kPort);
    ProcessorRack rack(LinkOptions(kPort, nullptr, kRackIp), QuietSync());
    ProcessorEditor* a = rack.Add(RackSim(2));
    ProcessorEditor* b = rack.Add(" " + RackSim(3));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(rack.Add(RackSim(3)), b);
    EXPECT_EQ(rack.Add("127.0.31"), nullptr);
    EXPECT_EQ(rack.ConnectAll(), 2);
    ASSERT_TRUE(WaitFor([&] { return a->Link().linkUp() && b->Link().linkUp(); }));

    struct Edit {
        ProcessorEditor* editor;
        sim::SimProcessor* to;
        sim::SimProcessor* other;
        const char* path;
        std::int32_t raw;
    };
    const Edit edits[] = {
        {a, simA.get(), simB.get(), "ch1.band3.gain", 200},
        {b, simB.get(), simA.get(), "ch2.band1.gain", 40},
        {b, simB.get(), simA.get(), "ch1.limiter.threshold", 3},
        {a, simA.get(), simB.get(), "main.level", 12},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.path);
        const auto path = FindParameterPath(e.path);
        ASSERT_TRUE(path);
        const std::size_t otherBefore = e.other->Log().size();
        ASSERT_TRUE(e.editor->SetValue(*path, e.raw));
        ASSERT_TRUE(WaitFor([&] { return path->Value(e.to->Settings()) == e.raw; }));
        // Byte-exact: the frame a processor of its own would have been sent.
        const auto frame =
            BuildRecordFrame(e.editor->Parameters(), path->record, e.editor->Link().EulerE());
        ASSERT_TRUE(frame);
        EXPECT_EQ(e.to->Log().back().bytes, ToBytes(*frame));
        EXPECT_EQ(e.other->Log().size(), otherBefore);
    }

    // Full states from a stranger, and from B's address on another port, change no model;
    // B's own answer to a read is adopted by B alone.
    DeviceParameters forged = simB->Settings();
    forged.channels[0].bands[5].gain = 7;
    const QByteArray forgedBytes = ToBytes(BuildFullState(forged));
    for (const auto& [ip, port] :
         {std::pair{RackSim(4), kPort}, std::pair{RackSim(3), quint16(kPort + 1)}}) {
        QUdpSocket stranger;
        ASSERT_TRUE(stranger.bind(QHostAddress(ip), port));
        stranger.writeDatagram(forgedBytes, QHostAddress(QString(kRackIp)), kPort);
    }
    simB->MutableSettings().channels[0].bands[5].gain = 180;
    const std::int32_t aGain = a->Parameters().channels[0].bands[5].gain;
    b->Sync()->RequestRead();
    ASSERT_TRUE(WaitFor([&] { return b->Parameters().channels[0].bands[5].gain == 180; }));
    Settle();
    EXPECT_EQ(b->Parameters().channels[0].bands[5].gain, 180);
    EXPECT_EQ(a->Parameters().channels[0].bands[5].gain, aGain);
    EXPECT_TRUE(WaitFor([&] { return a->Sync()->state() == SyncState::InSync; }));

    // Removing one keeps the other linked on the shared port.
    EXPECT_TRUE(rack.Remove(RackSim(2)));
    EXPECT_TRUE(b->Link().receiveRunning());
    EXPECT_TRUE(b->SetValue(*FindParameterPath("ch2.band2.gain"), 60));
    EXPECT_TRUE(WaitFor([&] { return simB->Settings().channels[1].bands[2].gain == 60; }));
}

// `serve` with two processors links both over its one port and lists them as linked.
TEST(Rack, ServeLinksEveryDeviceItIsGiven) {
    constexpr quint16 kServePort = 43111;
    constexpr int kHttpPort = 43113;
    auto simA = StartSim(RackSim(5), kServePort);
    auto simB = StartSim(RackSim(6), kServePort);
    QProcess serve;
    serve.start(QStringLiteral(QUORVELL_CLI_PATH),
                {"--bind", kRackIp, "--port", QString::number(kServePort), "--device",
                 RackSim(5) + "," + RackSim(6), "serve", "--http",
                 QStringLiteral("%1:%2").arg(kRackIp).arg(kHttpPort)});
    QByteArray err;
    ASSERT_TRUE(WaitFor(
        [&] {
            err += serve.readAllStandardError();
            return (err.contains("link up " + RackSim(5).toLatin1()) &&
                    err.contains("link up " + RackSim(6).toLatin1())) ||
                   serve.state() == QProcess::NotRunning;
        },
        20000))
        << err.toStdString();
    QNetworkAccessManager nam;
    std::unique_ptr<QNetworkReply> reply(nam.get(QNetworkRequest(
        QUrl(QStringLiteral("http://%1:%2/api/v1/devices").arg(kRackIp).arg(kHttpPort)))));
    WaitFor([&] { return reply->isFinished(); }, 10000);
    const QJsonArray linked =
        QJsonDocument::fromJson(reply->readAll()).object()["linked"].toArray();
    ASSERT_EQ(linked.size(), 2);
    EXPECT_EQ(linked[0]["address"].toString(), RackSim(5));
    EXPECT_EQ(linked[1]["link"].toString(), QStringLiteral("up"));
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
    EXPECT_EQ(serve.exitCode(), 0);
}

}  // namespace
}  // namespace quorvell::test
