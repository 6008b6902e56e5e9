// Owner-drawn menu: the preset slot menu's items, their measures, highlight and grayed items.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QSignalSpy>

#include "CMenuEx.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

QMenu& Shown(CMenuEx& menu) {
    QMenu* popup = menu.SubMenu(0);
    EXPECT_NE(popup, nullptr);
    popup->popup(QPoint(50, 50));
    EXPECT_TRUE(QTest::qWaitForWindowExposed(popup));
    return *popup;
}

TEST(MenuEx, PresetSlotMenuHoldsNameRecallDelete) {
    CMenuEx menu;
    ASSERT_TRUE(menu.LoadMenu(kPresetSlotMenu));
    EXPECT_FALSE(CMenuEx().LoadMenu(147));
    QMenu& popup = Shown(menu);
    const QList<QAction*> actions = popup.actions();
    ASSERT_EQ(actions.size(), 3);
    const std::pair<const char*, int> expected[] = {
        {"NAME", kCmdName}, {"RECALL", kCmdRecall}, {"DELETE", kCmdDelete}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(actions[i]->text(), QString::fromLatin1(expected[i].first));
        EXPECT_EQ(actions[i]->data().toInt(), expected[i].second);
        EXPECT_EQ(popup.actionGeometry(actions[i]).height(), 19);
    }
    popup.hide();
}

TEST(MenuEx, SeparatorsAndGrayedItems) {
    static constexpr MenuEntry kItems[] = {{"One", 1}, {"", 0}, {"Two", 2, true}, {"Three", 3}};
    static constexpr MenuEntry kTop[] = {{"Top", -1, false, kItems, true}};
    CMenuEx menu;
    menu.Load(kTop);
    QMenu& popup = Shown(menu);
    const QList<QAction*> actions = popup.actions();
    ASSERT_EQ(actions.size(), 4);
    EXPECT_EQ(popup.actionGeometry(actions[1]).height(), CMenuEx::kSeparatorHeight);
    EXPECT_FALSE(actions[2]->isEnabled());
    QSignalSpy triggered(&popup, &QMenu::triggered);
    QTest::mouseClick(&popup, Qt::LeftButton, {}, popup.actionGeometry(actions[2]).center());
    EXPECT_EQ(triggered.count(), 0) << "a grayed item cannot be chosen";
    QTest::mouseClick(&popup, Qt::LeftButton, {}, popup.actionGeometry(actions[3]).center());
    ASSERT_EQ(triggered.count(), 1);
    EXPECT_EQ(triggered.at(0).at(0).value<QAction*>()->data().toInt(), 3);
}

TEST(MenuEx, WidthFollowsTheWidestCaptionPlusTheIconColumn) {
    CMenuEx menu;
    menu.LoadMenu(kPresetSlotMenu);
    QMenu& popup = Shown(menu);
    const QFontMetrics metrics(QApplication::font());
    int rule = 0;  // the widest caption and the 16-pixel icon column
    for (const char* caption : {"NAME", "RECALL", "DELETE"}) {
        rule = std::max(rule, metrics.horizontalAdvance(QString::fromLatin1(caption)) + 16);
    }
    const int width = popup.actionGeometry(popup.actions().at(0)).width();
    EXPECT_GE(width, rule);
    for (QAction* action : popup.actions()) {
        EXPECT_EQ(popup.actionGeometry(action).width(), width) << "all items share the width";
    }
    popup.hide();
}

}  // namespace
}  // namespace quorvell
