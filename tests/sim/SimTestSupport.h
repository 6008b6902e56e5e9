// SPDX-License-Identifier: GPL-3.0-or-later
// Loopback helpers for driving virtual processors from a test: a raw UDP client and an
// event-loop wait with a generous deadline.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "Frames.h"

namespace quorvell::sim::test {

// Every test uses its own 127.0.10.x addresses, so that ctest -j runs them side by side.
inline QHostAddress TestAddress(int host) {
    return QHostAddress(QStringLiteral("127.0.10.%1").arg(host));
}

// Runs the event loop until `done` holds or 10 s have passed; returns whether it held.
// `done` is called once per pass and may consume what it tests.
inline bool WaitFor(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

inline QByteArray ToBytes(const Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.Bytes().data()),
                      static_cast<qsizetype>(f.Size()));
}

inline std::span<const std::uint8_t> Span(const QByteArray& b) {
    return {reinterpret_cast<const std::uint8_t*>(b.constData()),
            static_cast<std::size_t>(b.size())};
}

inline std::string Hex(const QByteArray& b) {
    return ToHex(Span(b));
}

// A UDP endpoint bound to one loopback address and port.
class Client {
public:
    Client(const QHostAddress& address, quint16 port) : address_(address), port_(port) {
        EXPECT_TRUE(socket_.bind(address, port)) << address.toString().toStdString();
    }

    void Send(const QByteArray& bytes, const QHostAddress& to, quint16 port = kDevicePort) {
        socket_.writeDatagram(bytes, to, port);
    }
    void Send(const Frame& f, const QHostAddress& to, quint16 port = kDevicePort) {
        Send(ToBytes(f), to, port);
    }
    // A connect or discovery request that names this endpoint for the answer.
    void Connect(const QHostAddress& to, quint16 port = kDevicePort) {
        Send(BuildConnect(port_, address_.toIPv4Address()), to, port);
    }
    void Discover(const QHostAddress& to) {
        Send(BuildDiscover(port_, address_.toIPv4Address()), to);
    }

    // The next datagram, or nothing after the deadline.
    std::optional<QNetworkDatagram> Receive() {
        if (!WaitFor([this] { return socket_.hasPendingDatagrams(); })) {
            return std::nullopt;
        }
        return socket_.receiveDatagram();
    }
    bool HasPending() { return socket_.hasPendingDatagrams(); }

private:
    QHostAddress address_;
    quint16 port_;
    QUdpSocket socket_;
};

}  // namespace quorvell::sim::test
