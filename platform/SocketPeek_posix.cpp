// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/socket.h>
#include <sys/types.h>

#include <cerrno>

#include "SocketPeek.h"

namespace quorvell::platform {

Received ReceiveWaiting(qintptr descriptor, std::span<std::uint8_t> into, ReceiveMode mode) {
    const int flags = MSG_DONTWAIT | (mode == ReceiveMode::Peek ? MSG_PEEK : 0);
    ssize_t n = -1;
    do {
        n = ::recv(static_cast<int>(descriptor), into.data(), into.size(), flags);
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
        return {ReceiveOutcome::Bytes, static_cast<std::size_t>(n)};
    }
    if (n == 0) {
        return {ReceiveOutcome::Closed, 0};
    }
    return {
        errno == EAGAIN || errno == EWOULDBLOCK ? ReceiveOutcome::Nothing : ReceiveOutcome::Failed,
        0};
}

}  // namespace quorvell::platform
