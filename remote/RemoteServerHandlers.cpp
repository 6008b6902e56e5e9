// SPDX-License-Identifier: GPL-3.0-or-later
// The remote API's request handlers, one per route.
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
#include "Frames.h"
#include "NameRules.h"
#include "ParameterJson.h"
#include "PresetArchive.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "RemoteEdits.h"
#include "ResponseCurve.h"

namespace quorvell {

using namespace remote_detail;

namespace {

constexpr char kTextConnectRunning[] = "a connect attempt is running";
constexpr char kTextSequenceRunning[] =
    "a reset or recall is still being sent; try again when it ends";

// Why `text` cannot be a processor's address, or nothing: one unicast IPv4 address in its
// canonical dotted form (no leading zeros, which some parsers read as octal), not 0.0.0.0,
// not multicast and not a broadcast address, limited or of a local network: a connect there
// would send to every host that listens.
std::optional<QString> DeviceAddressRefusal(const QString& text) {
    const auto ip = ParseIpv4(text.toStdString());
    if (!ip || QString::fromStdString(FormatIpv4(*ip)) != text) {
        return QStringLiteral("device: an IPv4 address in dotted form (like 192.168.0.20)");
    }
    const QHostAddress address(*ip);
    bool broadcast = *ip == 0xFFFFFFFFu;
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& e : i.addressEntries()) {
            broadcast = broadcast || (!e.broadcast().isNull() && e.broadcast() == address);
        }
    }
    if (*ip == 0 || address.isMulticast() || broadcast) {
        return QStringLiteral(
                   "device: %1 is not one processor's address "
                   "(unspecified, multicast or broadcast)")
            .arg(text);
    }
    return std::nullopt;
}

Reply NameRefusal(const std::string& rule) {
    return ErrorReply(Status::BadRequest, QStringLiteral("name: ") + QString::fromStdString(rule));
}

}  // namespace

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
        return EditRefusal(*request.error);
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
    if (link_.connectPending()) {
        return ErrorReply(Status::Conflict, kTextConnectRunning);
    }
    if (body->contains("device")) {
        const QString device = body->value("device").toString();
        if (const auto refusal = DeviceAddressRefusal(device)) {
            return ErrorReply(Status::BadRequest, *refusal);
        }
        link_.setDeviceAddress(device);
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

// The list found so far and whether a search runs; it never starts one (a page on any site can
// make a browser GET an address, so GETs change nothing).
Reply RemoteServer::GetDevices(const Call&) {
    return JsonReply(
        {{"searching", searching_}, {"devices", DevicesJson()}, {"linked", LinkedJson()}});
}

Reply RemoteServer::PostDiscover(const Call&) {
    if (link_.linkUp()) {
        return ErrorReply(Status::Conflict, kTextAlreadyConnected);
    }
    if (link_.connectPending()) {
        return ErrorReply(Status::Conflict, kTextConnectRunning);
    }
    const bool fresh = searchDone_.isValid() && searchDone_.elapsed() < kSearchFreshMs;
    if (!searching_ && !fresh) {
        searching_ = link_.StartSearch();
    }
    return JsonReply({{"searching", searching_}, {"devices", DevicesJson()}}, Status::Accepted);
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
    if (const auto refusal = CheckDeviceName(name.toStdString())) {
        return NameRefusal(*refusal);
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
    if (link_.pacedRunning()) {
        return ErrorReply(Status::Conflict, kTextSequenceRunning);
    }
    link_.SendReset();
    return JsonReply({{"sent", true}}, Status::Accepted);
}

namespace {

// A preset action that failed: 503 with Retry-After while another program holds the
// database's lock (the wait is short, so the client retries instead), else 500 with the first
// thing the store reported since `shown`.
Reply PresetFailure(const ScriptedMessageBoxes& boxes, std::size_t shown, const QString& fallback) {
    for (std::size_t k = shown; k < boxes.shown.size(); ++k) {
        if (boxes.shown[k].text == kTextDatabaseBusy) {
            Reply reply =
                ErrorReply(Status::ServiceUnavailable, QString::fromLatin1(kTextDatabaseBusy));
            reply.retryAfter = 1;
            return reply;
        }
    }
    return ErrorReply(
        Status::InternalServerError,
        boxes.shown.size() > shown ? QString::fromStdString(boxes.shown[shown].text) : fallback);
}

// The "name" of a preset body: nothing when absent; a 400 refusal when it is not a text
// within the preset name rule.
std::optional<QString> PresetBodyName(const QJsonObject& body, bool required, Reply* refusal) {
    if (!body.contains("name")) {
        if (required) {
            *refusal = ErrorReply(Status::BadRequest, "name: a text is required");
        }
        return std::nullopt;
    }
    if (!body.value("name").isString()) {
        *refusal = ErrorReply(Status::BadRequest, "name: a text is required");
        return std::nullopt;
    }
    const QString name = body.value("name").toString();
    // A lone surrogate does not survive the conversion to UTF-8; compare to catch it.
    const QByteArray utf8 = name.toUtf8();
    if (QString::fromUtf8(utf8) != name) {
        *refusal = NameRefusal("not valid Unicode text");
        return std::nullopt;
    }
    if (const auto why = CheckPresetName(utf8.toStdString())) {
        *refusal = NameRefusal(*why);
        return std::nullopt;
    }
    return name;
}

}  // namespace

Reply RemoteServer::GetPresets(const Call&) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const std::size_t shown = boxes_.shown.size();
    const auto rows = store_->TryListPresets();
    if (!rows) {
        return PresetFailure(boxes_, shown, QStringLiteral("the presets could not be listed"));
    }
    QJsonArray list;
    for (const PresetRow& row : *rows) {
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
    const auto name = PresetBodyName(*body, false, &refusal);
    if (!name && body->contains("name")) {
        return refusal;
    }
    const std::size_t shown = boxes_.shown.size();
    const auto rows = store_->TryListPresets();
    if (!rows) {
        return PresetFailure(boxes_, shown, QStringLiteral("the presets could not be listed"));
    }
    if (std::any_of(rows->begin(), rows->end(),
                    [](const PresetRow& r) { return r.id >= kMaxPresets; })) {
        return ErrorReply(Status::Conflict,
                          QStringLiteral("every preset slot is in use: the bank holds %1 presets; "
                                         "delete one to save another")
                              .arg(kMaxPresets));
    }
    const auto id = store_->SavePreset();
    if (!id) {
        return PresetFailure(boxes_, shown, QStringLiteral("the preset could not be saved"));
    }
    if (name && !store_->RenamePreset(*id, name->toStdString())) {
        return PresetFailure(boxes_, shown,
                             QStringLiteral("preset %1 was saved but not named").arg(*id));
    }
    return JsonReply({{"id", *id}}, Status::Created);
}

Reply RemoteServer::PostRecall(const Call& call) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const int id = call.id.toInt();
    const std::size_t shown = boxes_.shown.size();
    const auto rows = store_->TryListPresets();
    if (!rows) {
        return PresetFailure(boxes_, shown, QStringLiteral("the presets could not be listed"));
    }
    if (std::none_of(rows->begin(), rows->end(), [id](const PresetRow& r) { return r.id == id; })) {
        return ErrorReply(Status::NotFound, QStringLiteral("no preset %1").arg(id));
    }
    // One paced sequence at a time: a client looping on recall cannot queue hours of frames.
    if (link_.pacedRunning()) {
        return ErrorReply(Status::Conflict, kTextSequenceRunning);
    }
    const bool linked = link_.linkUp();
    const RecallOutcome outcome = store_->RecallPreset(id);
    if (outcome != RecallOutcome::Loaded) {
        return PresetFailure(boxes_, shown, QStringLiteral("the preset could not be read"));
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
    const auto name = PresetBodyName(*body, true, &refusal);
    if (!name) {
        return refusal;
    }
    const int id = call.id.toInt();
    const std::size_t shown = boxes_.shown.size();
    if (!store_->RenamePreset(id, name->toStdString())) {
        // Nothing reported: the statement ran and no row has that ID.
        if (boxes_.shown.size() == shown) {
            return ErrorReply(Status::NotFound, QStringLiteral("no preset %1").arg(id));
        }
        return PresetFailure(boxes_, shown, QStringLiteral("the preset could not be renamed"));
    }
    return JsonReply({{"id", id}, {"name", *name}});
}

Reply RemoteServer::DeletePreset(const Call& call) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const int id = call.id.toInt();
    const std::size_t shown = boxes_.shown.size();
    if (!store_->DeletePreset(id)) {
        if (boxes_.shown.size() == shown) {
            return ErrorReply(Status::NotFound, QStringLiteral("no preset %1").arg(id));
        }
        return PresetFailure(boxes_, shown, QStringLiteral("the preset could not be deleted"));
    }
    return JsonReply({{"deleted", id}});
}

Reply RemoteServer::PostBackup(const Call&) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const std::size_t shown = boxes_.shown.size();
    int count = 0;
    auto archive = store_->BackupArchive(&count);
    if (!archive) {
        return PresetFailure(boxes_, shown, QStringLiteral("the presets could not be backed up"));
    }
    return {Status::Ok, std::move(*archive), "application/x-tar", {}, false};
}

