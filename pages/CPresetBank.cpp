// SPDX-License-Identifier: GPL-3.0-or-later
// The preset slot bank: layout, labels and the slot menu.
#include "CPresetBank.h"

#include <QCursor>
#include <QWidget>

#include "CMenuEx.h"
#include "CNameDialog.h"
#include "PngButton.h"
#include "SkinImages.h"
#include "SystemPageTable.h"

namespace quorvell {

namespace {

PngButton* MakeSquare(const QString& caption, int id, QPoint at, QWidget* page) {
    auto* button = new PngButton(caption, page);
    button->setObjectName(QStringLiteral("button%1").arg(id));
    button->setGeometry(at.x(), at.y(), sys::kSlotSize, sys::kSlotSize);
    button->sizeMode = 0;
    button->onCaptionColor = QColor(0, 0, 0);
    button->SetImages(kButtonDarkSmall, kButtonCyanSmall);
    button->hide();
    return button;
}

}  // namespace

CPresetBank::CPresetBank(QWidget* page, MessageBoxes& boxes)
    : QObject(page), page_(page), boxes_(boxes) {
    save_ = MakeSquare(QStringLiteral("Save"), sys::kSaveId, {50, 150}, page);
    save_->on = true;  // drawn selected at all times
    connect(save_, &PngButton::clicked, this, &CPresetBank::saveRequested);
    for (int i = 0; i < kMaxPresets; ++i) {
        PngButton* slot = MakeSquare(QStringLiteral("SAVE%1").arg(i + 1), sys::kFirstSlotId + i,
                                     {sys::SlotX(i), sys::SlotY(i)}, page);
        slot->captionBreak = QLatin1Char(':');  // "12:" above the name when both do not fit
        connect(slot, &PngButton::clicked, this, [this, i] { OnSlotClick(i); });
        slots_[static_cast<std::size_t>(i)] = slot;
    }
}

PngButton* CPresetBank::Slot(int index) const {
    if (index < 0 || index >= kMaxPresets) {
        return nullptr;
    }
    return slots_[static_cast<std::size_t>(index)];
}

void CPresetBank::HideSlots() {
    for (PngButton* slot : slots_) {
        slot->hide();
    }
}

void CPresetBank::SetVisible(bool visible) {
    save_->setVisible(visible);
}

void CPresetBank::LoadSlots(const std::vector<PresetRow>& rows) {
    HideSlots();
    const std::size_t shown = std::min(rows.size(), slots_.size());
    rows_.assign(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(shown));
    for (std::size_t k = 0; k < shown; ++k) {
        PngButton* slot = slots_[k];
        slot->setText(QString::number(rows[k].id) + ':' + QString::fromStdString(rows[k].name));
        // A name cut to fit the button is shown whole in its tooltip.
        const bool whole = slot->LayoutCaption().lines.join(QString()) == slot->text();
        slot->setToolTip(whole ? QString() : slot->text());
        slot->show();
    }
}

std::optional<PresetRow> CPresetBank::ShownRow(int id) const {
    for (const PresetRow& row : rows_) {
        if (row.id == id) {
            return row;
        }
    }
    return std::nullopt;
}

std::optional<CPresetBank::SlotLabel> CPresetBank::ParseSlotLabel(const QString& text) {
    const qsizetype colon = text.indexOf(':');
    if (colon < 0) {
        return std::nullopt;  // an initial label: no preset behind it
    }
    const std::optional<int> id = ParsePresetId(text.left(colon).toStdString());
    if (!id) {
        return std::nullopt;
    }
    return SlotLabel{*id, text.mid(colon + 1)};
}

void CPresetBank::OnSlotClick(int index) {
    // At the pointer for a click; under the slot when Space or Enter pressed it, as the
    // pointer may be anywhere then.
    const PngButton* slot = Slot(index);
    QPoint at = QCursor::pos();
    if (!slot->rect().contains(slot->mapFromGlobal(at))) {
        at = slot->mapToGlobal(QPoint(0, slot->height()));
    }
    selectedSlot = index;
    std::optional<int> command;
    if (menuHook_) {
        command = menuHook_(at);
    } else {
        CMenuEx menu;
        if (menu.LoadMenu(kPresetSlotMenu)) {
            command = menu.TrackPopup(at);
        }
    }
    if (command) {
        OnMenuCommand(*command);
    }
}

void CPresetBank::OnMenuCommand(int command) {
    const std::optional<SlotLabel> label = ParseSlotLabel(Slot(selectedSlot)->text());
    if (!label) {
        return;
    }
    switch (command) {
        case kCmdName: {
            CNameDialog dialog(page_, &boxes_);
            dialog.SetName(label->name);
            if (dialog.exec() == QDialog::Accepted) {
                emit renameRequested(label->id, dialog.Name());
            }
            break;
        }
        case kCmdRecall:
            emit recallRequested(label->id);
            break;
        case kCmdDelete:
            emit deleteRequested(label->id);
            break;
        default:
            break;
    }
}

}  // namespace quorvell
