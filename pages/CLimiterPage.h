// SPDX-License-Identifier: GPL-3.0-or-later
// The LIMIT page: threshold, ratio, attack and release of both channels' output limiters.
#pragma once

#include <QWidget>
#include <map>

#include "CEqPage.h"
#include "DeviceParameters.h"
#include "MessageBoxes.h"
#include "ParameterPaths.h"

class QPushButton;

namespace quorvell {

class CTextLabel;
class CValueStepper;

class CLimiterPage : public QWidget {
    Q_OBJECT

public:
    CLimiterPage(DeviceParameters& params, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~CLimiterPage() override;

    void ShowPage();
    // Sets the eight steppers from the model. Writes nothing and never notifies.
    void RefreshFromModel();
    // Shows and edits `params` from now on (another processor's model) and refreshes.
    void SetModel(DeviceParameters& params) {
        params_ = &params;
        RefreshFromModel();
    }

    CValueStepper* Stepper(int id) const;
    CTextLabel* Label(int id) const;
    QPushButton* ResetButton(int channel) const;

signals:
    // An operator edit has been stored; the channel's limiter command carries it.
    void recordEdited(quorvell::Record record);
    // A RESET was confirmed: the channel's limiter defaults are stored and shown.
    void channelReset(int channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnValueChanged(int id, int value);
    void OnReset(int channel);

    DeviceParameters* params_;
    MessageBoxes& boxes_;
    std::map<int, CValueStepper*> steppers_;
    std::map<int, CTextLabel*> labels_;
    QPushButton* reset_[2] = {};
};

}  // namespace quorvell
