// SPDX-License-Identifier: GPL-3.0-or-later
// Byte-exact builders and readers of the device link's frames.
#include "Frames.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quorvell {

Frame::Frame(std::span<const std::uint8_t> bytes) : size_(std::min(bytes.size(), kMaxFrameSize)) {
    std::copy_n(bytes.begin(), size_, bytes_.begin());
}

bool Frame::operator==(const Frame& other) const {
    return std::ranges::equal(Bytes(), other.Bytes());
}

void Frame::Put8(std::uint32_t v) {
    bytes_[size_++] = static_cast<std::uint8_t>(v & 0xFF);
}

void Frame::Put16(std::uint32_t v) {
    Put8(v >> 8);
    Put8(v);
}

void Frame::Put32(std::uint32_t v) {
    Put16(v >> 16);
    Put16(v);
}

Frame Frame::Start(std::uint8_t code, std::size_t totalSize) {
    Frame f;
    f.Put8(kFrameSync0);
    f.Put8(kFrameSync1);
    f.Put8(static_cast<std::uint32_t>(totalSize - 4));
    f.Put8(code);
    return f;
}

void Frame::Finish() {
    Put8(kFrameTrailer);
}

std::string ToHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            out.push_back(' ');
        }
        out.push_back(kDigits[bytes[i] >> 4]);
        out.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return out;
}

std::optional<Ipv4> ParseIpv4(std::string_view text) {
    Ipv4 result = 0;
    for (int part = 0; part < 4; ++part) {
        if (part != 0) {
            if (text.empty() || text.front() != '.') {
                return std::nullopt;
            }
            text.remove_prefix(1);
        }
        unsigned value = 0;
        const auto* end = text.data() + std::min<std::size_t>(text.size(), 3);
        auto [ptr, ec] = std::from_chars(text.data(), end, value);
        if (ec != std::errc{} || ptr == text.data() || value > 255) {
            return std::nullopt;
        }
        text.remove_prefix(static_cast<std::size_t>(ptr - text.data()));
        result = (result << 8) | value;
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    return result;
}

std::string FormatIpv4(Ipv4 a) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", (a >> 24) & 0xFF, (a >> 16) & 0xFF,
                  (a >> 8) & 0xFF, a & 0xFF);
    return buf;
}

