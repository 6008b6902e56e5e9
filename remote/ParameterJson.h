// SPDX-License-Identifier: GPL-3.0-or-later
// The model as JSON: the object `quorvell-cli show --json` prints (raw values under the model's
// field names) and the same fields by parameter path in the units the panel shows.
#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <span>

#include "DeviceParameters.h"
#include "ParameterPaths.h"

namespace quorvell {

// {"deviceName", "mainLevel", "channels": [{"bands": [{freq, gain, q} x7], "hipass",
// "lopass", "level", "phase", "limiter"}]}: raw values.
QJsonObject ParametersJson(const DeviceParameters& params);

// A raw value in display units: gain -18.0..18.0 dB, Q 0.1..100.0, levels 24.0..-103.0 dB,
// threshold 0..-60 dB, ratio 1.0..200.0, Hz and ms as they are, filter type 0..4, phase 0/1.
double DisplayNumber(ParameterUnit unit, std::int32_t raw);

// The path's current value: a number in display units (raw when `raw`); the name as text.
QJsonValue PathValue(const ParameterPath& path, const DeviceParameters& params, bool raw = false);

// Every path with its value: {"ch1.band1.freq": 50, ..., "main.level": 0.0, "name": "QV-SIM"}.
QJsonObject PathValuesJson(const DeviceParameters& params, bool raw = false);

// The paths that the given records carry, with their values.
QJsonObject RecordValuesJson(const DeviceParameters& params, std::span<const Record> records);

}  // namespace quorvell
