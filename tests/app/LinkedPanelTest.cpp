// SPDX-License-Identifier: GPL-3.0-or-later
// The panel linked to a simulated processor: connect and its effects, edits as single
// frames, the paced RESETs and an edit during one, device name and reset, disconnect, and the
// read-back indicator.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QUdpSocket>
#include <cstring>

#include "PanelFixture.h"
#include "PanelUndo.h"
#include "ReadBack.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kLimiter = 5, kSetName = 6, kConnect = 7, kReset = 8;

QByteArray ToQByteArray(const Frame& f) {
    return QByteArray(reinterpret_cast<const char*>(f.Bytes().data()),
                      static_cast<qsizetype>(f.Size()));
}

class LinkedPanelTest : public test::PanelFixture {
protected:
    // Each test has its own port so that ctest may run them side by side.
    void StartLinked(quint16 port) {
        PanelFixture::StartLinked("127.0.40.1", "127.0.40.2", port, false,
                                  [this](DeviceParameters& p) {
                                      p.channels[0].bands[2].gain = 200;  // +2.0 dB
                                      p.channels[0].limiter = {5, 50, 60, {}, 300};
                                      p.channels[1].limiter.threshold = 12;
                                      for (int b = 1; b <= kBandCount; ++b) {
                                          p.channels[1].bands[b].gain = 180 + 10 * b;
                                      }
                                      p.channels[1].bands[4] = {900, 3, 400, {}, 0};
                                      p.channels[1].hipass = {90, 4, 30};
                                      std::copy_n("STAGE", 6, p.deviceName.begin());
                                      prepared = p.channels[1];
                                  });
    }
    ChannelParameters prepared;  // CH2 as the processor started
};

// Connect shows the processor's state and relabels both buttons; a LIMIT arrow sends one frame
// of its own channel; Search is refused while linked; Disconnect sends nothing.
TEST_F(LinkedPanelTest, ConnectEditAndDisconnectAsTheButtonsAndTheProcessorSeeThem) {
    StartLinked(39411);
    EXPECT_EQ(Received(*processor, kConnect).size(), 1u);
    EXPECT_EQ(window->StatusButton()->text(), "Connect");
    EXPECT_TRUE(window->StatusButton()->on);
    EXPECT_EQ(window->SystemPage()->Button(1084)->text(), "Disconnect");
    EXPECT_EQ(window->CurrentPage(), 1);
    EXPECT_EQ(window->EqPage()->Stepper(1031)->Text(), "G:2.0");
    EXPECT_EQ(window->LimiterPage()->Stepper(1085)->Text(), "-12dB");

    // CH2 limiter ratio: corner (580, 90) on the page, (580, 200) in the window; decrease.
    QTest::mouseClick(window->PageButton(2), Qt::LeftButton);
    std::size_t mark = processor->Log().size();
    ASSERT_EQ(test::ClickAt(window, {580 + 85, 200 + 10}), window->LimiterPage()->Stepper(1086));
    ASSERT_EQ(AwaitLogged(*processor, mark, 1), 1u);
    const auto frames = Received(*processor, kLimiter, mark);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0]->decoded.Field("channel"), 1);
    EXPECT_EQ(processor->Settings().channels[1].limiter.threshold, 12);

    ClickSystemButton(1083);
    ASSERT_TRUE(test::WaitFor([&] { return !boxes.shown.empty(); }));
    EXPECT_EQ(boxes.shown.back().text, "Already connect.");

    mark = processor->Log().size();
    QTest::mouseClick(window->SystemPage()->Button(1084), Qt::LeftButton);
    EXPECT_FALSE(app->Link().linkUp());
    EXPECT_EQ(window->SystemPage()->Button(1084)->text(), "CONNECT");
    EXPECT_EQ(window->StatusButton()->text(), "DISCONNECT");
    EXPECT_FALSE(window->StatusButton()->on);
    AwaitDrained();
    EXPECT_EQ(CommandsSince(*processor, mark), 0u);
}

