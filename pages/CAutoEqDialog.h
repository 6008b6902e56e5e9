// SPDX-License-Identifier: GPL-3.0-or-later
// The AUTO EQ dialog of the MAIN page: a measurement file, the channel, the fit range and the
// largest boost; fits off the UI thread, plots measurement, target and prediction, and hands
// the bands to the page on Apply.
#pragma once

#include <QDialog>
#include <QFutureWatcher>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AutoEqFit.h"
#include "DeviceParameters.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quorvell {

class CAutoEqPlot;

class CAutoEqDialog : public QDialog {
    Q_OBJECT

public:
    // Stores the bands of `channel` and sends them; the page's whole-channel path.
    using ApplyFunction = std::function<void(int channel, const EqImport& bands)>;
    // Returns the measurement file to read, or an empty string.
    using FileChooser = std::function<QString()>;

    // `params` supplies each channel's crossovers when a fit starts; it outlives the dialog.
    CAutoEqDialog(const DeviceParameters& params, int channel, ApplyFunction apply,
                  QWidget* parent = nullptr);
    ~CAutoEqDialog() override;

    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Sets the file and fits.
    void SetMeasurementFile(const QString& path);

    QLineEdit* FileEdit() const { return file_; }
    QPushButton* BrowseButton() const { return browse_; }
    QComboBox* ChannelBox() const { return channel_; }
    QSpinBox* LowHzBox() const { return lowHz_; }
    QSpinBox* HighHzBox() const { return highHz_; }
    QDoubleSpinBox* MaxBoostBox() const { return maxBoost_; }
    QPushButton* ApplyButton() const { return apply_; }
    CAutoEqPlot* Plot() const { return plot_; }
    QLabel* StatusLabel() const { return status_; }
    // True while a fit runs or waits to run.
    bool Fitting() const { return watcher_.isRunning() || pending_; }
    // The fit shown, when it matches the inputs as they are now.
    const std::optional<AutoEqResult>& Result() const { return result_; }

signals:
    // A fit ended and its outcome is shown (also when it failed).
    void fitShown();

private:
    struct Outcome {
        std::optional<AutoEqResult> result;
        std::vector<std::string> errors;
    };
    void RequestFit();
    void StartFit();
    void OnFitFinished();
    void ShowOutcome(const Outcome& outcome);

    const DeviceParameters& params_;
    // The running fit's stop flag, shared with it so that it outlives this dialog.
    std::shared_ptr<std::atomic<bool>> stop_;
    ApplyFunction applyBands_;
    FileChooser chooseFile_;
    QLineEdit* file_ = nullptr;
    QPushButton* browse_ = nullptr;
    QComboBox* channel_ = nullptr;
    QSpinBox* lowHz_ = nullptr;
    QSpinBox* highHz_ = nullptr;
    QDoubleSpinBox* maxBoost_ = nullptr;
    CAutoEqPlot* plot_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* apply_ = nullptr;
    QFutureWatcher<Outcome> watcher_;
    bool pending_ = false;  // the inputs changed while a fit ran: fit again when it ends
    int fittedChannel_ = 0;
    std::optional<AutoEqResult> result_;
};

}  // namespace quorvell
