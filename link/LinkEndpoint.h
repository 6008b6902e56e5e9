// SPDX-License-Identifier: GPL-3.0-or-later
// One UDP endpoint shared by the links of a rack: the local port is bound once, every link
// sends through it, and each datagram received goes to the link whose processor sent it.
// A search through one of the links listens on the same socket, so that it works while the
// other links hold the port.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>
#include <memory>

namespace quorvell {

class DeviceLink;

class LinkEndpoint : public QObject {
    Q_OBJECT

public:
    // The links that use this endpoint must be given the same bind address and port.
    LinkEndpoint(QHostAddress bindAddress, quint16 port, QObject* parent = nullptr);
    ~LinkEndpoint() override;

    const QHostAddress& bindAddress() const { return bindAddress_; }
    quint16 port() const { return port_; }

    // Attaches `link`; the first one binds the port. False with `*reason` (the system's text)
    // when the port cannot be bound; the link is then not attached.
    bool Attach(DeviceLink* link, QString* reason);
    // Detaches `link`; the socket is closed when the last link leaves, so that discovery or
    // another program can take the port.
    void Detach(DeviceLink* link);
    bool IsAttached(const DeviceLink* link) const { return links_.contains(link); }
    // The search listener of `link`: discovery answers go to it (whoever sent them), and every
    // datagram while no link is attached. One listener at a time; a second replaces the first.
    // Binds the port as Attach does when nothing holds it yet.
    bool AttachListener(DeviceLink* link, QString* reason);
    void DetachListener(DeviceLink* link);
    bool IsListening(const DeviceLink* link) const { return listener_ == link && bound(); }
    bool bound() const;
    // The bound socket, null while no link is attached.
    QUdpSocket* Socket() const { return socket_.get(); }

private:
    bool Open(QString* reason);
    void CloseWhenUnused();
    void OnReadyRead();
    // The attached link whose processor has `sender`'s address and the port; else the first
    // attached link, which ignores the datagram and traces why. Null when none is attached.
    DeviceLink* RouteOf(const QHostAddress& sender, int senderPort) const;

    QHostAddress bindAddress_;
    quint16 port_;
    std::unique_ptr<QUdpSocket> socket_;
    QList<DeviceLink*> links_;
    DeviceLink* listener_ = nullptr;
};

}  // namespace quorvell
