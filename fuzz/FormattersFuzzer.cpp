// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary raw values to every display formatter and to the kind dispatch: each must
// give a short text for every int32, without undefined behaviour.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "DisplayFormats.h"
#include "ParameterPaths.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorvell;
    if (size < sizeof(std::int32_t)) {
        return 0;
    }
    std::int32_t raw = 0;
    std::memcpy(&raw, data, sizeof raw);
    // The next four bytes, when present, choose the kind; else every kind of the table.
    int kinds[] = {0, 4, 7, 8, 9, 10, 11, 42, 43, 44, 45, 46, 47, 48};
    if (size >= 2 * sizeof(std::int32_t)) {
        std::memcpy(&kinds[0], data + sizeof raw, sizeof kinds[0]);
    }
    for (const int kind : kinds) {
        if (FormatForKind(kind, raw).empty()) {
            __builtin_trap();
        }
    }
    const std::string texts[] = {FormatHz(raw),     FormatQ(raw),       FormatGain(raw),
                                 FormatVolume(raw), FormatPercent(raw), FormatThreshold(raw),
                                 FormatMs(raw),     FormatRatio(raw),   FormatDbu(raw),
                                 FormatDelay(raw)};
    for (const std::string& t : texts) {
        if (t.empty() || t.size() > 40) {
            __builtin_trap();  // a cut or empty text is a formatter fault
        }
    }
    // The parameter paths format the model's fields through the same formatters.
    DeviceParameters params{};
    for (const ParameterPath& path : AllParameterPaths()) {
        if (std::int32_t* field = path.Field(params)) {
            *field = raw;
        }
        (void)FormatParameter(path, params);
    }
    return 0;
}
