// SPDX-License-Identifier: GPL-3.0-or-later
// Reading measurement exports: the layouts accepted and the lines refused.
#include <gtest/gtest.h>

#include <filesystem>

#include "MeasurementReader.h"

namespace quorvell {
namespace {

TEST(MeasurementReader, ReadsTheCommonExportLayouts) {
    struct Case {
        std::string text;
        std::vector<double> hz, db;
    } cases[] = {
        {"\xEF\xBB\xBF* Measurement data\r\n* Freq(Hz) SPL(dB) Phase(degrees)\r\n"
         "20 75.3 -10\r\n20.5\t76 12.5\r\n",
         {20, 20.5},
         {75.3, 76}},
        {"Frequency,Level\n# note\n20,75.25\n30, -3e-1\n", {20, 30}, {75.25, -0.3}},
        {"Freq;dB;Phase\n20,5;75,3;0\n1000;+80;\n", {20.5, 1000}, {75.3, 80}},
        {"20,5 75,3\n31,5\t-2,25\t0\n40 1,5\n", {20.5, 31.5, 40}, {75.3, -2.25, 1.5}},
        {"20, 75.5\n30,76,0\n40 ,77\n50 7,5\n", {20, 30, 40, 50}, {75.5, 76, 77, 7}},
        {"10 1\n20 2 3\n\n   \n40 4\n", {10, 20, 40}, {1, 2, 4}},
        {"\"Freq\",\"SPL\"\r\n\"20.00\",\"86.0\"\r\n\"30\",\"87\"\r\n", {20, 30}, {86, 87}},
    };
    for (const Case& c : cases) {
        const MeasurementRead r = ParseMeasurementText(c.text);
        ASSERT_TRUE(r.curve) << c.text << (r.errors.empty() ? "" : r.errors.front());
        EXPECT_EQ(r.curve->hz, c.hz) << c.text;
        EXPECT_EQ(r.curve->db, c.db) << c.text;
    }
}

TEST(MeasurementReader, RefusesTheWholeFileNamingEachBadLine) {
    struct Case {
        std::string text;
        std::vector<std::string> errors;
    } cases[] = {
        {"20 75\n30 abc\n40 76\n50\n", {"line 2: malformed number 'abc'", "line 4: malformed"}},
        {"20 75\n20 76\n10 70\n",
         {"line 2: frequency 20 Hz does not rise", "line 3: frequency 10 Hz does not rise"}},
        {"20 75\nend of data\n", {"line 2: not a measurement point"}},
        {"20 75 1 2\n30,,75\n0 1\n",
         {"line 1: malformed", "line 2: malformed", "line 3: frequency must be above 0"}},
        {"20 nan\n30 inf\n40 1e308\n",
         {"line 1: malformed number", "line 2: malformed number", "line 3: level out of range"}},
        {"20,5;75.3,1\n", {"line 1: malformed number '75.3,1'"}},
        {"20,5 75\n", {"line 1: ambiguous commas"}},
        {"20,5 75,3\n30,76,0\n40 7,5\n", {"line 3: ambiguous commas"}},
        {"# nothing\n", {"no measurement points"}},
        {"20 75\n", {"only one measurement point"}},
        // Bytes a terminal would act on are shown escaped, never passed through.
        {"20 75\n30 7\x1b[2J\x9b"
         "5\n",
         {"line 2: malformed number '7\\x1b[2J\\x9b5'"}},
        {"20 75\n\"30\",\"76\n", {"line 2: not a measurement point"}},
        {std::string(kMaxMeasurementBytes + 1, '#'), {"larger than 4 MiB"}},
    };
    for (const Case& c : cases) {
        const MeasurementRead r = ParseMeasurementText(c.text);
        EXPECT_FALSE(r.curve) << c.text.substr(0, 40);
        ASSERT_EQ(r.errors.size(), c.errors.size()) << c.text.substr(0, 40);
        for (std::size_t i = 0; i < c.errors.size(); ++i) {
            EXPECT_NE(r.errors[i].find(c.errors[i]), std::string::npos) << r.errors[i];
        }
    }
}

TEST(MeasurementReader, SaysWhyAFileCannotBeRead) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::pair<std::string, std::string> cases[] = {
        {(dir / "quorvell-no-such-measurement.txt").string(), "cannot read the file: not found"},
        {dir.string(), "cannot read the file: it is a directory"},
    };
    for (const auto& [path, error] : cases) {
        const MeasurementRead r = ReadMeasurementFile(path);
        EXPECT_FALSE(r.curve);
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0], error);
    }
}

}  // namespace
}  // namespace quorvell
