// SPDX-License-Identifier: GPL-3.0-or-later
// The main window: page buttons, status button, the painted frame, and the mediation
// between the pages and the device link.
#include "CMainDialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QHostAddress>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QShortcut>
#include <QTimer>
#include <QToolTip>
#include <cstdio>

#include "CAboutDialog.h"
#include "CEqPage.h"
#include "CLimiterPage.h"
#include "CPanelApp.h"
#include "CPresetBank.h"
#include "CSystemPage.h"
#include "DeviceLink.h"
#include "Frames.h"
#include "PageBuilder.h"
#include "PanelSequences.h"
#include "PanelUndo.h"
#include "PngButton.h"
#include "PresetStore.h"
#include "ProcessorEditor.h"
#include "ReadBack.h"
#include "SkinImages.h"

namespace quorvell {

namespace {

struct ButtonPlace {
    int id;
    const char* text;
    int x, y, width, height;
    int captionSize;
};

// Status button, then the page buttons of pages 1..3.
constexpr std::array<ButtonPlace, 4> kButtons = {{
    {kStatusButtonId, "Disconnect", 700, 10, 80, 24, 8},
    {kMainButtonId, "MAIN", 0, 50, 250, 50, 16},
    {kLimitButtonId, "LIMIT", 260, 50, 250, 50, 16},
    {kSystemButtonId, "SYSTEM", 520, 50, 250, 50, 16},
}};

// Left of the status button, on its row.
constexpr QRect kSyncIndicatorPlace{540, 10, 150, 24};

constexpr int kWindowWidth = 800;
constexpr int kWindowHeight = 700;
constexpr const char* kAboutEntry = "关于 Quorvell(&A)...";

void Tell(MessageBoxes& boxes, const char* text, const char* caption = "",
          MessageIcon icon = MessageIcon::None) {
    boxes.Show({text, caption, MessageButtons::Ok, icon});
}

}  // namespace

CMainDialog::CMainDialog(CPanelApp& app)
    : QWidget(nullptr),
      app_(app),
      link_(app.Link()),
      editor_(app.Editor()),
      current_(&app.Editor()) {
    setObjectName(QStringLiteral("CMainDialog"));
    setWindowTitle(QStringLiteral("Quorvell"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowIcon(ProgramIcon());
    eulerE_ = ComputeEulerE();
    setFixedSize(kWindowWidth, kWindowHeight);
    move(0, 0);

    QString address = app_.ReadHostIp(QString::fromUtf8(kDefaultDeviceAddress));
    if (app_.Options().device) {
        address = QString::fromStdString(*app_.Options().device);  // this run only
    }
    link_.setDeviceAddress(address);
    ResetDeviceParameters(app_.Parameters());

    // Recall sends through the editor's paced sequence, never blocking the window.
    app_.Store().SetSink(
        [this](PacedSequence s) { editor_.SendSequence(std::move(s), EditOrigin::Sequence); },
        eulerE_);

    BuildButtons();
    BuildPages();
    BuildUndo();  // first: a step is recorded, and named, before its edit is sent
    ConnectPages();
    ConnectLink();
    ConnectSync();
    BuildRack();
    // Link supervision (the 100 ms kLinkTimerId) runs on DeviceLink's own timer.
    SwitchPage(1);
    refreshTimer_.setSingleShot(true);
    connect(&refreshTimer_, &QTimer::timeout, this, &CMainDialog::RefreshPages);

    auto* about = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(about, &QShortcut::activated, this, &CMainDialog::ShowAbout);
}

CMainDialog::~CMainDialog() = default;

void CMainDialog::BuildButtons() {
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonPlace& place = kButtons[i];
        auto* button = new PngButton(QString::fromUtf8(place.text), this);
        button->setObjectName(QStringLiteral("button%1").arg(place.id));
        button->setGeometry(place.x, place.y, place.width, place.height);
        button->captionSize = place.captionSize;
        button->SetImages(kButtonDarkWide, kButtonCyanWide);
        buttons_[i] = button;
        if (i > 0) {
            const int page = static_cast<int>(i);
            connect(button, &PngButton::clicked, this, [this, page] { SwitchPage(page); });
        }
    }
}

void CMainDialog::BuildPages() {
    DeviceParameters& params = app_.Parameters();
    MessageBoxes& boxes = app_.Boxes();
    eqPage_ = new CEqPage(params, boxes, this);
    limiterPage_ = new CLimiterPage(params, boxes, this);
    PresetStore& store = app_.Store();
    systemPage_ = new CSystemPage(
        params, boxes, [&store] { return store.ListPresets(); }, this);
    systemPage_->SetHelpText(app_.DataDirectory());
    // A socket bound to one address can only sweep that address's /24: no choice then.
    const QHostAddress bound = link_.Options().bindAddress;
    if (bound == QHostAddress(QHostAddress::AnyIPv4) || bound == QHostAddress(QHostAddress::Any)) {
        systemPage_->SetInterfaces(DeviceLink::IPv4Interfaces(), link_.SearchInterface());
    } else {
        systemPage_->SetInterfaces({bound}, bound);
    }
}

void CMainDialog::ConnectPages() {
    connect(eqPage_, &CEqPage::recordEdited, this, &CMainDialog::SendRecord);
    connect(limiterPage_, &CLimiterPage::recordEdited, this, &CMainDialog::SendRecord);
    connect(eqPage_, &CEqPage::channelReset, this, [this](int channel) {
        current_->SendSequence(EqResetFrames(current_->Parameters(), channel),
                               EditOrigin::Sequence);
    });
    eqPage_->SetEulerE(eulerE_);
    connect(eqPage_, &CEqPage::channelsReplaced, this, [this](PacedSequence frames) {
        limiterPage_->RefreshFromModel();  // a copy brings the limiter along
        current_->SendSequence(std::move(frames), EditOrigin::Sequence);
    });
    connect(limiterPage_, &CLimiterPage::channelReset, this, [this](int channel) {
        current_->SendSequence(LimiterResetFrames(current_->Parameters(), channel, eulerE_),
                               EditOrigin::Sequence);
    });

    CSystemPage* sys = systemPage_;
    connect(sys, &CSystemPage::searchRequested, this, &CMainDialog::OnSearch);
    connect(sys, &CSystemPage::devicePicked, this, &CMainDialog::OnDevicePicked);
    connect(sys, &CSystemPage::connectClicked, this, &CMainDialog::OnConnect);
    connect(sys, &CSystemPage::nameApplied, this, [this] {
        if (current_ == &editor_ && link_.linkUp()) {
            ++operatorNamesSent_;  // the panel's own link confirms names in a box
        }
        current_->Edited({RecordKind::Name, 0, 0}, EditOrigin::Operator);
    });
    connect(sys, &CSystemPage::resetDeviceConfirmed, this, [this] {
        if (current_->Link().linkUp()) {
            current_->Link().SendReset();
        }
    });
    connect(sys, &CSystemPage::saveRequested, this, [this] {
        app_.Store().SavePreset();
        ReloadSlots();
    });
    // The bank acts on the preset its slot shows: a preset another program has deleted or
    // replaced since (a new save may have taken the ID) is refused by the store, and the slots
    // are listed again.
    connect(sys, &CSystemPage::renameRequested, this, [this](int id, const QString& name) {
        const auto shown = systemPage_->Bank()->ShownRow(id);
        app_.Store().RenamePreset(id, name.toStdString(), shown ? &*shown : nullptr);
        ReloadSlots();
    });
    connect(sys, &CSystemPage::recallRequested, this, &CMainDialog::OnRecall);
    connect(sys, &CSystemPage::backupRequested, this, &CMainDialog::OnBackup);
    connect(sys, &CSystemPage::restoreRequested, this, &CMainDialog::OnRestore);
    connect(sys, &CSystemPage::deleteRequested, this, [this](int id) {
        const auto shown = systemPage_->Bank()->ShownRow(id);
        app_.Store().DeletePreset(id, shown ? &*shown : nullptr);
        ReloadSlots();
    });
}

void CMainDialog::ConnectLink() {
    MessageBoxes& boxes = app_.Boxes();
    connect(&link_, &DeviceLink::linkEstablished, this, &CMainDialog::OnLinkEstablished);
    connect(&link_, &DeviceLink::resetStateApplied, this, &CMainDialog::OnResetStateApplied);
    connect(&link_, &DeviceLink::closed, this, &CMainDialog::OnLinkClosed, Qt::QueuedConnection);
    connect(&link_, &DeviceLink::searchProgress, systemPage_, &CSystemPage::SetSearchProgress);
    connect(&link_, &DeviceLink::searchFinished, systemPage_, &CSystemPage::SearchFinished);
    connect(&link_, &DeviceLink::deviceFound, systemPage_, &CSystemPage::AddDevice);
    // Message boxes are modal: show them after the link has finished its own handling.
    connect(&link_, &DeviceLink::connectFailed, this, &CMainDialog::OnConnectFailed,
            Qt::QueuedConnection);
    connect(&link_, &DeviceLink::nameConfirmed, this, &CMainDialog::OnNameConfirmed,
            Qt::QueuedConnection);
    connect(
        &link_, &DeviceLink::bindFailed, this,
        [this, &boxes](const QString&) {
            if (!operatorConnect_) {
                ShowRemoteNotice(QString::fromLatin1(kTextBindError));
                return;
            }
            operatorConnect_ = false;
            Tell(boxes, kTextBindError, kTextBindErrorCaption, MessageIcon::Information);
        },
        Qt::QueuedConnection);
    connect(
        &link_, &DeviceLink::searchRefused, this,
        [&boxes](const QString&) { Tell(boxes, kTextAlreadyConnected); }, Qt::QueuedConnection);
}

void CMainDialog::BuildUndo() {
    const auto refresh = [this] {
        eqPage_->RefreshFromModel();
        limiterPage_->RefreshFromModel();
        systemPage_->NameField()->setText(
            QString::fromUtf8(DeviceNameText(current_->Parameters())));
    };
    // Every edit the editor announces becomes a step; multi-record actions are one step
    // each, named here before the editor sends them.
    undo_ = new PanelUndo(editor_, app_.UndoStack(), refresh, this);
    undo_->BuildControls(eqPage_, this);
    eqPage_->OrderTabs();  // UNDO, REDO and A/B join the lower section's order
    connect(eqPage_, &CEqPage::channelReset, undo_,
            [this](int channel) { undo_->Capture(tr("CH%1 EQ RESET").arg(channel + 1), false); });
    connect(limiterPage_, &CLimiterPage::channelReset, undo_, [this](int channel) {
        undo_->Capture(tr("CH%1 limiter RESET").arg(channel + 1), false);
    });
    // What the processor reports is adopted, never a step.
    connect(&link_, &DeviceLink::linkEstablished, undo_,
            [this] { undo_->Connected(link_.deviceAddress()); });
    connect(&link_, &DeviceLink::resetStateApplied, undo_, &PanelUndo::Adopt);
}

void CMainDialog::ConnectSync() {
    syncIndicator_ = new QLabel(this);
    syncIndicator_->setObjectName(QStringLiteral("syncIndicator"));
    syncIndicator_->setGeometry(kSyncIndicatorPlace);
    syncIndicator_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ShowSync();  // kept up to date for every processor by BuildRack
    systemPage_->SetPollSeconds(app_.PollSeconds());
    connect(systemPage_, &CSystemPage::pollChosen, this,
            [this](int seconds) { app_.SetPollSeconds(seconds); });
    systemPage_->RemoteAddressField()->setText(app_.ReadRemoteAddress());
    connect(systemPage_, &CSystemPage::remoteToggled, this, [this](const QString& listen) {
        if (listen.isEmpty()) {
            app_.StopRemote();
            ShowRemoteState();
            return;
        }
        QString error;
        app_.StartRemote(listen, &error);
        ShowRemoteState(error);
    });
}

void CMainDialog::ShowRemoteState(const QString& error) {
    systemPage_->SetRemoteState(app_.Remote() != nullptr, app_.Remote()     ? app_.RemoteUrl()
                                                          : error.isEmpty() ? tr("Off.")
                                                                            : error);
}

void CMainDialog::ShowRemoteNotice(const QString& text) {
    systemPage_->SetRemoteState(
        app_.Remote() != nullptr,
        (app_.Remote() ? app_.RemoteUrl() + '\n' : QString()) + tr("Remote: %1").arg(text));
}

PngButton* CMainDialog::PageButton(int page) const {
    return page >= 1 && page <= 3 ? buttons_[static_cast<std::size_t>(page)] : nullptr;
}

void CMainDialog::SwitchPage(int page) {
    switch (page) {
        case 1:
            eqPage_->ShowPage();
            limiterPage_->hide();
            systemPage_->hide();
            break;
        case 2:
            limiterPage_->ShowPage();
            eqPage_->hide();
            systemPage_->hide();
            break;
        case 3:
            systemPage_->ShowPage(link_.deviceAddress());
            eqPage_->hide();
            limiterPage_->hide();
            break;
        default:
            return;
    }
    page_ = page;
    for (int p = 1; p <= 3; ++p) {
        PageButton(p)->on = p == page;
        PageButton(p)->update();
    }
}

void CMainDialog::SendRecord(const Record& record) {
    const QList<ProcessorEditor*> targets = EditTargets();
    if (targets.size() == 1) {
        current_->Edited(record, EditOrigin::Operator);
        return;
    }
    // Each member takes the shown processor's value through its own editor (and so its own
    // read-back); the members' changes are one step.
    std::vector<ParameterPath> paths;
    for (const ParameterPath& path : AllParameterPaths()) {
        if (path.record == record) {
            paths.push_back(path);
        }
    }
    undo_->BeginAction({});
    for (ProcessorEditor* member : targets) {
        if (member != current_) {
            for (const ParameterPath& path : paths) {
                if (std::int32_t* field = path.Field(member->Parameters())) {
                    *field = path.Value(current_->Parameters());
                }
            }
        }
        member->Edited(record, EditOrigin::Operator);
    }
    undo_->EndAction(true);
    UpdateMarkers();
}

void CMainDialog::OnLinkEstablished() {
    operatorConnect_ = false;
    systemPage_->SetConnectButton(QStringLiteral("Disconnect"), true);
    StatusButton()->setText(QStringLiteral("Connect"));
    StatusButton()->on = true;
    StatusButton()->update();
    eqPage_->RefreshFromModel();
    limiterPage_->RefreshFromModel();
    SwitchPage(1);
}

void CMainDialog::RefreshPages() {
    refreshTimer_.stop();
    lastRefresh_.start();
    eqPage_->RefreshFromModel();
    limiterPage_->RefreshFromModel();
    systemPage_->RefreshName();
    UpdateMarkers();
}

void CMainDialog::RefreshPagesSoon() {
    constexpr qint64 kFrameMs = 16;
    if (refreshTimer_.isActive()) {
        return;  // a refresh is due already and will show this change too
    }
    if (!lastRefresh_.isValid() || lastRefresh_.elapsed() >= kFrameMs) {
        RefreshPages();
        return;
    }
    refreshTimer_.start(static_cast<int>(kFrameMs - lastRefresh_.elapsed()));
}

void CMainDialog::OnResetStateApplied() {
    eqPage_->RefreshFromModel();
    limiterPage_->RefreshFromModel();
    SwitchPage(1);
}

void CMainDialog::OnConnectFailed() {
    systemPage_->SetConnectButton(QStringLiteral("CONNECT"), false);
    if (!operatorConnect_) {
        ShowRemoteNotice(QString::fromLatin1(kTextCannotConnect));
        return;
    }
    operatorConnect_ = false;
    Tell(app_.Boxes(), kTextCannotConnect);
}

void CMainDialog::OnNameConfirmed() {
    if (operatorNamesSent_ == 0) {
        ShowRemoteNotice(QString::fromLatin1(kTextNameSet));
        return;
    }
    --operatorNamesSent_;
    // A box runs its own event loop: a confirmation arriving while any box is open is
    // dropped rather than stacked on top of it.
    if (nameBoxOpen_ || QApplication::activeModalWidget() != nullptr) {
        return;
    }
    nameBoxOpen_ = true;
    Tell(app_.Boxes(), kTextNameSet);
    nameBoxOpen_ = false;
}

void CMainDialog::OnSearch(const QHostAddress& interfaceAddress) {
    if (link_.StartSearch(interfaceAddress)) {
        systemPage_->ClearDevices();
    }
}

void CMainDialog::OnDevicePicked(const QString& address) {
    link_.PickDeviceAddress(address);  // while linked, taken by the next connect
    app_.WriteHostIp(address);
}

void CMainDialog::OnConnect() {
    if (link_.linkUp()) {
        link_.Disconnect();
        StopOthers(false);
        systemPage_->SetConnectButton(QStringLiteral("CONNECT"), false);
        StatusButton()->setText(QStringLiteral("DISCONNECT"));
        StatusButton()->on = false;
        StatusButton()->update();
    } else {
        operatorConnect_ = true;
        link_.Connect();  // does nothing while its own attempt runs
        ConnectChosen(systemPage_->ChosenDevices());
    }
}

void CMainDialog::OnRecall(int id) {
    // The store reads the file, sends the 25 frames through the link while it is up and
    // confirms with "Recall sucessfully!". The pages show the values when next shown.
    const auto shown = systemPage_->Bank()->ShownRow(id);
    undo_->BeginAction(tr("Preset recall"));
    const RecallOutcome outcome = app_.Store().RecallPreset(id, shown ? &*shown : nullptr);
    undo_->EndAction();
    if (outcome == RecallOutcome::Changed) {
        ReloadSlots();
    }
}

void CMainDialog::OnBackup(const QString& path) {
    if (const auto count = app_.Store().BackupPresets(path)) {
        app_.Boxes().Show({QStringLiteral("Backed up %1 presets to %2.")
                               .arg(*count)
                               .arg(QDir::toNativeSeparators(path))
                               .toStdString(),
                           {},
                           MessageButtons::Ok,
                           MessageIcon::Information});
    }
}

void CMainDialog::OnRestore(const QString& path) {
    // The store is replaced only when the operator agrees; the archive is checked whole by
    // the store before anything changes.
    const std::size_t held = app_.Store().ListPresets().size();
    if (held > 0 &&
        app_.Boxes().Show({QStringLiteral("The store holds %1 presets. Replace them with the "
                                          "presets of %2? The replaced ones go to the trash.")
                               .arg(held)
                               .arg(QDir::toNativeSeparators(path))
                               .toStdString(),
                           {},
                           MessageButtons::OkCancel,
                           MessageIcon::Warning}) != MessageAnswer::Ok) {
        return;
    }
    const auto count = app_.Store().RestorePresets(path, held > 0);
    ReloadSlots();
    if (count) {
        app_.Boxes().Show({QStringLiteral("Restored %1 presets from %2.")
                               .arg(*count)
                               .arg(QDir::toNativeSeparators(path))
                               .toStdString(),
                           {},
                           MessageButtons::Ok,
                           MessageIcon::Information});
    }
}

void CMainDialog::ReloadSlots() {
    systemPage_->LoadSlots();
}

void CMainDialog::ShowAbout() {
    CAboutDialog about(app_.DataDirectory(), this);
    about.exec();
}

void CMainDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(QPen(QColor::fromRgb(0x808080), 3));
    const int right = width() - 1;
    painter.drawLine(0, 45, right, 45);
    painter.drawLine(right, 45, right, 105);
    painter.drawLine(right, 105, 0, 105);
    painter.drawLine(0, 105, 0, 45);
    painter.drawLine(255, 45, 255, 105);
    painter.drawLine(515, 45, 515, 105);
}

void CMainDialog::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterEscape(event)) {
        QWidget::keyPressEvent(event);
    }
}

