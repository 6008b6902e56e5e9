// SPDX-License-Identifier: GPL-3.0-or-later
// Connected-command plumbing shared by the link, preset and import commands.
#include "LinkSession.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>
#include <iostream>
#include <memory>

#include "PresetStore.h"

namespace quorvell::cli {
namespace {
// The application object of this run, made on first need and destroyed by
// ReleaseApplication() before main() returns: Qt is then never torn down among the static
// destructors, where a thread still running would find it half gone.
std::unique_ptr<QCoreApplication>& ApplicationSlot() {
    static std::unique_ptr<QCoreApplication> app;
    return app;
}
}  // namespace

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "quorvell-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        SetApplicationIdentity();
        ApplicationSlot() = std::make_unique<QCoreApplication>(argc, argv);
    }
}

void ReleaseApplication() {
    ApplicationSlot().reset();
}

std::optional<std::string> StoredDevice() {
    QSettings settings(QStringLiteral("Quorvell"), QStringLiteral("Quorvell"));
    settings.beginGroup(QStringLiteral("U_FONT_SECTION"));
    const QString stored = settings.value(QStringLiteral("hostip")).toString().trimmed();
    if (stored.isEmpty()) {
        return std::nullopt;
    }
    return stored.toStdString();
}

bool TakeValue(std::vector<std::string>& args, std::string_view flag,
               std::optional<std::string>* out) {
    for (auto it = args.begin(); it != args.end(); ++it) {
        if (*it == flag) {
            if (it + 1 == args.end()) {
                UsageError(std::string(flag) + " needs a value");
                return false;
            }
            *out = *(it + 1);
            args.erase(it, it + 2);
            return true;
        }
    }
    return true;
}

bool TakeRetry(std::vector<std::string>& args, int* seconds) {
    std::optional<std::string> retry;
    if (!TakeValue(args, "--retry", &retry)) {
        return false;
    }
    if (retry) {
        int s = 0;
        try {
            std::size_t used = 0;
            s = std::stoi(*retry, &used);
            if (used != retry->size()) {
                s = 0;
            }
        } catch (...) {
        }
        if (s < 1 || s > 60) {
            UsageError("--retry: '" + *retry + "' is not a number of seconds 1..60");
            return false;
        }
        *seconds = s;
    }
    return true;
}

std::optional<DeviceLinkOptions> LinkOptionsWithoutDevice(const GlobalOptions& g,
                                                          int retrySeconds) {
    DeviceLinkOptions o;
    o.deviceAddress.clear();  // a link without a processor sends nothing
    o.port = static_cast<quint16>(g.port);
    o.trace = g.trace;
    o.supervisionSeconds = retrySeconds;
    if (!g.bind.empty()) {
        if (!ParseIpv4(g.bind)) {
            UsageError("--bind: '" + g.bind + "' is not an IPv4 address");
            return std::nullopt;
        }
        o.bindAddress = QHostAddress(QString::fromStdString(g.bind));
    }
    return o;
}

std::optional<DeviceLinkOptions> LinkOptionsFor(const GlobalOptions& g, std::string device,
                                                int retrySeconds) {
    auto o = LinkOptionsWithoutDevice(g, retrySeconds);
    if (!o) {
        return std::nullopt;
    }
    if (device.empty()) {
        // Never a built-in address: a processor nobody named gets nothing.
        const auto stored = StoredDevice();
        if (!stored) {
            std::cerr << kTextNoDeviceNamed << '\n';
            return std::nullopt;
        }
        device = *stored;
    }
    if (!ParseIpv4(device)) {
        UsageError("--device: '" + device + "' is not an IPv4 address");
        return std::nullopt;
    }
    o->deviceAddress = QString::fromStdString(device);
    return o;
}

