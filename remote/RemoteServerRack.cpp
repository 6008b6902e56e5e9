// SPDX-License-Identifier: GPL-3.0-or-later
// The remote API's rack routes: the linked processors, one processor's state and edits, and
// groups that take one edit to every member.
#include <QJsonArray>
#include <QRegularExpression>
#include <QUrlQuery>

#include "DeviceLink.h"
#include "ParameterJson.h"
#include "ProcessorRack.h"
#include "RemoteEdits.h"
#include "RemoteServer.h"
#include "RemoteServerShared.h"

namespace quorvell {

using namespace remote_detail;

namespace {

// Group names are path segments and settings keys: letters, digits, '.', '_' and '-'.
bool GroupNameOk(const QString& name) {
    static const QRegularExpression rule(QStringLiteral("^[A-Za-z0-9._-]{1,32}$"));
    return rule.match(name).hasMatch();
}

Reply GroupNameRefusal() {
    return ErrorReply(Status::BadRequest,
                      "a group name is 1 to 32 letters, digits, '.', '_' or '-'");
}

QString DeviceName(const DeviceParameters& params) {
    const auto& bytes = params.deviceName;
    const auto end = std::find(bytes.begin(), bytes.begin() + kDeviceNameMax, 0);
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(end - bytes.begin()));
}

}  // namespace

void RemoteServer::SetRack(ProcessorRack& rack) {
    rack_ = &rack;
    const auto watchAll = [this] {
        for (ProcessorEditor* editor : rack_->Editors()) {
            WatchEditor(*editor);
        }
    };
    watchAll();
    connect(rack_, &ProcessorRack::processorsChanged, this, watchAll);
}

// The server's own editor reports through RecordsChanged; every other processor's changes
// go out tagged with its address.
void RemoteServer::WatchEditor(ProcessorEditor& editor) {
    if (&editor == &editor_ || watched_.contains(&editor)) {
        return;
    }
    watched_.push_back(&editor);
    connect(&editor, &QObject::destroyed, this, [this, e = &editor] { watched_.removeAll(e); });
    connect(&editor, &ProcessorEditor::recordsChanged, this,
            [this, e = &editor](const QList<Record>& records, EditOrigin origin) {
                const std::vector<Record> list(records.begin(), records.end());
                Broadcast({{"type", "params"},
                           {"device", e->Link().deviceAddress()},
                           {"origin", OriginName(origin)},
                           {"changes", RecordValuesJson(e->Parameters(), list)}});
            });
}

QString RemoteServer::LinkStateOf(const ProcessorEditor& editor) const {
    if (&editor == &editor_) {
        return LinkState();
    }
    const DeviceLink& link = editor.Link();
    if (link.linkUp()) {
        const bool lost = editor.Sync() != nullptr && editor.Sync()->state() == SyncState::LinkLost;
        return lost ? QStringLiteral("lost") : QStringLiteral("up");
    }
    return link.connectPending() ? QStringLiteral("connecting") : QStringLiteral("down");
}

QJsonArray RemoteServer::LinkedJson() const {
    QList<const ProcessorEditor*> editors;
    if (rack_ != nullptr) {
        for (const ProcessorEditor* e : rack_->Editors()) {
            editors.push_back(e);
        }
    } else {
        editors.push_back(&editor_);
    }
    QJsonArray list;
    for (const ProcessorEditor* e : editors) {
        const QString link = LinkStateOf(*e);
        if (link == QStringLiteral("down")) {
            continue;  // kept, but not linked: not listed
        }
        const ReadBack* sync = e == &editor_ && sync_ != nullptr ? sync_ : e->Sync();
        list.append(QJsonObject{{"address", e->Link().deviceAddress()},
                                {"name", DeviceName(e->Parameters())},
                                {"link", link},
                                {"sync", SyncWord(sync)},
                                {"pending", PendingCount(sync)}});
    }
    return list;
}

ProcessorEditor* RemoteServer::DeviceOf(const Call& call, Reply* refusal) const {
    const QString address = CanonicalAddress(call.id);
    if (address.isEmpty() || address != call.id) {
        *refusal = ErrorReply(Status::BadRequest,
                              QStringLiteral("'%1' is not a dotted IPv4 address").arg(call.id));
        return nullptr;
    }
    ProcessorEditor* editor = nullptr;
    if (rack_ != nullptr) {
        editor = rack_->Find(address);
    } else if (editor_.Link().deviceAddress() == address) {
        editor = &editor_;
    }
    if (editor == nullptr) {
        *refusal = ErrorReply(Status::NotFound, QStringLiteral("no processor at ") + address);
    }
    return editor;
}

Reply RemoteServer::GetDeviceState(const Call& call) {
    Reply refusal;
    const ProcessorEditor* editor = DeviceOf(call, &refusal);
    if (editor == nullptr) {
        return refusal;
    }
    const ReadBack* sync = editor == &editor_ && sync_ != nullptr ? sync_ : editor->Sync();
    return JsonReply({{"link", LinkStateOf(*editor)},
                      {"sync", SyncWord(sync)},
                      {"pending", PendingCount(sync)},
                      {"device", editor->Link().deviceAddress()},
                      {"params", ParametersJson(editor->Parameters())},
                      {"values", PathValuesJson(editor->Parameters())}});
}

