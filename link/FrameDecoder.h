// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a received command datagram (any bytes) into named raw fields, checks it against the
// frame layouts, the controls' value ranges and its own coefficient design, and applies a
// well-formed one to a model. The processor simulator and the link's trace share it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "DeviceParameters.h"

namespace quorvell {

// One decoded field. Numbers are raw wire values (16-bit fields unsigned, coefficient words
// as the unsigned 32-bit word); the name of CmdSetName is text, with bytes outside printable
// ASCII written as \xNN.
struct DecodedField {
    std::string name;  // "channel", "freq", "b0", "name", ...
    std::int64_t value = 0;
    std::string text;  // only for text fields
    bool isText = false;
    bool isWord = false;  // a 32-bit coefficient word (rendered in hex)
};

struct DecodedCommand {
    std::optional<std::uint8_t> code;  // byte 3; nothing for fewer than 4 bytes
    std::string_view commandName;      // "CmdEqBand" .. "CmdDiscover"; empty when unknown
    std::vector<DecodedField> fields;  // only fields whose bytes were all received
    // The ten name bytes of CmdSetName as received (the "name" field is their text).
    std::optional<std::array<std::uint8_t, kDeviceNameMax>> nameBytes;

    // Structure: AA 55 header, known code, total length, length byte, trailer, and channel,
    // band or level target in range. Only a well-formed command is applied.
    bool wellFormed = false;
    // Well-formed, every value within its control's range and every coefficient word equal
    // to the one designed from the frame's own settings.
    bool valid = false;
    // Every problem found, separated by "; " (empty when valid).
    std::string reason;

    // The field of that name, or nothing.
    std::optional<std::int64_t> Field(std::string_view name) const;
};

// Decodes any bytes; never reads past the end of `bytes`.
DecodedCommand DecodeCommand(std::span<const std::uint8_t> bytes);

// Applies a well-formed settings command (EQ band, high-pass, low-pass, level, limiter,
// phase, set name) to the model: the raw values are stored as they came, coefficient words
// are not stored. Connect, reset and discover change nothing here. Returns false, changing
// nothing, for a command that is not well-formed or carries no settings.
bool ApplyCommand(DeviceParameters& params, const DecodedCommand& command);

// A short human text: "CmdLevel target=0 level=48", words as 8 hex digits, then
// " [invalid: reason]" when not valid.
std::string DescribeCommand(const DecodedCommand& command);

}  // namespace quorvell
