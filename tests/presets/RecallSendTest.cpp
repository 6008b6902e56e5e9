// Recall while linked, end to end: the link sends the 25 frames to the in-process simulator,
// which receives them in order, byte for byte, paced by their pauses.
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include "AllParameterFrames.h"
#include "DeviceLink.h"
#include "PresetTestFixture.h"
#include "SimProcessor.h"

namespace quorvell {
namespace {

constexpr quint16 kPort = 39331;  // 127.0.30.x belongs to these tests

// Runs the event loop until `done` holds or `timeoutMs` passes.
template <typename Done>
bool RunUntil(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

using RecallSendTest = PresetTest;

TEST_F(RecallSendTest, LinkedRecallReachesTheProcessorInOrderWithItsPauses) {
    sim::SimOptions simOptions;
    simOptions.address = QHostAddress(QStringLiteral("127.0.30.1"));
    simOptions.port = kPort;
    sim::SimProcessor processor(simOptions);
    QString error;
    ASSERT_TRUE(processor.Start(&error)) << error.toStdString();

    DeviceLinkOptions linkOptions;
    linkOptions.bindAddress = QHostAddress(QStringLiteral("127.0.30.2"));
    linkOptions.port = kPort;
    linkOptions.deviceAddress = QStringLiteral("127.0.30.1");
    DeviceLink link(params, linkOptions);
    ASSERT_TRUE(link.Connect());
    ASSERT_TRUE(RunUntil([&] { return link.linkUp(); }, 5000));

    // A preset that differs from the processor's state in every sent record.
    DeviceParameters saved = params;
    for (int ch = 0; ch < 2; ++ch) {
        ChannelParameters& c = saved.channels[static_cast<std::size_t>(ch)];
        c.level = 12 + ch;
        c.phase = 1;
        c.limiter = {30, 10, 20, {}, 40};
        c.hipass = {120, 1, 7};
        c.lopass = {9000, 3, 7};
        for (int b = 1; b <= kBandCount; ++b)
            c.bands[static_cast<std::size_t>(b)].gain = 150 + b;
    }
    saved.mainLevel = 20;
    WriteAll(Path("SAVE1.dat"),
             QByteArray(reinterpret_cast<const char*>(WriteParameterImage(saved).data()),
                        static_cast<int>(kImageSize)));
    InsertRow(1, "SAVE1", Path("SAVE1.dat"));

    store->SetSink([&](PacedSequence s) { link.SendPaced(std::move(s)); }, ComputeEulerE());
    const std::size_t before = processor.Log().size();
    ASSERT_EQ(store->RecallPreset(1), RecallOutcome::Loaded);
    const PacedSequence expected = AllParameterFrames(params, ComputeEulerE());
    ASSERT_EQ(expected.size(), 25u);
    ASSERT_TRUE(RunUntil([&] { return processor.Log().size() >= before + 25; }, 10000));
    ASSERT_TRUE(RunUntil([&] { return !link.pacedRunning(); }, 2000));

    const auto& log = processor.Log();
    ASSERT_EQ(log.size(), before + 25);
    const QDateTime first = log[before].time;
    int cumulative = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const sim::LogEntry& entry = log[before + i];
        const auto bytes = expected[i].frame.Bytes();
        EXPECT_EQ(entry.bytes, QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                          static_cast<int>(bytes.size())));
        EXPECT_TRUE(entry.applied);
        // Arrival measured from the first frame: never earlier than the pauses allow, less
        // a margin for a first frame read late on a loaded machine.
        EXPECT_GE(first.msecsTo(entry.time), cumulative - 100);
        cumulative += expected[i].gapMs;
    }
    EXPECT_GE(first.msecsTo(log.back().time), 950);  // 1050 ms of pauses before the last
    EXPECT_EQ(WriteParameterImage(processor.Settings())[100], WriteParameterImage(saved)[100]);
    link.Close();
}

}  // namespace
}  // namespace quorvell
