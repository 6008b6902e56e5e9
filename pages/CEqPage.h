// The MAIN page: seven parametric bands, the two crossovers, polarity and the output levels
// of both channels, every control mirroring one field of the model.
#pragma once

#include <QMetaType>
#include <QWidget>
#include <map>

#include "DeviceParameters.h"
#include "MessageBoxes.h"
#include "ParameterPaths.h"

class QPushButton;

namespace quorvell {

class CDropDown;
class CTextLabel;
class CValueStepper;
class PngButton;

class CEqPage : public QWidget {
    Q_OBJECT

public:
    // `params` is the process-wide model, `boxes` asks the RESET question; both outlive the
    // page. The page is built hidden; ShowPage shows it.
    CEqPage(DeviceParameters& params, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~CEqPage() override;

    // RefreshFromModel, then shows the page.
    void ShowPage();
    // Sets every control from the model. Writes nothing and never notifies.
    void RefreshFromModel();

    CValueStepper* Stepper(int id) const;
    CDropDown* TypeSelector(int notifyId) const;  // 1095..1098
    CTextLabel* Label(int id) const;
    PngButton* PhaseButton(int channel) const;
    QPushButton* ResetButton(int channel) const;

signals:
    // An operator edit has been stored in the model; the record's command carries it.
    void recordEdited(quorvell::Record record);
    // A RESET was confirmed: channel's defaults are stored and shown; its nine commands
    // carry them (bands 1..7, high-pass, low-pass).
    void channelReset(int channel);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnValueChanged(int id, int value);
    void OnSelectorChanged(int notifyId, int index);
    void OnPhase(int channel);
    void OnReset(int channel);
    void ShowCrossoverQ();

    DeviceParameters& params_;
    MessageBoxes& boxes_;
    std::map<int, CValueStepper*> steppers_;
    std::map<int, CDropDown*> selectors_;  // by notification id
    std::map<int, CTextLabel*> labels_;
    PngButton* phase_[2] = {};
    QPushButton* reset_[2] = {};
};

}  // namespace quorvell

Q_DECLARE_METATYPE(quorvell::Record)
