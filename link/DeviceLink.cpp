// The device link: UDP endpoint, status frames, connect supervision, discovery, paced sends.
#include "DeviceLink.h"

#include <QDateTime>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <algorithm>
#include <utility>

#include "LinkTrace.h"

namespace quorvell {
namespace {

// Status frames are read from a buffer of this size, as the processor's answers never
// exceed it; a longer datagram is cut, a shorter one reads as zero-padded.
constexpr qint64 kReceiveBufferSize = 2048;
constexpr int kConnectRequests = 3;
constexpr int kFirstSweepHost = 2;
constexpr int kLastSweepHost = 254;

std::span<const std::uint8_t> BytesOf(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()),
            static_cast<std::size_t>(data.size())};
}

bool IsSpecificIpv4(const QHostAddress& address) {
    return !address.isNull() && address != QHostAddress(QHostAddress::AnyIPv4) &&
           address != QHostAddress(QHostAddress::Any) &&
           address.protocol() == QAbstractSocket::IPv4Protocol;
}

}  // namespace

std::optional<Frame> BuildRecordFrame(const DeviceParameters& params, const Record& record,
                                      double eulerE) {
    // The builders index the model by channel, band and level target: check them first.
    const bool channelOk = record.channel == 0 || record.channel == 1;
    switch (record.kind) {
        case RecordKind::EqBand:
            if (!channelOk || record.band < 1 || record.band > kBandCount)
                return std::nullopt;
            break;
        case RecordKind::Level:
            if (record.channel < 0 || record.channel > 2)
                return std::nullopt;
            break;
        case RecordKind::Name:
            break;
        default:
            if (!channelOk)
                return std::nullopt;
    }
    switch (record.kind) {
        case RecordKind::EqBand:
            return BuildEqBand(params, record.channel, record.band);
        case RecordKind::Hipass:
            return BuildHipass(params, record.channel);
        case RecordKind::Lopass:
            return BuildLopass(params, record.channel);
        case RecordKind::Level:
            return BuildLevel(params, record.channel);
        case RecordKind::Limiter:
            return BuildLimiter(params, record.channel, eulerE);
        case RecordKind::Phase:
            return BuildPhase(params, record.channel);
        case RecordKind::Name:
            return BuildSetName(params);
    }
    return std::nullopt;
}

int ElapsedWholeSeconds(const SystemTime& from, const SystemTime& to) {
    constexpr int kDay = 24 * 3600;
    const int a = from.hour * 3600 + from.minute * 60 + from.second;
    const int b = to.hour * 3600 + to.minute * 60 + to.second;
    return b >= a ? b - a : b + kDay - a;
}

SystemTime LocalSystemTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    SystemTime s;
    s.year = static_cast<std::uint16_t>(d.year());
    s.month = static_cast<std::uint16_t>(d.month());
    s.dayOfWeek = static_cast<std::uint16_t>(d.dayOfWeek() % 7);  // Sunday is 0
    s.day = static_cast<std::uint16_t>(d.day());
    s.hour = static_cast<std::uint16_t>(t.hour());
    s.minute = static_cast<std::uint16_t>(t.minute());
    s.second = static_cast<std::uint16_t>(t.second());
    s.milliseconds = static_cast<std::uint16_t>(t.msec());
    return s;
}

