// Filter designs checked by evaluating the designed section's magnitude response.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>

#include "BiquadDesign.h"

namespace quorvell {
namespace {

// |H(e^jw)| in dB at `hz` for H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 - A1 z^-1 - A2 z^-2).
double MagnitudeDb(const Biquad& c, double hz) {
    const double w = 2.0 * M_PI * hz / kSampleRate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    const auto num = c.b[0] + c.b[1] * z1 + c.b[2] * z2;
    const auto den = 1.0 - c.a[1] * z1 - c.a[2] * z2;
    return 20.0 * std::log10(std::abs(num / den));
}

// The designs use pi = 3.1415926, which moves every corner by a factor of about 1 - 2e-8.
constexpr double kPiScale = kDesignPi / M_PI;

TEST(PeakingBand, ReachesItsGainAtTheCentreAndIsFlatFarAway) {
    struct Case {
        double f, gain, q;
    } cases[] = {{1000, 6, 2}, {50, -18, 0.1}, {12000, 18, 100}, {200, -3.5, 0.7}, {20, 12, 5}};
    for (const auto& c : cases) {
        const Biquad b = DesignPeakingBand(c.f, c.gain, c.f / c.q);
        EXPECT_NEAR(MagnitudeDb(b, c.f * kPiScale), c.gain, 0.01) << c.f << " Hz";
        EXPECT_NEAR(MagnitudeDb(b, 1.0), 0.0, 0.05 + std::fabs(c.gain) * (c.f < 100 ? 1 : 0.01));
    }
}

TEST(Crossovers, CornerAttenuationMatchesEachResponseType) {
    struct Case {
        int type;
        double q;
        double cornerDb;
    } cases[] = {
        {0, 0, -3.0103},                 // first order
        {1, 0, 20 * std::log10(0.707)},  // Q 0.707
        {2, 0, 20 * std::log10(0.58)},   // Q 0.58
        {3, 0, -6.0206},                 // first order squared
        {4, 2.5, 20 * std::log10(2.5)},  // Q as given
        {4, 0.1, 20 * std::log10(0.1)},
    };
    for (const auto& c : cases) {
        for (double f : {30.0, 100.0, 1000.0, 8000.0}) {
            const auto hp = DesignHipass(f, c.type, c.q);
            const auto lp = DesignLopass(f, c.type, c.q);
            ASSERT_TRUE(hp && lp);
            EXPECT_NEAR(MagnitudeDb(*hp, f * kPiScale), c.cornerDb, 0.01) << c.type << ' ' << f;
            EXPECT_NEAR(MagnitudeDb(*lp, f * kPiScale), c.cornerDb, 0.01) << c.type << ' ' << f;
            // Pass bands are flat: high-pass near Nyquist, low-pass near DC.
            EXPECT_NEAR(MagnitudeDb(*hp, 23999), 0.0, 0.05 + (c.q > 1 ? 0.5 : 0));
            EXPECT_NEAR(MagnitudeDb(*lp, 0.001), 0.0, 1e-6);
            // High-pass and low-pass of one type and corner share their poles.
            EXPECT_EQ(hp->a[1], lp->a[1]);
            EXPECT_EQ(hp->a[2], lp->a[2]);
        }
    }
}

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
