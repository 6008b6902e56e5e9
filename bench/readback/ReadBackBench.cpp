// SPDX-License-Identifier: GPL-3.0-or-later
// Measures read-back as an operator would feel it, with the panel's own periods (settle
// 250 ms, poll 5 s, answer 1 s):
//   - convergence: EDITS random edits spread over 10 s while the processor drops 30 % of what
//     it receives, for 10 seeds: the share of runs in which the processor ends equal to the
//     model (and the indicator says IN SYNC), and the time from the last edit to equality,
//     p50 and p99;
//   - the longest pause of the event loop during those runs;
//   - the same runs again with the machine loaded by one busy loop (a thread that spins);
//   - datagrams per minute on an idle, linked link (no loss).
// Each figure is printed with the load average at its start.
//
// usage: quorvell_bench_readback [EDITS] [IDLE_SECONDS]   (default 500 edits, 60 s)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "DeviceLink.h"
#include "ProcessorEditor.h"
#include "ReadBack.h"
#include "SimProcessor.h"

namespace {

using quorvell::bench::Percentile;
using quorvell::bench::RunUntil;
using quorvell::bench::StallMeter;

using namespace quorvell;

constexpr quint16 kPort = 42460;
constexpr int kSeeds = 10;
constexpr int kEditSpanMs = 10000;
constexpr int kConvergeLimitMs = 30000;

struct Rig {
    explicit Rig(quint32 seed) : link(params, Options()), editor(params, link), sync(editor) {
        sim::SimOptions so;
        so.address = QHostAddress(QStringLiteral("127.0.24.32"));
        so.port = kPort;
        so.seed = seed;
        processor = bench::StartProcessor(so);
        QObject::connect(&link, &DeviceLink::frameSent, [this] { ++sent; });
    }
    static DeviceLinkOptions Options() {
        DeviceLinkOptions o;
        o.bindAddress = QHostAddress(QStringLiteral("127.0.24.31"));
        o.deviceAddress = QStringLiteral("127.0.24.32");
        o.port = kPort;
        return o;
    }
    bool Connect() {
        link.Connect();
        return RunUntil([this] { return link.linkUp(); }, 5000);
    }
    bool Equal() const {
        for (const Record& r : AllRecords()) {
            if (!SameRecord(params, processor->Settings(), r))
                return false;
        }
        return true;
    }
    std::unique_ptr<sim::SimProcessor> processor;
    DeviceParameters params{};
    DeviceLink link;
    ProcessorEditor editor;
    ReadBack sync;
    long sent = 0;
};

// One busy loop on a thread of its own for as long as it lives.
class BusyLoop {
public:
    BusyLoop()
        : thread_([this] {
              volatile unsigned long spin = 0;
              while (!stop_.load(std::memory_order_relaxed)) {
                  spin = spin + 1;
              }
          }) {}
    ~BusyLoop() {
        stop_.store(true);
        thread_.join();
    }
    BusyLoop(const BusyLoop&) = delete;
    BusyLoop& operator=(const BusyLoop&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The convergence runs; returns the number that converged.
int Convergence(const char* what, int edits, const std::vector<ParameterPath>& paths) {
    const QByteArray load = bench::LoadAverage();
    StallMeter stall;
    std::vector<double> times;
    int converged = 0;
    for (int seed = 1; seed <= kSeeds; ++seed) {
        Rig rig(static_cast<quint32>(seed));
        if (!rig.Connect()) {
            std::fprintf(stderr, "seed %d: no connect\n", seed);
            continue;
        }
        rig.processor->SetDropFraction(0.3);
        std::mt19937 random(static_cast<quint32>(seed));
        int made = 0;
        QTimer editTimer;
        editTimer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&editTimer, &QTimer::timeout, [&] {
            const ParameterPath& p = paths[random() % paths.size()];
            std::uniform_int_distribution<std::int32_t> value(p.minRaw, p.maxRaw);
            rig.editor.SetValue(p, value(random));
            if (++made == edits)
                editTimer.stop();
        });
        editTimer.start(std::max(1, kEditSpanMs / edits));
        RunUntil([&] { return made == edits; }, kEditSpanMs * 3);
        QElapsedTimer sinceLast;
        sinceLast.start();
        const bool equal = RunUntil([&] { return rig.Equal(); }, kConvergeLimitMs);
        const double ms = static_cast<double>(sinceLast.nsecsElapsed()) / 1e6;
        const bool inSync =
            equal && RunUntil([&] { return rig.sync.state() == SyncState::InSync; }, 10000);
        std::printf("%s, seed %2d: %s after %.0f ms, %ld datagrams sent\n", what, seed,
                    equal && inSync ? "equal, IN SYNC" : "NOT CONVERGED", ms, rig.sent);
        if (equal && inSync) {
            ++converged;
            times.push_back(ms);
        }
        rig.link.Close();
    }
    std::printf(
        "%s: convergence under 30%% loss, %d edits in %d s: %d/%d runs converged; "
        "last edit to equality p50 %.0f ms, p99 %.0f ms; longest event-loop stall %lld ms "
        "(load average %s)\n",
        what, edits, kEditSpanMs / 1000, converged, kSeeds, Percentile(times, 0.5),
        Percentile(times, 0.99), static_cast<long long>(stall.worstMs), load.constData());
    return converged;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int edits = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    const int idleSeconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
    std::vector<ParameterPath> paths;
    for (const ParameterPath& p : AllParameterPaths()) {
        if (p.unit != ParameterUnit::Name)
            paths.push_back(p);
    }

    int converged = Convergence("idle", edits, paths);
    {
        BusyLoop busy;
        converged += Convergence("one busy loop", edits, paths);
    }

    Rig idle(99);
    if (!idle.Connect())
        return 1;
    RunUntil([] { return false; }, 1000);  // let the connect settle
    const long before = idle.sent;
    RunUntil([] { return false; }, idleSeconds * 1000);
    std::printf("idle and linked, poll 5 s: %.1f datagrams per minute (%ld in %d s)\n",
                static_cast<double>(idle.sent - before) * 60.0 / idleSeconds, idle.sent - before,
                idleSeconds);
    return converged == 2 * kSeeds ? 0 : 1;
}
