// SPDX-License-Identifier: GPL-3.0-or-later
// The panel with --http: the remote control shares the panel's model and link.
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QTcpServer>
#include <QWebSocket>

#include "PanelFixture.h"
#include "PanelUndo.h"
#include "RemoteServer.h"

namespace quorvell {
namespace {

class RemotePanelTest : public test::PanelFixture {
protected:
    // The HTTP status of `verb` on `url` with a JSON `body`, once answered (0: no answer).
    int Request(const QString& url, const QByteArray& verb = "GET", const QByteArray& body = {}) {
        QNetworkRequest request{QUrl(url)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        std::unique_ptr<QNetworkReply> reply(nam.sendCustomRequest(request, verb, body));
        test::WaitFor([&] { return reply->isFinished(); });
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
    // The remote API's address of `path` on the running server.
    QString Api(const char* path) const {
        return QStringLiteral("http://%1:%2/api/v1/%3")
            .arg(QString::fromStdString(*httpOption).section(':', 0, 0))
            .arg(app->Remote()->Port())
            .arg(QLatin1String(path));
    }

    QNetworkAccessManager nam;
};

// An API edit shows on the stepper and reaches the processor as one frame; a stepper click
// reaches a WebSocket client as an operator change.
TEST_F(RemotePanelTest, ApiEditShowsOnTheStepperAndAStepperClickReachesClients) {
    httpOption = "127.0.26.11:43640";
    StartLinked("127.0.26.11", "127.0.26.12", 42640);
    QWebSocket client;
    std::vector<QJsonObject> events;
    QObject::connect(&client, &QWebSocket::textMessageReceived, &client, [&](const QString& m) {
        events.push_back(QJsonDocument::fromJson(m.toUtf8()).object());
    });
    client.open(QUrl(Api("events").replace("http:", "ws:")));
    ASSERT_TRUE(test::WaitFor([&] { return !events.empty(); }));
    EXPECT_EQ(events.front().value("type").toString(), "state");

    std::size_t mark = processor->Log().size();
    EXPECT_EQ(Request(Api("params"), "PATCH", R"({"ch1.band2.gain": -4})"), 200);
    EXPECT_EQ(window->EqPage()->Stepper(1031)->Text(), "G:-4.0");
    EXPECT_EQ(AwaitLogged(*processor, mark, 1), 1u);
    EXPECT_EQ(processor->Settings().channels[0].bands[2].gain, 140);

    // CH1 Band 3 gain's increase arrow on the MAIN page: one step, +0.1 dB.
    events.clear();
    ASSERT_EQ(test::ClickAt(window, test::kGainIncrease), window->EqPage()->Stepper(1032));
    ASSERT_TRUE(test::WaitFor(
        [&] { return !events.empty() && events.back().value("origin").toString() == "operator"; }));
    const QJsonObject e = events.back();
    EXPECT_EQ(e.value("type").toString(), "params");
    EXPECT_DOUBLE_EQ(e.value("changes").toObject().value("ch1.band3.gain").toDouble(), 0.1);
}

// A remote rename opens no box on the panel: the confirmation goes to the remote row's status
// line, and the SET page's name field shows the new name, so the operator's next APPLY does
// not undo it.
TEST_F(RemotePanelTest, RemoteRenameOpensNoBoxAndRefreshesTheNameField) {
    httpOption = "127.0.26.13:43644";
    StartLinked("127.0.26.13", "127.0.26.14", 42644);
    ClickSystemButton(1003);
    EXPECT_EQ(Request(Api("name"), "POST", R"({"name":"FOH2"})"), 200);
    EXPECT_EQ(window->SystemPage()->NameField()->text(), "FOH2");
    ASSERT_TRUE(test::WaitFor([&] {
        return window->SystemPage()->RemoteStatus()->text().contains("Set name successfully.");
    }));
    EXPECT_TRUE(boxes.shown.empty()) << boxes.shown.front().text;
    EXPECT_EQ(QString::fromUtf8(DeviceNameText(processor->Settings())), "FOH2");
}

// UNDO after a remote edit: a field the remote client changed since the step keeps the
// remote's value (the step is dropped, sending nothing); one it did not touch is undone.
TEST_F(RemotePanelTest, UndoKeepsALaterRemoteEdit) {
    httpOption = "127.0.26.15:43645";
    StartLinked("127.0.26.15", "127.0.26.16", 42645);
    const struct {
        const char* remote;
        const char* after;  // CH1 Band 3 gain after UNDO
        std::size_t frames;
    } cases[] = {{R"({"ch1.band2.gain": 6})", "G:0.0", 1},
                 {R"({"ch1.band3.gain": 6})", "G:6.0", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remote);
        ASSERT_EQ(test::ClickAt(window, test::kGainIncrease), window->EqPage()->Stepper(1032));
        ASSERT_TRUE(test::WaitFor([&] { return window->Undo()->UndoButton()->isEnabled(); }));
        ASSERT_EQ(Request(Api("params"), "PATCH", c.remote), 200);
        const std::size_t mark = Mark();
        QTest::mouseClick(window->Undo()->UndoButton(), Qt::LeftButton);
        window->RefreshPages();  // a remote edit's own refresh may still be due
        EXPECT_EQ(window->EqPage()->Stepper(1032)->Text(), c.after);
        EXPECT_EQ(AwaitLogged(*processor, mark, c.frames), c.frames);
        EXPECT_FALSE(window->Undo()->UndoButton()->isEnabled()) << "the step is used up";
    }
}

// SET's REMOTE row starts and stops the server; an address that is not ADDR:PORT or is taken
// is refused with its reason and leaves the remote off.
TEST_F(RemotePanelTest, SetSubPageStartsAndStopsTheRemote) {
    StartPanel("127.0.26.11", 42642, "127.0.26.12");
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress("127.0.26.11"), 43643));
    CSystemPage* page = window->SystemPage();
    ClickSystemButton(1003);
    const QString state = QStringLiteral("http://127.0.26.11:43642/api/v1/state");
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
    EXPECT_EQ(Request(state), 200);
    QTest::mouseClick(page->Button(1127), Qt::LeftButton);
    EXPECT_EQ(app->Remote(), nullptr);
    EXPECT_EQ(page->RemoteStatus()->text(), "Off.");
    EXPECT_EQ(Request(state), 0) << "still listening after STOP";
}

}  // namespace
}  // namespace quorvell
