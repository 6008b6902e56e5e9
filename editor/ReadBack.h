// SPDX-License-Identifier: GPL-3.0-or-later
// Read-back: keeps the model and the processor equal while linked. The processor's full state
// is read after each burst of edits and every poll period, and compared record by record with
// the model and with the previous read (the base):
//   model = answer            in sync
//   answer = base != model    the edit was lost: send it again
//   model = base != answer    someone else changed it: adopt the processor's value
//   all three differ          the operator's edit wins: send it again
// Each read is stamped with the edit counter when it leaves, so that an answer never confirms
// or overturns a record edited after its read left. A read whose answer is slow is asked
// again within its answer time, so one lost datagram costs a retry period, not the whole
// answer time; the read after resends leaves as soon as they are out. Unanswered reads in a
// row mean the link is lost: edits are then held (stored, not sent) and the processor is
// asked again at the reconnect period until it answers.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <vector>

#include "DeviceParameters.h"
#include "ParameterPaths.h"

namespace quorvell {

class DeviceLink;
class ProcessorEditor;
enum class EditOrigin;

struct ReadBackOptions {
    int settleMs = 250;       // quiet time after the last edit (and paced sequence) before a read
    int pollMs = 5000;        // read period while idle; 0: no polling
    int answerMs = 1000;      // how long one read waits for its answer
    int readsBeforeLoss = 3;  // unanswered reads in a row that mean the link is lost
    int reconnectMs = 5000;   // read period while the link is lost
    int maxRounds = 10;       // resends before a record counts as out of sync
    int resendGapMs = 20;     // pause after each resent frame
    int retryMs = 150;        // a read unanswered this long is asked again (0: never)
};

enum class SyncState { Off, InSync, Syncing, OutOfSync, LinkLost };

// Every record the full state carries, in model order: bands, crossovers, levels, limiters,
// phases, name.
std::vector<Record> AllRecords();
// "ch1.band3", "ch2.hipass", "main.level", "ch1.level", "ch2.limiter", "ch1.phase", "name".
QString RecordText(const Record& record);
// Whether the fields the processor reports for `record` are equal in `a` and `b`.
bool SameRecord(const DeviceParameters& a, const DeviceParameters& b, const Record& record);
// Copies those fields from `from` to `to`.
void CopyRecord(const DeviceParameters& from, DeviceParameters& to, const Record& record);

class ReadBack : public QObject {
    Q_OBJECT

public:
    // Watches `editor` and its link; both must outlive this object. Turns the link's read-back
    // mode on and starts with each connect.
    explicit ReadBack(ProcessorEditor& editor, ReadBackOptions options = {},
                      QObject* parent = nullptr);

    SyncState state() const;
    // Records still to be confirmed (Syncing, LinkLost) or out of sync (OutOfSync).
    QList<Record> unconfirmed() const;
    // Records out of sync: resent maxRounds times without the processor reporting them.
    QList<Record> outOfSync() const;
    // Records taken from the processor at the last read that changed any.
    const QList<Record>& adopted() const { return adopted_; }
    // The indicator's text ("IN SYNC", "SYNCING", "OUT OF SYNC (2)", "LINK LOST"; empty when
    // off) and its tooltip (the records concerned).
    QString text() const;
    QString toolTip() const;

    // A read is waiting for its settle time or its answer.
    bool busy() const { return settleTimer_.isActive() || answerTimer_.isActive() || afterPaced_; }

    // Changes the poll period (0: off) from the next read on.
    void SetPollMs(int ms);
    const ReadBackOptions& Options() const { return options_; }
    // Reads now (or once the running paced sequence ends).
    void RequestRead();

signals:
    // state(), unconfirmed() or adopted() changed.
    void changed();
    // An answer was compared with the model (after its resends and adoptions).
    void reconciled();

private:
    struct Pending {
        Record record;
        std::uint64_t stamp = 0;  // edit counter at the record's last edit or resend
        int rounds = 0;           // resends since the last edit
    };

    void Start();
    void Stop();
    void OnEdited(const QList<Record>& records, EditOrigin origin);
    void OnSettled();
    void OnPoll();
    void OnAnswerTimeout();
    void OnRetry();
    void OnStateRead(const DeviceParameters& answer);
    void Read();
    void SchedulePoll();
    void Reconcile(const DeviceParameters& answer, std::uint64_t stamp);
    Pending* Find(const Record& record);
    void Announce();

    ProcessorEditor& editor_;
    DeviceLink& link_;
    DeviceParameters& params_;
    ReadBackOptions options_;
    bool active_ = false;
    bool lost_ = false;
    DeviceParameters base_{};  // the last state read (or applied on connect)
    std::uint64_t edits_ = 0;  // the edit counter: every edit and resend advances it
    std::vector<Pending> pending_;
    std::deque<std::uint64_t> reads_;  // stamps of unanswered reads, oldest first
    int unanswered_ = 0;               // reads in a row without an answer
    bool afterPaced_ = false;          // a read waits for the running paced sequence
    bool quick_ = false;               // the next read follows resends: no settle time
    bool retried_ = false;             // the running read was asked more than once
    QElapsedTimer lastAsked_;          // since the running read was last asked
    QList<Record> adopted_;
    QTimer settleTimer_;
    QTimer pollTimer_;
    QTimer answerTimer_;
    QTimer retryTimer_;
    QString lastText_;
    QString lastToolTip_;
};

}  // namespace quorvell