DeviceLink::DeviceLink(DeviceParameters& params, DeviceLinkOptions options, QObject* parent)
    : QObject(parent),
      params_(params),
      options_(std::move(options)),
      deviceAddress_(options_.deviceAddress),
      eulerE_(ComputeEulerE()) {
    supervisionTimer_.setInterval(options_.timerPeriodMs);
    connect(&supervisionTimer_, &QTimer::timeout, this, &DeviceLink::OnSupervisionTick);
    sweepTimer_.setInterval(options_.sweepStepMs);
    connect(&sweepTimer_, &QTimer::timeout, this, &DeviceLink::OnSweepStep);
    sweepTimer_.setTimerType(Qt::PreciseTimer);
    pacedTimer_.setSingleShot(true);
    pacedTimer_.setTimerType(Qt::PreciseTimer);  // a gap is never shortened
    connect(&pacedTimer_, &QTimer::timeout, this, &DeviceLink::OnPacedStep);

    // The host name's address is only needed when the socket is not bound to a specific
    // address; resolve it in the background so that no send ever waits for a lookup.
    if (!IsSpecificIpv4(options_.bindAddress)) {
        hostLookupId_ =
            QHostInfo::lookupHost(QHostInfo::localHostName(), this, [this](const QHostInfo& info) {
                hostLookupId_ = -1;
                for (const QHostAddress& a : info.addresses()) {
                    if (a.protocol() == QAbstractSocket::IPv4Protocol) {
                        hostNameAddress_ = a.toIPv4Address();
                        break;
                    }
                }
            });
    }
}

DeviceLink::~DeviceLink() {
    if (hostLookupId_ >= 0) {
        QHostInfo::abortHostLookup(hostLookupId_);
    }
}

bool DeviceLink::receiveRunning() const {
    return linkSocket_ && linkSocket_->state() == QAbstractSocket::BoundState;
}

bool DeviceLink::discoveryRunning() const {
    return discoverySocket_ && discoverySocket_->state() == QAbstractSocket::BoundState;
}

Ipv4 DeviceLink::OwnAddress() const {
    if (IsSpecificIpv4(options_.bindAddress)) {
        return options_.bindAddress.toIPv4Address();
    }
    if (hostNameAddress_ != 0) {
        return hostNameAddress_;
    }
    for (const QNetworkInterface& nif : QNetworkInterface::allInterfaces()) {
        const auto flags = nif.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& e : nif.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                return e.ip().toIPv4Address();
            }
        }
    }
    return 0;
}

SystemTime DeviceLink::Now() const {
    return options_.clock ? options_.clock() : LocalSystemTime();
}

// ---- sockets -------------------------------------------------------------------------

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
    linkSocket_ = BindSocket(options_.bindAddress, options_.port, &reason);
    if (!linkSocket_) {
        pendingBindError_ = reason;
        return false;
    }
    connect(linkSocket_.get(), &QUdpSocket::readyRead, this, &DeviceLink::OnLinkReadyRead);
    return true;
}

void DeviceLink::CloseLinkSocket() {
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
    discoverySocket_ = BindSocket(options_.bindAddress, options_.port, &reason);
    if (!discoverySocket_) {
        pendingBindError_ = reason;
        return false;
    }
    connect(discoverySocket_.get(), &QUdpSocket::readyRead, this,
            &DeviceLink::OnDiscoveryReadyRead);
    return true;
}

void DeviceLink::CloseDiscoverySocket() {
    sweepTimer_.stop();
    if (discoverySocket_) {
        discoverySocket_->disconnect(this);
        discoverySocket_->close();
        discoverySocket_->setParent(this);
        discoverySocket_.release()->deleteLater();
    }
}

// ---- sends ---------------------------------------------------------------------------

bool DeviceLink::SendFrame(const Frame& frame) {
    if (!receiveRunning()) {
        return false;  // lost, as through a closed socket
    }
    const auto device = ParseIpv4(deviceAddress_.toStdString());
    if (!device) {
        return false;  // no usable destination; the frame is lost
    }
    const QHostAddress to(*device);
    const QByteArray bytes(reinterpret_cast<const char*>(frame.Bytes().data()),
                           static_cast<qsizetype>(frame.Size()));
    const qint64 written = linkSocket_->writeDatagram(bytes, to, options_.port);
    if (options_.trace) {
        TraceDatagram('>', to, options_.port, frame.Bytes());
    }
    emit frameSent(bytes);
    return written == bytes.size();
}

bool DeviceLink::SendIfLinked(const std::optional<Frame>& frame) {
    return linkUp() && frame && SendFrame(*frame);
}

