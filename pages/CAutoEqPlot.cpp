// SPDX-License-Identifier: GPL-3.0-or-later
// Painting of the auto EQ plot.
#include "CAutoEqPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace quorvell {
namespace {

constexpr double kLeftMargin = 34.0;
constexpr double kBottomMargin = 16.0;
constexpr double kTopMargin = 22.0;
constexpr double kGridDb = 6.0;

}  // namespace

const QColor CAutoEqPlot::kMeasuredColor(240, 150, 40);
const QColor CAutoEqPlot::kTargetColor(200, 200, 200);
const QColor CAutoEqPlot::kPredictedColor(60, 200, 230);
const QColor CAutoEqPlot::kStopBandColor(16, 18, 20);

CAutoEqPlot::CAutoEqPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(480, 260);
}

void CAutoEqPlot::SetCurves(Curves curves) {
    curves_ = std::move(curves);
    note_.clear();
    double lo = 0.0, hi = 0.0;
    for (const auto* c : {&curves_.measured, &curves_.target, &curves_.predicted}) {
        for (double v : *c) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    // Whole 6 dB lines around everything, at least +-12 dB, at most +-36 dB.
    minDb_ = std::clamp(std::floor(lo / kGridDb) * kGridDb, -36.0, -12.0);
    maxDb_ = std::clamp(std::ceil(hi / kGridDb) * kGridDb, 12.0, 36.0);
    update();
}

void CAutoEqPlot::Clear(const QString& note) {
    curves_ = {};
    note_ = note;
    update();
}

void CAutoEqPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(24, 27, 30));
    const QRectF plot(kLeftMargin, kTopMargin, width() - kLeftMargin - 6,
                      height() - kTopMargin - kBottomMargin);
    p.fillRect(plot, QColor(33, 37, 41));
    const double loHz = curves_.hz.empty() ? 20.0 : curves_.hz.front();
    const double hiHz = curves_.hz.empty() ? 20000.0 : curves_.hz.back();
    const auto x = [&](double hz) {
        return plot.left() + plot.width() * std::log(hz / loHz) / std::log(hiHz / loHz);
    };
    const auto y = [&](double db) {
        return plot.top() + plot.height() * (maxDb_ - db) / (maxDb_ - minDb_);
    };

    QFont small = font();
    small.setPixelSize(9);
    p.setFont(small);
    for (double hz :
         {20.0, 30.0, 50.0, 100.0, 200.0, 300.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        if (hz < loHz * 0.999 || hz > hiHz * 1.001) {
            continue;
        }
        p.setPen(QPen(QColor(70, 78, 86), 1));
        p.drawLine(QPointF(x(hz), plot.top()), QPointF(x(hz), plot.bottom()));
        p.setPen(QColor(150, 160, 170));
        const QString label = hz >= 1000 ? QString::number(hz / 1000) + "k" : QString::number(hz);
        const double left = std::clamp(x(hz) - 20, 0.0, width() - 40.0);
        p.drawText(QRectF(left, plot.bottom() + 2, 40, kBottomMargin - 2), Qt::AlignCenter, label);
    }
    for (double db = minDb_; db <= maxDb_; db += kGridDb) {
        p.setPen(QPen(db == 0.0 ? QColor(110, 120, 130) : QColor(70, 78, 86), 1));
        p.drawLine(QPointF(plot.left(), y(db)), QPointF(plot.right(), y(db)));
        p.setPen(QColor(150, 160, 170));
        p.drawText(QRectF(0, y(db) - 7, kLeftMargin - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(db));
    }

    if (curves_.hz.empty()) {
        p.setPen(QColor(150, 160, 170));
        p.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap, note_);
        return;
    }
    p.save();
    p.setClipRect(plot);
    // The crossovers' stop bands: each run of blocked points, out to the midpoints.
    const std::size_t n = curves_.hz.size();
    for (std::size_t i = 0; i < n && i < curves_.passBand.size(); ++i) {
        if (curves_.passBand[i]) {
            continue;
        }
        std::size_t j = i;
        while (j + 1 < n && j + 1 < curves_.passBand.size() && !curves_.passBand[j + 1]) {
            ++j;
        }
        const double left = i == 0 ? plot.left() : 0.5 * (x(curves_.hz[i - 1]) + x(curves_.hz[i]));
        const double right =
            j + 1 >= n ? plot.right() : 0.5 * (x(curves_.hz[j]) + x(curves_.hz[j + 1]));
        p.fillRect(QRectF(left, plot.top(), right - left, plot.height()), kStopBandColor);
        i = j;
    }
    const auto draw = [&](const std::vector<double>& db, const QColor& color, double width,
                          Qt::PenStyle style) {
        QPainterPath path;
        for (std::size_t i = 0; i < db.size() && i < curves_.hz.size(); ++i) {
            const QPointF pt(x(curves_.hz[i]), y(db[i]));
            i == 0 ? path.moveTo(pt) : path.lineTo(pt);
        }
        p.setPen(QPen(color, width, style));
        p.drawPath(path);
    };
    draw(curves_.target, kTargetColor, 1.2, Qt::DashLine);
    draw(curves_.measured, kMeasuredColor, 1.4, Qt::SolidLine);
    draw(curves_.predicted, kPredictedColor, 2.0, Qt::SolidLine);
    p.restore();

    // Legend with the figures, above the plot.
    double lx = plot.left();
    const auto legend = [&](const QColor& color, const QString& text) {
        p.setPen(QPen(color, 2));
        p.drawLine(QPointF(lx, kTopMargin / 2), QPointF(lx + 14, kTopMargin / 2));
        p.setPen(QColor(200, 205, 210));
        const QRectF box(lx + 18, 0, 200, kTopMargin);
        p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter, text);
        lx += 24 + p.fontMetrics().horizontalAdvance(text);
    };
    legend(kMeasuredColor,
           tr("measured, RMS %1 dB").arg(QString::number(curves_.rmsBeforeDb, 'f', 2)));
    legend(kTargetColor, tr("target"));
    legend(kPredictedColor,
           tr("predicted, RMS %1 dB").arg(QString::number(curves_.rmsAfterDb, 'f', 2)));
    if (std::find(curves_.passBand.begin(), curves_.passBand.end(), false) !=
        curves_.passBand.end()) {
        p.fillRect(QRectF(lx, kTopMargin / 2 - 4, 14, 8), kStopBandColor);
        p.setPen(QColor(200, 205, 210));
        p.drawText(QRectF(lx + 18, 0, 200, kTopMargin), Qt::AlignLeft | Qt::AlignVCenter,
                   tr("crossovers block: left alone"));
    }
}

}  // namespace quorvell
