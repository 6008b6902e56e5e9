// SPDX-License-Identifier: GPL-3.0-or-later
// Owner-drawn menu: the preset slot menu's items and their measures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>

#include "CMenuEx.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

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
