// SPDX-License-Identifier: GPL-3.0-or-later
// The panel by keyboard and screen reader: Tab order, the focus shown, every control named.
#include <QAccessible>
#include <QLineEdit>
#include <QSettings>
#include <QTableWidget>
#include <QUndoStack>
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

// Tab walks each page and sub-page in reading order, CH1 before CH2, showing the focus: the
// window's buttons, then the page's rows (tops a few pixels apart are one row), and back.
TEST_F(KeyboardPanelTest, TabWalksEveryPageInReadingOrderShowingTheFocus) {
    const struct {
        int page;
        int subPage;          // SYSTEM's sub-page button, or 0
        int lowerTop;         // the section below which CH1 and CH2 run side by side again
        int split;            // where CH2's column begins
        const char* present;  // a control the walk must reach
    } pages[] = {
        {1, 0, 400, 395, "compareButton"},      {2, 0, 10000, 395, "stepper1081"},
        {3, 1001, 10000, 10000, "control1085"}, {3, 1002, 10000, 10000, "control1096"},
        {3, 1003, 10000, 10000, "control1127"},
    };
    for (const auto& p : pages) {
        window->SwitchPage(p.page);
        if (p.subPage != 0) {
            QTest::mouseClick(window->SystemPage()->Button(p.subPage), Qt::LeftButton);
        }
        QWidget* start = window->PageButton(1);
        start->setFocus(Qt::TabFocusReason);
        std::vector<QWidget*> walk;
        for (QWidget* w = start; walk.size() <= 200;) {
            ASSERT_TRUE(ShowsFocus(w)) << w->objectName().toStdString();
            walk.push_back(w);
            QTest::keyClick(w, Qt::Key_Tab);
            w = QApplication::focusWidget();
            if (w == start) {
                break;
            }
        }
        const std::string where =
            "page " + std::to_string(p.page) + "/" + std::to_string(p.subPage);
        ASSERT_GT(walk.size(), 8u) << where;
        ASSERT_LT(walk.size(), 200u) << where << ": Tab never came back";
        for (int i = 1; i <= 3; ++i) {
            EXPECT_EQ(walk[static_cast<std::size_t>(i - 1)], window->PageButton(i)) << where;
        }
        std::vector<std::tuple<bool, bool, int, int>> keys;
        int rowTop = -100;
        std::vector<QWidget*> page(walk.begin() + 3, walk.end());
        std::vector<int> tops;
        for (QWidget* w : page) {
            tops.push_back(w->y());
        }
        std::sort(tops.begin(), tops.end());
        for (QWidget* w : page) {
            if (w == window->StatusButton()) {
                continue;  // the window's own button, after the page wraps
            }
            EXPECT_EQ(w->parentWidget(), walk[3]->parentWidget()) << where;
            // The row of a control: the first top of its band of tops at most 8 px apart.
            for (int t : tops) {
                if (t - rowTop > 8) {
                    rowTop = t;
                }
                if (t == w->y()) {
                    break;
                }
            }
            keys.emplace_back(w->y() >= p.lowerTop, w->x() >= p.split, rowTop, w->x());
            rowTop = -100;
        }
        EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end())) << where;
        EXPECT_TRUE(std::any_of(page.begin(), page.end(),
                                [&](QWidget* w) { return w->objectName() == p.present; }))
            << where << " misses " << p.present;
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

