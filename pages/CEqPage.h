// SPDX-License-Identifier: GPL-3.0-or-later
// The MAIN page: seven parametric bands, the two crossovers, polarity and the output levels
// of both channels, every control mirroring one field of the model.
#pragma once

#include <QDialog>
#include <QMetaType>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <numbers>
#include <optional>

#include "CResponseCurve.h"
#include "DeviceParameters.h"
#include "EqFilterImport.h"
#include "MessageBoxes.h"
#include "PacedFrame.h"
#include "ParameterPaths.h"

class QPushButton;

namespace quorvell {

class CAutoEqDialog;
class CDropDown;
class CTextLabel;
class CValueStepper;
class PngButton;

class CEqPage : public QWidget {
    Q_OBJECT

public:
    // Chains the Tab order in reading order; again after controls were added to the page.
    void OrderTabs();
    // `params` is the process-wide model, `boxes` asks the RESET question; both outlive the
    // page. The page is built hidden; ShowPage shows it.
    CEqPage(DeviceParameters& params, MessageBoxes& boxes, QWidget* parent = nullptr);
    ~CEqPage() override;

    // RefreshFromModel, then shows the page.
    void ShowPage();
    // Sets every control from the model. Writes nothing and never notifies.
    void RefreshFromModel();
    // Shows and edits `params` from now on (another processor's model) and refreshes; the
    // auto EQ window, which fits the model it was opened on, is closed.
    void SetModel(DeviceParameters& params);

    CValueStepper* Stepper(int id) const;
    CDropDown* TypeSelector(int notifyId) const;  // 1095..1098
    CTextLabel* Label(int id) const;
    PngButton* PhaseButton(int channel) const;
    QPushButton* ResetButton(int channel) const;

    // The response curve in the lower right, its larger window (once opened) and the tool
    // buttons beside the levels.
    CResponseCurve* Curve() const { return curve_; }
    CResponseCurve* LargeCurve() const { return largeCurve_; }
    QDialog* LargeCurveWindow() const { return largeWindow_; }
    // A curve drag's paced send is still to come (the interval timer runs or an edit waits).
    bool DragSendPending() const { return dragTimer_.isActive() || pendingDrag_.has_value(); }
    QPushButton* ImportButton(int channel) const { return import_[channel & 1]; }
    QPushButton* CopyButton(int from) const { return copy_[from & 1]; }
    QPushButton* AutoEqButton() const { return autoEq_; }
    CAutoEqDialog* AutoEqWindow() const;  // once opened, until closed

    // Asks for a file (through the chooser) and imports its peaking filters into `channel`.
    // Problems are reported with their line numbers and nothing changes.
    void ImportEqFilters(int channel);
    bool ImportEqFile(int channel, const QString& path);
    // Asks, then copies bands, crossovers and limiter of `from` to the other channel.
    void CopyChannelSettings(int from);
    void OpenLargeCurve();
    // Opens the auto EQ dialog for the channel the curve shows.
    void OpenAutoEq();
    // Stores whole bands of `channel` (an import or an auto EQ fit), shows them and
    // announces their frames; nothing for an unusable import.
    void ApplyImportedBands(int channel, const EqImport& bands);

    // Returns the file to import, or an empty string; the default opens a file dialog.
    using FileChooser = std::function<QString()>;
    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Euler's number as the main window computed it, for the limiter frames of a copy.
    void SetEulerE(double e) { eulerE_ = e; }

    // A drag on the curve sends the latest value of its band at most this often.
    static constexpr int kDragSendIntervalMs = 20;

signals:
    // An operator edit has been stored in the model; the record's command carries it.
    void recordEdited(quorvell::Record record);
    // A RESET was confirmed: channel's defaults are stored and shown; its nine commands
    // carry them (bands 1..7, high-pass, low-pass).
    void channelReset(int channel);
    // An import or a channel copy changed whole channels (the limiter included); the frames
    // carry every changed record, in order, with their pauses.
    void channelsReplaced(quorvell::PacedSequence frames);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnValueChanged(int id, int value);
    void OnSelectorChanged(int notifyId, int index);
    void OnPhase(int channel);
    void OnReset(int channel);
    void ShowCrossoverQ();
    void BuildTools();
    void RefreshCurves();
    void OnCurveEdit(int channel, int band, int freq, int gain, int q, bool finished);
    void OnDragTimer();

    DeviceParameters* params_;
    MessageBoxes& boxes_;
    std::map<int, CValueStepper*> steppers_;
    std::map<int, CDropDown*> selectors_;  // by notification id
    std::map<int, CTextLabel*> labels_;
    PngButton* phase_[2] = {};
    QPushButton* reset_[2] = {};

    CResponseCurve* curve_ = nullptr;
    QPointer<QDialog> largeWindow_;
    QPointer<CResponseCurve> largeCurve_;  // cleared with its window
    QPushButton* import_[2] = {};
    QPushButton* copy_[2] = {};
    QPushButton* autoEq_ = nullptr;
    QPointer<CAutoEqDialog> autoEqWindow_;
    QTimer dragTimer_;
    std::optional<Record> pendingDrag_;
    FileChooser chooseFile_;
    double eulerE_ = std::numbers::e;
};

}  // namespace quorvell

Q_DECLARE_METATYPE(quorvell::Record)
