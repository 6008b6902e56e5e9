// Routing, checks and handlers of the remote API, and the WebSocket event stream.
#include "RemoteServer.h"

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
namespace {

using Method = QHttpServerRequest::Method;
using Status = QHttpServerResponder::StatusCode;

constexpr int kDefaultCurvePoints = 200;
constexpr int kMaxCurvePoints = 2000;
constexpr int kSearchListenMs = 2000;  // answers are collected this long after a sweep
constexpr int kSearchFreshMs = 10000;  // a finished search's list is reused this long
constexpr qint64 kEditPeriodMs = 20;   // an API edit of one record is sent at most this often
constexpr qint64 kSlowClientBytes = 256 * 1024;  // a client this far behind gets the state later
constexpr char kEventsPath[] = "/api/v1/events";

QByteArray Json(const QJsonObject& o) {
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray Header(const QHttpServerRequest& request, QByteArrayView name) {
    for (const auto& [key, value] : request.headers()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

bool IsUpgrade(const QHttpServerRequest& request) {
    return Header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

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

// The "origin" of a params event: who made the change.
QString OriginName(EditOrigin origin) {
    switch (origin) {
        case EditOrigin::Operator:
            return QStringLiteral("operator");
        case EditOrigin::Undo:
            return QStringLiteral("undo");
        case EditOrigin::Remote:
            return QStringLiteral("remote");
        case EditOrigin::Sequence:
            return QStringLiteral("sequence");
        case EditOrigin::Processor:
            return QStringLiteral("processor");
    }
    return {};
}

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

struct RemoteServer::Reply {
    Status status = Status::Ok;
    QByteArray body;
    QByteArray type = "application/json";
    QByteArray allow;        // 405: the methods the path takes
    bool challenge = false;  // 401: ask for the bearer token
};

struct RemoteServer::Call {
    const QHttpServerRequest& request;
    QString id;  // the path's one captured part, if any
};

struct RemoteServer::Route {
    Method method;
    QRegularExpression pattern;
    Handler handler;
};

namespace {

using Reply = RemoteServer::Reply;

Reply JsonReply(const QJsonObject& o, Status status = Status::Ok) {
    return {status, Json(o), "application/json", {}, false};
}

Reply ErrorReply(Status status, const QString& text) {
    return JsonReply(QJsonObject{{"error", text}}, status);
}

// A body that is empty or one JSON object; nothing (and `refusal` set) otherwise.
std::optional<QJsonObject> BodyObject(const QHttpServerRequest& request, Reply* refusal) {
    const QByteArray body = request.body();
    if (body.trimmed().isEmpty()) {
        return QJsonObject{};
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        *refusal = ErrorReply(Status::BadRequest, "the body must be one JSON object");
        return std::nullopt;
    }
    return doc.object();
}

QByteArray Resource(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

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
            r(Method::Post, "/api/v1/name", &RemoteServer::PostName),
            r(Method::Post, "/api/v1/reset", &RemoteServer::PostReset),
            r(Method::Get, "/api/v1/presets", &RemoteServer::GetPresets),
            r(Method::Post, "/api/v1/presets", &RemoteServer::PostPreset),
            r(Method::Post, R"(/api/v1/presets/(\d{1,9})/recall)", &RemoteServer::PostRecall),
            r(Method::Patch, preset, &RemoteServer::PatchPreset),
            r(Method::Delete, preset, &RemoteServer::DeletePreset),
            r(Method::Get, "/api/v1/curve", &RemoteServer::GetCurve),
            r(Method::Get, "/api/v1/openapi.json", &RemoteServer::GetOpenApi),
            r(Method::Get, kEventsPath, &RemoteServer::GetEvents),
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
        database_ = std::make_unique<PresetDatabase>(database->DataDirectory(), boxes_);
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
    auto tcp = std::make_unique<RemoteTcpServer>(options_.limits);
    if (!tcp->listen(options_.address, options_.port)) {
        *error = QStringLiteral("%1:%2: %3")
                     .arg(options_.address.toString())
                     .arg(options_.port)
                     .arg(tcp->errorString());
        return false;
    }
    tcp->SetWebSocketCheck([this](const QTcpSocket& socket) {
        return std::any_of(clients_.begin(), clients_.end(), [&](const Client& c) {
            return c.socket->peerPort() == socket.peerPort() &&
                   c.socket->peerAddress() == socket.peerAddress();
        });
    });
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
        } else if (auth.isEmpty()) {
            // A browser cannot set the header on the page's own address or a WebSocket.
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
    if (Admits(request, &reply)) {
        const QString path = request.url().path();
        QByteArray allow;
        bool handled = false;
        for (const Route& route : Routes()) {
            const QRegularExpressionMatch match = route.pattern.match(path);
            if (!match.hasMatch()) {
                continue;
            }
            if (route.method == request.method()) {
                reply = (this->*route.handler)(Call{request, match.captured(1)});
                handled = true;
                break;
            }
            allow += (allow.isEmpty() ? "" : ", ") + MethodName(route.method);
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
    responder.writeBody(reply.body);
}

// ---- state and events -----------------------------------------------------------------

QString RemoteServer::LinkState() const {
    if (link_.linkUp()) {
        return QStringLiteral("up");
    }
    return link_.connectPending() ? QStringLiteral("connecting") : QStringLiteral("down");
}

QJsonObject RemoteServer::StateJson() const {
    return QJsonObject{
        {"link", LinkState()},
        {"device", link_.deviceAddress()},
        {"params", ParametersJson(params_)},
        {"values", PathValuesJson(params_)},
    };
}

QJsonArray RemoteServer::DevicesJson() const {
    QJsonArray list;
    for (const FoundDevice& d : link_.foundDevices()) {
        list.append(QJsonObject{{"ip", d.ip}, {"port", d.port}, {"name", d.name}});
    }
    return list;
}

void RemoteServer::RecordsChanged(const QList<Record>& records, EditOrigin origin) {
    const std::vector<Record> list(records.begin(), records.end());
    Broadcast({{"type", "params"},
               {"origin", OriginName(origin)},
               {"changes", RecordValuesJson(params_, list)}});
}

void RemoteServer::StateChanged() {
    QJsonObject event = StateJson();
    event.insert("type", "state");
    Broadcast(event);
}

void RemoteServer::Broadcast(const QJsonObject& eventWithoutRevision) {
    QJsonObject event = eventWithoutRevision;
    event.insert("revision", ++revision_);
    const QString text = QString::fromUtf8(Json(event));
    for (Client& c : clients_) {
        // A slow reader gets no growing queue: it skips events and is sent the whole state
        // once it has caught up.
        if (c.socket->bytesToWrite() > kSlowClientBytes) {
            c.behind = true;
            continue;
        }
        if (c.behind) {
            QJsonObject state = StateJson();
            state.insert("type", "state");
            state.insert("revision", revision_);
            c.socket->sendTextMessage(QString::fromUtf8(Json(state)));
            c.behind = false;
            continue;
        }
        c.socket->sendTextMessage(text);
    }
}

void RemoteServer::OnNewWebSocket() {
    while (http_.hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> socket = http_.nextPendingWebSocketConnection();
        if (!socket) {
            break;
        }
        QWebSocket* raw = socket.get();
        connect(raw, &QWebSocket::disconnected, this, [this, raw] {
            const auto it = std::find_if(clients_.begin(), clients_.end(),
                                         [raw](const Client& c) { return c.socket.get() == raw; });
            if (it != clients_.end()) {
                it->socket.release()->deleteLater();
                clients_.erase(it);
            }
        });
        connect(raw, &QWebSocket::textMessageReceived, this,
                [this, raw](const QString& text) { OnClientMessage(raw, text); });
        QJsonObject state = StateJson();
        state.insert("type", "state");
        state.insert("revision", revision_);
        raw->sendTextMessage(QString::fromUtf8(Json(state)));
        clients_.push_back({std::move(socket), false});
    }
}

// A client may send {"type": "set", "params": {...}}: the same as PATCH /api/v1/params.
void RemoteServer::OnClientMessage(QWebSocket* socket, const QString& text) {
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8());
    if (!doc.isObject() || doc.object().value("type").toString() != QStringLiteral("set") ||
        !doc.object().value("params").isObject()) {
        socket->sendTextMessage(QString::fromUtf8(
            Json({{"type", "error"}, {"error", "expected {\"type\":\"set\",\"params\":{...}}"}})));
        return;
    }
    const QByteArray params = QJsonDocument(doc.object().value("params").toObject()).toJson();
    const EditRequest request = ParseEditRequest(params, false);
    if (request.error) {
        QJsonObject e{{"type", "error"}, {"error", QString::fromStdString(request.error->error)}};
        e.insert("path", QString::fromStdString(request.error->path));
        socket->sendTextMessage(QString::fromUtf8(Json(e)));
        return;
    }
    Edit(ApplyEdits(params_, request.edits));
}

// The values are in the model already; the editor sends each record while linked and
// announces it (to the pages and, through RecordsChanged, to every client). A record edited
// again within kEditPeriodMs of its last hand-over is handed on once when that period ends,
// with the value the model has then: a client streaming edits (a slider dragged on a phone,
// a script in a loop) costs the processor at most fifty frames a second per record, and its
// last value always arrives. A single edit still goes out at once.
void RemoteServer::Edit(const std::vector<Record>& records) {
    if (!editClock_.isValid()) {
        editClock_.start();
    }
    const qint64 now = editClock_.elapsed();
    for (const Record& r : records) {
        auto it =
            std::find_if(sent_.begin(), sent_.end(), [&](const Sent& s) { return s.record == r; });
        if (it == sent_.end()) {
            sent_.push_back({r, now, false});
            editor_.Edited(r, EditOrigin::Remote);
        } else if (now - it->atMs >= kEditPeriodMs && !it->due) {
            it->atMs = now;
            editor_.Edited(r, EditOrigin::Remote);
        } else {
            it->due = true;
        }
    }
    SendDueEdits();
    emit remoteEdited(QList<Record>(records.begin(), records.end()));
}

// Hands on the records whose period has ended, forgets records idle for a period, and sets
// the timer for the next one due.
void RemoteServer::SendDueEdits() {
    const qint64 now = editClock_.elapsed();
    qint64 next = -1;
    for (auto it = sent_.begin(); it != sent_.end();) {
        const qint64 end = it->atMs + kEditPeriodMs;
        if (it->due && now >= end) {
            it->atMs = now;
            it->due = false;
            editor_.Edited(it->record, EditOrigin::Remote);
        } else if (!it->due && now >= end) {
            it = sent_.erase(it);
            continue;
        }
        if (it->due && (next < 0 || end < next)) {
            next = end;
        }
        ++it;
    }
    if (next >= 0) {
        editTimer_.start(static_cast<int>(std::max<qint64>(0, next - now)));
    }
}

// ---- handlers -------------------------------------------------------------------------

Reply RemoteServer::GetPage(const Call&) {
    return {Status::Ok,
            Resource(QStringLiteral(":/remote/index.html")),
            "text/html; charset=utf-8",
            {},
            false};
}

Reply RemoteServer::GetOpenApi(const Call&) {
    return {Status::Ok,
            Resource(QStringLiteral(":/remote/openapi.json")),
            "application/json",
            {},
            false};
}

Reply RemoteServer::GetEvents(const Call&) {
    return ErrorReply(Status::BadRequest, "this address takes a WebSocket upgrade");
}

Reply RemoteServer::GetState(const Call&) {
    return JsonReply(StateJson());
}

Reply RemoteServer::PatchParams(const Call& call) {
    const bool raw = call.request.query().queryItemValue(QStringLiteral("raw")) == "1";
    const EditRequest request = ParseEditRequest(call.request.body(), raw);
    if (request.error) {
        const EditError& e = *request.error;
        QJsonObject body{{"error", QString::fromStdString(e.error)}};
        if (!e.path.empty()) {
            body.insert("path", QString::fromStdString(e.path));
        }
        if (e.min && e.max) {
            body.insert("min", *e.min);
            body.insert("max", *e.max);
        }
        return JsonReply(body, Status::BadRequest);
    }
    const bool linked = link_.linkUp();
    Edit(ApplyEdits(params_, request.edits));
    QJsonObject body = StateJson();
    body.insert("sent", linked);
    return JsonReply(body);
}

Reply RemoteServer::PostConnect(const Call& call) {
    Reply refusal;
    const auto body = BodyObject(call.request, &refusal);
    if (!body) {
        return refusal;
    }
    if (link_.linkUp()) {
        return ErrorReply(Status::Conflict, kTextAlreadyConnected);
    }
    if (body->contains("device")) {
        const QString device = body->value("device").toString();
        if (!ParseIpv4(device.toStdString())) {
            return ErrorReply(Status::BadRequest, "device: an IPv4 address is required");
        }
        if (!link_.connectPending()) {
            link_.setDeviceAddress(device);
        }
    }
    if (!ParseIpv4(link_.deviceAddress().toStdString())) {
        // Never a built-in address: a processor nobody named gets nothing.
        return ErrorReply(Status::BadRequest, "no processor named: give {\"device\": IP}");
    }
    searching_ = false;
    searchTimer_.stop();
    link_.Connect();
    return JsonReply({{"link", LinkState()}, {"device", link_.deviceAddress()}}, Status::Accepted);
}

Reply RemoteServer::PostDisconnect(const Call&) {
    link_.Disconnect();
    return JsonReply({{"link", LinkState()}});
}

Reply RemoteServer::GetDevices(const Call&) {
    if (link_.linkUp()) {
        return ErrorReply(Status::Conflict, kTextAlreadyConnected);
    }
    if (link_.connectPending()) {
        return ErrorReply(Status::Conflict, "a connect attempt is running");
    }
    const bool fresh = searchDone_.isValid() && searchDone_.elapsed() < kSearchFreshMs;
    if (!searching_ && !fresh) {
        searching_ = link_.StartSearch();
    }
    return JsonReply({{"searching", searching_}, {"devices", DevicesJson()}});
}

Reply RemoteServer::PostName(const Call& call) {
    Reply refusal;
    const auto body = BodyObject(call.request, &refusal);
    if (!body) {
        return refusal;
    }
    if (!body->value("name").isString()) {
        return ErrorReply(Status::BadRequest, "name: a text is required");
    }
    const QByteArray name = body->value("name").toString().toUtf8();
    if (static_cast<std::size_t>(name.size()) > kDeviceNameMax) {
        return ErrorReply(Status::BadRequest, "Name is too long.");
    }
    const bool linked = link_.linkUp();
    params_.deviceName.fill(0);
    std::memcpy(params_.deviceName.data(), name.constData(), static_cast<std::size_t>(name.size()));
    Edit({Record{RecordKind::Name, 0, 0}});
    return JsonReply({{"sent", linked}, {"name", QString::fromUtf8(name)}});
}

Reply RemoteServer::PostReset(const Call&) {
    if (!link_.linkUp()) {
        return ErrorReply(Status::ServiceUnavailable, "the link is down");
    }
    link_.SendReset();
    return JsonReply({{"sent", true}}, Status::Accepted);
}

Reply RemoteServer::GetPresets(const Call&) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    QJsonArray list;
    for (const PresetRow& row : store_->ListPresets()) {
        list.append(QJsonObject{{"id", row.id}, {"name", QString::fromStdString(row.name)}});
    }
    return JsonReply({{"presets", list}, {"max", kMaxPresets}});
}

Reply RemoteServer::PostPreset(const Call& call) {
    Reply refusal;
    const auto body = BodyObject(call.request, &refusal);
    if (!body) {
        return refusal;
    }
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    if (body->contains("name") && !body->value("name").isString()) {
        return ErrorReply(Status::BadRequest, "name: a text is required");
    }
    const auto rows = store_->ListPresets();
    if (std::any_of(rows.begin(), rows.end(),
                    [](const PresetRow& r) { return r.id >= kMaxPresets; })) {
        return ErrorReply(Status::Conflict, "every preset slot is in use");
    }
    const std::size_t shown = boxes_.shown.size();
    const auto id = store_->SavePreset();
    if (!id) {
        return ErrorReply(Status::InternalServerError,
                          boxes_.shown.size() > shown
                              ? QString::fromStdString(boxes_.shown.back().text)
                              : QStringLiteral("the preset could not be saved"));
    }
    if (body->contains("name")) {
        store_->RenamePreset(*id, body->value("name").toString().toStdString());
    }
    return JsonReply({{"id", *id}}, Status::Created);
}

Reply RemoteServer::PostRecall(const Call& call) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const int id = call.id.toInt();
    const auto rows = store_->ListPresets();
    if (std::none_of(rows.begin(), rows.end(), [id](const PresetRow& r) { return r.id == id; })) {
        return ErrorReply(Status::NotFound, QStringLiteral("no preset %1").arg(id));
    }
    const bool linked = link_.linkUp();
    const std::size_t shown = boxes_.shown.size();
    const RecallOutcome outcome = store_->RecallPreset(id);
    if (outcome != RecallOutcome::Loaded) {
        const QString text = boxes_.shown.size() > shown
                                 ? QString::fromStdString(boxes_.shown[shown].text)
                                 : QStringLiteral("the preset could not be read");
        return ErrorReply(Status::InternalServerError, text);
    }
    StateChanged();
    return JsonReply({{"message", kTextRecallDone}, {"sent", linked}});
}

Reply RemoteServer::PatchPreset(const Call& call) {
    Reply refusal;
    const auto body = BodyObject(call.request, &refusal);
    if (!body) {
        return refusal;
    }
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    if (!body->value("name").isString()) {
        return ErrorReply(Status::BadRequest, "name: a text is required");
    }
    const int id = call.id.toInt();
    if (!store_->RenamePreset(id, body->value("name").toString().toStdString())) {
        return ErrorReply(Status::NotFound, QStringLiteral("no preset %1").arg(id));
    }
    return JsonReply({{"id", id}, {"name", body->value("name")}});
}

Reply RemoteServer::DeletePreset(const Call& call) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const int id = call.id.toInt();
    if (!store_->DeletePreset(id)) {
        return ErrorReply(Status::NotFound, QStringLiteral("no preset %1").arg(id));
    }
    return JsonReply({{"deleted", id}});
}

Reply RemoteServer::GetCurve(const Call& call) {
    int points = kDefaultCurvePoints;
    const QUrlQuery query = call.request.query();
    if (query.hasQueryItem(QStringLiteral("points"))) {
        bool ok = false;
        points = query.queryItemValue(QStringLiteral("points")).toInt(&ok);
        if (!ok || points < 2 || points > kMaxCurvePoints) {
            return ErrorReply(Status::BadRequest,
                              QStringLiteral("points: a whole number 2..%1").arg(kMaxCurvePoints));
        }
    }
    const std::vector<double> hz = LogFrequencies(points, 20.0, 20000.0);
    QJsonArray frequencies;
    for (double f : hz) {
        frequencies.append(std::round(f * 100.0) / 100.0);
    }
    QJsonObject out{{"frequencies", frequencies}};
    for (int ch = 0; ch < 2; ++ch) {
        const std::vector<Biquad> chain = ChannelChain(params_, ch);
        QJsonArray db;
        for (double f : hz) {
            db.append(std::round(ChainMagnitudeDb(chain, f) * 100.0) / 100.0);
        }
        out.insert(ch == 0 ? "ch1" : "ch2", db);
    }
    return JsonReply(out);
}

}  // namespace quorvell
