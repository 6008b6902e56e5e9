// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what an operator feels of the link: how long an edit takes to reach the processor
// (p50/p99 on loopback), and the longest pause of the event loop while the link connects,
// sweeps a /24 and sends a 25-frame paced sequence. The simulated processors run on their own
// thread, as a real processor would be elsewhere.
//
// usage: quorvell_bench_link [EDITS]   (default 2000 edits)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "DeviceLink.h"
#include "SimProcessor.h"

namespace {

using quorvell::bench::Percentile;
using quorvell::bench::RunUntil;

using namespace quorvell;
using Clock = std::chrono::steady_clock;

constexpr quint16 kPort = 41901;
const QString kLinkIp = QStringLiteral("127.0.21.1");

// Simulated processors living on a thread of their own.
class SimThread {
public:
    SimThread() {
        thread_.start();
        context_.moveToThread(&thread_);
    }
    ~SimThread() {
        Run([this] { sims_.clear(); });
        thread_.quit();
        thread_.wait();
    }
    void Run(const std::function<void()>& f) {
        QMetaObject::invokeMethod(&context_, f, Qt::BlockingQueuedConnection);
    }
    sim::SimProcessor* Add(int host, const std::string& name) {
        sim::SimProcessor* added = nullptr;
        Run([&] {
            sim::SimOptions o;
            o.address = QHostAddress(QStringLiteral("127.0.21.%1").arg(host));
            o.port = kPort;
            o.name = name;
            sims_.push_back(bench::StartProcessor(o));
            added = sims_.back().get();
        });
        return added;
    }

private:
    QThread thread_;
    QObject context_;
    std::vector<std::unique_ptr<sim::SimProcessor>> sims_;
};

// Records the longest gap between ticks of a 1 ms timer while an operation runs.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const auto now = Clock::now();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void Start() {
        longest_ = {};
        last_ = Clock::now();
        timer_.start(1);
    }
    double StopMs() {
        timer_.stop();
        longest_ = std::max(longest_, Clock::now() - last_);
        return std::chrono::duration<double, std::milli>(longest_).count();
    }

private:
    QTimer timer_;
    Clock::time_point last_;
    Clock::duration longest_{};
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int edits = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;

    SimThread sims;
    sim::SimProcessor* device = sims.Add(2, "BENCH");
    for (int h : {3, 4})
        sims.Add(h, "SIDE-" + std::to_string(h));

    std::vector<Clock::time_point> arrived(static_cast<std::size_t>(edits) + 64);
    std::atomic<int> count{0};
    QObject::connect(
        device, &sim::SimProcessor::datagramLogged, device,
        [&](const sim::LogEntry&) {
            const int i = count.load();
            if (i < static_cast<int>(arrived.size()))
                arrived[static_cast<std::size_t>(i)] = Clock::now();
            count.store(i + 1);
        },
        Qt::DirectConnection);

    DeviceParameters params{};
    ResetDeviceParameters(params);
    DeviceLinkOptions options;
    options.bindAddress = QHostAddress(kLinkIp);
    options.port = kPort;
    options.deviceAddress = QStringLiteral("127.0.21.2");
    DeviceLink link(params, options);
    StallMeter meter;

    // Connect: from the click to the applied state.
    bool up = false;
    QObject::connect(&link, &DeviceLink::linkEstablished, [&] { up = true; });
    meter.Start();
    const auto connectStart = Clock::now();
    link.Connect();
    RunUntil([&] { return up; }, 5000);
    const double connectMs =
        std::chrono::duration<double, std::milli>(Clock::now() - connectStart).count();
    const double connectStall = meter.StopMs();
    if (!up) {
        std::fprintf(stderr, "no answer from the simulator\n");
        return 1;
    }

    // Edit to datagram: store the value, send the band, wait for the simulator to log it.
    std::vector<double> latencyUs;
    latencyUs.reserve(static_cast<std::size_t>(edits));
    for (int i = 0; i < edits; ++i) {
        const int before = count.load();
        const auto t0 = Clock::now();
        params.channels[0].bands[3].gain = 100 + i % 200;
        link.SendEqBand(0, 3);
        while (count.load() == before) {
            if (Clock::now() - t0 > std::chrono::seconds(1))
                break;
        }
        if (count.load() > before && before < static_cast<int>(arrived.size())) {
            latencyUs.push_back(std::chrono::duration<double, std::micro>(
                                    arrived[static_cast<std::size_t>(before)] - t0)
                                    .count());
        }
        if (count.load() >= static_cast<int>(arrived.size()) - 1)
            count.store(0);
    }

    // A 25-frame paced sequence (as a page RESET or a recall would send).
    PacedSequence sequence;
    for (int i = 0; i < 25; ++i) {
        const auto f = BuildEqBand(params, i % 2, 1 + i % 7);
        sequence.push_back({*f, i % 5 == 4 ? 50 : 20});
    }
    bool pacedDone = false;
    QObject::connect(&link, &DeviceLink::pacedFinished, [&] { pacedDone = true; });
    meter.Start();
    QElapsedTimer pacedClock;
    pacedClock.start();
    link.SendPaced(sequence);
    RunUntil([&] { return pacedDone; }, 10000);
    const qint64 pacedMs = pacedClock.elapsed();
    const double pacedStall = meter.StopMs();

    // Discovery: the full sweep of 127.0.21.0/24 at 5 ms per host, three processors answering.
    link.Disconnect();
    bool swept = false;
    QObject::connect(&link, &DeviceLink::searchFinished, [&] { swept = true; });
    meter.Start();
    QElapsedTimer sweepClock;
    sweepClock.start();
    link.StartSearch();
    RunUntil([&] { return swept; }, 10000);
    const qint64 sweepMs = sweepClock.elapsed();
    RunUntil([] { return false; }, 100);
    const double sweepStall = meter.StopMs();
    const auto found = link.foundDevices().size();
    link.Close();

    // The same heartbeat with nothing to do: what the scheduler alone costs.
    meter.Start();
    RunUntil([] { return false; }, 1000);
    const double idleStall = meter.StopMs();

    std::printf(
        "edit -> datagram at the simulator (%zu edits): p50 %.1f us, p99 %.1f us, max %.1f us\n",
        latencyUs.size(), Percentile(latencyUs, 0.5), Percentile(latencyUs, 0.99),
        Percentile(latencyUs, 1.0));
    std::printf("longest event-loop stall (1 ms heartbeat):\n");
    std::printf("  idle, 1 s baseline %.2f ms  (the machine's own scheduling noise)\n", idleStall);
    std::printf("  connect            %.2f ms  (state applied after %.2f ms)\n", connectStall,
                connectMs);
    std::printf("  25-frame paced     %.2f ms  (sequence took %lld ms)\n", pacedStall,
                static_cast<long long>(pacedMs));
    std::printf("  discovery sweep    %.2f ms  (sweep took %lld ms, %lld found)\n", sweepStall,
                static_cast<long long>(sweepMs), static_cast<long long>(found));
    return 0;
}
