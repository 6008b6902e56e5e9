// SPDX-License-Identifier: GPL-3.0-or-later
// The one place where an edit becomes a frame: a change is stored in the model, sent to the
// processor while linked, and announced to every listener (pages, undo, remote clients).
#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "DeviceParameters.h"
#include "PacedFrame.h"
#include "ParameterPaths.h"
#include "ReadBack.h"

namespace quorvell {

class DeviceLink;
struct DeviceLinkOptions;

// Who made a change, so that listeners can tell their own changes from others' (undo records
// Operator and Sequence changes, not its own Undo ones).
//   Operator   one record edited on a page (a stepper, a menu, the name)
//   Undo       undo, redo, A/B switch
//   Remote     a client of the remote API
//   Sequence   a multi-record action: page RESET, preset recall, EQ import, channel copy
//   Processor  a value the processor reported; never sent back to it
enum class EditOrigin { Operator, Undo, Remote, Sequence, Processor };

class ProcessorEditor : public QObject {
    Q_OBJECT

public:
    // `params` is the process-wide model and `link` the one device link; both must outlive
    // the editor.
    ProcessorEditor(DeviceParameters& params, DeviceLink& link, QObject* parent = nullptr);
    // One processor of a rack: the editor owns its model (the defaults until the processor
    // answers), its link (built from `options`, normally over the rack's shared endpoint) and
    // its read-back.
    ProcessorEditor(const DeviceLinkOptions& options, const ReadBackOptions& sync,
                    QObject* parent = nullptr);
    ~ProcessorEditor() override;

    DeviceParameters& Parameters() { return params_; }
    DeviceLink& Link() { return link_; }
    const DeviceParameters& Parameters() const { return params_; }
    const DeviceLink& Link() const { return link_; }
    // The read-back an owning editor runs; null for an editor over a model it does not own.
    ReadBack* Sync() const { return sync_.get(); }

    // A change already stored in the model (the pages store first). While linked, sends the
    // record's frame at once (not for EditOrigin::Processor); emits recordsChanged always.
    void Edited(const Record& record, EditOrigin origin = EditOrigin::Operator);

    // Stores `raw` in the field `path` names, then as Edited. Nothing (model untouched, nothing
    // sent, no signal) for a raw value outside the path's range or for the name, whose bytes
    // the caller stores before calling Edited({RecordKind::Name, 0, 0}).
    std::optional<Record> SetValue(const ParameterPath& path, std::int32_t raw,
                                   EditOrigin origin = EditOrigin::Operator);

    // A paced sequence (RESET, recall, import, channel copy) whose values are already in the
    // model. Each frame that names its record is built from the model when its turn comes, so
    // an edit made while the sequence runs is never overwritten by an older value; order and
    // pauses are the sequence's own. Queued behind a running sequence, never merged. Emits
    // recordsChanged with the sequence's records (once each, in order) whether or not linked;
    // returns whether the sequence was queued (false while the link is down: the model keeps
    // the values and nothing is sent later).
    bool SendSequence(PacedSequence sequence, EditOrigin origin = EditOrigin::Sequence);

    // The same for bare records: a record whose frame cannot be built now (a crossover type
    // outside 0..4) is left out together with its pause.
    bool SendRecords(const std::vector<PacedRecord>& records,
                     EditOrigin origin = EditOrigin::Sequence);

    // While held (the processor does not answer), edits are stored and announced but nothing
    // is sent and no sequence is queued; read-back sends what is still different on return.
    void SetHeld(bool held) { held_ = held; }
    bool held() const { return held_; }

signals:
    // Every model change that went through the editor, in the order made.
    void recordsChanged(QList<quorvell::Record> records, quorvell::EditOrigin origin);

private:
    // Declared before the references that point into them, destroyed after the read-back.
    std::unique_ptr<DeviceParameters> ownParams_;
    std::unique_ptr<DeviceLink> ownLink_;
    DeviceParameters& params_;
    DeviceLink& link_;
    bool held_ = false;
    std::unique_ptr<ReadBack> sync_;
};

}  // namespace quorvell

Q_DECLARE_METATYPE(quorvell::EditOrigin)
