// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the end-to-end tests: a link bound to 127.0.20.1, simulated processors on
// 127.0.20.2.., a wall clock the test controls, and waiting on the event loop.
#pragma once

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "DeviceLink.h"
#include "ProcessorEditor.h"
#include "SimProcessor.h"

namespace quorvell::test {

inline constexpr char kLinkIp[] = "127.0.20.1";

inline QString SimIp(int host) {
    return QStringLiteral("127.0.20.%1").arg(host);
}

// A wall clock at `seconds` past midnight, moved by the test or by `stepSeconds` at every
// reading.
struct FakeClock {
    int seconds = 12 * 3600;
    int stepSeconds = 0;

    WallClock Clock() {
        return [this] {
            SystemTime t{2024, 5, 3, 15, 0, 0, 0, 0};
            t.hour = static_cast<std::uint16_t>(seconds / 3600);
            t.minute = static_cast<std::uint16_t>(seconds / 60 % 60);
            t.second = static_cast<std::uint16_t>(seconds % 60);
            seconds = (seconds + stepSeconds) % (24 * 3600);
            return t;
        };
    }
};

inline DeviceLinkOptions LinkOptions(quint16 port, FakeClock* clock = nullptr,
                                     const QString& linkIp = kLinkIp,
                                     const QString& simIp = SimIp(2)) {
    DeviceLinkOptions o;
    o.bindAddress = QHostAddress(linkIp);
    o.port = port;
    o.deviceAddress = simIp;
    o.timerPeriodMs = 2;
    o.sweepStepMs = 1;
    if (clock != nullptr) {
        o.clock = clock->Clock();
    }
    return o;
}

// Simulator options with `edit` applied: With([](auto& o) { o.noAnswer = true; }).
template <typename Edit>
sim::SimOptions With(Edit edit) {
    sim::SimOptions o;
    edit(o);
    return o;
}

inline std::unique_ptr<sim::SimProcessor> StartSim(const QString& address, quint16 port,
                                                   sim::SimOptions options = {}) {
    options.address = QHostAddress(address);
    options.port = port;
    auto s = std::make_unique<sim::SimProcessor>(std::move(options));
    QString error;
    if (!s->Start(&error)) {
        ADD_FAILURE() << "simulator did not start: " << error.toStdString();
    }
    return s;
}

// Received datagrams of one command code.
inline int CountCode(const sim::SimProcessor& s, CommandCode code) {
    return int(std::count_if(s.Log().begin(), s.Log().end(), [code](const sim::LogEntry& e) {
        return e.decoded.code == static_cast<std::uint8_t>(code);
    }));
}

// Runs the event loop until `done` holds; generous bound so that a slow machine passes.
// The loop keeps running between checks, so the link's millisecond timers stay on time.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    poll.start(1);
    loop.exec();
    return done();
}

// Runs the event loop for `ms` so that anything still in flight can arrive.
inline void Settle(int ms = 50) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Connects `link` and waits for the handshake.
inline bool ConnectAndWait(DeviceLink& link) {
    QSignalSpy up(&link, &DeviceLink::linkEstablished);
    return link.Connect() && WaitFor([&] { return up.count() > 0; });
}

// A processor at `simIp` and a link bound to `linkIp` with an editor over it, all on `port`.
struct Rig {
    explicit Rig(quint16 port, sim::SimOptions so = {}, FakeClock* clock = nullptr,
                 const QString& linkIp = kLinkIp, const QString& simIp = SimIp(2))
        : sim(StartSim(simIp, port, std::move(so))),
          link(params, LinkOptions(port, clock, linkIp, simIp)),
          editor(params, link) {}
    std::unique_ptr<sim::SimProcessor> sim;
    DeviceParameters params{};
    DeviceLink link;
    ProcessorEditor editor;
};

// "a b c" as {"a", "b", "c"}: command lines in tables.
inline QStringList Words(const char* text) {
    return QString::fromUtf8(text).split(' ', Qt::SkipEmptyParts);
}

inline QByteArray ToBytes(const Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.Bytes().data()),
                      static_cast<qsizetype>(f.Size()));
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
};

#ifdef QUORVELL_CLI_PATH
// Runs quorvell-cli with `args` (bound to `linkIp` and aimed at `simIp` on `port` when `port`
// is given) and waits on the event loop, so that the in-process simulator keeps answering.
inline CliRun RunCli(std::optional<quint16> port, const QStringList& args,
                     const QString& linkIp = kLinkIp, const QString& simIp = SimIp(2)) {
    QStringList all;
    if (port) {
        all = {"--bind", linkIp, "--device", simIp, "--port", QString::number(*port)};
    }
    QProcess p;
    p.start(QStringLiteral(QUORVELL_CLI_PATH), all + args);
    if (!p.waitForStarted(5000)) {
        ADD_FAILURE() << "quorvell-cli did not start";
        return {};
    }
    WaitFor([&] { return p.state() == QProcess::NotRunning; }, 30000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}
#endif

}  // namespace quorvell::test
