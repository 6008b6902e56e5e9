// SPDX-License-Identifier: GPL-3.0-or-later
// The trace of the device link: one line per datagram on stderr, for `--trace`.
#pragma once

#include <QTime>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quorvell {

// What a datagram is, in words: a sent one ('>') is read as a command frame, a received one
// ('<') as a status or discovery answer.
std::string DescribeDatagram(char direction, std::span<const std::uint8_t> bytes);

// "12:00:01.250 > 127.0.0.2:39060 AA 55 01 08 A5 | CmdReset". A received datagram the link
// did not apply gives its reason instead of a meaning: "... | ignored: own datagram".
std::string FormatTraceLine(const QTime& time, char direction, std::string_view peer,
                            std::uint16_t peerPort, std::span<const std::uint8_t> bytes,
                            std::string_view ignoredReason = {});

// Writes FormatTraceLine for the current local time to stderr.
void WriteTraceLine(char direction, std::string_view peer, std::uint16_t peerPort,
                    std::span<const std::uint8_t> bytes, std::string_view ignoredReason = {});

}  // namespace quorvell
