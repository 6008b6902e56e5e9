// SPDX-License-Identifier: GPL-3.0-or-later
// The limiter page's controls: ids, places, kinds, ranges and model bindings, one row each.
#pragma once

#include <array>

#include "PageTable.h"

namespace quorvell::limiter {

inline constexpr int kChannelX[2] = {0, 400};
constexpr int RowY(int row) {
    return 50 + 40 * row;
}  // threshold, ratio, attack, release

inline constexpr std::array<int, 2> kResetIds = {1089, 1090};

constexpr std::array<LabelSpec, 10> MakeLabels() {
    constexpr std::array<const char*, 4> rows = {"Threshold", "Ratio", "Attack", "Release"};
    std::array<LabelSpec, 10> labels{};
    std::size_t n = 0;
    for (int c = 0; c < 2; ++c) {
        const int x0 = kChannelX[c];
        labels[n++] = {1020 + c,        x0, 0, 150, 24, c == 0 ? "CH1 LIMITER" : "CH2 LIMITER", 12,
                       LabelAlign::Left};
        for (int r = 0; r < 4; ++r) {
            labels[n++] = {(c == 0 ? 1002 : 1006) + r, x0 + 50, RowY(r), 80, 24, rows[r], 10,
                           LabelAlign::Center};
        }
    }
    return labels;
}

constexpr std::array<StepperSpec, 8> MakeSteppers() {
    std::array<StepperSpec, 8> steppers{};
    std::size_t n = 0;
    for (int c = 0; c < 2; ++c) {
        const int x = kChannelX[c] + 180;
        const int id = c == 0 ? 1081 : 1085;
        steppers[n++] = {id, x,  RowY(0), StepperKind::Threshold,
                         0,  60, 0,       {BoundField::LimiterThreshold, c, 0}};
        steppers[n++] = {id + 1, x,    RowY(1), StepperKind::Ratio,
                         10,     2000, 10,      {BoundField::LimiterRatio, c, 0}};
        steppers[n++] = {id + 2, x,   RowY(2), StepperKind::AttackTime,
                         1,      100, 1,       {BoundField::LimiterAttack, c, 0}};
        steppers[n++] = {id + 3, x,   RowY(3), StepperKind::ReleaseTime,
                         1,      100, 1,       {BoundField::LimiterRelease, c, 0}};
    }
    return steppers;
}

inline constexpr std::array<LabelSpec, 10> kLabels = MakeLabels();
inline constexpr std::array<StepperSpec, 8> kSteppers = MakeSteppers();

inline constexpr std::array<ButtonSpec, 2> kResetButtons = {{
    {kResetIds[0], 300, 170, 80, 24, "RESET", 0},
    {kResetIds[1], 700, 170, 80, 24, "RESET", 1},
}};

// What a channel RESET writes. The threshold is 30 (-30 dB), unlike the start-up default.
inline constexpr int kResetAttack = 1;
inline constexpr int kResetRelease = 1;
inline constexpr int kResetRatio = 10;
inline constexpr int kResetThreshold = 30;

inline constexpr const char* kResetQuestion = "If do you reset limiter data? ";
inline constexpr int kResetGapMs = 50;

}  // namespace quorvell::limiter
