// SPDX-License-Identifier: GPL-3.0-or-later
// The remote API server: listening, admission (Host, Origin, token) and routing.
#include "RemoteServer.h"
#include "RemoteServerShared.h"

#include <QFile>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QHttpServerRouterRule>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <cmath>
#include <cstring>

#include "DeviceLink.h"
#include "ParameterJson.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "RemoteEdits.h"
#include "ResponseCurve.h"

namespace quorvell {

using namespace remote_detail;

namespace {

// Constant-time comparison, so that the reply time tells nothing about the token.
bool SameToken(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size() || a.isEmpty()) {
        return false;
    }
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return diff == 0;
}

QByteArray MethodName(Method m) {
    switch (m) {
        case Method::Get:
            return "GET";
        case Method::Post:
            return "POST";
        case Method::Patch:
            return "PATCH";
        case Method::Delete:
            return "DELETE";
        case Method::Put:
            return "PUT";
        default:
            return "?";
    }
}

// The WebSocket route: matches only an upgrade that passes the same checks as every other
// request, so that Qt hands only admitted connections to the WebSocket layer. Its handler
// writes nothing; the upgrade answers.
class EventsRule : public QHttpServerRouterRule {
public:
    EventsRule(const QString& path, std::function<bool(const QHttpServerRequest&)> admit,
               RouterHandler handler)
        : QHttpServerRouterRule(path, Method::Get, std::move(handler)), admit_(std::move(admit)) {}

protected:
    bool matches(const QHttpServerRequest& request, QRegularExpressionMatch* match) const override {
        return IsUpgrade(request) && QHttpServerRouterRule::matches(request, match) &&
               admit_(request);
    }

private:
    std::function<bool(const QHttpServerRequest&)> admit_;
};

}  // namespace

bool RemoteNeedsToken(const QHostAddress& address) {
    return !address.isLoopback();
}

QString GenerateRemoteToken() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()),
                           static_cast<qsizetype>(sizeof words));
    return QString::fromLatin1(
        bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

std::optional<QString> ReadRemoteToken(const QString& path, const QHostAddress& address,
                                       QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("--token-file: cannot read '%1'").arg(path);
        return std::nullopt;
    }
    const QString token = QString::fromUtf8(f.readLine(4096)).trimmed();
    if (token.isEmpty()) {
        *error = QStringLiteral("--token-file: '%1' holds no token on its first line").arg(path);
        return std::nullopt;
    }
    if (RemoteNeedsToken(address)) {
        constexpr auto kOthers = QFileDevice::ReadGroup | QFileDevice::ReadOther;
        if (f.permissions() & kOthers) {
            *error = QStringLiteral(
                         "--token-file: '%1' may be read by other users; "
                         "make it readable by its owner only (chmod 600)")
                         .arg(path);
            return std::nullopt;
        }
        if (token.toUtf8().size() < kMinRemoteTokenBytes) {
            *error = QStringLiteral("--token-file: the token is shorter than %1 bytes")
                         .arg(kMinRemoteTokenBytes);
            return std::nullopt;
        }
    }
    return token;
}

QStringList RemoteUrls(const QHostAddress& address, quint16 port) {
    QStringList urls;
    const auto add = [&](const QHostAddress& a) {
        urls << QStringLiteral("http://%1:%2/").arg(a.toString()).arg(port);
    };
    if (address != QHostAddress(QHostAddress::AnyIPv4)) {
        add(address);
        return urls;
    }
    for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            add(a);
        }
    }
    return urls;
}

bool ParseListenAddress(const QString& text, QHostAddress* address, quint16* port) {
    const qsizetype colon = text.lastIndexOf(':');
    if (colon <= 0 || !ParseIpv4(text.left(colon).toStdString())) {
        return false;
    }
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p < 1 || p > 65535) {
        return false;
    }
    *address = QHostAddress(text.left(colon));
    *port = static_cast<quint16>(p);
    return true;
}

