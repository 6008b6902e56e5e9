// SPDX-License-Identifier: GPL-3.0-or-later
// The owner-drawn list inside a drop-down's pop-up: 40-pixel navy items, teal selection.
#pragma once

#include <QStringList>
#include <QWidget>

class QScrollBar;

namespace quorvell {

class CDropListBox : public QWidget {
    Q_OBJECT

public:
    static constexpr int kControlId = 1125;
    static constexpr int kItemHeight = 40;

    explicit CDropListBox(QWidget* parent = nullptr);

    void AddItem(const QString& text);
    int Count() const { return static_cast<int>(items.size()); }
    QString ItemText(int index) const;

    // The selected (highlighted) entry, -1 for none. Setting it never counts as a choice.
    int Selection() const { return selection; }
    void SetSelection(int index);

    // The entry last chosen from the pop-up.
    int committedIndex = 0;

    // Item rectangle in the list's coordinates (scrolled), for painting and tests.
    QRect ItemRect(int index) const;
    int IndexAt(QPoint pos) const;
    QScrollBar* ScrollBar() const { return scrollBar; }

    // Set while the pop-up was opened from the keyboard: arrows move the highlight only, and
    // Enter or Space takes it.
    bool keyboardMode = false;

signals:
    // The operator changed the selection by a click or a key; `pointerInside` tells whether
    // the pointer was over the list at that moment (a click always is).
    void operatorChangedSelection(int index, bool pointerInside);
    // The operator clicked entry `index`; `globalPos` is where the press landed.
    void entryClicked(int index, QPoint globalPos);
    // The operator took the highlighted entry with Enter or Space.
    void entryTaken(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void UpdateScrollBar();
    void EnsureVisible(int index);

    QStringList items;
    int selection = -1;
    bool pointerInside = false;
    QScrollBar* scrollBar = nullptr;
};

}  // namespace quorvell
