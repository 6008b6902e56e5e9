// SPDX-License-Identifier: GPL-3.0-or-later
// Name checks shared by the panel, the CLI and the remote API.
#include "NameRules.h"

#include <cstdint>
#include <cstdio>

#include "DeviceParameters.h"

namespace quorvell {
namespace {

std::string CodePointText(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

bool IsControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

bool IsDirectionControl(char32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool IsNoncharacter(char32_t c) {
    return (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFE) == 0xFFFE;
}

struct Decoded {
    std::size_t characters = 0;
    std::optional<std::string> error;
};

// Walks the UTF-8 text once: counts code points and stops at the first one the rule refuses.
Decoded Decode(std::string_view text) {
    Decoded out;
    const auto refuse = [&](std::string why) {
        out.error = "The name " + std::move(why) + ".";
        return out;
    };
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<std::uint8_t>(text[i]);
        std::size_t length = 0;
        char32_t c = 0;
        char32_t smallest = 0;
        if (lead < 0x80) {
            length = 1;
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
            smallest = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
            smallest = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
            smallest = 0x10000;
        } else {
            return refuse("is not valid UTF-8 text");
        }
        if (text.size() - i < length) {
            return refuse("is not valid UTF-8 text");
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<std::uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return refuse("is not valid UTF-8 text");
            }
            c = (c << 6) | (next & 0x3F);
        }
        if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            return refuse("is not valid UTF-8 text");
        }
        if (IsControl(c)) {
            return refuse("holds the control character " + CodePointText(c));
        }
        if (IsDirectionControl(c)) {
            return refuse("holds the text direction control " + CodePointText(c));
        }
        if (IsNoncharacter(c)) {
            return refuse("holds the noncharacter " + CodePointText(c));
        }
        ++out.characters;
        i += length;
    }
    return out;
}

}  // namespace

std::optional<std::string> CheckPresetName(std::string_view utf8) {
    Decoded d = Decode(utf8);
    if (d.error) {
        return d.error;
    }
    if (d.characters > kPresetNameMaxCharacters) {
        return std::string(kTextPresetNameTooLong);
    }
    return std::nullopt;
}

std::optional<std::string> CheckDeviceName(std::string_view utf8) {
    Decoded d = Decode(utf8);
    if (d.error) {
        return d.error;
    }
    if (utf8.size() > kDeviceNameMax) {
        return std::string(kTextDeviceNameTooLong);
    }
    return std::nullopt;
}

}  // namespace quorvell
