// SPDX-License-Identifier: GPL-3.0-or-later
// quorvell: the control panel.
#include <QApplication>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "CMainDialog.h"
#include "CPanelApp.h"
#include "LicenceNotice.h"
#include "PanelOptions.h"
#include "PresetStore.h"
#include "TerminationSignals.h"

int main(int argc, char* argv[]) {
    // --help and --version answer before the GUI application object exists, so that they
    // work without a display (manual pages are generated from them at build time).
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(quorvell::PanelUsage().c_str(), stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("quorvell %s\n%s\n%s\n", QUORVELL_VERSION, quorvell::kCopyrightLine,
                        quorvell::kLicenceLines);
            return 0;
        }
    }

    // The panel's own options are checked before the GUI application object exists: a bad one
    // is reported with exit status 2 also where no display can be opened.
    {
        const std::vector<std::string_view> raw(argv + 1, argv + argc);
        const quorvell::PanelOptionsResult early =
            quorvell::ParsePanelOptions(quorvell::WithoutQtOptions(raw));
        if (!early.options) {
            std::fprintf(stderr, "quorvell: %s\n%s", early.error.c_str(),
                         quorvell::PanelUsage().c_str());
            return 2;
        }
    }

    // Before QApplication starts any thread: every thread inherits the blocked mask, and the
    // signals reach the event loop instead of killing the process.
    quorvell::TerminationSignals::Block();
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    quorvell::SetApplicationIdentity();
    QApplication::setApplicationVersion(QStringLiteral("1.0"));

    const QStringList arguments = QApplication::arguments();
    std::vector<std::string> texts;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        texts.push_back(arguments[i].toStdString());
    }
    const std::vector<std::string_view> views(texts.begin(), texts.end());
    const quorvell::PanelOptionsResult parsed = quorvell::ParsePanelOptions(views);
    if (!parsed.options) {
        std::fprintf(stderr, "quorvell: %s\n%s", parsed.error.c_str(),
                     quorvell::PanelUsage().c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(quorvell::PanelUsage().c_str(), stdout);
        return 0;
    }
    if (parsed.options->version) {
        std::puts("quorvell 1.0");
        return 0;
    }

    quorvell::CPanelApp panel(*parsed.options, nullptr, quorvell::PortableDirectory());
    panel.InitInstance();
    // SIGTERM and SIGINT close the panel as its close button does: open boxes and dialogs
    // first (their loops end), then the main window, which stops the link before it closes.
    // The event loop ends with the last window; the panel then closes the database.
    const quorvell::TerminationSignals signalClose([&panel](quorvell::TerminationSignal) {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (window != panel.MainDialog() && window->isVisible()) {
                window->close();
            }
        }
        if (panel.MainDialog() != nullptr) {
            panel.MainDialog()->close();
        }
    });
    const int status = QApplication::exec();
    // A close that could not finish a paced sequence has named what was not sent; it is not
    // a clean end.
    const bool unsent = panel.MainDialog() != nullptr && panel.MainDialog()->UnsentAtClose() > 0;
    return status != 0 ? status : (unsent ? 1 : 0);
}
