// SPDX-License-Identifier: GPL-3.0-or-later
// Value dialog: shows a number in %g notation and reads a typed number back.
#include "CValueDialog.h"

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <cmath>
#include <cstdio>
#include <memory>

#include "CTiledDialog.h"
#include "MessageBoxes.h"
#include "PressSwallower.h"
#include "QtMessageBoxes.h"

namespace quorvell {

CValueDialog::CValueDialog(QWidget* parent, MessageBoxes* boxes) : QDialog(parent), boxes(boxes) {
    setWindowTitle(QStringLiteral("Value"));
    setFixedSize(DialogX(187), DialogY(94));
    auto* label = new QLabel(QStringLiteral("Value"), this);
    label->setGeometry(DialogX(52), DialogY(39), DialogX(21), DialogY(8));
    field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("field%1").arg(kNumberFieldId));
    field->setGeometry(DialogX(99), DialogY(36), DialogX(40), DialogY(14));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(DialogX(34), DialogY(73), DialogX(50), DialogY(14));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(DialogX(100), DialogY(73), DialogX(50), DialogY(14));
    connect(ok, &QPushButton::clicked, this, &CValueDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CValueDialog::reject);
    field->setFocus();
}

CValueDialog::~CValueDialog() = default;

QString CValueDialog::FormatNumber(float n) {
    // A threshold of 0 dB is shown as the negated raw value, -0: never show the sign of zero.
    const double shown = n == 0.0F ? 0.0 : static_cast<double>(n);
    char buf[32];
    const int len = std::snprintf(buf, sizeof buf, "%g", shown);
    return QString::fromLatin1(buf, len > 0 ? len : 0);
}

std::optional<float> CValueDialog::ParseNumber(const QString& text) {
    static const QRegularExpression kNumber(
        QStringLiteral(R"(^[ \t]*([+-]?(?:[0-9]+\.?[0-9]*|\.[0-9]+)(?:[eE][+-]?[0-9]+)?)[ \t]*$)"));
    const QRegularExpressionMatch m = kNumber.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const double d = m.captured(1).toDouble(&ok);
    if (!ok || !std::isfinite(d) || std::fabs(d) > 3.4028234663852886e38) {
        return std::nullopt;
    }
    return static_cast<float>(d);
}

void CValueDialog::SetNumber(float n) {
    number = n;
    field->setText(FormatNumber(n));
    field->selectAll();
}

void CValueDialog::accept() {
    const std::optional<float> n = ParseNumber(field->text());
    if (!n) {
        Message refusal;
        refusal.text = "Please enter a number.";
        refusal.icon = MessageIcon::Warning;
        if (boxes != nullptr) {
            boxes->Show(refusal);
        } else {
            QtMessageBoxes(this).Show(refusal);
        }
        field->setFocus();
        field->selectAll();
        return;
    }
    number = *n;
    QDialog::accept();
}

std::optional<double> CValueDialog::Ask(QWidget* parent, double shown) {
    CValueDialog dialog(parent);
    dialog.SetNumber(static_cast<float>(shown));
    const int result = dialog.exec();
    // A double-click on OK or Cancel must not act on the control beneath the closed dialog.
    PressSwallower::Arm(QCursor::pos());
    if (result != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Number();
}

}  // namespace quorvell
