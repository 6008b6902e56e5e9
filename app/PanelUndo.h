// Undo, redo and the A/B compare of the panel, on top of the application's QUndoStack.
// Every operator change becomes a step: PanelUndo keeps a copy of the model as last
// recorded, and each announced change is the difference to it. Values adopted from the
// processor only update that copy, so they are never steps.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "DeviceParameters.h"
#include "ParameterPaths.h"
#include "UndoCommands.h"

class QPushButton;
class QUndoStack;
class QWidget;

namespace quorvell {

class PanelUndo : public QObject {
    Q_OBJECT

public:
    // How applied steps leave the panel: `sendOne` sends one record's frame now (while
    // linked), `sendMany` a paced sequence of records (each with its pause, GapAfter), and
    // `refresh` shows the model on the pages. None is called for an empty step.
    struct Sinks {
        std::function<void(const Record&)> sendOne;
        std::function<void(const std::vector<Record>&)> sendMany;
        std::function<void()> refresh;
    };

    // `params` and `stack` outlive this object. Watches the application's input events to
    // tell one gesture from the next.
    PanelUndo(DeviceParameters& params, QUndoStack& stack, Sinks sinks, QObject* parent = nullptr);
    ~PanelUndo() override;

    // The operator changed the model: the difference to the last recorded state becomes a
    // step named `text` (empty: described from the change). Changes of one gesture merge
    // when `mergeable` (single edits; never for multi-record actions).
    void Capture(const QString& text = {}, bool mergeable = true);
    // The model was changed by the processor (connect, adoption): not a step.
    void Adopt();
    // Connected to the processor at `address`: adopts its state; a different processor than
    // the last one clears the steps and both memories.
    void Connected(const QString& address);

    // F2 / the A/B button: the current settings go into the active memory and the other one
    // is loaded, sending only the records that differ. The first switch copies the current
    // settings into B. One undo step.
    void SwitchCompare();
    // 0 while A is active, 1 while B is.
    int ActiveMemory() const { return active_; }

    // Writes one side of `changes` into the model, shows it and sends the changed records:
    // one frame for one record, a paced sequence for several. Used by the commands.
    void Apply(const ChangeSet& changes, bool after);
    // Swaps the memories as SwitchCompare describes, without pushing a step.
    void Swap();

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
    void UpdateControls();
    void BeginGesture(QObject* target);

    DeviceParameters& params_;
    QUndoStack& stack_;
    Sinks sinks_;
    std::vector<ParameterPath> paths_;  // every field, in model order
    DeviceParameters recorded_{};       // the model as last recorded
    bool applying_ = false;
    QString device_;

    std::array<std::optional<DeviceParameters>, 2> memories_{};  // A, B
    int active_ = 0;

    quint64 gesture_ = 1;
    QPointer<QObject> inputTarget_;  // where the last gesture began
    QPointer<QObject> wheelTarget_;
    QElapsedTimer lastWheel_;

    std::array<QPushButton*, 3> buttons_{};  // UNDO, REDO, A/B
};

}  // namespace quorvell
