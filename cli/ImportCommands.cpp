// SPDX-License-Identifier: GPL-3.0-or-later
// `import-eq`: the peaking filters of an equaliser text export into the bands of a channel.
#include <QFile>
#include <iostream>
#include <optional>
#include <string>

#include "CliCommand.h"
#include "EqFilterImport.h"
#include "LinkSession.h"
#include "ProcessorEditor.h"

namespace quorvell::cli {
namespace {

constexpr std::string_view kImportHelp =
    "usage: quorvell-cli import-eq FILE --channel 1|2 [--device IP] [--retry S] [--no-verify]\n"
    "\n"
    "Reads the peaking filters of an equaliser text export, one per line, e.g.\n"
    "  Filter 1: ON PK Fc 63.5 Hz Gain -4.20 dB Q 2.500\n"
    "  Filter: ON PK Fc 1000 Hz Gain 3 dB Q 1.41\n"
    "  Preamp: -3 dB\n"
    "into bands 1..7 of the channel, in file order; bands without a filter are set flat\n"
    "(default frequency, 0 dB, Q 2.0). Disabled filters, blank lines and header lines are\n"
    "skipped. A Preamp lowers the channel's output level by its amount. Values are rounded to\n"
    "the nearest step and checked against the panel's ranges; a decimal comma (\"Q 0,71\") is\n"
    "read as a point. More than seven PK filters, another filter type or a malformed line is\n"
    "reported with its line number, and then nothing is applied.\n"
    "\n"
    "Without --device the frames are printed as hex, one per line, over the start-up\n"
    "defaults. With --device IP the program connects, applies the filters to the state the\n"
    "processor reports and sends the frames 50 ms apart, then reads the state back and sends\n"
    "again what the processor does not report, up to ten rounds (--no-verify: no read-back).\n"
    "\n"
    "Exit status: 0 done; 1 the file cannot be read or is not usable; 2 bad arguments;\n"
    "3 no answer (\"CANNOT CONNECT.\"); 4 the port cannot be bound; 5 the processor did not\n"
    "report every change (the records are named).\n";

constexpr int kImportSendTimeoutMs = 10000;
constexpr qint64 kMaxImportFileBytes = 1 << 20;

int RunImportEq(const GlobalOptions& g, Args argsIn) {
    std::vector<std::string> args(argsIn.begin(), argsIn.end());
    int retry = 5;
    std::optional<std::string> channelText;
    std::optional<std::string> device;
    const bool verify = !TakeFlag(args, "--no-verify");
    if (!TakeRetry(args, &retry) || !TakeValue(args, "--channel", &channelText) ||
        !TakeValue(args, "--device", &device)) {
        return kExitUsage;
    }
    if (args.size() != 1) {
        return UsageError("import-eq: give exactly one FILE (see import-eq --help)");
    }
    if (!channelText || (*channelText != "1" && *channelText != "2")) {
        return UsageError("import-eq: --channel must be 1 or 2");
    }
    const int channel = *channelText == "1" ? 0 : 1;
    if (!device && !g.device.empty()) {
        device = g.device;
    }

    EnsureApplication();
    QFile file(QString::fromStdString(args[0]));
    if (!file.open(QIODevice::ReadOnly)) {
        std::cerr << "quorvell-cli: import-eq: " << args[0] << ": "
                  << file.errorString().toStdString() << '\n';
        return kExitFailure;
    }
    if (file.size() > kMaxImportFileBytes) {
        std::cerr << "quorvell-cli: import-eq: " << args[0] << ": too large for a filter list\n";
        return kExitFailure;
    }
    const QByteArray text = file.readAll();
    const EqImport import = ParseEqFilterText(std::string_view(text.constData(), text.size()));
    if (!import.bands) {
        for (const std::string& e : import.errors) {
            std::cerr << "quorvell-cli: import-eq: " << args[0] << ": " << e << '\n';
        }
        return kExitFailure;
    }

    if (!device) {
        DeviceParameters params{};
        ResetDeviceParameters(params);
        for (const PacedFrame& f : ApplyEqImport(params, channel, import)) {
            std::cout << ToHex(f.frame.Bytes()) << '\n';
        }
        return kExitOk;
    }
    return WithSession(g, *device, retry, [&](Session& s) {
        PacedSequence frames = ApplyEqImport(s.Params(), channel, import);
        const std::size_t frameCount = frames.size();
        ProcessorEditor editor(s.Params(), s.Link());
        Verification verification(editor, verify);
        editor.SendSequence(std::move(frames), EditOrigin::Sequence);
        if (!s.WaitForPaced(kImportSendTimeoutMs)) {
            std::cerr << "quorvell-cli: import-eq: the link went down before every frame was "
                         "sent\n";
            return kExitFailure;
        }
        if (const int status = verification.Wait("import-eq"); status != kExitOk) {
            return status;
        }
        std::cout << "Imported " << import.filterCount << " filters into CH" << channel + 1
                  << "; sent " << frameCount << " frames.\n";
        return kExitOk;
    });
}

}  // namespace

std::vector<Command> ImportCommands() {
    return {
        {"import-eq", "import an equaliser filter list into a channel", kImportHelp, RunImportEq},
        AutoEqCommand()};
}

}  // namespace quorvell::cli
