// SPDX-License-Identifier: GPL-3.0-or-later
// The remote-control server: the HTTP/JSON API, the WebSocket event stream and the web remote
// page, on one address and port. It drives the same model and device link as the front end
// that owns it (the panel or `quorvell-cli serve`) and trusts nothing it receives: the Host
// and Origin headers are checked, a bearer token is required off loopback, bodies are bounded.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QHttpServer>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWebSocket>
#include <memory>
#include <optional>
#include <vector>

#include "DeviceParameters.h"
#include "MessageBoxes.h"
#include "ParameterPaths.h"
#include "ProcessorEditor.h"
#include "RemoteTcpServer.h"

namespace quorvell {

class DeviceLink;
class PresetDatabase;
class PresetStore;
class ProcessorRack;
class ReadBack;

struct RemoteOptions {
    QHostAddress address = QHostAddress(QHostAddress::LocalHost);
    quint16 port = 0;  // 0: any free port (tests)
    QString token;     // empty: none required (loopback only)
    ConnectionLimits limits;
};

// True for an address that is not loopback: listening there needs a token.
bool RemoteNeedsToken(const QHostAddress& address);

// A random bearer token: 32 bytes from the system's generator, base64url.
QString GenerateRemoteToken();

// Off loopback a token must be at least this long (bytes of UTF-8).
inline constexpr int kMinRemoteTokenBytes = 16;

// The token on the first line of the file at `path`, for a server on `address`; nothing,
// with `error` set, when the file cannot be read or holds none, and off loopback when others
// than its owner may read it or the token is shorter than kMinRemoteTokenBytes.
std::optional<QString> ReadRemoteToken(const QString& path, const QHostAddress& address,
                                       QString* error);

// The addresses a browser can open for a server on `address`:`port`: that address, or for
// 0.0.0.0 every IPv4 address of this machine (0.0.0.0 itself would fail the Host check).
QStringList RemoteUrls(const QHostAddress& address, quint16 port);

// "ADDR:PORT" (IPv4) to address and port; false for anything else.
bool ParseListenAddress(const QString& text, QHostAddress* address, quint16* port);

class RemoteServer : public QObject {
    Q_OBJECT

public:
    // `editor` is the front end's one editor (with its model and link): every API edit goes
    // through it, and every change it announces, whoever made it, goes to the WebSocket
    // clients. `database` may be null (no presets). Both must outlive the server.
    RemoteServer(ProcessorEditor& editor, PresetDatabase* database, RemoteOptions options,
                 QObject* parent = nullptr);
    ~RemoteServer() override;

    // Starts listening; false with `error` set when the address cannot be had, or when a
    // non-loopback address was given without a token.
    bool Listen(QString* error);
    quint16 Port() const;
    const RemoteOptions& Options() const { return options_; }
    int ClientCount() const { return static_cast<int>(clients_.size()); }

    // The whole model may have changed (connect, reset, recall): the full state to all.
    void StateChanged();
    // Reports the link as `sync` sees it: "lost" while its reads go unanswered, with a link
    // event to every client when that changes. `sync` must outlive the server.
    void WatchSync(const ReadBack& sync);
    // The processors this server keeps a link to, for the device and group routes; `rack`
    // must outlive the server and hold the server's own editor (first) among them. Without
    // one, the server's own editor is the only processor and there are no groups.
    void SetRack(ProcessorRack& rack);

signals:
    // An API request changed the model (after it was stored and handed on for sending).
    void remoteEdited(const QList<quorvell::Record>& records);

public:
    struct Reply;
    struct Call;

private:
    using Handler = Reply (RemoteServer::*)(const Call&);
    struct Route;

    void Dispatch(const QHttpServerRequest& request, QHttpServerResponder&& responder);
    bool Admits(const QHttpServerRequest& request, Reply* refusal) const;
    bool HostAllowed(const QByteArray& host) const;
    void OnNewWebSocket();
    void Broadcast(const QJsonObject& event);
    QJsonObject StateJson() const;
    QJsonArray DevicesJson() const;
    void OnClientMessage(QWebSocket* socket, const QString& text);
    void PingClients();
    void Heard(const QWebSocket* socket);
    QString LinkState() const;
    void Edit(const std::vector<Record>& records);
    void SendDueEdits();
    void RecordsChanged(const QList<Record>& records, EditOrigin origin);

    Reply GetPage(const Call&);
    Reply GetState(const Call&);
    Reply PatchParams(const Call&);
    Reply PostConnect(const Call&);
    Reply PostDisconnect(const Call&);
    Reply GetDevices(const Call&);
    Reply PostDiscover(const Call&);
    Reply PostName(const Call&);
    Reply PostReset(const Call&);
    Reply GetPresets(const Call&);
    Reply PostPreset(const Call&);
    Reply PostRecall(const Call&);
    Reply PatchPreset(const Call&);
    Reply DeletePreset(const Call&);
    Reply PostBackup(const Call&);
    Reply PostRestore(const Call&);
    Reply GetCurve(const Call&);
    Reply GetOpenApi(const Call&);
    Reply GetEvents(const Call&);
    Reply GetDeviceState(const Call&);
    Reply PatchDeviceParams(const Call&);
    Reply GetDeviceCurve(const Call&);
    Reply GetGroups(const Call&);
    Reply PutGroup(const Call&);
    Reply DeleteGroup(const Call&);
    Reply PatchGroupParams(const Call&);

    // The linked processors: address, name, link, sync.
    QJsonArray LinkedJson() const;
    // The processor a device route names; null with `*refusal` set (400, 404) otherwise.
    ProcessorEditor* DeviceOf(const Call& call, Reply* refusal) const;
    QString LinkStateOf(const ProcessorEditor& editor) const;
    void WatchEditor(ProcessorEditor& editor);

    static const std::vector<Route>& Routes();

    ProcessorEditor& editor_;
    const ReadBack* sync_ = nullptr;
    ProcessorRack* rack_ = nullptr;
    QList<const ProcessorEditor*> watched_;  // rack editors whose changes go to the clients
    QString reportedLink_;  // the link state the clients were last told by WatchSync's watch
    DeviceParameters& params_;
    DeviceLink& link_;
    RemoteOptions options_;
    ScriptedMessageBoxes boxes_;  // what a preset action would have shown, for the reply
    std::unique_ptr<PresetDatabase> database_;
    std::unique_ptr<PresetStore> store_;
    QHttpServer http_;
    RemoteTcpServer* tcp_ = nullptr;  // owned by http_ once bound
    struct Client {
        std::unique_ptr<QWebSocket> socket;
        bool behind = false;  // events were skipped; the next one sent is the whole state
        bool heard = true;    // a pong or a message came since the last ping
    };
    std::vector<Client> clients_;
    qint64 revision_ = 0;
    QTimer searchTimer_;  // a search's answers are collected for a while after the sweep
    bool searching_ = false;
    QElapsedTimer searchDone_;  // since the last search ended
    // Coalescing of API edits: when each record was last handed on, and the records edited
    // again before their period ended (sent with the model's value when it ends).
    struct Sent {
        Record record;
        qint64 atMs = 0;
        bool due = false;
    };
    std::vector<Sent> sent_;
    QElapsedTimer editClock_;
    QTimer editTimer_;
    QTimer pingTimer_;
};

}  // namespace quorvell
