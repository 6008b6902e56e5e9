// SPDX-License-Identifier: GPL-3.0-or-later
// Response curve painting and marker gestures.
#include "CResponseCurve.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "ResponseCurve.h"

namespace quorvell {
namespace {

constexpr double kMarkerRadius = 6.0;
constexpr int kLeftMargin = 34;
constexpr int kRightMargin = 6;
constexpr int kTopMargin = 6;
constexpr int kBottomMargin = 16;
constexpr int kPointsPerPixel = 1;

QString HzText(double hz) {
    return hz >= 1000.0 ? QString::number(hz / 1000.0, 'f', hz >= 10000.0 ? 1 : 2) + " kHz"
                        : QString::number(hz, 'f', 0) + " Hz";
}

// -0.04 dB shows as "0.0", not "-0.0".
double NoNegativeZero(double db) {
    return std::fabs(db) < 0.05 ? 0.0 : db;
}

}  // namespace

const QColor CResponseCurve::kChannelColors[2] = {QColor(255, 160, 64), QColor(64, 192, 255)};

CResponseCurve::CResponseCurve(const DeviceParameters& params, QWidget* parent)
    : QWidget(parent), params_(&params) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Response curve"));
    setToolTip(
        tr("Drag a band's marker to change its frequency and gain; the wheel over a "
           "marker changes its Q. Double-click to enlarge."));
    Recompute();
}

void CResponseCurve::Refresh() {
    Recompute();
    update();
}

void CResponseCurve::SetActiveChannel(int channel) {
    activeChannel_ = std::clamp(channel, 0, 1);
    update();
}

QRectF CResponseCurve::PlotRect() const {
    return QRectF(kLeftMargin, kTopMargin, std::max(1, width() - kLeftMargin - kRightMargin),
                  std::max(1, height() - kTopMargin - kBottomMargin));
}

double CResponseCurve::XForHz(double hz) const {
    const QRectF r = PlotRect();
    return r.left() + r.width() * std::log(hz / kMinHz) / std::log(kMaxHz / kMinHz);
}

double CResponseCurve::HzForX(double x) const {
    const QRectF r = PlotRect();
    return kMinHz * std::exp((x - r.left()) / r.width() * std::log(kMaxHz / kMinHz));
}

double CResponseCurve::YForDb(double db) const {
    const QRectF r = PlotRect();
    return r.top() + r.height() * (kMaxDb - db) / (kMaxDb - kMinDb);
}

double CResponseCurve::DbForY(double y) const {
    const QRectF r = PlotRect();
    return kMaxDb - (y - r.top()) / r.height() * (kMaxDb - kMinDb);
}

QPointF CResponseCurve::MarkerPosition(int band) const {
    const EqBand& b = params_->channels[activeChannel_].bands[band];
    const double hz = std::clamp(static_cast<double>(b.freq), kMinHz, kMaxHz);
    return {XForHz(hz), YForDb(b.gain * 0.1 - 18.0)};
}

std::optional<int> CResponseCurve::MarkerAt(const QPointF& pos) const {
    // The last band drawn is on top, so it is hit first.
    for (int band = kBandCount; band >= 1; --band) {
        const QPointF d = MarkerPosition(band) - pos;
        if (d.x() * d.x() + d.y() * d.y() <= (kMarkerRadius + 2) * (kMarkerRadius + 2)) {
            return band;
        }
    }
    return std::nullopt;
}

double CResponseCurve::LevelDb(int channel, double hz) const {
    const auto chain = ChannelChain(*params_, channel);
    return ChainMagnitudeDb(chain, hz);
}

QString CResponseCurve::HoverText(const QPointF& pos) const {
    const double hz = std::clamp(HzForX(pos.x()), kMinHz, kMaxHz);
    return QStringLiteral("%1   CH1 %2 dB   CH2 %3 dB")
        .arg(HzText(hz))
        .arg(NoNegativeZero(LevelDb(0, hz)), 0, 'f', 1)
        .arg(NoNegativeZero(LevelDb(1, hz)), 0, 'f', 1);
}

