// SPDX-License-Identifier: GPL-3.0-or-later
// The HTTP API: one table of requests and the status each must get, then the behaviours
// that need more than a status (an edit on the wire, validate-all-then-apply, limits).
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "RemoteTestSupport.h"

namespace quorvell::test {
namespace {

using Headers = QList<QPair<QByteArray, QByteArray>>;

struct Case {
    const char* method;
    const char* path;
    Headers headers;
    QByteArray body;
    int status;
    const char* why;
};

QJsonObject Object(const QByteArray& body) {
    return QJsonDocument::fromJson(body).object();
}

TEST(RemoteApi, EveryRouteAndRefusalAnswersItsStatus) {
    RemoteRig rig(42601, 43601);
    const QByteArray big(100 * 1024, ' ');
    const Headers evil = {{"Origin", "http://evil.example"}};
    const std::vector<Case> cases = {
        {"GET", "/", {}, {}, 200, "the page"},
        {"GET", "/api/v1/state", {}, {}, 200, "state"},
        {"GET", "/api/v1/openapi.json", {}, {}, 200, "description"},
        {"GET", "/api/v1/curve?points=50", {}, {}, 200, "curve"},
        {"GET", "/api/v1/presets", {}, {}, 200, "preset list"},
        {"POST", "/api/v1/presets", {}, R"({"name":"Hall"})", 201, "save"},
        {"PATCH", "/api/v1/params?raw=1", {}, R"({"ch1.band1.gain":200})", 200, "raw edit"},
        {"PATCH", "/api/v1/params", {}, R"({"ch1.hipass.type":"bessel2"})", 200, "label value"},
        {"POST", "/api/v1/disconnect", {}, {}, 200, "disconnect while down"},
        {"GET", "/api/v1/devices", {}, {}, 200, "the list; a GET never starts a search"},
        {"GET", "/nothing", {}, {}, 404, "unknown path"},
        {"GET", "/api/v1/presets/abc", {}, {}, 404, "id not a number"},
        {"DELETE", "/api/v1/state", {}, {}, 405, "wrong method"},
        {"GET", "/api/v1/params", {}, {}, 405, "params only take PATCH"},
        {"PATCH", "/api/v1/params", {}, "{bad json", 400, "malformed JSON"},
        {"PATCH", "/api/v1/params", {}, "[1,2]", 400, "not an object"},
        {"PATCH", "/api/v1/params", {}, "{}", 400, "nothing to change"},
        {"PATCH", "/api/v1/params", {}, R"({"ch3.band1.gain":1})", 400, "unknown path"},
        {"PATCH", "/api/v1/params", {}, R"({"ch1.band1.gain":true})", 400, "wrong type"},
        {"PATCH", "/api/v1/params?raw=1", {}, R"({"ch1.band1.q":0})", 400, "raw out of range"},
        {"PATCH", "/api/v1/params", {}, R"({"name":"ABCDEFGHIJK"})", 400, "name too long"},
        {"GET", "/api/v1/curve?points=1", {}, {}, 400, "too few points"},
        {"GET", "/api/v1/curve?points=x", {}, {}, 400, "points not a number"},
        {"POST", "/api/v1/connect", {}, R"({"device":"300.1.1.1"})", 400, "bad device"},
        {"POST", "/api/v1/connect", {}, "nope", 400, "malformed connect body"},
        {"POST", "/api/v1/connect", {}, R"({"device":"010.0.0.1"})", 400, "leading zeros"},
        {"POST", "/api/v1/connect", {}, R"({"device":"0.0.0.0"})", 400, "unspecified"},
        {"POST", "/api/v1/connect", {}, R"({"device":"224.0.0.1"})", 400, "multicast"},
        {"POST", "/api/v1/connect", {}, R"({"device":"255.255.255.255"})", 400, "broadcast"},
        {"POST", "/api/v1/name", {}, R"({"name":5})", 400, "name not text"},
        {"POST", "/api/v1/name", {}, R"({"name":"AB\u0000CD"})", 400, "NUL in a name"},
        {"PATCH", "/api/v1/params", {}, R"({"name":"A\u001b[2J"})", 400, "ESC in a name"},
        {"POST", "/api/v1/presets", {}, R"({"name":"NineChars"})", 400, "preset name too long"},
        {"PATCH", "/api/v1/presets/1", {}, R"({"name":"a\u0007"})", 400, "BEL in a preset"},
        {"GET", "/api/v1/events", {}, {}, 400, "events need an upgrade"},
        {"POST", "/api/v1/reset", {}, {}, 503, "reset needs the link"},
        {"POST", "/api/v1/presets/77/recall", {}, {}, 404, "recall of a missing preset"},
        {"PATCH", "/api/v1/presets/77", {}, R"({"name":"x"})", 404, "rename of a missing one"},
        {"POST", "/api/v1/presets/restore", {}, {}, 400, "restore without an archive"},
        {"POST", "/api/v1/presets/restore", {}, "not a tar", 422, "restore of a damaged archive"},
        {"GET", "/api/v1/state", {{"Host", "evil.example:43601"}}, {}, 403, "rebinding Host"},
        {"GET", "/api/v1/state", {{"Host", "127.0.26.1:1"}}, {}, 403, "Host with another port"},
        {"PATCH", "/api/v1/params", evil, R"({"ch1.band1.gain":1})", 403, "another site's page"},
        {"GET", "/api/v1/state", {{"Origin", "http://127.0.26.1:43601"}}, {}, 200, "own page"},
        {"PATCH", "/api/v1/params", {}, big, 413, "body over 64 KiB"},
    };
    // The API description must list every answer a route really gives.
    const QJsonObject described =
        Object(rig.Send("GET", "/api/v1/openapi.json").body)["paths"].toObject();
    const QRegularExpression id(QStringLiteral("/\\d+(?=/|$)"));
    for (const Case& c : cases) {
        const HttpResult r = rig.Send(c.method, QString::fromLatin1(c.path), c.body, c.headers);
        EXPECT_EQ(r.status, c.status)
            << c.why << ": " << c.method << ' ' << c.path << " -> " << r.body.toStdString();
        if (c.status == 405) {
            EXPECT_FALSE(r.Header("Allow").isEmpty()) << c.why;
        }
        EXPECT_TRUE(r.Header("Access-Control-Allow-Origin").isEmpty()) << c.why;
        const QString route = QString::fromLatin1(c.path).section('?', 0, 0).replace(id, "/{id}");
        const QJsonObject ops = described.value(route).toObject();
        const QJsonObject op = ops.value(QString::fromLatin1(c.method).toLower()).toObject();
        if (ops.isEmpty()) {
            EXPECT_EQ(r.status, 404) << c.why << ": an undescribed path answered";
        } else if (op.isEmpty()) {
            EXPECT_EQ(r.status, 405) << c.why << ": an undescribed method answered";
        } else {
            EXPECT_TRUE(op["responses"].toObject().contains(QString::number(r.status)))
                << c.why << ": " << r.status << " is not described for " << c.method << ' '
                << route.toStdString();
        }
    }
    EXPECT_EQ(rig.sim->Log().size(), 0u) << "nothing is sent while the link is down";

    // The state carries only described fields, the link and sync states from their lists.
    const QJsonObject fields = Object(rig.Send("GET", "/api/v1/openapi.json").body)["components"]
                                   .toObject()["schemas"]
                                   .toObject()["State"]
                                   .toObject()["properties"]
                                   .toObject();
    const QJsonObject state = Object(rig.Send("GET", "/api/v1/state").body);
    for (const char* name : {"link", "sync"}) {
        EXPECT_TRUE(state.contains(name)) << name;
        EXPECT_TRUE(fields[name].toObject()["enum"].toArray().contains(state[name])) << name;
    }
    for (const QString& name : state.keys()) {
        EXPECT_TRUE(fields.contains(name)) << name.toStdString() << " is not described";
    }
}

TEST(RemoteApi, TokenIsRequiredOnEveryRequestWhenSet) {
    RemoteRig rig(42602, 43602, QStringLiteral("s3cret-token"));
    const std::vector<Case> cases = {
        {"GET", "/", {}, {}, 401, "page without token"},
        {"GET", "/api/v1/state", {}, {}, 401, "no token"},
        {"GET", "/nothing", {}, {}, 401, "refused before routing"},
        {"GET", "/api/v1/state", {{"Authorization", "Bearer wrong"}}, {}, 401, "wrong token"},
        {"GET", "/api/v1/state", {{"Authorization", "Basic czNjcmV0"}}, {}, 401, "other scheme"},
        {"GET", "/api/v1/state", {{"Authorization", "Bearer s3cret-token"}}, {}, 200, "token"},
        {"GET", "/?token=s3cret-token", {}, {}, 200, "the page's address carries it"},
        {"GET", "/api/v1/state?token=s3cret-token", {}, {}, 401, "only the page's address does"},
    };
    for (const Case& c : cases) {
        const HttpResult r = rig.Send(c.method, QString::fromLatin1(c.path), c.body, c.headers);
        EXPECT_EQ(r.status, c.status) << c.why;
        if (c.status == 401) {
            EXPECT_EQ(r.Header("WWW-Authenticate"), "Bearer") << c.why;
        }
    }
}

// Off loopback a token file must be private and its token long enough; on loopback anything
// goes. The addresses printed for 0.0.0.0 are real ones, which pass the Host check.
TEST(RemoteApi, TokenFilesOffLoopbackArePrivateAndLong) {
    QTemporaryDir dir;
    const struct {
        const char* address;
        QFileDevice::Permissions mode;
        const char* token;
        bool ok;
    } cases[] = {
        {"127.0.0.1", QFile::ReadOwner | QFile::ReadOther, "short", true},
        {"10.1.2.3", QFile::ReadOwner | QFile::WriteOwner, "0123456789abcdef", true},
        {"10.1.2.3", QFile::ReadOwner | QFile::ReadGroup, "0123456789abcdef", false},
        {"0.0.0.0", QFile::ReadOwner, "0123456789abcde", false},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.token) + c.address);
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(c.token) + "\n");
        f.close();
        ASSERT_TRUE(f.setPermissions(c.mode));
        QString error;
        const auto token = ReadRemoteToken(path, QHostAddress(c.address), &error);
        EXPECT_EQ(token.has_value(), c.ok) << c.address << ' ' << c.token;
        EXPECT_EQ(error.isEmpty(), c.ok) << error.toStdString();
    }
    const QStringList urls = RemoteUrls(QHostAddress(QHostAddress::AnyIPv4), 8080);
    EXPECT_TRUE(urls.contains("http://127.0.0.1:8080/"));
    EXPECT_FALSE(urls.join(' ').contains("0.0.0.0"));
}

