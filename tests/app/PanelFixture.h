// SPDX-License-Identifier: GPL-3.0-or-later
// A panel (CPanelApp with scripted message boxes) and simulated processors on loopback.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "CEqPage.h"
#include "CLimiterPage.h"
#include "CMainDialog.h"
#include "CPanelApp.h"
#include "CSystemPage.h"
#include "CValueStepper.h"
#include "DeviceLink.h"
#include "PngButton.h"
#include "SimProcessor.h"

namespace quorvell::test {

// CH1 Band 3 gain's increase arrow (stepper 1032 at (80, 110) on the MAIN page) in the window.
inline constexpr QPoint kGainIncrease(80 + 80, 220 + 10);

inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 8000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

inline void Pump(int ms) {
    WaitFor([] { return false; }, ms);
}

// QUORVELL_SCREENSHOTS=dir writes `name` there: the widget as the operator sees it.
inline void GrabIfAsked(QWidget* widget, const char* name) {
    const QByteArray dir = qgetenv("QUORVELL_SCREENSHOTS");
    if (!dir.isEmpty()) {
        widget->grab().save(QString::fromLocal8Bit(dir) + '/' + name, "PNG");
    }
}

// Clicks the main window at `at` (window coordinates) on whatever widget is there, after
// moving the pointer to it, as an operator would.
inline QWidget* ClickAt(QWidget* window, QPoint at) {
    QWidget* target = window->childAt(at);
    if (target == nullptr) {
        return nullptr;
    }
    const QPoint local = target->mapFrom(window, at);
    QTest::mouseMove(target, local);
    QMouseEvent move(QEvent::MouseMove, local, target->mapToGlobal(local), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QTest::mousePress(target, Qt::LeftButton, Qt::NoModifier, local);
    QTest::mouseRelease(target, Qt::LeftButton, Qt::NoModifier, local);
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
    }
    return target;
}

// Measures the longest interval between two event-loop turns while `action` runs and the
// loop is then pumped until `done`, and, given a running count of the work the action does
// (frames sent, hosts swept), the most of it done within one turn. The count is what a test
// asserts: a blocking implementation does all its work in one turn however fast the machine,
// while the interval also grows when a busy machine does not schedule the test.
class StallMeter {
public:
    explicit StallMeter(std::function<std::size_t()> work = {}) : work_(std::move(work)) {
        tick_.setInterval(0);
        QObject::connect(&tick_, &QTimer::timeout, [this] { Beat(); });
    }
    double Measure(const std::function<void()>& action, const std::function<bool()>& done) {
        longestMs_ = 0;
        mostPerTurn_ = 0;
        lastWork_ = work_ ? work_() : 0;
        clock_.start();
        last_ = 0;
        tick_.start();
        action();
        test::WaitFor(done, 10000);
        Beat();
        tick_.stop();
        return static_cast<double>(longestMs_) / 1e6;
    }
    // The most work done between two turns during the last Measure.
    std::size_t MostPerTurn() const { return mostPerTurn_; }

private:
    void Beat() {
        const qint64 now = clock_.nsecsElapsed();
        longestMs_ = std::max(longestMs_, now - last_);
        last_ = now;
        if (work_) {
            const std::size_t work = work_();
            mostPerTurn_ = std::max(mostPerTurn_, work - lastWork_);
            lastWork_ = work;
        }
    }
    std::function<std::size_t()> work_;
    QTimer tick_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    qint64 longestMs_ = 0;
    std::size_t lastWork_ = 0;
    std::size_t mostPerTurn_ = 0;
};

class PanelFixture : public ::testing::Test {
protected:
    // Starts a processor at `address`:`port` named `name`.
    sim::SimProcessor& AddProcessor(const QString& address, quint16 port,
                                    const std::string& name = "QV-SIM") {
        sim::SimOptions options;
        options.address = QHostAddress(address);
        options.port = port;
        options.name = name;
        processors.push_back(std::make_unique<sim::SimProcessor>(options));
        QString error;
        EXPECT_TRUE(processors.back()->Start(&error)) << error.toStdString();
        return *processors.back();
    }

