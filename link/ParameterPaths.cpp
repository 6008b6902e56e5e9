// SPDX-License-Identifier: GPL-3.0-or-later
// Parameter paths, ranges and unit conversions for scripted access to the model.
#include "ParameterPaths.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "DisplayFormats.h"
#include "NameRules.h"

namespace quorvell {
namespace {

constexpr std::array<std::string_view, kFilterTypeCount> kTypeLabels = {
    "Butterworth 1", "Butterworth 2", "Bessel 2", "Linkwitz 2", "Variable"};

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return std::string(s);
}

std::optional<double> ParseNumber(std::string_view text) {
    const std::string t = Trim(text);
    if (t.empty()) {
        return std::nullopt;
    }
    const char* begin = t.data();
    if (*begin == '+') {
        ++begin;
    }
    double v = 0;
    auto [ptr, ec] = std::from_chars(begin, t.data() + t.size(), v);
    if (ec != std::errc{} || ptr != t.data() + t.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::vector<ParameterPath> BuildPaths() {
    std::vector<ParameterPath> paths;
    auto add = [&](std::string text, ParameterUnit unit, std::int32_t lo, std::int32_t hi,
                   Record rec, int ch) -> ParameterPath& {
        ParameterPath p;
        p.text = std::move(text);
        p.unit = unit;
        p.minRaw = lo;
        p.maxRaw = hi;
        p.record = rec;
        p.channel = ch;
        return paths.emplace_back(std::move(p));
    };
    for (int ch = 0; ch < 2; ++ch) {
        const std::string c = "ch" + std::to_string(ch + 1);
        for (int b = 1; b <= kBandCount; ++b) {
            const std::string prefix = c + ".band" + std::to_string(b) + ".";
            const Record rec{RecordKind::EqBand, ch, b};
            add(prefix + "freq", ParameterUnit::Hz, 20, 20000, rec, ch).bandField = &EqBand::freq;
            add(prefix + "gain", ParameterUnit::GainDb, 0, 360, rec, ch).bandField = &EqBand::gain;
            add(prefix + "q", ParameterUnit::Q, 1, 1000, rec, ch).bandField = &EqBand::q;
        }
        for (bool hi : {true, false}) {
            const std::string prefix = c + (hi ? ".hipass." : ".lopass.");
            const Record rec{hi ? RecordKind::Hipass : RecordKind::Lopass, ch, 0};
            auto& f = add(prefix + "freq", ParameterUnit::Hz, 20, 20000, rec, ch);
            f.filterField = &CrossoverFilter::freq;
            f.hipass = hi;
            auto& t = add(prefix + "type", ParameterUnit::FilterType, 0, 4, rec, ch);
            t.filterField = &CrossoverFilter::type;
            t.hipass = hi;
            auto& q = add(prefix + "q", ParameterUnit::Q, 1, 1000, rec, ch);
            q.filterField = &CrossoverFilter::q;
            q.hipass = hi;
        }
        add(c + ".level", ParameterUnit::LevelDb, 0, 254, {RecordKind::Level, ch + 1, 0}, ch)
            .channelField = &ChannelParameters::level;
        add(c + ".phase", ParameterUnit::Phase, 0, 1, {RecordKind::Phase, ch, 0}, ch).channelField =
            &ChannelParameters::phase;
        const Record lim{RecordKind::Limiter, ch, 0};
        add(c + ".limiter.threshold", ParameterUnit::ThresholdDb, 0, 60, lim, ch).limiterField =
            &LimiterSettings::threshold;
        add(c + ".limiter.ratio", ParameterUnit::RatioN, 10, 2000, lim, ch).limiterField =
            &LimiterSettings::ratio;
        add(c + ".limiter.attack", ParameterUnit::Ms, 1, 100, lim, ch).limiterField =
            &LimiterSettings::attack;
        add(c + ".limiter.release", ParameterUnit::Ms, 1, 100, lim, ch).limiterField =
            &LimiterSettings::release;
    }
    add("main.level", ParameterUnit::LevelDb, 0, 254, {RecordKind::Level, 0, 0}, -1);
    add("name", ParameterUnit::Name, 0, static_cast<std::int32_t>(kDeviceNameMax),
        {RecordKind::Name, 0, 0}, -1);
    return paths;
}

const std::vector<ParameterPath>& Paths() {
    static const std::vector<ParameterPath> paths = BuildPaths();
    return paths;
}

// Physical value to raw, before rounding.
double ToRawUnits(ParameterUnit unit, double v) {
    switch (unit) {
        case ParameterUnit::GainDb:
            return (v + 18.0) * 10.0;
        case ParameterUnit::Q:
        case ParameterUnit::RatioN:
            return v * 10.0;
        case ParameterUnit::LevelDb:
            return (24.0 - v) * 2.0;
        case ParameterUnit::ThresholdDb:
            return -v;
        default:
            return v;
    }
}

}  // namespace

// The field `path` names in `params`, const or not; null for the name.
template <typename Params>
auto FieldIn(const ParameterPath& path, Params& params) -> decltype(&params.mainLevel) {
    if (path.unit == ParameterUnit::Name) {
        return nullptr;
    }
    if (path.channel < 0) {
        return &params.mainLevel;
    }
    auto& ch = params.channels[static_cast<std::size_t>(path.channel)];
    if (path.bandField) {
        return &(ch.bands[static_cast<std::size_t>(path.record.band)].*path.bandField);
    }
    if (path.filterField) {
        auto& filter = path.hipass ? ch.hipass : ch.lopass;
        return &(filter.*path.filterField);
    }
    if (path.limiterField) {
        return &(ch.limiter.*path.limiterField);
    }
    return &(ch.*path.channelField);
}

std::int32_t* ParameterPath::Field(DeviceParameters& params) const {
    return FieldIn(*this, params);
}

std::int32_t ParameterPath::Value(const DeviceParameters& params) const {
    const std::int32_t* f = FieldIn(*this, params);
    return f ? *f : 0;
}

std::optional<ParameterPath> FindParameterPath(std::string_view text) {
    const std::string key = Lower(Trim(text));
    for (const auto& p : Paths()) {
        if (p.text == key) {
            return p;
        }
    }
    return std::nullopt;
}

std::vector<ParameterPath> AllParameterPaths() {
    return Paths();
}

std::string_view FilterTypeLabel(std::int32_t type) {
    if (type < 0 || type >= kFilterTypeCount) {
        return "?";
    }
    return kTypeLabels[static_cast<std::size_t>(type)];
}

std::string DescribeRange(const ParameterPath& p) {
    char buf[96];
    switch (p.unit) {
        case ParameterUnit::Hz:
            return "20..20000 Hz";
        case ParameterUnit::GainDb:
            return "-18.0..18.0 dB";
        case ParameterUnit::Q:
            return "0.1..100.0";
        case ParameterUnit::LevelDb:
            return "24.0..-103.0 dB";
        case ParameterUnit::ThresholdDb:
            return "0..-60 dB";
        case ParameterUnit::RatioN:
            return "1.0..200.0 (ratio 1:N)";
        case ParameterUnit::Ms:
            return "1..100 ms";
        case ParameterUnit::FilterType:
            return "butterworth1, butterworth2, bessel2, linkwitz2, variable or 0..4";
        case ParameterUnit::Phase:
            return "normal or inverted (0..1)";
        case ParameterUnit::Name:
            std::snprintf(buf, sizeof buf, "text of at most %zu bytes", kDeviceNameMax);
            return buf;
    }
    return {};
}

RawOrError ParseParameterValue(const ParameterPath& p, std::string_view value, bool raw) {
    const auto refuse = [&](std::string_view why) {
        std::string range =
            raw && p.unit != ParameterUnit::Name
                ? std::to_string(p.minRaw) + ".." + std::to_string(p.maxRaw) + " (raw)"
                : DescribeRange(p);
        return RawOrError{std::nullopt, p.text + ": " + std::string(why) + "; allowed " + range};
    };
    const std::string v = Lower(Trim(value));
    std::optional<double> number;
    if (!raw && p.unit == ParameterUnit::FilterType) {
        for (std::int32_t t = 0; t < kFilterTypeCount; ++t) {
            std::string label = Lower(kTypeLabels[static_cast<std::size_t>(t)]);
            std::erase(label, ' ');
            if (v == label) {
                return {t, {}};
            }
        }
    } else if (!raw && p.unit == ParameterUnit::Phase) {
        if (v == "normal") {
            return {0, {}};
        }
        if (v == "inverted") {
            return {1, {}};
        }
    }
    number = ParseNumber(v);
    if (!number) {
        return refuse("'" + std::string(value) + "' is not a valid value");
    }
    const double units = raw ? *number : ToRawUnits(p.unit, *number);
    const double rounded = std::round(units);
    if (rounded < p.minRaw || rounded > p.maxRaw) {
        return refuse("'" + std::string(value) + "' is out of range");
    }
    if (raw && rounded != units) {
        return refuse("'" + std::string(value) + "' is not a whole raw value");
    }
    // A type or a phase is one of a few values: 2.4 names none of them.
    const bool discrete = p.unit == ParameterUnit::FilterType || p.unit == ParameterUnit::Phase;
    if (discrete && rounded != units) {
        return refuse("'" + std::string(value) + "' is not a whole number");
    }
    return {static_cast<std::int32_t>(rounded), {}};
}

std::optional<std::string> CheckImageRanges(std::span<const std::uint8_t> image) {
    if (image.size() != kImageSize) {
        return "the image is " + std::to_string(image.size()) + " bytes, not " +
               std::to_string(kImageSize);
    }
    DeviceParameters params{};
    ReadParameterImage(params, image);
    for (const ParameterPath& path : Paths()) {
        if (path.unit == ParameterUnit::Name) {
            continue;
        }
        const std::int32_t value = path.Value(params);
        // 0 is every field before the processor has reported anything (a preset saved
        // without a link holds it); sending it is safe, so it is kept.
        if (value != 0 && (value < path.minRaw || value > path.maxRaw)) {
            return path.text + " is " + std::to_string(value) + " (raw; allowed " +
                   std::to_string(path.minRaw) + ".." + std::to_string(path.maxRaw) + ")";
        }
    }
    return std::nullopt;
}

SetResult SetParameter(DeviceParameters& params, std::string_view assignment, bool raw) {
    const auto eq = assignment.find('=');
    if (eq == std::string_view::npos) {
        return {std::nullopt, std::string(assignment) + ": expected PATH=VALUE"};
    }
    const auto path = FindParameterPath(assignment.substr(0, eq));
    if (!path) {
        return {std::nullopt, std::string(assignment.substr(0, eq)) + ": unknown parameter path"};
    }
    const std::string_view value = assignment.substr(eq + 1);
    if (path->unit == ParameterUnit::Name) {
        if (value.size() > kDeviceNameMax) {
            return {std::nullopt, "name: '" + std::string(value) + "' is too long; allowed " +
                                      DescribeRange(*path)};
        }
        if (const auto refusal = CheckDeviceName(value)) {
            return {std::nullopt, "name: " + *refusal};
        }
        params.deviceName.fill(0);
        std::memcpy(params.deviceName.data(), value.data(), value.size());
        return {path->record, {}};
    }
    const RawOrError r = ParseParameterValue(*path, value, raw);
    if (!r.raw) {
        return {std::nullopt, r.error};
    }
    *path->Field(params) = *r.raw;
    return {path->record, {}};
}

std::string FormatParameter(const ParameterPath& p, const DeviceParameters& params) {
    const std::int32_t v = p.Value(params);
    switch (p.unit) {
        case ParameterUnit::Hz:
            return FormatHz(v);
        case ParameterUnit::GainDb:
            return FormatGain(v);
        case ParameterUnit::Q:
            return FormatQ(v);
        case ParameterUnit::LevelDb:
            return FormatVolume(v);
        case ParameterUnit::ThresholdDb:
            return FormatThreshold(v);
        case ParameterUnit::RatioN:
            return FormatRatio(v);
        case ParameterUnit::Ms:
            return FormatMs(v);
        case ParameterUnit::FilterType:
            return std::string(FilterTypeLabel(v));
        case ParameterUnit::Phase:
            return v == 0 ? "normal" : v == 1 ? "inverted" : std::to_string(v);
        case ParameterUnit::Name:
            return std::string(DeviceNameText(params));
    }
    return {};
}

}  // namespace quorvell
