// SPDX-License-Identifier: GPL-3.0-or-later
// The device link: the program's one owner of the UDP port. Sends command frames built from
// the model, applies the processor's status frames, supervises the connect handshake, runs
// device discovery and paced sequences. Everything runs on the owning thread's event loop
// (readyRead and QTimer); nothing blocks and there are no worker threads.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUdpSocket>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "DeviceParameters.h"
#include "Frames.h"
#include "PacedFrame.h"
#include "ParameterPaths.h"

namespace quorvell {

// The system's own texts for what the link reports; the panel shows them in message boxes.
inline constexpr char kTextNameSet[] = "Set name successfully.";
inline constexpr char kTextCannotConnect[] = "CANNOT CONNECT.";
inline constexpr char kTextBindError[] = "Winsock error!";
inline constexpr char kTextBindErrorCaption[] = "Warming";
inline constexpr char kTextAlreadyConnected[] = "Already connect.";

// The supervision timer's id and period (the main window's timer 1).
inline constexpr int kLinkTimerId = 1;
inline constexpr int kLinkTimerPeriodMs = 100;

// Full- and reset-state frames are taken at most once per this many milliseconds (one frame
// of the screen); of the frames that arrive in between, the latest is taken whole.
inline constexpr int kStateIntervalMs = 16;

// Local time as whole seconds since midnight plus the date fields; the clock is injectable so
// that tests can run an attempt across midnight or through its three waits without waiting.
using WallClock = std::function<SystemTime()>;

// Whole seconds from `from` to `to` taken from hours, minutes and seconds only (milliseconds
// are ignored); a `to` earlier in the day than `from` counts across midnight.
int ElapsedWholeSeconds(const SystemTime& from, const SystemTime& to);

// The local time now, as the platform's SYSTEMTIME fields.
SystemTime LocalSystemTime();

// The command frame that carries `record` (an EQ band, a crossover, a level target, a
// limiter, a phase or the name) built from the model; nothing when the filter cannot be sent
// or the channel (0/1), band (1..7) or level target (0..2) is out of range.
std::optional<Frame> BuildRecordFrame(const DeviceParameters& params, const Record& record,
                                      double eulerE);

class LinkEndpoint;

struct DeviceLinkOptions {
    QHostAddress bindAddress = QHostAddress(QHostAddress::AnyIPv4);  // local address
    quint16 port = kDevicePort;               // local port and the processor's port
    QString deviceAddress = "192.168.0.106";  // dotted IPv4 of the processor
    int supervisionSeconds = 5;               // wait per connect request, whole seconds
    int timerPeriodMs = kLinkTimerPeriodMs;   // supervision tick
    WallClock clock;                          // empty: LocalSystemTime
    int sweepStepMs = 5;                      // gap between two hosts of a sweep
    bool trace = false;                       // one stderr line per datagram
    // A rack's shared endpoint (bound to bindAddress:port, outliving the link): the link
    // sends and receives through it instead of a socket of its own. Null: its own socket.
    LinkEndpoint* endpoint = nullptr;
};

// A processor that answered a discovery request; one entry per sender address.
struct FoundDevice {
    QString ip;        // the sender's address, dotted decimal
    quint16 port = 0;  // always the link's port
    QString name;      // the name bytes as UTF-8, zeros skipped
};

class DeviceLink : public QObject {
    Q_OBJECT

public:
    // `params` is the process-wide model; it must outlive the link.
    explicit DeviceLink(DeviceParameters& params, DeviceLinkOptions options = {},
                        QObject* parent = nullptr);
    ~DeviceLink() override;

    DeviceParameters& Parameters() { return params_; }
    const DeviceLinkOptions& Options() const { return options_; }

    QString deviceAddress() const { return deviceAddress_; }
    void setDeviceAddress(const QString& address) {
        deviceAddress_ = address;
        pickedAddress_.clear();
    }
    // The operator's pick of a processor: while linked it waits for the next Connect(), so
    // the live link (its edits, reads and pending records) stays with the linked processor;
    // otherwise it is the target at once.
    void PickDeviceAddress(const QString& address);
    // The address the next Connect() goes to.
    QString nextDeviceAddress() const {
        return pickedAddress_.isEmpty() ? deviceAddress_ : pickedAddress_;
    }
    quint16 port() const { return options_.port; }

    bool receiveRunning() const;    // the link socket is bound
    bool discoveryRunning() const;  // the discovery listener's socket is bound
    bool linkUp() const { return params_.linkUp != 0; }
    bool connectPending() const { return params_.connectPending != 0; }

    // The IPv4 address CmdConnect carries: the bound address when the link is bound to a
    // specific one; else the source address the routing table picks for a datagram to
    // deviceAddress (a UDP socket connected to it reports it; nothing is sent); else 0.0.0.0.
    // Known at once, before the first request.
    Ipv4 OwnAddress() const;

