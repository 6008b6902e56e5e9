// The 5.23 fixed-point range a designed section must fit to be sent.
#include <gtest/gtest.h>

#include <cmath>

#include "BiquadDesign.h"

namespace quorvell {
namespace {

TEST(Fixed523, SendableOnlyWhenFiniteAndInRange) {
    Biquad ok;
    ok.b = {1, -2, 1};
    ok.a = {1, 1.9, -0.9};
    EXPECT_TRUE(IsSendable(ok));
    ok.b[0] = -16.0;
    EXPECT_TRUE(IsSendable(ok));
    for (double bad : {std::nan(""), HUGE_VAL, -HUGE_VAL, 16.0, -16.5}) {
        Biquad b = ok;
        b.b[1] = bad;
        EXPECT_FALSE(IsSendable(b)) << bad;
    }
}

}  // namespace
}  // namespace quorvell
