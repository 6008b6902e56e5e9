// SPDX-License-Identifier: GPL-3.0-or-later
// Termination signals on POSIX systems: a signalfd on Linux, a self-pipe elsewhere.
#include <pthread.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <csignal>

#include "TerminationSignals.h"

#if defined(__linux__)
#include <sys/signalfd.h>
#else
#include <fcntl.h>
#endif

namespace quorvell {
namespace {

sigset_t SignalSet(bool withHangup) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    if (withHangup) {
        sigaddset(&set, SIGHUP);
    }
    return set;
}

TerminationSignal FromNumber(int number) {
    if (number == SIGHUP) {
        return TerminationSignal::Hangup;
    }
    return number == SIGINT ? TerminationSignal::Interrupt : TerminationSignal::Terminate;
}

#if !defined(__linux__)
// The write end of the self-pipe. A signal handler can reach nothing else; it is set once
// before the handlers are installed and never changed while they are.
int selfPipeWrite = -1;

extern "C" void WriteSignalNumber(int number) {
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const auto written = ::write(selfPipeWrite, &byte, 1);
}
#endif

}  // namespace

struct TerminationSignals::Impl {
    std::function<void(TerminationSignal)> onSignal;
    int fd = -1;
    int writeFd = -1;
    QSocketNotifier* notifier = nullptr;
};

bool TerminationSignals::Block(bool withHangup) {
    const sigset_t set = SignalSet(withHangup);
    return pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0;
}

TerminationSignals::TerminationSignals(std::function<void(TerminationSignal)> onSignal,
                                       bool withHangup, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>()) {
    impl_->onSignal = std::move(onSignal);
    const sigset_t set = SignalSet(withHangup);
#if defined(__linux__)
    impl_->fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
#else
    std::array<int, 2> ends{-1, -1};
    if (::pipe(ends.data()) != 0) {
        return;
    }
    for (const int end : ends) {
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    impl_->fd = ends[0];
    impl_->writeFd = ends[1];
    selfPipeWrite = ends[1];
    struct sigaction action {};
    action.sa_handler = WriteSignalNumber;
    sigemptyset(&action.sa_mask);
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        if (number != SIGHUP || withHangup) {
            ::sigaction(number, &action, nullptr);
        }
    }
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
#endif
    if (impl_->fd < 0) {
        return;
    }
    impl_->notifier = new QSocketNotifier(impl_->fd, QSocketNotifier::Read, this);
    connect(impl_->notifier, &QSocketNotifier::activated, this, [this] {
#if defined(__linux__)
        signalfd_siginfo info{};
        while (::read(impl_->fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            if (impl_->onSignal) {
                impl_->onSignal(FromNumber(static_cast<int>(info.ssi_signo)));
            }
        }
#else
        unsigned char byte = 0;
        while (::read(impl_->fd, &byte, 1) == 1) {
            if (impl_->onSignal) {
                impl_->onSignal(FromNumber(byte));
            }
        }
#endif
    });
}

TerminationSignals::~TerminationSignals() {
    if (impl_->notifier != nullptr) {
        impl_->notifier->setEnabled(false);
    }
    for (const int fd : {impl_->fd, impl_->writeFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool TerminationSignals::IsListening() const {
    return impl_->fd >= 0;
}

}  // namespace quorvell
