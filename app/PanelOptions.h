// SPDX-License-Identifier: GPL-3.0-or-later
// The panel's command-line options: --device IP, --bind IP, --port N, --data-dir DIR, --trace,
// --http ADDR:PORT, --token-file F.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvell {

inline constexpr int kMaxPollSeconds = 3600;

struct PanelOptions {
    std::optional<std::string> device;     // overrides "hostip" for this run
    std::optional<std::string> bind;       // local address; empty: any IPv4 address
    std::uint16_t port = 39060;            // local and device port
    std::optional<std::string> dataDir;    // overrides the data directory
    bool trace = false;                    // one stderr line per datagram
    std::optional<std::string> http;       // remote control on ADDR:PORT (IPv4)
    std::optional<std::string> tokenFile;  // its bearer token, the file's first line
    bool connect = false;                  // connect to the processor right after start-up
    int pollSeconds = 5;                   // read-back period while linked and idle; 0: off
    bool pollGiven = false;                // --poll was given (else the stored choice holds)
    bool help = false;
    bool version = false;
};

struct PanelOptionsResult {
    std::optional<PanelOptions> options;
    std::string error;  // set when options is empty: what was wrong, for stderr
};

// Parses the arguments after the program name. Accepts "--opt value" and "--opt=value";
// addresses must be dotted IPv4, the port 1..65535. Unknown options are errors, except the
// ones Qt's own application object takes (-platform, -style, ...), which the caller has
// already removed.
PanelOptionsResult ParsePanelOptions(std::span<const std::string_view> args);

// The arguments after the program name without the options Qt's GUI application object takes
// for itself (-platform NAME, -style NAME, -reverse, ..., also spelt with "--"), so that the
// panel's own options can be checked before a display is opened.
std::vector<std::string_view> WithoutQtOptions(std::span<const std::string_view> args);

std::string PanelUsage();

}  // namespace quorvell
