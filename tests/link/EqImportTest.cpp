// SPDX-License-Identifier: GPL-3.0-or-later
// Import of equaliser text exports and channel copy.
#include <gtest/gtest.h>

#include "EqFilterImport.h"

namespace quorvell {
namespace {

constexpr std::string_view kFiveFilters =
    "\xEF\xBB\xBF"
    "Filter Settings file\r\n"
    "\r\n"
    "Room EQ V5.31\r\n"
    "Preamp: -3.5 dB\r\n"
    "Filter 1: ON PK Fc 63.5 Hz Gain -4.20 dB Q 2.500\r\n"
    "Filter 2: OFF None\r\n"
    "Filter 3: ON PK Fc 125 Hz Gain 3,0 dB Q 0,71\r\n"
    "Filter: ON PK Fc 1000 Hz Gain -18 dB Q 100\r\n"
    "Filter 5: ON PK Fc 20000 Hz Gain +18.0 dB Q 0.1\r\n"
    "Filter 6: ON PK Fc 19.6 Hz Gain 0.04 dB Q 1\r\n";

TEST(EqImport, ReadsPeakingFiltersInFileOrderAndFlattensTheRest) {
    const EqImport r = ParseEqFilterText(kFiveFilters);
    ASSERT_TRUE(r.bands) << (r.errors.empty() ? "" : r.errors.front());
    EXPECT_EQ(r.filterCount, 5);
    ASSERT_TRUE(r.preampDb);
    EXPECT_EQ(*r.preampDb, -3.5);
    const auto& b = *r.bands;
    struct Want {
        int freq, gain, q;
    } want[] = {{64, 138, 25}, {125, 210, 7},   {1000, 0, 1000}, {20000, 360, 1},
                {20, 180, 10}, {8000, 180, 20}, {12000, 180, 20}};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(b[i].freq, want[i].freq) << i;
        EXPECT_EQ(b[i].gain, want[i].gain) << i;
        EXPECT_EQ(b[i].q, want[i].q) << i;
    }
}

TEST(EqImport, UnusableFilesReportTheLineAndYieldNothing) {
    std::string eight;
    for (int i = 1; i <= 8; ++i) {
        eight += "Filter " + std::to_string(i) + ": ON PK Fc 100 Hz Gain 1 dB Q 1\n";
    }
    struct Case {
        std::string text;
        std::string error;
    } cases[] = {
        {"Filter 1: ON LS Fc 100 Hz Gain 3 dB Q 0.7\n", "line 1: filter type LS"},
        {"Filter 1: ON PK Fc abc Hz Gain 3 dB Q 0.7\n", "line 1: malformed filter line"},
        {"Filter 1: ON PK Fc 100 Hz Gain 3 dB\n", "line 1: malformed filter line"},
        {"\nFilter 2 ON PK Fc 100 Hz Gain 3 dB Q 1\n", "line 2: malformed filter line (no ':')"},
        {"Filter 1: ON PK Fc 100 Hz Gain 19 dB Q 1\n", "line 1: gain out of range"},
        {"Filter 1: ON PK Fc 25000 Hz Gain 1 dB Q 1\n", "line 1: Fc out of range"},
        {"Filter 1: ON PK Fc 100 Hz Gain 1 dB Q 0.04\n", "line 1: Q out of range"},
        {"Filter 1: MAYBE PK Fc 100 Hz Gain 1 dB Q 1\n", "expected ON or OFF"},
        {"Preamp: loud\n", "line 1: malformed preamp line"},
        {"Filter 1: ON PK Fc 100 Hz Gain 1 dB Q inf\n", "malformed"},
        {"Filter 1: ON PK Fc 1.000,5 Hz Gain 1 dB Q 1\n", "line 1: malformed filter line"},
        {"Filter 1: ON PK Fc 100 Hz Gain -3,5,0 dB Q 1\n", "line 1: malformed filter line"},
        {"Filter 1: ON PK Fc 100 Hz Gain -3,5 dB Q 0,71\nPreamp: -1,,5 dB\n",
         "line 2: malformed preamp line"},
        {"just some notes\n", "no filter lines found"},
        {"", "no filter lines found"},
        {eight, "line 8: more than seven peaking filters"},
    };
    for (const auto& c : cases) {
        const EqImport r = ParseEqFilterText(c.text);
        EXPECT_FALSE(r.bands) << c.text;
        ASSERT_FALSE(r.errors.empty()) << c.text;
        EXPECT_NE(r.errors.front().find(c.error), std::string::npos) << r.errors.front();
    }
}

}  // namespace
}  // namespace quorvell
