// SPDX-License-Identifier: GPL-3.0-or-later
// One command against several processors in turn, each run's output captured and prefixed.
#include "MultiDevice.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <iostream>
#include <map>
#include <sstream>

#include "Frames.h"

namespace quorvell::cli {
namespace {

// What one run printed, captured by swapping the streams' buffers for its length.
struct Captured {
    std::string device;
    int status = kExitOk;
    std::string out;
    std::string err;
};

class StreamCapture {
public:
    StreamCapture()
        : out_(std::cout.rdbuf(outText_.rdbuf())), err_(std::cerr.rdbuf(errText_.rdbuf())) {}
    ~StreamCapture() {
        std::cout.rdbuf(out_);
        std::cerr.rdbuf(err_);
    }
    StreamCapture(const StreamCapture&) = delete;
    StreamCapture& operator=(const StreamCapture&) = delete;
    std::string Out() const { return outText_.str(); }
    std::string Err() const { return errText_.str(); }

private:
    std::ostringstream outText_;
    std::ostringstream errText_;
    std::streambuf* out_;
    std::streambuf* err_;
};

Captured RunCaptured(const Command& command, GlobalOptions options, const std::string& device,
                     const std::vector<std::string>& args) {
    options.device = device;
    StreamCapture capture;
    const int status = command.run(options, args);
    return {device, status, capture.Out(), capture.Err()};
}

void PrintPrefixed(std::ostream& to, const std::string& device, const std::string& text) {
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        to << device << ": " << line << '\n';
    }
}

// `show`'s text lines: the parameter, two or more spaces, its value as the panel shows it.
std::vector<std::pair<std::string, std::string>> ShownFields(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto gap = line.find("  ");
        if (gap == std::string::npos) {
            continue;
        }
        const auto value = line.find_first_not_of(' ', gap);
        fields.emplace_back(line.substr(0, gap),
                            value == std::string::npos ? std::string() : line.substr(value));
    }
    return fields;
}

void PrintDiff(const std::vector<Captured>& runs, bool json) {
    std::vector<const Captured*> shown;
    for (const Captured& r : runs) {
        if (r.status == kExitOk) {
            shown.push_back(&r);
        }
    }
    // Parameter order as `show` prints it; the value each processor reported.
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> values;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        for (auto& [key, value] : ShownFields(shown[i]->out)) {
            auto& row = values[key];
            if (row.empty()) {
                order.push_back(key);
                row.resize(shown.size());
            }
            row[i] = value;
        }
    }
    std::vector<std::string> differing;
    for (const std::string& key : order) {
        const auto& row = values[key];
        if (std::adjacent_find(row.begin(), row.end(), std::not_equal_to<>()) != row.end()) {
            differing.push_back(key);
        }
    }
    if (json) {
        QJsonObject out;
        for (const std::string& key : differing) {
            QJsonObject perDevice;
            for (std::size_t i = 0; i < shown.size(); ++i) {
                perDevice[QString::fromStdString(shown[i]->device)] =
                    QString::fromStdString(values[key][i]);
            }
            out[QString::fromStdString(key)] = perDevice;
        }
        std::cout << QJsonDocument(out).toJson(QJsonDocument::Indented).toStdString();
        return;
    }
    std::vector<std::size_t> widths{std::string("PARAM").size()};
    for (const std::string& key : differing) {
        widths[0] = std::max(widths[0], key.size());
    }
    for (std::size_t i = 0; i < shown.size(); ++i) {
        std::size_t w = shown[i]->device.size();
        for (const std::string& key : differing) {
            w = std::max(w, values[key][i].size());
        }
        widths.push_back(w);
    }
    const auto printRow = [&](const std::string& first, auto cell) {
        std::string line = first + std::string(widths[0] - first.size(), ' ');
        for (std::size_t i = 0; i < shown.size(); ++i) {
            const std::string text = cell(i);
            line += "  " + text + std::string(widths[i + 1] - text.size(), ' ');
        }
        while (!line.empty() && line.back() == ' ') {
            line.pop_back();
        }
        std::cout << line << '\n';
    };
    printRow("PARAM", [&](std::size_t i) { return shown[i]->device; });
    for (const std::string& key : differing) {
        printRow(key, [&](std::size_t i) { return values[key][i]; });
    }
}

}  // namespace

