// SPDX-License-Identifier: GPL-3.0-or-later
// Read-back against the simulator: lost edits are sent again, changes made by someone else are
// adopted without a send, a processor that goes away is reported and picked up again.
#include <gtest/gtest.h>
#include <QElapsedTimer>

#include <algorithm>
#include <random>

#include "LinkTestSupport.h"
#include "ReadBack.h"

namespace quorvell::test {
namespace {

constexpr char kReadLinkIp[] = "127.0.24.1";
constexpr char kReadSimIp[] = "127.0.24.2";
constexpr char kOtherClientIp[] = "127.0.24.3";

struct ReadRig : Rig {
    explicit ReadRig(quint16 port) : Rig(port, {}, nullptr, kReadLinkIp, kReadSimIp) {}
    // The records on which the processor and the model differ.
    QStringList Differences() const {
        QStringList out;
        for (const Record& r : AllRecords()) {
            if (!SameRecord(params, sim->Settings(), r)) {
                out.push_back(RecordText(r));
            }
        }
        return out;
    }
    bool Converged() const {
        return readBack.state() == SyncState::InSync && Differences().isEmpty();
    }
    // Short periods so that a test runs in a second or two; the rules are the panel's.
    ReadBack readBack{
        editor,
        {.settleMs = 20, .pollMs = 150, .answerMs = 100, .reconnectMs = 100, .resendGapMs = 2}};
};

// Sends `frame` to the processor from another address, as a second panel would.
void SendFromOtherClient(quint16 port, const Frame& frame) {
    QUdpSocket other;
    ASSERT_TRUE(other.bind(QHostAddress(QString::fromLatin1(kOtherClientIp)), port));
    other.writeDatagram(ToBytes(frame), QHostAddress(QString::fromLatin1(kReadSimIp)), port);
    Settle(20);
}

// Frames the link sent other than reads (CmdConnect).
int NonReadSends(const QSignalSpy& sent) {
    return int(std::count_if(sent.begin(), sent.end(), [](const QList<QVariant>& args) {
        const QByteArray bytes = args[0].toByteArray();
        return bytes.size() < 4 || bytes[3] != static_cast<char>(CommandCode::Connect);
    }));
}

// A burst of random edits while the processor drops a share of what it receives: the
// processor ends equal to the model and the indicator says so.
TEST(ReadBack, BurstsOfEditsConvergeUnderLoss) {
    const struct {
        double drop;
        quint32 seed;
        int edits;
    } cases[] = {{0.0, 1, 40}, {0.3, 2, 60}, {0.3, 3, 60}};
    std::vector<ParameterPath> paths;
    for (const ParameterPath& p : AllParameterPaths()) {
        if (p.unit != ParameterUnit::Name) {
            paths.push_back(p);
        }
    }
    quint16 port = 42400;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "drop " << c.drop << " seed " << c.seed);
        ReadRig r(port++);
        ASSERT_TRUE(ConnectAndWait(r.link));
        r.sim->SetDropFraction(c.drop);
        std::mt19937 random(c.seed);
        for (int i = 0; i < c.edits; ++i) {
            const ParameterPath& p = paths[random() % paths.size()];
            std::uniform_int_distribution<std::int32_t> value(p.minRaw, p.maxRaw);
            r.editor.SetValue(p, value(random), EditOrigin::Operator);
            Settle(2);
        }
        EXPECT_TRUE(WaitFor([&] { return r.Converged(); }, 15000))
            << r.readBack.text().toStdString() << ": " << r.Differences().join(' ').toStdString();
    }
}

// A read whose first ask goes unanswered is asked again within its answer time, and the read
// after a resend leaves as soon as the resend is out: neither waits a whole period.
TEST(ReadBack, NeitherALostReadNorAResendWaitsAWholePeriod) {
    Rig r(42450, {}, nullptr, kReadLinkIp, kReadSimIp);
    ReadBack readBack(r.editor, {.settleMs = 3000, .pollMs = 0, .answerMs = 10000, .retryMs = 50});
    ASSERT_TRUE(ConnectAndWait(r.link));
    QSignalSpy reconciled(&readBack, &ReadBack::reconciled);
    r.sim->SetNoAnswer(true);
    std::size_t mark = r.sim->Log().size();
    readBack.RequestRead();
    ASSERT_TRUE(WaitFor([&] { return r.sim->Log().size() > mark; }));
    r.sim->SetNoAnswer(false);
    EXPECT_TRUE(WaitFor([&] { return reconciled.count() == 1; }, 5000))
        << "the answer time is 10 s";

    r.sim->SetDropFraction(1.0);
    mark = r.sim->Log().size();
    ASSERT_TRUE(r.editor.SetValue(*FindParameterPath("ch1.level"), 50));
    ASSERT_TRUE(WaitFor([&] { return r.sim->Log().size() > mark; }));
    r.sim->SetDropFraction(0);
    ASSERT_TRUE(WaitFor([&] { return reconciled.count() == 2; }, 10000));
    QElapsedTimer sinceResend;
    sinceResend.start();
    ASSERT_TRUE(WaitFor([&] {
        return readBack.state() == SyncState::InSync && r.sim->Settings().channels[0].level == 50;
    }));
    EXPECT_LT(sinceResend.elapsed(), 2000) << "the settle time is 3 s";
}

