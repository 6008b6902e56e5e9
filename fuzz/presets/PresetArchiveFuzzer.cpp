// SPDX-License-Identifier: GPL-3.0-or-later
// A preset backup archive from anywhere: every member header, the manifest and every image.
#include <cstddef>
#include <cstdint>
#include <string>

#include "PresetArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const auto presets = quorvell::ReadPresetArchive(
        QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)), &error);
    if (presets) {
        for (const auto& p : *presets) {
            if (p.image.size() != 768 || p.id < 1 || p.id > 24) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
