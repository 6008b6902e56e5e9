// SPDX-License-Identifier: GPL-3.0-or-later
// The virtual processor: receives, checks, applies, answers and logs command datagrams.
#include "SimProcessor.h"

#include <QNetworkDatagram>
#include <algorithm>
#include <cstdio>
#include <utility>

namespace quorvell::sim {
namespace {

void AppendJsonString(QByteArray& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    out += '"';
}

void AppendJsonString(QByteArray& out, const QString& text) {
    AppendJsonString(out, std::string_view(text.toStdString()));
}

void AppendKey(QByteArray& out, std::string_view key) {
    if (out.size() > 1) {
        out += ',';
    }
    AppendJsonString(out, key);
    out += ':';
}

QString HostPort(const QHostAddress& address, quint16 port) {
    return address.toString() + QLatin1Char(':') + QString::number(port);
}

std::string HostPortText(const QHostAddress& address, quint16 port) {
    return HostPort(address, port).toStdString();
}

}  // namespace

QByteArray FormatLogLine(const LogEntry& e, const QString& processor) {
    QByteArray out = "{";
    AppendKey(out, "time");
    AppendJsonString(out, e.time.toString(Qt::ISODateWithMs));
    AppendKey(out, "processor");
    AppendJsonString(out, processor);
    AppendKey(out, "sender");
    AppendJsonString(out, HostPort(e.sender, e.senderPort));
    AppendKey(out, "code");
    out += e.decoded.code ? QByteArray::number(*e.decoded.code) : QByteArray("null");
    AppendKey(out, "command");
    if (e.decoded.commandName.empty()) {
        out += "null";
    } else {
        AppendJsonString(out, e.decoded.commandName);
    }
    AppendKey(out, "bytes");
    const auto* data = reinterpret_cast<const std::uint8_t*>(e.bytes.constData());
    AppendJsonString(out, ToHex({data, static_cast<std::size_t>(e.bytes.size())}));
    AppendKey(out, "fields");
    out += '{';
    bool first = true;
    for (const auto& f : e.decoded.fields) {
        if (!first) {
            out += ',';
        }
        first = false;
        AppendJsonString(out, f.name);
        out += ':';
        if (f.isText) {
            AppendJsonString(out, f.text);
        } else {
            out += QByteArray::number(static_cast<qlonglong>(f.value));
        }
    }
    out += '}';
    AppendKey(out, "valid");
    out += e.decoded.valid ? "true" : "false";
    if (!e.decoded.valid) {
        AppendKey(out, "reason");
        AppendJsonString(out, e.decoded.reason);
    }
    if (e.dropped) {
        AppendKey(out, "dropped");
        out += "true";
    }
    AppendKey(out, "applied");
    out += e.applied ? "true" : "false";
    if (!e.answer.empty()) {
        AppendKey(out, "answer");
        AppendJsonString(out, e.answer);
    }
    out += '}';
    return out;
}

SimProcessor::SimProcessor(SimOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)), random_(options_.seed) {
    LoadStartState(options_.state);
    connect(&socket_, &QUdpSocket::readyRead, this, &SimProcessor::OnReadyRead);
    floodTimer_.setInterval(1);
    connect(&floodTimer_, &QTimer::timeout, this, &SimProcessor::OnFloodStep);
}

void SimProcessor::Restart(const std::optional<ParameterImage>& state) {
    client_.reset();
    LoadStartState(state);
}

void SimProcessor::LoadStartState(const std::optional<ParameterImage>& state) {
    settings_ = {};
    if (state) {
        ReadParameterImage(settings_, *state);
    } else {
        ResetDeviceParameters(settings_);
    }
    // The link fields of a preset image mean nothing to a processor.
    settings_.linkUp = 0;
    settings_.connectPending = 0;
    settings_.connectAttempts = 0;
    if (!options_.name.empty()) {
        settings_.deviceName.fill(0);
        const std::size_t n = std::min(options_.name.size(), kDeviceNameMax);
        std::copy_n(options_.name.begin(), n, settings_.deviceName.begin());
    }
}

bool SimProcessor::Start(QString* error) {
    if (socket_.bind(options_.address, options_.port, QAbstractSocket::DontShareAddress)) {
        return true;
    }
    if (error) {
        const QString reason = socket_.error() == QAbstractSocket::AddressInUseError
                                   ? QStringLiteral("address in use")
                                   : socket_.errorString();
        *error = Endpoint() + QStringLiteral(": ") + reason;
    }
    return false;
}

void SimProcessor::Stop() {
    socket_.close();
}

QString SimProcessor::Endpoint() const {
    return HostPort(options_.address, options_.port);
}

DeviceParameters SimProcessor::Defaults() const {
    DeviceParameters d{};
    ResetDeviceParameters(d);
    d.deviceName = settings_.deviceName;
    return d;
}

