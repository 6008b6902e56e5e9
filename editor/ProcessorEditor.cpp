// SPDX-License-Identifier: GPL-3.0-or-later
// Store, send, announce: every edit of the model on its way to the processor.
#include "ProcessorEditor.h"

#include <algorithm>
#include <utility>

#include "DeviceLink.h"

namespace quorvell {

ProcessorEditor::ProcessorEditor(DeviceParameters& params, DeviceLink& link, QObject* parent)
    : QObject(parent), params_(params), link_(link) {}

ProcessorEditor::ProcessorEditor(const DeviceLinkOptions& options, const ReadBackOptions& sync,
                                 QObject* parent)
    : QObject(parent),
      ownParams_(std::make_unique<DeviceParameters>()),
      ownLink_(std::make_unique<DeviceLink>(*ownParams_, options)),
      params_(*ownParams_),
      link_(*ownLink_) {
    ResetDeviceParameters(params_);
    sync_ = std::make_unique<ReadBack>(*this, sync);
}

ProcessorEditor::~ProcessorEditor() = default;

void ProcessorEditor::Edited(const Record& record, EditOrigin origin) {
    if (origin != EditOrigin::Processor && !held_) {
        link_.SendRecord(record);  // sends only while linked; the model keeps the edit
    }
    emit recordsChanged({record}, origin);
}

std::optional<Record> ProcessorEditor::SetValue(const ParameterPath& path, std::int32_t raw,
                                                EditOrigin origin) {
    std::int32_t* field = path.Field(params_);
    if (field == nullptr || raw < path.minRaw || raw > path.maxRaw) {
        return std::nullopt;
    }
    *field = raw;
    Edited(path.record, origin);
    return path.record;
}

bool ProcessorEditor::SendSequence(PacedSequence sequence, EditOrigin origin) {
    QList<Record> records;
    for (const PacedFrame& paced : sequence) {
        if (paced.record && !records.contains(*paced.record)) {
            records.push_back(*paced.record);
        }
    }
    // Steps (undo, redo, A/B) want the latest values only: a record still queued from an
    // earlier step is not queued again, so a burst of switches cannot pile up frames.
    const bool queued = !held_ && !sequence.empty() &&
                        (origin == EditOrigin::Undo ? link_.SendPacedLatest(std::move(sequence))
                                                    : link_.SendPaced(std::move(sequence)));
    if (!records.isEmpty()) {
        emit recordsChanged(records, origin);
    }
    return queued;
}

bool ProcessorEditor::SendRecords(const std::vector<PacedRecord>& records, EditOrigin origin) {
    PacedSequence sequence;
    sequence.reserve(records.size());
    for (const PacedRecord& paced : records) {
        if (auto frame = BuildRecordFrame(params_, paced.record, link_.EulerE())) {
            sequence.push_back({*frame, paced.gapMs, paced.record});
        }
    }
    return SendSequence(std::move(sequence), origin);
}

}  // namespace quorvell
