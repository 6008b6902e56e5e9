// SPDX-License-Identifier: GPL-3.0-or-later
// `serve`: the remote-control API and web remote, headless. Keeps one link to the processor
// for as long as it runs and ends on SIGINT or SIGTERM.

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "DeviceLink.h"
#include "LinkSession.h"
#include "MultiDevice.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "ProcessorEditor.h"
#include "ProcessorRack.h"
#include "ReadBack.h"
#include "RemoteServer.h"
#include "TerminationSignals.h"

namespace quorvell::cli {
namespace {

constexpr std::string_view kServeHelp =
    "usage: quorvell-cli serve --http ADDR:PORT [--device IP]... [--bind IP] [--token-file F]\n"
    "                          [--retry S]\n"
    "\n"
    "Serves the remote-control API (HTTP/JSON and a WebSocket event stream) and the web\n"
    "remote page on ADDR:PORT and keeps one link to the processor for as long as it runs:\n"
    "connected at start when --device names it, else when a client asks (POST\n"
    "/api/v1/connect, to the address given there or the panel's). Ends on SIGINT or SIGTERM.\n"
    "--http ADDR:PORT  IPv4 address and TCP port to listen on, e.g. 127.0.0.1:8080\n"
    "--device IP       the processor, connected at start (default: the global --device);\n"
    "                  repeated (or A,B,C) for a rack: every one is linked over one local\n"
    "                  port, the single-processor routes act on the first\n"
    "--bind IP         local address of the link (default: the global --bind, else any)\n"
    "--token-file F    the bearer token, the first line of F. Required of every request.\n"
    "                  Listening on an address other than loopback without it generates\n"
    "                  a random token and prints it.\n"
    "--retry S         seconds to wait for each of the three connect requests (default 5)\n"
    "\n"
    "Exit status: 0 stopped by a signal; 2 bad arguments; 4 the address cannot be listened on\n"
    "(or the signal handling could not be set up).\n";

// The store's and the database's messages go to stderr.
class StderrMessageBoxes final : public MessageBoxes {
public:
    MessageAnswer Show(const Message& message) override {
        std::cerr << message.text << '\n';
        return MessageAnswer::Ok;
    }
};

int RunServe(const GlobalOptions& g, Args args) {
    std::vector<std::string> rest(args.begin(), args.end());
    std::optional<std::string> http, bind, tokenFile;
    std::vector<std::string> devices;
    int retrySeconds = 5;
    if (!TakeValue(rest, "--http", &http) || !TakeDevices(rest, &devices) ||
        !TakeValue(rest, "--bind", &bind) || !TakeValue(rest, "--token-file", &tokenFile) ||
        !TakeRetry(rest, &retrySeconds)) {
        return kExitUsage;
    }
    if (!rest.empty()) {
        return UsageError("serve: unexpected argument '" + rest.front() + "'");
    }
    if (!http) {
        return UsageError("serve: --http ADDR:PORT is required");
    }
    RemoteOptions remote;
    if (!ParseListenAddress(QString::fromStdString(*http), &remote.address, &remote.port)) {
        return UsageError("--http: '" + *http + "' is not an IPv4 ADDR:PORT");
    }
    GlobalOptions options = g;
    if (devices.empty() && !g.device.empty() && !AddDevices(g.device, &devices)) {
        return kExitUsage;
    }
    options.device = devices.empty() ? std::string() : devices.front();
    for (const std::string& device : devices) {
        if (!LinkOptionsFor(options, device, retrySeconds)) {
            return kExitUsage;
        }
    }
    if (bind) {
        options.bind = *bind;
    }
    // Connects at start only to a processor named on the command line; otherwise the link
    // waits for a client's POST /api/v1/connect (to the address it names, else the panel's).
    const bool connectAtStart = !options.device.empty();
    auto linkOptions = connectAtStart ? LinkOptionsFor(options, options.device, retrySeconds)
                                      : LinkOptionsWithoutDevice(options, retrySeconds);
    if (!linkOptions) {
        return kExitUsage;
    }
    if (!connectAtStart) {
        const auto stored = StoredDevice();
        if (stored && ParseIpv4(*stored)) {
            linkOptions->deviceAddress = QString::fromStdString(*stored);
        }
    }
    bool generated = false;
    if (tokenFile) {
        QString error;
        const auto token =
            ReadRemoteToken(QString::fromStdString(*tokenFile), remote.address, &error);
        if (!token) {
            return UsageError(error.toStdString());
        }
        remote.token = *token;
    } else if (RemoteNeedsToken(remote.address)) {
        remote.token = GenerateRemoteToken();
        generated = true;
    }

    // SIGINT and SIGTERM are taken on the event loop, so the program ends through its own
    // loop and closes the link. Blocked before any thread starts, so that no thread takes them.
    if (!TerminationSignals::Block()) {
        std::cerr << "quorvell-cli: serve: cannot watch SIGINT/SIGTERM\n";
        return kExitBind;
    }

    EnsureApplication();
    StderrMessageBoxes boxes;
    const QString dataDir =
        ResolveDataDirectory(QString::fromStdString(g.dataDir), PortableDirectory(), boxes);
    std::unique_ptr<PresetDatabase> database;
    if (!dataDir.isEmpty()) {
        database = std::make_unique<PresetDatabase>(dataDir, boxes);
    }
    // Named processors form a rack over one local port, each with its own editor and
    // read-back; without one, a single link waits for a client to name its processor. Each
    // is read back as the panel does, so that edits are confirmed or resent and the API
    // reports a silent processor as lost.
    ProcessorRack rack(*linkOptions);
    DeviceParameters params{};
    ResetDeviceParameters(params);
    std::unique_ptr<DeviceLink> ownLink;
    std::unique_ptr<ProcessorEditor> ownEditor;
    std::unique_ptr<ReadBack> ownSync;
    for (const std::string& device : devices) {
        rack.Add(QString::fromStdString(device));
    }
    ProcessorEditor* editor = rack.First();
    if (editor == nullptr) {
        ownLink = std::make_unique<DeviceLink>(params, *linkOptions);
        ownEditor = std::make_unique<ProcessorEditor>(params, *ownLink);
        ownSync = std::make_unique<ReadBack>(*ownEditor);
        editor = ownEditor.get();
    }
    DeviceLink& link = editor->Link();
    RemoteServer server(*editor, database.get(), remote);
    server.WatchSync(ownSync ? *ownSync : *editor->Sync());
    if (!devices.empty()) {
        server.SetRack(rack);
    }
    QString error;
    if (!server.Listen(&error)) {
        std::cerr << "quorvell-cli: serve: cannot listen on " << error.toStdString() << '\n';
        return kExitBind;
    }
    const QStringList urls = RemoteUrls(remote.address, server.Port());
    const QString url = urls.value(
        0, QStringLiteral("http://%1:%2/").arg(remote.address.toString()).arg(server.Port()));
    std::cout << "serving " << url.toStdString();
    for (qsizetype i = 1; i < urls.size(); ++i) {
        std::cout << ", " << urls[i].toStdString();
    }
    if (connectAtStart && rack.size() > 1) {
        std::cout << " for the processors";
        for (const ProcessorEditor* e : rack.Editors()) {
            std::cout << ' ' << e->Link().deviceAddress().toStdString();
        }
    } else if (connectAtStart) {
        std::cout << " for the processor " << link.deviceAddress().toStdString();
    } else {
        std::cout << "; connects when a client asks (POST /api/v1/connect)";
    }
    std::cout << std::endl;
    if (RemoteNeedsToken(remote.address)) {
        std::cerr << "quorvell-cli: serve: warning: the remote API is reachable from the "
                     "network; anyone with the token controls the processor\n";
    }
    if (generated) {
        std::cout << "token: " << remote.token.toStdString() << "\nopen " << url.toStdString()
                  << "?token=" << remote.token.toStdString() << std::endl;
    }

    // One processor reports as before; in a rack each line names its processor.
    for (ProcessorEditor* e : rack.size() > 1 ? rack.Editors() : QList<ProcessorEditor*>{editor}) {
        DeviceLink* l = &e->Link();
        const std::string who = rack.size() > 1 ? ' ' + l->deviceAddress().toStdString() : "";
        QObject::connect(l, &DeviceLink::linkEstablished, l,
                         [who] { std::cerr << "link up" << who << '\n'; });
        QObject::connect(l, &DeviceLink::connectFailed, l,
                         [who] { std::cerr << kTextCannotConnect << who << '\n'; });
        QObject::connect(l, &DeviceLink::bindFailed, l, [who](const QString& reason) {
            std::cerr << kTextBindError << ' ' << reason.toStdString() << who << '\n';
        });
    }
    const TerminationSignals stop([](TerminationSignal) { QCoreApplication::quit(); });
    if (!stop.IsListening()) {
        std::cerr << "quorvell-cli: serve: cannot watch SIGINT/SIGTERM\n";
        return kExitBind;
    }
    if (connectAtStart) {
        QTimer::singleShot(0, &link, [&rack] { rack.ConnectAll(); });
    }
    QCoreApplication::exec();
    link.Close();
    rack.CloseAll();
    std::cerr << "stopped\n";
    return kExitOk;
}

}  // namespace

std::vector<Command> ServeCommands() {
    return {{"serve", "serve the remote-control API and web remote", kServeHelp, RunServe}};
}

}  // namespace quorvell::cli
