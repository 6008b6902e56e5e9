// SPDX-License-Identifier: GPL-3.0-or-later
// Common construction of table-driven labels and steppers.
#include "PageBuilder.h"

#include <QKeyEvent>
#include <QPushButton>
#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

#include "CTextLabel.h"
#include "CValueStepper.h"
#include "SkinImages.h"

namespace quorvell {

CTextLabel* BuildLabel(const LabelSpec& entry, QWidget* parent) {
    auto* label = new CTextLabel(parent);
    label->setObjectName(QStringLiteral("label%1").arg(entry.id));
    label->setGeometry(entry.x, entry.y, entry.width, entry.height);
    label->fontSize = entry.pointSize;
    label->alignment = static_cast<int>(entry.align);
    label->SetText(QString::fromUtf8(entry.text));
    label->SetTransparent(true);
    return label;
}

CValueStepper* BuildStepper(const StepperSpec& entry, QWidget* parent) {
    auto* stepper = new CValueStepper(entry.id, parent);
    stepper->setObjectName(QStringLiteral("stepper%1").arg(entry.id));
    stepper->move(entry.x, entry.y);
    stepper->kind = static_cast<int>(entry.kind);
    stepper->partner = stepper;
    stepper->SetImages(kStepperNormal, kStepperDecreaseLit, kStepperMiddleLit, kStepperIncreaseLit);
    stepper->SetDisabledImage(kStepperDisabled);
    stepper->SetRange(entry.min, entry.max);
    stepper->SetValue(entry.initial);
    stepper->setAccessibleName(DescribeBinding(entry.binding));
    return stepper;
}

QString DescribeBinding(const Binding& binding) {
    const QString ch = QStringLiteral("CH%1 ").arg(binding.channel + 1);
    const QString band = ch + QStringLiteral("Band %1 ").arg(binding.band);
    switch (binding.field) {
        case BoundField::BandGain:
            return band + "gain";
        case BoundField::BandFreq:
            return band + "frequency";
        case BoundField::BandQ:
            return band + "Q";
        case BoundField::HipassFreq:
            return ch + "HIPASS frequency";
        case BoundField::HipassQ:
            return ch + "HIPASS Q";
        case BoundField::HipassType:
            return ch + "HIPASS type";
        case BoundField::LopassFreq:
            return ch + "LOPASS frequency";
        case BoundField::LopassQ:
            return ch + "LOPASS Q";
        case BoundField::LopassType:
            return ch + "LOPASS type";
        case BoundField::Level:
            return ch + "level";
        case BoundField::MainLevel:
            return QStringLiteral("Main level");
        case BoundField::Phase:
            return ch + "phase";
        case BoundField::LimiterThreshold:
            return ch + "limiter threshold";
        case BoundField::LimiterRatio:
            return ch + "limiter ratio";
        case BoundField::LimiterAttack:
            return ch + "limiter attack";
        case BoundField::LimiterRelease:
            return ch + "limiter release";
    }
    return {};
}

QPushButton* BuildPushButton(const ButtonSpec& entry, QWidget* parent) {
    auto* button = new QPushButton(QString::fromUtf8(entry.text), parent);
    button->setObjectName(QStringLiteral("button%1").arg(entry.id));
    button->setGeometry(entry.x, entry.y, entry.width, entry.height);
    button->setAutoDefault(false);
    return button;
}

void OrderTabsByRows(QWidget* page, int lowerTop, int channelSplitX) {
    std::vector<QWidget*> focusable;
    for (QObject* child : page->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && !widget->isWindow() && (widget->focusPolicy() & Qt::TabFocus)) {
            focusable.push_back(widget);
        }
    }
    // Controls whose tops are a few pixels apart share a row (a tool button 2 px higher than
    // the stepper beside it is not a row of its own): each row is keyed by its first top.
    constexpr int kRowTolerance = 8;
    std::stable_sort(focusable.begin(), focusable.end(),
                     [](const QWidget* a, const QWidget* b) { return a->y() < b->y(); });
    std::map<const QWidget*, int> rowTop;
    int top = 0;
    for (const QWidget* w : focusable) {
        if (rowTop.empty() || w->y() - top > kRowTolerance) {
            top = w->y();
        }
        rowTop[w] = top;
    }
    const auto key = [&](const QWidget* w) {
        return std::make_tuple(w->y() >= lowerTop, w->x() >= channelSplitX, rowTop[w], w->x());
    };
    std::stable_sort(focusable.begin(), focusable.end(),
                     [&](const QWidget* a, const QWidget* b) { return key(a) < key(b); });
    for (std::size_t i = 1; i < focusable.size(); ++i) {
        QWidget::setTabOrder(focusable[i - 1], focusable[i]);
    }
}

bool SwallowEnterEscape(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return true;
        default:
            return false;
    }
}

}  // namespace quorvell
