// SPDX-License-Identifier: GPL-3.0-or-later
// Start to first painted main window, and the panel's resident memory once it is shown.
// Runs the real application object on the offscreen platform (or the display given by
// QT_QPA_PLATFORM), bound to 127.0.0.1 so that nothing leaves the machine.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "CMainDialog.h"
#include "CPanelApp.h"

namespace {

// Resident set size in kB, from /proc (0 where there is none).
long ResidentKb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toLong();
        }
    }
    return 0;
}

class FirstPaint : public QObject {
public:
    explicit FirstPaint(QElapsedTimer& clock) : clock_(clock) {}
    qint64 ms = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && ms < 0) {
            ms = clock_.elapsed();
            QTimer::singleShot(200, qApp, &QCoreApplication::quit);  // let it settle
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer& clock_;
};

}  // namespace

int main(int argc, char* argv[]) {
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QTemporaryDir dataDir;
    quorvell::PanelOptions options;
    options.bind = "127.0.0.1";
    options.device = "127.0.0.2";
    options.port = 39998;
    options.dataDir = dataDir.path().toStdString();
    quorvell::ScriptedMessageBoxes boxes;
    quorvell::CPanelApp panel(options, &boxes, dataDir.path());
    FirstPaint paint(clock);
    application.installEventFilter(&paint);
    panel.InitInstance();
    QApplication::exec();
    std::printf("main() to first painted main window: %lld ms\n", static_cast<long long>(paint.ms));
    std::printf("resident memory with the window shown: %.1f MB\n", ResidentKb() / 1024.0);
    return paint.ms >= 0 ? 0 : 1;
}
