// SPDX-License-Identifier: GPL-3.0-or-later
// The device link's discovery: interface choice, the /24 sweep and the listener's answers.
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <algorithm>

#include "DeviceLink.h"
#include "LinkSocketHelpers.h"

namespace quorvell {
namespace {

using linkdetail::BytesOf;
using linkdetail::IsSpecificIpv4;
using linkdetail::kReceiveBufferSize;
constexpr int kFirstSweepHost = 2;
constexpr int kLastSweepHost = 254;

}  // namespace

// ---- discovery -----------------------------------------------------------------------

QList<QHostAddress> DeviceLink::IPv4Interfaces() {
    QList<QHostAddress> out;
    for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
        if (!nif.flags().testFlag(QNetworkInterface::IsUp)) {
            continue;
        }
        for (const QNetworkAddressEntry& e : nif.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                out.push_back(e.ip());
            }
        }
    }
    return out;
}

QHostAddress DeviceLink::SearchInterface(const QHostAddress& interfaceAddress) const {
    if (IsSpecificIpv4(interfaceAddress)) {
        return interfaceAddress;
    }
    if (IsSpecificIpv4(options_.bindAddress)) {
        return options_.bindAddress;
    }
    for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& e : nif.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                return e.ip();
            }
        }
    }
    return {};
}

bool DeviceLink::StartSearch(const QHostAddress& interfaceAddress) {
    if (linkUp()) {
        emit searchRefused(QString::fromLatin1(kTextAlreadyConnected));
        return false;
    }
    // The link socket and the listener share the port: the link socket goes first.
    CloseLinkSocket();
    CloseDiscoverySocket();
    found_.clear();
    const QHostAddress iface = SearchInterface(interfaceAddress);
    if (!OpenDiscoverySocket()) {
        emit bindFailed(std::exchange(pendingBindError_, {}));
        return false;
    }
    if (iface.isNull()) {
        emit searchFinished();  // no address to sweep; the listener still runs
        return false;
    }
    const Ipv4 address = iface.toIPv4Address();
    sweepBase_ = address & 0xFFFFFF00u;
    sweepOwnHost_ = address & 0xFFu;
    // Answers must come back to the listener: to the bound address when bound to one.
    sweepOwnAddress_ =
        IsSpecificIpv4(options_.bindAddress) ? options_.bindAddress.toIPv4Address() : address;
    sweepHost_ = kFirstSweepHost;
    sweepTimer_.start();
    return true;
}

void DeviceLink::StopSearch() {
    CloseDiscoverySocket();
}

bool DeviceLink::sweepRunning() const {
    return sweepTimer_.isActive();
}

void DeviceLink::EndSweep() {
    if (sweepTimer_.isActive()) {
        sweepTimer_.stop();
        emit searchFinished();
    }
}

void DeviceLink::OnSweepStep() {
    QUdpSocket* socket = DiscoverySocket();
    if (socket == nullptr || sweepHost_ > kLastSweepHost) {
        EndSweep();
        return;
    }
    const int host = sweepHost_++;
    emit searchProgress(host);
    if (static_cast<Ipv4>(host) != sweepOwnHost_) {
        const Frame frame = BuildDiscover(options_.port, sweepOwnAddress_);
        const QByteArray bytes(reinterpret_cast<const char*>(frame.Bytes().data()),
                               static_cast<qsizetype>(frame.Size()));
        const QHostAddress to(sweepBase_ | static_cast<Ipv4>(host));
        for (int copy = 0; copy < 2; ++copy) {
            socket->writeDatagram(bytes, to, options_.port);
            if (options_.trace) {
                TraceDatagram('>', to, options_.port, frame.Bytes());
            }
        }
    }
    if (sweepHost_ > kLastSweepHost) {
        EndSweep();
    }
}

void DeviceLink::OnDiscoveryReadyRead() {
    while (discoverySocket_ && discoverySocket_->hasPendingDatagrams()) {
        ReceiveDiscoveryDatagram(discoverySocket_->receiveDatagram(kReceiveBufferSize));
    }
}

void DeviceLink::ReceiveDiscoveryDatagram(const QNetworkDatagram& d) {
    const QByteArray data = d.data();
    const auto name = ParseDeviceFound(BytesOf(data));
    bool ok = false;
    const quint32 sender = d.senderAddress().toIPv4Address(&ok);
    const QString ip = QString::fromStdString(FormatIpv4(sender));
    // Only answers from the swept /24 count, one row per address, never the sweep's own
    // requests looping back: the list is bounded by the subnet's size.
    std::string_view ignored;
    if (IsOwnDatagram(d.senderAddress(), d.senderPort())) {
        ignored = "own datagram";
    } else if (!name || !ok) {
        ignored = "not a discovery answer";
    } else if ((sender & 0xFFFFFF00u) != sweepBase_ || sweepBase_ == 0) {
        ignored = "not from the swept subnet";
    } else if (found_.size() >= kLastSweepHost - kFirstSweepHost + 1) {
        ignored = "list full";
    } else if (std::any_of(found_.begin(), found_.end(),
                           [&](const FoundDevice& f) { return f.ip == ip; })) {
        ignored = "sender already listed";
    }
    if (options_.trace) {
        TraceDatagram('<', d.senderAddress(), static_cast<quint16>(d.senderPort()), BytesOf(data),
                      ignored);
    }
    if (!ignored.empty()) {
        return;
    }
    FoundDevice device{ip, options_.port,
                       QString::fromUtf8(name->data(), static_cast<qsizetype>(name->size()))};
    found_.push_back(device);
    emit deviceFound(device.ip, device.port, device.name);
}

}  // namespace quorvell
