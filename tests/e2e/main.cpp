// SPDX-License-Identifier: GPL-3.0-or-later
// Test entry point: the link, the simulator and the remote server need a Qt event loop. The
// tests and every program they start run under a private home, so that the settings and data
// of whoever runs them (a stored processor address, presets) never take part.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "../PrivateHome.h"

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!quorvell::test::UsePrivateHome(home, false)) {
        return 1;
    }
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