    // Starts the panel bound to `bind`:`port`, talking to `device`.
    // With `connect`, as --connect: the link starts right after start-up.
    void StartPanel(const QString& bind, quint16 port, const QString& device,
                    bool connect = false) {
        PanelOptions options;
        options.bind = bind.toStdString();
        options.device = device.toStdString();
        options.port = port;
        options.dataDir = dataDirOption.value_or(dataDir.path()).toStdString();
        options.connect = connect;
        options.http = httpOption;
        app = std::make_unique<CPanelApp>(options, &boxes, dataDir.path());
        app->InitInstance();
        framesSent = 0;
        loggedBefore = Logged();
        QObject::connect(&app->Link(), &DeviceLink::frameSent, [this] { ++framesSent; });
        window = app->MainDialog();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    }

    // A processor at `simIp` (its settings first changed by `prepare`) and the panel on
    // `panelIp`, linked through the system page; with `active`, the window also has the
    // keyboard focus.
    void StartLinked(const QString& panelIp, const QString& simIp, quint16 port,
                     bool active = false,
                     const std::function<void(DeviceParameters&)>& prepare = {}) {
        processor = &AddProcessor(simIp, port);
        if (prepare) {
            prepare(processor->MutableSettings());
        }
        StartPanel(panelIp, port, simIp);
        ConnectThroughSystemPage();
        if (active) {
            window->activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        }
    }

    // Opens the SYSTEM page and clicks its button `id` (a sub-page tab or a command).
    void ClickSystemButton(int id) {
        QTest::mouseClick(window->PageButton(3), Qt::LeftButton);
        QTest::mouseClick(window->SystemPage()->Button(id), Qt::LeftButton);
    }

    // Connects through the system page's Connect button and waits for the full state.
    void ConnectThroughSystemPage() {
        ClickSystemButton(1084);
        ASSERT_TRUE(WaitFor([&] { return app->Link().linkUp(); }));
        QCoreApplication::processEvents();
    }

    // Entries the processor received with command code `code`, from index `from` on.
    static std::vector<const sim::LogEntry*> Received(const sim::SimProcessor& p, std::uint8_t code,
                                                      std::size_t from = 0) {
        std::vector<const sim::LogEntry*> out;
        for (std::size_t i = from; i < p.Log().size(); ++i) {
            if (p.Log()[i].decoded.code == code) {
                out.push_back(&p.Log()[i]);
            }
        }
        return out;
    }

    // Waits until `p` has logged `count` commands after `mark` and every datagram the panel
    // sent so far has arrived, so that a surplus shows too; the number of commands logged after
    // `mark`. The panel's read-backs (CmdConnect while linked) are not counted.
    std::size_t AwaitLogged(const sim::SimProcessor& p, std::size_t mark, std::size_t count) {
        WaitFor([&] { return CommandsSince(p, mark) >= count; });
        AwaitDrained();
        return CommandsSince(p, mark);
    }
    // Waits until the simulators have logged every datagram the panel's link has sent, after
    // delivering the notifications controls have posted (a held arrow's last step) and the
    // paced frames still queued: on a busy machine those may not have left yet.
    bool AwaitDrained() {
        return WaitFor([&] {
            QCoreApplication::sendPostedEvents();
            return !app->Link().pacedRunning() && Logged() - loggedBefore >= framesSent;
        });
    }
    // The processor's log position once everything sent so far has arrived.
    std::size_t Mark() {
        AwaitDrained();
        return processor->Log().size();
    }
    std::size_t Logged() const {
        std::size_t logged = 0;
        for (const auto& p : processors) {
            logged += p->Log().size();
        }
        return logged;
    }
    // The commands `p` logged after `mark`, the panel's read-backs left out.
    static std::size_t CommandsSince(const sim::SimProcessor& p, std::size_t mark) {
        std::size_t n = 0;
        for (std::size_t i = mark; i < p.Log().size(); ++i) {
            n += p.Log()[i].decoded.code == kReadCode ? 0 : 1;
        }
        return n;
    }
    static constexpr std::uint8_t kReadCode = 7;  // CmdConnect

    void TearDown() override {
        app.reset();
        processors.clear();
    }

    QTemporaryDir dataDir;
    std::optional<QString> dataDirOption;   // --data-dir when not dataDir
    std::optional<std::string> httpOption;  // --http
    ScriptedMessageBoxes boxes;
    std::vector<std::unique_ptr<sim::SimProcessor>> processors;
    std::unique_ptr<CPanelApp> app;
    CMainDialog* window = nullptr;
    sim::SimProcessor* processor = nullptr;  // the one StartLinked started
    std::size_t framesSent = 0;              // datagrams the panel's link has sent
    std::size_t loggedBefore = 0;            // datagrams logged before the panel started
};

}  // namespace quorvell::test
