// SPDX-License-Identifier: GPL-3.0-or-later
// Termination requests on Windows: console control events handed to the event loop.
#include <windows.h>

#include <QMetaObject>
#include <QPointer>

#include "TerminationSignals.h"

namespace quorvell {
namespace {

// The one receiver of console control events. The handler runs on a thread the system
// starts, so it only queues a call onto the receiver's own thread.
QPointer<TerminationSignals> receiver;
std::function<void(TerminationSignal)>* callback = nullptr;

BOOL WINAPI OnConsoleControl(DWORD type) {
    const TerminationSignal signal = (type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT)
                                         ? TerminationSignal::Interrupt
                                         : TerminationSignal::Terminate;
    if (receiver.isNull() || callback == nullptr) {
        return FALSE;
    }
    QMetaObject::invokeMethod(
        receiver.data(), [signal] { (*callback)(signal); }, Qt::QueuedConnection);
    return TRUE;
}

}  // namespace

struct TerminationSignals::Impl {
    std::function<void(TerminationSignal)> onSignal;
    bool listening = false;
};

bool TerminationSignals::Block(bool) {
    return true;
}

TerminationSignals::TerminationSignals(std::function<void(TerminationSignal)> onSignal, bool,
                                       QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>()) {
    impl_->onSignal = std::move(onSignal);
    receiver = this;
    callback = &impl_->onSignal;
    impl_->listening = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

TerminationSignals::~TerminationSignals() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    receiver = nullptr;
    callback = nullptr;
}

bool TerminationSignals::IsListening() const {
    return impl_->listening;
}

}  // namespace quorvell