void SimProcessor::OnReadyRead() {
    while (socket_.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_.receiveDatagram();
        LogEntry entry;
        entry.time = QDateTime::currentDateTimeUtc();
        entry.sender = datagram.senderAddress();
        entry.senderPort = static_cast<quint16>(std::max(datagram.senderPort(), 0));
        entry.bytes = datagram.data();
        Handle(entry);
        if (options_.keepLog) {
            log_.push_back(std::move(entry));
            emit datagramLogged(log_.back());
        } else {
            emit datagramLogged(entry);
        }
    }
}

void SimProcessor::Handle(LogEntry& entry) {
    const auto* data = reinterpret_cast<const std::uint8_t*>(entry.bytes.constData());
    entry.decoded = DecodeCommand({data, static_cast<std::size_t>(entry.bytes.size())});
    if (options_.dropFraction > 0) {
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        entry.dropped = uniform(random_) < options_.dropFraction;
    }
    const DecodedCommand& d = entry.decoded;
    if (entry.dropped || !d.wellFormed) {
        return;
    }
    switch (static_cast<CommandCode>(*d.code)) {
        case CommandCode::Connect: {
            if (options_.noAnswer) {
                return;
            }
            const auto target = ReplyTarget(entry);
            client_ = target;
            if (options_.answerShort) {
                Answer(entry, Frame::Start(static_cast<std::uint8_t>(StatusCode::FullState), 4),
                       "StatusFullState (4 bytes)", target.first, target.second);
            } else if (options_.answerReset) {
                Answer(entry, BuildResetState(settings_), "StatusResetState", target.first,
                       target.second);
            } else {
                Answer(entry, BuildFullState(settings_), "StatusFullState", target.first,
                       target.second);
            }
            if (options_.floodCount > 0 && !floodTimer_.isActive()) {
                floodLeft_ = options_.floodCount;
                floodTimer_.start();
            }
            return;
        }
        case CommandCode::Discover: {
            const auto target = ReplyTarget(entry);
            Answer(entry, BuildDeviceFound(DeviceNameText(settings_)), "StatusDeviceFound",
                   target.first, target.second);
            return;
        }
        case CommandCode::Reset: {
            if (!options_.keepNothing) {
                settings_ = Defaults();
                entry.applied = true;
            }
            const auto target = ClientOrSender(entry);
            Answer(entry, BuildResetState(settings_), "StatusResetState", target.first,
                   target.second);
            return;
        }
        case CommandCode::SetName: {
            entry.applied = !options_.keepNothing && ApplyCommand(settings_, d);
            const auto target = ClientOrSender(entry);
            Answer(entry, BuildNameSet(), "StatusNameSet", target.first, target.second);
            return;
        }
        default:
            entry.applied = !options_.keepNothing && ApplyCommand(settings_, d);
            return;
    }
}

void SimProcessor::Answer(LogEntry& entry, const Frame& frame, std::string_view name,
                          const QHostAddress& to, quint16 port) {
    const auto bytes = frame.Bytes();
    const QByteArray datagram(reinterpret_cast<const char*>(bytes.data()),
                              static_cast<qsizetype>(bytes.size()));
    entry.answer = std::string(name) + " to " + HostPortText(to, port);
    if (socket_.writeDatagram(datagram, to, port) < 0) {
        entry.answer += " (not sent: " + socket_.errorString().toStdString() + ")";
    }
}

// Connect and discover carry where to answer. A request whose address or port is 0 (a
// sender that could not find its own address) is answered at the datagram's source.
std::pair<QHostAddress, quint16> SimProcessor::ReplyTarget(const LogEntry& entry) const {
    const auto address = static_cast<quint32>(entry.decoded.Field("address").value_or(0));
    const auto port = static_cast<quint16>(entry.decoded.Field("port").value_or(0));
    return {address != 0 ? QHostAddress(address) : entry.sender,
            port != 0 ? port : entry.senderPort};
}

std::pair<QHostAddress, quint16> SimProcessor::ClientOrSender(const LogEntry& entry) const {
    return client_.value_or(std::pair{entry.sender, entry.senderPort});
}

// A flood: reset- and full-state frames by turns to the last client, ten per millisecond tick,
// so that 10,000 take about a second; each carries the settings as they are when it leaves.
// Not logged: the log is of received datagrams.
void SimProcessor::OnFloodStep() {
    if (!client_ || socket_.state() != QAbstractSocket::BoundState) {
        floodTimer_.stop();
        emit floodEnded();
        return;
    }
    for (int i = 0; i < 10 && floodLeft_ > 0; ++i, --floodLeft_) {
        const Frame frame =
            floodLeft_ % 2 == 0 ? BuildResetState(settings_) : BuildFullState(settings_);
        socket_.writeDatagram(reinterpret_cast<const char*>(frame.Bytes().data()),
                              static_cast<qint64>(frame.Size()), client_->first, client_->second);
    }
    if (floodLeft_ <= 0) {
        floodTimer_.stop();
        emit floodEnded();
    }
}

}  // namespace quorvell::sim
