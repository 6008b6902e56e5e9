// SPDX-License-Identifier: GPL-3.0-or-later
// The check on client WebSocket frames, fed whole and one byte at a time: the verdict must
// not depend on how the bytes arrive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ClientFrameCheck.h"

namespace quorvell::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A frame header with a mask key and `length` payload bytes.
Bytes Frame(std::uint8_t first, std::uint64_t length, bool masked = true) {
    Bytes b{first};
    const std::uint8_t mask = masked ? 0x80 : 0;
    if (length < 126) {
        b.push_back(std::uint8_t(mask | length));
    } else if (length <= 0xFFFF) {
        b.insert(b.end(),
                 {std::uint8_t(mask | 126), std::uint8_t(length >> 8), std::uint8_t(length)});
    } else {
        b.push_back(std::uint8_t(mask | 127));
        for (int shift = 56; shift >= 0; shift -= 8) {
            b.push_back(std::uint8_t(length >> shift));
        }
    }
    if (masked) {
        b.insert(b.end(), {1, 2, 3, 4});
    }
    b.insert(b.end(), length < 100000 ? length : 0, 'x');
    return b;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

TEST(ClientFrameCheck, RefusesWhatTheServerMustNotRead) {
    constexpr std::uint16_t kPass = 0, kProtocol = 1002, kTooLarge = 1009;
    struct Case {
        Bytes bytes;
        std::uint16_t verdict;
        const char* why;
    };
    const Case cases[] = {
        {Join({Frame(0x81, 40), Frame(0x89, 4), Frame(0x8A, 0)}), kPass, "text, ping, pong"},
        {Join({Frame(0x01, 3000), Frame(0x89, 1), Frame(0x80, 3000)}), kPass,
         "a fragmented message with a ping between its frames"},
        {Frame(0x82, 8192), kPass, "binary at the limit (16-bit length)"},
        {Frame(0x88, 2), kPass, "close"},
        {Frame(0x81, 40, false), kProtocol, "unmasked text"},
        {Join({Frame(0x81, 10), Frame(0x8A, 0, false)}), kProtocol,
         "unmasked pong after a good frame"},
        {Frame(0xC1, 4), kProtocol, "a reserved bit (no extension was agreed)"},
        {Frame(0x83, 4), kProtocol, "a reserved data opcode"},
        {Frame(0x8B, 4), kProtocol, "a reserved control opcode"},
        {Frame(0x09, 4), kProtocol, "a fragmented ping"},
        {Frame(0x89, 126), kProtocol, "a control frame over 125 bytes"},
        {Frame(0x80, 4), kProtocol, "a continuation with no message begun"},
        {Join({Frame(0x01, 4), Frame(0x81, 4)}), kProtocol,
         "a new message inside a fragmented one"},
        {Frame(0x81, 8193), kTooLarge, "one frame over the limit"},
        {Frame(0x81, 1ULL << 40), kTooLarge, "a 64-bit length, refused before its payload"},
        {Frame(0x81, 1ULL << 63), kProtocol, "a length with its top bit set"},
        {Join({Frame(0x01, 5000), Frame(0x00, 3000), Frame(0x80, 1000)}), kTooLarge,
         "continuation frames adding up over the limit"},
    };
    for (const Case& c : cases) {
        ClientFrameCheck whole(8192);
        EXPECT_EQ(whole.Feed(c.bytes), c.verdict) << c.why;
        ClientFrameCheck bytewise(8192);
        std::uint16_t verdict = 0;
        for (std::uint8_t b : c.bytes) {
            verdict = bytewise.Feed(std::span(&b, 1));
        }
        EXPECT_EQ(verdict, c.verdict) << c.why << " (one byte at a time)";
    }
}

}  // namespace
}  // namespace quorvell::test
