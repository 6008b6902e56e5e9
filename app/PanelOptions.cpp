// SPDX-License-Identifier: GPL-3.0-or-later
// Parsing of the panel's command-line options.
#include "PanelOptions.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "Frames.h"

namespace quorvell {

namespace {

PanelOptionsResult Fail(std::string text) {
    return {std::nullopt, std::move(text)};
}

}  // namespace

PanelOptionsResult ParsePanelOptions(std::span<const std::string_view> args) {
    PanelOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "--trace") {
            options.trace = true;
            continue;
        }
        if (arg == "--connect") {
            options.connect = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name != "--device" && name != "--bind" && name != "--port" && name != "--data-dir" &&
            name != "--poll" && name != "--http" && name != "--token-file") {
            return Fail("unknown option '" + std::string(arg) + "'");
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                return Fail(std::string(name) + " needs a value");
            }
            value = args[++i];
        }
        if (name == "--device" || name == "--bind") {
            if (!ParseIpv4(*value)) {
                return Fail(std::string(name) + ": '" + std::string(*value) +
                            "' is not a dotted IPv4 address");
            }
            (name == "--device" ? options.device : options.bind) = std::string(*value);
        } else if (name == "--http") {
            const auto colon = value->rfind(':');
            unsigned port = 0;
            const char* portText =
                value->data() + (colon == std::string_view::npos ? 0 : colon + 1);
            const auto [end, ec] = std::from_chars(portText, value->data() + value->size(), port);
            if (colon == std::string_view::npos || !ParseIpv4(value->substr(0, colon)) ||
                ec != std::errc() || end != value->data() + value->size() || port == 0 ||
                port > 65535) {
                return Fail("--http: '" + std::string(*value) + "' is not an IPv4 ADDR:PORT");
            }
            options.http = std::string(*value);
        } else if (name == "--token-file") {
            if (value->empty()) {
                return Fail("--token-file needs a file");
            }
            options.tokenFile = std::string(*value);
        } else if (name == "--port") {
            unsigned port = 0;
            const auto [end, ec] =
                std::from_chars(value->data(), value->data() + value->size(), port);
            if (ec != std::errc() || end != value->data() + value->size() || port == 0 ||
                port > 65535) {
                return Fail("--port: '" + std::string(*value) + "' is not a port 1..65535");
            }
            options.port = static_cast<std::uint16_t>(port);
        } else if (name == "--poll") {
            int seconds = -1;
            const auto [end, ec] =
                std::from_chars(value->data(), value->data() + value->size(), seconds);
            if (ec != std::errc() || end != value->data() + value->size() || seconds < 0 ||
                seconds > kMaxPollSeconds) {
                return Fail("--poll: '" + std::string(*value) + "' is not a number of seconds 0.." +
                            std::to_string(kMaxPollSeconds));
            }
            options.pollSeconds = seconds;
            options.pollGiven = true;
        } else {
            if (value->empty()) {
                return Fail("--data-dir needs a directory");
            }
            options.dataDir = std::string(*value);
        }
    }
    return {options, {}};
}

std::vector<std::string_view> WithoutQtOptions(std::span<const std::string_view> args) {
    static constexpr std::string_view kWithValue[] = {"platform",
                                                      "platformpluginpath",
                                                      "platformtheme",
                                                      "plugin",
                                                      "qmljsdebugger",
                                                      "qwindowgeometry",
                                                      "qwindowicon",
                                                      "qwindowtitle",
                                                      "session",
                                                      "display",
                                                      "geometry",
                                                      "style",
                                                      "stylesheet",
                                                      "name",
                                                      "title",
                                                      "visual",
                                                      "fn",
                                                      "font",
                                                      "bg",
                                                      "background",
                                                      "fg",
                                                      "foreground",
                                                      "btn",
                                                      "button",
                                                      "ncols",
                                                      "cmap"};
    static constexpr std::string_view kFlags[] = {"reverse", "widgetcount", "nograb", "dograb",
                                                  "sync"};
    std::vector<std::string_view> kept;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view name = args[i];
        if (name.starts_with("--")) {
            name.remove_prefix(2);
        } else if (name.starts_with("-")) {
            name.remove_prefix(1);
        } else {
            kept.push_back(args[i]);
            continue;
        }
        if (std::ranges::find(kWithValue, name) != std::end(kWithValue)) {
            ++i;  // its value
        } else if (std::ranges::find(kFlags, name) == std::end(kFlags)) {
            kept.push_back(args[i]);
        }
    }
    return kept;
}

std::string PanelUsage() {
    return "Usage: quorvell [options]\n"
           "  --device IP     processor address for this run (default: the stored \"hostip\")\n"
           "  --bind IP       local IPv4 address to use (default: any)\n"
           "  --port N        local and processor UDP port (default: 39060)\n"
           "  --data-dir DIR  where the preset database and data files live\n"
           "  --trace         print one line per datagram sent or received to stderr\n"
           "  --connect       connect to the processor right after start-up\n"
           "  --poll S        read the processor's state back every S seconds while idle\n"
           "                  (default: the last choice on SYSTEM, else 5; 0: only after edits)\n"
           "  --http ADDR:PORT  serve the remote-control API and web remote there\n"
           "                  (loopback needs no token; any other address does)\n"
           "  --token-file F  the remote control's bearer token: the first line of F\n"
           "                  (default off loopback: a random one, printed at start)\n"
           "  --version       print the version and exit\n"
           "  --help          print this text and exit\n";
}

}  // namespace quorvell
