// SPDX-License-Identifier: GPL-3.0-or-later
// The shared UDP endpoint of a rack: binding, sending socket and routing by sender.
#include "LinkEndpoint.h"

#include <QNetworkDatagram>

#include "DeviceLink.h"
#include "Frames.h"
#include "LinkSocketHelpers.h"

namespace quorvell {

LinkEndpoint::LinkEndpoint(QHostAddress bindAddress, quint16 port, QObject* parent)
    : QObject(parent), bindAddress_(std::move(bindAddress)), port_(port) {}

LinkEndpoint::~LinkEndpoint() = default;

bool LinkEndpoint::bound() const {
    return socket_ && socket_->state() == QAbstractSocket::BoundState;
}

bool LinkEndpoint::Open(QString* reason) {
    if (socket_) {
        return true;
    }
    // Exclusive, as for a link's own socket: a port another program holds fails here.
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(bindAddress_, port_, QAbstractSocket::DontShareAddress)) {
        *reason = QStringLiteral("%1:%2: %3")
                      .arg(bindAddress_.toString())
                      .arg(port_)
                      .arg(socket->errorString());
        return false;
    }
    socket_ = std::move(socket);
    connect(socket_.get(), &QUdpSocket::readyRead, this, &LinkEndpoint::OnReadyRead);
    return true;
}

bool LinkEndpoint::Attach(DeviceLink* link, QString* reason) {
    if (links_.contains(link)) {
        return true;
    }
    if (!Open(reason)) {
        return false;
    }
    links_.push_back(link);
    return true;
}

void LinkEndpoint::Detach(DeviceLink* link) {
    links_.removeAll(link);
    if (listener_ == link) {
        listener_ = nullptr;
    }
    CloseWhenUnused();
}

bool LinkEndpoint::AttachListener(DeviceLink* link, QString* reason) {
    if (!Open(reason)) {
        return false;
    }
    listener_ = link;
    return true;
}

void LinkEndpoint::DetachListener(DeviceLink* link) {
    if (listener_ == link) {
        listener_ = nullptr;
        CloseWhenUnused();
    }
}

void LinkEndpoint::CloseWhenUnused() {
    if (links_.isEmpty() && listener_ == nullptr && socket_) {
        socket_->disconnect(this);
        socket_->close();
        // Possibly inside its own readyRead emission: deleted from the loop.
        socket_->setParent(this);
        socket_.release()->deleteLater();
    }
}

DeviceLink* LinkEndpoint::RouteOf(const QHostAddress& sender, int senderPort) const {
    if (links_.isEmpty()) {
        return nullptr;
    }
    bool ok = false;
    const quint32 address = sender.toIPv4Address(&ok);
    if (ok && senderPort == port_) {
        for (DeviceLink* link : links_) {
            const auto device = ParseIpv4(link->deviceAddress().toStdString());
            if (device && *device == address) {
                return link;
            }
        }
    }
    return links_.front();
}

void LinkEndpoint::OnReadyRead() {
    // A link may detach (and the socket close) while it handles a datagram: check each time.
    for (int n = 0; n < linkdetail::kDatagramsPerTurn && socket_ && socket_->hasPendingDatagrams();
         ++n) {
        const QNetworkDatagram d = socket_->receiveDatagram(linkdetail::kReceiveBufferSize);
        if (listener_ != nullptr &&
            (links_.isEmpty() || ParseDeviceFound(linkdetail::BytesOf(d.data())))) {
            listener_->ReceiveDiscoveryDatagram(d);
        } else if (DeviceLink* link = RouteOf(d.senderAddress(), d.senderPort())) {
            link->ReceiveDatagram(d);
        }
    }
}

}  // namespace quorvell
