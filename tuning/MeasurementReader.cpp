// SPDX-License-Identifier: GPL-3.0-or-later
// Measurement text reading: lines of "frequency level [phase]" in the common export layouts.
#include "MeasurementReader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quorvell {
namespace {

constexpr std::size_t kMaxErrors = 50;
constexpr double kMaxLevelDb = 1000.0;  // beyond any measurement; keeps sums finite

bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsSpace(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// A point line starts like a number; anything else before the first point is a header.
bool StartsLikeNumber(std::string_view s) {
    std::size_t i = (s.front() == '+' || s.front() == '-') ? 1 : 0;
    return i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || s[i] == '.');
}

struct Fields {
    std::vector<std::string_view> text;
    bool decimalComma = false;
    bool ok = true;
    bool ambiguous = false;  // commas that could be separators or decimal commas
};

Fields SplitSemicolons(std::string_view line) {
    Fields f;
    f.decimalComma = true;
    while (true) {
        const std::size_t at = line.find(';');
        f.text.push_back(Trim(line.substr(0, at)));
        if (at == std::string_view::npos) {
            break;
        }
        line.remove_prefix(at + 1);
    }
    if (f.text.size() > 1 && f.text.back().empty()) {
        f.text.pop_back();  // a trailing separator
    }
    return f;
}

// Whitespace and commas separate fields; between two fields at most one comma.
Fields SplitPlain(std::string_view line) {
    Fields f;
    std::size_t i = 0;
    int commas = 0;
    while (i < line.size()) {
        if (line[i] == ',' || IsSpace(line[i])) {
            commas += line[i] == ',' ? 1 : 0;
            ++i;
            continue;
        }
        if (commas > (f.text.empty() ? 0 : 1)) {
            f.ok = false;
        }
        commas = 0;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ',' && !IsSpace(line[i])) {
            ++i;
        }
        f.text.push_back(line.substr(start, i - start));
    }
    if (commas > 1) {
        f.ok = false;
    }
    return f;
}

// Whitespace-separated fields with decimal commas, when the line reads that way: two or three
// fields, each with at most one comma, inside the number and never beside a point.
Fields SplitDecimalCommas(std::string_view line) {
    Fields f;
    f.decimalComma = true;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsSpace(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !IsSpace(line[i])) {
            ++i;
        }
        if (i > start) {
            f.text.push_back(line.substr(start, i - start));
        }
    }
    f.ok = f.text.size() >= 2 && f.text.size() <= 3;
    for (std::string_view t : f.text) {
        const std::size_t c = t.find(',');
        if (c != std::string_view::npos &&
            (c == 0 || c + 1 == t.size() || t.find(',', c + 1) != std::string_view::npos ||
             t.find('.') != std::string_view::npos)) {
            f.ok = false;
        }
    }
    return f;
}

// How earlier lines of the file used commas; it settles a line that reads both ways.
struct CommaUse {
    bool decimal = false;
    bool separator = false;
};

// A comma inside a whitespace-separated field is a decimal comma only when reading it as a
// separator gives no valid point ("20,5 75,3" would have four fields). When both readings
// are points ("40 1,5": 40 Hz 1 dB phase 5, or 40 Hz 1.5 dB) the file's other lines decide;
// without them, or when they used commas both ways, the line is refused.
Fields SplitFields(std::string_view line, CommaUse& use) {
    if (line.find(';') != std::string_view::npos) {
        use.decimal = use.decimal || line.find(',') != std::string_view::npos;
        return SplitSemicolons(line);
    }
    Fields plain = SplitPlain(line);
    const bool hasComma = line.find(',') != std::string_view::npos;
    Fields decimal = SplitDecimalCommas(line);
    bool innerComma = false;
    for (std::string_view t : decimal.text) {
        const std::size_t c = t.find(',');
        innerComma = innerComma || (c != std::string_view::npos && c > 0 && c + 1 < t.size());
    }
    if (!innerComma || decimal.text.size() < 2 || !decimal.ok) {
        use.separator = use.separator || (hasComma && plain.ok);
        return plain;
    }
    if (plain.ok && plain.text.size() <= 3) {
        if (use.decimal != use.separator) {
            return use.decimal ? decimal : plain;
        }
        plain.ok = false;
        plain.ambiguous = true;
        return plain;
    }
    use.decimal = true;
    return decimal;
}

std::string Where(int line) {
    return "line " + std::to_string(line) + ": ";
}

// Bytes from the file as they may be shown on a terminal or a label: printable ASCII as it
// is, anything else (control bytes such as ESC included) as \xNN; at most 40 bytes.
std::string Printable(std::string_view text) {
    constexpr std::size_t kMaxShown = 40;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kMaxShown; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f && c != '\\') {
            out += static_cast<char>(c);
        } else {
            static constexpr char kHex[] = "0123456789abcdef";
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        }
    }
    return text.size() > kMaxShown ? out + "..." : out;
}

