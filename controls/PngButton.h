// SPDX-License-Identifier: GPL-3.0-or-later
// The program's push button: one of two images, chosen by an owner-set on state, with a caption.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QSize>
#include <QStringList>

namespace quorvell {

class PngButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit PngButton(QWidget* parent = nullptr);
    PngButton(const QString& caption, QWidget* parent);

    // Takes images `offId` and `onId` (see SkinImages.h) and sizes the button by sizeMode:
    // 0 keeps the current size, 1 the off image's size, 2 half of it (rounded down).
    // Set sizeMode, captionSize and the colours before this call.
    void SetImages(int offId, int onId);

    // Size at which image and caption are drawn (mode 0: the button's current size).
    QSize DrawnSize() const { return sizeMode == 0 ? size() : drawnSize; }
    int OffImage() const { return offImage; }
    int OnImage() const { return onImage; }
    // The image id the button shows now.
    int ShownImage() const { return on ? onImage : offImage; }
    QColor ShownCaptionColor() const { return on ? onCaptionColor : offCaptionColor; }

    // Owner-set state; repaint (update()) after changing it. The button never changes it.
    bool on = false;
    bool showCaption = true;
    int sizeMode = 0;
    QColor offCaptionColor = QColor(255, 255, 255);
    QColor onCaptionColor = QColor(0, 0, 0);
    int captionSize = 8;  // points
    // When set, a caption too wide for the button is drawn on two lines, broken after the
    // first occurrence of this character, in a smaller size where needed; the first line is
    // never cut, the second is elided as a last resort.
    QChar captionBreak;

    // The caption as drawn: its font and one or two lines.
    struct CaptionLayout {
        QFont font;
        QStringList lines;
    };
    CaptionLayout LayoutCaption() const;

    QSize sizeHint() const override;
    // True while the button shows its focus frame (keyboard focus, or a key was used).
    bool ShowsFocus() const { return hasFocus() && focusShown; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool event(QEvent* event) override;

private:
    int offImage = 0;
    int onImage = 0;
    QSize drawnSize;
    bool focusShown = false;
};

}  // namespace quorvell