    // Send operations: one datagram each from the link socket to deviceAddress:port, built
    // from the model's current values. channel 0 is CH1, 1 is CH2; band 1..7; level target
    // 0 main, 1 CH1, 2 CH2. Each sends only while linkUp (SendConnectRequest always) and
    // returns whether a datagram was handed to the socket; a filter whose design cannot be
    // sent (crossover type outside 0..4) and an argument out of range send nothing.
    bool SendEqBand(int channel, int band);
    bool SendHipass(int channel);
    bool SendLopass(int channel);
    bool SendLevel(int target);
    bool SendLimiter(int channel);
    bool SendDeviceName();
    bool SendConnectRequest();
    bool SendReset();
    bool SendPhase(int channel);
    // The send operation of the record an edit changed (see ParameterPaths).
    bool SendRecord(const Record& record);
    double EulerE() const { return eulerE_; }

    // The connect sequence: stops the discovery listener, closes and reopens the link socket,
    // sets connectPending = 1 and connectAttempts = 0, sends CmdConnect and stamps
    // connectSentAt. A request is repeated every supervisionSeconds; after the third wait
    // connectFailed() is emitted once. Does nothing (returns false) while an attempt of this
    // link runs or the link is up; a connectPending flag no attempt owns (one read back from
    // a preset image) never blocks it. A port that cannot be bound emits bindFailed(); the attempt
    // then runs into its timeout as the processor never answers.
    bool Connect();
    // The disconnect sequence: closes the link socket and sets linkUp = 0; nothing is sent
    // and the model keeps its values. Emits disconnected() when the link was up. A pending
    // attempt ends without connectFailed().
    void Disconnect();
    // Stops everything (link socket, supervision, discovery, paced sends), sets linkUp = 0,
    // and emits closed() before returning (searchFinished() first when a sweep was running).
    void Close();

    // Discovery. `interfaceAddress` chooses the /24 to sweep; a null address takes the
    // default (the bound address when bound to a specific one, else the first up,
    // non-loopback IPv4 interface). CmdDiscover carries the swept interface's address (the
    // bound one when bound, as answers must reach the listener). While the
    // link is up emits searchRefused(kTextAlreadyConnected) and does nothing else. Otherwise
    // closes the link socket, clears the found list, binds the listener on the link's port
    // and sweeps hosts 2..254 (the interface's own host skipped), two CmdDiscover frames per
    // host, one host every sweepStepMs. The listener keeps collecting answers after the
    // sweep until StopSearch(), Connect() or the next StartSearch(). Every end of a sweep
    // (its last host, StopSearch(), Connect(), Close(), a new StartSearch()) emits
    // searchFinished() once.
    bool StartSearch(const QHostAddress& interfaceAddress = QHostAddress());
    void StopSearch();
    bool sweepRunning() const;
    const QList<FoundDevice>& foundDevices() const { return found_; }
    // The /24 base a search with `interfaceAddress` would sweep and the host it skips.
    QHostAddress SearchInterface(const QHostAddress& interfaceAddress = QHostAddress()) const;
    // The host's up IPv4 addresses, for an interface choice.
    static QList<QHostAddress> IPv4Interfaces();

    // Paced sequences (page RESET, preset recall): each frame is sent, then the next one
    // after its gapMs, by timer. A frame that names its record is built from the model when
    // its turn comes (see PacedFrame). Only while linkUp; a sequence given while another runs is
    // queued behind it (never merged). Returns false (nothing queued) while the link is down.
    bool SendPaced(PacedSequence sequence);
    // The same for a sequence that only wants the latest values (undo, redo, A/B): a frame
    // whose record is still waiting in the queue is left out, as the queued one is built from
    // the model when its turn comes. A burst of switches then sends each record at most
    // twice (the one on the wire and the latest), not once per switch.
    bool SendPacedLatest(PacedSequence sequence);
    // The frames not sent yet, in order (the one on the wire excluded).
    const std::deque<PacedFrame>& PacedQueue() const { return paced_; }
    void CancelPaced();
    bool pacedRunning() const;

    // Read-back. While on, a full state that arrives while the link is up is parsed into a
    // copy of the model and emitted as stateRead() instead of being applied: no model change,
    // no linkEstablished(). RequestRead() sends CmdConnect while linked (the processor answers
    // with its full state) and returns whether it was handed to the socket.
    void SetReadBack(bool on) { readBack_ = on; }
    bool readBack() const { return readBack_; }
    bool RequestRead();

