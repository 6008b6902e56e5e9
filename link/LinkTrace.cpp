// SPDX-License-Identifier: GPL-3.0-or-later
// The device link's trace lines.
#include "LinkTrace.h"

#include <cstdio>

#include "FrameDecoder.h"
#include "Frames.h"

namespace quorvell {
namespace {

std::string DescribeReceived(std::span<const std::uint8_t> bytes) {
    if (const auto name = ParseDeviceFound(bytes)) {
        return "StatusDeviceFound name=\"" + *name + "\"";
    }
    if (const auto code = StatusOf(bytes)) {
        switch (*code) {
            case StatusCode::NameSet:
                return "StatusNameSet";
            case StatusCode::FullState: {
                DeviceParameters p{};
                ApplyFullState(p, bytes);
                return "StatusFullState name=\"" + std::string(DeviceNameText(p)) + "\"";
            }
            case StatusCode::ResetState:
                return "StatusResetState";
            case StatusCode::DeviceFound:
                break;
        }
    }
    if (bytes.size() >= 4 && bytes[0] == kFrameSync0 && bytes[1] == kFrameSync1) {
        return "ignored: code " + std::to_string(bytes[3]);
    }
    return "ignored: not a frame";
}

}  // namespace

std::string DescribeDatagram(char direction, std::span<const std::uint8_t> bytes) {
    if (direction == '<') {
        return DescribeReceived(bytes);
    }
    return DescribeCommand(DecodeCommand(bytes));
}

std::string FormatTraceLine(const QTime& time, char direction, std::string_view peer,
                            std::uint16_t peerPort, std::span<const std::uint8_t> bytes,
                            std::string_view ignoredReason) {
    std::string line = time.toString(QStringLiteral("HH:mm:ss.zzz")).toStdString();
    line += ' ';
    line += direction;
    line += ' ';
    line += peer;
    line += ':' + std::to_string(peerPort) + ' ' + ToHex(bytes) + " | ";
    if (ignoredReason.empty()) {
        line += DescribeDatagram(direction, bytes);
    } else {
        line += "ignored: ";
        line += ignoredReason;
    }
    return line;
}

void WriteTraceLine(char direction, std::string_view peer, std::uint16_t peerPort,
                    std::span<const std::uint8_t> bytes, std::string_view ignoredReason) {
    const std::string line =
        FormatTraceLine(QTime::currentTime(), direction, peer, peerPort, bytes, ignoredReason) +
        '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace quorvell
