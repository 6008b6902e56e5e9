// SPDX-License-Identifier: GPL-3.0-or-later
// Value stepper: zones, clicks and bounds, auto-repeat by kind, wheel, keys, direct entry.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <variant>

#include "CValueStepper.h"
#include "TestSupport.h"

namespace quorvell {
namespace {

using test::Drain;
using test::WaitFor;

constexpr QPoint kDecrease(8, 10);
constexpr QPoint kMiddle(45, 10);
constexpr QPoint kIncrease(81, 10);

struct Stepper {
    Stepper(int kind, int min, int max, int value) : stepper(1032, &page) {
        page.resize(200, 100);
        stepper.move(10, 10);
        test::SetUpStepper(stepper, kind, min, max, value);
        stepper.SetTimings(1, 1, 1);
        page.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&page));
    }

    std::vector<int> Posted() const { return test::Posted(spy, 1032); }

    void Press(QPoint at) {
        QTest::mouseMove(&stepper, at);
        QTest::mousePress(&stepper, Qt::LeftButton, {}, at);
    }
    void Release(QPoint at) { QTest::mouseRelease(&stepper, Qt::LeftButton, {}, at); }
    // A press and release at `at`, then the queued notifications.
    void Click(QPoint at) {
        Press(at);
        Release(at);
        Drain();
    }

    QWidget page;
    CValueStepper stepper;
    QSignalSpy spy{&stepper, &CValueStepper::valueChanged};
};

// A press steps at once; the notification is queued behind the stepper's own handling.
TEST(Stepper, ClickStepsOnceAndNotifiesQueued) {
    Stepper s(10, 0, 360, 180);
    s.Press(kIncrease);
    EXPECT_EQ(s.stepper.Text(), QStringLiteral("G:0.1"));
    EXPECT_EQ(s.spy.count(), 0);
    s.Release(kIncrease);
    s.Click(kDecrease);
    EXPECT_EQ(s.Posted(), (std::vector<int>{181, 180}));
}

// Holding the increase arrow up to the bound: a threshold reposts the maximum on every tick,
// a gain posts only the click, a frequency accelerates (click 21, then ticks of 1, 2, 3, ...)
// and its ticks at the bound post nothing.
TEST(Stepper, HeldIncreaseRepeatsByKindUpToTheBound) {
    struct Case {
        int kind, min, max, value;
        std::size_t waitPosts;
        std::vector<int> posted;  // empty: every post is the maximum
    };
    const Case cases[] = {
        {45, 0, 60, 59, 4, {}},
        {10, 0, 360, 359, 1, {360}},
        {4, 20, 60, 20, 10, {21, 22, 24, 27, 31, 36, 42, 49, 57, 60}},
    };
    for (const Case& c : cases) {
        Stepper s(c.kind, c.min, c.max, c.value);
        s.Press(kIncrease);
        ASSERT_TRUE(WaitFor([&] {
            return s.stepper.IsRepeating() && s.stepper.GetValue() == c.max &&
                   static_cast<std::size_t>(s.spy.count()) >= c.waitPosts;
        }));
        QTest::qWait(30);  // many 1 ms ticks at the bound
        s.Release(kIncrease);
        Drain();
        EXPECT_FALSE(s.stepper.IsRepeating());
        if (c.posted.empty()) {
            EXPECT_EQ(s.Posted(), std::vector<int>(s.Posted().size(), c.max)) << "kind " << c.kind;
        } else {
            EXPECT_EQ(s.Posted(), c.posted) << "kind " << c.kind;
        }
    }
}

// Operator input, one step per message: an arrow click, an arrow key, or a wheel message that
// needs a whole notch by itself (no carry-over). At a bound a click posts nothing but keys and
// the wheel post the bound again; an unknown kind ignores everything.
TEST(Stepper, ClicksKeysAndWheelStepOncePerMessage) {
    using Input = std::variant<QPoint, Qt::Key, int>;  // arrow, key, wheel delta
    struct Case {
        int kind, min, max, value;
        std::vector<Input> inputs;
        std::vector<int> posted;
    };
    const Case cases[] = {
        {10, 0, 360, 360, {kIncrease, Qt::Key_Up, 120}, {360, 360}},
        {7, 1, 1000, 20, {Qt::Key_Up, Qt::Key_Right, Qt::Key_Down, Qt::Key_Left}, {21, 22, 21, 20}},
        {5, 0, 10, 5, {kIncrease, 120, Qt::Key_Up}, {}},
        {48, 10, 2000, 100, {60}, {}},
        {48, 10, 2000, 100, {60, 60}, {}},
        {48, 10, 2000, 100, {240}, {101}},
        {48, 10, 2000, 100, {-120}, {99}},
        {48, 10, 2000, 100, {-90, -90, -500}, {99}},
        {48, 10, 2000, 100, {120, 120}, {101, 102}},
    };
    for (const Case& c : cases) {
        Stepper s(c.kind, c.min, c.max, c.value);
        for (const Input& in : c.inputs) {
            if (const auto* at = std::get_if<QPoint>(&in)) {
                s.Click(*at);
            } else if (const auto* key = std::get_if<Qt::Key>(&in)) {
                QTest::keyClick(&s.stepper, *key);
            } else {
                test::Wheel(s.stepper, std::get<int>(in));
            }
        }
        Drain();
        EXPECT_EQ(s.Posted(), c.posted) << "kind " << c.kind;
        EXPECT_EQ(s.stepper.GetValue(), c.posted.empty() ? c.value : c.posted.back());
    }
}