namespace {

constexpr bool kMasked = true;
constexpr bool kFull = false;

void PutCoefficients(Frame& f, const Biquad& c, bool mask28) {
    for (double v : {c.b[0], c.b[1], c.b[2], c.a[1], c.a[2]}) {
        f.Put32(ToFixed523(v, mask28));
    }
}

std::int32_t DesignQ(std::int32_t q) {
    return q == 0 ? 1 : q;
}

// Reads bytes of a received datagram as if the buffer had been zero-filled.
class PaddedReader {
public:
    explicit PaddedReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::int32_t U8(std::size_t at) const { return at < bytes_.size() ? bytes_[at] : 0; }
    std::int32_t U16(std::size_t at) const { return (U8(at) << 8) | U8(at + 1); }

private:
    std::span<const std::uint8_t> bytes_;
};

// Offsets 4..108, shared by the full-state and reset-state frames.
void ApplyCommonState(DeviceParameters& p, const PaddedReader& r) {
    for (int ch = 0; ch < 2; ++ch) {
        for (int b = 1; b <= kBandCount; ++b) {
            const std::size_t at = 4 + 42 * ch + 6 * (b - 1);
            auto& band = p.channels[ch].bands[b];
            band.freq = r.U16(at);
            band.q = r.U16(at + 2);
            band.gain = r.U16(at + 4);
        }
        p.channels[ch].hipass.freq = r.U16(88 + 2 * ch);
        p.channels[ch].lopass.freq = r.U16(92 + 2 * ch);
        p.channels[ch].level = r.U8(97 + ch);
        auto& lim = p.channels[ch].limiter;
        const std::size_t at = 99 + 5 * ch;
        lim.ratio = r.U16(at);
        lim.threshold = r.U8(at + 2);
        lim.attack = r.U8(at + 3);
        lim.release = r.U8(at + 4);
    }
    p.mainLevel = r.U8(96);
}

// The tail after the name (full state) or directly after the limiters (reset state).
void ApplyStateTail(DeviceParameters& p, const PaddedReader& r, std::size_t at) {
    for (int ch = 0; ch < 2; ++ch) {
        p.channels[ch].hipass.type = r.U8(at + ch);
        p.channels[ch].lopass.type = r.U8(at + 2 + ch);
        p.channels[ch].hipass.q = r.U16(at + 4 + 2 * ch);
        p.channels[ch].lopass.q = r.U16(at + 8 + 2 * ch);
        p.channels[ch].phase = r.U8(at + 12 + ch);
    }
}

bool HasHeader(std::span<const std::uint8_t> bytes, std::uint8_t code) {
    const PaddedReader r(bytes);
    return r.U8(0) == kFrameSync0 && r.U8(1) == kFrameSync1 && r.U8(3) == code;
}

void PutStateCommon(Frame& f, const DeviceParameters& p) {
    for (const auto& ch : p.channels) {
        for (int b = 1; b <= kBandCount; ++b) {
            f.Put16(static_cast<std::uint32_t>(ch.bands[b].freq));
            f.Put16(static_cast<std::uint32_t>(ch.bands[b].q));
            f.Put16(static_cast<std::uint32_t>(ch.bands[b].gain));
        }
    }
    for (const auto& ch : p.channels) {
        f.Put16(static_cast<std::uint32_t>(ch.hipass.freq));
    }
    for (const auto& ch : p.channels) {
        f.Put16(static_cast<std::uint32_t>(ch.lopass.freq));
    }
    f.Put8(static_cast<std::uint32_t>(p.mainLevel));
    for (const auto& ch : p.channels) {
        f.Put8(static_cast<std::uint32_t>(ch.level));
    }
    for (const auto& ch : p.channels) {
        f.Put16(static_cast<std::uint32_t>(ch.limiter.ratio));
        f.Put8(static_cast<std::uint32_t>(ch.limiter.threshold));
        f.Put8(static_cast<std::uint32_t>(ch.limiter.attack));
        f.Put8(static_cast<std::uint32_t>(ch.limiter.release));
    }
}

void PutStateTail(Frame& f, const DeviceParameters& p) {
    for (const auto& ch : p.channels) {
        f.Put8(static_cast<std::uint32_t>(ch.hipass.type));
    }
    for (const auto& ch : p.channels) {
        f.Put8(static_cast<std::uint32_t>(ch.lopass.type));
    }
    for (const auto& ch : p.channels) {
        f.Put16(static_cast<std::uint32_t>(ch.hipass.q));
    }
    for (const auto& ch : p.channels) {
        f.Put16(static_cast<std::uint32_t>(ch.lopass.q));
    }
    for (const auto& ch : p.channels) {
        f.Put8(static_cast<std::uint32_t>(ch.phase));
    }
}

Frame AddressFrame(std::uint8_t code, std::uint16_t port, Ipv4 own) {
    Frame f = Frame::Start(code, kConnectFrameSize);
    f.Put16(port);
    f.Put32(own);
    f.Finish();
    return f;
}

}  // namespace

Biquad BandDesign(std::int32_t freq, std::int32_t gain, std::int32_t q) {
    const double f = freq;
    return DesignPeakingBand(f, gain * 0.1 - 18.0, f / (DesignQ(q) * 0.1));
}

std::optional<Biquad> CrossoverDesign(bool hipass, std::int32_t freq, std::int32_t type,
                                      std::int32_t q) {
    const double qf = DesignQ(q) * 0.1;
    return hipass ? DesignHipass(freq, type, qf) : DesignLopass(freq, type, qf);
}

std::optional<Frame> BuildEqBand(const DeviceParameters& params, int channel, int band) {
    const EqBand& b = params.channels[channel].bands[band];
    const Biquad c = BandDesign(b.freq, b.gain, b.q);
    if (!IsSendable(c)) {
        return std::nullopt;
    }
    Frame f = Frame::Start(static_cast<std::uint8_t>(CommandCode::EqBand), kEqBandFrameSize);
    f.Put8(static_cast<std::uint32_t>(channel));
    f.Put8(static_cast<std::uint32_t>(band));
    f.Put16(static_cast<std::uint32_t>(b.freq));
    f.Put16(static_cast<std::uint32_t>(b.q));
    f.Put16(static_cast<std::uint32_t>(b.gain));
    PutCoefficients(f, c, kMasked);
    f.Finish();
    return f;
}

