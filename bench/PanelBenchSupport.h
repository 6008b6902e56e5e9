// SPDX-License-Identifier: GPL-3.0-or-later
// The panel as the end-to-end benchmarks drive it: a data folder of its own, message boxes
// that answer themselves, and a link that is up before anything is measured.
#pragma once

#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "BenchSupport.h"
#include "CPanelApp.h"
#include "DeviceLink.h"
#include "MessageBoxes.h"

namespace quorvell::bench {

struct LinkedPanel {
    QTemporaryDir dataDir;
    ScriptedMessageBoxes boxes;
    std::unique_ptr<CPanelApp> app;
};

// Starts the panel with `options` (its data folder and connect set here), waits for its link
// and lets the connect's own work settle; nothing, with a message, when it does not link.
inline std::unique_ptr<LinkedPanel> StartLinkedPanel(PanelOptions options) {
    auto panel = std::make_unique<LinkedPanel>();
    options.dataDir = panel->dataDir.path().toStdString();
    options.connect = true;
    panel->app = std::make_unique<CPanelApp>(options, &panel->boxes, panel->dataDir.path());
    panel->app->InitInstance();
    if (!RunUntil([&] { return panel->app->Link().linkUp(); }, 5000)) {
        std::fprintf(stderr, "the panel did not link\n");
        return nullptr;
    }
    RunUntil([] { return false; }, 300);
    return panel;
}

}  // namespace quorvell::bench