// Fields in double quotes ("20.00","86.0") read as the plain fields; a line with an odd
// number of quotes stays as it is and is refused as malformed.
std::string_view Unquoted(std::string_view line, std::string& buffer) {
    if (line.find('"') == std::string_view::npos ||
        std::count(line.begin(), line.end(), '"') % 2 != 0) {
        return line;
    }
    buffer.clear();
    for (char c : line) {
        if (c != '"') {
            buffer += c;
        }
    }
    return Trim(buffer);
}

}  // namespace

std::optional<double> ParseDecimal(std::string_view t, bool decimalComma) {
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
    }
    std::string buffer;
    if (decimalComma && t.find(',') != std::string_view::npos) {
        if (t.find('.') != std::string_view::npos) {
            return std::nullopt;  // "1.000,5": thousands separators are not read
        }
        buffer.assign(t);
        buffer[buffer.find(',')] = '.';
        t = buffer;
    }
    double v = 0;
    const auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc{} || ptr != t.data() + t.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

MeasurementRead ParseMeasurementText(std::string_view text) {
    MeasurementRead result;
    if (text.size() > kMaxMeasurementBytes) {
        result.errors.push_back("the file is larger than 4 MiB");
        return result;
    }
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    Measurement m;
    CommaUse commas;
    int lineNo = 0;
    const auto fail = [&](const std::string& why) {
        if (result.errors.size() < kMaxErrors) {
            result.errors.push_back(Where(lineNo) + why);
        }
    };
    while (!text.empty()) {
        ++lineNo;
        const std::size_t nl = text.find('\n');
        std::string unquoted;
        const std::string_view line = Unquoted(Trim(text.substr(0, nl)), unquoted);
        text.remove_prefix(nl == std::string_view::npos ? text.size() : nl + 1);
        if (line.empty() || line.front() == '*' || line.front() == '#') {
            continue;
        }
        if (!StartsLikeNumber(line)) {
            if (!m.hz.empty()) {
                fail("not a measurement point (expected frequency and level)");
            }
            continue;  // a header line
        }
        const Fields f = SplitFields(line, commas);
        if (f.ambiguous) {
            fail("ambiguous commas (separators or decimal commas?); use one separator");
            continue;
        }
        if (!f.ok || f.text.size() < 2 || f.text.size() > 3) {
            fail("malformed point (expected frequency, level and an optional phase)");
            continue;
        }
        std::optional<double> values[3];
        bool numbers = true;
        for (std::size_t i = 0; i < f.text.size(); ++i) {
            values[i] = ParseDecimal(f.text[i], f.decimalComma);
            if (!values[i]) {
                fail("malformed number '" + Printable(f.text[i]) + "'");
                numbers = false;
                break;
            }
        }
        if (!numbers) {
            continue;
        }
        const double hz = *values[0];
        if (hz <= 0.0) {
            fail("frequency must be above 0 Hz");
            continue;
        }
        if (!m.hz.empty() && hz <= m.hz.back()) {
            fail("frequency " + Printable(f.text[0]) +
                 " Hz does not rise above the previous point");
            continue;
        }
        if (std::abs(*values[1]) > kMaxLevelDb) {
            fail("level out of range (-1000..1000 dB)");
            continue;
        }
        m.hz.push_back(hz);
        m.db.push_back(*values[1]);
    }
    if (result.errors.empty() && m.hz.size() < 2) {
        result.errors.push_back(m.hz.empty() ? "no measurement points found"
                                             : "only one measurement point");
    }
    if (result.errors.empty()) {
        result.curve = std::move(m);
    }
    return result;
}

MeasurementRead ReadMeasurementFile(const std::string& path) {
    MeasurementRead result;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (!std::filesystem::exists(status)) {
        result.errors.push_back("cannot read the file: not found");
        return result;
    }
    if (std::filesystem::is_directory(status)) {
        result.errors.push_back("cannot read the file: it is a directory");
        return result;
    }
    const auto size = std::filesystem::file_size(path, ec);
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (ec || !in) {
        const int why = errno;
        result.errors.push_back("cannot read the file: " +
                                (why == EACCES || why == EPERM ? std::string("permission denied")
                                 : why != 0 ? std::generic_category().message(why)
                                 : ec       ? ec.message()
                                            : std::string("unknown error")));
        return result;
    }
    if (size > kMaxMeasurementBytes) {
        result.errors.push_back("the file is larger than 4 MiB");
        return result;
    }
    std::string text(kMaxMeasurementBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return ParseMeasurementText(text);
}

}  // namespace quorvell
