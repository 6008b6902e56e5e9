// SPDX-License-Identifier: GPL-3.0-or-later
// The LIMIT page, built from its table.
#include "CLimiterPage.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "CTextLabel.h"
#include "CValueStepper.h"
#include "LimiterPageTable.h"
#include "PageBuilder.h"

namespace quorvell {

CLimiterPage::CLimiterPage(DeviceParameters& params, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), params_(&params), boxes_(boxes) {
    setObjectName(QStringLiteral("CLimiterPage"));
    setGeometry(kPageX, kPageY, kPageWidth, kPageHeight);
    setFocusPolicy(Qt::ClickFocus);

    for (const LabelSpec& entry : limiter::kLabels) {
        labels_[entry.id] = BuildLabel(entry, this);
    }
    for (const StepperSpec& entry : limiter::kSteppers) {
        CValueStepper* stepper = BuildStepper(entry, this);
        steppers_[entry.id] = stepper;
        connect(stepper, &CValueStepper::valueChanged, this, &CLimiterPage::OnValueChanged);
    }
    for (const ButtonSpec& entry : limiter::kResetButtons) {
        QPushButton* button = BuildPushButton(entry, this);
        const int channel = entry.channel;
        connect(button, &QPushButton::clicked, this, [this, channel] { OnReset(channel); });
        reset_[channel] = button;
    }
    OrderTabsByRows(this, kPageHeight, limiter::kChannelX[1] - 5);
    hide();
}

CLimiterPage::~CLimiterPage() = default;

CValueStepper* CLimiterPage::Stepper(int id) const {
    const auto it = steppers_.find(id);
    return it == steppers_.end() ? nullptr : it->second;
}

CTextLabel* CLimiterPage::Label(int id) const {
    const auto it = labels_.find(id);
    return it == labels_.end() ? nullptr : it->second;
}

QPushButton* CLimiterPage::ResetButton(int channel) const {
    return reset_[channel & 1];
}

void CLimiterPage::ShowPage() {
    RefreshFromModel();
    show();
}

void CLimiterPage::RefreshFromModel() {
    for (const StepperSpec& entry : limiter::kSteppers) {
        steppers_[entry.id]->SetValue(FieldValue(*params_, entry.binding));
    }
}

void CLimiterPage::OnValueChanged(int id, int /*value*/) {
    for (const StepperSpec& entry : limiter::kSteppers) {
        if (entry.id == id) {
            FieldOf(*params_, entry.binding) = steppers_[id]->GetValue();
            emit recordEdited(RecordOf(entry.binding));
            return;
        }
    }
}

void CLimiterPage::OnReset(int channel) {
    const Message question{limiter::kResetQuestion, "", MessageButtons::OkCancel,
                           MessageIcon::Warning};
    if (boxes_.Show(question) != MessageAnswer::Ok) {
        return;
    }
    LimiterSettings& lim = params_->channels[static_cast<std::size_t>(channel)].limiter;
    lim.attack = limiter::kResetAttack;
    lim.release = limiter::kResetRelease;
    lim.ratio = limiter::kResetRatio;
    lim.threshold = limiter::kResetThreshold;
    RefreshFromModel();
    emit channelReset(channel);
}

void CLimiterPage::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(QPen(QColor::fromRgb(kFrameColor), kFramePenWidth));
    painter.drawRect(QRect(0, 0, width() - 10, 250));  // (0,0)..(790,250)
    painter.drawLine(395, 0, 395, 250);
}

void CLimiterPage::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterEscape(event)) {
        QWidget::keyPressEvent(event);
    }
}

}  // namespace quorvell
