// SPDX-License-Identifier: GPL-3.0-or-later
// Undo steps: the change set, its description, merging, and the A/B switch.
#include "UndoCommands.h"

#include <QObject>
#include <QStringList>
#include <algorithm>
#include <map>
#include <utility>

#include "PanelUndo.h"
#include "ProcessorEditor.h"

namespace quorvell {

namespace {

// Words of a path's text as the panel names them: "ch1.band3.freq" is "CH1 Band 3 frequency".
QString DescribePath(const ParameterPath& path) {
    static const std::map<QString, QString> kWords = {
        {"freq", "frequency"},     {"q", "Q"},       {"hipass", "HIPASS"},
        {"lopass", "LOPASS"},      {"main", "Main"}, {"name", "Device name"},
        {"threshold", "threshold"}};
    QStringList words;
    for (const QString& part : QString::fromStdString(path.text).split('.')) {
        if (part.startsWith("ch")) {
            words << part.toUpper();
        } else if (part.startsWith("band")) {
            words << QStringLiteral("Band %1").arg(part.mid(4));
        } else {
            const auto it = kWords.find(part);
            words << (it != kWords.end() ? it->second : part);
        }
    }
    return words.join(' ');
}

// A raw value in the units the panel shows, without the unit; the unit separately.
QString ValueText(ParameterUnit unit, std::int32_t raw) {
    switch (unit) {
        case ParameterUnit::Hz:
        case ParameterUnit::Ms:
            return QString::number(raw);
        case ParameterUnit::GainDb:
            return QString::number(raw * 0.1 - 18.0, 'f', 1);
        case ParameterUnit::Q:
            return QString::number(raw * 0.1, 'f', 1);
        case ParameterUnit::LevelDb:
            return QString::number(24.0 - raw * 0.5, 'f', 1);
        case ParameterUnit::ThresholdDb:
            return QString::number(-raw);
        case ParameterUnit::RatioN:
            return QStringLiteral("1:") + QString::number(raw * 0.1, 'f', 1);
        case ParameterUnit::FilterType:
            return QString::fromUtf8(FilterTypeLabel(raw).data(),
                                     static_cast<qsizetype>(FilterTypeLabel(raw).size()));
        case ParameterUnit::Phase:
            return raw == 0 ? QStringLiteral("normal") : QStringLiteral("inverted");
        case ParameterUnit::Name:
            break;
    }
    return QString::number(raw);
}

QString UnitText(ParameterUnit unit) {
    switch (unit) {
        case ParameterUnit::Hz:
            return QStringLiteral(" Hz");
        case ParameterUnit::GainDb:
        case ParameterUnit::LevelDb:
        case ParameterUnit::ThresholdDb:
            return QStringLiteral(" dB");
        case ParameterUnit::Ms:
            return QStringLiteral(" ms");
        default:
            return {};
    }
}

QString NameText(const DeviceNameBytes& bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(end - bytes.begin()));
}

}  // namespace

bool ChangeSet::Unchanged() const {
    const bool fieldsBack = std::all_of(fields.begin(), fields.end(),
                                        [](const FieldChange& f) { return f.before == f.after; });
    return fieldsBack && (!name || name->before == name->after);
}

std::vector<Record> ChangeSet::Records() const {
    std::vector<Record> records;
    for (const FieldChange& f : fields) {
        if (std::find(records.begin(), records.end(), f.path.record) == records.end()) {
            records.push_back(f.path.record);
        }
    }
    if (name) {
        records.push_back({RecordKind::Name, 0, 0});
    }
    return records;
}

ChangeSet DiffParameters(const std::vector<ParameterPath>& paths, const DeviceParameters& from,
                         const DeviceParameters& to, bool withName) {
    ChangeSet changes;
    for (const ParameterPath& path : paths) {
        if (path.unit == ParameterUnit::Name) {
            continue;
        }
        const std::int32_t before = path.Value(from);
        const std::int32_t after = path.Value(to);
        if (before != after) {
            changes.fields.push_back({path, before, after});
        }
    }
    if (withName && from.deviceName != to.deviceName) {
        changes.name = NameChange{from.deviceName, to.deviceName};
    }
    return changes;
}

void DropChangedElsewhere(ChangeSet& changes, const DeviceParameters& now, bool undoing) {
    std::erase_if(changes.fields, [&](const FieldChange& f) {
        return f.path.Value(now) != (undoing ? f.after : f.before);
    });
    if (changes.name && now.deviceName != (undoing ? changes.name->after : changes.name->before)) {
        changes.name.reset();
    }
}

