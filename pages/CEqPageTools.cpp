// SPDX-License-Identifier: GPL-3.0-or-later
// The MAIN page's tools beyond its steppers: the response curve with its band markers, the
// import of equaliser filter lists, the copy of one channel's settings to the other, and the
// auto EQ dialog.
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QPushButton>
#include <QVBoxLayout>

#include "CAutoEqDialog.h"
#include "CEqPage.h"
#include "CResponseCurve.h"
#include "CValueStepper.h"
#include "EqFilterImport.h"
#include "EqPageTable.h"

namespace quorvell {
namespace {

// Free area right of the level block, below "M0DE:", inside the page frame.
constexpr QRect kCurveRect(402, 426, 384, 120);
constexpr int kToolX[2] = {205, 298};
constexpr int kToolY[2] = {428, 458};
constexpr QSize kToolSize(88, 24);
constexpr QRect kAutoEqRect(298, 518, 88, 24);  // beside A/B, two rows below the tools
constexpr QSize kLargeCurveSize(900, 520);
constexpr qint64 kMaxImportFileBytes = 1 << 20;
constexpr int kMaxReportedErrors = 8;

}  // namespace

void CEqPage::BuildTools() {
    curve_ = new CResponseCurve(*params_, this);
    curve_->setObjectName(QStringLiteral("responseCurve"));
    curve_->setGeometry(kCurveRect);
    connect(curve_, &CResponseCurve::bandEdited, this, &CEqPage::OnCurveEdit);
    connect(curve_, &CResponseCurve::enlargeRequested, this, &CEqPage::OpenLargeCurve);

    for (int c = 0; c < 2; ++c) {
        auto* import = new QPushButton(QStringLiteral("IMPORT CH%1").arg(c + 1), this);
        import->setObjectName(QStringLiteral("importCh%1").arg(c + 1));
        import->setGeometry(QRect(QPoint(kToolX[c], kToolY[0]), kToolSize));
        import->setAutoDefault(false);
        import->setToolTip(tr("Import the peaking filters of an equaliser text export "
                              "(\"Filter 1: ON PK Fc 63.5 Hz Gain -4.20 dB Q 2.500\") into "
                              "CH%1's seven bands")
                               .arg(c + 1));
        connect(import, &QPushButton::clicked, this, [this, c] { ImportEqFilters(c); });
        import_[c] = import;

        auto* copy = new QPushButton(
            c == 0 ? QStringLiteral("CH1 > CH2") : QStringLiteral("CH2 > CH1"), this);
        copy->setObjectName(QStringLiteral("copyFromCh%1").arg(c + 1));
        copy->setGeometry(QRect(QPoint(kToolX[c], kToolY[1]), kToolSize));
        copy->setAutoDefault(false);
        copy->setToolTip(
            tr("Copy CH%1's EQ, crossovers and limiter to CH%2").arg(c + 1).arg(2 - c));
        connect(copy, &QPushButton::clicked, this, [this, c] { CopyChannelSettings(c); });
        copy_[c] = copy;
    }

    autoEq_ = new QPushButton(QStringLiteral("AUTO EQ"), this);
    autoEq_->setObjectName(QStringLiteral("autoEq"));
    autoEq_->setGeometry(kAutoEqRect);
    autoEq_->setAutoDefault(false);
    autoEq_->setToolTip(tr("Fit the seven bands of a channel to a measurement"));
    connect(autoEq_, &QPushButton::clicked, this, &CEqPage::OpenAutoEq);

    dragTimer_.setSingleShot(true);
    dragTimer_.setInterval(kDragSendIntervalMs);
    dragTimer_.setTimerType(Qt::PreciseTimer);
    connect(&dragTimer_, &QTimer::timeout, this, &CEqPage::OnDragTimer);

    chooseFile_ = [this] {
        return QFileDialog::getOpenFileName(this, tr("Import EQ filters"), QString(),
                                            tr("Filter lists (*.txt);;All files (*)"));
    };
}

void CEqPage::RefreshCurves() {
    if (curve_ != nullptr) {
        curve_->Refresh();
    }
    if (largeCurve_) {
        largeCurve_->Refresh();
    }
}

void CEqPage::OpenLargeCurve() {
    if (!largeWindow_) {
        auto* window = new QDialog(this);
        window->setWindowTitle(tr("Quorvell - response"));
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->resize(kLargeCurveSize);
        auto* layout = new QVBoxLayout(window);
        layout->setContentsMargins(0, 0, 0, 0);
        largeCurve_ = new CResponseCurve(*params_, window);
        largeCurve_->setObjectName(QStringLiteral("largeResponseCurve"));
        largeCurve_->SetActiveChannel(curve_->ActiveChannel());
        layout->addWidget(largeCurve_);
        connect(largeCurve_, &CResponseCurve::bandEdited, this, &CEqPage::OnCurveEdit);
        largeWindow_ = window;
    }
    largeCurve_->Refresh();
    largeWindow_->show();
    largeWindow_->raise();
}

// A marker moved or was wheeled: store like a stepper edit, show it on the steppers and the
// curves, and announce the band. A drag sends its latest value at most every 20 ms and once
// more when it ends; wheel notches are steps and each one is sent.
void CEqPage::OnCurveEdit(int channel, int band, int freq, int gain, int q, bool finished) {
    if (channel < 0 || channel > 1 || band < 1 || band > kBandCount) {
        return;
    }
    EqBand& b =
        params_->channels[static_cast<std::size_t>(channel)].bands[static_cast<std::size_t>(band)];
    b.freq = std::clamp(freq, 20, 20000);
    b.gain = std::clamp(gain, 0, 360);
    b.q = std::clamp(q, 1, 1000);
    steppers_[eq::FreqId(channel, band)]->SetValue(b.freq);
    steppers_[eq::GainId(channel, band)]->SetValue(b.gain);
    steppers_[eq::QId(channel, band)]->SetValue(b.q);
    RefreshCurves();

    const Record record{RecordKind::EqBand, channel, band};
    if (finished) {
        dragTimer_.stop();
        pendingDrag_.reset();
        emit recordEdited(record);
        return;
    }
    if (dragTimer_.isActive()) {
        pendingDrag_ = record;  // the model already holds the latest value
        return;
    }
    emit recordEdited(record);
    dragTimer_.start();
}

void CEqPage::OnDragTimer() {
    if (pendingDrag_) {
        const Record record = *pendingDrag_;
        pendingDrag_.reset();
        emit recordEdited(record);
        dragTimer_.start();
    }
}

void CEqPage::ImportEqFilters(int channel) {
    const QString path = chooseFile_ ? chooseFile_() : QString();
    if (!path.isEmpty()) {
        ImportEqFile(channel, path);
    }
}

bool CEqPage::ImportEqFile(int channel, const QString& path) {
    const auto fail = [&](const QString& why) {
        boxes_.Show({tr("Cannot import %1:\n%2").arg(path, why).toStdString(), "",
                     MessageButtons::Ok, MessageIcon::Warning});
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail(file.errorString());
    }
    if (file.size() > kMaxImportFileBytes) {
        return fail(tr("the file is too large for a filter list"));
    }
    const QByteArray text = file.readAll();
    const EqImport import = ParseEqFilterText(std::string_view(text.constData(), text.size()));
    if (!import.bands) {
        QStringList lines;
        for (std::size_t i = 0; i < import.errors.size() && i < kMaxReportedErrors; ++i) {
            lines << QString::fromStdString(import.errors[i]);
        }
        if (import.errors.size() > kMaxReportedErrors) {
            lines << tr("(and %1 more)").arg(import.errors.size() - kMaxReportedErrors);
        }
        return fail(lines.join('\n'));
    }
    ApplyImportedBands(channel, import);
    return true;
}

void CEqPage::ApplyImportedBands(int channel, const EqImport& bands) {
    if (!bands.bands) {
        return;
    }
    PacedSequence frames = ApplyEqImport(*params_, channel & 1, bands);
    RefreshFromModel();
    emit channelsReplaced(std::move(frames));
}

CAutoEqDialog* CEqPage::AutoEqWindow() const {
    return autoEqWindow_;
}

void CEqPage::OpenAutoEq() {
    if (!autoEqWindow_) {
        autoEqWindow_ = new CAutoEqDialog(
            *params_, curve_->ActiveChannel(),
            [this](int channel, const EqImport& bands) { ApplyImportedBands(channel, bands); },
            this);
        autoEqWindow_->setAttribute(Qt::WA_DeleteOnClose);
    }
    autoEqWindow_->show();
    autoEqWindow_->raise();
}

void CEqPage::CopyChannelSettings(int from) {
    from &= 1;
    const int to = 1 - from;
    const Message question{QStringLiteral("Copy CH%1 EQ, crossovers and limiter to CH%2?")
                               .arg(from + 1)
                               .arg(to + 1)
                               .toStdString(),
                           "", MessageButtons::OkCancel, MessageIcon::Warning};
    if (boxes_.Show(question) != MessageAnswer::Ok) {
        return;
    }
    PacedSequence frames = CopyChannel(*params_, from, to, eulerE_);
    RefreshFromModel();
    emit channelsReplaced(std::move(frames));
}

}  // namespace quorvell