void CResponseCurve::Recompute() {
    const int points = std::max(64, static_cast<int>(PlotRect().width()) * kPointsPerPixel);
    curveHz_ = LogFrequencies(points, kMinHz, kMaxHz);
    for (int ch = 0; ch < 2; ++ch) {
        const auto chain = ChannelChain(*params_, ch);
        curveDb_[ch].resize(curveHz_.size());
        for (std::size_t i = 0; i < curveHz_.size(); ++i) {
            curveDb_[ch][i] = ChainMagnitudeDb(chain, curveHz_[i]);
        }
    }
}

void CResponseCurve::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Recompute();
}

void CResponseCurve::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(24, 27, 30));
    const QRectF plot = PlotRect();
    p.fillRect(plot, QColor(33, 37, 41));

    QFont small = font();
    small.setPixelSize(9);
    p.setFont(small);
    p.setPen(QPen(QColor(70, 78, 86), 1));
    for (double hz : {20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0, 5000.0, 10000.0, 20000.0}) {
        const double x = XForHz(hz);
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        const QString label = hz >= 1000 ? QString::number(hz / 1000) + "k" : QString::number(hz);
        p.setPen(QColor(150, 160, 170));
        // The end labels stay inside the widget.
        const double left = std::clamp(x - 20, 0.0, width() - 40.0);
        p.drawText(QRectF(left, plot.bottom() + 2, 40, kBottomMargin - 2),
                   hz == 20000.0 ? (Qt::AlignRight | Qt::AlignVCenter) : Qt::AlignCenter, label);
        p.setPen(QPen(QColor(70, 78, 86), 1));
    }
    for (double db = kMinDb; db <= kMaxDb; db += 6.0) {
        const double y = YForDb(db);
        p.setPen(QPen(db == 0.0 ? QColor(110, 120, 130) : QColor(70, 78, 86), 1));
        p.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        p.setPen(QColor(150, 160, 170));
        const double top = std::clamp(y - 7, 0.0, height() - 14.0);
        p.drawText(QRectF(0, top, kLeftMargin - 4, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(db));
    }

    p.save();
    p.setClipRect(plot);
    // The inactive channel first, so the edited one is drawn on top.
    for (int ch : {1 - activeChannel_, activeChannel_}) {
        QPainterPath path;
        for (std::size_t i = 0; i < curveHz_.size(); ++i) {
            const QPointF pt(XForHz(curveHz_[i]),
                             YForDb(std::clamp(curveDb_[ch][i], kMinDb - 6, kMaxDb + 6)));
            if (i == 0) {
                path.moveTo(pt);
            } else {
                path.lineTo(pt);
            }
        }
        p.setPen(QPen(kChannelColors[ch], ch == activeChannel_ ? 2.0 : 1.4));
        p.drawPath(path);
    }
    for (int band = 1; band <= kBandCount; ++band) {
        const QPointF c = MarkerPosition(band);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(dragBand_ == band ? QColor(Qt::white) : kChannelColors[activeChannel_]);
        p.drawEllipse(c, kMarkerRadius, kMarkerRadius);
        p.setPen(Qt::black);
        p.drawText(QRectF(c.x() - kMarkerRadius, c.y() - kMarkerRadius, 2 * kMarkerRadius,
                          2 * kMarkerRadius),
                   Qt::AlignCenter, QString::number(band));
    }
    p.restore();

    // Legend: the active channel is the one whose markers are shown.
    p.setPen(kChannelColors[0]);
    p.drawText(QRectF(plot.left() + 4, plot.top() + 2, 60, 12), Qt::AlignLeft,
               activeChannel_ == 0 ? "CH1 \u25CF" : "CH1");
    p.setPen(kChannelColors[1]);
    p.drawText(QRectF(plot.left() + 40, plot.top() + 2, 60, 12), Qt::AlignLeft,
               activeChannel_ == 1 ? "CH2 \u25CF" : "CH2");

    if (hoverPos_ && plot.contains(*hoverPos_)) {
        const QString text = HoverText(*hoverPos_);
        const QRectF box(plot.right() - 190, plot.top() + 2, 186, 13);
        p.fillRect(box, QColor(0, 0, 0, 160));
        p.setPen(Qt::white);
        p.drawText(box, Qt::AlignCenter, text);
    }
}

