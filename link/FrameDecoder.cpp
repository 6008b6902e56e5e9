// SPDX-License-Identifier: GPL-3.0-or-later
// Table-driven decoding and checking of command datagrams, as a processor receives them.
#include "FrameDecoder.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "BiquadDesign.h"
#include "Frames.h"

namespace quorvell {
namespace {

// What a field is for: the structural roles decide whether a frame can be applied at all,
// the others only whether it is valid.
enum class Role { Channel, Band, Target, Value, Word, Name, Port, Address };

struct FieldSpec {
    std::string_view name;
    std::size_t offset;
    std::size_t width;
    Role role;
    std::int32_t min = 0;
    std::int32_t max = 0;
};

// How the coefficient words of a frame are designed and compared.
enum class WordCheck { None, EqBand, Hipass, Lopass, Limiter };

struct Layout {
    CommandCode code;
    std::string_view name;
    std::size_t size;
    std::span<const FieldSpec> fields;
    WordCheck words;
};

constexpr FieldSpec Word(std::string_view name, std::size_t offset) {
    return {name, offset, 4, Role::Word};
}

constexpr std::array kEqBandFields = {
    FieldSpec{"channel", 4, 1, Role::Channel, 0, 1},
    FieldSpec{"band", 5, 1, Role::Band, 1, kBandCount},
    FieldSpec{"freq", 6, 2, Role::Value, 20, 20000},
    FieldSpec{"q", 8, 2, Role::Value, 1, 1000},
    FieldSpec{"gain", 10, 2, Role::Value, 0, 360},
    Word("b0", 12),
    Word("b1", 16),
    Word("b2", 20),
    Word("a1", 24),
    Word("a2", 28),
};

// A crossover q of 0 is what the model holds until the operator first touches the Q
// control (the reset does not set it), so the panel legitimately sends it; it is designed
// as q 1.
constexpr std::array kCrossoverFields = {
    FieldSpec{"channel", 4, 1, Role::Channel, 0, 1},
    FieldSpec{"freq", 5, 2, Role::Value, 20, 20000},
    Word("b0", 7),
    Word("b1", 11),
    Word("b2", 15),
    Word("a1", 19),
    Word("a2", 23),
    FieldSpec{"type", 27, 1, Role::Value, 0, kFilterTypeCount - 1},
    FieldSpec{"q", 28, 2, Role::Value, 0, 1000},
};

constexpr std::array kLevelFields = {
    FieldSpec{"target", 4, 1, Role::Target, 0, 2},
    FieldSpec{"level", 5, 1, Role::Value, 0, 254},
};

constexpr std::array kLimiterFields = {
    FieldSpec{"channel", 4, 1, Role::Channel, 0, 1},
    FieldSpec{"ratio", 5, 2, Role::Value, 10, 2000},
    FieldSpec{"threshold", 7, 1, Role::Value, 0, 60},
    FieldSpec{"attack", 8, 1, Role::Value, 1, 100},
    FieldSpec{"release", 9, 1, Role::Value, 1, 100},
    Word("k0", 10),
    Word("1-k0", 14),
    Word("ka", 18),
    Word("1-ka", 22),
    Word("kr", 26),
    Word("1-kr", 30),
    Word("t", 34),
    Word("s", 38),
    Word("g", 42),
};

constexpr std::array kSetNameFields = {
    FieldSpec{"name", 4, kDeviceNameMax, Role::Name},
};

constexpr std::array kAddressFields = {
    FieldSpec{"port", 4, 2, Role::Port},
    FieldSpec{"address", 6, 4, Role::Address},
};

constexpr std::array kPhaseFields = {
    FieldSpec{"channel", 4, 1, Role::Channel, 0, 1},
    FieldSpec{"phase", 5, 1, Role::Value, 0, 1},
};

const std::array kLayouts = {
    Layout{CommandCode::EqBand, "CmdEqBand", kEqBandFrameSize, kEqBandFields, WordCheck::EqBand},
    Layout{CommandCode::Hipass, "CmdHipass", kCrossoverFrameSize, kCrossoverFields,
           WordCheck::Hipass},
    Layout{CommandCode::Lopass, "CmdLopass", kCrossoverFrameSize, kCrossoverFields,
           WordCheck::Lopass},
    Layout{CommandCode::Level, "CmdLevel", kLevelFrameSize, kLevelFields, WordCheck::None},
    Layout{CommandCode::Limiter, "CmdLimiter", kLimiterFrameSize, kLimiterFields,
           WordCheck::Limiter},
    Layout{CommandCode::SetName, "CmdSetName", kSetNameFrameSize, kSetNameFields, WordCheck::None},
    Layout{CommandCode::Connect, "CmdConnect", kConnectFrameSize, kAddressFields, WordCheck::None},
    Layout{CommandCode::Reset, "CmdReset", kResetFrameSize, {}, WordCheck::None},
    Layout{CommandCode::Phase, "CmdPhase", kPhaseFrameSize, kPhaseFields, WordCheck::None},
    Layout{CommandCode::Discover, "CmdDiscover", kDiscoverFrameSize, kAddressFields,
           WordCheck::None},
};

std::string Hex8(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", v);
    return buf;
}

std::string Hex2(std::uint32_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
    return buf;
}

std::string NameText(std::span<const std::uint8_t> bytes) {
    std::string out;
    for (std::uint8_t c : bytes) {
        if (c == 0) {
            break;
        }
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

void AddReason(DecodedCommand& d, const std::string& text) {
    if (!d.reason.empty()) {
        d.reason += "; ";
    }
    d.reason += text;
}

std::uint32_t ReadBigEndian(std::span<const std::uint8_t> bytes, std::size_t at,
                            std::size_t width) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
        v = (v << 8) | bytes[at + i];
    }
    return v;
}

// Reads the fields whose bytes were all received and checks their ranges.
void ReadFields(DecodedCommand& d, const Layout& layout, std::span<const std::uint8_t> bytes) {
    for (const FieldSpec& entry : layout.fields) {
        if (entry.offset + entry.width > bytes.size()) {
            continue;
        }
        DecodedField field;
        field.name = std::string(entry.name);
        if (entry.role == Role::Name) {
            field.isText = true;
            field.text = NameText(bytes.subspan(entry.offset, entry.width));
            d.nameBytes.emplace();
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(entry.offset), kDeviceNameMax,
                        d.nameBytes->begin());
            d.fields.push_back(std::move(field));
            continue;
        }
        const std::uint32_t raw = ReadBigEndian(bytes, entry.offset, entry.width);
        field.value = raw;
        field.isWord = entry.role == Role::Word;
        if (entry.role == Role::Address) {
            field.isText = true;
            field.text = FormatIpv4(raw);
        }
        d.fields.push_back(std::move(field));
        const bool ranged = entry.role == Role::Channel || entry.role == Role::Band ||
                            entry.role == Role::Target || entry.role == Role::Value;
        const auto value = static_cast<std::int64_t>(raw);
        if (ranged && (value < entry.min || value > entry.max)) {
            AddReason(d, std::string(entry.name) + " " + std::to_string(value) + " outside " +
                             std::to_string(entry.min) + ".." + std::to_string(entry.max));
            if (entry.role != Role::Value) {
                d.wellFormed = false;
            }
        }
    }
}

std::int32_t FieldOrZero(const DecodedCommand& d, std::string_view name) {
    return static_cast<std::int32_t>(d.Field(name).value_or(0));
}

// Compares each received word with the word designed from the frame's own settings.
void CheckWords(DecodedCommand& d, std::span<const std::string_view> names,
                std::span<const double> expected, bool mask28) {
    for (std::size_t i = 0; i < names.size(); ++i) {
        const double v = expected[i];
        if (!IsFixed523(v)) {
            AddReason(d, std::string(names[i]) + ": no sendable design for these settings");
            continue;
        }
        const std::uint32_t want = ToFixed523(v, mask28);
        const auto got = static_cast<std::uint32_t>(d.Field(names[i]).value_or(0));
        if (want != got) {
            AddReason(d, std::string(names[i]) + ": expected " + Hex8(want) + ", got " + Hex8(got));
        }
    }
}

void CheckCoefficients(DecodedCommand& d, WordCheck check) {
    static constexpr std::array<std::string_view, 5> kBiquadNames = {"b0", "b1", "b2", "a1", "a2"};
    auto checkBiquad = [&](const Biquad& c, bool mask28) {
        const std::array<double, 5> words = {c.b[0], c.b[1], c.b[2], c.a[1], c.a[2]};
        CheckWords(d, kBiquadNames, words, mask28);
    };
    switch (check) {
        case WordCheck::None:
            return;
        case WordCheck::EqBand:
            checkBiquad(
                BandDesign(FieldOrZero(d, "freq"), FieldOrZero(d, "gain"), FieldOrZero(d, "q")),
                true);
            return;
        case WordCheck::Hipass:
        case WordCheck::Lopass: {
            const bool hipass = check == WordCheck::Hipass;
            const auto c = CrossoverDesign(hipass, FieldOrZero(d, "freq"), FieldOrZero(d, "type"),
                                           FieldOrZero(d, "q"));
            if (!c) {
                AddReason(d, "coefficients: no design for type " +
                                 std::to_string(FieldOrZero(d, "type")));
                return;
            }
            checkBiquad(*c, !hipass);
            return;
        }
        case WordCheck::Limiter: {
            static const double kEulerE = ComputeEulerE();
            static constexpr std::array<std::string_view, 9> kNames = {
                "k0", "1-k0", "ka", "1-ka", "kr", "1-kr", "t", "s", "g"};
            LimiterSettings lim;
            lim.ratio = FieldOrZero(d, "ratio");
            lim.threshold = FieldOrZero(d, "threshold");
            lim.attack = FieldOrZero(d, "attack");
            lim.release = FieldOrZero(d, "release");
            const auto words = LimiterWords(lim, kEulerE);
            CheckWords(d, kNames, words, false);
            return;
        }
    }
}

}  // namespace

