// SPDX-License-Identifier: GPL-3.0-or-later
// The command table of quorvell-cli: each command group registers its entries here.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvell::cli {

// Exit statuses that scripts rely on.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoAnswer = 3;
inline constexpr int kExitBind = 4;
inline constexpr int kExitUnconfirmed = 5;  // the processor did not report every change

// Options shared with the panel, taken before the command name.
struct GlobalOptions {
    std::string device;   // --device IP; empty: the settings' "hostip"
    std::string bind;     // --bind IP; empty: any
    int port = 39060;     // --port N
    std::string dataDir;  // --data-dir DIR
    bool trace = false;   // --trace
};

using Args = std::span<const std::string>;

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view help;  // full text of `COMMAND --help`
    int (*run)(const GlobalOptions& options, Args args);
};

// Each group returns its commands; main() lists them in this order.
std::vector<Command> FrameCommands();
std::vector<Command> LinkCommands();
std::vector<Command> PresetCommands();
std::vector<Command> ImportCommands();  // import-eq, auto-eq
Command AutoEqCommand();
std::vector<Command> ServeCommands();

// Prints one line to stderr and returns kExitUsage.
int UsageError(std::string_view message);

// True when args holds `flag`; removes it.
bool TakeFlag(std::vector<std::string>& args, std::string_view flag);

}  // namespace quorvell::cli
