// SPDX-License-Identifier: GPL-3.0-or-later
// The remote API against a hostile local client, on loopback only: the server's memory growth
// while a client streams a 100 MB message in continuation frames, and how long a new client
// waits for an answer while 300 others trickle one byte a second into unfinished request
// heads. The hostile clients run on a thread of their own.
//
// usage: quorvell_bench_remote_hostile [MEGABYTES] [TRICKLERS]   (defaults 100 and 300)
#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "DeviceLink.h"
#include "ProcessorEditor.h"
#include "RemoteServer.h"

namespace {

using quorvell::bench::Percentile;
using quorvell::bench::RunUntil;
using quorvell::bench::Worker;

using namespace quorvell;
using Clock = std::chrono::steady_clock;

constexpr quint16 kUdpPort = 42692;
constexpr quint16 kHttpPort = 43692;
constexpr qint64 kFrameBytes = 64 * 1024;
const QString kServerIp = QStringLiteral("127.0.26.24");

// Resident memory of this process in bytes.
qint64 ResidentBytes() {
    QFile f(QStringLiteral("/proc/self/statm"));
    if (!f.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = f.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096;
}

// One masked client frame: `first` opens a text message, else it continues one; never final.
QByteArray ContinuedFrame(bool first, const QByteArray& payload) {
    QByteArray f;
    f.append(char(first ? 0x01 : 0x00));
    f.append(char(0x80 | 127));
    for (int shift = 56; shift >= 0; shift -= 8) {
        f.append(char((quint64(payload.size()) >> shift) & 0xFF));
    }
    const quint32 mask = QRandomGenerator::global()->generate();
    const char m[4] = {char(mask >> 24), char(mask >> 16), char(mask >> 8), char(mask)};
    f.append(m, 4);
    for (qsizetype i = 0; i < payload.size(); ++i) {
        f.append(char(payload[i] ^ m[i % 4]));
    }
    return f;
}

const QByteArray kUpgrade =
    "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.26.24:43692\r\nUpgrade: websocket\r\n"
    "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
    "Sec-WebSocket-Version: 13\r\n\r\n";

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const qint64 megabytes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    const int tricklers = argc > 2 ? std::max(1, std::atoi(argv[2])) : 300;

    DeviceParameters params{};
    ResetDeviceParameters(params);
    DeviceLinkOptions lo;
    lo.bindAddress = QHostAddress(kServerIp);
    lo.port = kUdpPort;
    lo.deviceAddress = QStringLiteral("127.0.26.25");  // never connected
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

    // 1. A fragmented message of MEGABYTES, written as fast as the server reads it.
    Worker hostile;
    std::atomic<qint64> sent{0};
    std::atomic<bool> closed{false};
    std::unique_ptr<QTcpSocket> streamer;
    const qint64 total = megabytes * 1024 * 1024;
    const qint64 before = ResidentBytes();
    hostile.Run([&] {
        streamer = std::make_unique<QTcpSocket>();
        QTcpSocket* s = streamer.get();
        const QByteArray chunk(kFrameBytes, 'x');
        const auto more = [s, &sent, &chunk, total] {
            while (s->bytesToWrite() < 4 * kFrameBytes && sent.load() < total) {
                s->write(ContinuedFrame(sent.load() == 0, chunk));
                sent.fetch_add(kFrameBytes);
            }
        };
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, more] {
            if (s->readAll().contains("101 Switching Protocols")) {
                more();
            }
        });
        QObject::connect(s, &QTcpSocket::bytesWritten, s, more);
        QObject::connect(s, &QTcpSocket::disconnected, s, [&closed] { closed = true; });
        QObject::connect(s, &QTcpSocket::errorOccurred, s, [&closed] { closed = true; });
        s->connectToHost(kServerIp, kHttpPort);
        s->write(kUpgrade);
    });
    qint64 peak = before;
    RunUntil(
        [&] {
            peak = std::max(peak, ResidentBytes());
            return closed.load() || sent.load() >= total;
        },
        120000);
    const qint64 writtenBeforeClose = sent.load();
    RunUntil([&] { return closed.load(); }, 5000);  // a close arrives shortly after the cap
    peak = std::max(peak, ResidentBytes());
    RunUntil([&] { return server.ClientCount() == 0; }, 5000);
    std::printf(
        "fragmented message: %.1f MB offered, %.2f MB written, "
        "server %s, memory growth %.2f MB (limit 10)\n",
        double(total) / 1048576.0, double(writtenBeforeClose) / 1048576.0,
        closed.load() ? "closed the socket" : "KEPT READING", double(peak - before) / 1048576.0);
    hostile.Run([&] { streamer.reset(); });

    // 2. TRICKLERS clients from five addresses, each sending one byte a second of a request
    // head that never ends; meanwhile a new client asks for the state, twenty times.
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    std::unique_ptr<QTimer> trickle;
    hostile.Run([&] {
        for (int i = 0; i < tricklers; ++i) {
            auto s = std::make_unique<QTcpSocket>();
            s->bind(QHostAddress(QStringLiteral("127.0.27.%1").arg(1 + i % 5)));
            s->connectToHost(kServerIp, kHttpPort);
            slow.push_back(std::move(s));
        }
        trickle = std::make_unique<QTimer>();
        trickle->setInterval(1000);
        QObject::connect(trickle.get(), &QTimer::timeout, trickle.get(), [&slow] {
            for (auto& s : slow) {
                if (s->state() == QAbstractSocket::ConnectedState) {
                    s->write("G");
                } else if (s->state() == QAbstractSocket::UnconnectedState) {
                    s->connectToHost(kServerIp, kHttpPort);  // cut: come back
                }
            }
        });
        trickle->start();
    });
    RunUntil([] { return false; }, 3000);  // let the tricklers fill the server
    std::vector<double> answerMs;
    int failed = 0;
    for (int i = 0; i < 20; ++i) {
        QTcpSocket client;
        client.bind(QHostAddress(QStringLiteral("127.0.28.1")));
        const auto t0 = Clock::now();
        client.connectToHost(kServerIp, kHttpPort);
        client.write("GET /api/v1/state HTTP/1.1\r\nHost: 127.0.26.24:43692\r\n\r\n");
        QByteArray answer;
        const bool ok = RunUntil(
            [&] {
                answer += client.readAll();
                return answer.contains("\r\n\r\n");
            },
            5000);
        if (!ok || !answer.startsWith("HTTP/1.1 200")) {
            ++failed;
            continue;
        }
        answerMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        RunUntil([] { return false; }, 200);
    }
    std::printf(
        "new client among %d trickling clients: answer p50 %.2f ms, p99 %.2f ms, max "
        "%.2f ms (limit 100), %d of 20 not answered\n",
        tricklers, Percentile(answerMs, 0.5), Percentile(answerMs, 0.99),
        answerMs.empty() ? 0.0 : *std::max_element(answerMs.begin(), answerMs.end()), failed);
    hostile.Run([&] {
        trickle.reset();
        slow.clear();
    });
    return 0;
}