namespace {
std::optional<Frame> BuildCrossover(const DeviceParameters& params, int channel, bool hipass) {
    const auto& ch = params.channels[channel];
    const CrossoverFilter& x = hipass ? ch.hipass : ch.lopass;
    const auto c = CrossoverDesign(hipass, x.freq, x.type, x.q);
    if (!c || !IsSendable(*c)) {
        return std::nullopt;
    }
    const auto code = hipass ? CommandCode::Hipass : CommandCode::Lopass;
    Frame f = Frame::Start(static_cast<std::uint8_t>(code), kCrossoverFrameSize);
    f.Put8(static_cast<std::uint32_t>(channel));
    f.Put16(static_cast<std::uint32_t>(x.freq));
    PutCoefficients(f, *c, hipass ? kFull : kMasked);
    f.Put8(static_cast<std::uint32_t>(x.type));
    f.Put16(static_cast<std::uint32_t>(x.q));
    f.Finish();
    return f;
}
}  // namespace

std::optional<Frame> BuildHipass(const DeviceParameters& params, int channel) {
    return BuildCrossover(params, channel, true);
}

std::optional<Frame> BuildLopass(const DeviceParameters& params, int channel) {
    return BuildCrossover(params, channel, false);
}

Frame BuildLevel(const DeviceParameters& params, int target) {
    Frame f = Frame::Start(static_cast<std::uint8_t>(CommandCode::Level), kLevelFrameSize);
    f.Put8(static_cast<std::uint32_t>(target));
    const std::int32_t level = target == 0 ? params.mainLevel : params.channels[target - 1].level;
    f.Put8(static_cast<std::uint32_t>(level));
    f.Finish();
    return f;
}

double ComputeEulerE() {
    double e = 1.0;
    for (int n = 1; n <= 999; ++n) {
        double factorial = 1.0;
        for (int k = 1; k <= n; ++k) {
            factorial *= k;
        }
        e += 1.0 / factorial;
    }
    return e;
}

std::array<double, 9> LimiterWords(const LimiterSettings& lim, double e) {
    const double k0 = 1.0 - std::pow(e, -1.0 / 96.0);
    const double ka = 1.0 - std::pow(e, -1.0 / (lim.attack * 0.001 * 96000.0));
    const double kr = 1.0 - std::pow(e, -1.0 / (lim.release * 0.001 * 96000.0));
    const double t = (24.0 + lim.threshold) * (-1.0 / 6.0206);
    const double s = 1.0 / (lim.ratio * 0.1) - 1.0;
    const double g = 0.0645161290322581;
    return {k0, 1.0 - k0, ka, 1.0 - ka, kr, 1.0 - kr, t, s, g};
}

std::optional<Frame> BuildLimiter(const DeviceParameters& params, int channel, double eulerE) {
    const LimiterSettings& lim = params.channels[channel].limiter;
    const auto words = LimiterWords(lim, eulerE);
    for (double w : words) {
        if (!IsFixed523(w)) {
            return std::nullopt;
        }
    }
    Frame f = Frame::Start(static_cast<std::uint8_t>(CommandCode::Limiter), kLimiterFrameSize);
    f.Put8(static_cast<std::uint32_t>(channel));
    f.Put16(static_cast<std::uint32_t>(lim.ratio));
    f.Put8(static_cast<std::uint32_t>(lim.threshold));
    f.Put8(static_cast<std::uint32_t>(lim.attack));
    f.Put8(static_cast<std::uint32_t>(lim.release));
    for (double w : words) {
        f.Put32(ToFixed523(w, kFull));
    }
    f.Finish();
    return f;
}

Frame BuildPhase(const DeviceParameters& params, int channel) {
    Frame f = Frame::Start(static_cast<std::uint8_t>(CommandCode::Phase), kPhaseFrameSize);
    f.Put8(static_cast<std::uint32_t>(channel));
    f.Put8(static_cast<std::uint32_t>(params.channels[channel].phase));
    f.Finish();
    return f;
}

