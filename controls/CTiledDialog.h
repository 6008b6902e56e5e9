// SPDX-License-Identifier: GPL-3.0-or-later
// A dialog whose background is an image tiled from the top-left corner.
#pragma once

#include <QDialog>
#include <QPixmap>

class QPainter;

namespace quorvell {

// Tiles `tile` over `area` from its top-left corner; nothing when either is empty.
void PaintTiled(QPainter& painter, const QRect& area, const QPixmap& tile);

class CTiledDialog : public QDialog {
    Q_OBJECT

public:
    explicit CTiledDialog(QWidget* parent = nullptr);

    // Image `id` (see SkinImages.h) as the background; 0 removes it. False for an unknown id,
    // which also leaves the dialog without an image.
    bool SetBackground(int id);
    // An explicit tile (tests, other images); a null pixmap removes it.
    void SetBackground(const QPixmap& tile);
    bool HasBackground() const { return !background.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int backgroundId = 0;  // drawn at the painter's pixel ratio when set
    QPixmap background;
};

// Dialog units of the 10-point template font to pixels (x: 7/4, y: 14/8 per unit).
constexpr int DialogX(int units) {
    return units * 7 / 4;
}
constexpr int DialogY(int units) {
    return units * 14 / 8;
}

}  // namespace quorvell
