// SPDX-License-Identifier: GPL-3.0-or-later
// `frame` and `format`: frames and display texts computed offline from the core.
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "CliCommand.h"
#include "DisplayFormats.h"
#include "Frames.h"
#include "ParameterPaths.h"

namespace quorvell::cli {
namespace {

constexpr std::string_view kFrameHelp =
    "usage: quorvell-cli frame NAME [ARGS] [PARAM=VALUE ...] [--raw]\n"
    "\n"
    "Prints the command frame as upper-case hex bytes. The state starts as the start-up\n"
    "defaults; each PARAM=VALUE changes it first.\n"
    "\n"
    "NAME: eqband ch1|ch2 BAND, hipass ch1|ch2, lopass ch1|ch2, level main|ch1|ch2,\n"
    "      limiter ch1|ch2, phase ch1|ch2, name, connect ADDRESS, reset, discover ADDRESS\n"
    "      (connect and discover carry the global --port as their reply port)\n"
    "PARAM: chN.bandB.freq|gain|q, chN.hipass.freq|type|q, chN.lopass.freq|type|q,\n"
    "       chN.level, chN.phase, chN.limiter.threshold|ratio|attack|release, main.level,\n"
    "       name (N is 1 or 2, B is 1..7)\n"
    "VALUE: in the units the panel shows (Hz, dB, Q, ms, ratio N of 1:N, type label,\n"
    "       normal|inverted); with --raw every value is the raw integer.\n";

constexpr std::string_view kFormatHelp =
    "usage: quorvell-cli format KIND RAW\n"
    "\n"
    "Prints the text a value stepper of KIND shows for the raw value RAW. KIND is a code or\n"
    "a name: Frequency (4), QFactor (7), FrequencyBelowPartner (8), FrequencyAbovePartner\n"
    "(9), EqGain (10), Volume (11), LevelDbu (42), DelayTime (43), Percent (44),\n"
    "Threshold (45), AttackTime (46), ReleaseTime (47), Ratio (48). Other codes print NULL.\n";

std::optional<int> ParseChannel(std::string_view text) {
    if (text == "ch1")
        return 0;
    if (text == "ch2")
        return 1;
    return std::nullopt;
}

std::optional<int> ParseInt(std::string_view text) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(std::string(text), &used);
        if (used == text.size()) {
            return v;
        }
    } catch (...) {
    }
    return std::nullopt;
}

// Takes the frame name's positional arguments; returns the frame or an exit status.
struct FrameOrExit {
    std::optional<Frame> frame;
    int exit = kExitOk;
};

