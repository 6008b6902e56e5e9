// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell-sim: one or many virtual processors on consecutive loopback (or LAN) addresses.
#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "LicenceNotice.h"
#include "SimCommandLine.h"
#include "SimProcessor.h"
#include "TerminationSignals.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Where the JSON lines go; closes a file it opened.
struct LogSink {
    std::FILE* file = nullptr;
    bool owned = false;
    ~LogSink() {
        if (owned && file) {
            std::fclose(file);
        }
    }
};

void PrintLine(std::FILE* to, const QString& text) {
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
    std::fflush(to);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quorvell::sim;
    // SIGINT, SIGTERM and SIGHUP are blocked before Qt starts any thread and read on the event
    // loop: the first two end the program through the normal shutdown path, SIGHUP restarts
    // the processors (a reboot, with the --state file read again).
    if (!quorvell::TerminationSignals::Block(true)) {
        std::fprintf(stderr, "quorvell-sim: cannot block signals: %s\n", std::strerror(errno));
        return kExitFailure;
    }

    QCoreApplication app(argc, argv);
    QString error;
    const auto line = ParseSimCommandLine(app.arguments().mid(1), &error);
    if (!line) {
        PrintLine(stderr, QStringLiteral("quorvell-sim: ") + error);
        PrintLine(stderr, QStringLiteral("Try 'quorvell-sim --help'."));
        return kExitUsage;
    }
    if (line->help) {
        std::fputs(SimUsage().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (line->version) {
        std::printf("quorvell-sim %s\n%s\n%s\n", QUORVELL_VERSION, quorvell::kCopyrightLine,
                    quorvell::kLicenceLines);
        return 0;
    }

    LogSink sink;
    if (line->logPath == QStringLiteral("-")) {
        sink.file = stdout;
    } else if (line->logPath) {
        sink.file = std::fopen(line->logPath->toLocal8Bit().constData(), "a");
        sink.owned = true;
        if (!sink.file) {
            PrintLine(stderr,
                      QStringLiteral("quorvell-sim: --log %1: %2")
                          .arg(*line->logPath, QString::fromLocal8Bit(std::strerror(errno))));
            return kExitFailure;
        }
    }

    std::vector<std::unique_ptr<SimProcessor>> processors;
    for (const SimOptions& options : line->processors) {
        auto processor = std::make_unique<SimProcessor>(options);
        if (!processor->Start(&error)) {
            PrintLine(stderr, error);
            return kExitFailure;
        }
        if (sink.file) {
            const QString endpoint = processor->Endpoint();
            QObject::connect(processor.get(), &SimProcessor::datagramLogged,
                             [&sink, endpoint](const LogEntry& entry) {
                                 const QByteArray json = FormatLogLine(entry, endpoint);
                                 std::fwrite(json.constData(), 1,
                                             static_cast<std::size_t>(json.size()), sink.file);
                                 std::fputc('\n', sink.file);
                                 std::fflush(sink.file);
                             });
        }
        processors.push_back(std::move(processor));
    }
    for (std::size_t i = 0; i < processors.size(); ++i) {
        PrintLine(stderr, QStringLiteral("%1 listening on %2")
                              .arg(QString::fromStdString(line->processors[i].name),
                                   processors[i]->Endpoint()));
    }

    const auto restart = [&] {
        std::optional<quorvell::ParameterImage> state;
        if (line->statePath) {
            state = ReadStateFile(*line->statePath, &error);
            if (!state) {
                PrintLine(stderr, QStringLiteral("quorvell-sim: not restarted: --state ") + error);
                return;
            }
        }
        for (auto& processor : processors) {
            processor->Restart(state);
            PrintLine(stderr, QStringLiteral("%1 restarted").arg(processor->Endpoint()));
        }
    };
    const quorvell::TerminationSignals termination(
        [&restart](quorvell::TerminationSignal signal) {
            if (signal == quorvell::TerminationSignal::Hangup) {
                restart();
            } else {
                QCoreApplication::quit();
            }
        },
        true);
    if (!termination.IsListening()) {
        std::fprintf(stderr, "quorvell-sim: cannot watch signals: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    const int status = app.exec();
    processors.clear();
    return status;
}
