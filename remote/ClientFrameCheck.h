// SPDX-License-Identifier: GPL-3.0-or-later
// Follows the frames a WebSocket client sends, header by header, on the bytes as they arrive,
// and says when the stream must be refused: a frame without a mask (every client frame must
// carry one), a message larger than the limit (whole or in continuation frames), or framing
// the server never agreed to (reserved bits and opcodes, a control frame that is fragmented
// or long). The WebSocket layer does not check the mask bit, so the bytes are checked here
// before it reads them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorvell {

class ClientFrameCheck {
public:
    static constexpr std::uint16_t kProtocolError = 1002;
    static constexpr std::uint16_t kTooLarge = 1009;

    explicit ClientFrameCheck(std::uint64_t maxMessageBytes) : maxMessage_(maxMessageBytes) {}

    // Takes the next bytes of the stream. 0: they may pass; otherwise the close code, and
    // every later call returns it too.
    std::uint16_t Feed(std::span<const std::uint8_t> bytes);

private:
    std::uint16_t Header();

    std::uint64_t maxMessage_;
    std::uint64_t payloadLeft_ = 0;   // bytes of the current frame's payload still to come
    std::uint64_t messageBytes_ = 0;  // payload of the current data message so far
    bool inMessage_ = false;          // a fragmented data message awaits its final frame
    std::array<std::uint8_t, 14> header_{};
    std::size_t headerBytes_ = 0;
    std::uint16_t refused_ = 0;
};

}  // namespace quorvell
