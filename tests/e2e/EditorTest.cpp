// SPDX-License-Identifier: GPL-3.0-or-later
// The editor against the simulator: paced sequences send what the model holds when each
// frame leaves, and every change is announced, sent only while linked and never echoed.
#include <gtest/gtest.h>

#include "EqFilterImport.h"
#include "LinkTestSupport.h"

namespace quorvell::test {
namespace {

// A channel copy starts, the operator edits one of its records at once (before that record's
// frame leaves): the processor ends with the edit, as the model does.
TEST(Editor, SequencesSendWhatTheModelHoldsWhenEachFrameLeaves) {
    Rig r(42910, {}, nullptr, "127.0.29.1", "127.0.29.2");
    ASSERT_TRUE(ConnectAndWait(r.link));
    QSignalSpy finished(&r.link, &DeviceLink::pacedFinished);
    r.params.channels[0].bands[7].gain = 150;
    ASSERT_TRUE(
        r.editor.SendSequence(CopyChannel(r.params, 0, 1, ComputeEulerE()), EditOrigin::Sequence));
    ASSERT_TRUE(r.editor.SetValue(*FindParameterPath("ch2.band7.gain"), 190));
    ASSERT_TRUE(WaitFor([&] { return finished.count() == 1; }));
    Settle();

    const auto& sent = r.sim->Settings().channels[1];
    EXPECT_EQ(sent.bands[7].gain, 190);
    for (int b = 1; b <= kBandCount; ++b) {
        EXPECT_EQ(sent.bands[b].gain, r.params.channels[1].bands[b].gain) << b;
    }
}

TEST(Editor, ChangesAreAnnouncedAlwaysSentOnlyWhileLinkedAndNeverEchoed) {
    Rig r(42920, {}, nullptr, "127.0.29.1", "127.0.29.2");
    ResetDeviceParameters(r.params);
    QSignalSpy changed(&r.editor, &ProcessorEditor::recordsChanged);
    QSignalSpy sent(&r.link, &DeviceLink::frameSent);
    const Record band3{RecordKind::EqBand, 0, 3};

    // Down: the model keeps the change, listeners hear of it, nothing is sent or queued.
    r.editor.Edited(band3);
    EXPECT_FALSE(r.editor.SendSequence(CopyChannel(r.params, 0, 1, ComputeEulerE())));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].value<QList<Record>>(), QList<Record>{band3});
    EXPECT_EQ(changed[0][1].value<EditOrigin>(), EditOrigin::Operator);
    EXPECT_EQ(changed[1][0].value<QList<Record>>().size(), 10);  // 7 bands, 2 filters, limiter
    EXPECT_EQ(changed[1][1].value<EditOrigin>(), EditOrigin::Sequence);
    EXPECT_FALSE(r.link.pacedRunning());

    ASSERT_TRUE(ConnectAndWait(r.link));
    changed.clear();
    sent.clear();
    const auto gain = FindParameterPath("ch1.band3.gain");
    ASSERT_TRUE(gain);
    EXPECT_FALSE(r.editor.SetValue(*gain, gain->maxRaw + 1, EditOrigin::Remote));
    EXPECT_FALSE(r.editor.SetValue(*FindParameterPath("name"), 0, EditOrigin::Remote));
    EXPECT_EQ(r.editor.SetValue(*gain, 200, EditOrigin::Remote), band3);
    r.editor.Edited(band3, EditOrigin::Processor);  // read back: announced, not sent back
    ASSERT_TRUE(WaitFor([&] { return r.sim->Settings().channels[0].bands[3].gain == 200; }));
    Settle();
    EXPECT_EQ(sent.count(), 1);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][1].value<EditOrigin>(), EditOrigin::Remote);
    EXPECT_EQ(changed[1][1].value<EditOrigin>(), EditOrigin::Processor);
}

}  // namespace
}  // namespace quorvell::test
