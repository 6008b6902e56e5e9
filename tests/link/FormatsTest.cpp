// SPDX-License-Identifier: GPL-3.0-or-later
// Display texts of raw values and their dispatch by stepper kind.
#include <gtest/gtest.h>

#include <cstdint>

#include "DisplayFormats.h"

namespace quorvell {
namespace {

TEST(DisplayFormats, TextsForRawValues) {
    struct Case {
        int kind;
        int raw;
        const char* text;
    } cases[] = {
        {10, 180, "G:0.0"},
        {10, 0, "G:-18.0"},
        {10, 215, "G:3.5"},
        {11, 0, "Vol:24.0"},
        {11, 48, "Vol:0.0"},
        {11, 49, "Vol:-0.5"},
        {7, 20, "Q:2.0"},
        {48, 10, "1:1.0"},
        {45, 0, "0dB"},
        {45, 60, "-60dB"},
        {4, 20000, "20000Hz"},
        {8, 20, "20Hz"},
        {9, 99, "99Hz"},
        {42, 0, "OFF"},
        {42, 120, "0dBu"},
        {42, 100, "-20dBu"},
        {44, 0, "OFF"},
        {44, -3, "OFF"},
        {44, 50, "50.0%"},
        {43, 480, "10.000ms"},
        {43, 481, "11ms"},
        {46, 1, "1ms"},
        {47, 100, "100ms"},
        {0, 5, "NULL"},
        {5, 5, "NULL"},
        {49, 5, "NULL"},
        {-1, 0, "NULL"},
        // Every int32 formats, the extremes included.
        {45, INT32_MIN, "2147483648dB"},
        {45, INT32_MAX, "-2147483647dB"},
        {42, INT32_MIN, "-2147483768dBu"},
        {43, INT32_MAX, "2147483177ms"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatForKind(c.kind, c.raw), c.text) << "kind " << c.kind << " raw " << c.raw;
    }
}

}  // namespace
}  // namespace quorvell
