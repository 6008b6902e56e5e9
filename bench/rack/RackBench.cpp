// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a rack of N simulated processors (in process, 127.0.43.2..) linked from one rack
// over one endpoint (127.0.43.1), with the panel's read-back periods:
//   - connect all: from ConnectAll() to every link up;
//   - a group edit: from the first member's edit to the last processor holding the value,
//     p50 and p99 over ROUNDS edits;
//   - the longest pause of the event loop while N read-backs run (one read each, at once).
//
// usage: quorvell_bench_rack [N] [ROUNDS]   (default 32 processors, 50 rounds)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "ProcessorRack.h"
#include "SimProcessor.h"

namespace {

using namespace quorvell;
using quorvell::bench::Percentile;
using quorvell::bench::RunUntil;
using quorvell::bench::StallMeter;

constexpr quint16 kPort = 42480;

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 200) : 32;
    const int rounds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 1000) : 50;

    std::vector<std::unique_ptr<sim::SimProcessor>> sims;
    DeviceLinkOptions lo;
    lo.bindAddress = QHostAddress(QStringLiteral("127.0.43.1"));
    lo.port = kPort;
    ProcessorRack rack(lo);
    QStringList members;
    for (int i = 0; i < n; ++i) {
        const QString ip = QHostAddress(QHostAddress(QStringLiteral("127.0.43.2")).toIPv4Address() +
                                        static_cast<quint32>(i))
                               .toString();
        sim::SimOptions so;
        so.address = QHostAddress(ip);
        so.port = kPort;
        so.keepLog = false;
        sims.push_back(bench::StartProcessor(so));
        rack.Add(ip);
        members.push_back(ip);
    }
    rack.SetGroup(QStringLiteral("all"), members);
    const QList<ProcessorEditor*> group = rack.GroupEditors(QStringLiteral("all"));
    const auto allUp = [&] {
        return std::all_of(group.begin(), group.end(),
                           [](ProcessorEditor* e) { return e->Link().linkUp(); });
    };

    QElapsedTimer t;
    t.start();
    rack.ConnectAll();
    if (!RunUntil(allUp, 10000)) {
        std::fprintf(stderr, "not every processor linked\n");
        return 1;
    }
    const double connectMs = static_cast<double>(t.nsecsElapsed()) / 1e6;

    // Each processor's arrival is stamped by its own datagram signal, not by polling.
    const ParameterPath gain = *FindParameterPath("ch1.band3.gain");
    std::vector<double> editMs;
    double lastArrivalMs = 0;
    for (const auto& s : sims) {
        QObject::connect(s.get(), &sim::SimProcessor::datagramLogged,
                         [&] { lastArrivalMs = static_cast<double>(t.nsecsElapsed()) / 1e6; });
    }
    for (int r = 0; r < rounds; ++r) {
        const std::int32_t raw = 100 + (r % 2) * 50;
        RunUntil([] { return false; }, 300);  // the last round's reads settle first
        t.restart();
        for (ProcessorEditor* e : group) {
            e->SetValue(gain, raw);
        }
        const bool done = RunUntil(
            [&] {
                return std::all_of(sims.begin(), sims.end(),
                                   [&](const auto& s) { return gain.Value(s->Settings()) == raw; });
            },
            5000);
        if (!done) {
            std::fprintf(stderr, "a group edit did not reach every processor\n");
            return 1;
        }
        editMs.push_back(lastArrivalMs);
    }

    // Every read-back at once, while the loop is timed.
    RunUntil([] { return false; }, 400);  // the edits' own reads settle first
    StallMeter meter;
    for (ProcessorEditor* e : group) {
        e->Sync()->RequestRead();
    }
    RunUntil(
        [&] {
            return std::none_of(group.begin(), group.end(),
                                [](ProcessorEditor* e) { return e->Sync()->busy(); });
        },
        10000);
    const qint64 stallMs = meter.worstMs;

    std::printf("processors                 %d\n", n);
    std::printf("connect all                %.1f ms\n", connectMs);
    std::printf("group edit on the wire     p50 %.2f ms  p99 %.2f ms  (%d rounds)\n",
                Percentile(editMs, 0.5), Percentile(editMs, 0.99), rounds);
    std::printf("longest loop stall, %d reads %lld ms\n", n, static_cast<long long>(stallMs));
    rack.CloseAll();
    return 0;
}
