// A caption drawn anti-aliased in bold over a copy of the parent's pixels beneath it.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace quorvell {

class CTextLabel : public QWidget {
    Q_OBJECT

public:
    static constexpr int kMaxDrawnChars = 255;

    explicit CTextLabel(QWidget* parent = nullptr);

    // Stores the caption (also the tooltip) and repaints.
    void SetText(const QString& caption);
    QString Text() const { return text; }

    // Transparent: the background is a snapshot of the parent under the label, taken at the
    // next paint; opaque: grey (128, 128, 128). Always drops the snapshot.
    void SetTransparent(bool on);
    bool IsTransparent() const { return transparent; }
    bool HasSnapshot() const { return !snapshot.isNull(); }

    // Em size of the bold caption font in points.
    int fontSize = 8;
    // 0 near, 1 centre, 2 far; applied both horizontally and vertically.
    int alignment = 1;
    QColor textColor = QColor(0, 0, 0);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void TakeSnapshot();

    QString text;
    bool transparent = true;
    QPixmap snapshot;
};

}  // namespace quorvell
