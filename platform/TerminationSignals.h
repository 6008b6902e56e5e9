// SPDX-License-Identifier: GPL-3.0-or-later
// Termination requests (SIGTERM, SIGINT, SIGHUP; console close on Windows) delivered to the
// event loop: the one place in the program that calls the operating system's signal API.
#pragma once

#include <QObject>
#include <functional>
#include <memory>

namespace quorvell {

enum class TerminationSignal {
    Terminate,  // SIGTERM; on Windows a console close, logoff or shutdown
    Interrupt,  // SIGINT, Ctrl+C; on Windows Ctrl+C and Ctrl+Break
    Hangup,     // SIGHUP, only when asked for; never on Windows
};

// The signals are blocked for the whole process and read on the owning thread's event loop,
// so no handler runs inside arbitrary code: the callback runs as an ordinary event.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    // Blocks SIGTERM and SIGINT (and SIGHUP with `withHangup`) for the calling thread and every
    // thread it starts later: call it first in main(), before Qt starts any thread. False if
    // the mask cannot be set. Does nothing where signals are not blocked (Windows).
    static bool Block(bool withHangup = false);

    // Calls `onSignal` on this object's thread for each request received. Without Block()
    // (on POSIX) or when the platform's mechanism cannot be set up it does nothing.
    explicit TerminationSignals(std::function<void(TerminationSignal)> onSignal,
                                bool withHangup = false, QObject* parent = nullptr);
    ~TerminationSignals() override;

    bool IsListening() const;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace quorvell
