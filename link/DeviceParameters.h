// SPDX-License-Identifier: GPL-3.0-or-later
// The device parameter model: one copy of every processor setting, with the fixed byte
// layout that preset data files store (offsets are part of the file format).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace quorvell {

// Local time as the platform's SYSTEMTIME: eight 16-bit fields.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

enum class FilterType : std::int32_t {
    Butterworth1 = 0,
    Butterworth2 = 1,
    Bessel2 = 2,
    Linkwitz2 = 3,
    Variable = 4,
};
inline constexpr int kFilterTypeCount = 5;

// One parametric band. gain: raw 0..360 is -18.0..+18.0 dB; q: raw 1..1000 is Q 0.1..100.0.
struct EqBand {
    std::int32_t freq = 0;
    std::int32_t gain = 0;
    std::int32_t q = 0;
    std::array<std::uint8_t, 8> reserved{};
    std::int32_t flag = 0;  // set by the reset, read by nothing, carried in presets
};

// A crossover: freq in Hz, type a FilterType code, q raw (used by Variable only).
struct CrossoverFilter {
    std::int32_t freq = 0;
    std::int32_t type = 0;
    std::int32_t q = 0;
};

struct LimiterSettings {
    std::int32_t threshold = 0;  // raw 0..60 is 0..-60 dB
    std::int32_t attack = 0;     // ms, 1..100
    std::int32_t release = 0;    // ms, 1..100
    std::array<std::uint8_t, 4> reserved{};
    std::int32_t ratio = 0;  // raw 10..2000 is 1:1.0..1:200.0
};

inline constexpr int kBandCount = 7;  // bands 1..7; slot 0 is reserved

struct ChannelParameters {
    std::array<EqBand, kBandCount + 1> bands{};
    std::array<std::uint8_t, 76> reserved1{};
    CrossoverFilter hipass;
    std::array<std::uint8_t, 4> reserved2{};
    CrossoverFilter lopass;
    std::array<std::uint8_t, 4> reserved3{};
    std::int32_t level = 0;  // raw 0..254, shown as 24.0 - raw * 0.5 dB
    std::int32_t phase = 0;  // 0 normal, 1 inverted
    std::array<std::uint8_t, 4> reserved4{};
    LimiterSettings limiter;
    std::array<std::uint8_t, 12> reserved5{};
};

inline constexpr std::size_t kDeviceNameSize = 16;
inline constexpr std::size_t kDeviceNameMax = 10;  // bytes the processor stores

struct DeviceParameters {
    std::array<ChannelParameters, 2> channels{};
    std::array<std::uint8_t, 40> reserved1{};
    std::int32_t mainLevel = 0;
    std::array<std::uint8_t, kDeviceNameSize> deviceName{};
    std::uint8_t linkUp = 0;
    std::array<std::uint8_t, 3> reserved2{};
    std::int32_t connectAttempts = 0;
    std::uint8_t connectPending = 0;
    std::uint8_t reserved3 = 0;
    SystemTime connectSentAt;
    SystemTime recalledAt;
    std::array<std::uint8_t, 2> reserved4{};
};

static_assert(sizeof(EqBand) == 24);
static_assert(offsetof(EqBand, flag) == 20);
static_assert(sizeof(ChannelParameters) == 344);
static_assert(offsetof(ChannelParameters, bands) + sizeof(EqBand) == 24);
static_assert(offsetof(ChannelParameters, hipass) == 268);
static_assert(offsetof(ChannelParameters, lopass) == 284);
static_assert(offsetof(ChannelParameters, level) == 300);
static_assert(offsetof(ChannelParameters, phase) == 304);
static_assert(offsetof(ChannelParameters, limiter) == 312);
static_assert(offsetof(LimiterSettings, ratio) == 16);
static_assert(sizeof(DeviceParameters) == 792);
static_assert(offsetof(DeviceParameters, mainLevel) == 728);
static_assert(offsetof(DeviceParameters, deviceName) == 732);
static_assert(offsetof(DeviceParameters, linkUp) == 748);
static_assert(offsetof(DeviceParameters, connectAttempts) == 752);
static_assert(offsetof(DeviceParameters, connectPending) == 756);
static_assert(offsetof(DeviceParameters, connectSentAt) == 758);
static_assert(offsetof(DeviceParameters, recalledAt) == 774);

// The preset image: DeviceParameters offsets 24..791, little-endian whatever the host.
inline constexpr std::size_t kImageOffset = 24;
inline constexpr std::size_t kImageSize = 768;
using ParameterImage = std::array<std::uint8_t, kImageSize>;

// Serialises the model's image as it lies in memory on a little-endian host.
ParameterImage WriteParameterImage(const DeviceParameters& params);

// Overwrites the image part of the model with `bytes`. A shorter span overwrites only its
// own bytes (the rest keeps its value); bytes past 768 are ignored.
void ReadParameterImage(DeviceParameters& params, std::span<const std::uint8_t> bytes);

// Loads the start-up defaults into both channels. Types, crossover Q, phase, mainLevel,
// deviceName and the link fields keep their values.
void ResetDeviceParameters(DeviceParameters& params);

inline constexpr std::array<std::int32_t, kBandCount> kDefaultBandFreq = {50,   200,  800,  1000,
                                                                          3000, 8000, 12000};

// The device name as text: bytes up to the first zero, at most 16.
std::string_view DeviceNameText(const DeviceParameters& params);

}  // namespace quorvell
