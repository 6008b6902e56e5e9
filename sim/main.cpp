// quorvell-sim: one or many virtual processors on consecutive loopback (or LAN) addresses.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "SimCommandLine.h"
#include "SimProcessor.h"

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
    // SIGINT and SIGTERM are blocked before Qt starts any thread and read from a signalfd on
    // the event loop, so a signal ends the program through the normal shutdown path.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    if (sigprocmask(SIG_BLOCK, &stopSignals, nullptr) != 0) {
        std::fprintf(stderr, "quorvell-sim: cannot block signals: %s\n", std::strerror(errno));
        return kExitFailure;
    }
    const int signalFd = signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        std::fprintf(stderr, "quorvell-sim: signalfd: %s\n", std::strerror(errno));
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
        std::puts("quorvell-sim " QUORVELL_VERSION);
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

    QSocketNotifier stopNotifier(signalFd, QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, &app, [signalFd] {
        signalfd_siginfo info{};
        if (read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            QCoreApplication::quit();
        }
    });
    const int status = app.exec();
    processors.clear();
    close(signalFd);
    return status;
}