TEST(RemoteApi, EditReachesTheSimulatorAsOneFrameAndTheStateReportsIt) {
    RemoteRig rig(42603, 43603);
    ASSERT_TRUE(rig.Connect());
    const HttpResult r = rig.Send("PATCH", "/api/v1/params", R"({"ch2.band4.gain": -6.5})");
    ASSERT_EQ(r.status, 200) << r.body.toStdString();
    EXPECT_TRUE(Object(r.body).value("sent").toBool());
    ASSERT_TRUE(WaitFor([&] { return rig.CountEqBand() == 1; }));
    const sim::LogEntry& e = rig.sim->Log().back();
    EXPECT_TRUE(e.decoded.valid) << e.decoded.reason;
    EXPECT_EQ(rig.sim->Settings().channels[1].bands[4].gain, 115);
    const QJsonObject state = Object(rig.Send("GET", "/api/v1/state").body);
    EXPECT_EQ(state.value("link").toString(), "up");
    EXPECT_DOUBLE_EQ(state.value("values").toObject().value("ch2.band4.gain").toDouble(), -6.5);
    EXPECT_EQ(state["params"]["channels"][1]["bands"][3]["gain"].toInt(), 115);
    EXPECT_EQ(rig.Send("POST", "/api/v1/discover").status, 409);
    EXPECT_EQ(Object(rig.Send("POST", "/api/v1/connect").body).value("error").toString(),
              "Already connect.");
}

