// SPDX-License-Identifier: GPL-3.0-or-later
// Image serialisation and the start-up defaults of the device parameter model.
#include "DeviceParameters.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace quorvell {
namespace {

template <typename T>
void Swap(T& v) {
    auto bytes = std::bit_cast<std::array<std::uint8_t, sizeof(T)>>(v);
    std::reverse(bytes.begin(), bytes.end());
    v = std::bit_cast<T>(bytes);
}

void Swap(SystemTime& t) {
    for (auto* f : {&t.year, &t.month, &t.dayOfWeek, &t.day, &t.hour, &t.minute, &t.second,
                    &t.milliseconds}) {
        Swap(*f);
    }
}

// Turns every multi-byte field between host and little-endian order. Only used on a
// big-endian host; reserved bytes are byte arrays and stay as they are.
[[maybe_unused]] void SwapMultiByteFields(DeviceParameters& p) {
    for (auto& ch : p.channels) {
        for (auto& b : ch.bands) {
            Swap(b.freq);
            Swap(b.gain);
            Swap(b.q);
            Swap(b.flag);
        }
        for (auto* x : {&ch.hipass, &ch.lopass}) {
            Swap(x->freq);
            Swap(x->type);
            Swap(x->q);
        }
        Swap(ch.level);
        Swap(ch.phase);
        Swap(ch.limiter.threshold);
        Swap(ch.limiter.attack);
        Swap(ch.limiter.release);
        Swap(ch.limiter.ratio);
    }
    Swap(p.mainLevel);
    Swap(p.connectAttempts);
    Swap(p.connectSentAt);
    Swap(p.recalledAt);
}

}  // namespace

ParameterImage WriteParameterImage(const DeviceParameters& params) {
    DeviceParameters le = params;
    if constexpr (std::endian::native == std::endian::big) {
        SwapMultiByteFields(le);
    }
    ParameterImage image{};
    std::memcpy(image.data(), reinterpret_cast<const std::uint8_t*>(&le) + kImageOffset,
                kImageSize);
    return image;
}

void ReadParameterImage(DeviceParameters& params, std::span<const std::uint8_t> bytes) {
    DeviceParameters le = params;
    if constexpr (std::endian::native == std::endian::big) {
        SwapMultiByteFields(le);
    }
    const std::size_t n = std::min(bytes.size(), kImageSize);
    std::memcpy(reinterpret_cast<std::uint8_t*>(&le) + kImageOffset, bytes.data(), n);
    if constexpr (std::endian::native == std::endian::big) {
        SwapMultiByteFields(le);
    }
    params = le;
}

void ResetDeviceParameters(DeviceParameters& params) {
    for (auto& ch : params.channels) {
        ch.limiter.attack = 1;
        ch.limiter.release = 1;
        ch.limiter.ratio = 10;
        ch.limiter.threshold = 0;
        ch.level = 0;
        ch.hipass.freq = 20;
        ch.lopass.freq = 20000;
        for (int b = 1; b <= kBandCount; ++b) {
            ch.bands[b].q = 20;
            ch.bands[b].gain = 180;
            ch.bands[b].flag = 1;
            ch.bands[b].freq = kDefaultBandFreq[b - 1];
        }
    }
}

std::string_view DeviceNameText(const DeviceParameters& params) {
    const auto* begin = reinterpret_cast<const char*>(params.deviceName.data());
    const auto end = std::find(params.deviceName.begin(), params.deviceName.end(), 0);
    return {begin, static_cast<std::size_t>(end - params.deviceName.begin())};
}

}  // namespace quorvell
