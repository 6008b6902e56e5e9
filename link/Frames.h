// SPDX-License-Identifier: GPL-3.0-or-later
// Command, status and discovery frames: pure functions between the model and wire bytes.
// Layout: AA 55, length (total - 4), code, payload, A5; multi-byte fields big-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "BiquadDesign.h"
#include "DeviceParameters.h"

namespace quorvell {

enum class CommandCode : std::uint8_t {
    EqBand = 1,
    Hipass = 2,
    Lopass = 3,
    Level = 4,
    Limiter = 5,
    SetName = 6,
    Connect = 7,
    Reset = 8,
    Phase = 10,
    Discover = 0x80,
};

enum class StatusCode : std::uint8_t {
    NameSet = 6,
    FullState = 7,
    ResetState = 8,
    DeviceFound = 0x80,
};

inline constexpr std::uint8_t kFrameSync0 = 0xAA;
inline constexpr std::uint8_t kFrameSync1 = 0x55;
inline constexpr std::uint8_t kFrameTrailer = 0xA5;
inline constexpr std::uint16_t kDevicePort = 39060;

// Total frame sizes.
inline constexpr std::size_t kEqBandFrameSize = 33;
inline constexpr std::size_t kCrossoverFrameSize = 31;
inline constexpr std::size_t kLevelFrameSize = 7;
inline constexpr std::size_t kLimiterFrameSize = 47;
inline constexpr std::size_t kSetNameFrameSize = 15;
inline constexpr std::size_t kConnectFrameSize = 11;
inline constexpr std::size_t kResetFrameSize = 5;
inline constexpr std::size_t kPhaseFrameSize = 7;
inline constexpr std::size_t kDiscoverFrameSize = 11;
inline constexpr std::size_t kFullStateFrameSize = 134;   // offsets 0..132, then A5
inline constexpr std::size_t kResetStateFrameSize = 124;  // offsets 0..122, then A5
inline constexpr std::size_t kNameSetFrameSize = 5;
inline constexpr std::size_t kMaxFrameSize = kFullStateFrameSize;

// A frame held by value; no allocation.
class Frame {
public:
    Frame() = default;
    explicit Frame(std::span<const std::uint8_t> bytes);

    std::span<const std::uint8_t> Bytes() const { return {bytes_.data(), size_}; }
    std::size_t Size() const { return size_; }
    std::uint8_t operator[](std::size_t i) const { return bytes_[i]; }
    bool operator==(const Frame& other) const;

    // Builder helpers: append big-endian fields.
    void Put8(std::uint32_t v);
    void Put16(std::uint32_t v);
    void Put32(std::uint32_t v);

    // Writes AA 55 length code at the start; used before the payload.
    static Frame Start(std::uint8_t code, std::size_t totalSize);
    // Appends the A5 trailer.
    void Finish();

private:
    std::array<std::uint8_t, kMaxFrameSize> bytes_{};
    std::size_t size_ = 0;
};

// Upper-case hex bytes separated by single spaces ("AA 55 01 08 A5").
std::string ToHex(std::span<const std::uint8_t> bytes);

// IPv4 address as a host-order integer (a << 24 | b << 16 | c << 8 | d).
using Ipv4 = std::uint32_t;
std::optional<Ipv4> ParseIpv4(std::string_view text);
std::string FormatIpv4(Ipv4 address);

// Command builders. channel 0 is CH1, 1 is CH2; band 1..7; level target 0 main, 1 CH1,
// 2 CH2. The filter builders give no frame when the design cannot be sent (a crossover type
// outside 0..4, or a coefficient that is not finite or outside the 5.23 range). A q of 0 is
// designed as q 1.
std::optional<Frame> BuildEqBand(const DeviceParameters& params, int channel, int band);
std::optional<Frame> BuildHipass(const DeviceParameters& params, int channel);
std::optional<Frame> BuildLopass(const DeviceParameters& params, int channel);
Frame BuildLevel(const DeviceParameters& params, int target);
std::optional<Frame> BuildLimiter(const DeviceParameters& params, int channel, double eulerE);
Frame BuildPhase(const DeviceParameters& params, int channel);
Frame BuildSetName(const DeviceParameters& params);
Frame BuildConnect(std::uint16_t replyPort, Ipv4 ownAddress);
Frame BuildReset();
Frame BuildDiscover(std::uint16_t replyPort, Ipv4 ownAddress);

// Device side: the answers a processor sends.
Frame BuildFullState(const DeviceParameters& params);
Frame BuildResetState(const DeviceParameters& params);
Frame BuildNameSet();
Frame BuildDeviceFound(std::string_view name);

// Euler's number as the panel computes it at start-up: 1 + sum 1/n! for n = 1..999.
double ComputeEulerE();

// The nine limiter words in frame order: K0, 1-K0, KA, 1-KA, KR, 1-KR, T, S, G.
std::array<double, 9> LimiterWords(const LimiterSettings& limiter, double eulerE);

// The coefficients a filter frame carries for the model's settings, as designed (q of 0
// designed as q 1). Shared by the builders and by the processor's frame check.
Biquad BandDesign(std::int32_t freq, std::int32_t gain, std::int32_t q);
std::optional<Biquad> CrossoverDesign(bool hipass, std::int32_t freq, std::int32_t type,
                                      std::int32_t q);

// Status frames, read over bytes of any length: a short datagram reads as if zero-padded,
// nothing past the received bytes is read. Each checks bytes 0, 1 and 3 first and returns
// false without writing when they differ.
bool ApplyFullState(DeviceParameters& params, std::span<const std::uint8_t> bytes);
bool ApplyResetState(DeviceParameters& params, std::span<const std::uint8_t> bytes);

// Which status frame a datagram is (bytes 0, 1 and 3), or nothing.
std::optional<StatusCode> StatusOf(std::span<const std::uint8_t> bytes);

// The discovery answer: AA 55 (any length) 80 00, then ten name bytes whose zeros carry no
// character. Only the first 128 bytes of a datagram count.
std::optional<std::string> ParseDeviceFound(std::span<const std::uint8_t> bytes);

}  // namespace quorvell
