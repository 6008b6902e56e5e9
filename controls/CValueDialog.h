// SPDX-License-Identifier: GPL-3.0-or-later
// The small modal dialog in which the operator types a number for a value stepper.
#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;

namespace quorvell {

class MessageBoxes;

class CValueDialog : public QDialog {
    Q_OBJECT

public:
    static constexpr int kNumberFieldId = 1064;

    // `boxes` shows the refusal of a non-numeric entry; null uses the real message box.
    explicit CValueDialog(QWidget* parent = nullptr, MessageBoxes* boxes = nullptr);
    ~CValueDialog() override;

    // The number shown on opening ("%g", 6 significant digits) and read back after OK.
    void SetNumber(float n);
    float Number() const { return number; }

    QLineEdit* NumberField() const { return field; }

    // The accepted syntax: optional blanks, an optional sign, digits with an optional decimal
    // point (at least one digit), an optional exponent, optional blanks; finite as a float.
    static std::optional<float> ParseNumber(const QString& text);

    // Text shown for `n` on opening.
    static QString FormatNumber(float n);

    // Runs the dialog modally for `shown`; the confirmed number, or nothing on Cancel.
    static std::optional<double> Ask(QWidget* parent, double shown);

public slots:
    void accept() override;

private:
    QLineEdit* field = nullptr;
    MessageBoxes* boxes = nullptr;
    float number = 0.0F;
};

}  // namespace quorvell
