// SPDX-License-Identifier: GPL-3.0-or-later
// What a connected socket has received, read straight from the system rather than through
// Qt's buffer: looked at without taking it (so that bytes can be checked before Qt reads
// them), or taken and dropped.
#pragma once

#include <QtGlobal>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvell::platform {

enum class ReceiveOutcome { Bytes, Closed, Nothing, Failed };

struct Received {
    ReceiveOutcome outcome = ReceiveOutcome::Failed;
    std::size_t size = 0;  // with Bytes: how many were copied into the buffer
};

enum class ReceiveMode { Peek, Drop };

// Never blocks: Nothing when no byte is waiting, Closed when the peer has finished sending.
Received ReceiveWaiting(qintptr descriptor, std::span<std::uint8_t> into, ReceiveMode mode);

}  // namespace quorvell::platform
