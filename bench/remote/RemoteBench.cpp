// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the remote API end to end on loopback: how long a PATCH of one record takes from the
// client's request to the datagram at the processor (p50/p99), and how long one change takes to
// reach each of 50 WebSocket clients (p50/p99). The simulated processor and the WebSocket clients
// run on threads of their own; the HTTP client shares the server's thread, so its own work counts.
//
// usage: quorvell_bench_remote [PATCHES] [ROUNDS]   (defaults 1000 and 100)
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "DeviceLink.h"
#include "ProcessorEditor.h"
#include "RemoteServer.h"
#include "SimProcessor.h"

namespace {

using quorvell::bench::Percentile;
using quorvell::bench::RunUntil;
using quorvell::bench::Worker;

using namespace quorvell;
using Clock = std::chrono::steady_clock;

constexpr quint16 kUdpPort = 42690;
constexpr quint16 kHttpPort = 43690;
constexpr int kClients = 50;
const QString kServerIp = QStringLiteral("127.0.26.20");
const QString kSimIp = QStringLiteral("127.0.26.21");

double Us(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int patches = argc > 1 ? std::max(10, std::atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(5, std::atoi(argv[2])) : 100;

    // The processor, on its own thread; it stamps the arrival of every datagram.
    Worker simThread;
    std::atomic<int> datagrams{0};
    std::atomic<Clock::rep> lastArrival{0};
    sim::SimOptions o;
    o.address = QHostAddress(kSimIp);
    o.port = kUdpPort;
    std::unique_ptr<sim::SimProcessor> device =
        quorvell::bench::StartProcessorOn(simThread, o, [&](const sim::LogEntry&) {
            lastArrival.store(Clock::now().time_since_epoch().count());
            datagrams.fetch_add(1);
        });

    DeviceParameters params{};
    ResetDeviceParameters(params);
    DeviceLinkOptions lo;
    lo.bindAddress = QHostAddress(kServerIp);
    lo.port = kUdpPort;
    lo.deviceAddress = kSimIp;
    DeviceLink link(params, lo);
    ProcessorEditor editor(params, link);
    RemoteOptions ro;
    ro.address = QHostAddress(kServerIp);
    ro.port = kHttpPort;
    RemoteServer server(editor, nullptr, ro);
    QString error;
    if (!server.Listen(&error)) {
        std::fprintf(stderr, "listen: %s\n", qPrintable(error));
        return 1;
    }
    bool up = false;
    QObject::connect(&link, &DeviceLink::linkEstablished, [&] { up = true; });
    link.Connect();
    if (!RunUntil([&] { return up; }, 5000)) {
        std::fprintf(stderr, "no answer from the simulator\n");
        return 1;
    }

    // PATCH -> datagram.
    QNetworkAccessManager nam;
    QNetworkRequest request(
        QUrl(QStringLiteral("http://%1:%2/api/v1/params").arg(kServerIp).arg(kHttpPort)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    // The server sends one record at most every 20 ms (a faster stream is coalesced), so the
    // requests go round the fourteen band gains and a record is edited again only after
    // 21 ms: each request measures the path of a single edit.
    std::vector<double> patchUs;
    std::vector<Clock::time_point> lastEdit(14);
    for (int i = 0; i < patches; ++i) {
        const int record = i % 14;
        const QByteArray body = QStringLiteral(R"({"ch%1.band%2.gain": %3})")
                                    .arg(1 + record / 7)
                                    .arg(1 + record % 7)
                                    .arg(-10.0 + (i % 200) * 0.1, 0, 'f', 1)
                                    .toUtf8();
        const auto ready =
            lastEdit[static_cast<std::size_t>(record)] + std::chrono::milliseconds(21);
        RunUntil([&] { return Clock::now() >= ready; }, 100);
        const int before = datagrams.load();
        const auto t0 = Clock::now();
        lastEdit[static_cast<std::size_t>(record)] = t0;
        std::unique_ptr<QNetworkReply> reply(nam.sendCustomRequest(request, "PATCH", body));
        if (!RunUntil([&] { return datagrams.load() > before; }, 2000)) {
            std::fprintf(stderr, "PATCH %d reached no processor\n", i);
            return 1;
        }
        patchUs.push_back(Us(Clock::duration(lastArrival.load()) - t0.time_since_epoch()));
        RunUntil([&] { return reply->isFinished(); }, 2000);
    }

    // One change -> 50 WebSocket clients.
    Worker clientThread;
    std::vector<std::unique_ptr<QWebSocket>> clients(kClients);
    std::vector<Clock::rep> received(kClients * static_cast<std::size_t>(rounds), 0);
    std::atomic<int> round{-1};
    std::atomic<int> arrivals{0};
    std::atomic<int> opened{0};
    clientThread.Run([&] {
        for (int c = 0; c < kClients; ++c) {
            clients[static_cast<std::size_t>(c)] = std::make_unique<QWebSocket>();
            QWebSocket* s = clients[static_cast<std::size_t>(c)].get();
            QObject::connect(s, &QWebSocket::textMessageReceived, s, [&, c](const QString& m) {
                if (!m.contains(QStringLiteral("\"type\":\"params\"")))
                    return;
                const int r = round.load();
                if (r >= 0) {
                    received[static_cast<std::size_t>(r * kClients + c)] =
                        Clock::now().time_since_epoch().count();
                    arrivals.fetch_add(1);
                }
            });
            QObject::connect(s, &QWebSocket::connected, s, [&] { opened.fetch_add(1); });
            s->open(QUrl(QStringLiteral("ws://%1:%2/api/v1/events").arg(kServerIp).arg(kHttpPort)));
        }
    });
    if (!RunUntil([&] { return opened.load() == kClients && server.ClientCount() == kClients; },
                  10000)) {
        std::fprintf(stderr, "only %d WebSocket clients connected\n", opened.load());
        return 1;
    }
    std::vector<double> fanoutUs;
    for (int r = 0; r < rounds; ++r) {
        arrivals.store(0);
        round.store(r);
        params.channels[1].bands[2].gain = 100 + r % 200;
        const auto t0 = Clock::now();
        editor.Edited({RecordKind::EqBand, 1, 2}, EditOrigin::Operator);
        if (!RunUntil([&] { return arrivals.load() == kClients; }, 5000)) {
            std::fprintf(stderr, "round %d reached %d clients\n", r, arrivals.load());
            return 1;
        }
        for (int c = 0; c < kClients; ++c) {
            fanoutUs.push_back(
                Us(Clock::duration(received[static_cast<std::size_t>(r * kClients + c)]) -
                   t0.time_since_epoch()));
        }
    }
    clientThread.Run([&] { clients.clear(); });
    simThread.Run([&] { device.reset(); });

    std::printf("PATCH -> datagram at the processor (%d requests): p50 %.0f us, p99 %.0f us\n",
                patches, Percentile(patchUs, 0.5), Percentile(patchUs, 0.99));
    std::printf(
        "one change -> each of %d WebSocket clients (%d rounds): p50 %.0f us, p99 %.0f us\n",
        kClients, rounds, Percentile(fanoutUs, 0.5), Percentile(fanoutUs, 0.99));
    return 0;
}
