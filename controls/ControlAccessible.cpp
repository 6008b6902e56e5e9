// SPDX-License-Identifier: GPL-3.0-or-later
// Accessible interfaces of the skinned controls: name from the page (or the caption), value =
// the text the control shows, so that a screen reader says "CH1 Band 3 gain, G:0.0".
#include "ControlAccessible.h"

#include <QAccessibleWidget>

#include "CDropDown.h"
#include "CTextLabel.h"
#include "CValueStepper.h"
#include "PngButton.h"

namespace quorvell {
namespace {

class StepperAccessible : public QAccessibleWidget {
public:
    explicit StepperAccessible(CValueStepper* stepper)
        : QAccessibleWidget(stepper, QAccessible::SpinBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return static_cast<const CValueStepper*>(widget())->Text();
        }
        return QAccessibleWidget::text(t);
    }
};

class DropDownAccessible : public QAccessibleWidget {
public:
    explicit DropDownAccessible(CDropDown* dropDown)
        : QAccessibleWidget(dropDown, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            return static_cast<const CDropDown*>(widget())->Text();
        }
        return QAccessibleWidget::text(t);
    }
};

class LabelAccessible : public QAccessibleWidget {
public:
    explicit LabelAccessible(CTextLabel* label)
        : QAccessibleWidget(label, QAccessible::StaticText) {}

    QString text(QAccessible::Text t) const override {
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty()) {
            return static_cast<const CTextLabel*>(widget())->Text();
        }
        return own;
    }
};

// Name: the page's name for the button, else its caption; value: the caption it shows; the
// owner-set on state reads as checked.
class ButtonAccessible : public QAccessibleWidget {
public:
    explicit ButtonAccessible(PngButton* button) : QAccessibleWidget(button, QAccessible::Button) {
        addControllingSignal(QStringLiteral("clicked(bool)"));
    }

    QString text(QAccessible::Text t) const override {
        const auto* button = static_cast<const PngButton*>(widget());
        const QString own = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && own.isEmpty()) {
            return button->text();
        }
        if (t == QAccessible::Value) {
            return button->text();
        }
        return own;
    }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.pressed = static_cast<const PngButton*>(widget())->isDown();
        s.checked = static_cast<const PngButton*>(widget())->on;
        return s;
    }

    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& action) override {
        if (action == pressAction()) {
            static_cast<PngButton*>(widget())->click();
            return;
        }
        QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* ControlFactory(const QString& className, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
    }
    if (className == QLatin1String("quorvell::CValueStepper")) {
        return new StepperAccessible(static_cast<CValueStepper*>(object));
    }
    if (className == QLatin1String("quorvell::CDropDown")) {
        return new DropDownAccessible(static_cast<CDropDown*>(object));
    }
    if (className == QLatin1String("quorvell::CTextLabel")) {
        return new LabelAccessible(static_cast<CTextLabel*>(object));
    }
    if (className == QLatin1String("quorvell::PngButton")) {
        return new ButtonAccessible(static_cast<PngButton*>(object));
    }
    return nullptr;
}

}  // namespace

void InstallControlAccessibility() {
    QAccessible::installFactory(&ControlFactory);
}

}  // namespace quorvell
