// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-cli: a scriptable front end over the same core as the panel.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "CliCommand.h"
#include "LicenceNotice.h"
#include "LinkSession.h"
#include "MultiDevice.h"

namespace quorvell::cli {

int UsageError(std::string_view message) {
    std::cerr << "quorvell-cli: " << message << '\n';
    return kExitUsage;
}

bool TakeFlag(std::vector<std::string>& args, std::string_view flag) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == flag) {
            args.erase(it);
            return true;
        }
    }
    return false;
}

namespace {

std::vector<Command> AllCommands() {
    std::vector<Command> all;
    for (auto group :
         {FrameCommands, LinkCommands, PresetCommands, ImportCommands, ServeCommands}) {
        auto cmds = group();
        all.insert(all.end(), cmds.begin(), cmds.end());
    }
    return all;
}

void PrintHelp(const std::vector<Command>& commands) {
    std::cout << "Usage: quorvell-cli [--device IP] [--bind IP] [--port N] [--data-dir DIR] "
                 "[--trace] COMMAND [ARGS]\n\ncommands:\n";
    for (const auto& c : commands) {
        std::printf("  %-10s %.*s\n", std::string(c.name).c_str(),
                    static_cast<int>(c.summary.size()), c.summary.data());
    }
    std::cout << "\noptions:\n"
                 "  --device IP     processor address (default: the stored \"hostip\"); repeat it\n"
                 "                  or give A,B,C to run a connected command on each in turn\n"
                 "  --bind IP       local IPv4 address to use (default: any)\n"
                 "  --port N        local and processor UDP port (default: 39060)\n"
                 "  --data-dir DIR  where the preset database and data files live\n"
                 "  --trace         print one line per datagram sent or received to stderr\n"
                 "  --version       print the version and exit\n"
                 "  --help          print this text and exit\n"
                 "\n'quorvell-cli COMMAND --help' describes a command.\n";
}

}  // namespace
}  // namespace quorvell::cli

int main(int argc, char** argv) {
    using namespace quorvell::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto commands = AllCommands();
    GlobalOptions options;
    std::vector<std::string> devices;  // every --device, in order, each address once
    std::size_t i = 0;
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                return false;
            }
            out = args[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            PrintHelp(commands);
            return kExitOk;
        } else if (a == "--version") {
            std::cout << "quorvell-cli " QUORVELL_VERSION "\n"
                      << quorvell::kCopyrightLine << '\n'
                      << quorvell::kLicenceLines << '\n';
            return kExitOk;
        } else if (a == "--trace") {
            options.trace = true;
        } else if (a == "--device") {
            std::string list;
            if (!value(list))
                return UsageError("--device needs an IPv4 address");
            if (!AddDevices(list, &devices))
                return kExitUsage;
        } else if (a == "--bind") {
            if (!value(options.bind))
                return UsageError("--bind needs an IPv4 address");
        } else if (a == "--data-dir") {
            if (!value(options.dataDir))
                return UsageError("--data-dir needs a directory");
        } else if (a == "--port") {
            std::string text;
            if (!value(text))
                return UsageError("--port needs a number 1..65535");
            try {
                options.port = std::stoi(text);
            } catch (...) {
                options.port = 0;
            }
            if (options.port < 1 || options.port > 65535) {
                return UsageError("--port: '" + text + "' is not a port number 1..65535");
            }
        } else {
            break;
        }
    }
    if (i >= args.size()) {
        PrintHelp(commands);
        return kExitUsage;
    }
    const std::string name = args[i];
    for (const auto& c : commands) {
        if (c.name == name) {
            std::vector<std::string> rest(args.begin() + static_cast<long>(i) + 1, args.end());
            if (TakeFlag(rest, "--help") || TakeFlag(rest, "-h")) {
                std::cout << c.help;
                return kExitOk;
            }
            // serve keeps its own --device; every other command's joins the global ones.
            if (name != "serve" && !TakeDevices(rest, &devices)) {
                return kExitUsage;
            }
            const bool diff = name == "show" && TakeFlag(rest, "--diff");
            if (diff && devices.size() < 2) {
                return UsageError("show --diff compares processors: give two or more --device");
            }
            int status = kExitOk;
            if (devices.size() > 1 && name != "serve") {
                if (!RunsPerProcessor(name, rest)) {
                    return UsageError(name +
                                      " works with one processor at most; give one --device");
                }
                status = RunOnEach(c, options, devices, rest, diff);
            } else {
                // serve takes several (a rack); for every other command there is one.
                options.device.clear();
                for (const std::string& d : devices) {
                    options.device += (options.device.empty() ? "" : ",") + d;
                }
                status = c.run(options, rest);
            }
            ReleaseApplication();
            return status;
        }
    }
    return UsageError("unknown command '" + name + "' (see quorvell-cli --help)");
}
