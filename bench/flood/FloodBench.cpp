// SPDX-License-Identifier: GPL-3.0-or-later
// The panel under a flood of status frames from its own processor's address: reset- and
// full-state frames by turns, 10 per millisecond, while the window is shown and linked. The
// processor's CH1 level changes early on, so the last frames carry another state than the
// first. Reports, per flood size, the longest gap between two turns of the panel's event loop,
// whether the link is still up afterwards and whether the screen then shows the processor's
// last state. The simulator runs on a thread of its own.
//
// usage: quorvell_bench_flood [COUNT...]   (default 10000 50000)
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "CEqPage.h"
#include "CMainDialog.h"
#include "CPanelApp.h"
#include "CValueStepper.h"
#include "DeviceLink.h"
#include "PanelBenchSupport.h"
#include "ReadBack.h"
#include "SimProcessor.h"

namespace {

using quorvell::bench::RunUntil;
using quorvell::bench::Worker;
using namespace quorvell;

constexpr quint16 kUdpPort = 42694;
const QString kPanelIp = QStringLiteral("127.0.26.34");
const QString kSimIp = QStringLiteral("127.0.26.35");

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::clamp(std::atoi(argv[i]), 1, 1000000));
    }
    if (counts.empty()) {
        counts = {10000, 50000};
    }

    Worker simThread;
    std::atomic<bool> flooding{false};
    sim::SimOptions o;
    o.address = QHostAddress(kSimIp);
    o.port = kUdpPort;
    std::unique_ptr<sim::SimProcessor> device = bench::StartProcessorOn(simThread, o);
    simThread.Run([&] {
        QObject::connect(
            device.get(), &sim::SimProcessor::floodEnded, device.get(),
            [&] { flooding.store(false); }, Qt::DirectConnection);
    });

    PanelOptions options;
    options.bind = kPanelIp.toStdString();
    options.device = kSimIp.toStdString();
    options.port = kUdpPort;
    const auto linked = bench::StartLinkedPanel(options);
    if (!linked) {
        return 1;
    }
    CPanelApp& panel = *linked->app;
    CValueStepper* levelStepper = panel.MainDialog()->EqPage()->Stepper(1080);  // CH1 level

    int failures = 0;
    for (std::size_t run = 0; run < counts.size(); ++run) {
        const int count = counts[run];
        const int level = 100 + static_cast<int>(run) * 5;  // raw CH1 level the flood ends with
        QElapsedTimer clock;
        clock.start();
        bench::LoopGapMeter gaps;
        flooding.store(true);
        simThread.Run([&] { device->SetFloodCount(count); });
        const QByteArray loadBefore = bench::LoadAverage();
        gaps.Start();
        panel.Sync().RequestRead();  // its answer starts the flood
        QTimer::singleShot(count / 20, [&] {
            simThread.Run([&] { device->MutableSettings().channels[0].level = level; });
        });
        RunUntil([&] { return !flooding.load(); }, count + 30000);
        RunUntil([] { return false; }, 300);  // the last frames are read
        gaps.Stop();
        const double floodMs = static_cast<double>(clock.elapsed());
        simThread.Run([&] { device->SetFloodCount(0); });

        // The next read brings the processor's last state onto the screen.
        panel.Sync().RequestRead();
        const bool shown = RunUntil(
            [&] {
                return panel.Parameters().channels[0].level == level &&
                       levelStepper->GetValue() == level &&
                       panel.Sync().state() == SyncState::InSync;
            },
            10000);
        const bool up = panel.Link().linkUp();
        std::printf(
            "%d status frames in %.0f ms: longest UI stall %.1f ms; link %s, screen %s "
            "(load average %s)\n",
            count, floodMs, gaps.LongestMs(), up ? "up" : "DOWN",
            shown ? "shows the last state" : "DOES NOT SHOW THE LAST STATE",
            loadBefore.constData());
        failures += up && shown ? 0 : 1;
    }
    simThread.Run([&] { device.reset(); });
    return failures == 0 ? 0 : 1;
}
