// SPDX-License-Identifier: GPL-3.0-or-later
// Equaliser text import and channel copy: edits of whole channels as paced frame sequences.
#include "EqFilterImport.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>

#include "Frames.h"

namespace quorvell {
namespace {

constexpr int kImportGapMs = 50;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        if (i > start) {
            out.push_back(line.substr(start, i - start));
        }
    }
    return out;
}

// A number; a single decimal comma ("-3,5", "0,71") is read as a point, since fields are
// separated by whitespace and a comma can mean nothing else there.
std::optional<double> Number(std::string_view t) {
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
    }
    std::string pointed;
    if (const std::size_t comma = t.find(','); comma != std::string_view::npos) {
        if (t.find(',', comma + 1) != std::string_view::npos ||
            t.find('.') != std::string_view::npos) {
            return std::nullopt;
        }
        pointed.assign(t);
        pointed[comma] = '.';
        t = pointed;
    }
    double v = 0;
    auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc{} || ptr != t.data() + t.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

// "Filter", optional spaces and digits, then ':' — returns the text after the colon.
std::optional<std::string_view> FilterBody(std::string_view line, bool& looksLikeFilter) {
    looksLikeFilter = false;
    if (Lower(line.substr(0, 6)) != "filter") {
        return std::nullopt;
    }
    std::size_t i = 6;
    while (i < line.size() && line[i] == ' ') {
        ++i;
    }
    const std::size_t digits = i;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) {
        ++i;
    }
    if (i < line.size() && line[i] == ':') {
        looksLikeFilter = true;
        return line.substr(i + 1);
    }
    // "Filter 3 ON PK ..." without its colon is a broken filter line; "Filter Settings
    // file" and similar headers are not filter lines at all.
    looksLikeFilter = i > digits;
    return std::nullopt;
}

std::string Where(int line) {
    return "line " + std::to_string(line) + ": ";
}

}  // namespace

EqImport ParseEqFilterText(std::string_view text) {
    EqImport result;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::array<EqBand, kBandCount> bands{};
    for (int b = 0; b < kBandCount; ++b) {
        bands[b] = {kDefaultBandFreq[b], 180, 20, {}, 1};
    }
    int lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) {
            line.remove_suffix(1);
        }
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front()))) {
            line.remove_prefix(1);
        }
        if (line.empty() || line.front() == '#' || line.front() == ';') {
            continue;
        }
        const std::string lower = Lower(line);
        if (lower.starts_with("preamp:")) {
            const auto t = Tokens(line.substr(7));
            const auto v = t.empty() ? std::nullopt : Number(t[0]);
            if (!v || t.size() > 2 || (t.size() == 2 && Lower(t[1]) != "db")) {
                result.errors.push_back(Where(lineNo) + "malformed preamp line");
            } else {
                result.preampDb = *v;
            }
            continue;
        }
        bool looksLikeFilter = false;
        const auto body = FilterBody(line, looksLikeFilter);
        if (!body) {
            if (looksLikeFilter) {
                result.errors.push_back(Where(lineNo) + "malformed filter line (no ':')");
            }
            continue;  // a header or a note
        }
        const auto t = Tokens(*body);
        if (t.empty() || (Lower(t[0]) != "on" && Lower(t[0]) != "off")) {
            result.errors.push_back(Where(lineNo) + "malformed filter line (expected ON or OFF)");
            continue;
        }
        if (Lower(t[0]) == "off") {
            continue;
        }
        if (t.size() < 2 || Lower(t[1]) != "pk") {
            result.errors.push_back(Where(lineNo) + "filter type " +
                                    (t.size() < 2 ? std::string("(none)") : std::string(t[1])) +
                                    " is not supported; only PK filters can be imported");
            continue;
        }
        std::optional<double> fc, gain, q;
        bool malformed = false;
        for (std::size_t i = 2; i < t.size(); ++i) {
            const std::string key = Lower(t[i]);
            std::optional<double>* slot = key == "fc"     ? &fc
                                          : key == "gain" ? &gain
                                          : key == "q"    ? &q
                                                          : nullptr;
            if (slot == nullptr || i + 1 >= t.size() || slot->has_value()) {
                malformed = true;
                break;
            }
            *slot = Number(t[++i]);
            if (!slot->has_value()) {
                malformed = true;
                break;
            }
            const std::string unit = i + 1 < t.size() ? Lower(t[i + 1]) : "";
            if ((key == "fc" && unit == "hz") || (key == "gain" && unit == "db")) {
                ++i;
            }
        }
        if (malformed || !fc || !gain || !q) {
            result.errors.push_back(Where(lineNo) +
                                    "malformed filter line (expected Fc <Hz> Gain <dB> Q <q>)");
            continue;
        }
        const double freqRaw = std::round(*fc);
        const double gainRaw = std::round(*gain * 10.0) + 180.0;
        const double qRaw = std::round(*q * 10.0);
        if (freqRaw < 20 || freqRaw > 20000) {
            result.errors.push_back(Where(lineNo) + "Fc out of range (20..20000 Hz)");
            continue;
        }
        if (gainRaw < 0 || gainRaw > 360) {
            result.errors.push_back(Where(lineNo) + "gain out of range (-18.0..18.0 dB)");
            continue;
        }
        if (qRaw < 1 || qRaw > 1000) {
            result.errors.push_back(Where(lineNo) + "Q out of range (0.1..100.0)");
            continue;
        }
        if (result.filterCount == kBandCount) {
            result.errors.push_back(Where(lineNo) + "more than seven peaking filters");
            continue;
        }
        bands[result.filterCount] = {static_cast<std::int32_t>(freqRaw),
                                     static_cast<std::int32_t>(gainRaw),
                                     static_cast<std::int32_t>(qRaw),
                                     {},
                                     1};
        ++result.filterCount;
    }
    if (result.errors.empty() && result.filterCount == 0 && !result.preampDb) {
        result.errors.push_back("no filter lines found");
    }
    if (result.errors.empty()) {
        result.bands = bands;
    }
    return result;
}