// Another controller changes the processor: the model takes the value, the pages hear of it
// as a processor report, and nothing but reads is sent.
TEST(ReadBack, ChangesBySomeoneElseAreAdoptedWithoutASend) {
    ReadRig r(42410);
    ASSERT_TRUE(ConnectAndWait(r.link));
    QSignalSpy sent(&r.link, &DeviceLink::frameSent);
    QSignalSpy changed(&r.editor, &ProcessorEditor::recordsChanged);
    DeviceParameters theirs = r.sim->Settings();
    theirs.channels[1].level = 77;
    theirs.channels[0].bands[4].gain = 300;
    SendFromOtherClient(42410, BuildLevel(theirs, 2));
    SendFromOtherClient(42410, *BuildEqBand(theirs, 0, 4));

    ASSERT_TRUE(WaitFor([&] { return r.params.channels[1].level == 77; }));
    ASSERT_TRUE(WaitFor([&] { return r.params.channels[0].bands[4].gain == 300; }));
    EXPECT_TRUE(r.Converged());
    EXPECT_EQ(NonReadSends(sent), 0);
    QList<Record> reported;
    for (const auto& args : changed) {
        EXPECT_EQ(args[1].value<EditOrigin>(), EditOrigin::Processor);
        reported += args[0].value<QList<Record>>();
    }
    const QList<Record> expected{{RecordKind::EqBand, 0, 4}, {RecordKind::Level, 2, 0}};
    EXPECT_EQ(reported, expected);
    EXPECT_TRUE(r.readBack.toolTip().contains("ch1.band4, ch2.level"))
        << r.readBack.toolTip().toStdString();
}

// The processor goes away: LINK LOST after three unanswered reads, edits are held; it comes
// back with a changed state: the held edit is sent (latest value only), the rest adopted.
TEST(ReadBack, ALostProcessorIsPickedUpAgain) {
    const struct {
        const char* name;
        bool restart;  // gone and back (socket closed) or alive but silent
    } cases[] = {{"restarted", true}, {"silent", false}};
    quint16 port = 42420;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ReadRig r(port++);
        ASSERT_TRUE(ConnectAndWait(r.link));
        QSignalSpy sent(&r.link, &DeviceLink::frameSent);
        if (c.restart) {
            r.sim->Stop();
        } else {
            r.sim->SetNoAnswer(true);
        }
        r.readBack.RequestRead();
        ASSERT_TRUE(WaitFor([&] { return r.readBack.state() == SyncState::LinkLost; }, 10000));
        EXPECT_EQ(r.readBack.text(), "LINK LOST");

        const auto gain = FindParameterPath("ch1.band2.gain");
        r.editor.SetValue(*gain, 100);
        r.editor.SetValue(*gain, 250);  // the latest value is the one that counts
        Settle(150);
        EXPECT_EQ(NonReadSends(sent), 0);
        EXPECT_TRUE(r.readBack.toolTip().contains("ch1.band2"));

        r.sim->MutableSettings().channels[1].phase = 1;  // changed while away
        if (c.restart) {
            QString error;
            ASSERT_TRUE(r.sim->Start(&error)) << error.toStdString();
        } else {
            r.sim->SetNoAnswer(false);
        }
        ASSERT_TRUE(WaitFor([&] { return r.Converged(); }, 5000))
            << r.readBack.text().toStdString();
        EXPECT_EQ(r.sim->Settings().channels[0].bands[2].gain, 250);
        EXPECT_EQ(r.params.channels[1].phase, 1);
        EXPECT_EQ(NonReadSends(sent), 1);
    }
}

// `set` with twenty assignments reads back and resends until the processor reports every
// value (exit 0), or names what it did not report (exit 5) after ten rounds, also when the
// processor keeps reporting an old value. The fault starts once the connect has been answered.
TEST(ReadBack, CliSetConfirmsEveryValue) {
    const struct {
        const char* name;
        double drop;
        bool refuseReads;
        bool stale;
        int exitCode;
    } cases[] = {{"lossy", 0.3, false, false, 0},
                 {"reads refused", 0.0, true, false, 5},
                 {"stale bands", 0.0, false, true, 5}};
    QStringList assignments;
    for (int ch = 1; ch <= 2; ++ch) {
        for (int b = 1; b <= kBandCount; ++b) {
            assignments
                << QStringLiteral("ch%1.band%2.gain=%3").arg(ch).arg(b).arg(100 + 10 * b + ch);
        }
        assignments << QStringLiteral("ch%1.level=%2").arg(ch).arg(40 + ch)
                    << QStringLiteral("ch%1.phase=1").arg(ch);
    }
    assignments << "main.level=33"
                << "ch1.limiter.threshold=12";
    ASSERT_EQ(assignments.size(), 20);
    quint16 port = 42440;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const quint16 p = port++;
        const auto sim = StartSim(kReadSimIp, p, With([](auto& o) { o.seed = 7; }));
        QObject::connect(sim.get(), &sim::SimProcessor::datagramLogged, sim.get(),
                         [&](const sim::LogEntry& e) {
                             if (!e.answer.empty()) {
                                 sim->SetDropFraction(c.drop);
                                 sim->SetNoAnswer(c.refuseReads);
                             }
                             if (c.stale) {
                                 for (int b = 1; b <= 2; ++b) {  // bands are counted from 1
                                     sim->MutableSettings().channels[0].bands[b].gain = 180;
                                 }
                             }
                         });
        const CliRun run = RunCli(p, QStringList{"set", "--raw", "--retry", "1"} + assignments,
                                  kReadLinkIp, kReadSimIp);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
        if (c.exitCode == 0) {
            DeviceParameters expected = sim->Settings();
            for (const QString& a : assignments) {
                ASSERT_TRUE(SetParameter(expected, a.toStdString(), true).record);
            }
            for (const Record& r : AllRecords()) {
                EXPECT_TRUE(SameRecord(expected, sim->Settings(), r))
                    << RecordText(r).toStdString();
            }
        } else {
            EXPECT_TRUE(run.err.contains("not confirmed by the processor: ch1.band1, ch1.band2"))
                << run.err.toStdString();
        }
    }
}

}  // namespace
}  // namespace quorvell::test