int WithSession(const GlobalOptions& g, const std::string& device, int retrySeconds,
                const std::function<int(Session&)>& body) {
    const auto options = LinkOptionsFor(g, device, retrySeconds);
    if (!options) {
        return kExitUsage;
    }
    EnsureApplication();
    Session s(*options);
    if (const int status = s.Connect(); status != kExitOk) {
        return status;
    }
    const int status = body(s);
    s.Link().Close();
    return status;
}

Session::Session(const DeviceLinkOptions& options) : link_(params_, options) {
    ResetDeviceParameters(params_);
}

int Session::Connect() {
    int status = kExitOk;
    QEventLoop loop;
    // Either status frame that answers a connect brings the link up.
    QObject::connect(&link_, &DeviceLink::linkEstablished, &loop, [&] { loop.exit(); });
    QObject::connect(&link_, &DeviceLink::resetStateApplied, &loop, [&] { loop.exit(); });
    const auto noAnswer = [&] {
        std::cerr << kTextCannotConnect << '\n';
        status = kExitNoAnswer;
        loop.exit();
    };
    QObject::connect(&link_, &DeviceLink::connectFailed, &loop, noAnswer);
    // The supervision ends every attempt after its third wait; this bound holds even if it
    // did not (an attempt that never started), so that no command waits forever.
    QTimer::singleShot(ConnectLimitMs(link_.Options()), &loop, noAnswer);
    QObject::connect(&link_, &DeviceLink::bindFailed, &loop, [&](const QString& reason) {
        std::cerr << kTextBindError << ' ' << reason.toStdString() << '\n';
        status = kExitBind;
        loop.exit();
    });
    // The signals of a failed bind come from inside Connect(); run it from the loop.
    QTimer::singleShot(0, &loop, [&] { link_.Connect(); });
    loop.exec();
    if (status != kExitOk) {
        link_.Close();
    }
    return status;
}

int ConnectLimitMs(const DeviceLinkOptions& options) {
    return (3 * options.supervisionSeconds + 2) * 1000;
}

ReadBackOptions CliReadBackOptions() {
    ReadBackOptions o;
    o.settleMs = 50;
    o.pollMs = 0;
    o.answerMs = 500;
    o.readsBeforeLoss = 10;
    o.reconnectMs = 500;
    return o;
}

Verification::Verification(ProcessorEditor& editor, bool on) {
    if (on) {
        readBack_ = std::make_unique<ReadBack>(editor, CliReadBackOptions());
    }
}

int Verification::Wait(std::string_view command) {
    if (!readBack_) {
        return kExitOk;
    }
    ReadBack& rb = *readBack_;
    // Done when every change is confirmed, the processor stopped answering, or every record
    // still unconfirmed has used its rounds (no polling: nothing more will happen).
    const auto done = [&] {
        switch (rb.state()) {
            case SyncState::Syncing:
                return false;
            case SyncState::OutOfSync:
                return rb.unconfirmed().size() == rb.outOfSync().size() && !rb.busy();
            default:
                return true;
        }
    };
    if (!done()) {
        QEventLoop loop;
        QObject::connect(&rb, &ReadBack::changed, &loop, [&] {
            if (done())
                loop.exit();
        });
        QObject::connect(&rb, &ReadBack::reconciled, &loop, [&] {
            if (done())
                loop.exit();
        });
        loop.exec();
    }
    if (rb.state() == SyncState::InSync) {
        return kExitOk;
    }
    QStringList names;
    for (const Record& r : rb.unconfirmed()) {
        names.push_back(RecordText(r));
    }
    std::cerr << "quorvell-cli: " << command << ": "
              << (rb.state() == SyncState::LinkLost ? "the processor stopped answering; " : "")
              << "not confirmed by the processor: " << names.join(", ").toStdString() << '\n';
    return kExitUnconfirmed;
}

bool Session::WaitForPaced(int timeoutMs) {
    if (!link_.pacedRunning()) {
        return true;
    }
    return WaitFor(&DeviceLink::pacedFinished, timeoutMs);
}

}  // namespace quorvell::cli
