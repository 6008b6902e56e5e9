// SPDX-License-Identifier: GPL-3.0-or-later
// The AUTO EQ dialog: inputs, the fit on a worker thread, the plot and Apply.
#include "CAutoEqDialog.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include "CAutoEqPlot.h"

namespace quorvell {
namespace {

constexpr std::size_t kMaxShownErrors = 6;

}  // namespace

CAutoEqDialog::CAutoEqDialog(const DeviceParameters& params, int channel, ApplyFunction apply,
                             QWidget* parent)
    : QDialog(parent), params_(params), applyBands_(std::move(apply)) {
    setWindowTitle(tr("Quorvell - auto EQ"));
    setObjectName(QStringLiteral("autoEqDialog"));

    file_ = new QLineEdit(this);
    file_->setObjectName(QStringLiteral("autoEqFile"));
    file_->setPlaceholderText(tr("measurement text export (frequency, level per line)"));
    browse_ = new QPushButton(tr("Browse..."), this);
    browse_->setAutoDefault(false);
    channel_ = new QComboBox(this);
    channel_->addItems({QStringLiteral("CH1"), QStringLiteral("CH2")});
    channel_->setCurrentIndex(channel & 1);
    lowHz_ = new QSpinBox(this);
    highHz_ = new QSpinBox(this);
    for (QSpinBox* box : {lowHz_, highHz_}) {
        box->setRange(20, 20000);
        box->setSuffix(QStringLiteral(" Hz"));
        box->setKeyboardTracking(false);
    }
    lowHz_->setValue(20);
    highHz_->setValue(20000);
    maxBoost_ = new QDoubleSpinBox(this);
    maxBoost_->setRange(0.0, 18.0);
    maxBoost_->setDecimals(1);
    maxBoost_->setSingleStep(0.5);
    maxBoost_->setValue(AutoEqOptions{}.maxBoostDb);
    maxBoost_->setSuffix(QStringLiteral(" dB"));
    maxBoost_->setKeyboardTracking(false);

    auto* inputs = new QGridLayout;
    inputs->addWidget(new QLabel(tr("Measurement:"), this), 0, 0);
    inputs->addWidget(file_, 0, 1, 1, 6);
    inputs->addWidget(browse_, 0, 7);
    inputs->addWidget(new QLabel(tr("Channel:"), this), 1, 0);
    inputs->addWidget(channel_, 1, 1);
    inputs->addWidget(new QLabel(tr("Range:"), this), 1, 2, Qt::AlignRight);
    inputs->addWidget(lowHz_, 1, 3);
    inputs->addWidget(highHz_, 1, 4);
    inputs->addWidget(new QLabel(tr("Max boost:"), this), 1, 5, Qt::AlignRight);
    inputs->addWidget(maxBoost_, 1, 6);

    plot_ = new CAutoEqPlot(this);
    plot_->Clear(tr("Choose a measurement to fit the seven bands to it."));
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);  // it shows text from the measurement file
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setMinimumHeight(48);

    apply_ = new QPushButton(tr("Apply"), this);
    apply_->setEnabled(false);
    apply_->setAutoDefault(false);
    auto* close = new QPushButton(tr("Close"), this);
    close->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(apply_);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(inputs);
    layout->addWidget(plot_, 1);
    layout->addWidget(status_);
    layout->addLayout(buttons);
    resize(720, 480);

    chooseFile_ = [this] {
        return QFileDialog::getOpenFileName(this, tr("Measurement"), QString(),
                                            tr("Measurements (*.txt *.csv *.frd);;All files (*)"));
    };
    connect(browse_, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile_ ? chooseFile_() : QString();
        if (!path.isEmpty()) {
            SetMeasurementFile(path);
        }
    });
    connect(file_, &QLineEdit::editingFinished, this, &CAutoEqDialog::RequestFit);
    // A fit belongs to the file it read: once the field changes, it cannot be applied.
    connect(file_, &QLineEdit::textChanged, this, [this] {
        result_.reset();
        apply_->setEnabled(false);
        if (file_->text().isEmpty()) {
            pending_ = watcher_.isRunning();  // a running fit's outcome is discarded
            status_->clear();
            plot_->Clear(tr("Choose a measurement to fit the seven bands to it."));
        }
    });
    connect(channel_, &QComboBox::currentIndexChanged, this, &CAutoEqDialog::RequestFit);
    connect(lowHz_, &QSpinBox::valueChanged, this, &CAutoEqDialog::RequestFit);
    connect(highHz_, &QSpinBox::valueChanged, this, &CAutoEqDialog::RequestFit);
    connect(maxBoost_, &QDoubleSpinBox::valueChanged, this, &CAutoEqDialog::RequestFit);
    connect(&watcher_, &QFutureWatcher<Outcome>::finished, this, &CAutoEqDialog::OnFitFinished);
    connect(apply_, &QPushButton::clicked, this, [this] {
        if (result_ && !Fitting() && !file_->text().isEmpty() && applyBands_) {
            applyBands_(fittedChannel_, AutoEqImport(*result_));
            accept();
        }
    });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

