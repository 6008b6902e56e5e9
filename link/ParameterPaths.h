// SPDX-License-Identifier: GPL-3.0-or-later
// Text paths to the model's fields ("ch1.band3.gain") with their ranges and the conversion
// between raw values and the units the panel shows. Used by scripts (the CLI) and the
// processor simulator's logs.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceParameters.h"

namespace quorvell {

enum class ParameterUnit {
    Hz,
    GainDb,
    Q,
    LevelDb,
    ThresholdDb,
    RatioN,
    Ms,
    FilterType,
    Phase,
    Name,
};

// What a parameter edit sends: the record's command.
enum class RecordKind { EqBand, Hipass, Lopass, Level, Limiter, Phase, Name };

struct Record {
    RecordKind kind = RecordKind::EqBand;
    int channel = 0;  // 0/1; for Level the target 0 main, 1 CH1, 2 CH2
    int band = 0;     // 1..7 for EqBand
    bool operator==(const Record&) const = default;
};

struct ParameterPath {
    std::string text;  // canonical path, e.g. "ch1.band3.gain"
    ParameterUnit unit = ParameterUnit::Hz;
    std::int32_t minRaw = 0;
    std::int32_t maxRaw = 0;
    Record record;  // the command that carries this field

    // The i32 field the path names; nothing for the name.
    std::int32_t* Field(DeviceParameters& params) const;
    std::int32_t Value(const DeviceParameters& params) const;

    // Where the field lives: the channel (0/1) and a pointer into its record.
    int channel = -1;  // -1 for main.level and name
    std::int32_t ChannelParameters::*channelField = nullptr;
    std::int32_t EqBand::*bandField = nullptr;
    std::int32_t CrossoverFilter::*filterField = nullptr;
    std::int32_t LimiterSettings::*limiterField = nullptr;
    bool hipass = false;
};

// Looks up a path (case-insensitive); nothing for an unknown one.
std::optional<ParameterPath> FindParameterPath(std::string_view text);

// Every path, in model order.
std::vector<ParameterPath> AllParameterPaths();

// Value text in display units (or raw when `raw`) to the raw value, rounded to the nearest
// raw step. The error says what is allowed, naming the path and the range.
struct RawOrError {
    std::optional<std::int32_t> raw;
    std::string error;
};
RawOrError ParseParameterValue(const ParameterPath& path, std::string_view value, bool raw);

// Applies PATH=VALUE to the model; the name is stored as its bytes (at most 10). Returns
// the record that changed, or the error text (model untouched).
struct SetResult {
    std::optional<Record> record;
    std::string error;
};
// Nothing when every field of a 768-byte parameter image is inside its path's range; else
// the first field outside, with its value and what is allowed in raw units ("ch1.band3.freq is
// 100000 (raw; allowed 20..20000)"). The device name is not checked: any bytes are a name the
// processor shows.
std::optional<std::string> CheckImageRanges(std::span<const std::uint8_t> image);

SetResult SetParameter(DeviceParameters& params, std::string_view assignment, bool raw);

// The allowed range in display units, e.g. "-18.0..18.0 dB".
std::string DescribeRange(const ParameterPath& path);

// The display text of the path's current value ("G:0.0", "Butterworth 1", "inverted").
std::string FormatParameter(const ParameterPath& path, const DeviceParameters& params);

// Filter type labels, by code: "Butterworth 1" .. "Variable".
std::string_view FilterTypeLabel(std::int32_t type);

}  // namespace quorvell
