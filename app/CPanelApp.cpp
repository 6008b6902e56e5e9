// The application object: construction order, settings and shutdown order.
#include "CPanelApp.h"

#include <QSettings>
#include <QTimer>
#include <QUndoStack>

#include "CMainDialog.h"
#include "DeviceLink.h"
#include "PresetDatabase.h"
#include "PresetStore.h"
#include "ProcessorEditor.h"
#include "QtMessageBoxes.h"
#include "ReadBack.h"

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
    // The window goes first (it uses the undo stack, the editor, the link and the store),
    // then the undo stack, the editor and the link, and the database is closed last.
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
    if (options_.connect) {
        QTimer::singleShot(0, dialog_.get(), [this] { dialog_->ConnectNow(); });
    }
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
