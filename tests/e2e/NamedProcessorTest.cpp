// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-cli talks only to a processor someone named: --device, or the address the panel
// stored. The test process runs under a private home, so a developer's settings never leak in.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTemporaryDir>

#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

constexpr char kNoDevice[] = "no processor named: give --device IP (or pick one in the panel)";
constexpr char kLocal[] = "127.0.91.1";
constexpr char kProcessor[] = "127.0.91.2";

void StoreHostIp(const std::optional<QString>& ip) {
    QSettings settings(QStringLiteral("Quorvell"), QStringLiteral("Quorvell"));
    settings.beginGroup(QStringLiteral("U_FONT_SECTION"));
    if (ip) {
        settings.setValue(QStringLiteral("hostip"), *ip);
    } else {
        settings.remove(QStringLiteral("hostip"));
    }
    settings.sync();
}

CliRun RunUnnamed(quint16 port, const QStringList& args) {
    return RunCli(std::nullopt,
                  QStringList{"--bind", kLocal, "--port", QString::number(port), "--trace"} + args);
}

TEST(NamedProcessor, ConnectedCommandsWithoutADeviceSendNothing) {
    constexpr quint16 kPort = 42960;
    auto sim = StartSim(kProcessor, kPort);
    QTemporaryDir data;
    const QStringList dataDir = {"--data-dir", data.path()};
    const QStringList commands[] = {
        {"show"},          {"show", "--json"}, {"set", "ch1.band3.gain=6"},
        {"name", "STAGE"}, {"reset"},          dataDir + QStringList{"preset", "save"},
    };
    // Missing and stored empty: neither names a processor.
    for (const std::optional<QString>& stored :
         {std::optional<QString>(), std::optional(QString())}) {
        StoreHostIp(stored);
        for (const QStringList& args : commands) {
            const CliRun r = RunUnnamed(kPort, args);
            EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
            EXPECT_EQ(r.err, QString(kNoDevice) + '\n') << args.join(' ').toStdString();
            EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
        }
    }
    // The panel's stored address is a named processor.
    StoreHostIp(QString(kProcessor));
    const CliRun stored = RunUnnamed(kPort, {"show", "--json"});
    StoreHostIp(std::nullopt);
    EXPECT_EQ(stored.exitCode, 0) << stored.err.toStdString();
    EXPECT_EQ(CountCode(*sim, CommandCode::Connect), 1) << "only the run that had an address";
}

// `serve` without --device serves the API and connects when a client names the processor.
TEST(NamedProcessor, ServeConnectsWhenAClientAsks) {
    constexpr quint16 kPort = 42961;
    constexpr int kHttpPort = 43961;
    auto sim = StartSim(kProcessor, kPort);
    QTemporaryDir data;
    StoreHostIp(std::nullopt);
    QProcess serve;
    serve.start(QStringLiteral(QUORVELL_CLI_PATH),
                {"--data-dir", data.path(), "--bind", kLocal, "--port", QString::number(kPort),
                 "serve", "--http", QStringLiteral("%1:%2").arg(kLocal).arg(kHttpPort)});
    ASSERT_TRUE(WaitFor(
        [&] { return serve.canReadLine() || serve.state() == QProcess::NotRunning; }, 20000));
    const QString banner = QString::fromUtf8(serve.readLine());
    EXPECT_TRUE(banner.contains("POST /api/v1/connect")) << banner.toStdString();

    QNetworkAccessManager nam;
    const auto post = [&](const QByteArray& body) {
        QNetworkRequest request(
            QUrl(QStringLiteral("http://%1:%2/api/v1/connect").arg(kLocal).arg(kHttpPort)));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(nam.post(request, body));
        WaitFor([&] { return reply->isFinished(); }, 10000);
        return std::pair(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                         QJsonDocument::fromJson(reply->readAll()).object());
    };
    const auto [refused, why] = post("{}");
    EXPECT_EQ(refused, 400);
    EXPECT_TRUE(why.value("error").toString().startsWith("no processor named")) << refused;
    EXPECT_TRUE(sim->Log().empty()) << "nothing sent before a client named the processor";

    const auto [accepted, state] =
        post(QStringLiteral(R"({"device":"%1"})").arg(kProcessor).toUtf8());
    EXPECT_EQ(accepted, 202);
    EXPECT_TRUE(WaitFor([&] { return CountCode(*sim, CommandCode::Connect) > 0; }, 10000));
    serve.terminate();
    EXPECT_TRUE(serve.waitForFinished(10000));
    EXPECT_EQ(serve.exitCode(), 0) << serve.readAllStandardError().toStdString();
}

}  // namespace
}  // namespace quorvell::test
