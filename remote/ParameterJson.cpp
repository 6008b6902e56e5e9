// SPDX-License-Identifier: GPL-3.0-or-later
// JSON views of the model, shared by `quorvell-cli show --json` and the remote API.
#include "ParameterJson.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>

namespace quorvell {

QJsonObject ParametersJson(const DeviceParameters& p) {
    QJsonArray channels;
    for (const ChannelParameters& ch : p.channels) {
        QJsonArray bands;
        for (int b = 1; b <= kBandCount; ++b) {
            const EqBand& band = ch.bands[static_cast<std::size_t>(b)];
            bands.append(QJsonObject{{"freq", band.freq}, {"gain", band.gain}, {"q", band.q}});
        }
        auto filter = [](const CrossoverFilter& f) {
            return QJsonObject{{"freq", f.freq}, {"type", f.type}, {"q", f.q}};
        };
        channels.append(QJsonObject{
            {"bands", bands},
            {"hipass", filter(ch.hipass)},
            {"lopass", filter(ch.lopass)},
            {"level", ch.level},
            {"phase", ch.phase},
            {"limiter", QJsonObject{{"threshold", ch.limiter.threshold},
                                    {"ratio", ch.limiter.ratio},
                                    {"attack", ch.limiter.attack},
                                    {"release", ch.limiter.release}}},
        });
    }
    const std::string_view name = DeviceNameText(p);
    return QJsonObject{
        {"deviceName", QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))},
        {"mainLevel", p.mainLevel},
        {"channels", channels},
    };
}

double DisplayNumber(ParameterUnit unit, std::int32_t raw) {
    // Tenths are rounded so that 115 shows as -6.5, not -6.499999.
    const auto tenths = [](double v) { return std::round(v * 10.0) / 10.0; };
    switch (unit) {
        case ParameterUnit::GainDb:
            return tenths(raw * 0.1 - 18.0);
        case ParameterUnit::Q:
        case ParameterUnit::RatioN:
            return tenths(raw * 0.1);
        case ParameterUnit::LevelDb:
            return tenths(24.0 - raw * 0.5);
        case ParameterUnit::ThresholdDb:
            return -raw;
        default:
            return raw;
    }
}

QJsonValue PathValue(const ParameterPath& path, const DeviceParameters& params, bool raw) {
    if (path.unit == ParameterUnit::Name) {
        const std::string_view name = DeviceNameText(params);
        return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    const std::int32_t v = path.Value(params);
    return raw ? QJsonValue(v) : QJsonValue(DisplayNumber(path.unit, v));
}

QJsonObject PathValuesJson(const DeviceParameters& params, bool raw) {
    QJsonObject out;
    for (const ParameterPath& path : AllParameterPaths()) {
        out.insert(QString::fromStdString(path.text), PathValue(path, params, raw));
    }
    return out;
}

QJsonObject RecordValuesJson(const DeviceParameters& params, std::span<const Record> records) {
    QJsonObject out;
    for (const ParameterPath& path : AllParameterPaths()) {
        if (std::find(records.begin(), records.end(), path.record) != records.end()) {
            out.insert(QString::fromStdString(path.text), PathValue(path, params));
        }
    }
    return out;
}

}  // namespace quorvell