    // One datagram the link's socket (or its endpoint) received from `d`'s sender.
    void ReceiveDatagram(const QNetworkDatagram& d);
    // One datagram the search listener (its own socket or the endpoint's) received.
    void ReceiveDiscoveryDatagram(const QNetworkDatagram& d);

signals:
    // State frames come at most once per kStateIntervalMs (see there): a processor that
    // floods them costs one of the signals below per interval, carrying its latest frame.
    // Status frame 7 applied: linkUp = 1, connectPending = 0. The panel relabels its
    // buttons ("Disconnect" / "Connect"), refreshes the pages and shows the EQ page.
    void linkEstablished();
    // Status frame 8 applied: linkUp = 1, connectPending = 0. Refresh and show the EQ page.
    // While linked with read-back on, only the frame 8 that answers this link's own reset is
    // applied; any other is emitted as stateRead() like a full state.
    void resetStateApplied();
    // Status frame 6 in answer to a name this link sent (kTextNameSet): once per name sent,
    // never for an unsolicited frame.
    void nameConfirmed();
    // The third wait of a connect attempt ran out (kTextCannotConnect); emitted once.
    void connectFailed();
    // The port could not be bound; `reason` is the system's text (kTextBindError /
    // kTextBindErrorCaption in the panel).
    void bindFailed(const QString& reason);
    void disconnected();
    void closed();
    // Discovery: the host number being addressed (2..254, the skipped one included).
    void searchProgress(int host);
    void searchFinished();
    void searchRefused(const QString& text);
    void deviceFound(const QString& ip, quint16 port, const QString& name);
    void pacedFinished();
    // The processor's full state, read while linked with read-back on; the model is untouched.
    void stateRead(const quorvell::DeviceParameters& state);
    // Every datagram handed to the socket, for tracing and tests.
    void frameSent(const QByteArray& bytes);

private:
    bool OpenLinkSocket();
    void CloseLinkSocket();
    bool OpenDiscoverySocket();
    void CloseDiscoverySocket();
    // The socket the sweep sends from: the endpoint's while listening on it, else its own.
    QUdpSocket* DiscoverySocket() const;
    bool SendFrame(const Frame& frame);
    bool SendIfLinked(const std::optional<Frame>& frame);
    void OnLinkReadyRead();
    void OnDiscoveryReadyRead();
    void OnSupervisionTick();
    void OnSweepStep();
    void OnPacedStep();
    void HandleStatus(std::span<const std::uint8_t> bytes);
    // A full or reset state, kept until its interval is due (the latest replaces it).
    struct HeldState {
        QByteArray bytes;
        StatusCode code = StatusCode::FullState;
        bool base = false;   // taken as the processor's settings, not compared with them
        bool reset = false;  // as a base: announced as resetStateApplied, not linkEstablished
    };
    void HoldState(StatusCode code, std::span<const std::uint8_t> bytes);
    void ScheduleHeldState();
    void ApplyHeldState();
    // Why a datagram the link socket received is not applied; empty when it is applied.
    std::string_view IgnoreReason(const QHostAddress& sender, int senderPort,
                                  std::span<const std::uint8_t> bytes) const;
    // True for a datagram that left this link's own socket (a device address of this host).
    bool IsOwnDatagram(const QHostAddress& sender, int senderPort) const;
    void EndSweep();
    SystemTime Now() const;
    void TraceDatagram(char direction, const QHostAddress& peer, quint16 peerPort,
                       std::span<const std::uint8_t> bytes,
                       std::string_view ignoredReason = {}) const;

    DeviceParameters& params_;
    DeviceLinkOptions options_;
    QString deviceAddress_;
    QString pickedAddress_;  // a pick made while linked, taken by the next Connect()
    double eulerE_;
    std::unique_ptr<QUdpSocket> linkSocket_;
    std::unique_ptr<QUdpSocket> discoverySocket_;
    QTimer supervisionTimer_;
    QTimer sweepTimer_;
    QTimer pacedTimer_;
    QTimer stateTimer_;             // the held state's interval
    QElapsedTimer lastStateTaken_;  // since the last state was applied or read
    std::optional<HeldState> heldState_;
    QList<FoundDevice> found_;
    Ipv4 sweepBase_ = 0;     // a.b.c.0 of the swept /24
    Ipv4 sweepOwnHost_ = 0;  // the interface's own host number, skipped
    Ipv4 sweepOwnAddress_ = 0;
    int sweepHost_ = 0;
    std::deque<PacedFrame> paced_;
    QList<QHostAddress> hostAddresses_;  // this host's addresses when the socket opened
    bool nameAwaited_ = false;           // a name was sent and not yet confirmed
    bool resetAwaited_ = false;          // a reset was sent and its frame 8 not yet received
    QString pendingBindError_;           // the reason of the last failed bind, until reported
    bool readBack_ = false;
};

}  // namespace quorvell
