// SPDX-License-Identifier: GPL-3.0-or-later
// Row types of the constexpr tables from which the pages build their controls.
#pragma once

#include "DisplayFormats.h"
#include "ModelBinding.h"

namespace quorvell {

enum class LabelAlign { Left, Center, Right };

struct LabelSpec {
    int id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    const char* text = "";
    int pointSize = 10;
    LabelAlign align = LabelAlign::Center;
};

// A stepper takes the 90 x 20 size of its images; only its corner is placed.
struct StepperSpec {
    int id = 0;
    int x = 0, y = 0;
    StepperKind kind = StepperKind::Frequency;
    int min = 0, max = 0;
    int initial = 0;
    Binding binding;
};

// A crossover type selector; it notifies with `notifyId`, not with its own id.
struct DropDownSpec {
    int id = 0;
    int notifyId = 0;
    int x = 0, y = 0;
    Binding binding;     // the filter's type field
    int qStepperId = 0;  // the Q stepper shown only for the type Variable
};

struct ButtonSpec {
    int id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    const char* text = "";
    int channel = 0;
};

inline constexpr int kStepperWidth = 90;
inline constexpr int kStepperHeight = 20;

// Page placement inside the main window.
inline constexpr int kPageX = 0;
inline constexpr int kPageY = 110;
inline constexpr int kPageWidth = 800;
inline constexpr int kPageHeight = 580;

}  // namespace quorvell
