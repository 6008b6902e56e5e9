// SPDX-License-Identifier: GPL-3.0-or-later
// The device link: UDP endpoint, sends, status frames, connect supervision, paced sends.
#include "DeviceLink.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <algorithm>
#include <utility>

#include "LinkEndpoint.h"
#include "LinkSocketHelpers.h"
#include "LinkTrace.h"

namespace quorvell {
namespace {

using linkdetail::BytesOf;
using linkdetail::IsSpecificIpv4;
using linkdetail::kDatagramsPerTurn;
using linkdetail::kReceiveBufferSize;
constexpr int kConnectRequests = 3;

// Why a full or reset state cannot be taken as the processor's settings: a frame shorter
// than its layout (its missing fields would read as 0 Hz, Q 0, ratio 0). Empty when it can.
std::string_view StateFrameProblem(StatusCode code, std::span<const std::uint8_t> bytes) {
    const bool full = code == StatusCode::FullState;
    if (bytes.size() < (full ? kFullStateFrameSize : kResetStateFrameSize)) {
        return full ? "full state shorter than its layout" : "reset state shorter than its layout";
    }
    return {};
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
    stateTimer_.setSingleShot(true);
    connect(&stateTimer_, &QTimer::timeout, this, &DeviceLink::ApplyHeldState);
}

DeviceLink::~DeviceLink() {
    if (options_.endpoint != nullptr) {
        options_.endpoint->Detach(this);
    }
}

bool DeviceLink::receiveRunning() const {
    if (options_.endpoint != nullptr) {
        return options_.endpoint->IsAttached(this) && options_.endpoint->bound();
    }
    return linkSocket_ && linkSocket_->state() == QAbstractSocket::BoundState;
}

bool DeviceLink::discoveryRunning() const {
    if (options_.endpoint != nullptr) {
        return options_.endpoint->IsListening(this);
    }
    return discoverySocket_ && discoverySocket_->state() == QAbstractSocket::BoundState;
}

Ipv4 DeviceLink::OwnAddress() const {
    if (IsSpecificIpv4(options_.bindAddress)) {
        return options_.bindAddress.toIPv4Address();
    }
    const auto device = ParseIpv4(deviceAddress_.toStdString());
    if (!device) {
        return 0;
    }
    // Connecting a UDP socket sends nothing; it only asks the routing table which local
    // address a datagram to the processor leaves from. An address literal connects at once.
    QUdpSocket probe;
    probe.connectToHost(QHostAddress(*device), options_.port);
    bool ok = false;
    const Ipv4 local = probe.localAddress().toIPv4Address(&ok);
    probe.abort();
    return ok ? local : 0;
}

SystemTime DeviceLink::Now() const {
    return options_.clock ? options_.clock() : LocalSystemTime();
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
    QUdpSocket* socket =
        options_.endpoint != nullptr ? options_.endpoint->Socket() : linkSocket_.get();
    const qint64 written = socket->writeDatagram(bytes, to, options_.port);
    if (options_.trace) {
        TraceDatagram('>', to, options_.port, frame.Bytes());
    }
    if (written == bytes.size() && frame[3] == static_cast<std::uint8_t>(CommandCode::SetName)) {
        nameAwaited_ = true;  // the processor's confirmation is now expected, once
    }
    if (written == bytes.size() && frame[3] == static_cast<std::uint8_t>(CommandCode::Reset)) {
        resetAwaited_ = true;  // the next frame 8 is the reset's own answer
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

bool DeviceLink::RequestRead() {
    return linkUp() && SendConnectRequest();
}

bool DeviceLink::SendConnectRequest() {
    return SendFrame(BuildConnect(options_.port, OwnAddress()));
}

// ---- status frames -------------------------------------------------------------------

void DeviceLink::OnLinkReadyRead() {
    // Each datagram is checked whole before the next; no send can see half a frame.
    for (int n = 0; n < kDatagramsPerTurn && linkSocket_ && linkSocket_->hasPendingDatagrams();
         ++n) {
        ReceiveDatagram(linkSocket_->receiveDatagram(kReceiveBufferSize));
    }
}

void DeviceLink::ReceiveDatagram(const QNetworkDatagram& d) {
    const QByteArray data = d.data();
    const std::string_view ignored = IgnoreReason(d.senderAddress(), d.senderPort(), BytesOf(data));
    if (options_.trace) {
        TraceDatagram('<', d.senderAddress(), static_cast<quint16>(d.senderPort()), BytesOf(data),
                      ignored);
    }
    if (ignored.empty()) {
        HandleStatus(BytesOf(data));
    }
    ScheduleHeldState();
}

bool DeviceLink::IsOwnDatagram(const QHostAddress& sender, int senderPort) const {
    if (senderPort != options_.port) {
        return false;
    }
    if (IsSpecificIpv4(options_.bindAddress)) {
        return sender.isEqual(options_.bindAddress, QHostAddress::ConvertV4MappedToIPv4);
    }
    // Bound to every address, the socket holds the port on all of them exclusively: a
    // datagram from any address of this host and this port can only be its own.
    return sender.isLoopback() || hostAddresses_.contains(sender);
}

std::string_view DeviceLink::IgnoreReason(const QHostAddress& sender, int senderPort,
                                          std::span<const std::uint8_t> bytes) const {
    // A device address of this host echoes the link's own requests (CmdConnect has the
    // code of a full state): they are never an answer.
    if (IsOwnDatagram(sender, senderPort)) {
        return "own datagram";
    }
    // Only the processor the link talks to, at its address and port, may change the model.
    const auto device = ParseIpv4(deviceAddress_.toStdString());
    bool ok = false;
    const quint32 address = sender.toIPv4Address(&ok);
    if (!ok || !device || address != *device || senderPort != options_.port) {
        return "not from the processor's address and port";
    }
    const auto code = StatusOf(bytes);
    if (!code) {
        return "not a status frame";
    }
    if (*code == StatusCode::NameSet && !nameAwaited_) {
        return "no name was sent";
    }
    if (*code == StatusCode::FullState || *code == StatusCode::ResetState) {
        return StateFrameProblem(*code, bytes);
    }
    return {};
}

void DeviceLink::HandleStatus(std::span<const std::uint8_t> bytes) {
    const auto code = StatusOf(bytes);
    if (!code) {
        return;
    }
    switch (*code) {
        case StatusCode::FullState:
        case StatusCode::ResetState:
            HoldState(*code, bytes);
            break;
        case StatusCode::NameSet:
            nameAwaited_ = false;
            emit nameConfirmed();
            break;
        case StatusCode::DeviceFound:
            break;
    }
}

void DeviceLink::HoldState(StatusCode code, std::span<const std::uint8_t> bytes) {
    // What a frame is for is decided as it arrives. While linked with read-back on, a state
    // answers a read and is compared; only the frame 8 that answers this link's own reset is
    // a new base. Otherwise (connecting, no read-back) it is the processor's settings.
    bool base = !readBack_ || !linkUp();
    if (code == StatusCode::ResetState) {
        base = std::exchange(resetAwaited_, false) || base;
    }
    HeldState next{QByteArray(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size())),
                   code, base, code == StatusCode::ResetState};
    // A base waiting for its interval stays one: the later frame only brings newer settings.
    if (heldState_ && heldState_->base) {
        next.base = true;
        next.reset = heldState_->reset;
    }
    heldState_ = std::move(next);
}

void DeviceLink::ScheduleHeldState() {
    if (!heldState_ || stateTimer_.isActive()) {
        return;
    }
    const qint64 since = lastStateTaken_.isValid() ? lastStateTaken_.elapsed() : kStateIntervalMs;
    if (since >= kStateIntervalMs) {
        ApplyHeldState();
        return;
    }
    stateTimer_.start(static_cast<int>(kStateIntervalMs - since));
}

void DeviceLink::ApplyHeldState() {
    stateTimer_.stop();
    if (!heldState_) {
        return;
    }
    const HeldState held = std::move(*heldState_);
    heldState_.reset();
    lastStateTaken_.start();
    const auto apply = [&held](DeviceParameters& to) {
        if (held.code == StatusCode::FullState) {
            ApplyFullState(to, BytesOf(held.bytes));
        } else {
            ApplyResetState(to, BytesOf(held.bytes));
        }
    };
    if (!held.base) {
        DeviceParameters state = params_;
        apply(state);
        emit stateRead(state);
        return;
    }
    apply(params_);
    params_.linkUp = 1;
    params_.connectPending = 0;
    supervisionTimer_.stop();
    if (held.reset) {
        emit resetStateApplied();
    } else {
        emit linkEstablished();
    }
}

// ---- connect, disconnect, supervision ------------------------------------------------

void DeviceLink::PickDeviceAddress(const QString& address) {
    if (linkUp()) {
        pickedAddress_ = address == deviceAddress_ ? QString() : address;
        return;
    }
    pickedAddress_.clear();
    deviceAddress_ = address;
}

bool DeviceLink::Connect() {
    // Only an attempt this link supervises is pending; a flag that came in with a preset
    // image has no timer behind it and would otherwise block every connect.
    if (linkUp() || (connectPending() && supervisionTimer_.isActive())) {
        return false;
    }
    if (!pickedAddress_.isEmpty()) {
        deviceAddress_ = std::exchange(pickedAddress_, {});
    }
    CancelPaced();
    // The discovery listener and the link share the port: stop it first.
    if (discoveryRunning() || sweepRunning()) {
        CloseDiscoverySocket();
    }
    CloseLinkSocket();
    const bool bound = OpenLinkSocket();
    nameAwaited_ = false;
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
    nameAwaited_ = false;
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
    nameAwaited_ = false;
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

bool DeviceLink::SendPacedLatest(PacedSequence sequence) {
    std::erase_if(sequence, [this](const PacedFrame& frame) {
        return frame.record && std::any_of(paced_.begin(), paced_.end(), [&](const PacedFrame& q) {
                   return q.record == frame.record;
               });
    });
    return sequence.empty() ? linkUp() : SendPaced(std::move(sequence));
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

void DeviceLink::TraceDatagram(char direction, const QHostAddress& peer, quint16 peerPort,
                               std::span<const std::uint8_t> bytes,
                               std::string_view ignoredReason) const {
    WriteTraceLine(direction, peer.toString().toStdString(), peerPort, bytes, ignoredReason);
}

}  // namespace quorvell
