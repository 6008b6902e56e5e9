// SPDX-License-Identifier: GPL-3.0-or-later
// Small helpers the device link's socket and discovery halves share.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <cstdint>
#include <span>

namespace quorvell::linkdetail {

// Status frames are read from a buffer of this size, as the processor's answers never
// exceed it; a longer datagram is cut.
inline constexpr qint64 kReceiveBufferSize = 2048;

// Datagrams read in one turn of the event loop: a flood is read over several turns, so the
// window keeps being drawn; the socket reports the rest at the next turn.
inline constexpr int kDatagramsPerTurn = 256;

inline std::span<const std::uint8_t> BytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

// A single IPv4 address: not null, not one of the "any" addresses.
inline bool IsSpecificIpv4(const QHostAddress& address) {
    return !address.isNull() && address != QHostAddress(QHostAddress::AnyIPv4) &&
           address != QHostAddress(QHostAddress::Any) &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}

}  // namespace quorvell::linkdetail