// The body is the archive a backup gave. A store holding presets is replaced only with
// ?replace=1; a damaged or hostile archive changes nothing.
Reply RemoteServer::PostRestore(const Call& call) {
    if (!store_) {
        return ErrorReply(Status::ServiceUnavailable, "no preset database");
    }
    const QByteArray bytes = call.request.body();
    if (bytes.isEmpty()) {
        return ErrorReply(Status::BadRequest, "the body must be a preset backup archive");
    }
    std::string error;
    if (!ReadPresetArchive(bytes, &error)) {
        return ErrorReply(Status::UnprocessableEntity,
                          QStringLiteral("the archive was refused: %1").arg(error.c_str()));
    }
    const bool replace = call.request.query().queryItemValue(QStringLiteral("replace")) == "1";
    const std::size_t shown = boxes_.shown.size();
    const auto rows = store_->TryListPresets();
    if (!rows) {
        return PresetFailure(boxes_, shown, QStringLiteral("the presets could not be listed"));
    }
    if (!rows->empty() && !replace) {
        return ErrorReply(Status::Conflict,
                          QStringLiteral("the store holds %1 presets; restore with ?replace=1 to "
                                         "replace them")
                              .arg(rows->size()));
    }
    const auto count = store_->RestoreArchive(bytes, "the archive", replace);
    if (!count) {
        return PresetFailure(boxes_, shown, QStringLiteral("the presets could not be restored"));
    }
    return JsonReply({{"restored", *count}});
}

Reply RemoteServer::GetCurve(const Call& call) {
    return CurveReply(params_, call.request.query());
}

Reply remote_detail::CurveReply(const DeviceParameters& params, const QUrlQuery& query) {
    int points = kDefaultCurvePoints;
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
        const std::vector<Biquad> chain = ChannelChain(params, ch);
        QJsonArray db;
        for (double f : hz) {
            db.append(std::round(ChainMagnitudeDb(chain, f) * 100.0) / 100.0);
        }
        out.insert(ch == 0 ? "ch1" : "ch2", db);
    }
    return JsonReply(out);
}

}  // namespace quorvell