PacedSequence ApplyEqImport(DeviceParameters& params, int channel, const EqImport& import) {
    PacedSequence out;
    if (!import.bands) {
        return out;
    }
    ChannelParameters& ch = params.channels[channel];
    for (int b = 1; b <= kBandCount; ++b) {
        const EqBand& in = (*import.bands)[b - 1];
        ch.bands[b].freq = in.freq;
        ch.bands[b].gain = in.gain;
        ch.bands[b].q = in.q;
        if (auto f = BuildEqBand(params, channel, b)) {
            out.push_back({*f, kImportGapMs, Record{RecordKind::EqBand, channel, b}});
        }
    }
    if (import.preampDb && *import.preampDb != 0.0) {
        // Level raw counts 0.5 dB steps downwards from +24 dB.
        const double lowered = ch.level - std::round(*import.preampDb * 2.0);
        ch.level = static_cast<std::int32_t>(std::clamp(lowered, 0.0, 254.0));
        out.push_back({BuildLevel(params, channel + 1), kImportGapMs,
                       Record{RecordKind::Level, channel + 1, 0}});
    }
    return out;
}

PacedSequence CopyChannel(DeviceParameters& params, int from, int to, double eulerE) {
    PacedSequence out;
    const ChannelParameters& src = params.channels[from];
    ChannelParameters& dst = params.channels[to];
    for (int b = 1; b <= kBandCount; ++b) {
        dst.bands[b].freq = src.bands[b].freq;
        dst.bands[b].gain = src.bands[b].gain;
        dst.bands[b].q = src.bands[b].q;
    }
    dst.hipass = src.hipass;
    dst.lopass = src.lopass;
    dst.limiter.threshold = src.limiter.threshold;
    dst.limiter.attack = src.limiter.attack;
    dst.limiter.release = src.limiter.release;
    dst.limiter.ratio = src.limiter.ratio;
    for (int b = 1; b <= kBandCount; ++b) {
        if (auto f = BuildEqBand(params, to, b)) {
            out.push_back({*f, kImportGapMs, Record{RecordKind::EqBand, to, b}});
        }
    }
    const std::pair<std::optional<Frame>, RecordKind> rest[] = {
        {BuildHipass(params, to), RecordKind::Hipass},
        {BuildLopass(params, to), RecordKind::Lopass},
        {BuildLimiter(params, to, eulerE), RecordKind::Limiter},
    };
    for (const auto& [f, kind] : rest) {
        if (f) {
            out.push_back({*f, kImportGapMs, Record{kind, to, 0}});
        }
    }
    return out;
}

}  // namespace quorvell
