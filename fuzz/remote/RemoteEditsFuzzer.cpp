// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary PATCH bodies to the request-to-edit mapping: a refused body must yield no
// edit; an accepted one must leave every field in range and touch only the paths it names.
#include <QByteArray>
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "RemoteEdits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvell;
    if (size == 0) {
        return 0;
    }
    const bool raw = (data[0] & 1) != 0;
    const QByteArray body(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));
    const EditRequest request = ParseEditRequest(body, raw);
    if (request.error && !request.edits.empty()) {
        __builtin_trap();  // a refusal applies nothing
    }
    DeviceParameters params{};
    ResetDeviceParameters(params);
    const DeviceParameters before = params;
    const std::vector<Record> records = ApplyEdits(params, request.edits);
    if (records.size() > request.edits.size()) {
        __builtin_trap();
    }
    for (const ParameterPath& path : AllParameterPaths()) {
        if (path.unit == ParameterUnit::Name) {
            continue;
        }
        const bool named =
            std::any_of(request.edits.begin(), request.edits.end(),
                        [&](const RemoteEdit& e) { return e.path.text == path.text; });
        const std::int32_t v = path.Value(params);
        if (named && (v < path.minRaw || v > path.maxRaw)) {
            __builtin_trap();
        }
        if (!named && v != path.Value(before)) {
            __builtin_trap();
        }
    }
    return 0;
}
