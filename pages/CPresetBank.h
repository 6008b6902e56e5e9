// SPDX-License-Identifier: GPL-3.0-or-later
// The preset slot bank of the PRESET sub-page: "Save", up to 24 slots labelled "ID:NAME",
// and the slot menu NAME / RECALL / DELETE. The bank only reports what the operator chose.
#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "MessageBoxes.h"
#include "PresetStore.h"

class QWidget;

namespace quorvell {

class PngButton;

class CPresetBank : public QObject {
    Q_OBJECT

public:
    // Shows the slot menu at a screen position and returns the chosen command; the default
    // tracks CMenuEx menu 146.
    using MenuHook = std::function<std::optional<int>(QPoint globalPos)>;

    // The buttons are children of `page`, placed in its coordinates.
    CPresetBank(QWidget* page, MessageBoxes& boxes);

    // Hides every slot, then labels and shows one slot per row, in row order. Rows beyond
    // the 24 slots are not shown.
    void LoadSlots(const std::vector<PresetRow>& rows);
    // The row a slot was last labelled from, as the store listed it; nothing when no slot
    // carries that ID.
    std::optional<PresetRow> ShownRow(int id) const;
    // Shows or hides "Save" (the slots follow LoadSlots).
    void SetVisible(bool visible);
    void HideSlots();

    PngButton* SaveButton() const { return save_; }
    PngButton* Slot(int index) const;
    int selectedSlot = 0;  // the slot whose menu was opened last

    void SetMenuHook(MenuHook hook) { menuHook_ = std::move(hook); }

    // The preset a slot label names: the ID before the first ":" and the rest as the name.
    struct SlotLabel {
        int id = 0;
        QString name;
    };
    static std::optional<SlotLabel> ParseSlotLabel(const QString& text);

signals:
    void saveRequested();
    void renameRequested(int id, const QString& name);
    void recallRequested(int id);
    void deleteRequested(int id);

private:
    void OnSlotClick(int index);
    void OnMenuCommand(int command);

    QWidget* page_;
    MessageBoxes& boxes_;
    PngButton* save_ = nullptr;
    std::array<PngButton*, kMaxPresets> slots_{};
    std::vector<PresetRow> rows_;  // the rows behind the shown slots, in slot order
    MenuHook menuHook_;
};

}  // namespace quorvell
