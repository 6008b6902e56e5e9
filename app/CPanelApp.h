// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: owns the model, the device link, the editor, the rack of further
// processors sharing the link's UDP endpoint, the preset database
// and store, the undo stack, the message boxes and the settings access, and runs the main
// window. No globals.
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>

#include "DeviceParameters.h"
#include "MessageBoxes.h"
#include "PanelOptions.h"

class QUndoStack;

namespace quorvell {

class CMainDialog;
class DeviceLink;
class PresetDatabase;
class PresetStore;
class ProcessorRack;
class QtMessageBoxes;
class ProcessorEditor;
class ReadBack;
class RemoteServer;

// The address used when "hostip" is missing, and when it is stored empty.
inline constexpr const char* kDefaultDeviceAddress = "192.168.0.106";
inline constexpr const char* kEmptyHostIpAddress = "192.168.1.106";
inline constexpr const char* kSettingsOrganisation = "Quorvell";
inline constexpr const char* kSettingsApplication = "Quorvell";
inline constexpr const char* kSettingsGroup = "U_FONT_SECTION";
inline constexpr const char* kSettingsHostIp = "hostip";
inline constexpr const char* kSettingsRemote = "remote";  // the last remote address started
inline constexpr const char* kSettingsPoll = "poll";      // the read-back period chosen, s
inline constexpr const char* kSettingsGroups = "groups";  // "name=a.b.c.d,..." per group
inline constexpr const char* kVersionText = "1.0";

class CPanelApp {
public:
    // `boxes` answers every message box (tests pass a ScriptedMessageBoxes); null shows real
    // dialogs. `executableDir` is where a portable install keeps its presets.
    CPanelApp(PanelOptions options, MessageBoxes* boxes, const QString& executableDir);
    ~CPanelApp();
    CPanelApp(const CPanelApp&) = delete;
    CPanelApp& operator=(const CPanelApp&) = delete;

    // Opens the preset database (a failure is reported once by the database and the panel
    // runs on without presets), then builds and shows the main window.
    void InitInstance();

    CMainDialog* MainDialog() const { return dialog_.get(); }
    DeviceParameters& Parameters() { return params_; }
    DeviceLink& Link() { return *link_; }
    // Every edit of the model goes through the editor on its way to the processor.
    ProcessorEditor& Editor() { return *editor_; }
    // Reads the processor's state back while linked and keeps the model equal to it.
    ReadBack& Sync() { return *readBack_; }
    // Every processor the panel links, over one UDP endpoint; the first is Editor() above.
    ProcessorRack& Rack() { return *rack_; }
    // The read-back of any processor of the rack.
    ReadBack* SyncOf(const ProcessorEditor* editor);
    PresetDatabase& Database() { return *database_; }
    PresetStore& Store() { return *store_; }
    MessageBoxes& Boxes() { return *boxes_; }
    // The remote-control server (--http, or started on SYSTEM); null while off.
    RemoteServer* Remote() const { return remote_.get(); }
    // Starts the remote control on `listen` (IPv4 ADDR:PORT), with the --token-file token, or
    // a generated one where the address is not loopback. False with `*error` saying why.
    bool StartRemote(const QString& listen, QString* error);
    void StopRemote();
    // The address to open while on; with ?token= when the token was generated.
    const QString& RemoteUrl() const { return remoteUrl_; }
    // The operator's steps: undo, redo and the A/B switches of this session.
    QUndoStack& UndoStack() { return *undoStack_; }
    const PanelOptions& Options() const { return options_; }
    const QString& DataDirectory() const { return dataDir_; }

    // "hostip" of group "U_FONT_SECTION": `fallback` when missing, kEmptyHostIpAddress when
    // stored empty.
    QString ReadHostIp(const QString& fallback) const;
    void WriteHostIp(const QString& address);
    // The remote address last started (default 127.0.0.1:8080).
    QString ReadRemoteAddress() const;
    // The processor groups kept in the settings, by name; an entry that is not
    // "name=address,..." with dotted IPv4 addresses is left out and named on standard error.
    QMap<QString, QStringList> ReadGroups() const;
    void WriteGroups(const QMap<QString, QStringList>& groups);
    // The read-back period in seconds: --poll, else the operator's last choice, else 5.
    int PollSeconds() const { return pollSeconds_; }
    // The operator's choice on SYSTEM: applied and kept for the next start.
    void SetPollSeconds(int seconds);

private:
    PanelOptions options_;
    DeviceParameters params_{};
    std::unique_ptr<QtMessageBoxes> ownBoxes_;
    MessageBoxes* boxes_ = nullptr;
    QString dataDir_;
    std::unique_ptr<PresetDatabase> database_;
    std::unique_ptr<PresetStore> store_;
    std::unique_ptr<ProcessorRack> rack_;  // its endpoint outlives link_
    std::unique_ptr<DeviceLink> link_;
    std::unique_ptr<ProcessorEditor> editor_;
    std::unique_ptr<ReadBack> readBack_;
    std::unique_ptr<QUndoStack> undoStack_;
    std::unique_ptr<CMainDialog> dialog_;
    std::unique_ptr<RemoteServer> remote_;
    QString remoteUrl_;
    int pollSeconds_ = 5;
};

}  // namespace quorvell
