// SPDX-License-Identifier: GPL-3.0-or-later
// The EQ page's controls: ids, places, kinds, ranges and model bindings, one row each.
#pragma once

#include <array>

#include "PageTable.h"

namespace quorvell::eq {

inline constexpr int kChannelX[2] = {0, 400};
constexpr int RowY(int row) {
    return 50 + 30 * row;
}  // rows 0..6 bands, 7 HIPASS, 8 LOPASS
// Top of the LEVEL / M0DE section under the channels' divider.
inline constexpr int kLowerSectionY = 400;

inline constexpr int kLevelCh1Id = 1080;
inline constexpr int kLevelCh2Id = 1081;
inline constexpr int kMainLevelId = 1084;
inline constexpr std::array<int, 2> kResetIds = {1087, 1088};
inline constexpr std::array<int, 2> kPhaseIds = {1099, 1100};

constexpr int GainId(int channel, int band) {
    return (channel == 0 ? 1030 : 1037) + band - 1;
}
constexpr int FreqId(int channel, int band) {
    return (channel == 0 ? 1044 : 1053) + band - 1;
}
constexpr int QId(int channel, int band) {
    return (channel == 0 ? 1062 : 1069) + band - 1;
}
constexpr int HipassFreqId(int channel) {
    return channel == 0 ? 1051 : 1060;
}
constexpr int LopassFreqId(int channel) {
    return channel == 0 ? 1052 : 1061;
}
constexpr int HipassQId(int channel) {
    return channel == 0 ? 1085 : 1093;
}
constexpr int LopassQId(int channel) {
    return channel == 0 ? 1086 : 1094;
}

inline constexpr std::array<const char*, 9> kRowNames = {
    "Band 1", "Band 2", "Band 3", "Band 4", "Band 5", "Band 6", "Band 7", "HIPASS", "LOPASS"};

constexpr std::array<LabelSpec, 34> MakeLabels() {
    std::array<LabelSpec, 34> labels{};
    std::size_t n = 0;
    for (int c = 0; c < 2; ++c) {
        const int x0 = kChannelX[c];
        labels[n++] = {1020 + c,        x0, 0, 100, 24, c == 0 ? "CH1 EQ" : "CH2 EQ", 12,
                       LabelAlign::Left};
        const int head = c == 0 ? 1024 : 1027;
        labels[n++] = {head, x0 + 80, 20, 60, 24, "GAIN(dB)", 8, LabelAlign::Center};
        labels[n++] = {head + 1, x0 + 180, 20, 100, 24, "FREQUENCY(Hz)", 8, LabelAlign::Center};
        labels[n++] = {head + 2, x0 + 300, 20, 60, 24, "Q", 8, LabelAlign::Center};
        for (int r = 0; r < 9; ++r) {
            labels[n++] = {(c == 0 ? 1002 : 1011) + r, x0, RowY(r), 80, 24, kRowNames[r], 10,
                           LabelAlign::Center};
        }
    }
    labels[n++] = {1022, 0, 400, 100, 24, "LEVEL:", 12, LabelAlign::Left};
    labels[n++] = {1023, 400, 400, 100, 24, "M0DE:", 12, LabelAlign::Left};
    labels[n++] = {1076, 0, 425, 60, 24, "CH1", 8, LabelAlign::Right};
    labels[n++] = {1078, 160, 430, 100, 24, "dB", 8, LabelAlign::Left};
    labels[n++] = {1077, 0, 455, 60, 24, "CH2", 8, LabelAlign::Right};
    labels[n++] = {1079, 160, 460, 100, 24, "dB", 8, LabelAlign::Left};
    labels[n++] = {1082, 0, 485, 60, 24, "Main", 8, LabelAlign::Right};
    labels[n++] = {1083, 160, 490, 100, 24, "dB", 8, LabelAlign::Left};
    return labels;
}

constexpr std::array<StepperSpec, 53> MakeSteppers() {
    std::array<StepperSpec, 53> steppers{};
    std::size_t n = 0;
    for (int c = 0; c < 2; ++c) {
        const int x0 = kChannelX[c];
        for (int b = 1; b <= kBandCount; ++b) {
            const int y = RowY(b - 1);
            steppers[n++] = {GainId(c, b),
                             x0 + 80,
                             y,
                             StepperKind::EqGain,
                             0,
                             360,
                             0,
                             {BoundField::BandGain, c, b}};
            steppers[n++] = {FreqId(c, b), x0 + 180, y,  StepperKind::Frequency,
                             20,           20000,    20, {BoundField::BandFreq, c, b}};
            steppers[n++] = {QId(c, b), x0 + 300, y, StepperKind::QFactor,
                             1,         1000,     1, {BoundField::BandQ, c, b}};
        }
        steppers[n++] = {HipassFreqId(c),
                         x0 + 180,
                         RowY(7),
                         StepperKind::Frequency,
                         20,
                         20000,
                         20,
                         {BoundField::HipassFreq, c, 0}};
        steppers[n++] = {LopassFreqId(c),
                         x0 + 180,
                         RowY(8),
                         StepperKind::Frequency,
                         20,
                         20000,
                         20,
                         {BoundField::LopassFreq, c, 0}};
        steppers[n++] = {HipassQId(c),
                         x0 + 300,
                         RowY(7),
                         StepperKind::QFactor,
                         1,
                         1000,
                         1,
                         {BoundField::HipassQ, c, 0}};
        steppers[n++] = {LopassQId(c),
                         x0 + 300,
                         RowY(8),
                         StepperKind::QFactor,
                         1,
                         1000,
                         1,
                         {BoundField::LopassQ, c, 0}};
    }
    steppers[n++] = {kLevelCh1Id, 65,  430, StepperKind::Volume,
                     0,           254, 0,   {BoundField::Level, 0, 0}};
    steppers[n++] = {kLevelCh2Id, 65,  460, StepperKind::Volume,
                     0,           254, 0,   {BoundField::Level, 1, 0}};
    steppers[n++] = {
        kMainLevelId, 65, 490, StepperKind::Volume, 0, 254, 0, {BoundField::MainLevel, 0, 0}};
    return steppers;
}

inline constexpr std::array<LabelSpec, 34> kLabels = MakeLabels();
inline constexpr std::array<StepperSpec, 53> kSteppers = MakeSteppers();

inline constexpr std::array<DropDownSpec, 4> kTypeSelectors = {{
    {1089, 1095, 80, 260, {BoundField::HipassType, 0, 0}, HipassQId(0)},
    {1090, 1096, 80, 290, {BoundField::LopassType, 0, 0}, LopassQId(0)},
    {1091, 1097, 480, 260, {BoundField::HipassType, 1, 0}, HipassQId(1)},
    {1092, 1098, 480, 290, {BoundField::LopassType, 1, 0}, LopassQId(1)},
}};

inline constexpr std::array<ButtonSpec, 2> kResetButtons = {{
    {kResetIds[0], 300, 320, 80, 24, "RESET", 0},
    {kResetIds[1], 700, 320, 80, 24, "RESET", 1},
}};
inline constexpr std::array<ButtonSpec, 2> kPhaseButtons = {{
    {kPhaseIds[0], 300, 350, 80, 24, "PHASE", 0},
    {kPhaseIds[1], 700, 350, 80, 24, "PHASE", 1},
}};

// Type selector items; the index is the FilterType code.
inline constexpr std::array<const char*, kFilterTypeCount> kTypeItems = {
    "Butterworth 1", "Butterworth 2", "Bessel 2", "Linkwitz 2", "Variable"};

// The defaults a channel RESET writes: band frequencies and the shared band values.
inline constexpr const auto& kResetBandFreq = kDefaultBandFreq;  // the start-up defaults
inline constexpr int kResetBandQ = 20;                           // Q 2.0
inline constexpr int kResetBandGain = 180;                       // 0.0 dB
inline constexpr int kResetCrossoverQ = 10;
inline constexpr int kResetHipassFreq = 20;
inline constexpr int kResetLopassFreq = 20000;

inline constexpr const char* kResetQuestion = "If do you reset eq data? ";
inline constexpr int kResetGapMs = 50;

}  // namespace quorvell::eq
