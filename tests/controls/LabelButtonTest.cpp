// SPDX-License-Identifier: GPL-3.0-or-later
// Text label (alignment, background) and image button (images, captions, sizes, clicks).
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>

#include "CTextLabel.h"
#include "PngButton.h"
#include "SkinImages.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

// A parent that paints a 3-pixel grey divider through y = 40, as the pages do.
struct DividedPage : QWidget {
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(QPen(QColor(128, 128, 128), 3));
        p.drawLine(0, 40, width(), 40);
    }
};

TEST(TextLabel, ShowsExactlyWhatTheParentShowsOrGreyWhenOpaque) {
    DividedPage page;
    page.resize(300, 100);
    CTextLabel label(&page);
    label.setGeometry(0, 40, 100, 24);  // "LEVEL:" standing on the divider
    label.SetText(QStringLiteral("LEVEL:"));
    page.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
    const QImage shown = test::Pixels(page);
    for (int y = 36; y < 46; ++y) {
        EXPECT_EQ(shown.pixel(99, y), shown.pixel(200, y)) << "row " << y;  // under / beside
    }
    EXPECT_EQ(QColor(shown.pixel(99, 41)), QColor(128, 128, 128));
    label.SetTransparent(false);
    EXPECT_EQ(QColor(test::Pixels(page).pixel(99, 50)), QColor(128, 128, 128));
}

struct Button {
    Button() : button(QStringLiteral("PHASE"), &page) {
        button.sizeMode = 1;
        button.SetImages(kButtonCyanWide, kButtonDarkWide);
        page.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
    }
    QWidget page;
    PngButton button;
};

// On shows the dark image, off the cyan one, and that is what is drawn.
TEST(PngButton, PhaseButtonShowsTheImageOfItsState) {
    Button b;
    for (const bool on : {true, false}) {
        b.button.on = on;
        b.button.update();
        EXPECT_EQ(b.button.ShownImage(), on ? kButtonDarkWide : kButtonCyanWide);
        EXPECT_EQ(QColor(test::Pixels(b.button).pixel(8, 14)) == QColor(0, 200, 220), !on) << on;
    }
}

TEST(PngButton, ClicksNeverChangeTheStateAndADoubleClickIsTwoClicks) {
    Button b;
    QSignalSpy clicks(&b.button, &PngButton::clicked);
    QTest::mouseClick(&b.button, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_FALSE(b.button.on);
    clicks.clear();
    // What the window system delivers for a double click: the second press is followed by a
    // double-click event.
    const QPointF at(10, 10);
    const QPointF global = b.button.mapToGlobal(at);
    for (const QEvent::Type type :
         {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
          QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent event(type, at, global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&b.button, &event);
    }
    EXPECT_EQ(clicks.count(), 2);
}

}  // namespace
}  // namespace quorvell