TEST(RemoteApi, OneBadValueRefusesTheWholeRequest) {
    RemoteRig rig(42604, 43604);
    ASSERT_TRUE(rig.Connect());
    const auto before = rig.params.channels[0].bands;
    const HttpResult r =
        rig.Send("PATCH", "/api/v1/params", R"({"ch1.band1.gain": -6, "ch1.band2.gain": 99})");
    ASSERT_EQ(r.status, 400);
    const QJsonObject e = Object(r.body);
    EXPECT_EQ(e.value("path").toString(), "ch1.band2.gain");
    EXPECT_DOUBLE_EQ(e.value("min").toDouble(), -18.0);
    EXPECT_DOUBLE_EQ(e.value("max").toDouble(), 18.0);
    EXPECT_FALSE(e.value("error").toString().isEmpty());
    WaitFor([] { return false; }, 50);
    EXPECT_EQ(rig.CountEqBand(), 0);
    EXPECT_EQ(rig.params.channels[0].bands[1].gain, before[1].gain);
}

TEST(RemoteApi, PresetSavedRenamedRecalledAndDeleted) {
    // The restore's replaced files go to a test trash in a home of this run's own.
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    qputenv("HOME", home.path().toLocal8Bit());
    qunsetenv("XDG_DATA_HOME");
    QStandardPaths::setTestModeEnabled(true);
    RemoteRig rig(42605, 43605);
    ASSERT_TRUE(rig.Connect());
    rig.Send("PATCH", "/api/v1/params", R"({"ch1.band2.gain": 3})");
    const int id = Object(rig.Send("POST", "/api/v1/presets", "").body).value("id").toInt();
    ASSERT_GT(id, 0);
    EXPECT_EQ(rig.Send("PATCH", QStringLiteral("/api/v1/presets/%1").arg(id), R"({"name":"Hall"})")
                  .status,
              200);
    const QJsonArray list = Object(rig.Send("GET", "/api/v1/presets").body)["presets"].toArray();
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].toObject()["name"].toString(), "Hall");

    // Another program holds the database: every preset route gives up after the panel's short
    // wait (a CLI waits 5 s) and says when to retry, changing nothing.
    {
        ScriptedMessageBoxes quiet;
        PresetDatabase other(rig.dataDir.path(), quiet);
        ASSERT_TRUE(other.Begin(true));
        const QString one = QStringLiteral("/api/v1/presets/%1").arg(id);
        for (const auto& [method, path, body] :
             std::vector<std::tuple<QByteArray, QString, QByteArray>>{
                 {"POST", "/api/v1/presets", R"({"name":"Busy"})"},
                 {"PATCH", one, R"({"name":"Busy"})"},
                 {"DELETE", one, {}},
                 {"POST", one + "/recall", {}}}) {
            QElapsedTimer clock;
            clock.start();
            const HttpResult r = rig.Send(method, path, body);
            EXPECT_EQ(r.status, 503) << method.constData() << ' ' << path.toStdString();
            EXPECT_EQ(r.Header("Retry-After"), "1") << method.constData();
            EXPECT_LT(clock.elapsed(), 2500) << method.constData();
        }
        other.Rollback();
    }
    rig.Send("PATCH", "/api/v1/params", R"({"ch1.band2.gain": -3})");
    const HttpResult recall = rig.Send("POST", QStringLiteral("/api/v1/presets/%1/recall").arg(id));
    ASSERT_EQ(recall.status, 200);
    EXPECT_EQ(Object(recall.body).value("message").toString(), "Recall sucessfully!");
    EXPECT_EQ(rig.Send("POST", QStringLiteral("/api/v1/presets/%1/recall").arg(id)).status, 409)
        << "a recall while one is being sent queues nothing";
    EXPECT_TRUE(WaitFor([&] { return rig.sim->Settings().channels[0].bands[2].gain == 210; }));

    // A backup restores over the store only when asked to, with its IDs and names.
    const HttpResult backup = rig.Send("POST", "/api/v1/presets/backup");
    ASSERT_EQ(backup.status, 200);
    EXPECT_EQ(backup.Header("Content-Type"), "application/x-tar");
    rig.Send("PATCH", QStringLiteral("/api/v1/presets/%1").arg(id), R"({"name":"Later"})");
    EXPECT_EQ(rig.Send("POST", "/api/v1/presets/restore", backup.body).status, 409);
    const HttpResult restored = rig.Send("POST", "/api/v1/presets/restore?replace=1", backup.body);
    ASSERT_EQ(restored.status, 200) << restored.body.toStdString();
    EXPECT_EQ(Object(restored.body).value("restored").toInt(), 1);
    EXPECT_EQ(Object(rig.Send("GET", "/api/v1/presets").body)["presets"][0]["name"].toString(),
              "Hall");

    EXPECT_EQ(rig.Send("DELETE", QStringLiteral("/api/v1/presets/%1").arg(id)).status, 200);
    EXPECT_EQ(rig.Send("DELETE", QStringLiteral("/api/v1/presets/%1").arg(id)).status, 404);
}

