// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientFrameCheck.h"

#include <algorithm>

namespace quorvell {
namespace {

constexpr std::uint8_t kFinal = 0x80;
constexpr std::uint8_t kReserved = 0x70;
constexpr std::uint8_t kMasked = 0x80;
constexpr std::uint8_t kContinuation = 0x0, kText = 0x1, kBinary = 0x2;
constexpr std::uint8_t kClose = 0x8, kPong = 0xA;

}  // namespace

std::uint16_t ClientFrameCheck::Feed(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    while (at < bytes.size() && refused_ == 0) {
        if (payloadLeft_ > 0) {
            const std::uint64_t take = std::min<std::uint64_t>(payloadLeft_, bytes.size() - at);
            payloadLeft_ -= take;
            at += static_cast<std::size_t>(take);
            continue;
        }
        header_[headerBytes_++] = bytes[at++];
        refused_ = Header();
    }
    return refused_;
}

// One more header byte has arrived: refuses as soon as the bytes so far decide it, and starts
// on the payload once the header is whole.
std::uint16_t ClientFrameCheck::Header() {
    if (headerBytes_ < 2) {
        return 0;
    }
    const std::uint8_t first = header_[0];
    const std::uint8_t second = header_[1];
    if ((second & kMasked) == 0 || (first & kReserved) != 0) {
        return kProtocolError;
    }
    const std::uint8_t shortLength = second & 0x7F;
    const std::size_t lengthBytes = shortLength == 127 ? 8 : shortLength == 126 ? 2 : 0;
    if (headerBytes_ < 2 + lengthBytes + 4) {
        return 0;
    }
    std::uint64_t length = shortLength;
    if (lengthBytes > 0) {
        length = 0;
        for (std::size_t i = 0; i < lengthBytes; ++i) {
            length = (length << 8) | header_[2 + i];
        }
        if ((length >> 63) != 0) {
            return kProtocolError;
        }
    }
    const std::uint8_t opcode = first & 0x0F;
    const bool final = (first & kFinal) != 0;
    if (opcode >= kClose) {
        if (opcode > kPong || !final || length > 125) {
            return kProtocolError;
        }
    } else {
        if (opcode == kContinuation ? !inMessage_
                                    : (inMessage_ || (opcode != kText && opcode != kBinary))) {
            return kProtocolError;
        }
        messageBytes_ = opcode == kContinuation ? messageBytes_ + length : length;
        if (length > maxMessage_ || messageBytes_ > maxMessage_) {
            return kTooLarge;
        }
        inMessage_ = !final;
    }
    payloadLeft_ = length;
    headerBytes_ = 0;
    return 0;
}

}  // namespace quorvell
