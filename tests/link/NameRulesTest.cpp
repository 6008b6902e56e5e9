// SPDX-License-Identifier: GPL-3.0-or-later
// The name rule: what a preset or device name may hold, and the message for what it may not.
#include <gtest/gtest.h>

#include "NameRules.h"

namespace quorvell {
namespace {

struct NameCase {
    std::string_view name;
    const char* preset;  // nullptr: accepted; else a part of the message
    const char* device;
};

TEST(NameRulesTest, PresetAndDeviceNames) {
    using namespace std::string_view_literals;
    const NameCase cases[] = {
        {"", nullptr, nullptr},
        {"SAVE3", nullptr, nullptr},
        {"12345678", nullptr, nullptr},
        {"123456789", "too long", nullptr},
        {"ABCDEFGHIJ", "too long", nullptr},
        {"ABCDEFGHIJK", "too long", "too long"},
        {"ÄÖ名前😀😀😀x", nullptr, "too long"},  // 8 code points, 22 bytes
        {"Bühne", nullptr, nullptr},
        {"a\x1b[2J", "control character U+001B", "control character U+001B"},
        {"a\nb", "U+000A", "U+000A"},
        {"a\rb", "U+000D", "U+000D"},
        {"a\ab", "U+0007", "U+0007"},
        {"a\0b"sv, "U+0000", "U+0000"},
        {"a\x7f", "U+007F", "U+007F"},
        {"a\xc2\x85", "U+0085", "U+0085"},
        {"\xe2\x80\xaelive", "direction control U+202E", "direction control U+202E"},
        {"\xe2\x81\xa6x", "U+2066", "U+2066"},
        {"\xe2\x80\x8fx", "U+200F", "U+200F"},
        {"a\xe2\x80\xa8", "U+2028", "U+2028"},
        {"\xef\xbf\xbf", "noncharacter", "noncharacter"},
        {"\xed\xa0\x80", "not valid UTF-8", "not valid UTF-8"},  // a lone surrogate
        {"\xc0\xaf", "not valid UTF-8", "not valid UTF-8"},      // overlong '/'
        {"\xff", "not valid UTF-8", "not valid UTF-8"},
        {"ab\xe6\x97", "not valid UTF-8", "not valid UTF-8"},        // cut inside a character
        {"\xf4\x90\x80\x80", "not valid UTF-8", "not valid UTF-8"},  // above U+10FFFF
    };
    for (const NameCase& c : cases) {
        const auto check = [&](const std::optional<std::string>& got, const char* want,
                               const char* kind) {
            if (want == nullptr) {
                EXPECT_FALSE(got) << kind << " '" << c.name << "': " << got.value_or("");
            } else {
                ASSERT_TRUE(got) << kind << " '" << c.name << "' accepted";
                EXPECT_NE(got->find(want), std::string::npos) << kind << ": " << *got;
            }
        };
        check(CheckPresetName(c.name), c.preset, "preset");
        check(CheckDeviceName(c.name), c.device, "device");
    }
}

}  // namespace
}  // namespace quorvell
