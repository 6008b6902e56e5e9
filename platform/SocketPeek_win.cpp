// SPDX-License-Identifier: GPL-3.0-or-later
#include <winsock2.h>

#include <algorithm>
#include <climits>

#include "SocketPeek.h"

namespace quorvell::platform {

// Qt's sockets are non-blocking on Windows too, so recv answers at once.
Received ReceiveWaiting(qintptr descriptor, std::span<std::uint8_t> into, ReceiveMode mode) {
    const int size = static_cast<int>(std::min<std::size_t>(into.size(), INT_MAX));
    const int n = ::recv(static_cast<SOCKET>(descriptor), reinterpret_cast<char*>(into.data()),
                         size, mode == ReceiveMode::Peek ? MSG_PEEK : 0);
    if (n > 0) {
        return {ReceiveOutcome::Bytes, static_cast<std::size_t>(n)};
    }
    if (n == 0) {
        return {ReceiveOutcome::Closed, 0};
    }
    return {WSAGetLastError() == WSAEWOULDBLOCK ? ReceiveOutcome::Nothing : ReceiveOutcome::Failed,
            0};
}

}  // namespace quorvell::platform