// The large-step, limit and value-entry keys on a focused stepper: each press is one step
// of the undo stack, a held Return opens one dialog.
TEST_F(KeyboardPanelTest, PageHomeEndAndReturnOnAStepperAreOneStepEach) {
    const struct {
        int id;  // CH1 band 1 gain, CH1 band 1 frequency, CH1 high-pass, main level
        Qt::Key key;
        std::function<int(const CValueStepper*)> expected;
    } rows[] = {
        {1030, Qt::Key_PageUp, [](const CValueStepper* s) { return s->GetValue() + 10; }},
        {1030, Qt::Key_PageDown, [](const CValueStepper* s) { return s->GetValue() - 10; }},
        {1030, Qt::Key_End, [](const CValueStepper* s) { return s->Maximum(); }},
        {1030, Qt::Key_Home, [](const CValueStepper* s) { return s->Minimum(); }},
        {1044, Qt::Key_Home, [](const CValueStepper* s) { return s->Minimum(); }},
        {1044, Qt::Key_PageUp, [](const CValueStepper*) { return 25; }},
        {1044, Qt::Key_PageUp, [](const CValueStepper*) { return 32; }},
        {1044, Qt::Key_End, [](const CValueStepper* s) { return s->Maximum(); }},
        {1044, Qt::Key_PageDown, [](const CValueStepper*) { return 16000; }},
        // The high-pass stays at or below the low-pass it is bound by.
        {1051, Qt::Key_End,
         [this](const CValueStepper* s) {
             return std::min(s->Maximum(), window->EqPage()->Stepper(1052)->GetValue());
         }},
        {1084, Qt::Key_End, [](const CValueStepper* s) { return s->Maximum(); }},
    };
    QUndoStack& steps = app->UndoStack();
    for (const auto& r : rows) {
        CValueStepper* s = window->EqPage()->Stepper(r.id);
        s->setFocus(Qt::TabFocusReason);
        const int want = r.expected(s);
        const int before = steps.count();
        QTest::keyClick(s, r.key);
        ASSERT_TRUE(test::WaitFor([&] { return steps.count() == before + 1; }, 3000))
            << r.id << " key " << r.key;
        EXPECT_EQ(s->GetValue(), want) << r.id << " key " << r.key;
    }
    // 20 Hz to 20 kHz in 30 presses.
    CValueStepper* freq = window->EqPage()->Stepper(1044);
    QTest::keyClick(freq, Qt::Key_Home);
    for (int i = 0; i < 30; ++i) {
        QTest::keyClick(freq, Qt::Key_PageUp);
    }
    EXPECT_EQ(freq->GetValue(), freq->Maximum());

    int opened = 0;
    freq->SetValueDialogHook([&](double) {
        ++opened;
        return std::optional<double>(1000);
    });
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_F4}) {
        freq->SetValue(500);
        QTest::keyClick(freq, key);
        EXPECT_EQ(freq->Text(), "1000Hz") << key;
    }
    QTest::keyPress(freq, Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, {}, true);
    QApplication::sendEvent(freq, &repeat);
    QTest::keyRelease(freq, Qt::Key_Return);
    EXPECT_EQ(opened, 3);
}

// Keyboard only: Tab into the search list, arrows to a row, Return or Space picks it as a
// click does (address field and "hostip"), and Tab leaves the list.
TEST_F(KeyboardPanelTest, ReturnOrSpaceOnASearchRowPicksItAndTabLeavesTheList) {
    window->SwitchPage(3);
    CSystemPage* page = window->SystemPage();
    for (const char* ip : {"127.0.23.41", "127.0.23.42", "127.0.23.43"}) {
        page->AddDevice(QString::fromLatin1(ip), 42320, "QV");
    }
    QTableWidget* list = page->DeviceList();
    QSettings settings("Quorvell", "Quorvell");
    const struct {
        Qt::Key key;
        int downs;
        const char* picked;
    } rows[] = {{Qt::Key_Return, 1, "127.0.23.42"},
                {Qt::Key_Space, 1, "127.0.23.43"},
                {Qt::Key_Space, 0, "127.0.23.43"}};  // Space again keeps the pick
    list->setFocus(Qt::TabFocusReason);
    list->setCurrentCell(0, 0);
    for (const auto& r : rows) {
        for (int i = 0; i < r.downs; ++i) {
            QTest::keyClick(list, Qt::Key_Down);
        }
        QTest::keyClick(list, r.key);
        EXPECT_EQ(page->AddressField()->text(), r.picked);
        EXPECT_EQ(app->Link().deviceAddress(), r.picked);
        EXPECT_EQ(settings.value("U_FONT_SECTION/hostip").toString(), r.picked);
        EXPECT_EQ(list->selectedItems().size(), 3);
    }
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), list);
    settings.remove("U_FONT_SECTION/hostip");
}

}  // namespace
}  // namespace quorvell