const std::vector<RemoteServer::Route>& RemoteServer::Routes() {
    static const std::vector<Route> routes = [] {
        auto r = [](Method m, const char* pattern, Handler h) {
            return Route{m, QRegularExpression(QStringLiteral("^%1$").arg(pattern)), h};
        };
        const char* preset = R"(/api/v1/presets/(\d{1,9}))";
        return std::vector<Route>{
            r(Method::Get, "/", &RemoteServer::GetPage),
            r(Method::Get, "/api/v1/state", &RemoteServer::GetState),
            r(Method::Patch, "/api/v1/params", &RemoteServer::PatchParams),
            r(Method::Post, "/api/v1/connect", &RemoteServer::PostConnect),
            r(Method::Post, "/api/v1/disconnect", &RemoteServer::PostDisconnect),
            r(Method::Get, "/api/v1/devices", &RemoteServer::GetDevices),
            r(Method::Post, "/api/v1/discover", &RemoteServer::PostDiscover),
            r(Method::Post, "/api/v1/name", &RemoteServer::PostName),
            r(Method::Post, "/api/v1/reset", &RemoteServer::PostReset),
            r(Method::Get, "/api/v1/presets", &RemoteServer::GetPresets),
            r(Method::Post, "/api/v1/presets", &RemoteServer::PostPreset),
            r(Method::Post, R"(/api/v1/presets/(\d{1,9})/recall)", &RemoteServer::PostRecall),
            r(Method::Patch, preset, &RemoteServer::PatchPreset),
            r(Method::Delete, preset, &RemoteServer::DeletePreset),
            r(Method::Post, "/api/v1/presets/backup", &RemoteServer::PostBackup),
            r(Method::Post, "/api/v1/presets/restore", &RemoteServer::PostRestore),
            r(Method::Get, "/api/v1/curve", &RemoteServer::GetCurve),
            r(Method::Get, "/api/v1/openapi.json", &RemoteServer::GetOpenApi),
            r(Method::Get, kEventsPath, &RemoteServer::GetEvents),
            r(Method::Get, "/api/v1/devices/([^/]+)/state", &RemoteServer::GetDeviceState),
            r(Method::Patch, "/api/v1/devices/([^/]+)/params", &RemoteServer::PatchDeviceParams),
            r(Method::Get, "/api/v1/devices/([^/]+)/curve", &RemoteServer::GetDeviceCurve),
            r(Method::Get, "/api/v1/groups", &RemoteServer::GetGroups),
            r(Method::Get, "/api/v1/groups/([^/]+)", &RemoteServer::GetGroups),
            r(Method::Put, "/api/v1/groups/([^/]+)", &RemoteServer::PutGroup),
            r(Method::Delete, "/api/v1/groups/([^/]+)", &RemoteServer::DeleteGroup),
            r(Method::Patch, "/api/v1/groups/([^/]+)/params", &RemoteServer::PatchGroupParams),
        };
    }();
    return routes;
}