bool AddDevices(std::string_view value, std::vector<std::string>* devices) {
    std::size_t start = 0;
    while (true) {
        const auto comma = value.find(',', start);
        const std::string part(
            value.substr(start, comma == std::string_view::npos ? value.npos : comma - start));
        if (!ParseIpv4(part)) {
            UsageError("--device: '" + part + "' is not an IPv4 address");
            return false;
        }
        if (std::find(devices->begin(), devices->end(), part) == devices->end()) {
            devices->push_back(part);
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        start = comma + 1;
    }
}

bool TakeDevices(std::vector<std::string>& args, std::vector<std::string>* devices) {
    for (auto it = args.begin(); it != args.end();) {
        if (*it != "--device") {
            ++it;
            continue;
        }
        if (it + 1 == args.end()) {
            UsageError("--device needs an IPv4 address");
            return false;
        }
        if (!AddDevices(*(it + 1), devices)) {
            return false;
        }
        it = args.erase(it, it + 2);
    }
    return true;
}

bool RunsPerProcessor(std::string_view command, const std::vector<std::string>& args) {
    constexpr std::array<std::string_view, 6> kConnected{"show",  "set",       "name",
                                                         "reset", "import-eq", "auto-eq"};
    if (std::find(kConnected.begin(), kConnected.end(), command) != kConnected.end()) {
        return true;
    }
    return command == "preset" && !args.empty() && (args[0] == "save" || args[0] == "recall");
}

int WorseStatus(int a, int b) {
    // From least to most severe.
    constexpr std::array kOrder{kExitOk,   kExitUnconfirmed, kExitNoAnswer,
                                kExitBind, kExitFailure,     kExitUsage};
    const auto rank = [&](int s) {
        const auto it = std::find(kOrder.begin(), kOrder.end(), s);
        return it == kOrder.end() ? kOrder.size() : static_cast<std::size_t>(it - kOrder.begin());
    };
    return rank(a) >= rank(b) ? a : b;
}

int RunOnEach(const Command& command, GlobalOptions options,
              const std::vector<std::string>& devices, const std::vector<std::string>& args,
              bool diff) {
    const bool json = std::find(args.begin(), args.end(), "--json") != args.end();
    std::vector<std::string> runArgs = args;
    if (diff) {
        // The diff compares what the panel shows; --json only changes how it is printed.
        std::erase(runArgs, "--json");
    }
    std::vector<Captured> runs;
    int worst = kExitOk;
    for (const std::string& device : devices) {
        Captured r = RunCaptured(command, options, device, runArgs);
        if (r.status == kExitUsage) {
            // The same arguments are wrong for every processor, and nothing was sent.
            std::cerr << r.err;
            return kExitUsage;
        }
        PrintPrefixed(std::cerr, device, r.err);
        if (!json && !diff) {
            PrintPrefixed(std::cout, device, r.out);
            std::cout.flush();
        }
        worst = WorseStatus(worst, r.status);
        runs.push_back(std::move(r));
    }
    if (diff) {
        PrintDiff(runs, json);
    } else if (json) {
        QJsonArray all;
        for (const Captured& r : runs) {
            QJsonObject o{{"address", QString::fromStdString(r.device)}, {"exit", r.status}};
            const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out));
            if (doc.isObject()) {
                o["result"] = doc.object();
            } else if (doc.isArray()) {
                o["result"] = doc.array();
            } else if (!r.out.empty()) {
                o["output"] = QString::fromStdString(r.out);
            }
            all.push_back(o);
        }
        std::cout << QJsonDocument(all).toJson(QJsonDocument::Indented).toStdString();
    }
    return worst;
}

}  // namespace quorvell::cli