TEST(RemoteApi, CurveHasBothChannelsAtTheRequestedPoints) {
    RemoteRig rig(42606, 43606);
    rig.Send("PATCH", "/api/v1/params", R"({"ch1.band3.gain": 12, "ch1.band3.freq": 2000})");
    const QJsonObject c = Object(rig.Send("GET", "/api/v1/curve?points=4").body);
    ASSERT_EQ(c["frequencies"].toArray().size(), 4);
    EXPECT_DOUBLE_EQ(c["frequencies"].toArray().first().toDouble(), 20.0);
    EXPECT_DOUBLE_EQ(c["frequencies"].toArray().last().toDouble(), 20000.0);
    ASSERT_EQ(c["ch1"].toArray().size(), 4);
    ASSERT_EQ(c["ch2"].toArray().size(), 4);
    EXPECT_NEAR(c["ch1"][2].toDouble(), 12.0, 0.2);  // 20, 200, 2000, 20000 Hz
    EXPECT_NEAR(c["ch2"][2].toDouble(), 0.0, 0.2);
}

TEST(RemoteApi, IdleConnectionIsClosedAndPartialBodiesNeverReachAHandler) {
    ConnectionLimits limits;
    limits.idleTimeoutMs = 200;
    RemoteRig rig(42607, 43607, {}, limits);
    QTcpSocket idle;
    idle.connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
    ASSERT_TRUE(WaitFor([&] { return idle.state() == QAbstractSocket::ConnectedState; }));
    // A head announcing a body that never comes: the server waits, then closes.
    idle.write(
        "PATCH /api/v1/params HTTP/1.1\r\nHost: 127.0.26.1:43607\r\n"
        "Content-Length: 10\r\n\r\n{\"ch1.");
    EXPECT_TRUE(WaitFor([&] { return idle.state() == QAbstractSocket::UnconnectedState; }, 3000));
    EXPECT_EQ(rig.params.channels[0].bands[1].gain, 180) << "the partial edit changed nothing";

    QTcpSocket huge;
    huge.connectToHost(QString::fromLatin1(kRemoteIp), rig.server->Port());
    ASSERT_TRUE(WaitFor([&] { return huge.state() == QAbstractSocket::ConnectedState; }));
    huge.write(
        "PATCH /api/v1/params HTTP/1.1\r\nHost: 127.0.26.1:43607\r\n"
        "Content-Length: 99999999999\r\n\r\n");
    QByteArray answer;
    WaitFor([&] {
        answer += huge.readAll();
        return answer.contains("\r\n\r\n");
    });
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.toStdString();
    EXPECT_TRUE(WaitFor([&] { return huge.state() == QAbstractSocket::UnconnectedState; }));
}

}  // namespace
}  // namespace quorvell::test
