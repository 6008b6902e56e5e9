// SPDX-License-Identifier: GPL-3.0-or-later
// Value stepper: zones, clicks, auto-repeat, wheel, keys and direct entry.
#include "CValueStepper.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

#include "CValueDialog.h"
#include "ControlAccessible.h"
#include "ControlFonts.h"
#include "DisplayFormats.h"
#include "FocusFrame.h"
#include "SkinImages.h"
#include "SkinPainter.h"

namespace quorvell {
namespace {

constexpr int kWheelNotch = 120;

bool IsAccelerating(int kind) {
    return kind == static_cast<int>(StepperKind::Frequency) ||
           kind == static_cast<int>(StepperKind::FrequencyBelowPartner) ||
           kind == static_cast<int>(StepperKind::FrequencyAbovePartner);
}

// Kinds 43 to 48 keep posting the bound while an arrow is held on it.
bool RepostsAtBound(int kind) {
    return kind >= static_cast<int>(StepperKind::DelayTime) &&
           kind <= static_cast<int>(StepperKind::Ratio);
}

// Converts the confirmed number to raw, truncating toward zero; saturates far outside int.
// A result within float rounding of a whole number is that number: typed 3.3 is held as the
// float 3.2999999523 and would otherwise truncate to the raw unit below (G:3.2).
int ToRaw(double x) {
    if (!std::isfinite(x)) {
        return 0;
    }
    const double nearest = std::round(x);
    const double t =
        std::fabs(x - nearest) <= 1e-6 * std::max(1.0, std::fabs(x)) ? nearest : std::trunc(x);
    if (t >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (t <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(t);
}

// The number the Value dialog shows for raw value r, and the raw value made from number n.
double ShownNumber(int kind, int r) {
    switch (static_cast<StepperKind>(kind)) {
        case StepperKind::QFactor:
        case StepperKind::Ratio:
            return r * 0.1;
        case StepperKind::EqGain:
            return (r - 180) * 0.1;
        case StepperKind::Volume:
            return 24.0 - r * 0.5;
        case StepperKind::Threshold:
            return -static_cast<double>(r);
        default:
            return r;
    }
}

int RawFromNumber(int kind, double n) {
    switch (static_cast<StepperKind>(kind)) {
        case StepperKind::QFactor:
        case StepperKind::Ratio:
            return ToRaw(n * 10);
        case StepperKind::EqGain:
            return ToRaw(n / 0.1 + 180);
        case StepperKind::Volume:
            return ToRaw((24.0 - n) / 0.5);
        case StepperKind::Threshold:
            return ToRaw(std::fabs(n));
        default:
            return ToRaw(n);
    }
}

}  // namespace

CValueStepper::CValueStepper(int controlId, QWidget* parent)
    : QWidget(parent), controlId(controlId) {
    InstallControlAccessibility();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
    resize(90, 20);
    ComputeZones();
    hoverTimer.setSingleShot(true);
    repeatTimer.setInterval(100);
    connect(&hoverTimer, &QTimer::timeout, this, &CValueStepper::OnHover);
    connect(&repeatTimer, &QTimer::timeout, this, &CValueStepper::OnRepeatTick);
}

CValueStepper::~CValueStepper() = default;

void CValueStepper::SetImages(int normal, int decreaseLit, int middleLit, int increaseLit) {
    normalImage = normal;
    decreaseImage = decreaseLit;
    middleImage = middleLit;
    increaseImage = increaseLit;
    const QSize imageSize = SkinImageSize(normal);
    if (!imageSize.isEmpty()) {
        resize(imageSize);
    }
    ComputeZones();
    update();
}

void CValueStepper::SetDisabledImage(int id) {
    disabledImage = id;
    update();
}

void CValueStepper::SetRange(int min, int max) {
    minimum = min;
    maximum = max;
}

void CValueStepper::SetValue(int v) {
    if (v > maximum) {
        v = maximum;
    } else if (v < minimum) {
        v = minimum;
    }
    value = v;
    text = QString::fromStdString(FormatForKind(kind, value));
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(this, text);
        QAccessible::updateAccessibility(&event);
    }
}

void CValueStepper::Step(int delta) {
    if (!IsKnownStepperKind(kind)) {
        return;
    }
    // Widened so that a step from the end of the int range cannot overflow.
    long long v = static_cast<long long>(value) + delta;
    const bool partnerBound = kind == static_cast<int>(StepperKind::FrequencyBelowPartner) ||
                              kind == static_cast<int>(StepperKind::FrequencyAbovePartner);
    if (kind == static_cast<int>(StepperKind::FrequencyBelowPartner) && partner != nullptr &&
        v > partner->GetValue()) {
        v = partner->GetValue();
    }
    if (kind == static_cast<int>(StepperKind::FrequencyAbovePartner) && partner != nullptr &&
        v < partner->GetValue()) {
        v = partner->GetValue();
    }
    if (partnerBound) {
        v = std::max<long long>(v, minimum);
        v = std::min<long long>(v, maximum);
    } else {
        v = std::min<long long>(v, maximum);
        v = std::max<long long>(v, minimum);
    }
    SetValue(static_cast<int>(v));
    PostValueChanged();
}

int CValueStepper::LargeStep(int direction) const {
    const auto k = static_cast<StepperKind>(kind);
    if (k == StepperKind::Frequency || k == StepperKind::FrequencyBelowPartner ||
        k == StepperKind::FrequencyAbovePartner) {
        // The next third-octave centre frequency of the preferred series (…, 20, 25, 32, 40,
        // 50, 63, 80, 100 Hz, …), so that a few presses land on the values people type.
        static constexpr std::array<double, 10> kThirds = {10.0, 12.5, 16.0, 20.0, 25.0,
                                                           31.5, 40.0, 50.0, 63.0, 80.0};
        std::optional<int> next;
        for (double decade = 1.0; decade <= 1e6; decade *= 10.0) {
            for (const double t : kThirds) {
                const int hz = static_cast<int>(std::lround(t * decade));
                if (direction > 0 && hz > value && !next) {
                    next = hz;
                }
                if (direction < 0 && hz < value) {
                    next = hz;
                }
            }
        }
        return next ? *next - value : direction;
    }
    return direction * kLargeStepFactor;
}

void CValueStepper::SetValueDialogHook(ValueDialogHook hook) {
    valueDialog = std::move(hook);
}

void CValueStepper::SetTimings(int rest, int afterClick, int repeat) {
    restMs = rest;
    afterClickMs = afterClick;
    repeatTimer.setInterval(repeat);
}

void CValueStepper::PostValueChanged() {
    QMetaObject::invokeMethod(
        this, [this, id = controlId, v = value] { emit valueChanged(id, v); },
        Qt::QueuedConnection);
}

// Decrease | middle | increase, with the arrow zones 2/11 of the width each.
void CValueStepper::ComputeZones() {
    const int w = width();
    const double z = w * 0.18181818181818182;
    const int left = static_cast<int>(z);
    const int right = static_cast<int>(w - z);
    decreaseRect = QRect(0, 0, left, height());
    middleRect = QRect(left, 0, right - left, height());
    increaseRect = QRect(right, 0, w - right, height());
}

// The middle first, then the arrows; None outside all three.
CValueStepper::Zone CValueStepper::HitTest(QPoint p) const {
    if (middleRect.contains(p)) {
        return Zone::Middle;
    }
    if (decreaseRect.contains(p)) {
        return Zone::Decrease;
    }
    if (increaseRect.contains(p)) {
        return Zone::Increase;
    }
    return Zone::None;
}

void CValueStepper::SetZone(Zone z) {
    if (z != zone) {
        zone = z;
        update();
    }
}

void CValueStepper::RequestHover(int ms) {
    hoverTimer.start(ms);
}

void CValueStepper::OnHover() {
    if (repeatArmed) {
        repeatTimer.start();
    }
}

int CValueStepper::UpperBound() const {
    if (kind == static_cast<int>(StepperKind::FrequencyBelowPartner) && partner != nullptr) {
        return std::max(minimum, std::min(maximum, partner->GetValue()));
    }
    return maximum;
}

int CValueStepper::LowerBound() const {
    if (kind == static_cast<int>(StepperKind::FrequencyAbovePartner) && partner != nullptr) {
        return std::min(maximum, std::max(minimum, partner->GetValue()));
    }
    return minimum;
}

void CValueStepper::OnRepeatTick() {
    int direction = 0;
    if (zone == Zone::Decrease) {
        direction = -1;
    } else if (zone == Zone::Increase) {
        direction = 1;
    }
    if (direction == 0 || !IsKnownStepperKind(kind)) {
        return;
    }
    const int bound = direction > 0 ? UpperBound() : LowerBound();
    const long long stepSize = IsAccelerating(kind) ? ++repeatCount : 1;
    if (!RepostsAtBound(kind) && value == bound) {
        return;
    }
    long long v = static_cast<long long>(value) + direction * stepSize;
    v = direction > 0 ? std::min<long long>(v, bound) : std::max<long long>(v, bound);
    SetValue(static_cast<int>(v));
    PostValueChanged();
}

void CValueStepper::PressArrow(int direction) {
    setFocus(Qt::MouseFocusReason);
    pressed = true;
    repeatArmed = true;
    repeatCount = 0;
    const int bound = direction > 0 ? UpperBound() : LowerBound();
    if (value == bound || !IsKnownStepperKind(kind)) {
        return;
    }
    SetValue(value + direction);
    PostValueChanged();
    RequestHover(afterClickMs);
}

bool CValueStepper::HasDialog() const {
    switch (static_cast<StepperKind>(kind)) {
        case StepperKind::Frequency:
        case StepperKind::QFactor:
        case StepperKind::EqGain:
        case StepperKind::Volume:
        case StepperKind::Threshold:
        case StepperKind::AttackTime:
        case StepperKind::ReleaseTime:
        case StepperKind::Ratio:
            return true;
        default:
            return false;
    }
}

void CValueStepper::OpenValueDialog() {
    if (HasDialog()) {
        const double shown = ShownNumber(kind, value);
        const std::optional<double> answer =
            valueDialog ? valueDialog(shown) : CValueDialog::Ask(this, shown);
        if (answer) {
            // The dialog holds the number as a 32-bit float; the conversion runs in double.
            const double n = static_cast<float>(*answer);
            SetValue(RawFromNumber(kind, n));
            PostValueChanged();
        }
    }
    EndHold();
    SetZone(Zone::None);
}

void CValueStepper::EndHold() {
    pressed = false;
    repeatArmed = false;
    repeatCount = 0;
    repeatTimer.stop();
    hoverTimer.stop();
}

int CValueStepper::CurrentImage() const {
    if (!isEnabled()) {
        return disabledImage;
    }
    switch (zone) {
        case Zone::Decrease:
            return decreaseImage;
        case Zone::Middle:
            return middleImage;
        case Zone::Increase:
            return increaseImage;
        case Zone::None:
            break;
    }
    return normalImage;
}

void CValueStepper::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintSkin(painter, *this, CurrentImage());
    if (text.isEmpty()) {
        if (ShowsFocus()) {
            PaintFocusFrame(painter, rect());
        }
        return;
    }
    painter.setRenderHint(QPainter::TextAntialiasing);
    // The text stays between the arrows: a long value ("Vol:-103.0") takes a smaller font
    // rather than covering them.
    const QRect area = middleRect.isEmpty() ? rect() : middleRect;
    painter.setFont(
        FittingFont(PixelFont(QString::fromLatin1(kCaptionFamily), 16), text, area.width()));
    painter.setPen(textColor);
    painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine, text);
    if (ShowsFocus()) {
        PaintFocusFrame(painter, rect());
    }
}

