// SPDX-License-Identifier: GPL-3.0-or-later
// What the connected commands share: the Qt application object, the stored device address,
// option parsing for a link, and a session that connects and waits on the event loop.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CliCommand.h"
#include "DeviceLink.h"
#include "ProcessorEditor.h"
#include "ReadBack.h"

namespace quorvell::cli {

// How long a confirmation (name, reset) may take once the link is up.
inline constexpr int kAnswerTimeoutMs = 5000;
// How often a name or reset request is sent again while its confirmation has not come.
inline constexpr int kResendMs = 250;

// Qt needs an application object for its event loop; the offline commands never make one.
void EnsureApplication();
// Destroys the application object, if one was made; main() calls it before returning.
void ReleaseApplication();

// What a connected command says when neither --device nor the panel's stored address names
// a processor.
inline constexpr std::string_view kTextNoDeviceNamed =
    "no processor named: give --device IP (or pick one in the panel)";

// The processor address the panel stored ("hostip"); nothing when it is missing or empty.
std::optional<std::string> StoredDevice();

// Takes `flag VALUE` out of args; false after a usage message when the value is missing.
bool TakeValue(std::vector<std::string>& args, std::string_view flag,
               std::optional<std::string>* out);

// Takes `--retry S` (seconds per connect request, 1..60); false after a usage message.
bool TakeRetry(std::vector<std::string>& args, int* seconds);

// Link options from the global options without a processor address (discovery, a server that
// connects when asked). Nothing after a usage message.
std::optional<DeviceLinkOptions> LinkOptionsWithoutDevice(const GlobalOptions& g, int retrySeconds);

// Link options from the global options; an empty `device` means the stored address. Nothing
// after a usage message, also when no processor is named at all.
std::optional<DeviceLinkOptions> LinkOptionsFor(const GlobalOptions& g, std::string device,
                                                int retrySeconds);

// The longest a connect may take before the command gives up: the three waits of the
// supervision and a margin.
int ConnectLimitMs(const DeviceLinkOptions& options);

class Session;

// Connects with the options of `g` to `device` (empty: the stored address), runs `body` on
// the linked session, then closes the link. The exit status of `body`, or kExitUsage for bad
// options, or the status of a failed connect (after its message).
int WithSession(const GlobalOptions& g, const std::string& device, int retrySeconds,
                const std::function<int(Session&)>& body);

// A link to the processor for the length of one command.
class Session {
public:
    explicit Session(const DeviceLinkOptions& options);

    DeviceParameters& Params() { return params_; }
    DeviceLink& Link() { return link_; }

    // Connects and waits for the state (status frame 7 or 8); kExitOk, or the exit status
    // after a message. Never waits longer than ConnectLimitMs.
    int Connect();

    // Runs the loop until `signal` of the link fires or the timeout passes.
    template <typename Signal>
    bool WaitFor(Signal signal, int timeoutMs = kAnswerTimeoutMs) {
        QEventLoop loop;
        bool fired = false;
        QObject::connect(&link_, signal, &loop, [&] {
            fired = true;
            loop.exit();
        });
        QTimer::singleShot(timeoutMs, &loop, [&] { loop.exit(); });
        loop.exec();
        return fired;
    }

    // Sends with `send` and runs the loop until `signal` of the link fires, sending again every
    // `everyMs` (a lost request or a lost answer is not the end) until `timeoutMs` has passed.
    template <typename Signal>
    bool RepeatUntil(const std::function<void()>& send, Signal signal,
                     int timeoutMs = kAnswerTimeoutMs, int everyMs = kResendMs) {
        QEventLoop loop;
        bool fired = false;
        QObject::connect(&link_, signal, &loop, [&] {
            fired = true;
            loop.exit();
        });
        QTimer again;
        QObject::connect(&again, &QTimer::timeout, &loop, [&] { send(); });
        again.start(everyMs);
        QTimer::singleShot(timeoutMs, &loop, [&] { loop.exit(); });
        send();
        if (!fired) {
            loop.exec();
        }
        return fired;
    }
    // Runs the loop until the paced sequence has been sent; false on timeout.
    bool WaitForPaced(int timeoutMs);

private:
    DeviceParameters params_{};
    DeviceLink link_;
};

// Read-back for a command that changes the processor: made before the changes are sent (it
// watches the editor), then Wait() reads the processor's state back and resends what it does
// not report, up to ten rounds; a lost read is asked again. Off (`--no-verify`): Wait()
// returns kExitOk at once.
class Verification {
public:
    Verification(ProcessorEditor& editor, bool on);
    // kExitOk when the processor reports every change; else kExitUnconfirmed after naming the
    // records on stderr ("quorvell-cli: COMMAND: not confirmed by the processor: ...").
    int Wait(std::string_view command);

private:
    std::unique_ptr<ReadBack> readBack_;
};

// The options of a command-line read-back: no polling; a read waits 500 ms and ten unanswered
// reads in a row end the wait.
ReadBackOptions CliReadBackOptions();

}  // namespace quorvell::cli
