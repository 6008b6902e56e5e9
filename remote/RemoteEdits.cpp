// SPDX-License-Identifier: GPL-3.0-or-later
// Checks a PATCH body against the parameter paths before any of it reaches the model.
#include "RemoteEdits.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "NameRules.h"
#include "ParameterJson.h"

namespace quorvell {
namespace {

// Shortest text that reads back as `v`, so that -6.5 is parsed as "-6.5".
std::string NumberText(double v) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc{} ? std::string(buf, end) : std::string("nan");
}

EditError RangeError(const ParameterPath& path, const std::string& why, bool raw) {
    EditError e{why, path.text, std::nullopt, std::nullopt};
    if (path.unit == ParameterUnit::Name) {
        e.min = 0;
        e.max = static_cast<double>(kDeviceNameMax);
        return e;
    }
    const double a = raw ? path.minRaw : DisplayNumber(path.unit, path.minRaw);
    const double b = raw ? path.maxRaw : DisplayNumber(path.unit, path.maxRaw);
    e.min = std::min(a, b);
    e.max = std::max(a, b);
    return e;
}

}  // namespace

EditRequest ParseEditRequest(const QByteArray& body, bool raw) {
    EditRequest out;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        out.error = EditError{"the body must be one JSON object of parameter paths and values",
                              {},
                              std::nullopt,
                              std::nullopt};
        return out;
    }
    const QJsonObject object = doc.object();
    if (object.isEmpty()) {
        out.error = EditError{"no parameter given", {}, std::nullopt, std::nullopt};
        return out;
    }
    std::vector<RemoteEdit> edits;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string key = it.key().toStdString();
        const auto path = FindParameterPath(key);
        if (!path || path->text != key) {
            out.error =
                EditError{key + ": unknown parameter path", key, std::nullopt, std::nullopt};
            return out;
        }
        const QJsonValue value = it.value();
        RemoteEdit edit{*path, 0, {}};
        if (path->unit == ParameterUnit::Name) {
            if (!value.isString()) {
                out.error = RangeError(*path, "name: the value must be a text", raw);
                return out;
            }
            edit.name = value.toString().toStdString();
            if (edit.name.size() > kDeviceNameMax) {
                out.error = RangeError(*path, "Name is too long.", raw);
                return out;
            }
            if (const auto refusal = CheckDeviceName(edit.name)) {
                out.error = RangeError(*path, "name: " + *refusal, raw);
                return out;
            }
        } else {
            std::string text;
            if (value.isDouble()) {
                text = NumberText(value.toDouble());
            } else if (value.isString()) {
                text = value.toString().toStdString();
            } else {
                out.error = RangeError(*path, key + ": the value must be a number", raw);
                return out;
            }
            const RawOrError r = ParseParameterValue(*path, text, raw);
            if (!r.raw) {
                out.error = RangeError(*path, r.error, raw);
                return out;
            }
            edit.raw = *r.raw;
        }
        edits.push_back(std::move(edit));
    }
    out.edits = std::move(edits);
    return out;
}

std::vector<Record> ApplyEdits(DeviceParameters& params, const std::vector<RemoteEdit>& edits) {
    std::vector<Record> records;
    for (const RemoteEdit& e : edits) {
        if (e.path.unit == ParameterUnit::Name) {
            params.deviceName.fill(0);
            std::memcpy(params.deviceName.data(), e.name.data(),
                        std::min(e.name.size(), kDeviceNameMax));
        } else if (std::int32_t* field = e.path.Field(params)) {
            *field = std::clamp(e.raw, e.path.minRaw, e.path.maxRaw);
        }
        if (std::find(records.begin(), records.end(), e.path.record) == records.end()) {
            records.push_back(e.path.record);
        }
    }
    return records;
}

}  // namespace quorvell