void CValueStepper::mouseMoveEvent(QMouseEvent* event) {
    if (pressed && !(event->buttons() & Qt::LeftButton)) {
        EndHold();  // the button came up where this control could not see it
    }
    const QPoint p = event->position().toPoint();
    if (!rect().contains(p)) {
        // Held outside (the pointer stays grabbed): the repeat pauses on the middle image.
        SetZone(pressed ? Zone::Middle : Zone::None);
        hoverTimer.stop();
        return;
    }
    SetZone(HitTest(p));
    RequestHover(restMs);
}

void CValueStepper::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // A press without a preceding move (touch, first click) still hits the zone under it.
    SetZone(HitTest(event->position().toPoint()));
    switch (zone) {
        case Zone::Decrease:
            PressArrow(-1);
            break;
        case Zone::Increase:
            PressArrow(1);
            break;
        case Zone::Middle:
            OpenValueDialog();
            break;
        case Zone::None:
            break;
    }
}

void CValueStepper::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    EndHold();
    if (!rect().contains(event->position().toPoint())) {
        SetZone(Zone::None);
    }
}

// A double click is a second press, as on a push button.
void CValueStepper::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void CValueStepper::leaveEvent(QEvent* event) {
    SetZone(pressed ? Zone::Middle : Zone::None);
    hoverTimer.stop();
    QWidget::leaveEvent(event);
}

