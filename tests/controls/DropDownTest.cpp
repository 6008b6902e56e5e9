// SPDX-License-Identifier: GPL-3.0-or-later
// Drop-down selector: selection clamping, wheel with carry-over, choice and revert.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "CDropDown.h"
#include "CDropListBox.h"
#include "CDropPopup.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

using test::Drain;

struct DropDown {
    DropDown() : bar(&page) {
        page.resize(300, 400);
        bar.move(20, 30);
        test::SetUpDropDown(
            bar, {"Butterworth 1", "Butterworth 2", "Bessel 2", "Linkwitz 2", "Variable"});
        page.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
    }

    std::vector<int> Posted() const { return test::Posted(spy, 1095); }

    void Open() {
        QTest::mouseMove(&bar, QPoint(40, 10));
        QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(40, 10));
        ASSERT_TRUE(bar.IsPopupShowing());
    }

    CDropListBox& List() { return *bar.List(); }
    QPoint ItemCentre(int i) { return List().ItemRect(i).center(); }

    QWidget page;
    CDropDown bar;
    QSignalSpy spy{&bar, &CDropDown::selectionChanged};
};

TEST(DropDown, SetSelectionClampsAndNeverNotifies) {
    DropDown d;
    const std::pair<int, int> cases[] = {{7, 4}, {5, 4}, {-3, 0}, {2, 2}};
    for (const auto& [in, selected] : cases) {
        d.bar.SetSelection(in);
        EXPECT_EQ(d.bar.GetSelection(), selected);
        EXPECT_EQ(d.bar.Text(), d.List().ItemText(selected));
    }
    Drain();
    EXPECT_EQ(d.spy.count(), 0);
}

TEST(DropDown, WheelStepsWithCarryOverAndRepostsAtTheEnds) {
    struct Case {
        int start;
        std::vector<int> deltas;
        std::vector<int> posted;
    };
    const Case cases[] = {
        {0, {-60}, {}},  {0, {-60, -60}, {1}},     {0, {-120}, {1}},        {4, {-120}, {4}},
        {0, {120}, {0}}, {2, {120, -500}, {1, 2}}, {2, {90, -60, 90}, {1}},
    };
    for (const Case& c : cases) {
        DropDown d;
        d.bar.SetSelection(c.start);
        for (const int delta : c.deltas) {
            test::Wheel(d.bar, delta);
        }
        Drain();
        EXPECT_EQ(d.Posted(), c.posted) << "start " << c.start;
        EXPECT_FALSE(d.bar.IsPopupShowing());
        if (!c.posted.empty()) {
            EXPECT_EQ(d.bar.GetSelection(), c.posted.back());
        }
    }
}

TEST(DropDown, ClosingWithoutAChoiceRestoresTheCommittedEntry) {
    DropDown d;
    d.bar.SetSelection(2);
    d.Open();
    QTest::mouseMove(&d.List(), d.ItemCentre(4));
    EXPECT_EQ(d.List().Selection(), 4);
    d.bar.Popup()->hide();
    EXPECT_EQ(d.bar.GetSelection(), 2);
    test::Wheel(d.bar, -120);
    Drain();
    EXPECT_EQ(d.Posted(), std::vector<int>{3}) << "the wheel steps from the shown entry";
}

// A key moves the selection; it counts as a choice only with the pointer over the list.
TEST(DropDown, KeyChangeChoosesWithThePointerOverTheListElseReverts) {
    for (const bool over : {true, false}) {
        DropDown d;
        d.bar.SetSelection(1);
        d.Open();
        if (over) {
            QTest::mouseMove(&d.List(), d.ItemCentre(1));
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(&d.List(), &leave);
        }
        QTest::keyClick(&d.List(), Qt::Key_Down);
        Drain();
        EXPECT_TRUE(over || !d.bar.IsPopupShowing()) << "a reverted change closes the list";
        EXPECT_EQ(d.Posted(), over ? std::vector<int>{2} : std::vector<int>{});
        EXPECT_EQ(d.bar.Text(),
                  over ? QStringLiteral("Bessel 2") : QStringLiteral("Butterworth 2"));
    }
}

}  // namespace
}  // namespace quorvell