Reply RemoteServer::PatchDeviceParams(const Call& call) {
    Reply refusal;
    ProcessorEditor* editor = DeviceOf(call, &refusal);
    if (editor == nullptr) {
        return refusal;
    }
    if (editor == &editor_) {
        return PatchParams(call);  // through the server's own paced path
    }
    const bool raw = call.request.query().queryItemValue(QStringLiteral("raw")) == "1";
    const EditRequest request = ParseEditRequest(call.request.body(), raw);
    if (request.error) {
        return EditRefusal(*request.error);
    }
    const bool linked = editor->Link().linkUp();
    for (const Record& record : ApplyEdits(editor->Parameters(), request.edits)) {
        editor->Edited(record, EditOrigin::Remote);
    }
    return JsonReply({{"device", editor->Link().deviceAddress()},
                      {"link", LinkStateOf(*editor)},
                      {"sent", linked},
                      {"values", PathValuesJson(editor->Parameters())}});
}

Reply RemoteServer::GetDeviceCurve(const Call& call) {
    Reply refusal;
    const ProcessorEditor* editor = DeviceOf(call, &refusal);
    if (editor == nullptr) {
        return refusal;
    }
    return CurveReply(editor->Parameters(), call.request.query());
}

Reply RemoteServer::GetGroups(const Call& call) {
    if (rack_ == nullptr) {
        return ErrorReply(Status::NotFound, "this server keeps one processor and no groups");
    }
    if (!call.id.isEmpty()) {
        if (!GroupNameOk(call.id)) {
            return GroupNameRefusal();
        }
        if (!rack_->Groups().contains(call.id)) {
            return ErrorReply(Status::NotFound, QStringLiteral("no group ") + call.id);
        }
        return JsonReply({{"name", call.id},
                          {"devices", QJsonArray::fromStringList(rack_->Groups().value(call.id))}});
    }
    QJsonObject groups;
    for (auto it = rack_->Groups().begin(); it != rack_->Groups().end(); ++it) {
        groups.insert(it.key(), QJsonArray::fromStringList(it.value()));
    }
    return JsonReply({{"groups", groups}});
}

Reply RemoteServer::PutGroup(const Call& call) {
    if (rack_ == nullptr) {
        return ErrorReply(Status::NotFound, "this server keeps one processor and no groups");
    }
    if (!GroupNameOk(call.id)) {
        return GroupNameRefusal();
    }
    Reply refusal;
    const auto body = BodyObject(call.request, &refusal);
    if (!body) {
        return refusal;
    }
    const QJsonValue devices = body->value("devices");
    if (!devices.isArray() || devices.toArray().isEmpty() || body->size() != 1) {
        return ErrorReply(Status::BadRequest,
                          "the body is {\"devices\": [addresses]} with at least one address");
    }
    QStringList members;
    for (const QJsonValue& v : devices.toArray()) {
        const QString address = CanonicalAddress(v.toString());
        if (!v.isString() || address != v.toString()) {
            return ErrorReply(Status::BadRequest,
                              QStringLiteral("devices: '%1' is not a dotted IPv4 address")
                                  .arg(v.toVariant().toString()));
        }
        if (rack_->Find(address) == nullptr) {
            return ErrorReply(Status::UnprocessableEntity,
                              QStringLiteral("devices: no processor at ") + address);
        }
        members.push_back(address);
    }
    const bool created = !rack_->Groups().contains(call.id);
    rack_->SetGroup(call.id, members);
    return JsonReply({{"name", call.id},
                      {"devices", QJsonArray::fromStringList(rack_->Groups().value(call.id))}},
                     created ? Status::Created : Status::Ok);
}

Reply RemoteServer::DeleteGroup(const Call& call) {
    if (rack_ == nullptr) {
        return ErrorReply(Status::NotFound, "this server keeps one processor and no groups");
    }
    if (!GroupNameOk(call.id)) {
        return GroupNameRefusal();
    }
    if (!rack_->RemoveGroup(call.id)) {
        return ErrorReply(Status::NotFound, QStringLiteral("no group ") + call.id);
    }
    return JsonReply({{"deleted", call.id}});
}

// One edit, checked once, stored in and sent by each member's own editor. The answer says
// per member whether it was sent; whether a member kept it shows in its sync state once its
// read-back has compared (GET /api/v1/devices).
Reply RemoteServer::PatchGroupParams(const Call& call) {
    if (rack_ == nullptr) {
        return ErrorReply(Status::NotFound, "this server keeps one processor and no groups");
    }
    if (!GroupNameOk(call.id)) {
        return GroupNameRefusal();
    }
    const QList<ProcessorEditor*> members = rack_->GroupEditors(call.id);
    if (members.isEmpty()) {
        return ErrorReply(Status::NotFound, QStringLiteral("no group ") + call.id);
    }
    const bool raw = call.request.query().queryItemValue(QStringLiteral("raw")) == "1";
    const EditRequest request = ParseEditRequest(call.request.body(), raw);
    if (request.error) {
        return EditRefusal(*request.error);
    }
    QJsonArray devices;
    bool allSent = true;
    for (ProcessorEditor* editor : members) {
        const bool sent = editor->Link().linkUp() && !editor->held();
        allSent &= sent;
        for (const Record& record : ApplyEdits(editor->Parameters(), request.edits)) {
            editor->Edited(record, EditOrigin::Remote);
        }
        devices.append(QJsonObject{{"address", editor->Link().deviceAddress()},
                                   {"link", LinkStateOf(*editor)},
                                   {"sent", sent}});
    }
    return JsonReply({{"group", call.id}, {"sent", allSent}, {"devices", devices}});
}

}  // namespace quorvell
