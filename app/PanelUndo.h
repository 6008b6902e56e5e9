// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, redo and the A/B compare of the panel: the application's QUndoStack on top of the
// processors' editors. Every operator change becomes a step: PanelUndo keeps a copy of each
// watched model as last recorded, and each change an editor announces is the difference to
// it. Values adopted from a processor only update that copy, so they are never steps. One
// stack serves every processor: a step names the editors it changed (several for a group
// edit), and undoing it restores each of them. A/B memories are each processor's own.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include "DeviceParameters.h"
#include "ParameterPaths.h"
#include "UndoCommands.h"

class QPushButton;
class QUndoStack;
class QWidget;

namespace quorvell {

class ProcessorEditor;
enum class EditOrigin;

class PanelUndo : public QObject {
    Q_OBJECT

public:
    // `editor` and `stack` outlive this object; `refresh` shows the model on the pages after
    // a step was applied. Watches the application's input events to tell one gesture from
    // the next.
    PanelUndo(ProcessorEditor& editor, QUndoStack& stack, std::function<void()> refresh,
              QObject* parent = nullptr);
    ~PanelUndo() override;

    // Records the changes of another processor's editor too (it must outlive this object or
    // be forgotten with Forget); what its link loads on connect is adopted, never a step.
    void Watch(ProcessorEditor& editor);
    void Forget(ProcessorEditor& editor);
    // The processor the pages show: A/B and Parameters() act on it.
    void SetCurrent(ProcessorEditor& editor);
    ProcessorEditor& Current() const { return *editor_; }

    // The operator changed the model: the difference to the last recorded state becomes a
    // step named `text` (empty: described from the change). Changes of one gesture merge
    // when `mergeable` (single edits; never for multi-record actions). The editor's
    // announcements call it; a multi-record action calls it first to give its step a name.
    void Capture(const QString& text = {}, bool mergeable = true);
    // Between these, the changes of a multi-record action that stores and sends before it
    // returns (a recall, which confirms with a message box) are held back, then recorded as
    // one step named `text`.
    // `mergeable` for an action that is one operator edit (a group edit): the changes of one
    // gesture merge, as for a single edit.
    void BeginAction(const QString& text);
    void EndAction(bool mergeable = false);
    // The models were changed by their processors (connect, adoption): not a step.
    void Adopt();
    // Connected to the processor at `address`: adopts its state; any other processor than
    // the last one (and the first connect) clears the steps and both memories.
    void Connected(const QString& address);

    // F2 / the A/B button: the current settings go into the active memory and the other one
    // is loaded, sending only the records that differ. The first switch copies the current
    // settings into B. One undo step.
    void SwitchCompare();
    // The current processor's model.
    const DeviceParameters& Parameters() const;
    // 0 while A is active, 1 while B is, for the current processor.
    int ActiveMemory() const;

    // Writes one side of `changes` into `editor`'s model, shows it and sends the changed
    // records through that editor (origin Undo): one frame for one record, a paced sequence
    // for several. Used by the commands.
    void Apply(ProcessorEditor& editor, const ChangeSet& changes, bool after);
    // Swaps `editor`'s memories as SwitchCompare describes, without pushing a step.
    void Swap(ProcessorEditor& editor);

    // The UNDO, REDO and A/B buttons on `page` (the EQ page), with Ctrl+Z, Ctrl+Shift+Z,
    // Ctrl+Y and F2 on `window`.
    void BuildControls(QWidget* page, QWidget* window);
    QPushButton* UndoButton() const { return buttons_[0]; }
    QPushButton* RedoButton() const { return buttons_[1]; }
    QPushButton* CompareButton() const { return buttons_[2]; }

    // The pause after a record in a paced sequence of steps: 20 ms after levels and
    // limiters, 50 ms after filters, phase and name, as a preset recall paces them.
    static int GapAfter(const Record& record);

    // Set by every press, non-repeated key and new wheel burst; edits of one gesture carry
    // the same number.
    quint64 Gesture() const { return gesture_; }

    // A wheel burst ends after this long without a notch on the same control.
    static constexpr int kWheelBurstMs = 1000;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What PanelUndo keeps of one processor.
    struct Tracked {
        DeviceParameters recorded{};                                // the model as last recorded
        std::array<std::optional<DeviceParameters>, 2> memories{};  // A, B
        int active = 0;
    };
    void OnRecordsChanged(EditOrigin origin);
    void UpdateControls();
    void BeginGesture(QObject* target);

    ProcessorEditor* editor_;  // the current processor's
    ProcessorEditor& first_;   // the panel's own processor, whose connects Connected reports
    QUndoStack& stack_;
    std::function<void()> refresh_;
    std::vector<ParameterPath> paths_;  // every field, in model order
    std::map<ProcessorEditor*, Tracked> tracked_;
    bool applying_ = false;
    int actionDepth_ = 0;
    QString actionText_;
    QString device_;

    quint64 gesture_ = 1;
    QPointer<QObject> inputTarget_;  // where the last gesture began
    QPointer<QObject> wheelTarget_;
    QElapsedTimer lastWheel_;

    std::array<QPushButton*, 3> buttons_{};  // UNDO, REDO, A/B
};

}  // namespace quorvell