// A fit still running finishes on its own thread; it holds copies of everything it reads.
// A fit still running is told to stop: the application waits for its pool's work at exit, and
// nobody will see this result.
CAutoEqDialog::~CAutoEqDialog() {
    if (stop_) {
        stop_->store(true);
    }
}

void CAutoEqDialog::SetMeasurementFile(const QString& path) {
    file_->setText(path);
    RequestFit();
}

// Any change makes the shown fit stale; at most one fit runs, the latest inputs follow it.
void CAutoEqDialog::RequestFit() {
    result_.reset();
    apply_->setEnabled(false);
    if (file_->text().isEmpty()) {
        pending_ = watcher_.isRunning();
        if (pending_) {
            stop_->store(true);
        }
        return;
    }
    status_->setText(tr("Fitting..."));
    if (watcher_.isRunning()) {
        pending_ = true;
        stop_->store(true);  // its outcome is stale: end it early, the latest inputs follow
        return;
    }
    StartFit();
}

void CAutoEqDialog::StartFit() {
    pending_ = false;
    if (file_->text().isEmpty()) {
        status_->clear();
        return;
    }
    AutoEqOptions options;
    options.lowHz = lowHz_->value();
    options.highHz = highHz_->value();
    options.maxBoostDb = maxBoost_->value();
    fittedChannel_ = channel_->currentIndex() & 1;
    const ChannelParameters channel = params_.channels[static_cast<std::size_t>(fittedChannel_)];
    const std::string path = file_->text().toStdString();
    stop_ = std::make_shared<std::atomic<bool>>(false);
    watcher_.setFuture(QtConcurrent::run([path, channel, options, stop = stop_] {
        AutoEqOptions run = options;
        run.stop = stop.get();
        Outcome outcome;
        MeasurementRead read = ReadMeasurementFile(path);
        outcome.errors = std::move(read.errors);
        if (read.curve) {
            AutoEqResult r = FitAutoEq(*read.curve, TargetSpec{}, channel, run);
            if (!r.bands) {
                outcome.errors.push_back(r.error);
            }
            outcome.result = std::move(r);
        }
        return outcome;
    }));
}

void CAutoEqDialog::OnFitFinished() {
    if (pending_) {
        StartFit();  // the inputs changed meanwhile: this outcome is stale
        return;
    }
    ShowOutcome(watcher_.result());
    emit fitShown();
}

void CAutoEqDialog::ShowOutcome(const Outcome& outcome) {
    if (!outcome.result || !outcome.result->bands) {
        QStringList lines;
        for (std::size_t i = 0; i < outcome.errors.size() && i < kMaxShownErrors; ++i) {
            lines << QString::fromStdString(outcome.errors[i]);
        }
        if (outcome.errors.size() > kMaxShownErrors) {
            lines << tr("(and %1 more)").arg(outcome.errors.size() - kMaxShownErrors);
        }
        status_->setText(tr("Cannot fit: %1").arg(lines.join('\n')));
        plot_->Clear(tr("No fit."));
        return;
    }
    const AutoEqResult& r = *outcome.result;
    result_ = r;
    plot_->SetCurves(
        {r.hz, r.before, r.target, r.predicted, r.passBand, r.rmsBeforeDb, r.rmsAfterDb});
    QStringList bands;
    for (int b = 0; b < r.activeBands; ++b) {
        const EqBand& e = (*r.bands)[static_cast<std::size_t>(b)];
        bands << tr("%1: %2 Hz %3 dB Q %4")
                     .arg(b + 1)
                     .arg(e.freq)
                     .arg((e.gain - 180) * 0.1, 0, 'f', 1)
                     .arg(e.q * 0.1, 0, 'f', 1);
    }
    status_->setText(
        tr("CH%1, %2 of 7 bands: %3\nRMS error %4 dB before, %5 dB after.")
            .arg(fittedChannel_ + 1)
            .arg(r.activeBands)
            .arg(bands.isEmpty() ? tr("none needed") : bands.join(QStringLiteral(";  ")))
            .arg(r.rmsBeforeDb, 0, 'f', 2)
            .arg(r.rmsAfterDb, 0, 'f', 2));
    apply_->setEnabled(true);
}

}  // namespace quorvell
