// SPDX-License-Identifier: GPL-3.0-or-later
// The processor row: tabs kept in step with the rack, chosen without a signal loop.
#include "ProcessorRow.h"

#include <QFont>

namespace quorvell {

ProcessorRow::ProcessorRow(QWidget* parent) : QTabBar(parent) {
    setObjectName(QStringLiteral("processorRow"));
    setAccessibleName(QStringLiteral("Processors"));
    setFocusPolicy(Qt::StrongFocus);
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideNone);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    connect(this, &QTabBar::currentChanged, this, [this](int index) {
        if (!updating_ && index >= 0 && index < editors_.size()) {
            emit processorChosen(editors_[index]);
        }
    });
    hide();
}

void ProcessorRow::SetEntries(const QList<Entry>& entries, const ProcessorEditor* current) {
    updating_ = true;
    QList<ProcessorEditor*> editors;
    for (const Entry& entry : entries) {
        editors.push_back(entry.editor);
    }
    if (editors != editors_) {
        while (count() > 0) {
            removeTab(0);
        }
        for (const Entry& entry : entries) {
            addTab(entry.text);
        }
        editors_ = editors;
    }
    for (int i = 0; i < entries.size(); ++i) {
        setTabText(i, entries[i].text);
        setTabToolTip(i, entries[i].toolTip);
        setTabTextColor(i, entries[i].colour);
        if (entries[i].editor == current) {
            setCurrentIndex(i);
        }
    }
    setVisible(entries.size() > 1);
    updating_ = false;
}

}  // namespace quorvell
