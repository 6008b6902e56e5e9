// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a frequency response measurement exported as text: one point per line, frequency in
// Hz and level in dB, an optional phase column that is ignored.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvell {

// Files larger than this are refused before they are read.
inline constexpr std::size_t kMaxMeasurementBytes = 4u << 20;

// Points with strictly ascending, positive frequencies.
struct Measurement {
    std::vector<double> hz;
    std::vector<double> db;
};

struct MeasurementRead {
    std::optional<Measurement> curve;  // empty when the file is not usable as a whole
    std::vector<std::string> errors;   // "line N: why", one per problem
};

// Parses the whole text. Accepted: a UTF-8 byte-order mark, CRLF line ends, comment lines
// starting with '*' or '#', header lines before the first point (lines that do not start
// with a number), fields separated by whitespace, commas or semicolons. A decimal comma is
// read where no other reading exists: in semicolon-separated lines ("20,5;75,3"), and in
// whitespace-separated lines that would otherwise have too many fields ("20,5 75,3"); a line
// that reads both ways follows the file's other lines, or is refused as ambiguous. A
// malformed point, a frequency that does not rise, a level beyond +-1000 dB or a text over
// kMaxMeasurementBytes is an error, and then nothing is usable.
MeasurementRead ParseMeasurementText(std::string_view text);

// Reads and parses a file; a file over kMaxMeasurementBytes is refused unread.
MeasurementRead ReadMeasurementFile(const std::string& path);

// A number with '.' or, when `decimalComma`, ',' as its decimal separator; an optional
// leading '+'. Nothing for anything else, infinities and NaN included.
std::optional<double> ParseDecimal(std::string_view text, bool decimalComma);

}  // namespace quorvell
