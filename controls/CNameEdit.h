// SPDX-License-Identifier: GPL-3.0-or-later
// The length-limited name field of the Name dialog.
#pragma once

#include <QColor>
#include <QLineEdit>

namespace quorvell {

class CNameEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit CNameEdit(QWidget* parent = nullptr);

    // Characters are refused once the text has this many (counted as code points, as the
    // user sees them); Backspace and Delete always work.
    void SetMaximumLength(int n);
    int MaximumLength() const { return maximumLength; }
    // The length of a name as the user sees it: its code points.
    static int Characters(const QString& text);

    // Background used while the field has the focus and after it loses it.
    void SetFocusBackground(const QColor& colour);
    void SetBackground(const QColor& colour);

    int notificationId = 0;

signals:
    void characterAccepted(int notificationId);
    void enterPressed(int notificationId);
    void focusGained(int notificationId);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int maximumLength = 8;
    QColor focusBackground = QColor(0, 0, 0);
};

}  // namespace quorvell
