// SPDX-License-Identifier: GPL-3.0-or-later
// The magnitude response of both channels' chains as the processor runs them, with a marker
// per EQ band of the active channel that the operator drags (frequency, gain) or wheels (Q).
#pragma once

#include <QWidget>
#include <array>
#include <optional>

#include "DeviceParameters.h"

namespace quorvell {

class CResponseCurve : public QWidget {
    Q_OBJECT

public:
    // `params` is the model the curve reads; it must outlive the widget. The widget never
    // writes it: edits are proposed through bandEdited and the page stores them.
    explicit CResponseCurve(const DeviceParameters& params, QWidget* parent = nullptr);
    // Reads `params` from now on (another processor's model); the caller refreshes.
    void SetModel(const DeviceParameters& params) { params_ = &params; }

    // Recomputes both curves from the model (after an edit, a refresh or a recall).
    void Refresh();

    // The channel whose markers are shown and edited (0 CH1, 1 CH2).
    void SetActiveChannel(int channel);
    int ActiveChannel() const { return activeChannel_; }

    // Axis ranges: 20 Hz .. 20 kHz, kMinDb .. kMaxDb.
    static constexpr double kMinHz = 20.0;
    static constexpr double kMaxHz = 20000.0;
    static constexpr double kMinDb = -24.0;
    static constexpr double kMaxDb = 24.0;

    // Pixel mapping of the plot area, for painting, hit tests and tests.
    QRectF PlotRect() const;
    double XForHz(double hz) const;
    double HzForX(double x) const;
    double YForDb(double db) const;
    double DbForY(double y) const;
    // Where band `band` (1..7) of the active channel is drawn.
    QPointF MarkerPosition(int band) const;
    // The band whose marker is under `pos`, if any.
    std::optional<int> MarkerAt(const QPointF& pos) const;
    // The text the pointer shows at `pos`: frequency and both channels' levels.
    QString HoverText(const QPointF& pos) const;
    // The level of a channel's chain at `hz`, as drawn.
    double LevelDb(int channel, double hz) const;

    // True from a press on a marker until the drag ends.
    bool IsDragging() const { return dragBand_.has_value(); }

    static const QColor kChannelColors[2];

signals:
    // The operator moved (drag) or wheeled a marker: the proposed raw values of the band.
    // `finished` is true for the last value of a gesture (release) and for every wheel notch.
    void bandEdited(int channel, int band, int freq, int gain, int q, bool finished);
    // Double click on the plot: the owner may open a larger view.
    void enlargeRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void Recompute();
    // Ends a marker drag however it ends (button-up, a lost release, hide, a modal window):
    // the band's last value is reported as the gesture's end and later moves change nothing.
    void EndDrag();
    int ClampFreq(double hz) const;
    int GainRawForY(double y) const;

    const DeviceParameters* params_;
    int activeChannel_ = 0;
    std::array<std::vector<double>, 2> curveDb_;
    std::vector<double> curveHz_;
    std::optional<int> dragBand_;
    // Where the drag started and the band's marker and settings then: moves apply the
    // pointer's offset, so grabbing a marker off-centre does not shift it, and an axis the
    // pointer did not move along keeps its exact value.
    QPointF dragStart_;
    QPointF dragMarker_;
    int dragFreq_ = 0;
    int dragGain_ = 0;
    std::optional<QPointF> hoverPos_;
    int wheelAccumulator_ = 0;
};

}  // namespace quorvell