// RESETs ask first and Cancel sends nothing; OK loads the channel's defaults, shows them and
// sends them paced; the device RESET brings the processor's reset state back.
TEST_F(LinkedPanelTest, ResetsAskThenSendTheirPacedFramesOnlyWhenConfirmed) {
    StartLinked(39413);
    std::size_t mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->ResetButton(1), Qt::LeftButton);
    AwaitDrained();
    EXPECT_EQ(CommandsSince(*processor, mark), 0u);

    QTest::mouseClick(window->EqPage()->ResetButton(1), Qt::LeftButton);
    ASSERT_EQ(AwaitLogged(*processor, mark, 9), 9u);
    for (int i = 0; i < 9; ++i) {
        const DecodedCommand& d = processor->Log()[mark + static_cast<std::size_t>(i)].decoded;
        EXPECT_TRUE(d.valid) << d.reason;
        EXPECT_EQ(d.Field("channel"), 1);
        EXPECT_EQ(d.code, i < 7 ? 1 : i == 7 ? 2 : 3) << i;
        if (i < 7) {
            EXPECT_EQ(d.Field("band"), i + 1);
        }
    }
    // The gaps are at least the 50 ms the processor needs (a loose lower bound).
    const auto& log = processor->Log();
    EXPECT_GE(log[mark].time.msecsTo(log[mark + 8].time), 8 * 45);
    // CH2 as at start-up: the start-up bands, Butterworth 1 crossovers with Q 1.0; shown so.
    const ChannelParameters& ch2 = processor->Settings().channels[1];
    for (int b = 1; b <= kBandCount; ++b) {
        EXPECT_EQ(std::tie(ch2.bands[b].freq, ch2.bands[b].gain, ch2.bands[b].q),
                  std::tuple(kDefaultBandFreq[b - 1], 180, 20));
    }
    EXPECT_EQ(std::tie(ch2.hipass.freq, ch2.hipass.type, ch2.hipass.q), std::tuple(20, 0, 10));
    EXPECT_EQ(std::tie(ch2.lopass.freq, ch2.lopass.type, ch2.lopass.q), std::tuple(20000, 0, 10));
    EXPECT_EQ(window->EqPage()->Stepper(1040)->Text(), "G:0.0");  // CH2 band 4
    EXPECT_FALSE(window->EqPage()->Stepper(1093)->isVisible());   // CH2 HIPASS Q

    // The RESET is one step; its undo sends the nine records back as they were.
    EXPECT_EQ(window->Undo()->UndoButton()->toolTip(), "CH2 EQ RESET");
    mark = Mark();
    QTest::mouseClick(window->Undo()->UndoButton(), Qt::LeftButton);
    ASSERT_EQ(AwaitLogged(*processor, mark, 9), 9u);
    for (int b = 1; b <= kBandCount; ++b) {
        EXPECT_EQ(std::tie(ch2.bands[b].freq, ch2.bands[b].gain, ch2.bands[b].q),
                  std::tie(prepared.bands[b].freq, prepared.bands[b].gain, prepared.bands[b].q));
    }
    EXPECT_EQ(std::tie(ch2.hipass.freq, ch2.hipass.type, ch2.hipass.q), std::tuple(90, 4, 30));
    EXPECT_TRUE(window->EqPage()->Stepper(1093)->isVisible());

    // The LIMIT page: Cancel keeps, OK resets CH1 only and the page shows it.
    mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    QTest::mouseClick(window->PageButton(2), Qt::LeftButton);
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(window->LimiterPage()->ResetButton(0), Qt::LeftButton);
    }
    ASSERT_EQ(AwaitLogged(*processor, mark, 1), 1u);
    EXPECT_EQ(processor->Log()[mark].decoded.code, kLimiter);
    const LimiterSettings& lim = processor->Settings().channels[0].limiter;
    EXPECT_EQ((std::array{lim.threshold, lim.attack, lim.release, lim.ratio}),
              (std::array{30, 1, 1, 10}));
    EXPECT_EQ(window->LimiterPage()->Stepper(1081)->Text(), "-30dB");
    EXPECT_EQ(window->LimiterPage()->Stepper(1085)->Text(), "-12dB");
    ASSERT_EQ(boxes.shown.size(), 4u);
    EXPECT_EQ(boxes.shown[0].text, "If do you reset eq data? ");
    EXPECT_EQ(boxes.shown[2].text, "If do you reset limiter data? ");

    // Device RESET: the processor answers with its reset state; the EQ page comes back.
    mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
    ClickSystemButton(1002);
    for (int i = 0; i < 2; ++i) {
        QTest::mouseClick(window->SystemPage()->Button(1093), Qt::LeftButton);
    }
    ASSERT_TRUE(test::WaitFor([&] { return window->CurrentPage() == 1; }));
    AwaitDrained();
    EXPECT_EQ(Received(*processor, kReset, mark).size(), 1u);  // none for the Cancel
    EXPECT_EQ(boxes.shown.at(4).text, "If do you reset the device data? ");
    EXPECT_EQ(window->EqPage()->Stepper(1031)->Text(), "G:0.0");
}

