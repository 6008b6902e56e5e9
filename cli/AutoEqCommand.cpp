// SPDX-License-Identifier: GPL-3.0-or-later
// `auto-eq`: fits a channel's seven bands to a measurement and prints or sends them.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "AutoEqFit.h"
#include "CliCommand.h"
#include "LinkSession.h"
#include "ProcessorEditor.h"

namespace quorvell::cli {
namespace {

constexpr std::string_view kAutoEqHelp =
    "usage: quorvell-cli auto-eq MEASUREMENT --channel 1|2 [--target FILE | --tilt DB]\n"
    "         [--range LO:HI] [--max-boost DB] [--max-cut DB] [--q-range LO:HI]\n"
    "         [--smooth N] [--json] [--device IP] [--retry S] [--no-verify]\n"
    "\n"
    "Fits up to seven peaking bands so that the measurement through the channel comes as\n"
    "close as it can to the target, on the processor's own steps (1 Hz, 0.1 dB, Q 0.1) and\n"
    "with the coefficients it will run. The channel's crossovers are taken as intended: the\n"
    "bands correct only where they pass (loss under 6 dB, weighted by their level near the\n"
    "corners) and boost by at most 0.5 dB where they block. Dips narrower than 1/3 octave\n"
    "and deeper than 6 dB are nulls no EQ fills: they are left out and boosted by at most\n"
    "1 dB. Crossovers, levels and the other channel are not changed. Bands that would\n"
    "improve the error by less than 0.1 dB are left flat.\n"
    "\n"
    "MEASUREMENT  text export, one point per line: frequency (Hz), level (dB), optional\n"
    "             phase; '*' and '#' comment lines and header lines are skipped; fields\n"
    "             separated by whitespace, commas or semicolons; at most 4 MiB\n"
    "--target FILE  target curve in the same format (interpolated on a log axis)\n"
    "--tilt DB    target falling or rising DB per octave, -6..6 (default: flat)\n"
    "--range LO:HI  fit range in Hz (default 20:20000; room correction: 20:300)\n"
    "--max-boost DB  largest boost, 0..18 (default 6: deep nulls are not filled)\n"
    "--max-cut DB    largest cut, -18..0 (default -18)\n"
    "--q-range LO:HI  band Q within 0.1..100 (default 0.3:10)\n"
    "--smooth N   1/N-octave smoothing, N 3, 6, 12 or 24 (default 6)\n"
    "--json       print {\"bands\":[{\"freq\":..,\"gain\":..,\"q\":..} x7],\n"
    "             \"rms_before_db\":..,\"rms_after_db\":..} only\n"
    "\n"
    "Prints \"Band n: F Hz, G dB, Q q\" for the seven bands and the RMS error in dB between\n"
    "the measurement and the target before (flat bands) and after. Without --device the\n"
    "frames follow as hex, one per line, over the start-up defaults. With --device IP the\n"
    "program connects, fits with the crossovers the processor reports and sends the seven\n"
    "bands 50 ms apart, then reads the state back and sends again what the processor does\n"
    "not report, up to ten rounds (--no-verify: no read-back).\n"
    "\n"
    "Exit status: 0 done; 1 a file cannot be read or is not usable, or nothing can be\n"
    "fitted; 2 bad arguments; 3 no answer (\"CANNOT CONNECT.\"); 4 the port cannot be bound;\n"
    "5 the processor did not report every change (the records are named).\n";

constexpr int kSendTimeoutMs = 10000;

bool ParseNumber(const std::optional<std::string>& text, double* out) {
    if (!text) {
        return true;
    }
    const auto v = ParseDecimal(*text, false);
    if (v) {
        *out = *v;
    }
    return v.has_value();
}

bool ParsePair(const std::optional<std::string>& text, double* lo, double* hi) {
    if (!text) {
        return true;
    }
    const std::size_t colon = text->find(':');
    if (colon == std::string::npos) {
        return false;
    }
    return ParseNumber(text->substr(0, colon), lo) && ParseNumber(text->substr(colon + 1), hi);
}

std::string Fixed(double v, int decimals) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

void PrintResult(const AutoEqResult& r, bool json) {
    const auto& bands = *r.bands;
    if (json) {
        std::cout << "{\"bands\":[";
        for (int b = 0; b < kBandCount; ++b) {
            std::cout << (b ? "," : "") << "{\"freq\":" << bands[b].freq
                      << ",\"gain\":" << Fixed((bands[b].gain - 180) * 0.1, 1)
                      << ",\"q\":" << Fixed(bands[b].q * 0.1, 1) << '}';
        }
        std::cout << "],\"rms_before_db\":" << Fixed(r.rmsBeforeDb, 2)
                  << ",\"rms_after_db\":" << Fixed(r.rmsAfterDb, 2) << "}\n";
        return;
    }
    for (int b = 0; b < kBandCount; ++b) {
        std::cout << "Band " << b + 1 << ": " << bands[b].freq << " Hz, "
                  << Fixed((bands[b].gain - 180) * 0.1, 1) << " dB, Q "
                  << Fixed(bands[b].q * 0.1, 1) << '\n';
    }
    std::cout << "RMS error before: " << Fixed(r.rmsBeforeDb, 2)
              << " dB, after: " << Fixed(r.rmsAfterDb, 2) << " dB (" << r.activeBands
              << " bands used)\n";
}

std::optional<Measurement> ReadCurve(const std::string& path) {
    MeasurementRead read = ReadMeasurementFile(path);
    for (const std::string& e : read.errors) {
        std::cerr << "quorvell-cli: auto-eq: " << path << ": " << e << '\n';
    }
    return std::move(read.curve);
}

int RunAutoEq(const GlobalOptions& g, Args argsIn) {
    std::vector<std::string> args(argsIn.begin(), argsIn.end());
    int retry = 5;
    std::optional<std::string> channelText, device, targetFile, tilt, range, boost, cut, qRange,
        smooth;
    const bool json = TakeFlag(args, "--json");
    const bool verify = !TakeFlag(args, "--no-verify");
    if (!TakeRetry(args, &retry) || !TakeValue(args, "--channel", &channelText) ||
        !TakeValue(args, "--device", &device) || !TakeValue(args, "--target", &targetFile) ||
        !TakeValue(args, "--tilt", &tilt) || !TakeValue(args, "--range", &range) ||
        !TakeValue(args, "--max-boost", &boost) || !TakeValue(args, "--max-cut", &cut) ||
        !TakeValue(args, "--q-range", &qRange) || !TakeValue(args, "--smooth", &smooth)) {
        return kExitUsage;
    }
    if (args.size() != 1 || args[0].starts_with("--")) {
        return UsageError("auto-eq: give exactly one MEASUREMENT file (see auto-eq --help)");
    }
    if (!channelText || (*channelText != "1" && *channelText != "2")) {
        return UsageError("auto-eq: --channel must be 1 or 2");
    }
    if (targetFile && tilt) {
        return UsageError("auto-eq: give --target or --tilt, not both");
    }
    AutoEqOptions options;
    TargetSpec target;
    double smoothing = options.smoothing;
    if (!ParseNumber(tilt, &target.tiltDbPerOctave)) {
        return UsageError("auto-eq: --tilt needs dB per octave, e.g. -0.8");
    }
    if (!ParsePair(range, &options.lowHz, &options.highHz)) {
        return UsageError("auto-eq: --range needs LO:HI in Hz, e.g. 20:300");
    }
    if (!ParsePair(qRange, &options.minQ, &options.maxQ)) {
        return UsageError("auto-eq: --q-range needs LO:HI, e.g. 0.5:8");
    }
    if (!ParseNumber(boost, &options.maxBoostDb) || !ParseNumber(cut, &options.maxCutDb)) {
        return UsageError("auto-eq: --max-boost and --max-cut need a number of dB");
    }
    if (!ParseNumber(smooth, &smoothing) || !(smoothing >= 0.0 && smoothing <= 24.0) ||
        smoothing != std::floor(smoothing)) {
        return UsageError("auto-eq: --smooth must be 3, 6, 12 or 24");
    }
    options.smoothing = static_cast<int>(smoothing);
    if (const std::string why = CheckAutoEqOptions(options); !why.empty()) {
        return UsageError("auto-eq: " + why);
    }
    if (const std::string why = CheckTarget(target); !why.empty()) {
        return UsageError("auto-eq: --tilt: " + why);
    }
    const int channel = *channelText == "1" ? 0 : 1;
    if (!device && !g.device.empty()) {
        device = g.device;
    }

    const auto measurement = ReadCurve(args[0]);
    if (!measurement) {
        return kExitFailure;
    }
    if (targetFile) {
        target.curve = ReadCurve(*targetFile);
        if (!target.curve) {
            return kExitFailure;
        }
        if (const std::string why = CheckTarget(target); !why.empty()) {
            return UsageError("auto-eq: --target: " + why);
        }
    }
    // Fits against the channel's crossovers, prints, and gives the frames of the bands.
    const auto fitAndApply = [&](DeviceParameters& params, PacedSequence* frames) {
        const AutoEqResult r = FitAutoEq(*measurement, target, params.channels[channel], options);
        if (!r.bands) {
            std::cerr << "quorvell-cli: auto-eq: " << r.error << '\n';
            return false;
        }
        PrintResult(r, json);
        *frames = ApplyEqImport(params, channel, AutoEqImport(r));
        return true;
    };

    if (!device) {
        DeviceParameters params{};
        ResetDeviceParameters(params);
        PacedSequence frames;
        if (!fitAndApply(params, &frames)) {
            return kExitFailure;
        }
        if (!json) {
            for (const PacedFrame& f : frames) {
                std::cout << ToHex(f.frame.Bytes()) << '\n';
            }
        }
        return kExitOk;
    }
    EnsureApplication();
    return WithSession(g, *device, retry, [&](Session& s) {
        PacedSequence frames;
        if (!fitAndApply(s.Params(), &frames)) {
            return kExitFailure;
        }
        const std::size_t frameCount = frames.size();
        ProcessorEditor editor(s.Params(), s.Link());
        Verification verification(editor, verify);
        editor.SendSequence(std::move(frames), EditOrigin::Sequence);
        if (!s.WaitForPaced(kSendTimeoutMs)) {
            std::cerr << "quorvell-cli: auto-eq: the link went down before every frame was "
                         "sent\n";
            return kExitFailure;
        }
        if (const int status = verification.Wait("auto-eq"); status != kExitOk) {
            return status;
        }
        if (!json) {
            std::cout << "Sent " << frameCount << " bands to CH" << channel + 1 << ".\n";
        }
        return kExitOk;
    });
}

}  // namespace

Command AutoEqCommand() {
    return {"auto-eq", "fit a channel's seven bands to a measurement", kAutoEqHelp, RunAutoEq};
}

}  // namespace quorvell::cli
