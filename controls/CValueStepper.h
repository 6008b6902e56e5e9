// SPDX-License-Identifier: GPL-3.0-or-later
// The 90 x 20 skinned value stepper: arrows with auto-repeat, wheel, keys and direct entry.
#pragma once

#include <QColor>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

namespace quorvell {

class CValueStepper : public QWidget {
    Q_OBJECT

public:
    // Hit zones of the bar, left to right; None while the pointer is elsewhere.
    enum class Zone { None = 0, Decrease = 1, Middle = 2, Increase = 3 };

    // Opens the Value dialog showing `shown` and returns the confirmed number, or nothing on
    // Cancel. The default runs CValueDialog modally; tests install their own.
    using ValueDialogHook = std::function<std::optional<double>(double shown)>;

    explicit CValueStepper(int controlId = 0, QWidget* parent = nullptr);
    ~CValueStepper() override;

    // The id carried by every valueChanged notification (the page's control id).
    void SetControlId(int id) { controlId = id; }
    int ControlId() const { return controlId; }

    // Stores the four image ids (see SkinImages.h), resizes the control to the normal image
    // (position kept) and computes the three zones from the new width.
    void SetImages(int normal, int decreaseLit, int middleLit, int increaseLit);
    void SetDisabledImage(int id);

    // Stores the range; the current value is not re-clamped.
    void SetRange(int min, int max);
    int Minimum() const { return minimum; }
    int Maximum() const { return maximum; }

    // Clamps v to the range (max first, then min), stores it and sets the text from the kind.
    // Never notifies.
    void SetValue(int v);
    int GetValue() const { return value; }

    // value + delta, bounded (by the partner for kinds 8 and 9), then SetValue and a
    // notification, also when the value did not change. Ignored for an unknown kind.
    void Step(int delta);

    // The shown text: the kind's format of the value, "NULL" for an unknown kind.
    QString Text() const { return text; }
    Zone CurrentZone() const { return zone; }
    QRect DecreaseRect() const { return decreaseRect; }
    QRect MiddleRect() const { return middleRect; }
    QRect IncreaseRect() const { return increaseRect; }
    bool IsRepeating() const { return repeatTimer.isActive(); }
    // True from an arrow press until its hold ends (see EndHold).
    bool IsHeld() const { return pressed || repeatArmed; }
    // True while the control shows its focus frame: focused by the keyboard, or a key was used.
    bool ShowsFocus() const { return hasFocus() && focusShown; }

    void SetValueDialogHook(ValueDialogHook hook);

    // The keys' large step, towards `direction` (+1 up, -1 down): to the next third-octave
    // centre for frequencies (20 Hz to 20 kHz in 30 presses), else ten steps. Home and End go to
    // the bounds; Return, Enter or F4 opens the value dialog.
    int LargeStep(int direction) const;
    static constexpr int kLargeStepFactor = 10;

    // Timing of the auto-repeat, in ms: the rest before the first hover notification after
    // a move (5), after a step by click (100), and the repeat period (100).
    void SetTimings(int restMs, int afterClickMs, int repeatMs);

    // StepperKind code (DisplayFormats.h); the page writes it before the first SetValue.
    int kind = 0;
    // Bound for kinds 8 and 9; pages set it for every stepper (often the stepper itself).
    CValueStepper* partner = nullptr;
    // Colour of the value text.
    QColor textColor = QColor(255, 255, 255);

signals:
    // Operator changes only, delivered queued: the page handles it after the stepper's own
    // input handling, with the stepper already showing `value`.
    void valueChanged(int controlId, int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void PostValueChanged();
    void ComputeZones();
    void SetZone(Zone z);
    Zone HitTest(QPoint p) const;
    void RequestHover(int ms);
    void OnHover();
    void OnRepeatTick();
    void PressArrow(int direction);
    // Ends an arrow hold however it ends (button-up, a lost release, focus loss, hide, a
    // modal window): clears pressed, armed and the repeat count and stops both timers, so
    // that resting the pointer on an arrow afterwards never steps.
    void EndHold();
    void OpenValueDialog();
    int CurrentImage() const;
    bool HasDialog() const;
    // The range an arrow may reach: kinds 8 and 9 are also bounded by the partner.
    int UpperBound() const;
    int LowerBound() const;

    int controlId = 0;
    int normalImage = 0;
    int decreaseImage = 0;
    int middleImage = 0;
    int increaseImage = 0;
    int disabledImage = 0;
    int minimum = 0;
    int maximum = 0;
    int value = 0;
    Zone zone = Zone::None;
    QRect decreaseRect;
    QRect middleRect;
    QRect increaseRect;
    bool pressed = false;
    bool repeatArmed = false;
    int repeatCount = 0;
    bool focusShown = false;
    int wheelAccumulator = 0;
    int restMs = 5;
    int afterClickMs = 100;
    QString text;
    QTimer hoverTimer;
    QTimer repeatTimer;
    ValueDialogHook valueDialog;
};

}  // namespace quorvell
