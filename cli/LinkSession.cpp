// Connected-command plumbing shared by the link, preset and import commands.
#include "LinkSession.h"

#include <QCoreApplication>
#include <QSettings>
#include <iostream>

#include "PresetStore.h"

namespace quorvell::cli {
namespace {
const char* const kDefaultDevice = "192.168.0.106";
const char* const kEmptyDevice = "192.168.1.106";
}  // namespace

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "quorvell-cli";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        SetApplicationIdentity();
        static QCoreApplication app(argc, argv);
    }
}

std::string StoredDevice() {
    QSettings settings(QStringLiteral("Quorvell"), QStringLiteral("Quorvell"));
    settings.beginGroup(QStringLiteral("U_FONT_SECTION"));
    if (!settings.contains(QStringLiteral("hostip"))) {
        return kDefaultDevice;
    }
    const QString stored = settings.value(QStringLiteral("hostip")).toString();
    return stored.isEmpty() ? kEmptyDevice : stored.toStdString();
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

std::optional<DeviceLinkOptions> LinkOptionsFor(const GlobalOptions& g, std::string device,
                                                int retrySeconds) {
    DeviceLinkOptions o;
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
    if (device.empty()) {
        device = StoredDevice();
    }
    if (!ParseIpv4(device)) {
        UsageError("--device: '" + device + "' is not an IPv4 address");
        return std::nullopt;
    }
    o.deviceAddress = QString::fromStdString(device);
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
    QObject::connect(&link_, &DeviceLink::linkEstablished, &loop, [&] { loop.exit(); });
    QObject::connect(&link_, &DeviceLink::connectFailed, &loop, [&] {
        std::cerr << kTextCannotConnect << '\n';
        status = kExitNoAnswer;
        loop.exit();
    });
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

bool Session::WaitForPaced(int timeoutMs) {
    if (!link_.pacedRunning()) {
        return true;
    }
    return WaitFor(&DeviceLink::pacedFinished, timeoutMs);
}

}  // namespace quorvell::cli
