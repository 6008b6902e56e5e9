// Accessible interface of CValueStepper: role spin box, value text = the shown text.
#include "StepperAccessible.h"

#include <QAccessibleWidget>

#include "CValueStepper.h"

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

QAccessibleInterface* StepperFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("quorvell::CValueStepper") && object != nullptr &&
        object->isWidgetType()) {
        return new StepperAccessible(static_cast<CValueStepper*>(object));
    }
    return nullptr;
}

}  // namespace

void InstallStepperAccessibility() {
    QAccessible::installFactory(&StepperFactory);
}

}  // namespace quorvell
