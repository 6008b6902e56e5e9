// SPDX-License-Identifier: GPL-3.0-or-later
// A caption drawn anti-aliased in bold over its parent's painting (or a grey background).
#pragma once

#include <QColor>
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

    // Transparent: the parent shows through exactly as it paints itself now (frame lines,
    // tiles); opaque: grey (128, 128, 128).
    void SetTransparent(bool on);
    bool IsTransparent() const { return transparent; }

    // Em size of the bold caption font in points.
    int fontSize = 8;
    // 0 near, 1 centre, 2 far; applied both horizontally and vertically.
    int alignment = 1;
    QColor textColor = QColor(0, 0, 0);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text;
    bool transparent = true;
};

}  // namespace quorvell
