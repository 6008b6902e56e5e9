// SPDX-License-Identifier: GPL-3.0-or-later
// One virtual processor: the device side of the UDP protocol on one address and port.
// It keeps a full copy of the processor's settings, answers connect, reset, set-name and
// discovery requests, applies and checks every settings command, and logs every datagram.
// Tests create it in process; the quorvell-sim executable runs one or many of them.
#pragma once

#include <QDateTime>
#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "DeviceParameters.h"
#include "FrameDecoder.h"
#include "Frames.h"

namespace quorvell::sim {

struct SimOptions {
    QHostAddress address{QStringLiteral("127.0.0.2")};  // bound alone, never "any"
    quint16 port = kDevicePort;
    std::string name = "QV-SIM";  // at most kDeviceNameMax bytes; stored as the device name
    double dropFraction = 0;      // 0..1: share of received datagrams ignored (and logged)
    quint32 seed = 1;             // seeds the drop decisions, so a run can be repeated
    bool noAnswer = false;        // connect requests are logged but never answered
    // Odd processors, for testing what a client makes of them:
    bool keepNothing = false;  // settings commands are logged but never applied
    bool answerReset = false;  // connect requests are answered with the reset-state frame
    bool answerShort = false;  // connect requests are answered with a bare 4-byte header
    int floodCount = 0;        // after each connect answer, this many reset- and full-state frames
    std::optional<ParameterImage> state;  // start from a preset image instead of defaults
    bool keepLog = true;  // keep every entry for Log(); the executable only uses the signal
};

// One received datagram as the processor saw it.
struct LogEntry {
    QDateTime time;  // UTC
    QHostAddress sender;
    quint16 senderPort = 0;
    QByteArray bytes;
    DecodedCommand decoded;  // code, fields, wellFormed, valid, reason
    bool dropped = false;    // ignored by fault injection: neither applied nor answered
    bool applied = false;    // the settings changed by it (or were reset)
    std::string answer;      // e.g. "StatusFullState to 127.0.0.1:39060"; empty if none
};

// The entry as one line of JSON without the newline:
// {"time":"…Z","processor":"ip:port","sender":"ip:port","code":4,"command":"CmdLevel",
//  "bytes":"AA 55 …","fields":{…},"valid":true,...}
QByteArray FormatLogLine(const LogEntry& entry, const QString& processor);

class SimProcessor : public QObject {
    Q_OBJECT

public:
    explicit SimProcessor(SimOptions options, QObject* parent = nullptr);

    // Binds address:port exclusively. On failure returns false with `error` set to
    // "127.0.0.2:39060: address in use" or the system's reason after the address.
    bool Start(QString* error);

    // Closes the socket: the processor is gone (switched off, unplugged) until Start() again,
    // which keeps the settings unless the caller changes them (a restart with another state).
    void Stop();

    // A reboot: the settings start again from `state` (a preset image) or the start-up
    // defaults, with this processor's name; the last client is forgotten. The socket stays.
    void Restart(const std::optional<ParameterImage>& state);

    // Fault injection while running: the share of datagrams dropped, and whether connect
    // requests (also the reads of a linked client) are answered.
    void SetDropFraction(double fraction) { options_.dropFraction = fraction; }
    void SetNoAnswer(bool noAnswer) { options_.noAnswer = noAnswer; }
    void SetKeepNothing(bool on) { options_.keepNothing = on; }
    void SetAnswerReset(bool on) { options_.answerReset = on; }
    void SetAnswerShort(bool on) { options_.answerShort = on; }
    void SetFloodCount(int count) { options_.floodCount = std::max(0, count); }

    // "ip:port" of this processor.
    QString Endpoint() const;

    const DeviceParameters& Settings() const { return settings_; }
    DeviceParameters& MutableSettings() { return settings_; }

    // What a reset loads: the start-up defaults with this processor's current name.
    DeviceParameters Defaults() const;

    const std::vector<LogEntry>& Log() const { return log_; }

signals:
    // Emitted once per received datagram, after it has been handled.
    void datagramLogged(const quorvell::sim::LogEntry& entry);
    // The last frame of a flood has been sent.
    void floodEnded();

private:
    void LoadStartState(const std::optional<ParameterImage>& state);
    void OnReadyRead();
    void Handle(LogEntry& entry);
    void Answer(LogEntry& entry, const Frame& frame, std::string_view name, const QHostAddress& to,
                quint16 port);
    std::pair<QHostAddress, quint16> ReplyTarget(const LogEntry& entry) const;
    std::pair<QHostAddress, quint16> ClientOrSender(const LogEntry& entry) const;
    void OnFloodStep();

    SimOptions options_;
    DeviceParameters settings_{};
    QUdpSocket socket_;
    std::mt19937 random_;
    std::optional<std::pair<QHostAddress, quint16>> client_;  // last connect request's
    std::vector<LogEntry> log_;
    QTimer floodTimer_;
    int floodLeft_ = 0;  // frames of the running flood still to send
};

}  // namespace quorvell::sim
