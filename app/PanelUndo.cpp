// SPDX-License-Identifier: GPL-3.0-or-later
// Undo, redo and A/B: recording steps from model changes, applying them, the gesture
// boundaries, and the three buttons with their keys.
#include "PanelUndo.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QShortcut>
#include <QUndoStack>
#include <utility>

#include "DeviceLink.h"
#include "ProcessorEditor.h"

namespace quorvell {

namespace {

struct ButtonPlace {
    const char* objectName;
    const char* text;
    int x, y;
};

// Free space of the EQ page's lower left, under the IMPORT and copy buttons.
constexpr std::array<ButtonPlace, 3> kButtons = {{
    {"undoButton", "UNDO", 205, 488},
    {"redoButton", "REDO", 298, 488},
    {"compareButton", "A/B: A", 205, 518},
}};
constexpr QSize kButtonSize(88, 24);

}  // namespace

PanelUndo::PanelUndo(ProcessorEditor& editor, QUndoStack& stack, std::function<void()> refresh,
                     QObject* parent)
    : QObject(parent),
      editor_(&editor),
      first_(editor),
      stack_(stack),
      refresh_(std::move(refresh)),
      paths_(AllParameterPaths()) {
    qApp->installEventFilter(this);
    tracked_[&editor].recorded = editor.Parameters();
    connect(&editor, &ProcessorEditor::recordsChanged, this,
            [this](const QList<Record>&, EditOrigin origin) { OnRecordsChanged(origin); });
    connect(&stack_, &QUndoStack::indexChanged, this, &PanelUndo::UpdateControls);
    connect(&stack_, &QUndoStack::cleanChanged, this, &PanelUndo::UpdateControls);
}

PanelUndo::~PanelUndo() = default;

void PanelUndo::Watch(ProcessorEditor& editor) {
    if (tracked_.count(&editor) != 0) {
        return;
    }
    tracked_[&editor].recorded = editor.Parameters();
    connect(&editor, &ProcessorEditor::recordsChanged, this,
            [this](const QList<Record>&, EditOrigin origin) { OnRecordsChanged(origin); });
    // The state a link loads when it comes up is the processor's, not an edit.
    connect(&editor.Link(), &DeviceLink::linkEstablished, this, &PanelUndo::Adopt);
    connect(&editor.Link(), &DeviceLink::resetStateApplied, this, &PanelUndo::Adopt);
}

void PanelUndo::Forget(ProcessorEditor& editor) {
    if (&editor == &first_) {
        return;
    }
    editor.disconnect(this);
    editor.Link().disconnect(this);
    tracked_.erase(&editor);
    if (editor_ == &editor) {
        SetCurrent(first_);
    }
}

void PanelUndo::SetCurrent(ProcessorEditor& editor) {
    Watch(editor);
    editor_ = &editor;
    UpdateControls();
}

const DeviceParameters& PanelUndo::Parameters() const {
    return editor_->Parameters();
}

int PanelUndo::ActiveMemory() const {
    return tracked_.at(editor_).active;
}

void PanelUndo::Capture(const QString& text, bool mergeable) {
    if (applying_ || actionDepth_ > 0) {
        return;
    }
    std::vector<UndoTarget> targets;
    // The current processor first: a step is described by its change.
    const auto record = [&](ProcessorEditor* editor, Tracked& tracked) {
        ChangeSet changes = DiffParameters(paths_, tracked.recorded, editor->Parameters(), true);
        tracked.recorded = editor->Parameters();
        if (!changes.Empty()) {
            targets.push_back({editor, std::move(changes)});
        }
    };
    record(editor_, tracked_.at(editor_));
    for (auto& [editor, tracked] : tracked_) {
        if (editor != editor_) {
            record(editor, tracked);
        }
    }
    if (targets.empty()) {
        return;
    }
    stack_.push(
        new ParameterChangeCommand(*this, std::move(targets), text, mergeable ? gesture_ : 0));
    UpdateControls();
}

void PanelUndo::BeginAction(const QString& text) {
    if (actionDepth_++ == 0) {
        actionText_ = text;
    }
}

void PanelUndo::EndAction(bool mergeable) {
    if (actionDepth_ > 0 && --actionDepth_ == 0) {
        Capture(std::exchange(actionText_, {}), mergeable);
    }
}

void PanelUndo::OnRecordsChanged(EditOrigin origin) {
    switch (origin) {
        case EditOrigin::Operator:
            Capture();
            break;
        case EditOrigin::Sequence:
            // Named actions have recorded their step already; any other is one step too.
            Capture({}, false);
            break;
        case EditOrigin::Remote:
        case EditOrigin::Processor:
            Adopt();  // the panel's steps are its operator's
            break;
        case EditOrigin::Undo:
            break;  // applied by a step: recorded already
    }
}

void PanelUndo::Adopt() {
    if (actionDepth_ > 0) {
        return;  // the action's changes are not recorded yet; what comes now joins them
    }
    for (auto& [editor, tracked] : tracked_) {
        tracked.recorded = editor->Parameters();
    }
}

void PanelUndo::Connected(const QString& address) {
    Adopt();
    if (address != device_) {
        // The steps and memories hold another processor's settings, or settings made before
        // any processor's state was known: undoing them would write them to this one.
        stack_.clear();
        Tracked& first = tracked_.at(&first_);
        first.memories = {};
        first.active = 0;
        UpdateControls();
    }
    device_ = address;
}

void PanelUndo::SwitchCompare() {
    Capture();  // nothing is pending in practice: every edit is recorded when announced
    stack_.push(new CompareSwitchCommand(*this, *editor_));
}

void PanelUndo::Swap(ProcessorEditor& editor) {
    Tracked& t = tracked_[&editor];
    const DeviceParameters& params = editor.Parameters();
    const int other = 1 - t.active;
    if (!t.memories[static_cast<std::size_t>(other)]) {
        t.memories[static_cast<std::size_t>(other)] = params;
    }
    t.memories[static_cast<std::size_t>(t.active)] = params;
    t.active = other;
    // Settings only: the device name is not part of what is compared.
    const DeviceParameters target = *t.memories[static_cast<std::size_t>(t.active)];
    Apply(editor, DiffParameters(paths_, params, target, false), true);
    UpdateControls();
}

void PanelUndo::Apply(ProcessorEditor& editor, const ChangeSet& changes, bool after) {
    DeviceParameters& params = editor.Parameters();
    for (const FieldChange& f : changes.fields) {
        if (std::int32_t* field = f.path.Field(params)) {
            *field = after ? f.after : f.before;
        }
    }
    if (changes.name) {
        params.deviceName = after ? changes.name->after : changes.name->before;
    }
    if (const auto t = tracked_.find(&editor); t != tracked_.end()) {
        t->second.recorded = params;
    }
    const std::vector<Record> records = changes.Records();
    if (records.empty()) {
        return;
    }
    // The editor announces the change; it is this step's own, not a new one.
    applying_ = true;
    if (refresh_) {
        refresh_();
    }
    if (records.size() == 1) {
        editor.Edited(records.front(), EditOrigin::Undo);
    } else {
        std::vector<PacedRecord> sequence;
        for (const Record& record : records) {
            sequence.push_back({record, GapAfter(record)});
        }
        editor.SendRecords(sequence, EditOrigin::Undo);
    }
    applying_ = false;
}

int PanelUndo::GapAfter(const Record& record) {
    return record.kind == RecordKind::Level || record.kind == RecordKind::Limiter ? 20 : 50;
}

void PanelUndo::BuildControls(QWidget* page, QWidget* window) {
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        auto* button = new QPushButton(QString::fromUtf8(kButtons[i].text), page);
        button->setObjectName(QString::fromUtf8(kButtons[i].objectName));
        button->setGeometry(QRect(QPoint(kButtons[i].x, kButtons[i].y), kButtonSize));
        button->setAutoDefault(false);
        // Reached by Tab; a click leaves the focus on the control being compared.
        button->setFocusPolicy(Qt::TabFocus);
        buttons_[i] = button;
    }
    connect(buttons_[0], &QPushButton::clicked, &stack_, &QUndoStack::undo);
    connect(buttons_[1], &QPushButton::clicked, &stack_, &QUndoStack::redo);
    connect(buttons_[2], &QPushButton::clicked, this, &PanelUndo::SwitchCompare);