QString DescribeChanges(const ChangeSet& changes) {
    QStringList parts;
    for (const FieldChange& f : changes.fields) {
        parts << QStringLiteral("%1 %2 → %3%4")
                     .arg(DescribePath(f.path), ValueText(f.path.unit, f.before),
                          ValueText(f.path.unit, f.after), UnitText(f.path.unit));
    }
    if (changes.name) {
        parts << QStringLiteral("Device name \"%1\" → \"%2\"")
                     .arg(NameText(changes.name->before), NameText(changes.name->after));
    }
    if (parts.size() <= 2) {
        return parts.join(QStringLiteral(", "));
    }
    return QObject::tr("%1 and %2 more").arg(parts.front()).arg(parts.size() - 1);
}

ParameterChangeCommand::ParameterChangeCommand(PanelUndo& owner, std::vector<UndoTarget> targets,
                                               const QString& text, quint64 gesture)
    : owner_(&owner),
      targets_(std::move(targets)),
      explicitText_(!text.isEmpty()),
      gesture_(gesture) {
    setText(text);
    Describe();
}

void ParameterChangeCommand::Describe() {
    if (explicitText_) {
        return;
    }
    const auto first = std::find_if(targets_.begin(), targets_.end(),
                                    [](const UndoTarget& t) { return !t.changes.Empty(); });
    if (first == targets_.end()) {
        return;
    }
    QString text = DescribeChanges(first->changes);
    if (targets_.size() > 1) {
        text += QObject::tr(" (%1 processors)").arg(targets_.size());
    }
    setText(text);
}

void ParameterChangeCommand::undo() {
    applied_ = false;
    Step(true);
}

void ParameterChangeCommand::redo() {
    if (std::exchange(applied_, true)) {
        return;  // pushed after the edit was made
    }
    Step(false);
}

void ParameterChangeCommand::Step(bool undoing) {
    if (!owner_) {
        return;
    }
    bool empty = true;
    for (UndoTarget& t : targets_) {
        if (!t.editor) {
            t.changes = {};
            continue;
        }
        DropChangedElsewhere(t.changes, t.editor->Parameters(), undoing);
        empty = empty && t.changes.Empty();
    }
    Describe();
    setObsolete(empty);
    for (UndoTarget& t : targets_) {
        if (t.editor) {
            owner_->Apply(*t.editor, t.changes, !undoing);
        }
    }
}

bool ParameterChangeCommand::mergeWith(const QUndoCommand* other) {
    const auto* next = dynamic_cast<const ParameterChangeCommand*>(other);
    if (next == nullptr || next->gesture_ != gesture_ || next->targets_.size() != targets_.size()) {
        return false;
    }
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        if (next->targets_[i].editor != targets_[i].editor ||
            next->targets_[i].changes.Records() != targets_[i].changes.Records()) {
            return false;
        }
    }
    bool unchanged = true;
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        ChangeSet& changes = targets_[i].changes;
        const ChangeSet& more = next->targets_[i].changes;
        for (const FieldChange& f : more.fields) {
            const auto same =
                std::find_if(changes.fields.begin(), changes.fields.end(),
                             [&](const FieldChange& g) { return g.path.text == f.path.text; });
            if (same != changes.fields.end()) {
                same->after = f.after;
            } else {
                changes.fields.push_back(f);
            }
        }
        if (more.name) {
            const DeviceNameBytes before = changes.name ? changes.name->before : more.name->before;
            changes.name = NameChange{before, more.name->after};
        }
        unchanged = unchanged && changes.Unchanged();
    }
    Describe();
    // A gesture that ends where it began leaves no step.
    setObsolete(unchanged);
    return true;
}

CompareSwitchCommand::CompareSwitchCommand(PanelUndo& owner, ProcessorEditor& editor)
    : owner_(&owner), editor_(&editor) {
    setText(QObject::tr("A/B switch to %1").arg(owner.ActiveMemory() == 0 ? "B" : "A"));
}

void CompareSwitchCommand::undo() {
    if (owner_ && editor_) {
        owner_->Swap(*editor_);
    }
}

void CompareSwitchCommand::redo() {
    if (owner_ && editor_) {
        owner_->Swap(*editor_);
    }
}

}  // namespace quorvell
