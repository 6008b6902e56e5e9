// SPDX-License-Identifier: GPL-3.0-or-later
// The one rule every front end applies to preset and device names before storing or sending.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quorvell {

inline constexpr std::size_t kPresetNameMaxCharacters = 8;  // code points, as the user sees them

inline constexpr char kTextPresetNameTooLong[] = "Channel name is too long.";
inline constexpr char kTextDeviceNameTooLong[] = "Name is too long.";

// Nothing when `utf8` is an acceptable name, else a message naming the rule it breaks. A name
// is valid UTF-8 (no overlong forms, no surrogates), holds no control character (C0, DEL, C1,
// line and paragraph separators), no direction mark, embedding, override or isolate (which
// could make one name read as another) and no noncharacter. An empty name is acceptable.
// Preset names hold at most kPresetNameMaxCharacters code points; device names at most
// kDeviceNameMax bytes, which is what the processor stores.
std::optional<std::string> CheckPresetName(std::string_view utf8);
std::optional<std::string> CheckDeviceName(std::string_view utf8);

}  // namespace quorvell
