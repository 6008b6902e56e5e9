// SPDX-License-Identifier: GPL-3.0-or-later
// Switching the panel's pages between the processors of a rack: N in-process simulators
// (127.0.49.2..) linked from one panel bound to 127.0.49.1; each switch is timed from the
// choice of a processor to the window painted with its values (SwitchProcessor, then a
// synchronous repaint of the window).
//
// usage: quorvell_bench_panel_switch [N] [ROUNDS]   (defaults 32 and 20)
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "CMainDialog.h"
#include "CPanelApp.h"
#include "DeviceLink.h"
#include "PanelBenchSupport.h"
#include "ProcessorEditor.h"
#include "ProcessorRack.h"
#include "SimProcessor.h"

using namespace quorvell;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 200) : 32;
    const int rounds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 1000) : 20;
    constexpr quint16 kPort = 42490;
    const quint32 first = QHostAddress(QStringLiteral("127.0.49.2")).toIPv4Address();

    std::vector<std::unique_ptr<sim::SimProcessor>> processors;
    QStringList addresses;
    for (int i = 0; i < count; ++i) {
        sim::SimOptions o;
        o.address = QHostAddress(first + static_cast<quint32>(i));
        o.port = kPort;
        processors.push_back(bench::StartProcessor(o));
        processors.back()->MutableSettings().channels[0].bands[3].gain = 100 + i;
        addresses << o.address.toString();
    }

    PanelOptions options;
    options.bind = "127.0.49.1";
    options.device = addresses.front().toStdString();
    options.port = kPort;
    const auto linked = bench::StartLinkedPanel(options);
    if (!linked) {
        return 1;
    }
    CPanelApp& panel = *linked->app;
    for (int i = 1; i < count; ++i) {
        panel.Rack().Add(addresses[i])->Link().Connect();
    }
    const auto allUp = [&] {
        const QList<ProcessorEditor*> editors = panel.Rack().Editors();
        return editors.size() == count && std::all_of(editors.begin(), editors.end(),
                                                      [](auto* e) { return e->Link().linkUp(); });
    };
    if (!bench::RunUntil(allUp, 10000)) {
        std::fprintf(stderr, "not every processor linked\n");
        return 1;
    }
    bench::RunUntil([] { return false; }, 300);  // the connects' own work settles

    CMainDialog& window = *panel.MainDialog();
    std::vector<double> ms;
    const QList<ProcessorEditor*> editors = panel.Rack().Editors();
    for (int r = 0; r < rounds; ++r) {
        for (ProcessorEditor* editor : editors) {
            QElapsedTimer clock;
            clock.start();
            window.SwitchProcessor(*editor);
            window.repaint();
            ms.push_back(static_cast<double>(clock.nsecsElapsed()) / 1e6);
            QCoreApplication::processEvents();
        }
    }
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))];
    };
    std::printf("%d processors, %zu switches: page switch p50 %.2f ms, p99 %.2f ms, max %.2f ms\n",
                count, ms.size(), at(0.5), at(0.99), ms.back());
    return 0;
}
