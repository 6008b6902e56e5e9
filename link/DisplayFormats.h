// SPDX-License-Identifier: GPL-3.0-or-later
// Display texts of raw parameter values, and the stepper kinds that choose them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvell {

// The integer codes that select a stepper's format, Value-dialog conversion and repeat rule.
enum class StepperKind : int {
    Frequency = 4,
    QFactor = 7,
    FrequencyBelowPartner = 8,
    FrequencyAbovePartner = 9,
    EqGain = 10,
    Volume = 11,
    LevelDbu = 42,
    DelayTime = 43,
    Percent = 44,
    Threshold = 45,
    AttackTime = 46,
    ReleaseTime = 47,
    Ratio = 48,
};

std::string FormatHz(std::int32_t raw);         // "%dHz"
std::string FormatQ(std::int32_t raw);          // "Q:%0.1f", raw * 0.1
std::string FormatGain(std::int32_t raw);       // "G:%0.1f", raw * 0.1 - 18.0
std::string FormatVolume(std::int32_t raw);     // "Vol:%0.1f", 24.0 - raw * 0.5
std::string FormatPercent(std::int32_t raw);    // "%0.1f%%", or "OFF" for raw <= 0
std::string FormatThreshold(std::int32_t raw);  // "%ddB", -raw
std::string FormatMs(std::int32_t raw);         // "%dms"
std::string FormatRatio(std::int32_t raw);      // "1:%0.1f", raw * 0.1
std::string FormatDbu(std::int32_t raw);        // "%ddBu", raw - 120; "OFF" for 0
std::string FormatDelay(std::int32_t raw);      // r/48 "%0.3fms" up to 480, then "%dms" r-470

// The text a stepper of `kind` shows for `raw`; "NULL" for a code outside the table.
std::string FormatForKind(int kind, std::int32_t raw);

// True for the codes of the table above.
bool IsKnownStepperKind(int kind);

// Kind by code ("10") or by name ("EqGain", any case).
std::optional<int> StepperKindFromText(std::string_view text);
std::string_view StepperKindName(int kind);  // "" for an unknown code

}  // namespace quorvell
