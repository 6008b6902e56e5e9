// SPDX-License-Identifier: GPL-3.0-or-later
// Swallows the rest of a double-click after a click has closed the window it landed on.
#pragma once

#include <QObject>
#include <QPoint>
#include <QTimer>

namespace quorvell {

// When a click chooses from a pop-up and the pop-up closes, the second press of a
// double-click would land on whatever lies beneath and act there: one gesture, two edits.
// For the double-click interval, presses (and their button-up) within the double-click
// distance of `globalPos` are dropped for the whole application; anything else passes. Each
// dropped press starts the interval again, so a triple-click is swallowed whole too.
class PressSwallower : public QObject {
    Q_OBJECT

public:
    // Starts swallowing around `globalPos` (screen coordinates); owned by the application
    // object and deleted when the interval ends.
    static void Arm(QPoint globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit PressSwallower(QPoint globalPos);
    bool Near(QPoint p) const;

    void EndIfIdle();

    QPoint at;
    QTimer interval;
    bool swallowing = false;  // a press was dropped: drop its button-up too
    bool expired = false;     // the interval has ended; go with the next button-up
};

}  // namespace quorvell