TEST(Stepper, PartnerBoundsTheFrequencyPair) {
    Stepper low(8, 20, 20000, 990);
    Stepper high(9, 20, 20000, 1010);
    low.stepper.partner = &high.stepper;
    high.stepper.partner = &low.stepper;
    low.stepper.Step(50);
    high.stepper.Step(-50);
    EXPECT_EQ(low.stepper.GetValue(), 1010);
    EXPECT_EQ(high.stepper.GetValue(), 1010);
    Drain();
    low.spy.clear();
    low.Click(kIncrease);
    EXPECT_EQ(low.stepper.GetValue(), 1010) << "an arrow stops at the partner too";
    EXPECT_EQ(low.spy.count(), 0);
}

TEST(Stepper, ValueDialogShowsAndConvertsByKind) {
    struct Case {
        int kind, min, max, value;
        double shown;
        std::optional<double> typed;  // none: Cancel
        int raw;
        const char* text;
    };
    const Case cases[] = {
        {11, 0, 254, 48, 0.0, 24, 0, "Vol:24.0"},
        {11, 0, 254, 48, 0.0, -200, 254, "Vol:-103.0"},
        {45, 0, 60, 0, 0.0, 12, 12, "-12dB"},
        {45, 0, 60, 0, 0.0, -12, 12, "-12dB"},
        {10, 0, 360, 215, 3.5, 3.5, 215, "G:3.5"},
        {10, 0, 360, 180, 0.0, -18, 0, "G:-18.0"},
        {4, 20, 20000, 1000, 1000, 20000.9, 20000, "20000Hz"},
        {7, 1, 1000, 20, 2.0, 0.7, 7, "Q:0.7"},
        {48, 10, 2000, 40, 4.0, 1e30, 2000, "1:200.0"},
        {46, 1, 100, 5, 5, 33.9, 33, "33ms"},
        {10, 0, 360, 180, 0.0, 3.3, 213, "G:3.3"},
        {48, 10, 2000, 40, 4.0, 123.7, 1237, "1:123.7"},
        {11, 0, 254, 0, 24.0, -0.7, 49, "Vol:-0.5"},
        {10, 0, 360, 180, 0.0, std::nullopt, 180, "G:0.0"},
    };
    for (const Case& c : cases) {
        Stepper s(c.kind, c.min, c.max, c.value);
        std::optional<double> seen;
        s.stepper.SetValueDialogHook([&](double shown) {
            seen = shown;
            return c.typed;
        });
        s.Click(kMiddle);
        ASSERT_TRUE(seen.has_value()) << "kind " << c.kind;
        EXPECT_NEAR(*seen, c.shown, 1e-9) << "kind " << c.kind;
        EXPECT_EQ(s.stepper.GetValue(), c.raw)
            << "kind " << c.kind << " typed " << c.typed.value_or(-1);
        EXPECT_EQ(s.stepper.Text(), QString::fromLatin1(c.text));
        EXPECT_EQ(s.Posted(), c.typed ? std::vector<int>{c.raw} : std::vector<int>{});
        EXPECT_EQ(s.stepper.CurrentZone(), CValueStepper::Zone::None);
    }
    // The crossover frequencies, level, delay, percent and unknown kinds open no dialog.
    for (const int kind : {8, 9, 42, 43, 44, 0}) {
        Stepper s(kind, 0, 500, 300);
        s.stepper.SetValueDialogHook([kind](double) {
            ADD_FAILURE() << "a dialog for kind " << kind;
            return std::optional<double>();
        });
        s.Click(kMiddle);
        EXPECT_EQ(s.stepper.GetValue(), 300);
        EXPECT_EQ(s.spy.count(), 0);
    }
}

TEST(Stepper, HeldOutsideShowsMiddleAndPausesTheRepeat) {
    Stepper s(46, 1, 100, 50);
    s.Press(kIncrease);
    QTest::mouseMove(&s.stepper, QPoint(150, 10));
    EXPECT_EQ(s.stepper.CurrentZone(), CValueStepper::Zone::Middle);
    QTest::qWait(20);
    const int held = s.stepper.GetValue();
    QTest::qWait(20);
    EXPECT_EQ(s.stepper.GetValue(), held);
    s.Release(QPoint(150, 10));
}

}  // namespace
}  // namespace quorvell
