// SPDX-License-Identifier: GPL-3.0-or-later
// The main window and the panel's one mediator: it turns what the operator does on the pages
// into sends on the device link, and what the link reports into changes of the windows.
#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>

#include "ParameterPaths.h"

class QHostAddress;
class QLabel;

namespace quorvell {

class CEqPage;
class CLimiterPage;
class CPanelApp;
class CSystemPage;
class DeviceLink;
class PanelUndo;
class PngButton;
class ProcessorEditor;
class ProcessorRow;

inline constexpr int kStatusButtonId = 1000;
inline constexpr int kMainButtonId = 1001;
inline constexpr int kLimitButtonId = 1002;
inline constexpr int kSystemButtonId = 1003;

class CMainDialog : public QWidget {
    Q_OBJECT

public:
    // Builds the window in its start-up order: eulerE, size and place, deviceAddress from
    // the settings (or --device), the model's defaults, the pages, then page 1.
    explicit CMainDialog(CPanelApp& app);
    ~CMainDialog() override;

    // Runs the system page's Connect, as the operator's click does.
    void ConnectNow() { OnConnect(); }

    // 1 MAIN, 2 LIMIT, 3 SYSTEM; any other value does nothing.
    void SwitchPage(int page);
    int CurrentPage() const { return page_; }

    // An operator's edit the pages have stored: through the editor, which sends the command
    // that carries `record` while the link is up.
    void SendRecord(const Record& record);

    void ShowAbout();

    // Shows the model's values on the pages after a change made elsewhere (remote control).
    void RefreshPages();
    // The same for a stream of changes: at once when the last refresh is older than a frame
    // period (16 ms), else once at the end of that period, so a remote client sending a
    // thousand edits a second costs the window about sixty refreshes.
    void RefreshPagesSoon();
    // The SET sub-page's remote-control row from the application's server: the address to
    // open while on, else `error` (why it did not start) or "Off.".
    void ShowRemoteState(const QString& error = {});
    // A report of something a remote client started (a name confirmed, a connect that
    // failed): on the remote-control row's status line, never in a box, so that a remote
    // client cannot block the operator's input.
    void ShowRemoteNotice(const QString& text);

    double EulerE() const { return eulerE_; }
    PngButton* StatusButton() const { return buttons_[0]; }
    // Beside the status button: IN SYNC / SYNCING / OUT OF SYNC (n) / LINK LOST while linked,
    // with the records concerned in its tooltip; empty while not linked.
    QLabel* SyncIndicator() const { return syncIndicator_; }
    PngButton* PageButton(int page) const;  // 1..3
    CEqPage* EqPage() const { return eqPage_; }
    CLimiterPage* LimiterPage() const { return limiterPage_; }
    CSystemPage* SystemPage() const { return systemPage_; }
    PanelUndo* Undo() const { return undo_; }

    // The processor the pages show and edit: the panel's own until another one is chosen.
    ProcessorEditor& Current() const { return *current_; }
    // Shows `editor`'s model on the pages at once (its editor holds its state: nothing is
    // read); edits, undo's A/B and the sync indicator follow it.
    void SwitchProcessor(ProcessorEditor& editor);
    // Above the pages: every linked processor; hidden while there is one.
    ProcessorRow* Processors() const { return row_; }
    // The group every page edit goes to (empty: none); members not linked are skipped.
    void SetActiveGroup(const QString& name);
    const QString& ActiveGroup() const { return activeGroup_; }
    const QMap<QString, QStringList>& Groups() const { return groups_; }
    // The marker beside a control whose value differs on a member of the active group
    // (null or hidden while it agrees everywhere); its tooltip names the members' values.
    QLabel* MarkerOf(const QWidget* control) const { return markers_.value(control); }

    // A close while a paced sequence (RESET, recall, A/B) runs lets it finish first, for at
    // most this long, showing "finishing…"; a second close ends it at once.
    static constexpr int kFinishBoundMs = 1100;
    bool Finishing() const { return finishing_ && !closing_; }
    // The frames a close left unsent (a second close, or the bound ran out); they are named
    // on standard error and main() ends with status 1.
    int UnsentAtClose() const { return unsentAtClose_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void BuildButtons();
    void BuildPages();
    void ConnectPages();
    void ConnectLink();
    void ConnectSync();
    // Undo, redo and A/B: records the pages' edits as steps and applies steps to them.
    void BuildUndo();
    // The processor row, and each processor of the rack as it joins.
    void BuildRack();
    void WatchProcessor(ProcessorEditor& editor);
    void ShowSync();
    void UpdateRow();
    // Connect with rows chosen in the list: the first link goes to the row picked, every
    // other chosen row gets a processor of its own over the same endpoint.
    void ConnectChosen(const QStringList& addresses);
    // Disconnects (`close`: closes) every processor but the panel's own.
    void StopOthers(bool close);
    // The editors a page edit goes to: the current one first, then the active group's.
    QList<ProcessorEditor*> EditTargets() const;
    void BuildGroups();
    void OnGroupRequested(const QString& name, const QStringList& addresses);
    // Marks every stepper whose value differs on a member of the active group.
    void UpdateMarkers();

    // Link reports.
    void OnLinkEstablished();
    void OnResetStateApplied();
    void OnConnectFailed();
    void OnNameConfirmed();
    void OnLinkClosed();
    // Close steps: let the running sequence finish, then stop the link (which closes).
    void BeginFinishing();
    void StopLinkAndClose();

    // System page actions.
    void OnSearch(const QHostAddress& interfaceAddress);
    void OnDevicePicked(const QString& address);
    void OnConnect();
    void OnRecall(int id);
    void ReloadSlots();
    void OnBackup(const QString& path);
    void OnRestore(const QString& path);

    CPanelApp& app_;
    DeviceLink& link_;
    ProcessorEditor& editor_;
    ProcessorEditor* current_ = nullptr;
    ProcessorRow* row_ = nullptr;
    QSet<ProcessorEditor*> watched_;
    QString activeGroup_;
    QMap<QString, QStringList> groups_;  // as kept in the settings
    QHash<const QWidget*, QLabel*> markers_;
    double eulerE_ = 0.0;
    int page_ = 0;
    bool closing_ = false;          // a close waits for the link to stop
    bool linkClosed_ = false;       // the link has reported that it stopped
    bool nameBoxOpen_ = false;      // the name confirmation's box is showing
    int operatorNamesSent_ = 0;     // operator's names not yet confirmed
    bool operatorConnect_ = false;  // the running connect attempt is the operator's
    bool finishing_ = false;        // a close waits for the paced sequence
    int unsentAtClose_ = 0;
    QTimer finishTimer_;
    std::array<PngButton*, 4> buttons_{};  // status, MAIN, LIMIT, SYSTEM
    CEqPage* eqPage_ = nullptr;
    CLimiterPage* limiterPage_ = nullptr;
    CSystemPage* systemPage_ = nullptr;
    QLabel* syncIndicator_ = nullptr;
    QTimer refreshTimer_;
    QElapsedTimer lastRefresh_;
    PanelUndo* undo_ = nullptr;
};

}  // namespace quorvell
