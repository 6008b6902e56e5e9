// SPDX-License-Identifier: GPL-3.0-or-later
// Running one connected command against several processors: results prefixed by address,
// one JSON object per processor, the worst exit status, and the diff view of `show`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "CliCommand.h"

namespace quorvell::cli {

// Appends the addresses of one `--device` value ("A" or "A,B,C") to `devices`, skipping
// repeats; false after a usage message when a part is empty or not an IPv4 address.
bool AddDevices(std::string_view value, std::vector<std::string>* devices);

// Takes every `--device VALUE` out of a command's own arguments into `devices`; false after
// a usage message.
bool TakeDevices(std::vector<std::string>& args, std::vector<std::string>* devices);

// True for the commands that talk to the processor named by --device and can therefore run
// against several in turn (`preset` only with save or recall).
bool RunsPerProcessor(std::string_view command, const std::vector<std::string>& args);

// The worse of two exit statuses: bad arguments, then a failure, a port that cannot be
// bound, no answer, changes not confirmed, done.
int WorseStatus(int a, int b);

// Runs `command` against each of `devices` in turn (each with its own link) and prints what
// each printed, every line prefixed by its address; with --json in `args` one array of
// {"address", "exit", "result"} objects. `diff` (show only) prints just the fields whose
// values differ. Returns the worst status; bad arguments stop before the second processor.
int RunOnEach(const Command& command, GlobalOptions options,
              const std::vector<std::string>& devices, const std::vector<std::string>& args,
              bool diff);

}  // namespace quorvell::cli