std::optional<std::int64_t> DecodedCommand::Field(std::string_view name) const {
    for (const auto& f : fields) {
        if (f.name == name) {
            return f.value;
        }
    }
    return std::nullopt;
}

DecodedCommand DecodeCommand(std::span<const std::uint8_t> bytes) {
    DecodedCommand d;
    if (bytes.size() < 4) {
        AddReason(d, std::to_string(bytes.size()) + " bytes: too short for a command");
        return d;
    }
    d.code = bytes[3];
    if (bytes[0] != kFrameSync0 || bytes[1] != kFrameSync1) {
        AddReason(d, "no AA 55 header");
        return d;
    }
    const auto* layout = std::ranges::find_if(
        kLayouts, [&](const Layout& l) { return static_cast<std::uint8_t>(l.code) == *d.code; });
    if (layout == kLayouts.end()) {
        AddReason(d, "unknown command code " + Hex2(*d.code));
        return d;
    }
    d.commandName = layout->name;
    d.wellFormed = true;
    if (bytes.size() != layout->size) {
        AddReason(
            d, std::to_string(bytes.size()) + " bytes, expected " + std::to_string(layout->size));
        d.wellFormed = false;
    }
    if (const std::size_t want = layout->size - 4; bytes[2] != want) {
        AddReason(d, "length byte " + Hex2(bytes[2]) + ", expected " + Hex2(want));
        d.wellFormed = false;
    }
    if (bytes.size() >= layout->size && bytes[layout->size - 1] != kFrameTrailer) {
        AddReason(d, "trailer " + Hex2(bytes[layout->size - 1]) + ", expected 0xA5");
        d.wellFormed = false;
    }
    ReadFields(d, *layout, bytes);
    if (d.wellFormed) {
        CheckCoefficients(d, layout->words);
    }
    d.valid = d.wellFormed && d.reason.empty();
    return d;
}

