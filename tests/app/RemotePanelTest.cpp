// The panel with --http: the remote control shares the panel's model and link.
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

class RemotePanelTest : public test::PanelFixture {};

// An API edit shows on the stepper and reaches the processor as one frame; a stepper click
// reaches a WebSocket client as an operator change.
TEST_F(RemotePanelTest, ApiEditShowsOnTheStepperAndAStepperClickReachesClients) {
    httpOption = "127.0.26.11:43640";
    StartLinked("127.0.26.11", "127.0.26.12", 42640);
    const QString base = QStringLiteral("127.0.26.11:%1/api/v1/").arg(app->Remote()->Port());
    QWebSocket client;
    std::vector<QJsonObject> events;
    QObject::connect(&client, &QWebSocket::textMessageReceived, &client, [&](const QString& m) {
        events.push_back(QJsonDocument::fromJson(m.toUtf8()).object());
    });
    client.open(QUrl("ws://" + base + "events"));
    ASSERT_TRUE(test::WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events.front().value("type").toString(), "state");

    QNetworkAccessManager nam;
    QNetworkRequest request(QUrl("http://" + base + "params"));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    std::size_t mark = processor->Log().size();
    std::unique_ptr<QNetworkReply> reply(
        nam.sendCustomRequest(request, "PATCH", R"({"ch1.band2.gain": -4})"));
    ASSERT_TRUE(test::WaitFor([&] { return reply->isFinished(); }));
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 200);
    EXPECT_EQ(window->EqPage()->Stepper(1031)->Text(), "G:-4.0");
    EXPECT_EQ(AwaitLogged(*processor, mark, 1), 1u);
    EXPECT_EQ(processor->Settings().channels[0].bands[2].gain, 140);

    // CH1 Band 3 gain's increase arrow on the MAIN page: one step, +0.1 dB.
    events.clear();
    ASSERT_EQ(test::ClickAt(window, {80 + 80, 220 + 10}), window->EqPage()->Stepper(1032));
    ASSERT_TRUE(test::WaitFor(
        [&] { return !events.empty() && events.back().value("origin").toString() == "operator"; }));
    const QJsonObject e = events.back();
    EXPECT_EQ(e.value("type").toString(), "params");
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
    QNetworkAccessManager nam;
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