int CResponseCurve::ClampFreq(double hz) const {
    return static_cast<int>(std::lround(std::clamp(hz, kMinHz, kMaxHz)));
}

int CResponseCurve::GainRawForY(double y) const {
    const double db = std::clamp(DbForY(y), -18.0, 18.0);
    return static_cast<int>(std::lround(db * 10.0)) + 180;
}

void CResponseCurve::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPointF pos = event->position();
    const QRectF plot = PlotRect();
    // A click on the legend chooses the channel to edit.
    if (pos.y() < plot.top() + 14 && pos.x() < plot.left() + 80) {
        SetActiveChannel(pos.x() < plot.left() + 38 ? 0 : 1);
        return;
    }
    dragBand_ = MarkerAt(pos);
    if (dragBand_) {
        const EqBand& b = params_->channels[activeChannel_].bands[*dragBand_];
        dragStart_ = pos;
        dragMarker_ = MarkerPosition(*dragBand_);
        dragFreq_ = b.freq;
        dragGain_ = b.gain;
    }
    update();
}

void CResponseCurve::mouseMoveEvent(QMouseEvent* event) {
    if (dragBand_ && !(event->buttons() & Qt::LeftButton)) {
        EndDrag();  // the button came up where this control could not see it
    }
    hoverPos_ = event->position();
    if (dragBand_) {
        const EqBand& b = params_->channels[activeChannel_].bands[*dragBand_];
        const QPointF offset = event->position() - dragStart_;
        const int freq =
            offset.x() == 0 ? dragFreq_ : ClampFreq(HzForX(dragMarker_.x() + offset.x()));
        const int gain = offset.y() == 0 ? dragGain_ : GainRawForY(dragMarker_.y() + offset.y());
        emit bandEdited(activeChannel_, *dragBand_, freq, gain, b.q, false);
    }
    update();
}

void CResponseCurve::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        EndDrag();
    }
}

void CResponseCurve::EndDrag() {
    if (!dragBand_) {
        return;
    }
    const int band = *dragBand_;
    dragBand_.reset();
    const EqBand& b = params_->channels[activeChannel_].bands[band];
    emit bandEdited(activeChannel_, band, b.freq, b.gain, b.q, true);
    update();
}

void CResponseCurve::hideEvent(QHideEvent* event) {
    EndDrag();
    hoverPos_.reset();
    QWidget::hideEvent(event);
}

void CResponseCurve::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        EndDrag();
    }
    QWidget::changeEvent(event);
}

bool CResponseCurve::event(QEvent* event) {
    if (event->type() == QEvent::WindowBlocked) {
        EndDrag();
        hoverPos_.reset();
        update();
    }
    return QWidget::event(event);
}

void CResponseCurve::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!MarkerAt(event->position())) {
        emit enlargeRequested();
    }
}

void CResponseCurve::wheelEvent(QWheelEvent* event) {
    const auto band = MarkerAt(event->position());
    if (!band) {
        event->ignore();
        return;
    }
    // One Q step (0.1) per notch of 120; smaller deltas add up within one gesture.
    wheelAccumulator_ += event->angleDelta().y();
    const int notches = wheelAccumulator_ / 120;
    wheelAccumulator_ -= notches * 120;
    if (notches != 0) {
        const EqBand& b = params_->channels[activeChannel_].bands[*band];
        const int q = std::clamp(b.q + notches, 1, 1000);
        if (q != b.q) {
            emit bandEdited(activeChannel_, *band, b.freq, b.gain, q, true);
        }
    }
    event->accept();
}

void CResponseCurve::leaveEvent(QEvent* event) {
    hoverPos_.reset();
    update();
    QWidget::leaveEvent(event);
}

}  // namespace quorvell
