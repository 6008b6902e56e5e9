// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's undo steps: a set of model fields with their values before and after the
// step, and the A/B switch. A command holds keys and values, never widgets; its redo() is
// the edit, applied through PanelUndo (store in the model, send, show).
#pragma once

#include <QPointer>
#include <QString>
#include <QUndoCommand>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "DeviceParameters.h"
#include "ParameterPaths.h"

namespace quorvell {

class PanelUndo;
class ProcessorEditor;

struct FieldChange {
    ParameterPath path;  // an i32 field (never the name)
    std::int32_t before = 0;
    std::int32_t after = 0;
};

using DeviceNameBytes = std::array<std::uint8_t, kDeviceNameSize>;

struct NameChange {
    DeviceNameBytes before{};
    DeviceNameBytes after{};
};

// What one step changed, in model order.
struct ChangeSet {
    std::vector<FieldChange> fields;
    std::optional<NameChange> name;

    bool Empty() const { return fields.empty() && !name; }
    // True when every field and the name are back where they began.
    bool Unchanged() const;
    // The records that carry the changed fields, once each, in model order.
    std::vector<Record> Records() const;
};

// The fields in `paths` whose values differ between `from` and `to`; the name too when
// `withName`.
ChangeSet DiffParameters(const std::vector<ParameterPath>& paths, const DeviceParameters& from,
                         const DeviceParameters& to, bool withName);

// Takes out of `changes` every field (and the name) that no longer holds the value the step
// left there (`undoing`: its after value, else its before value): a remote client or the
// processor has changed it since, and that later value is kept rather than overwritten.
void DropChangedElsewhere(ChangeSet& changes, const DeviceParameters& now, bool undoing);

// "CH1 Band 3 gain -6.5 → -4.0 dB"; for several fields the first and how many more.
QString DescribeChanges(const ChangeSet& changes);

// What one step changed on one processor; the editor is null once that processor is gone.
struct UndoTarget {
    QPointer<ProcessorEditor> editor;
    ChangeSet changes;
};

// One operator step, on one processor or (a group edit) on several. Commands of the same
// gesture (`gesture` non-zero and equal) on the same processors and records merge into one:
// a held arrow, a wheel burst or a drag undoes in one step.
class ParameterChangeCommand : public QUndoCommand {
public:
    static constexpr int kMergeId = 0x5155;  // commands of other classes never merge with it

    // The change is already in the model when the command is pushed: the first redo() does
    // nothing. `text` empty describes the change itself.
    ParameterChangeCommand(PanelUndo& owner, std::vector<UndoTarget> targets, const QString& text,
                           quint64 gesture);

    void undo() override;
    void redo() override;
    int id() const override { return gesture_ != 0 ? kMergeId : -1; }
    bool mergeWith(const QUndoCommand* other) override;

    const std::vector<UndoTarget>& Targets() const { return targets_; }

private:
    void Describe();
    // Drops what changed elsewhere since this step was applied, then applies the rest; a step
    // left with nothing is obsolete, and the stack removes it.
    void Step(bool undoing);

    QPointer<PanelUndo> owner_;        // a no-op once the panel is gone
    std::vector<UndoTarget> targets_;  // the shown processor's first
    bool explicitText_ = false;
    quint64 gesture_ = 0;
    bool applied_ = true;
};

// A switch between the A and B memories. A switch is its own inverse: undoing one switches
// back, saving the current settings into the memory being left, as a switch does.
class CompareSwitchCommand : public QUndoCommand {
public:
    CompareSwitchCommand(PanelUndo& owner, ProcessorEditor& editor);

    void undo() override;
    void redo() override;

private:
    QPointer<PanelUndo> owner_;
    QPointer<ProcessorEditor> editor_;
};

}  // namespace quorvell
