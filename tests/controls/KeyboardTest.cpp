// SPDX-License-Identifier: GPL-3.0-or-later
// Keyboard use of the skinned controls: the focus frame, drop-downs by keys, the
// accessible name and shown value.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QSignalSpy>

#include "CDropDown.h"
#include "CDropListBox.h"
#include "CTextLabel.h"
#include "CValueStepper.h"
#include "DisplayFormats.h"
#include "PngButton.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

struct Controls {
    Controls() {
        page.resize(400, 300);
        first.move(10, 10);
        stepper.move(10, 50);
        test::SetUpStepper(stepper, static_cast<int>(StepperKind::EqGain), 0, 360, 180);
        stepper.setAccessibleName(QStringLiteral("CH1 Band 2 gain"));
        drop.move(10, 90);
        test::SetUpDropDown(drop, {"Butterworth 1", "Butterworth 2", "Bessel 2", "Linkwitz 2"});
        drop.setAccessibleName(QStringLiteral("CH1 HIPASS type"));
        button.setGeometry(10, 130, 80, 24);
        button.SetImages(kButtonCyanWide, kButtonDarkWide);
        button.setAccessibleName(QStringLiteral("CH1 phase"));
        label.setGeometry(10, 170, 80, 24);
        label.SetText(QStringLiteral("LEVEL:"));
        page.show();
        page.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&page));
    }

    QWidget page;
    PngButton first{QStringLiteral("MAIN"), &page};
    CValueStepper stepper{1031, &page};
    CDropDown drop{&page};
    PngButton button{QStringLiteral("PHASE"), &page};
    CTextLabel label{&page};
};

// The pixel where the focus frame's inner line runs.
QRgb FramePixel(QWidget& w) {
    return test::Pixels(w).pixel(1, w.height() / 2);
}

TEST(Keyboard, TabShowsTheFocusFrameAClickDoesNotUntilAKey) {
    Controls c;
    c.first.setFocus(Qt::TabFocusReason);
    QWidget* const chain[] = {&c.stepper, &c.drop, &c.button};
    const QRgb unfocusedStepper = FramePixel(c.stepper);
    for (QWidget* w : chain) {
        const QRgb before = FramePixel(*w);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), w) << w->metaObject()->className();
        EXPECT_NE(FramePixel(*w), before) << w->metaObject()->className();
    }
    EXPECT_EQ(FramePixel(c.stepper), unfocusedStepper);  // only the focused control shows it

    QTest::mouseClick(&c.stepper, Qt::LeftButton, {}, QPoint(45, 10) + QPoint(0, 30));
    c.stepper.setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(c.stepper.ShowsFocus());
    QTest::keyClick(&c.stepper, Qt::Key_Up);
    EXPECT_TRUE(c.stepper.ShowsFocus());
}

TEST(Keyboard, DropDownOpensWithSpaceOrEnterAndArrowsChoose) {
    Controls c;
    QSignalSpy chosen(&c.drop, &CDropDown::selectionChanged);
    for (const Qt::Key open : {Qt::Key_Space, Qt::Key_Return}) {
        c.drop.setFocus(Qt::TabFocusReason);
        QTest::keyClick(&c.drop, open);
        ASSERT_TRUE(c.drop.IsPopupShowing());
        CDropListBox* list = c.drop.List();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        EXPECT_TRUE(c.drop.IsPopupShowing());  // arrows move the highlight only
        test::Drain();
        EXPECT_EQ(chosen.count(), 0);
        QTest::keyClick(list, Qt::Key_Escape);
        EXPECT_FALSE(c.drop.IsPopupShowing());
        EXPECT_EQ(c.drop.Text(), "Butterworth 1");
    }
    QTest::keyClick(&c.drop, Qt::Key_Space);
    QTest::keyClick(c.drop.List(), Qt::Key_End);
    QTest::keyClick(c.drop.List(), Qt::Key_Return);
    test::Drain();
    EXPECT_FALSE(c.drop.IsPopupShowing());
    EXPECT_EQ(test::Posted(chosen, 1095), std::vector<int>{3});
    EXPECT_EQ(c.drop.Text(), "Linkwitz 2");
    EXPECT_EQ(QApplication::focusWidget(), &c.drop);
    EXPECT_TRUE(c.drop.ShowsFocus());

    // On the closed bar each arrow is one choice; nothing past either end.
    chosen.clear();
    for (const Qt::Key key : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down}) {
        QTest::keyClick(&c.drop, key);
    }
    test::Drain();
    EXPECT_EQ(test::Posted(chosen, 1095), (std::vector<int>{2, 3}));
}

TEST(Keyboard, EveryControlReportsItsNameAndShownValue) {
    Controls c;
    c.button.on = true;
    const struct {
        QWidget* widget;
        QAccessible::Role role;
        const char* name;
        const char* value;
    } cases[] = {
        {&c.stepper, QAccessible::SpinBox, "CH1 Band 2 gain", "G:0.0"},
        {&c.drop, QAccessible::ComboBox, "CH1 HIPASS type", "Butterworth 1"},
        {&c.button, QAccessible::Button, "CH1 phase", "PHASE"},
        {&c.first, QAccessible::Button, "MAIN", "MAIN"},
        {&c.label, QAccessible::StaticText, "LEVEL:", ""},
    };
    for (const auto& k : cases) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(k.widget);
        ASSERT_NE(a, nullptr) << k.name;
        EXPECT_EQ(a->role(), k.role) << k.name;
        EXPECT_EQ(a->text(QAccessible::Name), k.name);
        EXPECT_EQ(a->text(QAccessible::Value), k.value);
    }
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(&c.button)->state().checked);
}

}  // namespace
}  // namespace quorvell
