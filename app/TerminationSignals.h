// SIGTERM and SIGINT (logout, kill, Ctrl+C) as an ordinary close of the panel.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace quorvell {

// The signals are blocked for the whole process and read from a signalfd on the UI thread's
// event loop, so no handler ever runs inside arbitrary code and nothing needs a global.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Blocks SIGTERM and SIGINT for the calling thread and every thread it starts later: call
    // it first in main(), before Qt starts any thread. False if the mask cannot be set.
    static bool Block();

    // Calls `onSignal` with the signal number, on the UI thread, for each one received.
    // Without Block() (or when the signalfd cannot be made) it does nothing.
    explicit TerminationSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool IsListening() const { return fd_ >= 0; }

private:
    void OnReadable();

    std::function<void(int)> onSignal_;
    int fd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace quorvell