bool DeviceLink::SendEqBand(int channel, int band) {
    return SendRecord({RecordKind::EqBand, channel, band});
}
bool DeviceLink::SendHipass(int channel) {
    return SendRecord({RecordKind::Hipass, channel, 0});
}
bool DeviceLink::SendLopass(int channel) {
    return SendRecord({RecordKind::Lopass, channel, 0});
}
bool DeviceLink::SendLevel(int target) {
    return SendRecord({RecordKind::Level, target, 0});
}
bool DeviceLink::SendLimiter(int channel) {
    return SendRecord({RecordKind::Limiter, channel, 0});
}
bool DeviceLink::SendDeviceName() {
    return SendRecord({RecordKind::Name, 0, 0});
}
bool DeviceLink::SendReset() {
    return SendIfLinked(BuildReset());
}
bool DeviceLink::SendPhase(int channel) {
    return SendRecord({RecordKind::Phase, channel, 0});
}
bool DeviceLink::SendRecord(const Record& record) {
    return SendIfLinked(BuildRecordFrame(params_, record, eulerE_));
}

bool DeviceLink::SendConnectRequest() {
    return SendFrame(BuildConnect(options_.port, OwnAddress()));
}

// ---- status frames -------------------------------------------------------------------

void DeviceLink::OnLinkReadyRead() {
    // Each datagram is applied whole before the next event; no send can see half a frame.
    while (linkSocket_ && linkSocket_->hasPendingDatagrams()) {
        const QNetworkDatagram d = linkSocket_->receiveDatagram(kReceiveBufferSize);
        const QByteArray data = d.data();
        if (options_.trace) {
            TraceDatagram('<', d.senderAddress(), static_cast<quint16>(d.senderPort()),
                          BytesOf(data));
        }
        // Only the processor the link talks to may change the model.
        const auto device = ParseIpv4(deviceAddress_.toStdString());
        bool ok = false;
        const quint32 sender = d.senderAddress().toIPv4Address(&ok);
        if (!ok || !device || sender != *device) {
            continue;
        }
        HandleStatus(BytesOf(data));
    }
}

void DeviceLink::HandleStatus(std::span<const std::uint8_t> bytes) {
    const auto code = StatusOf(bytes);
    if (!code) {
        return;
    }
    switch (*code) {
        case StatusCode::FullState:
            ApplyFullState(params_, bytes);
            params_.linkUp = 1;
            params_.connectPending = 0;
            supervisionTimer_.stop();
            emit linkEstablished();
            break;
        case StatusCode::ResetState:
            ApplyResetState(params_, bytes);
            params_.linkUp = 1;
            params_.connectPending = 0;
            supervisionTimer_.stop();
            emit resetStateApplied();
            break;
        case StatusCode::NameSet:
            emit nameConfirmed();
            break;
        case StatusCode::DeviceFound:
            break;
    }
}

// ---- connect, disconnect, supervision ------------------------------------------------

bool DeviceLink::Connect() {
    if (linkUp() || connectPending()) {
        return false;
    }
    CancelPaced();
    // The discovery listener and the link share the port: stop it first.
    if (discoveryRunning() || sweepRunning()) {
        CloseDiscoverySocket();
    }
    CloseLinkSocket();
    const bool bound = OpenLinkSocket();
    params_.connectPending = 1;
    params_.connectAttempts = 0;
    SendConnectRequest();
    params_.connectSentAt = Now();
    supervisionTimer_.start();
    if (!bound) {
        // As with a receive socket that fails to open: the attempt runs into its timeout.
        emit bindFailed(std::exchange(pendingBindError_, {}));
    }
    return true;
}

void DeviceLink::OnSupervisionTick() {
    if (!connectPending()) {
        supervisionTimer_.stop();
        return;
    }
    const SystemTime now = Now();
    if (ElapsedWholeSeconds(params_.connectSentAt, now) < options_.supervisionSeconds) {
        return;
    }
    params_.connectSentAt = now;
    params_.connectAttempts += 1;
    if (params_.connectAttempts < kConnectRequests) {
        SendConnectRequest();
        params_.connectSentAt = Now();
        return;
    }
    params_.connectPending = 0;
    supervisionTimer_.stop();
    CloseLinkSocket();
    emit connectFailed();
}

