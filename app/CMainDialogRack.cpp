// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's rack: the processor row, switching the pages between processors, linking
// several chosen processors at once, and the sync indicator of the one shown.
#include <QCursor>
#include <QLabel>
#include <QToolTip>
#include <array>

#include "CEqPage.h"
#include "CLimiterPage.h"
#include "CMainDialog.h"
#include "CPanelApp.h"
#include "CSystemPage.h"
#include "CValueStepper.h"
#include "DeviceLink.h"
#include "DisplayFormats.h"
#include "EqPageTable.h"
#include "LimiterPageTable.h"
#include "PanelUndo.h"
#include "ProcessorEditor.h"
#include "ProcessorRack.h"
#include "ProcessorRow.h"
#include "ReadBack.h"

namespace quorvell {

namespace {

// Above the page buttons, left of the sync indicator: nothing else is drawn there.
constexpr QRect kProcessorRowPlace{4, 8, 530, 30};

QColor SyncColour(SyncState state) {
    static constexpr std::array<const char*, 5> kColours = {"#c8c8c8", "#5fd35f", "#e6c440",
                                                            "#ff7f3f", "#ff4040"};
    return QColor(QString::fromLatin1(kColours[static_cast<std::size_t>(state)]));
}

}  // namespace

void CMainDialog::BuildRack() {
    row_ = new ProcessorRow(this);
    row_->setGeometry(kProcessorRowPlace);
    connect(row_, &ProcessorRow::processorChosen, this,
            [this](ProcessorEditor* editor) { SwitchProcessor(*editor); });
    ProcessorRack& rack = app_.Rack();
    const auto watchAll = [this, &rack] {
        for (ProcessorEditor* editor : rack.Editors()) {
            WatchProcessor(*editor);
        }
        UpdateRow();
    };
    connect(&rack, &ProcessorRack::processorsChanged, this, watchAll);
    watchAll();
    BuildGroups();
}

void CMainDialog::BuildGroups() {
    groups_ = app_.ReadGroups();
    systemPage_->SetGroups(groups_.keys(), activeGroup_);
    connect(systemPage_, &CSystemPage::groupRequested, this, &CMainDialog::OnGroupRequested);
    connect(systemPage_, &CSystemPage::groupChosen, this, &CMainDialog::SetActiveGroup);
}

void CMainDialog::OnGroupRequested(const QString& name, const QStringList& addresses) {
    QString clean = name;
    clean.remove(QLatin1Char('=')).remove(QLatin1Char(','));  // the settings' separators
    clean = clean.trimmed();
    if (clean.isEmpty()) {
        return;
    }
    QStringList members;
    for (const QString& address : addresses) {
        const QString canonical = CanonicalAddress(address);
        if (!canonical.isEmpty() && !members.contains(canonical)) {
            members.push_back(canonical);
        }
    }
    if (members.isEmpty()) {
        groups_.remove(clean);
        if (activeGroup_ == clean) {
            activeGroup_.clear();
        }
    } else {
        groups_.insert(clean, members);
    }
    app_.WriteGroups(groups_);
    systemPage_->SetGroups(groups_.keys(), activeGroup_);
    UpdateMarkers();
}

void CMainDialog::SetActiveGroup(const QString& name) {
    activeGroup_ = groups_.contains(name) ? name : QString();
    systemPage_->SetGroups(groups_.keys(), activeGroup_);
    UpdateMarkers();
}

void CMainDialog::UpdateMarkers() {
    const QList<ProcessorEditor*> targets = EditTargets();
    const auto mark = [&](CValueStepper* stepper, const Binding& binding) {
        QStringList differing;
        const std::int32_t shown = FieldValue(current_->Parameters(), binding);
        for (ProcessorEditor* member : targets) {
            const std::int32_t value = FieldValue(member->Parameters(), binding);
            if (member != current_ && value != shown) {
                differing.push_back(
                    tr("%1: %2").arg(member->Link().deviceAddress(),
                                     QString::fromStdString(FormatForKind(stepper->kind, value))));
            }
        }
        QLabel*& marker = markers_[stepper];
        if (differing.isEmpty()) {
            if (marker != nullptr) {
                marker->hide();
            }
            return;
        }
        if (marker == nullptr) {
            marker = new QLabel(QStringLiteral("*"), stepper->parentWidget());
            marker->setObjectName(QStringLiteral("groupMarker"));
            marker->setStyleSheet(
                QStringLiteral("QLabel { color: #e6c440; font-weight: bold; font-size: 11pt; }"));
            marker->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        marker->setGeometry(stepper->geometry().right() - 2, stepper->geometry().top() - 6, 10, 12);
        const QString tip = tr("Differs on %1").arg(differing.join(QStringLiteral(", ")));
        marker->setToolTip(tip);
        marker->show();
        marker->raise();
    };
    for (const StepperSpec& entry : eq::kSteppers) {
        if (CValueStepper* stepper = eqPage_->Stepper(entry.id)) {
            mark(stepper, entry.binding);
        }
    }
    for (const StepperSpec& entry : limiter::kSteppers) {
        if (CValueStepper* stepper = limiterPage_->Stepper(entry.id)) {
            mark(stepper, entry.binding);
        }
    }
    markers_.removeIf([](const auto& it) { return it.value() == nullptr; });
}

void CMainDialog::WatchProcessor(ProcessorEditor& editor) {
    if (watched_.contains(&editor)) {
        return;
    }
    watched_.insert(&editor);
    undo_->Watch(editor);
    ProcessorEditor* e = &editor;
    // A value taken from the processor shown is shown where it is, without switching pages;
    // the records one read adopts are shown by one refresh.
    connect(&editor, &ProcessorEditor::recordsChanged, this,
            [this, e](const QList<Record>& records, EditOrigin origin) {
                if (e == current_ && origin == EditOrigin::Processor) {
                    RefreshPagesSoon();
                }
                if (records.contains(Record{RecordKind::Name, 0, 0})) {
                    UpdateRow();
                }
            });
    if (ReadBack* sync = app_.SyncOf(&editor)) {
        connect(sync, &ReadBack::changed, this, [this, e] {
            if (e == current_) {
                ShowSync();
            }
            UpdateRow();
        });
    }
    DeviceLink& link = editor.Link();
    for (const auto signal : {&DeviceLink::linkEstablished, &DeviceLink::connectFailed}) {
        connect(&link, signal, this, &CMainDialog::UpdateRow);
    }
    if (e == &editor_) {
        connect(&link, &DeviceLink::disconnected, this, &CMainDialog::UpdateRow);
        connect(&link, &DeviceLink::closed, this, &CMainDialog::UpdateRow);
        return;
    }
    connect(&link, &DeviceLink::linkEstablished, this, [this, e] {
        if (e == current_) {
            RefreshPages();
        }
    });
    // A processor no longer linked is not shown: the pages go back to the panel's own.
    for (const auto signal : {&DeviceLink::disconnected, &DeviceLink::closed}) {
        connect(&link, signal, this, [this, e] {
            if (e == current_) {
                SwitchProcessor(editor_);
            }
            UpdateRow();
        });
    }
}

void CMainDialog::SwitchProcessor(ProcessorEditor& editor) {
    if (&editor == current_ || !watched_.contains(&editor)) {
        return;
    }
    current_ = &editor;
    eqPage_->SetModel(editor.Parameters());
    limiterPage_->SetModel(editor.Parameters());
    systemPage_->SetModel(editor.Parameters());
    undo_->SetCurrent(editor);
    ShowSync();
    UpdateRow();
    UpdateMarkers();
}

void CMainDialog::ShowSync() {
    const ReadBack& sync = *app_.SyncOf(current_);
    syncIndicator_->setText(sync.text());
    // A tooltip already on screen keeps its old text (LINK LOST over IN SYNC) unless it is
    // shown again with the new one.
    const QString before = syncIndicator_->toolTip();
    syncIndicator_->setToolTip(sync.toolTip());
    if (QToolTip::isVisible() && QToolTip::text() == before && before != sync.toolTip()) {
        QToolTip::showText(QCursor::pos(), sync.toolTip(), syncIndicator_);
    }
    syncIndicator_->setStyleSheet(QStringLiteral("QLabel { color: %1; font-weight: bold; }")
                                      .arg(SyncColour(sync.state()).name()));
}

void CMainDialog::UpdateRow() {
    if (row_ == nullptr) {
        return;
    }
    QList<ProcessorRow::Entry> entries;
    for (ProcessorEditor* editor : app_.Rack().Editors()) {
        const DeviceLink& link = editor->Link();
        const ReadBack& sync = *app_.SyncOf(editor);
        if (editor != &editor_ && editor != current_ && !link.linkUp() && !link.connectPending()) {
            continue;  // kept by the rack, but not linked: not a tab
        }
        QString state = link.linkUp()           ? sync.text()
                        : link.connectPending() ? tr("CONNECTING…")
                                                : tr("NOT LINKED");
        if (state.isEmpty()) {
            state = tr("LINKED");
        }
        const QString name = QString::fromUtf8(DeviceNameText(editor->Parameters())).trimmed();
        QStringList parts{link.deviceAddress(), state};
        if (!name.isEmpty()) {
            parts.prepend(name);
        }
        entries.push_back({editor, parts.join(QStringLiteral("  ")), sync.toolTip(),
                           SyncColour(link.linkUp() ? sync.state() : SyncState::Off)});
    }
    row_->SetEntries(entries, current_);
}

void CMainDialog::ConnectChosen(const QStringList& addresses) {
    if (addresses.size() < 2) {
        return;  // one row chosen: the panel's own link, as always
    }
    const QString first = CanonicalAddress(link_.nextDeviceAddress());
    for (const QString& address : addresses) {
        if (CanonicalAddress(address) == first) {
            continue;
        }
        if (ProcessorEditor* editor = app_.Rack().Add(address); editor && editor != &editor_) {
            WatchProcessor(*editor);
            editor->Link().Connect();
        }
    }
    UpdateRow();
}

void CMainDialog::StopOthers(bool close) {
    for (ProcessorEditor* editor : app_.Rack().Editors()) {
        if (editor != &editor_) {
            close ? editor->Link().Close() : editor->Link().Disconnect();
        }
    }
    SwitchProcessor(editor_);
}

QList<ProcessorEditor*> CMainDialog::EditTargets() const {
    QList<ProcessorEditor*> targets{current_};
    if (!activeGroup_.isEmpty()) {
        for (const QString& address : groups_.value(activeGroup_)) {
            ProcessorEditor* member = app_.Rack().Find(address);
            if (member && !targets.contains(member) && member->Link().linkUp()) {
                targets.push_back(member);
            }
        }
    }
    return targets;
}

}  // namespace quorvell
