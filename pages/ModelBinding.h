// SPDX-License-Identifier: GPL-3.0-or-later
// Which model field a page control mirrors, and which command carries that field.
#pragma once

#include <cstdint>

#include "DeviceParameters.h"
#include "ParameterPaths.h"

namespace quorvell {

enum class BoundField : std::uint8_t {
    BandGain,
    BandFreq,
    BandQ,
    HipassFreq,
    HipassQ,
    HipassType,
    LopassFreq,
    LopassQ,
    LopassType,
    Level,
    MainLevel,
    Phase,
    LimiterThreshold,
    LimiterRatio,
    LimiterAttack,
    LimiterRelease,
};

struct Binding {
    BoundField field = BoundField::BandGain;
    int channel = 0;  // 0 CH1, 1 CH2; ignored for MainLevel
    int band = 0;     // 1..7 for the band fields
};

// The raw i32 field of `params` that `binding` names.
constexpr std::int32_t& FieldOf(DeviceParameters& params, Binding binding) {
    ChannelParameters& ch = params.channels[static_cast<std::size_t>(binding.channel & 1)];
    EqBand& band = ch.bands[static_cast<std::size_t>(binding.band)];
    switch (binding.field) {
        case BoundField::BandGain:
            return band.gain;
        case BoundField::BandFreq:
            return band.freq;
        case BoundField::BandQ:
            return band.q;
        case BoundField::HipassFreq:
            return ch.hipass.freq;
        case BoundField::HipassQ:
            return ch.hipass.q;
        case BoundField::HipassType:
            return ch.hipass.type;
        case BoundField::LopassFreq:
            return ch.lopass.freq;
        case BoundField::LopassQ:
            return ch.lopass.q;
        case BoundField::LopassType:
            return ch.lopass.type;
        case BoundField::Level:
            return ch.level;
        case BoundField::MainLevel:
            return params.mainLevel;
        case BoundField::Phase:
            return ch.phase;
        case BoundField::LimiterThreshold:
            return ch.limiter.threshold;
        case BoundField::LimiterRatio:
            return ch.limiter.ratio;
        case BoundField::LimiterAttack:
            return ch.limiter.attack;
        case BoundField::LimiterRelease:
            return ch.limiter.release;
    }
    return band.gain;
}

constexpr std::int32_t FieldValue(const DeviceParameters& params, Binding binding) {
    return FieldOf(const_cast<DeviceParameters&>(params), binding);
}

// The one command that carries the bound field: SendEqBand(c, b), SendHipass(c), ...
constexpr Record RecordOf(Binding binding) {
    switch (binding.field) {
        case BoundField::BandGain:
        case BoundField::BandFreq:
        case BoundField::BandQ:
            return {RecordKind::EqBand, binding.channel, binding.band};
        case BoundField::HipassFreq:
        case BoundField::HipassQ:
        case BoundField::HipassType:
            return {RecordKind::Hipass, binding.channel, 0};
        case BoundField::LopassFreq:
        case BoundField::LopassQ:
        case BoundField::LopassType:
            return {RecordKind::Lopass, binding.channel, 0};
        case BoundField::Level:
            return {RecordKind::Level, binding.channel + 1, 0};
        case BoundField::MainLevel:
            return {RecordKind::Level, 0, 0};
        case BoundField::Phase:
            return {RecordKind::Phase, binding.channel, 0};
        case BoundField::LimiterThreshold:
        case BoundField::LimiterRatio:
        case BoundField::LimiterAttack:
        case BoundField::LimiterRelease:
            return {RecordKind::Limiter, binding.channel, 0};
    }
    return {};
}

}  // namespace quorvell
