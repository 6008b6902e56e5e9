// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the end-to-end benchmarks: running the event loop until a condition holds,
// percentiles of measured samples, and a thread for objects that must not share the measured
// event loop.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "SimProcessor.h"

namespace quorvell::bench {

// Runs the event loop until `done` holds or `limitMs` passes, checking every millisecond;
// whether it holds.
inline bool RunUntil(const std::function<bool()>& done, int limitMs) {
    if (done()) {
        return true;
    }
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done()) {
            loop.quit();
        }
    });
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    check.start(1);
    loop.exec();
    return done();
}

// The `p` quantile (0..1) of `v` by the nearest rank; 0 for no samples.
inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5);
    return v[std::min(i, v.size() - 1)];
}

// A simulated processor with `options` (without its log, which would only grow), started; a
// processor that cannot bind ends the benchmark with a message.
inline std::unique_ptr<sim::SimProcessor> StartProcessor(sim::SimOptions options) {
    options.keepLog = false;
    auto processor = std::make_unique<sim::SimProcessor>(options);
    QString error;
    if (!processor->Start(&error)) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(error));
        std::exit(1);
    }
    return processor;
}

// The machine's load average as /proc gives it ("?" where there is none): busy machines
// stall every event loop, so the figures say what they were measured on.
inline QByteArray LoadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

// A thread of its own; Run() executes `f` on it and returns when `f` has.
class Worker {
public:
    Worker() {
        thread_.start();
        context_.moveToThread(&thread_);
    }
    ~Worker() {
        thread_.quit();
        thread_.wait();
    }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;
    void Run(const std::function<void()>& f) {
        QMetaObject::invokeMethod(&context_, f, Qt::BlockingQueuedConnection);
    }

private:
    QThread thread_;
    QObject context_;
};

// A simulated processor started on `thread`, so that it does not share the measured event loop;
// `onDatagram` (if given) runs on that thread for every datagram it receives.
inline std::unique_ptr<sim::SimProcessor> StartProcessorOn(
    Worker& thread, sim::SimOptions options,
    std::function<void(const sim::LogEntry&)> onDatagram = {}) {
    std::unique_ptr<sim::SimProcessor> processor;
    thread.Run([&] {
        processor = StartProcessor(options);
        if (onDatagram) {
            QObject::connect(processor.get(), &sim::SimProcessor::datagramLogged, processor.get(),
                             onDatagram, Qt::DirectConnection);
        }
    });
    return processor;
}

// The longest gap between two turns of the event loop (a zero timer), in nanoseconds, from
// Start() on.
struct LoopGapMeter {
    LoopGapMeter() {
        QObject::connect(&beat, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longestNs = std::max(longestNs, now - last);
            last = now;
        });
        clock.start();
    }
    void Start() {
        longestNs = 0;
        last = clock.nsecsElapsed();
        beat.start(0);
    }
    void Stop() { beat.stop(); }
    double LongestMs() const { return static_cast<double>(longestNs) / 1e6; }

    QTimer beat;
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longestNs = 0;
};

// The longest gap between two ticks of a 1 ms timer.
struct StallMeter {
    StallMeter() {
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout,
                         [this] { worstMs = std::max(worstMs, clock.restart()); });
        clock.start();
        timer.start(1);
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 worstMs = 0;
};

}  // namespace quorvell::bench