bool ApplyCommand(DeviceParameters& params, const DecodedCommand& d) {
    if (!d.wellFormed || !d.code) {
        return false;
    }
    auto field = [&](std::string_view name) { return FieldOrZero(d, name); };
    const int channel = field("channel");
    switch (static_cast<CommandCode>(*d.code)) {
        case CommandCode::EqBand: {
            EqBand& band = params.channels[channel].bands[field("band")];
            band.freq = field("freq");
            band.q = field("q");
            band.gain = field("gain");
            return true;
        }
        case CommandCode::Hipass:
        case CommandCode::Lopass: {
            auto& ch = params.channels[channel];
            CrossoverFilter& x =
                static_cast<CommandCode>(*d.code) == CommandCode::Hipass ? ch.hipass : ch.lopass;
            x.freq = field("freq");
            x.type = field("type");
            x.q = field("q");
            return true;
        }
        case CommandCode::Level: {
            const int target = field("target");
            (target == 0 ? params.mainLevel : params.channels[target - 1].level) = field("level");
            return true;
        }
        case CommandCode::Limiter: {
            LimiterSettings& lim = params.channels[channel].limiter;
            lim.ratio = field("ratio");
            lim.threshold = field("threshold");
            lim.attack = field("attack");
            lim.release = field("release");
            return true;
        }
        case CommandCode::Phase:
            params.channels[channel].phase = field("phase");
            return true;
        case CommandCode::SetName:
            params.deviceName.fill(0);
            std::ranges::copy(*d.nameBytes, params.deviceName.begin());
            return true;
        case CommandCode::Connect:
        case CommandCode::Reset:
        case CommandCode::Discover:
            return false;
    }
    return false;
}

std::string DescribeCommand(const DecodedCommand& d) {
    std::string out;
    if (!d.commandName.empty()) {
        out = std::string(d.commandName);
    } else if (d.code) {
        out = "code " + Hex2(*d.code);
    } else {
        out = "datagram";
    }
    for (const auto& f : d.fields) {
        out += ' ';
        out += f.name;
        out += '=';
        if (f.isText) {
            out += f.name == "name" ? "\"" + f.text + "\"" : f.text;
        } else if (f.isWord) {
            out += Hex8(static_cast<std::uint32_t>(f.value));
        } else {
            out += std::to_string(f.value);
        }
    }
    if (!d.valid) {
        out += " [invalid: " + d.reason + "]";
    }
    return out;
}

}  // namespace quorvell
