// SPDX-License-Identifier: GPL-3.0-or-later
// The SYSTEM page, built from its table; sub-pages switch by hiding and showing controls.
#include "CSystemPage.h"

#include <cstdlib>

#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>

#include "CPresetBank.h"
#include "CTextLabel.h"
#include "NameRules.h"
#include "PageBuilder.h"
#include "PageTable.h"
#include "PngButton.h"
#include "SkinImages.h"

namespace quorvell {

CSystemPage::CSystemPage(DeviceParameters& params, MessageBoxes& boxes, PresetLister lister,
                         QWidget* parent)
    : QWidget(parent), params_(&params), boxes_(boxes), lister_(std::move(lister)) {
    setObjectName(QStringLiteral("CSystemPage"));
    setGeometry(kPageX, kPageY, kPageWidth, kPageHeight);
    setFocusPolicy(Qt::ClickFocus);
    Build();
    BuildGroupControls();
    // Reading order: the sub-page tabs, then each sub-page's rows (a hidden control is
    // skipped by Tab, so one chain serves all four).
    OrderTabsByRows(this, kPageHeight, kPageWidth);
    ShowSubPage(0);
    hide();
}

CSystemPage::~CSystemPage() = default;

void CSystemPage::Build() {
    // The bank owns "Save" (its table row places it) and the 24 slots.
    bank_ = new CPresetBank(this, boxes_);
    for (const sys::ControlSpec& entry : sys::kControls) {
        const QString caption = QString::fromUtf8(entry.text);
        QWidget* widget = nullptr;
        switch (entry.kind) {
            case sys::ControlKind::Tab:
            case sys::ControlKind::Button: {
                auto* button = new PngButton(caption, this);
                button->setGeometry(entry.x, entry.y, entry.width, entry.height);
                button->captionSize = entry.textSize;
                button->SetImages(kButtonDarkWide, kButtonCyanWide);
                if (entry.kind == sys::ControlKind::Tab) {
                    const int k = entry.id - sys::kTabConnectId;
                    tabs_[static_cast<std::size_t>(k)] = button;
                    connect(button, &PngButton::clicked, this, [this, k] { ShowSubPage(k); });
                }
                widget = button;
                break;
            }
            case sys::ControlKind::Edit: {
                auto* edit = new QLineEdit(this);
                (entry.id == sys::kAddressId         ? address_
                 : entry.id == sys::kRemoteAddressId ? remoteAddress_
                                                     : name_) = edit;
                widget = edit;
                break;
            }
            case sys::ControlKind::List: {
                list_ = new QTableWidget(0, static_cast<int>(sys::kListColumns.size()), this);
                QStringList headers;
                for (std::size_t i = 0; i < sys::kListColumns.size(); ++i) {
                    headers << QString::fromUtf8(sys::kListColumns[i]);
                    list_->setColumnWidth(static_cast<int>(i), sys::kListColumnWidths[i]);
                }
                list_->setHorizontalHeaderLabels(headers);
                list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
                list_->horizontalHeader()->setSectionsMovable(true);
                list_->verticalHeader()->hide();
                list_->setShowGrid(true);
                list_->setSelectionBehavior(QAbstractItemView::SelectRows);
                // Ctrl+click (Ctrl+Space) chooses several processors for one Connect.
                list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
                list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
                list_->setSortingEnabled(false);
                connect(list_, &QTableWidget::cellClicked, this, &CSystemPage::OnDeviceListClick);
                // Tab leaves the list instead of walking its cells; the arrows move the
                // highlight and Return or Space picks the row.
                list_->setTabKeyNavigation(false);
                list_->installEventFilter(this);
                widget = list_;
                break;
            }
            case sys::ControlKind::Progress:
                progress_ = new QProgressBar(this);
                progress_->setRange(0, sys::kProgressMax);
                progress_->setValue(0);
                progress_->setTextVisible(false);
                widget = progress_;
                break;
            case sys::ControlKind::Label: {
                auto* label = new CTextLabel(this);
                label->SetText(caption);
                label->fontSize = entry.textSize;
                label->SetTransparent(true);
                widget = label;
                break;
            }
            case sys::ControlKind::Chooser:
                if (entry.id == sys::kPollId) {
                    poll_ = new QComboBox(this);
                    poll_->setToolTip(
                        tr("How often the processor's state is read back while "
                           "nothing is edited"));
                    for (const int seconds : sys::kPollChoices) {
                        poll_->addItem(
                            seconds == 0 ? tr("after edits") : tr("every %1 s").arg(seconds),
                            seconds);
                    }
                    connect(poll_, &QComboBox::activated, this,
                            [this](int index) { emit pollChosen(poll_->itemData(index).toInt()); });
                    widget = poll_;
                    break;
                }
                interfaces_ = new QComboBox(this);
                interfaces_->setToolTip(tr("Network interface whose /24 subnet Search sweeps"));
                widget = interfaces_;
                break;
            case sys::ControlKind::Bank:
                widget = bank_->SaveButton();
                break;
            case sys::ControlKind::Status:
                remoteStatus_ = new QLabel(this);
                remoteStatus_->setTextInteractionFlags(Qt::TextSelectableByMouse);
                widget = remoteStatus_;
                break;
            case sys::ControlKind::Help:
                help_ = new QLabel(this);
                help_->setWordWrap(true);
                help_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                help_->setTextFormat(Qt::RichText);
                widget = help_;
                break;
        }
        widget->setObjectName(QStringLiteral("control%1").arg(entry.id));
        widget->setGeometry(entry.x, entry.y, entry.width, entry.height);
        controls_[entry.id] = widget;
    }
    address_->setAccessibleName(QStringLiteral("Device address"));
    name_->setAccessibleName(QStringLiteral("Device name"));
    list_->setAccessibleName(QStringLiteral("Devices found"));
    interfaces_->setAccessibleName(QStringLiteral("Search interface"));
    remoteAddress_->setAccessibleName(QStringLiteral("Remote control address"));
    remoteAddress_->setPlaceholderText(QStringLiteral("127.0.0.1:8080"));
    remoteAddress_->setToolTip(
        tr("IPv4 ADDR:PORT where phones and scripts reach the panel; any address other than "
           "this machine's own loopback needs the token shown below"));
    remoteStatus_->setAccessibleName(QStringLiteral("Remote control state"));
    connect(Button(sys::kRemoteToggleId), &PngButton::clicked, this, [this] {
        emit remoteToggled(remoteOn_ ? QString() : remoteAddress_->text().trimmed());
    });
    SetRemoteState(false, QString());
    connect(Button(sys::kSearchId), &PngButton::clicked, this, &CSystemPage::OnSearch);
    connect(Button(sys::kConnectId), &PngButton::clicked, this, &CSystemPage::connectClicked);
    connect(Button(sys::kApplyId), &PngButton::clicked, this, &CSystemPage::OnApplyName);
    connect(Button(sys::kResetId), &PngButton::clicked, this, &CSystemPage::OnResetDevice);
    connect(Button(sys::kBackupId), &PngButton::clicked, this, [this] {
        if (const QString path = ChooseArchive(true); !path.isEmpty()) {
            emit backupRequested(path);
        }
    });
    connect(Button(sys::kRestoreId), &PngButton::clicked, this, [this] {
        if (const QString path = ChooseArchive(false); !path.isEmpty()) {
            emit restoreRequested(path);
        }
    });

    connect(bank_, &CPresetBank::saveRequested, this, &CSystemPage::saveRequested);
    connect(bank_, &CPresetBank::renameRequested, this, &CSystemPage::renameRequested);
    connect(bank_, &CPresetBank::recallRequested, this, &CSystemPage::recallRequested);
    connect(bank_, &CPresetBank::deleteRequested, this, &CSystemPage::deleteRequested);
    SetHelpText(QString());
}

QString CSystemPage::ChooseArchive(bool forWriting) {
    if (chooser_) {
        return chooser_(forWriting);
    }
    const QString filter = tr("Preset backups (*.tar);;All files (*)");
    return forWriting
               ? QFileDialog::getSaveFileName(this, tr("Back up every preset"),
                                              QStringLiteral("presets.tar"), filter)
               : QFileDialog::getOpenFileName(this, tr("Restore presets"), QString(), filter);
}

PngButton* CSystemPage::Button(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : qobject_cast<PngButton*>(it->second);
}

void CSystemPage::ShowPage(const QString& deviceAddress) {
    name_->setText(QString::fromUtf8(DeviceNameText(*params_)));
    address_->setText(deviceAddress);
    ShowSubPage(0);
    show();
}

void CSystemPage::RefreshName() {
    if (!name_->isModified()) {
        name_->setText(QString::fromUtf8(DeviceNameText(*params_)));
    }
}

void CSystemPage::SetModel(DeviceParameters& params) {
    params_ = &params;
    name_->setText(QString::fromUtf8(DeviceNameText(*params_)));
    name_->setModified(false);
}

void CSystemPage::ShowSubPage(int k) {
    for (const sys::ControlSpec& entry : sys::kControls) {
        if (entry.subPage >= 0) {
            controls_[entry.id]->hide();
        }
    }
    bank_->HideSlots();
    if (k < 0 || k >= sys::kSubPageCount) {
        return;
    }
    subPage_ = k;
    for (int t = 0; t < sys::kSubPageCount; ++t) {
        tabs_[static_cast<std::size_t>(t)]->on = t == k;
        tabs_[static_cast<std::size_t>(t)]->update();
    }
    for (const sys::ControlSpec& entry : sys::kControls) {
        if (entry.subPage == k) {
            controls_[entry.id]->show();
        }
    }
    ShowGroupControls(k == static_cast<int>(sys::SubPage::Connect));
    if (k == static_cast<int>(sys::SubPage::Connect)) {
        interfaces_->setVisible(interfaces_->count() > 1);
    }
    if (k == static_cast<int>(sys::SubPage::Preset)) {
        LoadSlots();
    }
}

void CSystemPage::LoadSlots() {
    bank_->LoadSlots(lister_ ? lister_() : std::vector<PresetRow>{});
}

void CSystemPage::SetConnectButton(const QString& text, bool on) {
    PngButton* button = Button(sys::kConnectId);
    button->setText(text);
    button->on = on;
    button->update();
}

void CSystemPage::ClearDevices() {
    list_->setRowCount(0);
}

void CSystemPage::AddDevice(const QString& ip, quint16 port, const QString& name) {
    for (int row = 0; row < list_->rowCount(); ++row) {
        if (list_->item(row, 0)->text() == ip) {
            return;  // one row per address
        }
    }
    const int row = list_->rowCount();
    list_->insertRow(row);
    list_->setItem(row, 0, new QTableWidgetItem(ip));
    list_->setItem(row, 1, new QTableWidgetItem(QString::number(port)));
    list_->setItem(row, 2, new QTableWidgetItem(name));
}

void CSystemPage::SetSearchProgress(int host) {
    progress_->setVisible(subPage_ == static_cast<int>(sys::SubPage::Connect) && isVisible());
    progress_->setValue(host);
}

void CSystemPage::SearchFinished() {
    progress_->hide();
    progress_->setValue(0);  // shown again with the sub-page, it must not read as running
}

void CSystemPage::SetInterfaces(const QList<QHostAddress>& addresses,
                                const QHostAddress& preferred) {
    interfaces_->clear();
    for (const QHostAddress& address : addresses) {
        interfaces_->addItem(address.toString());
    }
    const int index = interfaces_->findText(preferred.toString());
    if (index >= 0) {
        interfaces_->setCurrentIndex(index);
    }
    interfaces_->setVisible(subPage_ == 0 && interfaces_->count() > 1);
}

void CSystemPage::SetPollSeconds(int seconds) {
    int best = 0;
    for (int i = 0; i < poll_->count(); ++i) {
        if (std::abs(poll_->itemData(i).toInt() - seconds) <
            std::abs(poll_->itemData(best).toInt() - seconds)) {
            best = i;
        }
    }
    poll_->setCurrentIndex(best);
}

void CSystemPage::SetRemoteState(bool on, const QString& status) {
    remoteOn_ = on;
    PngButton* button = Button(sys::kRemoteToggleId);
    button->setText(on ? tr("STOP") : tr("START"));
    button->on = on;
    button->update();
    remoteAddress_->setEnabled(!on);
    remoteStatus_->setText(status);
}

QHostAddress CSystemPage::ChosenInterface() const {
    if (interfaces_->count() < 2) {
        return {};  // the link's default
    }
    return QHostAddress(interfaces_->currentText());
}

void CSystemPage::SetHelpText(const QString& dataDirectory) {
    const QString dir = dataDirectory.isEmpty() ? tr("(none)") : dataDirectory.toHtmlEscaped();
    help_->setText(tr("<b>Quorvell 1.0</b><br>Data directory (presets): %1<br>"
                      "The panel and quorvell-cli share it: --data-dir DIR when given, else "
                      "the program's folder when Quorvel.mdb is already there, else the "
                      "per-user application data folder.<br><br>"
                      "<b>Mouse</b><br>"
                      "Click or hold the arrows of a value to step it; the wheel steps it too.<br>"
                      "Click the middle of a value to type a number.<br>"
                      "Click a crossover type to choose it from its list.<br>"
                      "Click a preset slot for NAME, RECALL and DELETE.<br><br>"
                      "<b>Keyboard</b><br>"
                      "Tab moves in reading order, channel by channel; the focused control is "
                      "framed.<br>"
                      "Left/Down arrow decreases, Right/Up arrow increases the focused value.<br>"
                      "PageUp/PageDown: ten steps, or the next third-octave frequency (20, 25, "
                      "32, 40 Hz, ...); Home/End: the lowest/highest value.<br>"
                      "Return or F4 on a value: type a number.<br>"
                      "Ctrl+Z undo, Ctrl+Y or Ctrl+Shift+Z redo, F2 switches A/B (held: once).<br>"
                      "In the search list, Return or Space picks the processor.<br>"
                      "Space or Enter opens a type list; arrows move, Enter takes, Escape "
                      "closes.<br>"
                      "Enter and Escape never close a page.<br>"
                      "F1 or a right click on the window: about Quorvell.<br><br>"
                      "<b>Connecting</b><br>"
                      "CONNECT: Search lists the processors of the local subnet; pick one, then "
                      "Connect.<br>"
                      "SET: the device name, how often the processor's state is read back, and "
                      "REMOTE: type ADDR:PORT and START to control this panel from a phone or a "
                      "script at the address shown.")
                       .arg(dir));
}

void CSystemPage::OnSearch() {
    emit searchRequested(ChosenInterface());
}

void CSystemPage::OnDeviceListClick() {
    // The first row chosen is the target; rows Ctrl+clicked to it join the next Connect.
    const QStringList chosen = ChosenDevices();
    if (chosen.isEmpty()) {
        return;
    }
    address_->setText(chosen.front());
    emit devicePicked(chosen.front());
}

QStringList CSystemPage::ChosenDevices() const {
    QStringList chosen;
    for (int row = 0; row < list_->rowCount(); ++row) {
        if (list_->selectionModel()->isRowSelected(row, QModelIndex())) {
            chosen.push_back(list_->item(row, 0)->text());
        }
    }
    return chosen;
}

bool CSystemPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool pick = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                          key->key() == Qt::Key_Space;
        if (pick && key->modifiers() == Qt::NoModifier) {
            if (list_->currentRow() >= 0) {
                list_->selectRow(list_->currentRow());
                OnDeviceListClick();
            }
            return true;  // never toggles the selection off, never reaches the page
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CSystemPage::OnApplyName() {
    const QByteArray bytes = name_->text().toUtf8();
    if (const auto refusal = CheckDeviceName(bytes.toStdString())) {
        boxes_.Show({*refusal, "", MessageButtons::Ok, MessageIcon::None});
        return;
    }
    params_->deviceName.fill(0);
    std::copy(bytes.begin(), bytes.end(), params_->deviceName.begin());
    name_->setModified(false);
    emit nameApplied();
}

void CSystemPage::OnResetDevice() {
    const Message question{sys::kResetDeviceQuestion, "", MessageButtons::OkCancel,
                           MessageIcon::Warning};
    if (boxes_.Show(question) == MessageAnswer::Ok) {
        emit resetDeviceConfirmed();
    }
}

void CSystemPage::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterEscape(event)) {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace quorvell