void DeviceLink::Disconnect() {
    const bool wasUp = linkUp();
    CancelPaced();
    CloseLinkSocket();
    params_.linkUp = 0;
    // Called while an attempt is pending, it ends the attempt quietly.
    params_.connectPending = 0;
    supervisionTimer_.stop();
    if (wasUp) {
        emit disconnected();
    }
}

void DeviceLink::Close() {
    CancelPaced();
    CloseDiscoverySocket();
    supervisionTimer_.stop();
    params_.connectPending = 0;
    params_.linkUp = 0;
    CloseLinkSocket();
    emit closed();
}

// ---- paced sequences -----------------------------------------------------------------

bool DeviceLink::SendPaced(PacedSequence sequence) {
    if (!linkUp()) {
        return false;
    }
    const bool idle = !pacedRunning();
    paced_.insert(paced_.end(), sequence.begin(), sequence.end());
    if (idle) {
        OnPacedStep();
    }
    return true;
}

void DeviceLink::OnPacedStep() {
    if (paced_.empty()) {
        emit pacedFinished();
        return;
    }
    if (!linkUp()) {
        CancelPaced();
        return;
    }
    const PacedFrame next = paced_.front();
    paced_.pop_front();
    // A record's frame is built now, from what the model holds at this moment; one that can
    // no longer be built is left out, its pause kept.
    const std::optional<Frame> frame =
        next.record ? BuildRecordFrame(params_, *next.record, eulerE_) : next.frame;
    if (frame) {
        SendFrame(*frame);
    }
    // The gap follows every frame, the last one included, before the sequence counts as done.
    pacedTimer_.start(std::max(0, next.gapMs));
}

void DeviceLink::CancelPaced() {
    paced_.clear();
    pacedTimer_.stop();
}

bool DeviceLink::pacedRunning() const {
    return !paced_.empty() || pacedTimer_.isActive();
}

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
    const Ipv4 own = OwnAddress();
    return own != 0 ? QHostAddress(own) : QHostAddress();
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

void DeviceLink::OnSweepStep() {
    if (!discoverySocket_ || sweepHost_ > kLastSweepHost) {
        sweepTimer_.stop();
        emit searchFinished();
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
            discoverySocket_->writeDatagram(bytes, to, options_.port);
            if (options_.trace) {
                TraceDatagram('>', to, options_.port, frame.Bytes());
            }
        }
    }
    if (sweepHost_ > kLastSweepHost) {
        sweepTimer_.stop();
        emit searchFinished();
    }
}

void DeviceLink::OnDiscoveryReadyRead() {
    while (discoverySocket_ && discoverySocket_->hasPendingDatagrams()) {
        const QNetworkDatagram d = discoverySocket_->receiveDatagram(kReceiveBufferSize);
        const QByteArray data = d.data();
        if (options_.trace) {
            TraceDatagram('<', d.senderAddress(), static_cast<quint16>(d.senderPort()),
                          BytesOf(data));
        }
        const auto name = ParseDeviceFound(BytesOf(data));
        bool ok = false;
        const quint32 sender = d.senderAddress().toIPv4Address(&ok);
        if (!name || !ok) {
            continue;
        }
        const QString ip = QString::fromStdString(FormatIpv4(sender));
        const bool known = std::any_of(found_.begin(), found_.end(),
                                       [&](const FoundDevice& f) { return f.ip == ip; });
        if (known) {
            continue;
        }
        FoundDevice device{ip, options_.port,
                           QString::fromUtf8(name->data(), static_cast<qsizetype>(name->size()))};
        found_.push_back(device);
        emit deviceFound(device.ip, device.port, device.name);
    }
}

void DeviceLink::TraceDatagram(char direction, const QHostAddress& peer, quint16 peerPort,
                               std::span<const std::uint8_t> bytes) const {
    WriteTraceLine(direction, peer.toString().toStdString(), peerPort, bytes);
}

}  // namespace quorvell
