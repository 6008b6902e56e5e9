// SPDX-License-Identifier: GPL-3.0-or-later
// Read-back: reads the processor's state, compares it with the model, resends or adopts.
#include "ReadBack.h"

#include <algorithm>
#include <utility>

#include "DeviceLink.h"
#include "ProcessorEditor.h"

namespace quorvell {
namespace {

bool SameBand(const EqBand& a, const EqBand& b) {
    return a.freq == b.freq && a.gain == b.gain && a.q == b.q;
}

bool SameFilter(const CrossoverFilter& a, const CrossoverFilter& b) {
    return a.freq == b.freq && a.type == b.type && a.q == b.q;
}

bool SameLimiter(const LimiterSettings& a, const LimiterSettings& b) {
    return a.threshold == b.threshold && a.attack == b.attack && a.release == b.release &&
           a.ratio == b.ratio;
}

// The model's level field of a level target (0 main, 1 CH1, 2 CH2).
template <typename Params>
auto& LevelOf(Params& p, int target) {
    return target == 0 ? p.mainLevel : p.channels[target - 1].level;
}

}  // namespace

std::vector<Record> AllRecords() {
    std::vector<Record> out;
    for (int ch = 0; ch < 2; ++ch) {
        for (int b = 1; b <= kBandCount; ++b) {
            out.push_back({RecordKind::EqBand, ch, b});
        }
        out.push_back({RecordKind::Hipass, ch, 0});
        out.push_back({RecordKind::Lopass, ch, 0});
    }
    for (int target = 0; target <= 2; ++target) {
        out.push_back({RecordKind::Level, target, 0});
    }
    for (int ch = 0; ch < 2; ++ch) {
        out.push_back({RecordKind::Limiter, ch, 0});
    }
    for (int ch = 0; ch < 2; ++ch) {
        out.push_back({RecordKind::Phase, ch, 0});
    }
    out.push_back({RecordKind::Name, 0, 0});
    return out;
}

QString RecordText(const Record& r) {
    const QString ch = QStringLiteral("ch%1.").arg(r.channel + 1);
    switch (r.kind) {
        case RecordKind::EqBand:
            return ch + QStringLiteral("band%1").arg(r.band);
        case RecordKind::Hipass:
            return ch + QStringLiteral("hipass");
        case RecordKind::Lopass:
            return ch + QStringLiteral("lopass");
        case RecordKind::Level:
            return r.channel == 0 ? QStringLiteral("main.level")
                                  : QStringLiteral("ch%1.level").arg(r.channel);
        case RecordKind::Limiter:
            return ch + QStringLiteral("limiter");
        case RecordKind::Phase:
            return ch + QStringLiteral("phase");
        case RecordKind::Name:
            return QStringLiteral("name");
    }
    return {};
}

bool SameRecord(const DeviceParameters& a, const DeviceParameters& b, const Record& r) {
    const int ch = std::clamp(r.channel, 0, 1);
    switch (r.kind) {
        case RecordKind::EqBand:
            return SameBand(a.channels[ch].bands[static_cast<std::size_t>(r.band)],
                            b.channels[ch].bands[static_cast<std::size_t>(r.band)]);
        case RecordKind::Hipass:
            return SameFilter(a.channels[ch].hipass, b.channels[ch].hipass);
        case RecordKind::Lopass:
            return SameFilter(a.channels[ch].lopass, b.channels[ch].lopass);
        case RecordKind::Level:
            return LevelOf(a, r.channel) == LevelOf(b, r.channel);
        case RecordKind::Limiter:
            return SameLimiter(a.channels[ch].limiter, b.channels[ch].limiter);
        case RecordKind::Phase:
            return a.channels[ch].phase == b.channels[ch].phase;
        case RecordKind::Name:
            // The processor keeps the first kDeviceNameMax bytes.
            return std::equal(a.deviceName.begin(), a.deviceName.begin() + kDeviceNameMax,
                              b.deviceName.begin());
    }
    return true;
}

void CopyRecord(const DeviceParameters& from, DeviceParameters& to, const Record& r) {
    const int ch = std::clamp(r.channel, 0, 1);
    auto& dst = to.channels[ch];
    const auto& src = from.channels[ch];
    switch (r.kind) {
        case RecordKind::EqBand: {
            auto& band = dst.bands[static_cast<std::size_t>(r.band)];
            const auto& other = src.bands[static_cast<std::size_t>(r.band)];
            band.freq = other.freq;
            band.gain = other.gain;
            band.q = other.q;
            break;
        }
        case RecordKind::Hipass:
            dst.hipass = src.hipass;
            break;
        case RecordKind::Lopass:
            dst.lopass = src.lopass;
            break;
        case RecordKind::Level:
            LevelOf(to, r.channel) = LevelOf(from, r.channel);
            break;
        case RecordKind::Limiter:
            dst.limiter.threshold = src.limiter.threshold;
            dst.limiter.attack = src.limiter.attack;
            dst.limiter.release = src.limiter.release;
            dst.limiter.ratio = src.limiter.ratio;
            break;
        case RecordKind::Phase:
            dst.phase = src.phase;
            break;
        case RecordKind::Name:
            std::copy(from.deviceName.begin(), from.deviceName.begin() + kDeviceNameMax,
                      to.deviceName.begin());
            break;
    }
}

ReadBack::ReadBack(ProcessorEditor& editor, ReadBackOptions options, QObject* parent)
    : QObject(parent),
      editor_(editor),
      link_(editor.Link()),
      params_(editor.Parameters()),
      options_(options) {
    for (QTimer* t : {&settleTimer_, &pollTimer_, &answerTimer_, &retryTimer_}) {
        t->setSingleShot(true);
    }
    // A coarse timer may fire 5 % late: on the answer time that alone is 50 ms per lost read.
    for (QTimer* t : {&settleTimer_, &answerTimer_, &retryTimer_}) {
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&settleTimer_, &QTimer::timeout, this, &ReadBack::OnSettled);
    connect(&pollTimer_, &QTimer::timeout, this, &ReadBack::OnPoll);
    connect(&answerTimer_, &QTimer::timeout, this, &ReadBack::OnAnswerTimeout);
    connect(&retryTimer_, &QTimer::timeout, this, &ReadBack::OnRetry);
    connect(&link_, &DeviceLink::linkEstablished, this, &ReadBack::Start);
    connect(&link_, &DeviceLink::resetStateApplied, this, &ReadBack::Start);
    connect(&link_, &DeviceLink::disconnected, this, &ReadBack::Stop);
    connect(&link_, &DeviceLink::closed, this, &ReadBack::Stop);
    connect(&link_, &DeviceLink::stateRead, this, &ReadBack::OnStateRead);
    connect(&link_, &DeviceLink::pacedFinished, this, [this] {
        if (std::exchange(afterPaced_, false) && active_ && !lost_) {
            settleTimer_.start(quick_ ? 0 : options_.settleMs);
        }
    });
    connect(&editor_, &ProcessorEditor::recordsChanged, this, &ReadBack::OnEdited);
    link_.SetReadBack(true);
    if (link_.linkUp()) {
        Start();
    }
}

// A connect (or reset) applied the processor's whole state: that is the base.
void ReadBack::Start() {
    active_ = true;
    lost_ = false;
    editor_.SetHeld(false);
    base_ = params_;
    pending_.clear();
    reads_.clear();
    unanswered_ = 0;
    adopted_.clear();
    settleTimer_.stop();
    afterPaced_ = false;
    quick_ = false;
    answerTimer_.stop();
    retryTimer_.stop();
    SchedulePoll();
    Announce();
}

void ReadBack::Stop() {
    active_ = false;
    lost_ = false;
    editor_.SetHeld(false);
    pending_.clear();
    reads_.clear();
    adopted_.clear();
    settleTimer_.stop();
    afterPaced_ = false;
    quick_ = false;
    pollTimer_.stop();
    answerTimer_.stop();
    retryTimer_.stop();
    Announce();
}

void ReadBack::SetPollMs(int ms) {
    options_.pollMs = std::max(0, ms);
    if (active_ && !lost_ && !answerTimer_.isActive() && !settleTimer_.isActive()) {
        SchedulePoll();
    }
}

void ReadBack::RequestRead() {
    if (active_ && !lost_) {
        settleTimer_.start(0);
    }
}

ReadBack::Pending* ReadBack::Find(const Record& record) {
    const auto it = std::find_if(pending_.begin(), pending_.end(),
                                 [&](const Pending& p) { return p.record == record; });
    return it == pending_.end() ? nullptr : &*it;
}

void ReadBack::OnEdited(const QList<Record>& records, EditOrigin origin) {
    if (!active_ || origin == EditOrigin::Processor) {
        return;
    }
    for (const Record& r : records) {
        ++edits_;
        if (Pending* p = Find(r)) {
            p->stamp = edits_;
            p->rounds = 0;
        } else {
            pending_.push_back({r, edits_, 0});
        }
    }
    if (!lost_) {
        quick_ = false;
        settleTimer_.start(options_.settleMs);  // each edit pushes the read back: a debounce
    }
    Announce();
}

void ReadBack::OnSettled() {
    if (!active_ || lost_) {
        return;
    }
    if (link_.pacedRunning()) {
        afterPaced_ = true;  // the settle time starts again when the sequence ends
        return;
    }
    if (answerTimer_.isActive()) {
        return;
    }
    // A read that was asked twice may still bring its second answer: the next read waits a
    // retry period after the last ask, so that answer cannot pass for the next one's.
    if (retried_ && lastAsked_.isValid() && lastAsked_.elapsed() < options_.retryMs) {
        settleTimer_.start(static_cast<int>(options_.retryMs - lastAsked_.elapsed()));
        return;
    }
    Read();
}

void ReadBack::OnPoll() {
    if (!active_ || lost_) {
        return;
    }
    settleTimer_.start(0);
}

void ReadBack::SchedulePoll() {
    if (options_.pollMs > 0) {
        pollTimer_.start(options_.pollMs);
    }
}

void ReadBack::Read() {
    pollTimer_.stop();
    reads_.push_back(edits_);
    // An answer is matched with the oldest read still in the list: a late answer can then only
    // judge fewer records, never more. Older reads than these are taken as lost.
    while (reads_.size() > static_cast<std::size_t>(std::max(1, options_.readsBeforeLoss))) {
        reads_.pop_front();
    }
    quick_ = false;
    retried_ = false;
    link_.RequestRead();
    lastAsked_.start();
    answerTimer_.start(lost_ ? options_.reconnectMs : options_.answerMs);
    if (!lost_ && options_.retryMs > 0) {
        retryTimer_.start(options_.retryMs);
    }
}

// The same read asked again: its answer is judged by the stamp of the read's first ask, which
// can only leave records edited since unjudged, never judge more.
void ReadBack::OnRetry() {
    if (!active_ || lost_ || !answerTimer_.isActive()) {
        return;
    }
    link_.RequestRead();
    lastAsked_.start();
    retried_ = true;
    if (answerTimer_.remainingTime() > options_.retryMs) {
        retryTimer_.start(options_.retryMs);
    }
}

void ReadBack::OnAnswerTimeout() {
    if (!active_) {
        return;
    }
    ++unanswered_;
    if (!lost_ && unanswered_ >= options_.readsBeforeLoss) {
        lost_ = true;
        editor_.SetHeld(true);
        settleTimer_.stop();
        Announce();
    }
    Read();
}

void ReadBack::OnStateRead(const DeviceParameters& answer) {
    if (!active_ || reads_.empty()) {
        return;  // no read of ours is waiting: an answer nobody can place confirms nothing
    }
    const std::uint64_t stamp = reads_.front();
    reads_.clear();
    answerTimer_.stop();
    retryTimer_.stop();
    unanswered_ = 0;
    if (lost_) {
        lost_ = false;
        editor_.SetHeld(false);
    }
    Reconcile(answer, stamp);
}

void ReadBack::Reconcile(const DeviceParameters& answer, std::uint64_t stamp) {
    QList<Record> adopt;
    PacedSequence resend;
    bool again = false;        // a resent record still has rounds left: read again soon
    bool editedSince = false;  // a record was edited while this read was out
    for (const Record& r : AllRecords()) {
        Pending* p = Find(r);
        const bool judged = p == nullptr || p->stamp <= stamp;
        const bool edited = p != nullptr || !SameRecord(params_, base_, r);
        CopyRecord(answer, base_, r);  // the base is the last read, record by record
        if (!judged) {
            editedSince = true;
            continue;  // edited after the read left: the answer neither confirms nor overturns it
        }
        if (SameRecord(params_, answer, r)) {
            if (p != nullptr) {
                pending_.erase(pending_.begin() + (p - pending_.data()));
            }
        } else if (edited) {
            if (p == nullptr) {
                pending_.push_back({r, 0, 0});
                p = &pending_.back();
            }
            if (const auto frame = BuildRecordFrame(params_, r, link_.EulerE())) {
                ++edits_;
                p->stamp = edits_;
                p->rounds += 1;
                again = again || p->rounds < options_.maxRounds;
                resend.push_back({*frame, options_.resendGapMs, r});
            } else {
                // Settings no frame can carry (a crossover type outside 0..4) will never be
                // reported: out of sync now rather than waiting for rounds that never come.
                p->rounds = std::max(p->rounds, options_.maxRounds);
            }
        } else {
            CopyRecord(answer, params_, r);
            adopt.push_back(r);
        }
    }
    if (!resend.empty()) {
        link_.SendPaced(std::move(resend));
    }
    if (!adopt.isEmpty()) {
        adopted_ = adopt;
        for (const Record& r : adopt) {
            editor_.Edited(r, EditOrigin::Processor);  // pages refresh; nothing is sent
        }
    }
    // A record edited while this read was out is read after its own settle time; resends with
    // rounds left are read back as soon as they are out (nobody is editing them). A record out
    // of its rounds is tried again at the next poll only.
    if (editedSince && !settleTimer_.isActive()) {
        settleTimer_.start(options_.settleMs);
    } else if (again && !settleTimer_.isActive()) {
        quick_ = true;
        settleTimer_.start(0);
    } else if (!settleTimer_.isActive()) {
        SchedulePoll();
    }
    Announce();
    emit reconciled();
}

SyncState ReadBack::state() const {
    if (!active_) {
        return SyncState::Off;
    }
    if (lost_) {
        return SyncState::LinkLost;
    }
    if (!outOfSync().isEmpty()) {
        return SyncState::OutOfSync;
    }
    return pending_.empty() ? SyncState::InSync : SyncState::Syncing;
}

QList<Record> ReadBack::unconfirmed() const {
    QList<Record> out;
    for (const Pending& p : pending_) {
        out.push_back(p.record);
    }
    return out;
}

QList<Record> ReadBack::outOfSync() const {
    QList<Record> out;
    for (const Pending& p : pending_) {
        if (p.rounds >= options_.maxRounds) {
            out.push_back(p.record);
        }
    }
    return out;
}

QString ReadBack::text() const {
    switch (state()) {
        case SyncState::Off:
            return {};
        case SyncState::InSync:
            return QStringLiteral("IN SYNC");
        case SyncState::Syncing:
            return QStringLiteral("SYNCING");
        case SyncState::OutOfSync:
            return QStringLiteral("OUT OF SYNC (%1)").arg(outOfSync().size());
        case SyncState::LinkLost:
            return QStringLiteral("LINK LOST");
    }
    return {};
}

QString ReadBack::toolTip() const {
    const auto join = [](const QString& head, const QList<Record>& records) {
        QStringList names;
        for (const Record& r : records) {
            names.push_back(RecordText(r));
        }
        return head + names.join(QStringLiteral(", "));
    };
    switch (state()) {
        case SyncState::Off:
            return {};
        case SyncState::InSync:
            return adopted_.isEmpty()
                       ? QStringLiteral("The processor reports what the panel shows.")
                       : join(QStringLiteral("Taken from the processor: "), adopted_);
        case SyncState::Syncing:
            return join(QStringLiteral("Waiting for the processor to report: "), unconfirmed());
        case SyncState::OutOfSync:
            return join(QStringLiteral("The processor does not report: "), outOfSync());
        case SyncState::LinkLost:
            return pending_.empty()
                       ? QStringLiteral("The processor does not answer.")
                       : join(QStringLiteral("The processor does not answer; to send: "),
                              unconfirmed());
    }
    return {};
}

void ReadBack::Announce() {
    const QString t = text();
    const QString tip = toolTip();
    if (t != lastText_ || tip != lastToolTip_) {
        lastText_ = t;
        lastToolTip_ = tip;
        emit changed();
    }
}

}  // namespace quorvell