void CMainDialog::closeEvent(QCloseEvent* event) {
    if (!finishing_ && !closing_ && link_.linkUp() && link_.pacedRunning()) {
        // Stopping now would leave the processor half-written: finish the sequence first.
        event->ignore();
        BeginFinishing();
        return;
    }
    if (finishing_ && !closing_) {
        event->ignore();
        StopLinkAndClose();  // a second request: what is left is not sent
        return;
    }
    const bool linkActive =
        link_.receiveRunning() || link_.discoveryRunning() || link_.pacedRunning();
    if (linkActive && !linkClosed_) {
        // Stop the link first; the window closes once it reports that it has stopped.
        event->ignore();
        StopLinkAndClose();
        return;
    }
    StopOthers(true);
    event->accept();
}

void CMainDialog::BeginFinishing() {
    finishing_ = true;
    setWindowTitle(tr("Quorvell (finishing…)"));
    syncIndicator_->setText(tr("FINISHING…"));
    syncIndicator_->setToolTip(tr("Sending the rest of the sequence; close again to stop now"));
    for (QWidget* page : {static_cast<QWidget*>(eqPage_), static_cast<QWidget*>(limiterPage_),
                          static_cast<QWidget*>(systemPage_)}) {
        page->setEnabled(false);  // no new edits join the sequence
    }
    connect(&link_, &DeviceLink::pacedFinished, this, &CMainDialog::StopLinkAndClose);
    finishTimer_.setSingleShot(true);
    connect(&finishTimer_, &QTimer::timeout, this, &CMainDialog::StopLinkAndClose);
    finishTimer_.start(kFinishBoundMs);
}

void CMainDialog::StopLinkAndClose() {
    if (closing_) {
        return;
    }
    closing_ = true;
    finishTimer_.stop();
    const std::deque<PacedFrame>& left = link_.PacedQueue();
    if (!left.empty()) {
        unsentAtClose_ = static_cast<int>(left.size());
        QStringList names;
        for (const PacedFrame& frame : left) {
            const QString name = frame.record ? RecordText(*frame.record) : QStringLiteral("reset");
            if (!names.contains(name)) {
                names.push_back(name);
            }
        }
        std::fprintf(stderr, "quorvell: closed with %d frame(s) not sent: %s\n", unsentAtClose_,
                     qPrintable(names.join(QStringLiteral(", "))));
    }
    app_.Parameters().linkUp = 0;
    StopOthers(true);
    link_.Close();
}

void CMainDialog::OnLinkClosed() {
    linkClosed_ = true;
    if (closing_) {
        close();
    }
}

void CMainDialog::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QString::fromUtf8(kAboutEntry), this, &CMainDialog::ShowAbout);
    menu.exec(event->globalPos());
}

}  // namespace quorvell