Frame BuildSetName(const DeviceParameters& params) {
    Frame f = Frame::Start(static_cast<std::uint8_t>(CommandCode::SetName), kSetNameFrameSize);
    for (std::size_t i = 0; i < kDeviceNameMax; ++i) {
        f.Put8(params.deviceName[i]);
    }
    f.Finish();
    return f;
}

Frame BuildConnect(std::uint16_t replyPort, Ipv4 ownAddress) {
    return AddressFrame(static_cast<std::uint8_t>(CommandCode::Connect), replyPort, ownAddress);
}

Frame BuildDiscover(std::uint16_t replyPort, Ipv4 ownAddress) {
    return AddressFrame(static_cast<std::uint8_t>(CommandCode::Discover), replyPort, ownAddress);
}

Frame BuildReset() {
    Frame f = Frame::Start(static_cast<std::uint8_t>(CommandCode::Reset), kResetFrameSize);
    f.Finish();
    return f;
}

Frame BuildFullState(const DeviceParameters& params) {
    Frame f = Frame::Start(static_cast<std::uint8_t>(StatusCode::FullState), kFullStateFrameSize);
    PutStateCommon(f, params);
    for (std::size_t i = 0; i < kDeviceNameMax; ++i) {
        f.Put8(params.deviceName[i]);
    }
    PutStateTail(f, params);
    f.Finish();
    return f;
}

Frame BuildResetState(const DeviceParameters& params) {
    Frame f = Frame::Start(static_cast<std::uint8_t>(StatusCode::ResetState), kResetStateFrameSize);
    PutStateCommon(f, params);
    PutStateTail(f, params);
    f.Finish();
    return f;
}

Frame BuildNameSet() {
    Frame f = Frame::Start(static_cast<std::uint8_t>(StatusCode::NameSet), kNameSetFrameSize);
    f.Finish();
    return f;
}

Frame BuildDeviceFound(std::string_view name) {
    // AA 55 0C 80 00, ten name bytes, A5.
    Frame f = Frame::Start(static_cast<std::uint8_t>(StatusCode::DeviceFound), 16);
    f.Put8(0);
    for (std::size_t i = 0; i < kDeviceNameMax; ++i) {
        f.Put8(i < name.size() ? static_cast<std::uint8_t>(name[i]) : 0);
    }
    f.Finish();
    return f;
}

bool ApplyFullState(DeviceParameters& params, std::span<const std::uint8_t> bytes) {
    if (!HasHeader(bytes, static_cast<std::uint8_t>(StatusCode::FullState))) {
        return false;
    }
    const PaddedReader r(bytes);
    ApplyCommonState(params, r);
    params.deviceName.fill(0);
    for (std::size_t i = 0; i < kDeviceNameMax; ++i) {
        params.deviceName[i] = static_cast<std::uint8_t>(r.U8(109 + i));
    }
    ApplyStateTail(params, r, 119);
    return true;
}

bool ApplyResetState(DeviceParameters& params, std::span<const std::uint8_t> bytes) {
    if (!HasHeader(bytes, static_cast<std::uint8_t>(StatusCode::ResetState))) {
        return false;
    }
    const PaddedReader r(bytes);
    ApplyCommonState(params, r);
    ApplyStateTail(params, r, 109);
    return true;
}

std::optional<StatusCode> StatusOf(std::span<const std::uint8_t> bytes) {
    for (auto code : {StatusCode::NameSet, StatusCode::FullState, StatusCode::ResetState}) {
        if (HasHeader(bytes, static_cast<std::uint8_t>(code))) {
            return code;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ParseDeviceFound(std::span<const std::uint8_t> bytes) {
    const PaddedReader r(bytes.first(std::min<std::size_t>(bytes.size(), 128)));
    if (r.U8(0) != kFrameSync0 || r.U8(1) != kFrameSync1 || r.U8(3) != 0x80 || r.U8(4) != 0) {
        return std::nullopt;
    }
    std::string name;
    for (std::size_t i = 5; i < 15; ++i) {
        if (const auto c = r.U8(i); c != 0) {
            name.push_back(static_cast<char>(c));
        }
    }
    return name;
}

}  // namespace quorvell
