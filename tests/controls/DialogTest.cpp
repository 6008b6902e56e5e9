// SPDX-License-Identifier: GPL-3.0-or-later
// Name dialog, Value dialog and the owner-drawn slot menu: length rules, Enter, number display
// and syntax, refusals, the menu's items and measures.
#include <gtest/gtest.h>
#include <QApplication>
#include <QMenu>

#include <QLineEdit>
#include <QSignalSpy>

#include "CMenuEx.h"
#include "CNameDialog.h"
#include "CNameEdit.h"
#include "CTextLabel.h"
#include "CValueDialog.h"
#include "MessageBoxes.h"
#include "PngButton.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

struct NameDialog {
    explicit NameDialog(const QString& name) : dialog(nullptr, &boxes) {
        dialog.SetName(name);
        dialog.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        dialog.NameField()->setFocus();
        dialog.NameField()->end(false);
    }

    ScriptedMessageBoxes boxes;
    CNameDialog dialog;
};

TEST(NameDialog, OkAcceptsAtMostEightCharacters) {
    struct Case {
        const char* typed;
        bool accepted;
    };
    // Characters as the user sees them: code points, not UTF-16 units.
    for (const Case& c :
         {Case{"ABCDEFGH", true}, Case{"ABCDEFGHI", false}, Case{"ABCDEFGHIJ", false},
          Case{"", true}, Case{"ÄÖ名前😀😀😀😀", true}, Case{"😀😀😀😀😀😀😀😀😀", false}}) {
        NameDialog d(QStringLiteral("old"));
        d.dialog.NameField()->setText(QString::fromUtf8(c.typed));
        QTest::mouseClick(d.dialog.OkButton(), Qt::LeftButton);
        EXPECT_EQ(d.dialog.result() == QDialog::Accepted, c.accepted) << c.typed;
        if (c.accepted) {
            EXPECT_EQ(d.dialog.Name(), QString::fromUtf8(c.typed));
            EXPECT_TRUE(d.boxes.shown.empty());
        } else {
            EXPECT_TRUE(d.dialog.isVisible());
            EXPECT_EQ(d.dialog.Name(), QStringLiteral("old"));
            ASSERT_EQ(d.boxes.shown.size(), 1u);
            EXPECT_EQ(d.boxes.shown[0].text, "Channel name is too long.");
            EXPECT_EQ(d.dialog.NameField()->text(), QString::fromUtf8(c.typed));
        }
    }
}

TEST(NameDialog, EnterIsSwallowedAndCancelKeepsTheName) {
    NameDialog d(QStringLiteral("Stage"));
    QSignalSpy enter(d.dialog.NameField(), &CNameEdit::enterPressed);
    QTest::keyClick(d.dialog.NameField(), Qt::Key_Return);
    QTest::keyClick(d.dialog.NameField(), Qt::Key_Enter);
    EXPECT_TRUE(d.dialog.isVisible());
    EXPECT_EQ(d.dialog.NameField()->text(), QStringLiteral("Stage"));
    EXPECT_EQ(enter.count(), 2);
    d.dialog.NameField()->setText(QStringLiteral("Other"));
    QTest::mouseClick(d.dialog.CancelButton(), Qt::LeftButton);
    EXPECT_EQ(d.dialog.result(), QDialog::Rejected);
    EXPECT_EQ(d.dialog.Name(), QStringLiteral("Stage"));
}

// What the field accepts, and how it shows a number: general notation, a 0 dB threshold as 0.
TEST(ValueDialog, NumberSyntaxAndGeneralNotation) {
    const std::pair<const char*, std::optional<float>> cases[] = {
        {"12", 12.0F},          {"  -12 ", -12.0F},
        {"+3.5", 3.5F},         {".5", 0.5F},
        {"7.", 7.0F},           {"1e3", 1000.0F},
        {"\t-0.25\t", -0.25F},  {"", std::nullopt},
        {"abc", std::nullopt},  {"1.2.3", std::nullopt},
        {"--1", std::nullopt},  {"- 1", std::nullopt},
        {"1e99", std::nullopt}, {"nan", std::nullopt},
        {"inf", std::nullopt},  {"0x10", std::nullopt},
        {".", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(CValueDialog::ParseNumber(QString::fromLatin1(text)), expected) << text;
    }
    const std::pair<float, const char*> shown[] = {
        {20000.0F, "20000"},         {0.5F, "0.5"}, {-18.0F, "-18"}, {3.5F, "3.5"},
        {1234567.0F, "1.23457e+06"}, {0.0F, "0"},   {-0.0F, "0"}};
    CValueDialog dialog;
    for (const auto& [n, text] : shown) {
        dialog.SetNumber(n);
        EXPECT_EQ(dialog.NumberField()->text(), QString::fromLatin1(text));
    }
}

TEST(ValueDialog, OkRefusesTextThatIsNotANumber) {
    ScriptedMessageBoxes boxes;
    CValueDialog dialog(nullptr, &boxes);
    dialog.SetNumber(3.5F);
    dialog.show();
    dialog.NumberField()->setText(QStringLiteral("three"));
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(dialog.NumberField()->selectedText(), QStringLiteral("three"));
    EXPECT_EQ(dialog.Number(), 3.5F);
    dialog.NumberField()->setText(QStringLiteral(" -200 "));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Number(), -200.0F);
}

TEST(NameDialog, CaptionIsReadableOnTheBlackBackground) {
    NameDialog d{QString()};
    EXPECT_EQ(d.dialog.CaptionLabel()->Text(), QStringLiteral("NAME:"));
    EXPECT_NE(d.dialog.CaptionLabel()->textColor, QColor(Qt::black));
    EXPECT_EQ(QColor(test::Pixels(d.dialog).pixel(2, 2)), QColor(Qt::black));
}

// The slot menu's items, in order, each 19 pixels high and at least as wide as the widest
// caption plus the 16-pixel icon column, all of one width.
TEST(MenuEx, PresetSlotMenuHoldsNameRecallDelete) {
    CMenuEx menu;
    ASSERT_TRUE(menu.LoadMenu(kPresetSlotMenu));
    EXPECT_FALSE(CMenuEx().LoadMenu(147));
    QMenu* popup = menu.SubMenu(0);
    ASSERT_NE(popup, nullptr);
    popup->popup(QPoint(50, 50));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(popup));
    const QList<QAction*> actions = popup->actions();
    ASSERT_EQ(actions.size(), 3);
    const std::pair<const char*, int> expected[] = {
        {"NAME", kCmdName}, {"RECALL", kCmdRecall}, {"DELETE", kCmdDelete}};
    const QFontMetrics metrics(QApplication::font());
    const int width = popup->actionGeometry(actions[0]).width();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(actions[i]->text(), QString::fromLatin1(expected[i].first));
        EXPECT_EQ(actions[i]->data().toInt(), expected[i].second);
        EXPECT_EQ(popup->actionGeometry(actions[i]).height(), 19);
        EXPECT_EQ(popup->actionGeometry(actions[i]).width(), width);
        EXPECT_GE(width, metrics.horizontalAdvance(actions[i]->text()) + 16);
    }
    popup->hide();
}

}  // namespace
}  // namespace quorvell