RemoteServer::RemoteServer(ProcessorEditor& editor, PresetDatabase* database, RemoteOptions options,
                           QObject* parent)
    : QObject(parent),
      editor_(editor),
      params_(editor.Parameters()),
      link_(editor.Link()),
      options_(std::move(options)) {
    if (database != nullptr) {
        // An own connection to the same database, so that what a preset action reports goes
        // into the API's reply, never into a message box on the panel's screen.
        // Requests are answered on the UI thread, so a lock held elsewhere is waited for only
        // as briefly as the panel does; the reply then says to try again.
        database_ = std::make_unique<PresetDatabase>(database->DataDirectory(), boxes_,
                                                     kPanelBusyTimeoutMs);
        store_ = std::make_unique<PresetStore>(*database_, params_);
        store_->SetSink(
            [this](PacedSequence sequence) {
                editor_.SendSequence(std::move(sequence), EditOrigin::Remote);
            },
            link_.EulerE());
    }
    connect(&editor_, &ProcessorEditor::recordsChanged, this, &RemoteServer::RecordsChanged);
    editTimer_.setSingleShot(true);
    editTimer_.setTimerType(Qt::PreciseTimer);
    connect(&editTimer_, &QTimer::timeout, this, &RemoteServer::SendDueEdits);
    pingTimer_.setInterval(options_.limits.webSocketPingMs);
    connect(&pingTimer_, &QTimer::timeout, this, &RemoteServer::PingClients);
    pingTimer_.start();
    http_.setMissingHandler(
        [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
            Dispatch(request, std::move(responder));
        });
    http_.route<EventsRule>(
        QString::fromLatin1(kEventsPath),
        std::function<bool(const QHttpServerRequest&)>([this](const QHttpServerRequest& r) {
            Reply refusal;
            return Admits(r, &refusal);
        }),
        [](const QHttpServerRequest&, QHttpServerResponder&&) {});
    connect(&http_, &QHttpServer::newWebSocketConnection, this, &RemoteServer::OnNewWebSocket);

    connect(&link_, &DeviceLink::linkEstablished, this, &RemoteServer::StateChanged);
    connect(&link_, &DeviceLink::resetStateApplied, this, &RemoteServer::StateChanged);
    connect(&link_, &DeviceLink::disconnected, this, [this] {
        Broadcast({{"type", "link"}, {"link", LinkState()}});
    });
    connect(&link_, &DeviceLink::connectFailed, this, [this] {
        Broadcast({{"type", "link"}, {"link", LinkState()}, {"message", kTextCannotConnect}});
    });
    connect(&link_, &DeviceLink::bindFailed, this, [this](const QString& reason) {
        Broadcast({{"type", "link"},
                   {"link", LinkState()},
                   {"message", QString::fromLatin1(kTextBindError) + ' ' + reason}});
    });
    connect(&link_, &DeviceLink::nameConfirmed, this, [this] {
        Broadcast({{"type", "name"}, {"message", kTextNameSet}});
    });
    searchTimer_.setSingleShot(true);
    connect(&link_, &DeviceLink::searchFinished, this, [this] {
        if (searching_) {
            searchTimer_.start(kSearchListenMs);
        }
    });
    connect(&searchTimer_, &QTimer::timeout, this, [this] {
        searching_ = false;
        searchDone_.start();
        link_.StopSearch();
        Broadcast({{"type", "devices"}, {"searching", false}, {"devices", DevicesJson()}});
    });
}

// Edits still waiting for their period are handed on now: stopping the server never keeps a
// stored value from the processor.
RemoteServer::~RemoteServer() {
    disconnect(&editor_, nullptr, this, nullptr);
    for (const Sent& s : sent_) {
        if (s.due) {
            editor_.Edited(s.record, EditOrigin::Remote);
        }
    }
}

bool RemoteServer::Listen(QString* error) {
    if (RemoteNeedsToken(options_.address) && options_.token.isEmpty()) {
        *error = QStringLiteral("listening on %1 needs a token").arg(options_.address.toString());
        return false;
    }
    if (RemoteNeedsToken(options_.address) &&
        options_.token.toUtf8().size() < kMinRemoteTokenBytes) {
        *error = QStringLiteral("listening on %1 needs a token of at least %2 bytes")
                     .arg(options_.address.toString())
                     .arg(kMinRemoteTokenBytes);
        return false;
    }
    auto tcp = std::make_unique<RemoteTcpServer>(options_.limits);
    tcp->setListenBacklogSize(options_.limits.listenBacklog);
    if (!tcp->listen(options_.address, options_.port)) {
        *error = QStringLiteral("%1:%2: %3")
                     .arg(options_.address.toString())
                     .arg(options_.port)
                     .arg(tcp->errorString());
        return false;
    }
    tcp_ = tcp.release();
    tcp_->setParent(&http_);
    http_.bind(tcp_);
    return true;
}

quint16 RemoteServer::Port() const {
    return tcp_ != nullptr ? tcp_->serverPort() : 0;
}

// ---- checks and routing ---------------------------------------------------------------

bool RemoteServer::HostAllowed(const QByteArray& hostHeader) const {
    QByteArray host = hostHeader.trimmed().toLower();
    quint16 port = 80;
    const qsizetype colon = host.lastIndexOf(':');
    if (colon >= 0) {
        bool ok = false;
        const uint p = host.mid(colon + 1).toUInt(&ok);
        if (!ok || p > 65535) {
            return false;
        }
        port = static_cast<quint16>(p);
        host.truncate(colon);
    }
    if (host.isEmpty() || port != Port()) {
        return false;
    }
    QStringList names;
    const QString own = QHostInfo::localHostName().toLower();
    names << own;
    if (!QHostInfo::localDomainName().isEmpty()) {
        names << own + '.' + QHostInfo::localDomainName().toLower();
    }
    const QHostAddress& bound = options_.address;
    if (bound == QHostAddress(QHostAddress::AnyIPv4) || bound == QHostAddress(QHostAddress::Any)) {
        names << QStringLiteral("localhost");
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                names << a.toString();
            }
        }
    } else {
        names << bound.toString();
        if (bound.isLoopback()) {
            names << QStringLiteral("localhost");
        }
    }
    return names.contains(QString::fromLatin1(host));
}

