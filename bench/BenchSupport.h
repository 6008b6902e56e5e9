// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers shared by the end-to-end benchmarks: running the event loop until a condition holds,
// percentiles of measured samples, and a thread for objects that must not share the measured
// event loop.
#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
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
