// SPDX-License-Identifier: GPL-3.0-or-later
// The MAIN page, built from its table; edits are stored, then announced to the main window.
#include "CEqPage.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "CAutoEqDialog.h"
#include "CDropDown.h"
#include "CDropPopup.h"  // CDropDown holds a QPointer to it
#include "CResponseCurve.h"
#include "CTextLabel.h"
#include "CValueStepper.h"
#include "EqPageTable.h"
#include "PageBuilder.h"
#include "PngButton.h"
#include "SkinImages.h"

namespace quorvell {

namespace {

const StepperSpec* FindStepper(int id) {
    for (const StepperSpec& entry : eq::kSteppers) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

const DropDownSpec* FindSelector(int notifyId) {
    for (const DropDownSpec& entry : eq::kTypeSelectors) {
        if (entry.notifyId == notifyId) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

CEqPage::CEqPage(DeviceParameters& params, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), params_(&params), boxes_(boxes) {
    setObjectName(QStringLiteral("CEqPage"));
    setGeometry(kPageX, kPageY, kPageWidth, kPageHeight);
    setFocusPolicy(Qt::ClickFocus);

    for (const LabelSpec& entry : eq::kLabels) {
        labels_[entry.id] = BuildLabel(entry, this);
    }
    for (const StepperSpec& entry : eq::kSteppers) {
        CValueStepper* stepper = BuildStepper(entry, this);
        steppers_[entry.id] = stepper;
        connect(stepper, &CValueStepper::valueChanged, this, &CEqPage::OnValueChanged);
    }
    // CH2 frequency steppers are bounded by the CH1 stepper of the same row (kinds 8/9 only).
    for (int b = 1; b <= kBandCount; ++b) {
        steppers_[eq::FreqId(1, b)]->partner = steppers_[eq::FreqId(0, b)];
    }
    steppers_[eq::HipassFreqId(1)]->partner = steppers_[eq::HipassFreqId(0)];
    steppers_[eq::LopassFreqId(1)]->partner = steppers_[eq::LopassFreqId(0)];

    for (const DropDownSpec& entry : eq::kTypeSelectors) {
        auto* selector = new CDropDown(this);
        selector->setObjectName(QStringLiteral("dropdown%1").arg(entry.id));
        selector->move(entry.x, entry.y);
        selector->SetImages(kDropDownNormal, kDropDownHover);
        selector->CreateList(entry.notifyId);
        for (const char* item : eq::kTypeItems) {
            selector->AddItem(QString::fromUtf8(item));
        }
        selector->SetSelection(0);
        selector->setAccessibleName(DescribeBinding(entry.binding));
        selectors_[entry.notifyId] = selector;
        connect(selector, &CDropDown::selectionChanged, this, &CEqPage::OnSelectorChanged);
    }
    for (const ButtonSpec& entry : eq::kResetButtons) {
        QPushButton* button = BuildPushButton(entry, this);
        const int channel = entry.channel;
        connect(button, &QPushButton::clicked, this, [this, channel] { OnReset(channel); });
        reset_[channel] = button;
    }
    for (const ButtonSpec& entry : eq::kPhaseButtons) {
        auto* button = new PngButton(QString::fromUtf8(entry.text), this);
        button->setObjectName(QStringLiteral("button%1").arg(entry.id));
        button->setGeometry(entry.x, entry.y, entry.width, entry.height);
        // The reverse of the main window's pair: cyan with black text while normal.
        button->sizeMode = 0;
        button->offCaptionColor = QColor(0, 0, 0);
        button->onCaptionColor = QColor(255, 255, 255);
        button->SetImages(kButtonCyanWide, kButtonDarkWide);
        button->setAccessibleName(QStringLiteral("CH%1 phase").arg(entry.channel + 1));
        const int channel = entry.channel;
        connect(button, &PngButton::clicked, this, [this, channel] { OnPhase(channel); });
        phase_[channel] = button;
    }
    BuildTools();
    OrderTabs();
    hide();
}

CEqPage::~CEqPage() = default;

CValueStepper* CEqPage::Stepper(int id) const {
    const auto it = steppers_.find(id);
    return it == steppers_.end() ? nullptr : it->second;
}

CDropDown* CEqPage::TypeSelector(int notifyId) const {
    const auto it = selectors_.find(notifyId);
    return it == selectors_.end() ? nullptr : it->second;
}

CTextLabel* CEqPage::Label(int id) const {
    const auto it = labels_.find(id);
    return it == labels_.end() ? nullptr : it->second;
}

PngButton* CEqPage::PhaseButton(int channel) const {
    return phase_[channel & 1];
}
QPushButton* CEqPage::ResetButton(int channel) const {
    return reset_[channel & 1];
}

void CEqPage::ShowPage() {
    RefreshFromModel();
    show();
}

void CEqPage::SetModel(DeviceParameters& params) {
    if (autoEqWindow_) {
        autoEqWindow_->close();
    }
    params_ = &params;
    curve_->SetModel(params);
    if (largeCurve_) {
        largeCurve_->SetModel(params);
    }
    RefreshFromModel();
}

void CEqPage::RefreshFromModel() {
    // The drop-downs repaint at once when set; setting them before the steppers (which only
    // schedule a paint) keeps those synchronous paints from drawing every stepper again.
    for (const DropDownSpec& entry : eq::kTypeSelectors) {
        selectors_[entry.notifyId]->SetSelection(FieldValue(*params_, entry.binding));
    }
    for (const StepperSpec& entry : eq::kSteppers) {
        steppers_[entry.id]->SetValue(FieldValue(*params_, entry.binding));
    }
    for (int c = 0; c < 2; ++c) {
        phase_[c]->on = params_->channels[static_cast<std::size_t>(c)].phase != 0;
        phase_[c]->update();
    }
    ShowCrossoverQ();
    RefreshCurves();
}

void CEqPage::ShowCrossoverQ() {
    for (const DropDownSpec& entry : eq::kTypeSelectors) {
        const bool variable =
            FieldValue(*params_, entry.binding) == static_cast<int>(FilterType::Variable);
        steppers_[entry.qStepperId]->setVisible(variable);
    }
}

void CEqPage::OnValueChanged(int id, int /*value*/) {
    const StepperSpec* entry = FindStepper(id);
    if (entry == nullptr) {
        return;
    }
    // The value the stepper holds now: a later step may already have superseded the one the
    // notification carries.
    FieldOf(*params_, entry->binding) = steppers_[id]->GetValue();
    RefreshCurves();
    emit recordEdited(RecordOf(entry->binding));
}

void CEqPage::OnSelectorChanged(int notifyId, int /*index*/) {
    const DropDownSpec* entry = FindSelector(notifyId);
    if (entry == nullptr) {
        return;
    }
    const int type = selectors_[notifyId]->GetSelection();
    steppers_[entry->qStepperId]->setVisible(type == static_cast<int>(FilterType::Variable));
    FieldOf(*params_, entry->binding) = type;
    RefreshCurves();
    emit recordEdited(RecordOf(entry->binding));
}

void CEqPage::OnPhase(int channel) {
    PngButton* button = phase_[channel];
    button->on = !button->on;
    button->update();
    params_->channels[static_cast<std::size_t>(channel)].phase = button->on ? 1 : 0;
    emit recordEdited(RecordOf({BoundField::Phase, channel, 0}));
}

void CEqPage::OnReset(int channel) {
    const Message question{eq::kResetQuestion, "", MessageButtons::OkCancel, MessageIcon::Warning};
    if (boxes_.Show(question) != MessageAnswer::Ok) {
        return;
    }
    ChannelParameters& ch = params_->channels[static_cast<std::size_t>(channel)];
    ch.hipass.q = eq::kResetCrossoverQ;
    ch.lopass.q = eq::kResetCrossoverQ;
    ch.hipass.type = static_cast<int>(FilterType::Butterworth1);
    ch.lopass.type = static_cast<int>(FilterType::Butterworth1);
    ch.hipass.freq = eq::kResetHipassFreq;
    ch.lopass.freq = eq::kResetLopassFreq;
    for (int b = 1; b <= kBandCount; ++b) {
        EqBand& band = ch.bands[static_cast<std::size_t>(b)];
        band.q = eq::kResetBandQ;
        band.gain = eq::kResetBandGain;
        band.flag = 1;
        band.freq = eq::kResetBandFreq[static_cast<std::size_t>(b - 1)];
    }
    RefreshFromModel();
    emit channelReset(channel);
}

void CEqPage::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setPen(QPen(QColor::fromRgb(kFrameColor), kFramePenWidth));
    const QRect frame(0, 0, width() - 10, height() - 30);  // (0,0)..(790,550)
    painter.drawRect(frame);
    painter.drawLine(395, 0, 395, frame.height());
    painter.drawLine(0, 400, frame.width(), 400);
}

void CEqPage::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterEscape(event)) {
        QWidget::keyPressEvent(event);
    }
}

void CEqPage::OrderTabs() {
    OrderTabsByRows(this, eq::kLowerSectionY, eq::kChannelX[1] - 5);
}

}  // namespace quorvell
