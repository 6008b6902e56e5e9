// SPDX-License-Identifier: GPL-3.0-or-later
// `discover`, `show`, `set`, `name` and `reset`: the commands that talk to a processor
// through the device link. Each runs its own Qt event loop; nothing blocks on a socket.
#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "DeviceLink.h"
#include "Frames.h"
#include "LinkSession.h"
#include "NameRules.h"
#include "ParameterJson.h"
#include "ParameterPaths.h"
#include "ProcessorEditor.h"

namespace quorvell::cli {
namespace {

constexpr std::string_view kLinkOptionsHelp =
    "\n"
    "Global options (before the command): --device IP (default: the panel's stored address),\n"
    "--bind IP (local address, default any), --port N (local and device port, default 39060),\n"
    "--trace (every datagram to stderr).\n"
    "--retry S   (show, set, name, reset) seconds to wait for each of the three connect\n"
    "            requests (default 5).\n"
    "\n"
    "Exit status: 0 done; 2 bad arguments, or no processor named by --device or the panel\n"
    "(nothing sent); 3 no answer (\"CANNOT CONNECT.\", at the latest after three --retry\n"
    "waits plus 2 s); 4 the port cannot be bound; 5 (set) the processor did not report every\n"
    "change. With several --device the command runs on each in turn, every line prefixed by\n"
    "the address, and exits with the worst status.\n";

constexpr std::string_view kDiscoverHelp =
    "usage: quorvell-cli discover [--interface IP] [--wait S] [--json]\n"
    "\n"
    "Sends the discovery request twice to every host 2..254 of a /24 network (the computer's\n"
    "own address skipped) and lists each processor that answers once: DEVICE IP, PORT, Name.\n"
    "--interface IP  sweep the /24 of this local address (default: the --bind address,\n"
    "                else the computer's first address); with --bind it must lie in the\n"
    "                bound address's /24, else it must be an address of this computer\n"
    "--wait S        seconds to keep listening after the sweep (default 2)\n"
    "--json          print an array of {\"ip\",\"port\",\"name\"}\n";

constexpr std::string_view kShowHelp =
    "usage: quorvell-cli show [--json] [--diff] [--retry S]\n"
    "\n"
    "Connects to the processor and prints its full state in the units the panel shows.\n"
    "--json prints the raw values under the model's field names: deviceName, mainLevel,\n"
    "channels[].bands[] (bands 1..7: freq, gain, q), hipass, lopass (freq, type, q), level,\n"
    "phase, limiter (threshold, ratio, attack, release).\n"
    "--diff (with two or more --device) prints only the parameters whose values differ, one\n"
    "       column per processor; with --json an object PARAM -> {address: value}.\n";

constexpr std::string_view kSetHelp =
    "usage: quorvell-cli set PARAM=VALUE ... [--raw] [-v] [--retry S] [--no-verify]\n"
    "\n"
    "Connects, applies each change to the state the processor reports and sends one command\n"
    "per changed record, 20 ms apart. Every argument is checked before anything is sent.\n"
    "Then reads the processor's state back and sends again what it does not report, up to\n"
    "ten rounds; exit status 5 names the records it never reported. --no-verify sends once\n"
    "and does not read back.\n"
    "PARAM: chN.bandB.freq|gain|q, chN.hipass.freq|type|q, chN.lopass.freq|type|q,\n"
    "       chN.level, chN.phase, chN.limiter.threshold|ratio|attack|release, main.level,\n"
    "       name (N is 1 or 2, B is 1..7)\n"
    "VALUE: in the units the panel shows; with --raw the raw integer.\n"
    "-v     print each frame sent as hex\n";

constexpr std::string_view kNameHelp =
    "usage: quorvell-cli name TEXT [--retry S]\n"
    "\n"
    "Connects, sends the device name (at most 10 bytes of UTF-8) and waits for the\n"
    "processor's confirmation: \"Set name successfully.\"\n";

constexpr std::string_view kResetHelp =
    "usage: quorvell-cli reset [--json] [--retry S]\n"
    "\n"
    "Connects, asks the processor to reset its settings and prints the state it reports.\n";

constexpr int kSetGapMs = 20;
constexpr int kLastHost = 254;  // the last host number a sweep addresses

std::optional<int> ParseSeconds(const std::string& text, int lo, int hi) {
    try {
        std::size_t used = 0;
        const int v = std::stoi(text, &used);
        if (used == text.size() && v >= lo && v <= hi) {
            return v;
        }
    } catch (...) {
    }
    return std::nullopt;
}

// Common to the connected commands: --retry S.
struct ConnectedArgs {
    std::vector<std::string> rest;
    int retrySeconds = 5;
    bool ok = true;
};

ConnectedArgs TakeConnectedArgs(Args args) {
    ConnectedArgs c{{args.begin(), args.end()}};
    c.ok = TakeRetry(c.rest, &c.retrySeconds);
    return c;
}

void PrintState(const DeviceParameters& p, bool json) {
    if (json) {
        std::cout << QJsonDocument(ParametersJson(p)).toJson(QJsonDocument::Indented).toStdString();
        return;
    }
    const auto paths = AllParameterPaths();
    std::size_t width = 0;
    for (const auto& path : paths) {
        width = std::max(width, path.text.size());
    }
    for (const auto& path : paths) {
        // Through std::cout, so that a run against several processors can capture it.
        std::cout << path.text << std::string(width - path.text.size() + 2, ' ')
                  << FormatParameter(path, p) << '\n';
    }
}

int RunDiscover(const GlobalOptions& g, Args args) {
    std::vector<std::string> rest(args.begin(), args.end());
    const bool json = TakeFlag(rest, "--json");
    std::optional<std::string> iface;
    std::optional<std::string> waitText;
    if (!TakeValue(rest, "--interface", &iface) || !TakeValue(rest, "--wait", &waitText)) {
        return kExitUsage;
    }
    if (!rest.empty()) {
        return UsageError("discover: unexpected argument '" + rest.front() + "'");
    }
    if (iface && !ParseIpv4(*iface)) {
        return UsageError("--interface: '" + *iface + "' is not an IPv4 address");
    }
    int waitSeconds = 2;
    if (waitText) {
        const auto s = ParseSeconds(*waitText, 0, 600);
        if (!s)
            return UsageError("--wait: '" + *waitText + "' is not a number of seconds");
        waitSeconds = *s;
    }
    const auto options = LinkOptionsWithoutDevice(g, 5);
    if (!options) {
        return kExitUsage;
    }
    EnsureApplication();
    if (iface) {
        // Answers come back to the address the requests carry: it must be one the socket
        // receives on.
        const QHostAddress chosen(QString::fromStdString(*iface));
        const QHostAddress bound = options->bindAddress;
        if (bound != QHostAddress(QHostAddress::AnyIPv4)) {
            if ((chosen.toIPv4Address() & 0xFFFFFF00u) != (bound.toIPv4Address() & 0xFFFFFF00u)) {
                return UsageError("--interface: " + *iface +
                                  " is not in the /24 of the bound "
                                  "address " +
                                  g.bind + ", which cannot receive its answers");
            }
        } else if (!DeviceLink::IPv4Interfaces().contains(chosen)) {
            return UsageError("--interface: " + *iface + " is not an address of this computer");
        }
    }
    DeviceParameters params{};
    DeviceLink link(params, *options);
    int status = kExitOk;
    QEventLoop loop;
    QObject::connect(&link, &DeviceLink::bindFailed, &loop, [&](const QString& reason) {
        std::cerr << kTextBindError << ' ' << reason.toStdString() << '\n';
        status = kExitBind;
        loop.exit();
    });
    QObject::connect(&link, &DeviceLink::searchFinished, &loop,
                     [&] { QTimer::singleShot(waitSeconds * 1000, &loop, [&] { loop.exit(); }); });
    // A bound on the whole search, so that a sweep that never reported its end cannot hold
    // the command: every host's step, then the wait, with a margin.
    const int limitMs = (kLastHost * options->sweepStepMs) * 4 + waitSeconds * 1000 + 5000;
    QTimer::singleShot(limitMs, &loop, [&] { loop.exit(); });
    QTimer::singleShot(0, &loop, [&] {
        const QHostAddress chosen =
            iface ? QHostAddress(QString::fromStdString(*iface)) : QHostAddress();
        const QHostAddress swept = link.SearchInterface(chosen);
        if (!swept.isNull()) {
            const Ipv4 base = swept.toIPv4Address() & 0xFFFFFF00u;
            std::cerr << "sweeping " << FormatIpv4(base) << "/24\n";
        }
        link.StartSearch(chosen);
    });
    loop.exec();
    link.Close();
    if (status != kExitOk) {
        return status;
    }
    const auto& found = link.foundDevices();
    if (json) {
        QJsonArray list;
        for (const auto& d : found) {
            list.append(QJsonObject{{"ip", d.ip}, {"port", d.port}, {"name", d.name}});
        }
        std::cout << QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
        return kExitOk;
    }
    std::size_t ipWidth = std::string("DEVICE IP").size();
    for (const auto& d : found) {
        ipWidth = std::max(ipWidth, static_cast<std::size_t>(d.ip.size()));
    }
    std::printf("%-*s  %-5s  %s\n", static_cast<int>(ipWidth), "DEVICE IP", "PORT", "Name");
    for (const auto& d : found) {
        std::printf("%-*s  %-5u  %s\n", static_cast<int>(ipWidth), d.ip.toStdString().c_str(),
                    static_cast<unsigned>(d.port), d.name.toStdString().c_str());
    }
    return kExitOk;
}

int RunShow(const GlobalOptions& g, Args args) {
    ConnectedArgs c = TakeConnectedArgs(args);
    if (!c.ok)
        return kExitUsage;
    const bool json = TakeFlag(c.rest, "--json");
    if (!c.rest.empty())
        return UsageError("show: unexpected argument '" + c.rest.front() + "'");
    return WithSession(g, g.device, c.retrySeconds, [&](Session& s) {
        PrintState(s.Params(), json);
        return kExitOk;
    });
}

int RunSet(const GlobalOptions& g, Args args) {
    ConnectedArgs c = TakeConnectedArgs(args);
    if (!c.ok)
        return kExitUsage;
    const bool raw = TakeFlag(c.rest, "--raw");
    const bool verbose = TakeFlag(c.rest, "-v");
    const bool verify = !TakeFlag(c.rest, "--no-verify");
    if (c.rest.empty())
        return UsageError("set: give at least one PARAM=VALUE");
    // Every assignment is checked before anything is sent.
    DeviceParameters scratch{};
    ResetDeviceParameters(scratch);
    for (const auto& a : c.rest) {
        if (const SetResult r = SetParameter(scratch, a, raw); !r.record) {
            return UsageError("set: " + r.error);
        }
    }
    return WithSession(g, g.device, c.retrySeconds, [&](Session& s) {
        std::vector<Record> records;
        for (const auto& a : c.rest) {
            const SetResult r = SetParameter(s.Params(), a, raw);
            if (std::find(records.begin(), records.end(), *r.record) == records.end()) {
                records.push_back(*r.record);
            }
        }
        PacedSequence sequence;
        for (const Record& r : records) {
            const auto frame = BuildRecordFrame(s.Params(), r, s.Link().EulerE());
            if (!frame) {
                std::cerr << "quorvell-cli: set: the filter's settings cannot be sent\n";
                return kExitFailure;
            }
            sequence.push_back({*frame, kSetGapMs, r});
        }
        if (verbose) {
            QObject::connect(&s.Link(), &DeviceLink::frameSent, &s.Link(), [](const QByteArray& b) {
                std::cout << ToHex({reinterpret_cast<const std::uint8_t*>(b.constData()),
                                    static_cast<std::size_t>(b.size())})
                          << '\n';
            });
        }
        ProcessorEditor editor(s.Params(), s.Link());
        Verification verification(editor, verify);
        editor.SendSequence(std::move(sequence), EditOrigin::Operator);
        s.WaitFor(&DeviceLink::pacedFinished, 60000);
        return verification.Wait("set");
    });
}

int RunName(const GlobalOptions& g, Args args) {
    ConnectedArgs c = TakeConnectedArgs(args);
    if (!c.ok)
        return kExitUsage;
    if (c.rest.size() != 1)
        return UsageError("name: give exactly one TEXT");
    const std::string& text = c.rest.front();
    if (const auto refusal = CheckDeviceName(text)) {
        std::cerr << *refusal << '\n';
        return kExitUsage;
    }
    return WithSession(g, g.device, c.retrySeconds, [&](Session& s) {
        DeviceParameters& p = s.Params();
        p.deviceName.fill(0);
        std::copy(text.begin(), text.end(), p.deviceName.begin());
        if (!s.RepeatUntil([&] { s.Link().SendDeviceName(); }, &DeviceLink::nameConfirmed)) {
            std::cerr << "quorvell-cli: name: the processor did not confirm the name\n";
            return kExitNoAnswer;
        }
        std::cout << kTextNameSet << '\n';
        return kExitOk;
    });
}

int RunReset(const GlobalOptions& g, Args args) {
    ConnectedArgs c = TakeConnectedArgs(args);
    if (!c.ok)
        return kExitUsage;
    const bool json = TakeFlag(c.rest, "--json");
    if (!c.rest.empty())
        return UsageError("reset: unexpected argument '" + c.rest.front() + "'");
    return WithSession(g, g.device, c.retrySeconds, [&](Session& s) {
        if (!s.RepeatUntil([&] { s.Link().SendReset(); }, &DeviceLink::resetStateApplied)) {
            std::cerr << "quorvell-cli: reset: the processor did not report its state\n";
            return kExitNoAnswer;
        }
        PrintState(s.Params(), json);
        return kExitOk;
    });
}

std::string Help(std::string_view text) {
    return std::string(text);
}

}  // namespace

std::vector<Command> LinkCommands() {
    static const std::string discover = Help(kDiscoverHelp) + std::string(kLinkOptionsHelp);
    static const std::string show = Help(kShowHelp) + std::string(kLinkOptionsHelp);
    static const std::string set = Help(kSetHelp) + std::string(kLinkOptionsHelp);
    static const std::string name = Help(kNameHelp) + std::string(kLinkOptionsHelp);
    static const std::string reset = Help(kResetHelp) + std::string(kLinkOptionsHelp);
    return {
        {"discover", "find the processors on a /24 network", discover, RunDiscover},
        {"show", "connect and print the processor's state", show, RunShow},
        {"set", "connect and change parameters", set, RunSet},
        {"name", "connect and set the processor's name", name, RunName},
        {"reset", "connect, reset the processor, print its state", reset, RunReset},
    };
}

}  // namespace quorvell::cli
