// signalfd-based delivery of SIGTERM and SIGINT to the event loop.
#include "TerminationSignals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>

namespace quorvell {
namespace {

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

}  // namespace

bool TerminationSignals::Block() {
    const sigset_t set = TerminationSet();
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
    const sigset_t set = TerminationSet();
    fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd_ < 0) {
        return;
    }
    notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
    }
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

void TerminationSignals::OnReadable() {
    signalfd_siginfo info{};
    while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (onSignal_) {
            onSignal_(static_cast<int>(info.ssi_signo));
        }
    }
}

}  // namespace quorvell
