// SPDX-License-Identifier: GPL-3.0-or-later
// The device link's sockets: its own or the shared endpoint's, for the link and for search.
#include <QNetworkInterface>

#include "DeviceLink.h"
#include "LinkEndpoint.h"

namespace quorvell {

namespace {

// Binds exclusively: a port held by another socket (the other role, another program) must
// fail here rather than share the datagrams.
std::unique_ptr<QUdpSocket> BindSocket(const QHostAddress& address, quint16 port, QString* reason) {
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(address, port, QAbstractSocket::DontShareAddress)) {
        *reason = QStringLiteral("%1:%2: %3")
                      .arg(address.toString())
                      .arg(port)
                      .arg(socket->errorString());
        return nullptr;
    }
    return socket;
}

}  // namespace

bool DeviceLink::OpenLinkSocket() {
    QString reason;
    if (options_.endpoint != nullptr) {
        if (!options_.endpoint->Attach(this, &reason)) {
            pendingBindError_ = reason;
            return false;
        }
        hostAddresses_ = QNetworkInterface::allAddresses();
        return true;
    }
    linkSocket_ = BindSocket(options_.bindAddress, options_.port, &reason);
    if (!linkSocket_) {
        pendingBindError_ = reason;
        return false;
    }
    connect(linkSocket_.get(), &QUdpSocket::readyRead, this, &DeviceLink::OnLinkReadyRead);
    hostAddresses_ = QNetworkInterface::allAddresses();
    return true;
}

void DeviceLink::CloseLinkSocket() {
    // A state held from before is not this socket's: it never brings a link up later.
    heldState_.reset();
    stateTimer_.stop();
    if (options_.endpoint != nullptr) {
        options_.endpoint->Detach(this);
        return;
    }
    if (linkSocket_) {
        linkSocket_->disconnect(this);
        linkSocket_->close();
        // The socket may be inside its own readyRead emission: delete it from the loop (or
        // with the link, whichever comes first).
        linkSocket_->setParent(this);
        linkSocket_.release()->deleteLater();
    }
}

bool DeviceLink::OpenDiscoverySocket() {
    QString reason;
    if (options_.endpoint != nullptr) {
        // The other links of the endpoint may hold the port: listen on their socket.
        if (!options_.endpoint->AttachListener(this, &reason)) {
            pendingBindError_ = reason;
            return false;
        }
        hostAddresses_ = QNetworkInterface::allAddresses();
        return true;
    }
    discoverySocket_ = BindSocket(options_.bindAddress, options_.port, &reason);
    if (!discoverySocket_) {
        pendingBindError_ = reason;
        return false;
    }
    connect(discoverySocket_.get(), &QUdpSocket::readyRead, this,
            &DeviceLink::OnDiscoveryReadyRead);
    hostAddresses_ = QNetworkInterface::allAddresses();
    return true;
}

QUdpSocket* DeviceLink::DiscoverySocket() const {
    if (options_.endpoint != nullptr) {
        return options_.endpoint->IsListening(this) ? options_.endpoint->Socket() : nullptr;
    }
    return discoverySocket_.get();
}

void DeviceLink::CloseDiscoverySocket() {
    EndSweep();
    if (options_.endpoint != nullptr) {
        options_.endpoint->DetachListener(this);
        return;
    }
    if (discoverySocket_) {
        discoverySocket_->disconnect(this);
        discoverySocket_->close();
        discoverySocket_->setParent(this);
        discoverySocket_.release()->deleteLater();
    }
}

}  // namespace quorvell
