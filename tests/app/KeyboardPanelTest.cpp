// The panel by keyboard and screen reader: Tab order, the focus shown, every control named.
#include <QAccessible>
#include <tuple>

#include "CDropDown.h"
#include "PanelFixture.h"

namespace quorvell {
namespace {

class KeyboardPanelTest : public test::PanelFixture {
protected:
    void SetUp() override {
        StartPanel("127.0.23.30", 42320, "127.0.23.31");
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
};

bool ShowsFocus(QWidget* w) {
    if (auto* s = qobject_cast<CValueStepper*>(w)) {
        return s->ShowsFocus();
    }
    if (auto* d = qobject_cast<CDropDown*>(w)) {
        return d->ShowsFocus();
    }
    if (auto* b = qobject_cast<PngButton*>(w)) {
        return b->ShowsFocus();
    }
    return w->hasFocus();  // standard widgets draw their own focus
}

// Tab walks each page row by row, CH1 before CH2, and the focused control shows it.
TEST_F(KeyboardPanelTest, TabWalksEachPageRowByRowChannelByChannelShowingTheFocus) {
    const struct {
        int page;
        QWidget* (*first)(CMainDialog*);
        int lowerTop;
    } pages[] = {
        {1, [](CMainDialog* w) -> QWidget* { return w->EqPage()->Stepper(1030); }, 400},
        {2, [](CMainDialog* w) -> QWidget* { return w->LimiterPage()->Stepper(1081); }, 10000},
    };
    for (const auto& p : pages) {
        window->SwitchPage(p.page);
        QWidget* first = p.first(window);
        QWidget* page = first->parentWidget();
        first->setFocus(Qt::TabFocusReason);
        std::vector<std::tuple<bool, bool, int, int>> keys;
        for (QWidget* w = first; w != nullptr && w->parentWidget() == page && keys.size() <= 200;
             w = QApplication::focusWidget()) {
            ASSERT_TRUE(ShowsFocus(w)) << w->objectName().toStdString();
            keys.emplace_back(w->y() >= p.lowerTop, w->x() >= 395, w->y(), w->x());
            QTest::keyClick(w, Qt::Key_Tab);
        }
        ASSERT_GT(keys.size(), 8u) << "page " << p.page;
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << "page " << p.page;
    }
    // Keys reach a focused stepper inside the window: Up steps it.
    window->SwitchPage(1);
    window->EqPage()->Stepper(1031)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    EXPECT_EQ(window->EqPage()->Stepper(1031)->Text(), "G:0.2");
}

// Walks the accessibility tree under `root`, collecting every interface.
void Walk(QAccessibleInterface* root, std::vector<QAccessibleInterface*>& out) {
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface* child = root->child(i)) {
            out.push_back(child);
            Walk(child, out);
        }
    }
}

// Through the accessibility tree, every focusable control of every page has a name; the
// steppers name their channel and report the shown value.
TEST_F(KeyboardPanelTest, EveryControlOfEveryPageReportsItsNameAndShownValue) {
    for (int page = 1; page <= 3; ++page) {
        window->SwitchPage(page);
        std::vector<QAccessibleInterface*> all;
        Walk(QAccessible::queryAccessibleInterface(window), all);
        int controls = 0;
        for (QAccessibleInterface* a : all) {
            auto* w = qobject_cast<QWidget*>(a->object());
            if (w == nullptr || !w->isVisible() || !(w->focusPolicy() & Qt::TabFocus)) {
                continue;
            }
            ++controls;
            const QString name = a->text(QAccessible::Name);
            EXPECT_FALSE(name.isEmpty()) << w->metaObject()->className() << " page " << page;
            if (auto* s = qobject_cast<CValueStepper*>(w)) {
                EXPECT_TRUE(name.startsWith("CH") || name == "Main level") << name.toStdString();
                EXPECT_EQ(a->text(QAccessible::Value), s->Text());
            }
        }
        EXPECT_GT(controls, 5) << "page " << page;
    }
}

}  // namespace
}  // namespace quorvell