bool RemoteServer::Admits(const QHttpServerRequest& request, Reply* refusal) const {
    const QByteArray host = Header(request, "Host");
    if (host.isEmpty()) {
        *refusal = ErrorReply(Status::BadRequest, "the Host header is missing");
        return false;
    }
    if (!HostAllowed(host)) {
        *refusal = ErrorReply(Status::Forbidden, "the Host header does not name this server");
        return false;
    }
    // Browsers send Origin with every WebSocket, PATCH, POST and DELETE: a page from anywhere
    // else may not drive the processor.
    const QByteArray origin = Header(request, "Origin");
    if (!origin.isEmpty()) {
        const QUrl url(QString::fromLatin1(origin));
        if (url.scheme() != QStringLiteral("http") ||
            !HostAllowed(url.host().toLatin1() + ':' + QByteArray::number(url.port(80)))) {
            *refusal = ErrorReply(Status::Forbidden, "requests from other sites are refused");
            return false;
        }
    }
    if (!options_.token.isEmpty()) {
        const QByteArray auth = Header(request, "Authorization");
        QByteArray given;
        if (auth.startsWith("Bearer ")) {
            given = auth.mid(7).trimmed();
        } else if (const QString path = request.url().path();
                   auth.isEmpty() && (path == QStringLiteral("/") || path == kEventsPath)) {
            // A browser cannot set the header on the page's own address or a WebSocket; any
            // other address takes the header only, so that the token stays out of logs and
            // histories of ordinary requests.
            given = request.query().queryItemValue(QStringLiteral("token")).toLatin1();
        }
        if (!SameToken(given, options_.token.toLatin1())) {
            *refusal = ErrorReply(Status::Unauthorized, "a valid bearer token is required");
            refusal->challenge = true;
            return false;
        }
    }
    return true;
}

void RemoteServer::Dispatch(const QHttpServerRequest& request, QHttpServerResponder&& responder) {
    Reply reply;
    // HEAD is answered as GET, with the same headers and no body.
    const bool head = request.method() == Method::Head;
    const Method method = head ? Method::Get : request.method();
    if (Admits(request, &reply)) {
        const QString path = request.url().path();
        QByteArray allow;
        bool handled = false;
        for (const Route& route : Routes()) {
            const QRegularExpressionMatch match = route.pattern.match(path);
            if (!match.hasMatch()) {
                continue;
            }
            if (route.method == method) {
                reply = (this->*route.handler)(Call{request, match.captured(1)});
                handled = true;
                break;
            }
            allow += (allow.isEmpty() ? "" : ", ") + MethodName(route.method);
            if (route.method == Method::Get) {
                allow += ", HEAD";
            }
        }
        if (!handled && allow.isEmpty()) {
            reply = ErrorReply(Status::NotFound, QStringLiteral("no such resource: ") + path);
        } else if (!handled) {
            reply = ErrorReply(Status::MethodNotAllowed,
                               QStringLiteral("%1 takes %2").arg(path, QString::fromLatin1(allow)));
            reply.allow = allow;
        }
    }
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    if (reply.type.startsWith("text/html")) {
        responder.writeHeader("Content-Security-Policy",
                              "default-src 'none'; script-src 'unsafe-inline'; style-src "
                              "'unsafe-inline'; connect-src 'self'; frame-ancestors 'none'");
    }
    if (!reply.allow.isEmpty()) {
        responder.writeHeader("Allow", reply.allow);
    }
    if (reply.challenge) {
        responder.writeHeader("WWW-Authenticate", "Bearer");
    }
    if (reply.retryAfter > 0) {
        responder.writeHeader("Retry-After", QByteArray::number(reply.retryAfter));
    }
    responder.writeBody(head ? QByteArray() : reply.body);
}

}  // namespace quorvell