// `port` is the reply port connect and discover carry (the global --port).
FrameOrExit Build(const std::string& name, const std::vector<std::string>& pos,
                  const DeviceParameters& p, std::uint16_t port) {
    const auto need = [&](std::size_t n, std::string_view usage) -> bool {
        if (pos.size() != n) {
            UsageError("frame " + name + ": usage: frame " + std::string(usage));
            return false;
        }
        return true;
    };
    const auto channel = [&](std::string_view usage) -> std::optional<int> {
        if (!need(1, usage))
            return std::nullopt;
        auto ch = ParseChannel(pos[0]);
        if (!ch)
            UsageError("frame " + name + ": '" + pos[0] + "' is not ch1 or ch2");
        return ch;
    };
    const auto noFrame = [&](std::string_view why) {
        UsageError("frame " + name + ": " + std::string(why));
        return FrameOrExit{std::nullopt, kExitUsage};
    };
    const FrameOrExit usage{std::nullopt, kExitUsage};

    if (name == "eqband") {
        if (!need(2, "eqband ch1|ch2 BAND"))
            return usage;
        const auto ch = ParseChannel(pos[0]);
        const auto band = ParseInt(pos[1]);
        if (!ch)
            return noFrame("'" + pos[0] + "' is not ch1 or ch2");
        if (!band || *band < 1 || *band > kBandCount) {
            return noFrame("band '" + pos[1] + "' is out of range; allowed 1..7");
        }
        auto f = BuildEqBand(p, *ch, *band);
        if (!f)
            return noFrame("the band's settings give no sendable filter");
        return {f};
    }
    if (name == "hipass" || name == "lopass") {
        const auto ch = channel(name + " ch1|ch2");
        if (!ch)
            return usage;
        auto f = name == "hipass" ? BuildHipass(p, *ch) : BuildLopass(p, *ch);
        if (!f)
            return noFrame(
                "no frame: the filter type is outside 0..4 or its design cannot be sent");
        return {f};
    }
    if (name == "level") {
        if (!need(1, "level main|ch1|ch2"))
            return usage;
        int target = pos[0] == "main" ? 0 : pos[0] == "ch1" ? 1 : pos[0] == "ch2" ? 2 : -1;
        if (target < 0)
            return noFrame("'" + pos[0] + "' is not main, ch1 or ch2");
        return {BuildLevel(p, target)};
    }
    if (name == "limiter") {
        const auto ch = channel("limiter ch1|ch2");
        if (!ch)
            return usage;
        auto f = BuildLimiter(p, *ch, ComputeEulerE());
        if (!f)
            return noFrame("the limiter's settings give no sendable words");
        return {f};
    }
    if (name == "phase") {
        const auto ch = channel("phase ch1|ch2");
        if (!ch)
            return usage;
        return {BuildPhase(p, *ch)};
    }
    if (name == "name") {
        if (!need(0, "name"))
            return usage;
        return {BuildSetName(p)};
    }
    if (name == "reset") {
        if (!need(0, "reset"))
            return usage;
        return {BuildReset()};
    }
    if (name == "connect" || name == "discover") {
        if (!need(1, name + " ADDRESS"))
            return usage;
        const auto ip = ParseIpv4(pos[0]);
        if (!ip)
            return noFrame("'" + pos[0] + "' is not a dotted IPv4 address");
        return {name == "connect" ? BuildConnect(port, *ip) : BuildDiscover(port, *ip)};
    }
    UsageError("frame: unknown frame name '" + name +
               "' (eqband, hipass, lopass, level, limiter, phase, name, connect, reset, discover)");
    return usage;
}

int RunFrame(const GlobalOptions& g, Args argsIn) {
    std::vector<std::string> args(argsIn.begin(), argsIn.end());
    const bool raw = TakeFlag(args, "--raw");
    if (args.empty()) {
        return UsageError("frame: missing NAME (see quorvell-cli frame --help)");
    }
    DeviceParameters params{};
    ResetDeviceParameters(params);
    std::vector<std::string> positional;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i].find('=') == std::string::npos) {
            positional.push_back(args[i]);
            continue;
        }
        const SetResult r = SetParameter(params, args[i], raw);
        if (!r.record) {
            return UsageError(r.error);
        }
    }
    const FrameOrExit built =
        Build(args[0], positional, params, static_cast<std::uint16_t>(g.port));
    if (!built.frame) {
        return built.exit;
    }
    std::cout << ToHex(built.frame->Bytes()) << '\n';
    return kExitOk;
}

int RunFormat(const GlobalOptions&, Args args) {
    if (args.size() != 2) {
        return UsageError("format: usage: format KIND RAW");
    }
    const auto kind = StepperKindFromText(args[0]);
    if (!kind) {
        return UsageError("format: unknown kind '" + args[0] + "' (a code or a kind name)");
    }
    const auto raw = ParseInt(args[1]);
    if (!raw) {
        return UsageError("format: '" + args[1] + "' is not a whole raw value");
    }
    std::cout << FormatForKind(*kind, *raw) << '\n';
    return kExitOk;
}

}  // namespace

std::vector<Command> FrameCommands() {
    return {
        {"frame", "print a command frame as hex", kFrameHelp, RunFrame},
        {"format", "print the display text of a raw value", kFormatHelp, RunFormat},
    };
}

}  // namespace quorvell::cli
