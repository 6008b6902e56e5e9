// The panel with --http: the remote control shares the panel's model and link, so an API
// edit shows on the stepper and reaches the processor, and a stepper click reaches clients.
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QWebSocket>

#include "PanelFixture.h"
#include "RemoteServer.h"

namespace quorvell {
namespace {

constexpr std::uint8_t kEqBand = 1;

class RemotePanelTest : public test::PanelFixture {
protected:
    void StartRemotePanel(quint16 udpPort, quint16 httpPort) {
        processor = &AddProcessor("127.0.26.12", udpPort);
        PanelOptions options;
        options.bind = "127.0.26.11";
        options.device = "127.0.26.12";
        options.port = udpPort;
        options.dataDir = dataDir.path().toStdString();
        options.http = "127.0.26.11:" + std::to_string(httpPort);
        app = std::make_unique<CPanelApp>(options, &boxes, dataDir.path());
        app->InitInstance();
        window = app->MainDialog();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        ASSERT_NE(app->Remote(), nullptr);
        ConnectThroughSystemPage();
    }

    int Patch(const QByteArray& body) {
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.26.11:%1/api/v1/params").arg(app->Remote()->Port())));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(nam.sendCustomRequest(request, "PATCH", body));
        test::WaitFor([&] { return reply->isFinished(); });
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

    QNetworkAccessManager nam;
};

TEST_F(RemotePanelTest, ApiEditShowsOnTheStepperAndReachesTheProcessor) {
    StartRemotePanel(42640, 43640);
    const std::size_t mark = processor->Log().size();
    ASSERT_EQ(Patch(R"({"ch1.band2.gain": -4})"), 200);
    EXPECT_EQ(window->EqPage()->Stepper(1031)->Text(), "G:-4.0");
    ASSERT_TRUE(test::WaitFor([&] { return !Received(*processor, kEqBand, mark).empty(); }));
    test::Pump(50);
    const auto frames = Received(*processor, kEqBand, mark);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(processor->Settings().channels[0].bands[2].gain, 140);
}

TEST_F(RemotePanelTest, StepperClickReachesAWebSocketClient) {
    StartRemotePanel(42641, 43641);
    QWebSocket client;
    std::vector<QJsonObject> events;
    QObject::connect(&client, &QWebSocket::textMessageReceived, &client, [&](const QString& m) {
        events.push_back(QJsonDocument::fromJson(m.toUtf8()).object());
    });
    client.open(
        QUrl(QStringLiteral("ws://127.0.26.11:%1/api/v1/events").arg(app->Remote()->Port())));
    ASSERT_TRUE(test::WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events.front().value("type").toString(), "state");
    // CH1 Band 3 gain's increase arrow on the MAIN page: one step, +0.1 dB.
    QTest::mouseClick(window->PageButton(1), Qt::LeftButton);
    ASSERT_EQ(test::ClickAt(window, {80 + 80, 220 + 10}), window->EqPage()->Stepper(1032));
    ASSERT_TRUE(test::WaitFor([&] { return events.size() > 1; }));
    const QJsonObject e = events.back();
    EXPECT_EQ(e.value("type").toString(), "params");
    EXPECT_EQ(e.value("origin").toString(), "operator");
    EXPECT_DOUBLE_EQ(e.value("changes").toObject().value("ch1.band3.gain").toDouble(), 0.1);
}

// SET's REMOTE row starts and stops the server; an address that is not ADDR:PORT or is taken
// is refused with its reason and leaves the remote off.
TEST_F(RemotePanelTest, SetSubPageStartsAndStopsTheRemote) {
    StartPanel("127.0.26.11", 42642, "127.0.26.12");
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress("127.0.26.11"), 43643));
    CSystemPage* page = window->SystemPage();
    ClickSystemButton(1003);
    const auto state = [&] {
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.26.11:43642/api/v1/state")));
        std::unique_ptr<QNetworkReply> reply(nam.get(request));
        test::WaitFor([&] { return reply->isFinished(); });
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    };
    const struct {
        const char* typed;
        const char* status;
        bool on;
    } cases[] = {{"nonsense", "'nonsense' is not an IPv4 ADDR:PORT", false},
                 {"127.0.26.11:43643", "cannot listen on", false},
                 {"127.0.26.11:43642", "http://127.0.26.11:43642/", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        page->RemoteAddressField()->clear();
        QTest::keyClicks(page->RemoteAddressField(), c.typed);
        QTest::mouseClick(page->Button(1127), Qt::LeftButton);
        EXPECT_TRUE(page->RemoteStatus()->text().startsWith(c.status))
            << page->RemoteStatus()->text().toStdString();
        EXPECT_EQ(app->Remote() != nullptr, c.on);
    }
    EXPECT_EQ(page->Button(1127)->text(), "STOP");
    EXPECT_EQ(state(), 200);
    QTest::mouseClick(page->Button(1127), Qt::LeftButton);
    EXPECT_EQ(app->Remote(), nullptr);
    EXPECT_EQ(page->RemoteStatus()->text(), "Off.");
    EXPECT_EQ(state(), 0) << "still listening after STOP";
}

}  // namespace
}  // namespace quorvell
