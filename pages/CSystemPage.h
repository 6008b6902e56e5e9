// SPDX-License-Identifier: GPL-3.0-or-later
// The SYSTEM page: CONNECT (search, device list, connect), PRESET (device RESET and the
// preset bank), SET (device name) and HELP. It reports the operator's choices as signals;
// the main window acts on them and tells the page what the link did.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <vector>

#include "DeviceParameters.h"
#include "MessageBoxes.h"
#include "PresetStore.h"
#include "SystemPageTable.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableWidget;

namespace quorvell {

class CPresetBank;
class CTextLabel;
class PngButton;

class CSystemPage : public QWidget {
    Q_OBJECT

public:
    // Supplies the preset rows for the bank (PresetStore::ListPresets in the panel).
    using PresetLister = std::function<std::vector<PresetRow>()>;
    // Asks for the backup archive's path: one to write (`forWriting`) or one to read; empty
    // when the operator cancels. The default is the file dialog.
    using ArchiveChooser = std::function<QString(bool forWriting)>;

    CSystemPage(DeviceParameters& params, MessageBoxes& boxes, PresetLister lister,
                QWidget* parent = nullptr);
    ~CSystemPage() override;

    // Name field from the model's device name, address field from `deviceAddress`, the
    // CONNECT sub-page, then shows the page.
    void ShowPage(const QString& deviceAddress);
    // The name field from the model's device name (changed by the processor or a remote
    // client), unless the operator has typed in it since it was last applied or refreshed.
    void RefreshName();
    // The name field shows and APPLY stores into `params` from now on (another processor's
    // model); the field is refreshed.
    void SetModel(DeviceParameters& params);
    // Hides every sub-page control, then shows the controls of sub-page k (0..3).
    void ShowSubPage(int k);
    int CurrentSubPage() const { return subPage_; }

    // The "Connect" button's text and selected state.
    void SetConnectButton(const QString& text, bool on);

    // Discovery display: the list is emptied when a search starts; the bar follows the
    // sweep and disappears at its end.
    void ClearDevices();
    void AddDevice(const QString& ip, quint16 port, const QString& name);
    void SetSearchProgress(int host);
    void SearchFinished();
    // The addresses of the rows chosen in the list, in list order (Ctrl+click adds rows).
    QStringList ChosenDevices() const;

    // Groups of linked processors: the names offered beside "no group", `active` chosen.
    void SetGroups(const QStringList& names, const QString& active);
    QLineEdit* GroupName() const { return groupName_; }
    PngButton* GroupButton() const { return groupButton_; }
    QComboBox* GroupChooser() const { return groupChooser_; }
    static constexpr int kGroupNameMax = 24;

    // The interfaces the sweep can cover; the chooser appears when there is more than one.
    void SetInterfaces(const QList<QHostAddress>& addresses, const QHostAddress& preferred);
    QHostAddress ChosenInterface() const;

    // SET sub-page: how often the panel reads the processor's state back while idle (seconds,
    // 0 off). Shows the choice nearest to `seconds`; the operator's choice emits pollChosen.
    void SetPollSeconds(int seconds);
    QComboBox* PollChooser() const { return poll_; }

    // SET sub-page: the remote control's state. `on` makes the button "STOP" and locks the
    // address; `status` is the address to open, or why it did not start.
    void SetRemoteState(bool on, const QString& status);
    QLineEdit* RemoteAddressField() const { return remoteAddress_; }
    QLabel* RemoteStatus() const { return remoteStatus_; }

    // HELP sub-page text: version, data directory, mouse and keyboard hints.
    void SetHelpText(const QString& dataDirectory);

    // Rebuilds the slot labels from the preset rows.
    void LoadSlots();

    PngButton* Button(int id) const;
    QLineEdit* AddressField() const { return address_; }
    QLineEdit* NameField() const { return name_; }
    QTableWidget* DeviceList() const { return list_; }
    QProgressBar* Progress() const { return progress_; }
    QComboBox* InterfaceChooser() const { return interfaces_; }
    QLabel* HelpText() const { return help_; }
    CPresetBank* Bank() const { return bank_; }
    void SetArchiveChooser(ArchiveChooser chooser) { chooser_ = std::move(chooser); }

signals:
    void searchRequested(const QHostAddress& interfaceAddress);
    void pollChosen(int seconds);
    // START (the address typed, ADDR:PORT) or STOP (empty) of the remote control.
    void remoteToggled(const QString& listen);
    // A device list row was clicked: its address is the new target.
    void devicePicked(const QString& address);
    void connectClicked();
    // GROUP: `addresses` (the rows chosen; empty removes the group) become group `name`.
    void groupRequested(const QString& name, const QStringList& addresses);
    // The group page edits go to; empty for none.
    void groupChosen(const QString& name);
    // The name is stored in the model (at most 10 UTF-8 bytes).
    void nameApplied();
    void resetDeviceConfirmed();
    void saveRequested();
    void renameRequested(int id, const QString& name);
    void recallRequested(int id);
    void deleteRequested(int id);
    // BACKUP and RESTORE with the archive path chosen.
    void backupRequested(const QString& path);
    void restoreRequested(const QString& path);

protected:
    // Return, Enter or Space on the device list picks its current row, as a click does.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Build();
    void BuildGroupControls();
    void ShowGroupControls(bool shown);
    void OnDeviceListClick();
    void OnApplyName();
    void OnResetDevice();
    void OnSearch();
    QString ChooseArchive(bool forWriting);

    DeviceParameters* params_;
    MessageBoxes& boxes_;
    PresetLister lister_;
    ArchiveChooser chooser_;
    int subPage_ = 0;
    std::map<int, QWidget*> controls_;  // every table control by id
    std::array<PngButton*, sys::kSubPageCount> tabs_{};
    QLineEdit* address_ = nullptr;
    QLineEdit* name_ = nullptr;
    QTableWidget* list_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QComboBox* interfaces_ = nullptr;
    QComboBox* poll_ = nullptr;
    QLineEdit* remoteAddress_ = nullptr;
    QLabel* remoteStatus_ = nullptr;
    bool remoteOn_ = false;
    QLabel* help_ = nullptr;
    CPresetBank* bank_ = nullptr;
    QLineEdit* groupName_ = nullptr;
    PngButton* groupButton_ = nullptr;
    QComboBox* groupChooser_ = nullptr;
};

}  // namespace quorvell
