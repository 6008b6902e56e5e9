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
    link_ = std::make_unique<DeviceLink>(params_, LinkOptions(options_));
    editor_ = std::make_unique<ProcessorEditor>(params_, *link_);
    undoStack_ = std::make_unique<QUndoStack>();
    ReadBackOptions sync;
    sync.pollMs = options_.pollSeconds * 1000;
    readBack_ = std::make_unique<ReadBack>(*editor_, sync);
}

CPanelApp::~CPanelApp() {
    // The remote server goes first, then the window (they use the undo stack, the editor,
    // the link and the store), then the undo stack, the editor and the link, and the
    // database is closed last.
    remote_.reset();
    dialog_.reset();
    readBack_.reset();
    undoStack_.reset();
    editor_.reset();
    link_.reset();
    store_.reset();
    if (database_) {
        database_->CloseConnection();
    }
}

void CPanelApp::InitInstance() {
    database_->OpenConnection();
    dialog_ = std::make_unique<CMainDialog>(*this);
    dialog_->show();
    if (options_.http) {
        StartRemote();
    }
    if (options_.connect) {
        QTimer::singleShot(0, dialog_.get(), [this] { dialog_->ConnectNow(); });
    }
}

// The remote control shares the panel's model, link and presets; what a client changes shows
// on the pages at once. A failure to listen is reported on stderr; the panel runs on.
void CPanelApp::StartRemote() {
    RemoteOptions remote;
    if (!ParseListenAddress(QString::fromStdString(*options_.http), &remote.address,
                            &remote.port)) {
        return;  // checked with the options
    }
    bool generated = false;
    if (options_.tokenFile) {
        QFile f(QString::fromStdString(*options_.tokenFile));
        if (f.open(QIODevice::ReadOnly)) {
            remote.token = QString::fromUtf8(f.readLine(4096)).trimmed();
        }
        if (remote.token.isEmpty()) {
            std::fprintf(stderr, "quorvell: --token-file: no token in '%s'; remote control off\n",
                         options_.tokenFile->c_str());
            return;
        }
    } else if (RemoteNeedsToken(remote.address)) {
        remote.token = GenerateRemoteToken();
        generated = true;
    }
    auto server = std::make_unique<RemoteServer>(*editor_, database_.get(), remote);
    QString error;
    if (!server->Listen(&error)) {
        std::fprintf(stderr, "quorvell: remote control: cannot listen on %s\n",
                     error.toLocal8Bit().constData());
        return;
    }
    const QString url =
        QStringLiteral("http://%1:%2/").arg(remote.address.toString()).arg(server->Port());
    std::printf("remote control on %s\n", url.toLocal8Bit().constData());
    if (generated) {
        std::printf("token: %s\nopen %s?token=%s\n", remote.token.toLatin1().constData(),
                    url.toLocal8Bit().constData(), remote.token.toLatin1().constData());
    }
    std::fflush(stdout);
    QObject::connect(server.get(), &RemoteServer::remoteEdited, dialog_.get(),
                     [this] { dialog_->RefreshPages(); });
    remote_ = std::move(server);
}

QString CPanelApp::ReadHostIp(const QString& fallback) const {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    const QString value = settings.value(kSettingsHostIp, fallback).toString();
    return value.isEmpty() ? QString::fromUtf8(kEmptyHostIpAddress) : value;
}

void CPanelApp::WriteHostIp(const QString& address) {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.beginGroup(kSettingsGroup);
    settings.setValue(kSettingsHostIp, address);
}

}  // namespace quorvell