void CValueStepper::wheelEvent(QWheelEvent* event) {
    event->accept();
    // Each message on its own: one notch at most, and nothing carried over.
    wheelAccumulator = std::clamp(event->angleDelta().y(), -kWheelNotch, kWheelNotch);
    if (wheelAccumulator == -kWheelNotch) {
        Step(-1);
    } else if (wheelAccumulator == kWheelNotch) {
        Step(1);
    }
    wheelAccumulator = 0;
}

void CValueStepper::keyPressEvent(QKeyEvent* event) {
    if (!focusShown) {
        focusShown = true;
        update();
    }
    switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Down:
            Step(-1);
            event->accept();
            return;
        case Qt::Key_Up:
        case Qt::Key_Right:
            Step(1);
            event->accept();
            return;
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            Step(LargeStep(event->key() == Qt::Key_PageUp ? 1 : -1));
            event->accept();
            return;
        case Qt::Key_Home:
        case Qt::Key_End:
            // Step() bounds the value by the range and the partner, as an arrow does.
            Step(static_cast<int>(std::clamp<long long>(
                static_cast<long long>(event->key() == Qt::Key_End ? maximum : minimum) - value,
                std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_F4:
            // One dialog per press: a held Return must not reopen it when it closes.
            if (!event->isAutoRepeat()) {
                OpenValueDialog();
            }
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void CValueStepper::focusInEvent(QFocusEvent* event) {
    focusShown = FocusShownAfter(focusShown, event->reason());
    update();
    QWidget::focusInEvent(event);
}

void CValueStepper::focusOutEvent(QFocusEvent* event) {
    EndHold();
    SetZone(Zone::None);
    update();
    QWidget::focusOutEvent(event);
}

void CValueStepper::hideEvent(QHideEvent* event) {
    EndHold();
    SetZone(Zone::None);
    QWidget::hideEvent(event);
}

void CValueStepper::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            EndHold();
            SetZone(Zone::None);
        }
        update();
    } else if (event->type() == QEvent::ActivationChange && !isActiveWindow()) {
        EndHold();
        SetZone(Zone::None);
    }
    QWidget::changeEvent(event);
}

// A modal window takes the pointer and the button-up with it; a lost grab does the same.
bool CValueStepper::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked || event->type() == QEvent::UngrabMouse) {
        EndHold();
        SetZone(Zone::None);
    }
    return QWidget::event(event);
}

void CValueStepper::resizeEvent(QResizeEvent* event) {
    ComputeZones();
    QWidget::resizeEvent(event);
}

}  // namespace quorvell
