// Helpers shared by the end-to-end benchmarks: running the event loop until a condition holds,
// and percentiles of measured samples.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

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

}  // namespace quorvell::bench