// Names of more than ten UTF-8 bytes are refused before they are sent; one of ten is sent and
// confirmed.
TEST_F(LinkedPanelTest, NameApplySendsTenBytesAndConfirmsButRefusesEleven) {
    StartLinked(39414);
    ClickSystemButton(1003);
    QLineEdit* field = window->SystemPage()->NameField();
    EXPECT_EQ(field->text(), "STAGE");  // from the full state
    const std::size_t mark = processor->Log().size();
    // 11 characters; 9 characters but 11 bytes; 10 characters.
    for (const char* name : {"ABCDEFGHIJK", "Bühne-Süd", "ABCDEFGHIJ"}) {
        field->setText(QString::fromUtf8(name));
        QTest::mouseClick(window->SystemPage()->Button(1091), Qt::LeftButton);
        EXPECT_EQ(QString::fromUtf8(DeviceNameText(app->Parameters())),
                  std::strlen(name) > 10 ? "STAGE" : name);
    }
    ASSERT_TRUE(test::WaitFor([&] { return boxes.shown.size() == 3; }));
    EXPECT_EQ(boxes.shown[0].text, "Name is too long.");
    EXPECT_EQ(boxes.shown[1].text, "Name is too long.");
    EXPECT_EQ(boxes.shown[2].text, "Set name successfully.");
    EXPECT_EQ(Received(*processor, kSetName, mark).size(), 1u);
    EXPECT_EQ(QString::fromUtf8(DeviceNameText(processor->Settings())), "ABCDEFGHIJ");
}

// Confirmations nobody asked for open no box; a name sent and confirmed fifty times, one.
TEST_F(LinkedPanelTest, NameConfirmationsOpenOneBoxPerNameSentAndNoneUnasked) {
    constexpr quint16 kPort = 42110;
    const QHostAddress panelAddress("127.0.21.1");
    QUdpSocket processor;  // a processor whose every datagram the test chooses
    ASSERT_TRUE(processor.bind(QHostAddress("127.0.21.2"), kPort, QUdpSocket::DontShareAddress));
    const auto next = [&] {
        test::WaitFor([&] { return processor.hasPendingDatagrams(); }, 3000);
        return processor.receiveDatagram().data();
    };
    const auto confirmFiftyTimes = [&] {
        for (int i = 0; i < 50; ++i) {
            processor.writeDatagram(ToQByteArray(BuildNameSet()), panelAddress, kPort);
        }
        test::Pump(200);
    };
    StartPanel("127.0.21.1", kPort, "127.0.21.2");
    ClickSystemButton(1001);
    ClickSystemButton(1084);
    ASSERT_EQ(next().at(3), char(kConnect));
    DeviceParameters state{};
    ResetDeviceParameters(state);
    processor.writeDatagram(ToQByteArray(BuildFullState(state)), panelAddress, kPort);
    ASSERT_TRUE(test::WaitFor([&] { return app->Link().linkUp(); }));

    confirmFiftyTimes();
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.size() << " boxes for no name sent";

    ClickSystemButton(1003);
    window->SystemPage()->NameField()->setText("FOH");
    QTest::mouseClick(window->SystemPage()->Button(1091), Qt::LeftButton);
    ASSERT_EQ(next().at(3), char(kSetName));
    confirmFiftyTimes();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Set name successfully.");
}

