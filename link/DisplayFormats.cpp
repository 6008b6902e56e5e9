// SPDX-License-Identifier: GPL-3.0-or-later
// The ten display formatters and their dispatch by stepper kind.
#include "DisplayFormats.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdio>

namespace quorvell {
namespace {

template <typename... Args>
std::string Printf(const char* format, Args... args) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, format, args...);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

using Formatter = std::string (*)(std::int32_t);

struct KindEntry {
    StepperKind kind;
    std::string_view name;
    Formatter format;
};

constexpr std::array kKinds = {
    KindEntry{StepperKind::Frequency, "Frequency", FormatHz},
    KindEntry{StepperKind::QFactor, "QFactor", FormatQ},
    KindEntry{StepperKind::FrequencyBelowPartner, "FrequencyBelowPartner", FormatHz},
    KindEntry{StepperKind::FrequencyAbovePartner, "FrequencyAbovePartner", FormatHz},
    KindEntry{StepperKind::EqGain, "EqGain", FormatGain},
    KindEntry{StepperKind::Volume, "Volume", FormatVolume},
    KindEntry{StepperKind::LevelDbu, "LevelDbu", FormatDbu},
    KindEntry{StepperKind::DelayTime, "DelayTime", FormatDelay},
    KindEntry{StepperKind::Percent, "Percent", FormatPercent},
    KindEntry{StepperKind::Threshold, "Threshold", FormatThreshold},
    KindEntry{StepperKind::AttackTime, "AttackTime", FormatMs},
    KindEntry{StepperKind::ReleaseTime, "ReleaseTime", FormatMs},
    KindEntry{StepperKind::Ratio, "Ratio", FormatRatio},
};

const KindEntry* FindKind(int kind) {
    for (const auto& e : kKinds) {
        if (static_cast<int>(e.kind) == kind) {
            return &e;
        }
    }
    return nullptr;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string FormatHz(std::int32_t raw) {
    return Printf("%dHz", raw);
}
std::string FormatQ(std::int32_t raw) {
    return Printf("Q:%0.1f", raw * 0.1);
}
std::string FormatGain(std::int32_t raw) {
    return Printf("G:%0.1f", raw * 0.1 - 18.0);
}
std::string FormatVolume(std::int32_t raw) {
    return Printf("Vol:%0.1f", 24.0 - raw * 0.5);
}

std::string FormatPercent(std::int32_t raw) {
    return raw > 0 ? Printf("%0.1f%%", static_cast<double>(raw)) : std::string("OFF");
}

// Negated and offset values are worked out in 64 bits: -INT32_MIN and INT32_MIN - 120 do not
// fit an int, and every raw value must format.
std::string FormatThreshold(std::int32_t raw) {
    return Printf("%llddB", -static_cast<long long>(raw));
}

std::string FormatMs(std::int32_t raw) {
    return Printf("%dms", raw);
}
std::string FormatRatio(std::int32_t raw) {
    return Printf("1:%0.1f", raw * 0.1);
}

std::string FormatDbu(std::int32_t raw) {
    return raw == 0 ? std::string("OFF") : Printf("%llddBu", static_cast<long long>(raw) - 120);
}

std::string FormatDelay(std::int32_t raw) {
    if (raw <= 480) {
        return Printf("%0.3fms", raw * 0.020833333333333332);
    }
    return Printf("%lldms", static_cast<long long>(raw) - 470);
}

std::string FormatForKind(int kind, std::int32_t raw) {
    const KindEntry* e = FindKind(kind);
    return e ? e->format(raw) : std::string("NULL");
}

bool IsKnownStepperKind(int kind) {
    return FindKind(kind) != nullptr;
}

std::optional<int> StepperKindFromText(std::string_view text) {
    int code = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (ec == std::errc{} && ptr == text.data() + text.size() && !text.empty()) {
        return code;
    }
    for (const auto& e : kKinds) {
        if (EqualsNoCase(e.name, text)) {
            return static_cast<int>(e.kind);
        }
    }
    return std::nullopt;
}

std::string_view StepperKindName(int kind) {
    const KindEntry* e = FindKind(kind);
    return e ? e->name : std::string_view{};
}

}  // namespace quorvell
