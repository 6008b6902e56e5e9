// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of quorvell-sim, turned into one SimOptions per processor.
#pragma once

#include <QStringList>
#include <optional>
#include <string>
#include <vector>

#include "SimProcessor.h"

namespace quorvell::sim {

struct SimCommandLine {
    std::vector<SimOptions> processors;  // consecutive addresses, names NAME, NAME-2, ...
    std::optional<QString> logPath;      // "-" for standard output
    std::optional<QString> statePath;    // --state FILE, read again on SIGHUP
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. On a bad option or value returns nothing
// and sets `error` to one line naming the option and what is allowed. Reads the --state
// file (which must hold exactly 768 bytes).
std::optional<SimCommandLine> ParseSimCommandLine(const QStringList& args, QString* error);

// The 768 bytes of a preset data file; nothing, with `error` naming the file and the
// problem, when it cannot be read or has another size.
std::optional<ParameterImage> ReadStateFile(const QString& path, QString* error);

QString SimUsage();

}  // namespace quorvell::sim
