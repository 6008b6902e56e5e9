// SPDX-License-Identifier: GPL-3.0-or-later
// One plot of an auto EQ fit: the levelled measurement through the channel as it is, the
// target and the predicted result, on a log-frequency axis, with the RMS errors; the ranges
// the channel's crossovers block (left alone by the fit) are shaded.
#pragma once

#include <QWidget>
#include <vector>

namespace quorvell {

class CAutoEqPlot : public QWidget {
    Q_OBJECT

public:
    explicit CAutoEqPlot(QWidget* parent = nullptr);

    // Curves in dB over `hz` (rising); an empty `hz` clears the plot and shows `note`.
    struct Curves {
        std::vector<double> hz, measured, target, predicted;
        std::vector<bool> passBand;  // per point; empty: all of it
        double rmsBeforeDb = 0.0;
        double rmsAfterDb = 0.0;
    };
    void SetCurves(Curves curves);
    void Clear(const QString& note);
    const Curves& Shown() const { return curves_; }

    static const QColor kMeasuredColor;
    static const QColor kTargetColor;
    static const QColor kPredictedColor;
    static const QColor kStopBandColor;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Curves curves_;
    QString note_;
    double minDb_ = -12.0;
    double maxDb_ = 12.0;
};

}  // namespace quorvell
