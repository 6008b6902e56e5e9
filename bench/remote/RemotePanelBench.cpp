// SPDX-License-Identifier: GPL-3.0-or-later
// The panel under a stream of remote edits: PATCH requests at a fixed rate (default 1000/s for
// 10 s) against the panel's own server while its window is shown and linked to a simulated
// processor. Reports the longest gap between two turns of the panel's event loop (the UI
// stall an operator would feel), the requests answered, and the datagrams the processor
// received per request. The simulator and the HTTP clients run on threads of their own.
//
// usage: quorvell_bench_remote_panel [RATE] [SECONDS]   (defaults 1000 and 10)
#include <QApplication>
#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

#include "DeviceLink.h"
#include "PanelBenchSupport.h"
#include "RemoteServer.h"
#include "SimProcessor.h"

namespace {

using quorvell::bench::RunUntil;
using quorvell::bench::Worker;
using namespace quorvell;

constexpr quint16 kUdpPort = 42692;
constexpr quint16 kHttpPort = 43692;
constexpr std::uint8_t kEqBand = 1;  // the code of CmdEqBand
constexpr int kInFlight = 32;        // requests a client keeps open at most
const QString kPanelIp = QStringLiteral("127.0.26.24");
const QString kSimIp = QStringLiteral("127.0.26.25");

// Sends PATCHes at `rate` per second for `seconds`, on the thread it lives on; a request is
// skipped (and counted) when kInFlight are still open.
class Load : public QObject {
public:
    Load(int rate, int seconds) : rate_(rate), total_(rate * seconds) {}
    void Start() {
        nam_ = std::make_unique<QNetworkAccessManager>();
        request_.setUrl(
            QUrl(QStringLiteral("http://%1:%2/api/v1/params").arg(kPanelIp).arg(kHttpPort)));
        request_.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        clock_.start();
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_.start(1);
    }
    std::atomic<int> sent{0};
    std::atomic<int> answered{0};
    std::atomic<int> skipped{0};
    std::atomic<bool> done{false};

private:
    void Tick() {
        // Catch up with the schedule: request n is due at n / rate seconds.
        const qint64 due = std::min<qint64>(total_, clock_.elapsed() * rate_ / 1000);
        while (issued_ < due) {
            ++issued_;
            if (open_ >= kInFlight) {
                skipped.fetch_add(1);
                continue;
            }
            const QByteArray body = QStringLiteral(R"({"ch1.band3.gain": %1})")
                                        .arg(-10.0 + (issued_ % 200) * 0.1, 0, 'f', 1)
                                        .toUtf8();
            QNetworkReply* reply = nam_->sendCustomRequest(request_, "PATCH", body);
            ++open_;
            sent.fetch_add(1);
            QObject::connect(reply, &QNetworkReply::finished, this, [this, reply] {
                --open_;
                if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200) {
                    answered.fetch_add(1);
                }
                reply->deleteLater();
                if (issued_ == total_ && open_ == 0) {
                    done.store(true);
                }
            });
        }
        if (issued_ == total_) {
            timer_.stop();
            if (open_ == 0) {
                done.store(true);
            }
        }
    }

    int rate_;
    qint64 total_;
    qint64 issued_ = 0;
    int open_ = 0;
    QElapsedTimer clock_;
    QTimer timer_{this};
    QNetworkRequest request_;
    std::unique_ptr<QNetworkAccessManager> nam_;
};

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const int rate = argc > 1 ? std::clamp(std::atoi(argv[1]), 1, 20000) : 1000;
    const int seconds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 600) : 10;

    Worker simThread;
    std::atomic<int> bandFrames{0};
    sim::SimOptions o;
    o.address = QHostAddress(kSimIp);
    o.port = kUdpPort;
    std::unique_ptr<sim::SimProcessor> device =
        bench::StartProcessorOn(simThread, o, [&](const sim::LogEntry& e) {
            if (e.decoded.code == kEqBand) {
                bandFrames.fetch_add(1);
            }
        });

    PanelOptions options;
    options.bind = kPanelIp.toStdString();
    options.device = kSimIp.toStdString();
    options.port = kUdpPort;
    options.http = kPanelIp.toStdString() + ":" + std::to_string(kHttpPort);
    const auto linked = bench::StartLinkedPanel(options);
    if (!linked || linked->app->Remote() == nullptr) {
        std::fprintf(stderr, "the panel did not link or did not listen\n");
        return 1;
    }

    // The panel's event loop turns: the longest gap between two turns while the load runs.
    bench::LoopGapMeter gaps;

    Worker clientThread;
    std::unique_ptr<Load> load;
    const int framesBefore = bandFrames.load();
    clientThread.Run([&] {
        load = std::make_unique<Load>(rate, seconds);
        load->Start();
    });
    gaps.Start();
    RunUntil([&] { return load->done.load(); }, (seconds + 30) * 1000);
    gaps.Stop();
    RunUntil([] { return false; }, 300);  // the last frames arrive
    const int sent = load->sent.load();
    const int answered = load->answered.load();
    const int skipped = load->skipped.load();
    clientThread.Run([&] { load.reset(); });
    simThread.Run([&] { device.reset(); });

    const int frames = bandFrames.load() - framesBefore;
    std::printf("%d PATCH/s for %d s with the panel linked and shown:\n", rate, seconds);
    std::printf("  requests sent %d, answered 200 %d, skipped (32 open) %d\n", sent, answered,
                skipped);
    std::printf("  longest UI stall %.1f ms\n", gaps.LongestMs());
    std::printf("  CmdEqBand datagrams at the processor %d, %.2f per request\n", frames,
                sent > 0 ? static_cast<double>(frames) / sent : 0.0);
    return 0;
}
