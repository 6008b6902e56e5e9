// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: construction order, settings and shutdown order.
#include "CPanelApp.h"

#include <QFile>
#include <QSettings>
#include <QTimer>
#include <QUndoStack>
#include <cstdio>

#include "CMainDialog.h"
#include "DeviceLink.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "ProcessorEditor.h"
#include "ProcessorRack.h"
#include "QtMessageBoxes.h"
#include "ReadBack.h"
#include "RemoteServer.h"

namespace quorvell {

namespace {

DeviceLinkOptions LinkOptions(const PanelOptions& options) {
    DeviceLinkOptions link;
    if (options.bind) {
        link.bindAddress = QHostAddress(QString::fromStdString(*options.bind));
    }
    link.port = options.port;
    link.deviceAddress = QString::fromUtf8(kDefaultDeviceAddress);
    link.trace = options.trace;
    return link;
}

}  // namespace

CPanelApp::CPanelApp(PanelOptions options, MessageBoxes* boxes, const QString& executableDir)
    : options_(std::move(options)) {
    if (boxes == nullptr) {
        ownBoxes_ = std::make_unique<QtMessageBoxes>();
        boxes = ownBoxes_.get();
    }
    boxes_ = boxes;
    const QString overrideDir =
        options_.dataDir ? QString::fromStdString(*options_.dataDir) : QString();
    dataDir_ = ResolveDataDirectory(overrideDir, executableDir, *boxes_);
    database_ = std::make_unique<PresetDatabase>(dataDir_, *boxes_, kPanelBusyTimeoutMs);
    store_ = std::make_unique<PresetStore>(*database_, params_);
    pollSeconds_ = options_.pollSeconds;
    if (!options_.pollGiven) {
        QSettings settings(kSettingsOrganisation, kSettingsApplication);
        settings.beginGroup(kSettingsGroup);
        bool ok = false;
        const int stored = settings.value(kSettingsPoll).toInt(&ok);
        if (ok && stored >= 0 && stored <= kMaxPollSeconds) {
            pollSeconds_ = stored;
        }
    }
    ReadBackOptions sync;
    sync.pollMs = pollSeconds_ * 1000;
    // The first processor keeps the process-wide model; the others are the rack's own, and
    // every link sends and receives through the rack's one endpoint (the local port).
    rack_ = std::make_unique<ProcessorRack>(LinkOptions(options_), sync);
    DeviceLinkOptions first = LinkOptions(options_);
    first.endpoint = &rack_->Endpoint();
    link_ = std::make_unique<DeviceLink>(params_, first);
    editor_ = std::make_unique<ProcessorEditor>(params_, *link_);
    rack_->AdoptFirst(*editor_);
    undoStack_ = std::make_unique<QUndoStack>();
    readBack_ = std::make_unique<ReadBack>(*editor_, sync);
}

ReadBack* CPanelApp::SyncOf(const ProcessorEditor* editor) {
    return editor == editor_.get() ? readBack_.get() : editor->Sync();
}

CPanelApp::~CPanelApp() {
    // The remote server goes first, then the window (they use the undo stack, the editor,
    // the link and the store), then the undo stack, the editor and the link, and the
    // database is closed last.
    remote_.reset();
    dialog_.reset();
    readBack_.reset();
    undoStack_.reset();
    rack_->CloseAll();
    editor_.reset();
    link_.reset();
    rack_.reset();
    store_.reset();
    if (database_) {
        database_->CloseConnection();
    }
}

void CPanelApp::InitInstance() {
    database_->OpenConnection();
    dialog_ = std::make_unique<CMainDialog>(*this);
    if (ownBoxes_) {
        ownBoxes_->SetParent(dialog_.get());  // boxes centre on the panel, not the screen
    }
    dialog_->show();
    QString error;
    if (options_.http) {
        if (StartRemote(QString::fromStdString(*options_.http), &error)) {
            const QString url = remoteUrl_.section(QLatin1Char('?'), 0, 0);
            std::printf("remote control on %s\n", url.toLocal8Bit().constData());
            if (RemoteNeedsToken(remote_->Options().address)) {
                std::fprintf(stderr,
                             "quorvell: warning: the remote control is reachable from the "
                             "network; anyone with the token controls the processor\n");
            }
            if (remoteUrl_ != url) {
                std::printf("token: %s\nopen %s\n",
                            remoteUrl_.section(QLatin1Char('='), 1).toLatin1().constData(),
                            remoteUrl_.toLocal8Bit().constData());
            }
            std::fflush(stdout);
        } else {
            std::fprintf(stderr, "quorvell: remote control: %s\n", error.toLocal8Bit().constData());
        }
    }
    dialog_->ShowRemoteState(error);
    if (options_.connect) {
        QTimer::singleShot(0, dialog_.get(), [this] { dialog_->ConnectNow(); });
    }
}

// The remote control shares the panel's model, link and presets; what a client changes shows
// on the pages at once. A failure to listen leaves the panel running without it.
bool CPanelApp::StartRemote(const QString& listen, QString* error) {
    RemoteOptions remote;
    if (!ParseListenAddress(listen, &remote.address, &remote.port)) {
        *error = QStringLiteral("'%1' is not an IPv4 ADDR:PORT").arg(listen);
        return false;
    }
    bool generated = false;
    if (options_.tokenFile) {
        const auto token =
            ReadRemoteToken(QString::fromStdString(*options_.tokenFile), remote.address, error);
        if (!token) {
            return false;
        }
        remote.token = *token;
    } else if (RemoteNeedsToken(remote.address)) {
        remote.token = GenerateRemoteToken();
        generated = true;
    }
    StopRemote();
    auto server = std::make_unique<RemoteServer>(*editor_, database_.get(), remote);
    if (!server->Listen(error)) {
        *error = QStringLiteral("cannot listen on %1").arg(*error);
        return false;
    }
    // For 0.0.0.0 the first of this machine's addresses: 0.0.0.0 itself fails the Host check.
    remoteUrl_ =
        RemoteUrls(remote.address, server->Port())
            .value(
                0,
                QStringLiteral("http://%1:%2/").arg(remote.address.toString()).arg(server->Port()));
    if (generated) {
        remoteUrl_ += QStringLiteral("?token=") + remote.token;
    }
    QObject::connect(server.get(), &RemoteServer::remoteEdited, dialog_.get(),
                     [this] { dialog_->RefreshPagesSoon(); });
    server->WatchSync(*readBack_);
    remote_ = std::move(server);
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    settings.setValue(kSettingsRemote, listen);
    return true;
}

void CPanelApp::StopRemote() {
    remote_.reset();
    remoteUrl_.clear();
}

void CPanelApp::SetPollSeconds(int seconds) {
    pollSeconds_ = seconds;
    readBack_->SetPollMs(seconds * 1000);
    rack_->SetPollMs(seconds * 1000);
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    settings.setValue(kSettingsPoll, seconds);
}

QString CPanelApp::ReadRemoteAddress() const {
    if (options_.http) {
        return QString::fromStdString(*options_.http);
    }
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    return settings.value(kSettingsRemote, QStringLiteral("127.0.0.1:8080")).toString();
}

QString CPanelApp::ReadHostIp(const QString& fallback) const {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    const QString value = settings.value(kSettingsHostIp, fallback).toString();
    return value.isEmpty() ? QString::fromUtf8(kEmptyHostIpAddress) : value;
}

QMap<QString, QStringList> CPanelApp::ReadGroups() const {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    QMap<QString, QStringList> groups;
    const QVariant stored = settings.value(kSettingsGroups);
    if (!stored.isValid()) {
        return groups;
    }
    for (const QString& entry : stored.toStringList()) {
        const QString name = entry.section(QLatin1Char('='), 0, 0).trimmed();
        QStringList members;
        bool valid = !name.isEmpty() && entry.contains(QLatin1Char('='));
        for (const QString& address :
             entry.section(QLatin1Char('='), 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString canonical = CanonicalAddress(address);
            valid = valid && !canonical.isEmpty();
            members.push_back(canonical);
        }
        if (!valid || members.isEmpty()) {
            std::fprintf(stderr,
                         "quorvell: settings: the group entry \"%s\" is not "
                         "name=address,... and is ignored\n",
                         entry.toLocal8Bit().constData());
            continue;
        }
        members.removeDuplicates();
        groups.insert(name, members);
    }
    return groups;
}

void CPanelApp::WriteGroups(const QMap<QString, QStringList>& groups) {
    QStringList entries;
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        entries.push_back(it.key() + QLatin1Char('=') + it.value().join(QLatin1Char(',')));
    }
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    settings.setValue(kSettingsGroups, entries);
}

void CPanelApp::WriteHostIp(const QString& address) {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    settings.setValue(kSettingsHostIp, address);
}

}  // namespace quorvell