    const auto shortcut = [window](QList<QKeySequence> keys) {
        auto* s = new QShortcut(window);
        s->setKeys(keys);
        return s;
    };
    connect(shortcut({QKeySequence(Qt::CTRL | Qt::Key_Z)}), &QShortcut::activated, &stack_,
            &QUndoStack::undo);
    connect(shortcut({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                      QKeySequence(Qt::CTRL | Qt::Key_Y)}),
            &QShortcut::activated, &stack_, &QUndoStack::redo);
    // A held F2 is one switch: its auto-repeat would flip A and B for as long as it is held.
    QShortcut* compare = shortcut({QKeySequence(Qt::Key_F2)});
    compare->setAutoRepeat(false);
    connect(compare, &QShortcut::activated, this, &PanelUndo::SwitchCompare);
    UpdateControls();
}

void PanelUndo::UpdateControls() {
    if (buttons_[0] == nullptr) {
        return;
    }
    buttons_[0]->setEnabled(stack_.canUndo());
    buttons_[0]->setToolTip(stack_.undoText());
    buttons_[1]->setEnabled(stack_.canRedo());
    buttons_[1]->setToolTip(stack_.redoText());
    const int active = ActiveMemory();
    buttons_[2]->setText(active == 0 ? QStringLiteral("A/B: A") : QStringLiteral("A/B: B"));
    buttons_[2]->setToolTip(tr("Settings %1 are active; F2 switches to %2")
                                .arg(active == 0 ? "A" : "B", active == 0 ? "B" : "A"));
}

// Gesture boundaries: a press or a key (not its auto-repeat) starts a gesture; a wheel
// notch continues the burst on the same control until a pause of kWheelBurstMs.
bool PanelUndo::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWidgetType()) {
        return false;  // the window-level copy of the same input
    }
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            BeginGesture(watched);
            break;
        case QEvent::KeyPress:
            if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
                BeginGesture(watched);
            }
            break;
        case QEvent::Wheel:
            if (wheelTarget_ != watched || !lastWheel_.isValid() ||
                lastWheel_.elapsed() > kWheelBurstMs) {
                BeginGesture(watched);
                wheelTarget_ = watched;
            }
            lastWheel_.restart();
            break;
        default:
            break;
    }
    return false;
}

void PanelUndo::BeginGesture(QObject* target) {
    // A control announces its edits queued, after its own input handling. When input comes
    // faster than the event loop turns, the edits of the last gesture may still wait: they
    // are delivered now, so that they are recorded as that gesture's, not as this one's.
    if (inputTarget_) {
        QCoreApplication::sendPostedEvents(inputTarget_, QEvent::MetaCall);
    }
    ++gesture_;
    inputTarget_ = target;
    wheelTarget_ = nullptr;
}

}  // namespace quorvell
