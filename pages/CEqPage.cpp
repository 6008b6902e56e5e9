// The MAIN page, built from its table; edits are stored, then announced to the main window.
#include "CEqPage.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>

#include "CDropDown.h"
#include "CDropPopup.h"  // CDropDown holds a QPointer to it
#include "CTextLabel.h"
#include "CValueStepper.h"
#include "EqPageTable.h"
#include "PageBuilder.h"
#include "PngButton.h"
#include "SkinImages.h"

namespace quorvell {

namespace {

const StepperSpec* FindStepper(int id) {
    for (const StepperSpec& spec : eq::kSteppers) {
        if (spec.id == id) {
            return &spec;
        }
    }
    return nullptr;
}

const DropDownSpec* FindSelector(int notifyId) {
    for (const DropDownSpec& spec : eq::kTypeSelectors) {
        if (spec.notifyId == notifyId) {
            return &spec;
        }
    }
    return nullptr;
}

}  // namespace

CEqPage::CEqPage(DeviceParameters& params, MessageBoxes& boxes, QWidget* parent)
    : QWidget(parent), params_(params), boxes_(boxes) {
    setObjectName(QStringLiteral("CEqPage"));
    setGeometry(kPageX, kPageY, kPageWidth, kPageHeight);
    setFocusPolicy(Qt::ClickFocus);

    for (const LabelSpec& spec : eq::kLabels) {
        labels_[spec.id] = BuildLabel(spec, this);
    }
    for (const StepperSpec& spec : eq::kSteppers) {
        CValueStepper* stepper = BuildStepper(spec, this);
        steppers_[spec.id] = stepper;
        connect(stepper, &CValueStepper::valueChanged, this, &CEqPage::OnValueChanged);
    }
    // CH2 frequency steppers are bounded by the CH1 stepper of the same row (kinds 8/9 only).
    for (int b = 1; b <= kBandCount; ++b) {
        steppers_[eq::FreqId(1, b)]->partner = steppers_[eq::FreqId(0, b)];
    }
    steppers_[eq::HipassFreqId(1)]->partner = steppers_[eq::HipassFreqId(0)];
    steppers_[eq::LopassFreqId(1)]->partner = steppers_[eq::LopassFreqId(0)];

    for (const DropDownSpec& spec : eq::kTypeSelectors) {
        auto* selector = new CDropDown(this);
        selector->setObjectName(QStringLiteral("dropdown%1").arg(spec.id));
        selector->move(spec.x, spec.y);
        selector->SetImages(kDropDownNormal, kDropDownHover);
        selector->CreateList(spec.notifyId);
        for (const char* item : eq::kTypeItems) {
            selector->AddItem(QString::fromUtf8(item));
        }
        selector->SetSelection(0);
        selector->setAccessibleName(DescribeBinding(spec.binding));
        selectors_[spec.notifyId] = selector;
        connect(selector, &CDropDown::selectionChanged, this, &CEqPage::OnSelectorChanged);
    }
    for (const ButtonSpec& spec : eq::kResetButtons) {
        QPushButton* button = BuildPushButton(spec, this);
        const int channel = spec.channel;
        connect(button, &QPushButton::clicked, this, [this, channel] { OnReset(channel); });
        reset_[channel] = button;
    }
    for (const ButtonSpec& spec : eq::kPhaseButtons) {
        auto* button = new PngButton(QString::fromUtf8(spec.text), this);
        button->setObjectName(QStringLiteral("button%1").arg(spec.id));
        button->setGeometry(spec.x, spec.y, spec.width, spec.height);
        // The reverse of the main window's pair: cyan with black text while normal.
        button->sizeMode = 0;
        button->offCaptionColor = QColor(0, 0, 0);
        button->onCaptionColor = QColor(255, 255, 255);
        button->SetImages(kButtonCyanWide, kButtonDarkWide);
        button->setAccessibleName(QStringLiteral("CH%1 phase").arg(spec.channel + 1));
        const int channel = spec.channel;
        connect(button, &PngButton::clicked, this, [this, channel] { OnPhase(channel); });
        phase_[channel] = button;
    }
    BuildTools();
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

void CEqPage::RefreshFromModel() {
    // The drop-downs repaint at once when set; setting them before the steppers (which only
    // schedule a paint) keeps those synchronous paints from drawing every stepper again.
    for (const DropDownSpec& spec : eq::kTypeSelectors) {
        selectors_[spec.notifyId]->SetSelection(FieldValue(params_, spec.binding));
    }
    for (const StepperSpec& spec : eq::kSteppers) {
        steppers_[spec.id]->SetValue(FieldValue(params_, spec.binding));
    }
    for (int c = 0; c < 2; ++c) {
        phase_[c]->on = params_.channels[static_cast<std::size_t>(c)].phase != 0;
        phase_[c]->update();
    }
    ShowCrossoverQ();
    RefreshCurves();
}

void CEqPage::ShowCrossoverQ() {
    for (const DropDownSpec& spec : eq::kTypeSelectors) {
        const bool variable =
            FieldValue(params_, spec.binding) == static_cast<int>(FilterType::Variable);
        steppers_[spec.qStepperId]->setVisible(variable);
    }
}

void CEqPage::OnValueChanged(int id, int /*value*/) {
    const StepperSpec* spec = FindStepper(id);
    if (spec == nullptr) {
        return;
    }
    // The value the stepper holds now: a later step may already have superseded the one the
    // notification carries.
    FieldOf(params_, spec->binding) = steppers_[id]->GetValue();
    RefreshCurves();
    emit recordEdited(RecordOf(spec->binding));
}

void CEqPage::OnSelectorChanged(int notifyId, int /*index*/) {
    const DropDownSpec* spec = FindSelector(notifyId);
    if (spec == nullptr) {
        return;
    }
    const int type = selectors_[notifyId]->GetSelection();
    steppers_[spec->qStepperId]->setVisible(type == static_cast<int>(FilterType::Variable));
    FieldOf(params_, spec->binding) = type;
    RefreshCurves();
    emit recordEdited(RecordOf(spec->binding));
}

void CEqPage::OnPhase(int channel) {
    PngButton* button = phase_[channel];
    button->on = !button->on;
    button->update();
    params_.channels[static_cast<std::size_t>(channel)].phase = button->on ? 1 : 0;
    emit recordEdited(RecordOf({BoundField::Phase, channel, 0}));
}

void CEqPage::OnReset(int channel) {
    const Message question{eq::kResetQuestion, "", MessageButtons::OkCancel, MessageIcon::Warning};
    if (boxes_.Show(question) != MessageAnswer::Ok) {
        return;
    }
    ChannelParameters& ch = params_.channels[static_cast<std::size_t>(channel)];
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

}  // namespace quorvell
