// SPDX-License-Identifier: GPL-3.0-or-later
// The row of tabs above the pages naming every linked processor with its address and state;
// choosing a tab (click, or the arrows once Tab has reached the row) shows that processor.
#pragma once

#include <QColor>
#include <QList>
#include <QString>
#include <QTabBar>

namespace quorvell {

class ProcessorEditor;

class ProcessorRow : public QTabBar {
    Q_OBJECT

public:
    struct Entry {
        ProcessorEditor* editor = nullptr;
        QString text;  // name, address and state
        QString toolTip;
        QColor colour;
    };

    explicit ProcessorRow(QWidget* parent = nullptr);

    // Shows `entries` with `current` chosen; the row is hidden while it has fewer than two,
    // so that a panel of one processor looks as it always did. Emits nothing.
    void SetEntries(const QList<Entry>& entries, const ProcessorEditor* current);
    const QList<ProcessorEditor*>& Editors() const { return editors_; }

signals:
    void processorChosen(quorvell::ProcessorEditor* editor);

private:
    QList<ProcessorEditor*> editors_;
    bool updating_ = false;
};

}  // namespace quorvell