// Another program holds the panel's address and port: Connect says so and sends nothing.
TEST_F(LinkedPanelTest, ConnectOnABusyPortShowsWinsockErrorAndSendsNothing) {
    constexpr quint16 kPort = 39416;
    QUdpSocket holder;  // another program holding the panel's address and port
    ASSERT_TRUE(holder.bind(QHostAddress("127.0.45.1"), kPort, QUdpSocket::DontShareAddress));
    sim::SimProcessor& target = AddProcessor("127.0.45.2", kPort);
    StartPanel("127.0.45.1", kPort, "127.0.45.2");
    ClickSystemButton(1084);
    ASSERT_TRUE(test::WaitFor([&] { return !boxes.shown.empty(); }, 3000));
    EXPECT_EQ(boxes.shown.front().text, "Winsock error!");
    EXPECT_EQ(boxes.shown.front().caption, "Warming");
    EXPECT_FALSE(app->Link().linkUp());
    EXPECT_EQ(framesSent, 0u);
    EXPECT_TRUE(target.Log().empty());
}

class EditorPanelTest : public test::PanelFixture {};

// RESET CH1 sends nine frames 50 ms apart; Band 7's leaves about 300 ms after the click. An
// increase click on CH1 Band 7 gain right after the RESET must not be undone by it.
TEST_F(EditorPanelTest, GainClickRightAfterResetIsWhatTheProcessorKeeps) {
    StartLinked("127.0.29.1", "127.0.29.2", 42901, false,
                [](DeviceParameters& p) { p.channels[0].bands[7].gain = 200; });
    CValueStepper* gain7 = window->EqPage()->Stepper(1036);  // CH1 Band 7 gain
    ASSERT_EQ(gain7->Text(), "G:2.0");

    const std::size_t mark = processor->Log().size();
    boxes.answers = {MessageAnswer::Ok};
    QTest::mouseClick(window->EqPage()->ResetButton(0), Qt::LeftButton);
    ASSERT_EQ(test::ClickAt(window, gain7->mapTo(window, QPoint(80, 10))), gain7);
    EXPECT_EQ(gain7->Text(), "G:0.1");
    ASSERT_EQ(AwaitLogged(*processor, mark, 10), 10u);  // nine RESET frames and the click
    EXPECT_EQ(processor->Settings().channels[0].bands[7].gain, 181);
    EXPECT_EQ(app->Parameters().channels[0].bands[7].gain, 181);
}

class SyncIndicatorTest : public test::PanelFixture {};

// A value changed on the processor by someone else is shown where it is (no page switch) and
// named in the tooltip; a processor that stops answering is reported as LINK LOST.
TEST_F(SyncIndicatorTest, AdoptedValuesAndLinkLossAreShown) {
    sim::SimProcessor& processor = AddProcessor("127.0.24.12", 42470);
    StartPanel("127.0.24.11", 42470, "127.0.24.12");
    EXPECT_EQ(window->SyncIndicator()->text(), "");
    ConnectThroughSystemPage();
    EXPECT_EQ(window->SyncIndicator()->text(), "IN SYNC");

    window->SwitchPage(2);
    processor.MutableSettings().channels[1].limiter.threshold = 30;
    app->Sync().RequestRead();
    ASSERT_TRUE(
        test::WaitFor([&] { return window->LimiterPage()->Stepper(1085)->Text() == "-30dB"; }));
    EXPECT_EQ(window->CurrentPage(), 2);
    EXPECT_EQ(window->SyncIndicator()->text(), "IN SYNC");
    EXPECT_EQ(window->SyncIndicator()->toolTip(), "Taken from the processor: ch2.limiter");

    // SET: the read-back period (default 5 s), changed by the operator.
    ClickSystemButton(1003);
    QComboBox* poll = window->SystemPage()->PollChooser();
    ASSERT_TRUE(poll->isVisible());
    EXPECT_EQ(poll->currentText(), "every 5 s");
    poll->setFocus();
    QTest::keyClick(poll, Qt::Key_Down);
    EXPECT_EQ(app->Sync().Options().pollMs, 10000);

    processor.Stop();
    app->Sync().RequestRead();
    ASSERT_TRUE(
        test::WaitFor([&] { return window->SyncIndicator()->text() == "LINK LOST"; }, 6000));
    EXPECT_EQ(window->StatusButton()->text(), "Connect");  // the status button keeps its text

    // The period chosen is the next session's, unless --poll says otherwise.
    app.reset();
    StartPanel("127.0.24.11", 42470, "127.0.24.12");
    ClickSystemButton(1003);
    EXPECT_EQ(window->SystemPage()->PollChooser()->currentText(), "every 10 s");
}

}  // namespace
}  // namespace quorvell
